#pragma once

#include "archive/ProtectedGroups.h"
#include "platform/Job.h"
#include "platform/Result.h"
#include "store/ArchiveLocation.h"
#include "store/CurrentOperator.h"

#include <QList>
#include <QString>

class DataStore;
class Progress;

// Moving records to another group: the chosen records ("调整文件所属分组"),
// or every record of exactly one group, its sub-groups' records staying
// ("调整分组"). Either move is one transaction: all move or none; a cancel
// (asked between two records) leaves every record where it was. Nothing
// moves into, out of or within a closed protected group. A job runs either
// move on a connection of its own (recordsJob(), groupJob()).
class Regroup {
public:
    // The captions of the moves' windows: their commands' names.
    static inline const QString RecordsTitle = QStringLiteral("调整文件所属分组");
    static inline const QString GroupTitle = QStringLiteral("调整分组");
    static inline const QString ConfirmRecords = QStringLiteral("确定调整分组吗?");
    static inline const QString RecordsFailed = QStringLiteral("调整失败!");
    static inline const QString RecordsDone = QStringLiteral("调整完成!");
    static inline const QString ConfirmGroup = QStringLiteral("确定批量调整分组吗?");
    static inline const QString GroupFailed = QStringLiteral("批量调整失败!");
    // "批量调整完成! 原分组: <old> 新分组: <new>"
    static QString groupDoneText(const QString& oldPath, const QString& newPath);
    // "修改文件：调整分组<number> <name>.<type>，原分组:<old> 到 新分组:<new>"
    static QString recordLogText(const QString& details, const QString& oldPath, const QString& newPath);
    // "修改文件：批量调整分组，原分组: <old> 新分组: <new>"
    static QString groupLogText(const QString& oldPath, const QString& newPath);

    struct Moved {
        int count = 0;           // records moved
        bool logFailed = false;  // a log line could not be written ("写出日志失败!")
    };

    Regroup(DataStore& store, const CurrentOperator& op, ProtectedGroups open);

    // Moves records `ids` into group `target`, one log line each; progress
    // (may be null) hears the records done and is asked between them
    // whether to stop.
    Result<Moved> moveRecords(const QList<qint64>& ids, const QString& target, Progress* progress = nullptr);
    // Moves the records of exactly group `source` into `target`, one log line.
    Result<Moved> moveGroupFiles(const QString& source, const QString& target);

    // The same moves as the bodies of jobs on a connection of their own.
    static JobOf<Moved>::Body recordsJob(ArchiveLocation archive, CurrentOperator op, ProtectedGroups open,
                                         QList<qint64> ids, QString target);
    static JobOf<Moved>::Body groupJob(ArchiveLocation archive, CurrentOperator op, ProtectedGroups open,
                                       QString source, QString target);

private:
    // Whether `path` is a group of wjfz and open; the failure when not.
    Status checkGroup(const QString& path, const QString& message);
    bool isClosed(const QStringList& closed, const QString& path) const;

    DataStore& m_store;
    const CurrentOperator& m_operator;
    ProtectedGroups m_open;
};
