#pragma once

#include "platform/Result.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class DataStore;

// The statements of the trash, table wjhs: a record moved there keeps every
// column of wj it had (its id and number among them) and gains who moved it
// (hsr) and when (hssj). Its content stays where it was, in wjnr under the
// same id or in its kept file, and so do its rows in the content index:
// every reader of records reads wj, so a record in the trash is gone for
// them, and one moved back is whole again at once.
//
// The moves run inside the caller's transaction, one record at a time with
// statements prepared once, so that a run commits as many records together
// as it likes.
namespace TrashRows {

// One record in the trash, as the trash window lists it.
struct Entry {
    qint64 id = -1;
    QString number;     // bh
    QString name;       // mc
    QString type;       // lx
    QString group;      // fz: the group it was in
    QString deletedBy;  // hsr
    QString deletedAt;  // hssj
    qint64 size = 0;    // dxsz
    QString keptPath;   // lj; empty when the database holds the content
    QString sha256;
};

// Moves record id from wj into the trash; false (nothing changed) when there
// is no such record.
Result<bool> moveIn(DataStore& store, qint64 id, const QString& by, const QString& at);
// Moves record id back into wj with the same id and columns; false when it
// is not in the trash.
Result<bool> moveOut(DataStore& store, qint64 id);
// Deletes record id from the trash for good with its held content, its rows
// in the content index and its versions' rows (wjbb); its kept file is the
// caller's. False when it is not in the trash.
Result<bool> purge(DataStore& store, qint64 id);

// The record in the trash, or nullopt.
Result<std::optional<Entry>> entry(DataStore& store, qint64 id);
// The records in the trash, newest first, those of the groups `excluded`
// (and below) left out; at most `limit` from `offset` (limit < 0: all).
Result<QList<Entry>> list(DataStore& store, const QStringList& excluded, qint64 limit = -1, qint64 offset = 0);
// How many list() gives without a limit.
Result<qint64> count(DataStore& store, const QStringList& excluded);
// The records in the trash carrying file number `number`, in ascending id.
Result<QList<qint64>> numbered(DataStore& store, const QString& number);
// The records moved into the trash before `before` (a stored time text), in
// ascending id.
Result<QList<qint64>> movedBefore(DataStore& store, const QString& before);

// The dictionary value `name` of zdbh written, its row added when the
// archive has none yet (one transaction).
Status writeSetting(DataStore& store, const QString& name, const QString& value);

}  // namespace TrashRows
