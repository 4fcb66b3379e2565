#pragma once

#include "archive/ProtectedGroups.h"
#include "archive/StoreFolder.h"
#include "platform/Job.h"
#include "store/ArchiveLocation.h"
#include "store/CurrentOperator.h"

#include <QString>

class DataStore;
class LogWriter;
class Progress;

// Copies every file record of a group and of its sub-groups into one target
// group (the copies land in the target itself). Each copy gets the next
// file number, and a copy whose content lies in the store folder gets a file
// of its own there, so deleting one record never takes another's content.
//
// Records are copied one at a time, each in its own transaction: the row,
// its number and its kept file appear together or not at all. A record
// still marked 'WWW' (left by an interrupted copy of an older version) is
// numbered at the start of the next copy. Files of closed protected groups
// are never copied.
//
// The run's one log line is written with the first copy, in its
// transaction, and rewritten with every further copy, so at any moment it
// says how many copies exist; the last copy writes its final text. A
// cancelled or failed run says so in the line.
class GroupCopy {
public:
    static inline const QString NoTarget = QStringLiteral("没有选择目标分组!");
    static inline const QString CopyFailed = QStringLiteral("复制分组失败! 01");
    static inline const QString FileCopyFailed = QStringLiteral("复制分组失败! 02");
    static inline const QString NumberDrawFailed = QStringLiteral("更换编号失败! 01");
    static inline const QString NumberWriteFailed = QStringLiteral("更换编号失败! 02");
    static inline const QString Cancelled = QStringLiteral("复制文件取消!");
    static inline const QString Succeeded = QStringLiteral("复制分组文件成功!");
    static inline const QString Marker = QStringLiteral("WWW");
    static QString confirmText(const QString& source, const QString& target);
    static QString logText(const QString& source, const QString& target);
    // The log line of a run that did not finish: cancelled, failed, or (as
    // long as it goes on, and so after a kill) still under way.
    enum class Unfinished { Running, Cancelled, Failed };
    static QString logText(const QString& source, const QString& target, Unfinished how, int copied);

    struct Outcome {
        enum class Kind { Done, Cancelled, Refused, Failed };
        Kind kind = Kind::Failed;
        QString message;         // what the window shows
        QString detail;          // the technical reason of a failure
        int copied = 0;          // copies made
        int renumbered = 0;      // leftovers numbered
        bool logFailed = false;  // a log line could not be written (a job's run)
        bool ok() const { return kind == Kind::Done; }
    };

    GroupCopy(DataStore& store, StoreFolder folder, const ProtectedGroups& open, LogWriter& log);

    Outcome run(const QString& source, const QString& target, Progress& progress);
    // The same as the body of a Job, on a connection of its own opened on
    // the thread the job runs on, with a log writer of its own.
    static JobOf<Outcome>::Body job(ArchiveLocation archive, StoreFolder folder, ProtectedGroups open,
                                    CurrentOperator op, QString source, QString target);

private:
    bool numberLeftover(qint64 id, Progress& progress, Outcome* out);
    bool copyOne(qint64 id, const QString& target, Progress& progress, Outcome* out, const QString& logLine);
    // Writes the run's log line (inserting it the first time); inside the
    // caller's transaction when there is one.
    bool writeLogLine(const QString& text);
    bool fail(Outcome* out, Outcome::Kind kind, const QString& message, const QString& detail);
    // Copies the kept file lj to a staged file of the store folder (outside any transaction).
    bool stageKeptFile(const QString& lj, Progress& progress, QString* staged, Outcome* out, QString* hash = nullptr);
    Result<bool> nameTaken(const QString& name);

    DataStore& m_store;
    StoreFolder m_folder;
    const ProtectedGroups& m_open;
    LogWriter& m_log;
    qint64 m_logId = -1;  // the run's line in rz, once written
};
