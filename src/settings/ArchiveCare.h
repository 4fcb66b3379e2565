#pragma once

#include "platform/Result.h"

#include <QString>

class DataStore;
class ProgramHome;
class TreeCopyProgress;

// Where an archive lies: its Data folder, the database file and the store
// folder inside it.
struct ArchivePlace {
    QString dataFolder;
    QString databasePath;
    QString storeFolder;

    static ArchivePlace of(const ProgramHome& home, const QString& databasePath);
};

// The care of the archive as a whole: backup, restore, rebuild and
// compaction. Callable without windows (a command line uses them too): each
// takes the places, reports to a TreeCopyProgress (optional) that may also
// cancel, and returns a Result whose message is the text to show.
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
// Lf directly. The database is copied through SQLite's online backup from a
// connection of its own (a consistent snapshot while other connections stay
// open and may write), then the store folder file by file. The copy is
// verified (checkFolder) before it takes the names files.dat and Lf in
// target; a failure or cancel removes everything it wrote and leaves a
// backup that was already there untouched. The value is the bytes copied.
Result<qint64> backup(const ArchivePlace& place, const QString& target, TreeCopyProgress* progress = nullptr);

// Whether folder holds an archive this program can open: files.dat is an
// SQLite database that passes quick_check, holds every table, has no newer
// schema, and every kept file it names lies in folder's Lf with its size.
// Fails with NotABackup (the detail says why).
Status checkFolder(const QString& folder, TreeCopyProgress* progress = nullptr);

// First half of a restore, while the connections may still be open: copies
// source into a new folder beside the Data folder and checks the copy.
// The value is that folder. Nothing of the archive in use changes.
Result<QString> prepareRestore(const ArchivePlace& place, const QString& source,
                               TreeCopyProgress* progress = nullptr);
// Second half, with every connection closed: the prepared folder becomes
// the Data folder in one exchange of names, and the Data folder that was in
// use is kept beside it under a dated name, which is the value. The
// message is RestoreDone with that place.
Result<QString> swapIn(const ArchivePlace& place, const QString& prepared);

// Backs the archive up into a dated folder beside the Data folder, then
// empties it to its initial content (tables in one transaction, then the
// store folder's files). The value is the backup folder.
Result<QString> rebuild(const ArchivePlace& place, DataStore& store, TreeCopyProgress* progress = nullptr);

struct Compacted {
    qint64 before = 0;
    qint64 after = 0;
};
// VACUUM on the connection given; the message gives both sizes.
Result<Compacted> compact(DataStore& store);

// A folder name beside the Data folder, free now: "Data-" + yyyyMMdd-hhmmss
// (+ "-n" when taken).
QString datedFolderBeside(const QString& dataFolder);

}
