#pragma once

#include "platform/Result.h"

#include <QString>
#include <optional>

class DataStore;

// Who already holds a content, found by its SHA-256 (64 hex digits, as
// wj.sha256 holds it): the first record (lowest id) among the records, the
// records in the trash, or the versions of a record. Each look-up is one
// statement through the index on its table's sha256.
namespace DuplicateRows {

struct Holder {
    qint64 id = -1;        // the record (for a version: the record it belongs to)
    QString number;        // bh
    QString name;          // mc
    QString group;         // fz (for the trash: the group it was deleted from)
    int version = 0;       // the version's number (bbh), for a version
    bool inTrash = false;  // for a version: its record is in the trash
};

// The first record of wj with this content.
Result<std::optional<Holder>> inRecords(DataStore& store, const QString& sha256Hex);
// The first record of the trash (wjhs) with this content.
Result<std::optional<Holder>> inTrash(DataStore& store, const QString& sha256Hex);
// The first version (wjbb) with this content, with the record it belongs
// to, in wj or in the trash; a version whose record is in neither is left out.
Result<std::optional<Holder>> inVersions(DataStore& store, const QString& sha256Hex);

// The statements above, for a look at their query plans.
QString recordsStatement();
QString trashStatement();
QString versionsStatement();

}  // namespace DuplicateRows
