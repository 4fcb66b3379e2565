#pragma once

#include "platform/Result.h"
#include "settings/ArchiveCare.h"

#include <QList>
#include <QString>

class CurrentOperator;
class DataStore;

// What the archive's care leaves taking space: the quarantine folder beside
// the store folder (kept files no record named, set aside by the start-up
// sweep or by check --repair) and the folders beside the Data folder that a
// restore or a rebuild kept ("Data-yyyyMMdd-hhmmss", "-n" added when that
// was taken). Measured for the window "全局参数" and removed from it after
// a confirmation.
//
// Only those folders are ever touched: each must be a real folder (a link
// is never followed, neither at the top nor below it), never the Data
// folder, the store folder or a folder holding the database in use, however
// they are spelled or reached (RealPath); a removal never leaves the
// folder's own file system (a mount point below it stays, and the removal
// fails).
namespace ArchiveWaste {

inline const QString SpaceLabel = QStringLiteral("隔离及旧数据占用: %1");
inline const QString RemoveButton = QStringLiteral("清除旧数据");
inline const QString Question =
    QStringLiteral("将永久删除隔离目录中的文件和恢复、重建时保留的旧数据目录（共 %1），删除后不能恢复! 是否继续?");
inline const QString Nothing = QStringLiteral("没有隔离文件或旧数据目录。");
inline const QString Removed = QStringLiteral("隔离及旧数据已删除，释放 %1。");
inline const QString RemoveFailed = QStringLiteral("删除隔离及旧数据失败!");
inline const QString MeasureFailed = QStringLiteral("无法统计隔离及旧数据!");
// The log line of a removal: this, then what went.
inline const QString LogPrefix = QStringLiteral("清除隔离及旧数据：");

struct Folder {
    QString path;
    bool quarantine = false;  // the quarantine folder; otherwise a kept Data-<date> folder
    qint64 bytes = 0;         // of the files (and links) below it, each as itself
    qint64 files = 0;
};

struct Waste {
    QList<Folder> folders;
    qint64 bytes = 0;
    qint64 files = 0;
    bool isEmpty() const { return folders.isEmpty(); }
};

// True when `name`, beside a Data folder named `dataName`, is the name of a
// kept copy: dataName + "-yyyyMMdd-hhmmss", optionally + "-n".
bool isKeptCopyName(const QString& dataName, const QString& name);

// The quarantine folder and the kept copies beside the Data folder of
// `place`, with what they hold. A folder that cannot be read whole fails
// (MeasureFailed, the detail says which).
Result<Waste> measure(const ArchivePlace& place);

// Removes every folder measure() finds, each with all below it, and writes
// one log line under `op` into `store` (when it is open). The value is what
// was removed; its message is Removed, or Nothing when there was nothing.
// Fails with RemoveFailed when something stays (the detail says what);
// what went stays gone, and the log line names it.
Result<Waste> remove(const ArchivePlace& place, DataStore& store, const CurrentOperator& op);

// A size as the label shows it: sizeText below a gigabyte ("512.00MB"),
// then "1.20GB" (base 1024, cut to two decimals).
QString spaceText(qint64 bytes);

}
