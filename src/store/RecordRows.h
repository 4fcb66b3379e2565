#pragma once

#include "platform/Result.h"
#include "store/WjColumns.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class DataStore;
class RecordSet;

// One row of wj without its content.
struct FileRecord {
    qint64 id = -1;
    qint64 position = 0;  // the manual order of the list
    QString number;       // file number
    QString name;         // name without type
    QString group;        // group path
    QString type;
    QString sizeText;
    qint64 size = 0;                                         // in bytes
    QStringList spare = QStringList(WjColumns::SpareCount);  // b1 … b15
    QString storedBy, storedAt, changedBy, changedAt;
    QString remark;
    qint64 viewCount = 0;
    QString keptPath;  // the file in the store folder; empty when held in the database
};

// The statements on the rows of wj, the file records: reading, adding,
// changing and deleting them, their numbers, kept-file paths, spare fields
// and view counts. The content itself is RecordContent's (table wjnr); the
// records of a group are GroupRows'. Writes of more than one row run inside
// the caller's transaction.
namespace RecordRows {

// What most runs need of a record: enough to name it and find its content.
struct Brief {
    qint64 id = -1;
    QString number;    // bh
    QString name;      // mc
    QString group;     // fz
    QString type;      // lx
    QString keptPath;  // lj
    qint64 size = 0;   // dxsz
    QString sha256;    // empty when none is recorded
};

// A record found by its name.
struct Named {
    qint64 id = -1;
    QString number, name, type, group, storedAt;
};

// The record, or nullopt when there is none.
Result<std::optional<FileRecord>> read(DataStore& store, qint64 id);
Result<std::optional<Brief>> brief(DataStore& store, qint64 id);
// The texts of `columns` (columns a setting may name, WjColumns::nameable())
// of record id in that order; nullopt when there is no such record.
Result<std::optional<QStringList>> texts(DataStore& store, qint64 id, const QStringList& columns);
// The records with this name and type in ascending id, those of the groups
// `excluded` (and below) left out.
Result<QList<Named>> sameName(DataStore& store, const QString& name, const QString& type, const QStringList& excluded);
// The records whose number is `number`, in ascending id.
Result<QList<qint64>> numbered(DataStore& store, const QString& number);

// The list position a new record takes: after the last one stored.
Result<qint64> nextPosition(DataStore& store);
// Inserts `r` (its id, view count and change columns aside) with no content;
// the new record's id, above every id in wj and in the trash.
Result<qint64> insert(DataStore& store, const FileRecord& r);
// Writes the editable columns of record r.id (name, group, spare fields,
// remark, changedBy/At); withContent also its type, size and kept path, and
// empties wj.wj. Fails when there is no such record.
Status change(DataStore& store, const FileRecord& r, bool withContent);
// Deletes the row of record id; fails when there is none.
Status remove(DataStore& store, qint64 id);
// A new record in `group` with the columns of record `from` (the content
// aside), its own position and the number `number`; the new id. Fails when
// `from` is gone.
Result<qint64> copy(DataStore& store, qint64 from, qint64 position, const QString& number, const QString& group);
// Sets number and kept path of record id; fails when there is none.
Status setNumber(DataStore& store, qint64 id, const QString& number, const QString& keptPath);
// The same, only while the record still carries the number `marker`.
Status replaceMarker(DataStore& store, qint64 id, const QString& marker, const QString& number,
                     const QString& keptPath);
// Records sha256Hex as record id's hash unless it has one.
Status fillHash(DataStore& store, qint64 id, const QString& sha256Hex);

// The kept-file reads below count the records in the trash (wjhs) and the
// versions' content (bbnr) as well: their files are not free.
// Whether a record refers to a kept file by either spelling of its path.
Result<bool> keptPathInUse(DataStore& store, const QString& storedPath, const QString& folderPath);
// Whether a record other than id refers to a kept file by any of the
// spellings given (the same one may be given more than once).
Result<bool> keptPathShared(DataStore& store, qint64 id, const QString& lj, const QString& absolute,
                            const QString& stored);
// Every kept path recorded (lj not empty), one at a time.
Status eachKeptPath(DataStore& store, const std::function<void(const QString&)>& each);

// Sets spare field `column` ("b1" … "b15") of record id; fails when there
// is no such record or the column is no spare field.
Status setSpare(DataStore& store, const QString& column, qint64 id, const QString& value);
// The values in use of spare field `column`, sorted and each once, those of
// the groups `excluded` (and below) left out.
Result<QStringList> spareValues(DataStore& store, const QString& column, const QStringList& excluded);

// Counts one more view of record id; fails when there is no such record.
Status countView(DataStore& store, qint64 id);

// For the other statements of the store that read briefs.
const QString& briefColumns();
Brief briefFrom(const RecordSet& rs);

}  // namespace RecordRows
