#pragma once

#include "archive/ProtectedGroups.h"
#include "archive/StoreFolder.h"
#include "platform/Job.h"
#include "platform/Result.h"
#include "store/ArchiveLocation.h"
#include "store/CurrentOperator.h"
#include "store/TrashRows.h"

#include <QList>
#include <QString>
#include <QStringList>

class DataStore;

// The trash: a deleted record is moved there whole (its row, number and
// content stay, who and when are added) and can be moved back into its
// group, or be deleted for good with its content and kept file.
//
// Every run works in chunks of whole records, each chunk one transaction
// with a log line per record; a cancel is heard between chunks. A kill
// leaves each record either where it was or where it went, never between.
// A record of a closed protected group is never listed, named, restored or
// purged by someone who has not opened it.
namespace Trash {

inline const QString WindowTitle = QStringLiteral("回收站");
inline const QString RestoreTitle = QStringLiteral("正在还原文件...");
inline const QString PurgeTitle = QStringLiteral("正在彻底删除文件...");
inline const QString PurgeQuestion = QStringLiteral("是否彻底删除选中的文件? 删除后不能恢复!");
inline const QString EmptyQuestion = QStringLiteral("是否清空回收站? 回收站中的 %1 个文件删除后不能恢复!");
inline const QString NothingInTrash = QStringLiteral("回收站是空的!");
inline const QString RestoreFailed = QStringLiteral("还原失败!");
inline const QString PurgeFailed = QStringLiteral("彻底删除失败!");
inline const QString NotInTrash = QStringLiteral("回收站中没有这个文件!");
// The log lines: after LogWriter::FileDeleted + details, and the two moves out.
inline const QString MovedInSuffix = QStringLiteral(" 移入回收站");
inline const QString RestoredPrefix = QStringLiteral("还原文件：");
inline const QString RestoredSuffix = QStringLiteral(" 从回收站还原");
inline const QString PurgedPrefix = QStringLiteral("彻底删除：");
inline const QString PurgedSuffix = QStringLiteral(" 从回收站删除");
// The dictionary value of "全局参数": days a record stays in the trash
// (0: until it is emptied by hand).
inline const QString RetentionName = QStringLiteral("回收站保留天数");
inline constexpr int DefaultRetentionDays = 30;
inline constexpr int MaxRetentionDays = 36500;
// Records per transaction.
inline constexpr int ChunkSize = 250;

using Entry = TrashRows::Entry;

// The stored retention (DefaultRetentionDays when none is stored or it
// cannot be read: a failed read never purges more than the default would).
int retentionDays(DataStore& store);
Status setRetentionDays(DataStore& store, int days);

// The records in the trash the operator may see: those of closed protected
// groups left out (every one when the groups cannot be read).
Result<QList<Entry>> visible(DataStore& store, const ProtectedGroups& open, qint64 limit = -1, qint64 offset = 0);
Result<qint64> visibleCount(DataStore& store, const ProtectedGroups& open);
// The visible records in the trash carrying these file numbers; numbers
// with none go to *missing.
Result<QList<qint64>> numbered(DataStore& store, const ProtectedGroups& open, const QStringList& numbers,
                               QStringList* missing);

// What one record of a run came to.
struct Item {
    qint64 id = -1;
    QString number;
    bool done = false;
    QString message;  // why it was refused or failed (empty when done)
    QString detail;
};

struct Outcome {
    int done = 0;
    int refused = 0;
    bool cancelled = false;
    bool logFailed = false;
    QList<Item> refusedItems;
};

// Moves the records into the trash in one transaction, each with its log
// line "删除文件：… 移入回收站"; a record without number is refused and one
// already gone counts as done. A failure leaves the whole chunk as it was.
Result<QList<Item>> moveInChunk(DataStore& store, const CurrentOperator& op, const QList<qint64>& ids, bool* logFailed);

struct Setup {
    ArchiveLocation archive;
    StoreFolder folder;
    CurrentOperator op;
    ProtectedGroups open;
};

// Moves ids back into their groups (made again when gone) with the same id,
// number and content. Needs "增加".
Result<Outcome> restore(DataStore& store, const Setup& setup, const QList<qint64>& ids, JobContext& context);
// Deletes ids from the trash for good with their content and the kept files
// no other record, trashed record or version names. Needs "删除".
Result<Outcome> purge(DataStore& store, const Setup& setup, const QList<qint64>& ids, JobContext& context);
// Purges every record moved into the trash more than `days` days before
// now (nothing with days 0), those of protected groups among them, which
// the log does not name.
Result<Outcome> purgeExpired(DataStore& store, const Setup& setup, int days, JobContext& context);

JobOf<Outcome>::Body restoreJob(Setup setup, QList<qint64> ids);
JobOf<Outcome>::Body purgeJob(Setup setup, QList<qint64> ids);
// With days < 0 the stored retention is read on the job's connection.
JobOf<Outcome>::Body purgeExpiredJob(Setup setup, int days = -1);

// The log line of an expiry run ("回收站：… 个文件保留期满，已彻底删除").
QString expiredLogText(int purged, int days);

}  // namespace Trash
