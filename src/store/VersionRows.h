#pragma once

#include "platform/Result.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class DataStore;

// The earlier contents of records: one row of wjbb per version (record,
// number from 1 per record, who replaced it and when, size, SHA-256, the
// name and type it had), and the bytes in bbnr, once per SHA-256 however
// many versions (of however many records) hold them: inline (nr) or as a
// kept file of the store folder (lj, relative to the program folder as
// wj.lj is). A kept file of bbnr is never a record's kept file too.
//
// Writes run inside the caller's transaction, so a version and the change
// that made it commit together or not at all.
namespace VersionRows {

struct Version {
    qint64 id = -1;
    qint64 recordId = -1;  // wjid
    int number = 0;        // bbh
    QString by;            // czy: who replaced this content
    QString at;            // sj: when
    qint64 size = 0;       // dx
    QString sha256;
    QString name;  // mc
    QString type;  // lx
};

// A bbnr row without its bytes.
struct Content {
    QString sha256;
    qint64 size = 0;
    QString keptPath;  // lj; empty when the bytes are inline
    bool isKept() const { return !keptPath.isEmpty(); }
};

// Adds version v of record v.recordId, numbered after its last one; the
// version as stored (id and number set). Its bytes must be stored too
// (storeBytes, storeHeldOf or storeKept) unless bbnr holds them already.
Result<Version> add(DataStore& store, const Version& v);

// The bbnr row of sha256, or nullopt when bbnr holds no such content.
Result<std::optional<Content>> content(DataStore& store, const QString& sha256);
// Stores bytes under sha256 inline (nothing when bbnr already holds it).
Status storeBytes(DataStore& store, const QString& sha256, const QByteArray& bytes);
// Stores the content record id holds in the database (wjnr, or wj.wj of an
// archive whose content move has not finished) under sha256, copied inside
// the database; fails when the record holds none.
Status storeHeldOf(DataStore& store, qint64 recordId, const QString& sha256, qint64 size);
// Names the kept file lj as the bytes of sha256.
Status storeKept(DataStore& store, const QString& sha256, qint64 size, const QString& keptPath);

// The versions of record id, newest first.
Result<QList<Version>> list(DataStore& store, qint64 recordId);
// Version id, or nullopt when there is none.
Result<std::optional<Version>> read(DataStore& store, qint64 versionId);
// The inline bytes of sha256 (kept contents are read from their file).
Result<QByteArray> bytes(DataStore& store, const QString& sha256);

// Removes the versions of the records ids; the SHA-256 values they held
// (each once), for purgeUnused.
Result<QStringList> removeOf(DataStore& store, const QList<qint64>& recordIds);
// Removes the bbnr rows that no version holds any more: those of `among`,
// or all of them when `among` is empty. The kept files of the removed rows
// (their lj values) are returned for the caller to remove from the store
// folder after the commit; a file some record (wj or wjhs) names too is
// never among them.
Result<QStringList> purgeUnused(DataStore& store, const QStringList& among = {});

// (The kept-file lookups of RecordRows count bbnr's files as in use.)

// Versions whose bytes bbnr does not hold: record id, number and SHA-256.
Result<QList<Version>> withoutContent(DataStore& store);

struct Totals {
    qint64 versions = 0;  // rows of wjbb
    qint64 contents = 0;  // rows of bbnr
    qint64 bytes = 0;     // the bytes of bbnr, each content once
};
Result<Totals> totals(DataStore& store);

}  // namespace VersionRows
