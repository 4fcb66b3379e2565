#pragma once

#include "archive/ProtectedGroups.h"
#include "platform/Job.h"
#include "platform/Result.h"
#include "store/ArchiveLocation.h"
#include "store/CurrentOperator.h"

#include <QList>
#include <QString>
#include <QStringList>

class DataStore;
class Progress;

// "批量修改": sets one spare field (b1 … b15) of many records to one value.
// All records of a run change in one transaction: a failure or a cancel
// leaves every record as it was. One log line "修改文件：" per record.
class BatchModify {
public:
    static inline const QString WindowTitle = QStringLiteral("批量修改");
    static inline const QString NothingSelected = QStringLiteral("没有选择任何记录!");
    static inline const QString Confirm = QStringLiteral("确定进行批量修改吗 ?");
    static inline const QString AllDone = QStringLiteral("修改全部完成!");
    static inline const QString Failed = QStringLiteral("修改文件失败!");
    static inline const QString Cancelled = QStringLiteral("修改文件取消! 没有记录被修改");
    // "成功修改了 n 条文件记录!"
    static QString doneText(int count);

    // A spare field as the list names it: its title (lbsz.btm) and column.
    struct Field {
        QString title;
        QString column;  // "b1" … "b15"
        int number = 0;  // lbsz.bh (6 … 20)
        bool isDate() const;
    };
    // The fields of lbsz rows 6 … 20 of wj, in that order; rows whose column
    // is not a spare field are left out.
    static Result<QList<Field>> fields(DataStore& store);
    // The values offered for a field: its options (table xx), then the
    // values in use (records of closed protected groups left out), each once.
    static Result<QStringList> choices(DataStore& store, const Field& field, const ProtectedGroups& open);

    BatchModify(DataStore& store, const CurrentOperator& op, ProtectedGroups open);

    struct Changed {
        int count = 0;           // records changed
        bool logFailed = false;  // a log line could not be written ("写出日志失败!")
    };
    // Sets the field of records `ids` to `value`. Records that are gone, or
    // lie in a closed protected group, are left alone.
    Result<Changed> run(const QList<qint64>& ids, const Field& field, const QString& value, Progress& progress);
    // The same as the body of a Job, on a connection of its own opened on
    // the thread the job runs on.
    static JobOf<Changed>::Body job(ArchiveLocation archive, CurrentOperator op, ProtectedGroups open,
                                    QList<qint64> ids, Field field, QString value);

private:
    DataStore& m_store;
    const CurrentOperator& m_operator;
    ProtectedGroups m_open;
};
