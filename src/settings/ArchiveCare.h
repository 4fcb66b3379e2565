#pragma once

#include "platform/Job.h"
#include "platform/Result.h"
#include "store/ArchiveLocation.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class DataStore;
class InstanceLock;
class ProgramHome;
class TreeCopyProgress;

// Where an archive lies: the archive, its Data folder, the database file
// and the store folder inside it. Backup, restore, rebuild and the waste
// work on these folders and on the database file itself.
struct ArchivePlace {
    ArchiveLocation archive;
    QString dataFolder;
    QString databasePath;
    QString storeFolder;

    // The place of `archive` in the program folder (the default database
    // when `archive` names none).
    static ArchivePlace of(const ProgramHome& home, const ArchiveLocation& archive);
};

// The care of the archive as a whole: backup, restore, rebuild and
// compaction. Callable without windows (a command line uses them too): each
// takes the places, reports to a TreeCopyProgress (optional) that may also
// cancel, and returns a Result whose message is the text to show. The
// *Job functions hand each out as the body of a Job, whose item, bar and
// cancel the copy's status, bytes and stop become; the window shows it in a
// JobWindow, the command line runs it in the terminal.
namespace ArchiveCare {

inline const QString NotABackup = QStringLiteral("不是本系统的备份目录! 请重新选择...");
inline const QString BackupDone = QStringLiteral("备份成功!");
inline const QString BackupFailed = QStringLiteral("备份失败!");
inline const QString BackupCancelled = QStringLiteral("备份已取消!");
inline const QString RestoreDone = QStringLiteral("恢复成功!");
inline const QString RestoreFailed = QStringLiteral("恢复失败!");
inline const QString RestoreCancelled = QStringLiteral("恢复已取消!");
inline const QString RebuildFailed = QStringLiteral("重建数据库失败!");
inline const QString CompactFailed = QStringLiteral("压缩优化数据库失败!");
inline const QString VerifyingText = QStringLiteral("正在校验...");

// The name of the database file inside a Data folder or a backup folder,
// and of the store folder there.
inline const QString DatabaseName = QStringLiteral("files.dat");
inline const QString StoreName = QStringLiteral("Lf");

// Copies the archive into target, so that target then holds files.dat and
// Lf directly. The database is copied as a consistent snapshot while other
// connections stay open and may write, then the store folder file by file,
// every kept file and every content the database holds checked against its
// recorded size and SHA-256 as it is copied (a damaged one fails the backup
// and is named). The copy is made in a folder of its own beside target and
// verified (checkFolder) before it takes target's place in one exchange of
// names; the backup it replaces stays whole until then. Where target holds
// other files or is a mount point of its own, the backup goes into a dated
// folder inside it instead (the message says where). A failure or cancel
// removes everything it wrote. What killed backups left is removed only
// when it is a mere part copy of the archive in use, otherwise kept under a
// dated name (the message says where). The value is the bytes copied.
Result<qint64> backup(const ArchivePlace& place, const QString& target, TreeCopyProgress* progress = nullptr);

// Whether folder holds an archive this program can open: files.dat is an
// SQLite database that passes quick_check, holds every table, has no newer
// schema, and every kept file it names lies in folder's Lf with its size.
// Fails with NotABackup (the detail says why).
Status checkFolder(const QString& folder, TreeCopyProgress* progress = nullptr);

// First half of a restore, while the connections may still be open: copies
// source into a new folder beside the Data folder and checks the copy.
// The value is that folder. Nothing of the archive in use changes.
Result<QString> prepareRestore(const ArchivePlace& place, const QString& source, TreeCopyProgress* progress = nullptr);
// Leftovers of a restore that stopped part way are never deleted (one may
// hold the archive that was in use): prepareRestore keeps them under dated
// names beside the Data folder, and then its message says where
// (leftoversKeptText). keepRestoreLeftovers does the same at start-up and
// returns the places.
QStringList keepRestoreLeftovers(const ArchivePlace& place);
QString leftoversKeptText(const QStringList& kept);

struct Swapped {
    QString kept;                        // the Data folder that was in use, now under a dated name
    std::shared_ptr<InstanceLock> lock;  // the lock of the Data folder now in use
};
// Second half, with every connection closed: the prepared folder becomes
// the Data folder in one exchange of names, and the Data folder that was in
// use is kept beside it under a dated name. The lock of the new Data folder
// is taken before the exchange and handed to the caller, who keeps its old
// locks until this returns and then holds this one instead. The message is
// RestoreDone with the place of the old data.
Result<Swapped> swapIn(const ArchivePlace& place, const QString& prepared);

// The whole second half as the window and the command line both run it:
// every connection closed, swapIn, the prepared folder removed when the swap
// failed, and the connections opened again, handed the new Data folder's
// lock (nullptr when the swap failed) to hold instead of the old ones.
struct Connections {
    std::function<void()> close;
    std::function<bool(std::shared_ptr<InstanceLock>)> reopen;  // false: the archive could not be opened again
};
struct Restored {
    Result<Swapped> swapped;
    bool reopened = false;
};
Restored finishRestore(const ArchivePlace& place, const QString& prepared, const Connections& connections);

// Backs the archive up into a dated folder beside the Data folder, then
// empties it to its initial content (tables in one transaction, then the
// store folder's files). The value is the backup folder.
Result<QString> rebuild(const ArchivePlace& place, DataStore& store, TreeCopyProgress* progress = nullptr);

struct Compacted {
    qint64 before = 0;
    qint64 after = 0;
};
// The database rebuilt compactly on the connection given; the message gives
// both sizes. `cancelled` (optional) stops it with nothing changed.
Result<Compacted> compact(DataStore& store, const std::function<bool()>& cancelled = {});

// backup, prepareRestore, rebuild and compact as job bodies; rebuild and
// compact work on a connection of their own opened where the job runs.
JobOf<qint64>::Body backupJob(ArchivePlace place, QString target);
JobOf<QString>::Body prepareRestoreJob(ArchivePlace place, QString source);
JobOf<QString>::Body rebuildJob(ArchivePlace place);
JobOf<Compacted>::Body compactJob(ArchiveLocation archive);

// A folder name beside the Data folder, free now: "Data-" + yyyyMMdd-hhmmss
// (+ "-n" when taken).
QString datedFolderBeside(const QString& dataFolder);

}
