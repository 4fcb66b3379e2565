#include "archive/BatchModify.h"

#include "archive/GroupPath.h"
#include "platform/PrivateFolder.h"
#include "platform/Progress.h"
#include "store/DataStore.h"
#include "store/FieldOptions.h"
#include "store/LogWriter.h"
#include "store/StoreJob.h"
#include "store/WjColumns.h"

QString BatchModify::doneText(int count)
{
    return QStringLiteral("成功修改了 ") + QString::number(count) + QStringLiteral(" 条文件记录!");
}

bool BatchModify::Field::isDate() const
{
    // b13 … b15 are filled from date boxes.
    return number > WjColumns::FirstSpareBh + WjColumns::PickListSpares - 1 && number <= WjColumns::LastSpareBh;
}

Result<QList<BatchModify::Field>> BatchModify::fields(DataStore& store)
{
    RecordSet rs = store.query(QStringLiteral("select btm,zdm,bh from lbsz where bh between ? and ? and bm='wj' order by bh"),
                               {WjColumns::FirstSpareBh, WjColumns::LastSpareBh});
    if (!rs)
        return Result<QList<Field>>::fail(QString(), store.lastError());
    QList<Field> out;
    for (; !rs.atEnd(); rs.next()) {
        const int number = int(rs.number(2));
        const QString column = WjColumns::canonical(rs.text(1));
        // Only the row's own spare field: a setting never names another column here.
        if (column != WjColumns::spareColumn(number - WjColumns::FirstSpareBh))
            continue;
        out.append({rs.text(0), column, number});
    }
    return out;
}

Result<QStringList> BatchModify::choices(DataStore& store, const Field& field, const ProtectedGroups& open)
{
    QStringList out;
    if (!field.isDate()) {
        const Result<QStringList> options = FieldOptions::options(store, field.number);
        if (!options)
            return Result<QStringList>::fail(QString(), options.detail());
        out = options.value();
    }
    QStringList closed;
    if (!open.readClosedPaths(store, &closed))
        return Result<QStringList>::fail(QString(), store.lastError());
    QString sql = QStringLiteral("select %1 from wj where %1<>''").arg(field.column);
    QVariantList params;
    for (const QString& c : std::as_const(closed)) {
        const GroupPath::Condition hidden = GroupPath::withSubgroups(c);
        sql += QStringLiteral(" and not ") + hidden.sql;
        params += hidden.params;
    }
    RecordSet rs = store.query(sql + QStringLiteral(" group by %1 order by %1").arg(field.column), params);
    if (!rs)
        return Result<QStringList>::fail(QString(), store.lastError());
    for (; !rs.atEnd(); rs.next())
        out << rs.text(0);
    out.removeDuplicates();
    return out;
}

BatchModify::BatchModify(DataStore& store, const CurrentOperator& op, ProtectedGroups open)
    : m_store(store), m_operator(op), m_open(std::move(open))
{
}

JobOf<BatchModify::Changed>::Body BatchModify::job(QString databasePath, CurrentOperator op, ProtectedGroups open,
                                                  QList<qint64> ids, Field field, QString value)
{
    return StoreJob::body<Changed>(std::move(databasePath), [=](DataStore& store, JobContext& context) {
        return BatchModify(store, op, open).run(ids, field, value, context);
    });
}

Result<BatchModify::Changed> BatchModify::run(const QList<qint64>& ids, const Field& field, const QString& value, Progress& progress)
{
    auto failed = [&](const QString& detail) { return Result<Changed>::fail(PrivateFolder::withCause(Failed, detail), detail); };
    if (ids.isEmpty())
        return Result<Changed>::fail(NothingSelected);
    if (field.column != WjColumns::spareColumn(field.number - WjColumns::FirstSpareBh))
        return failed(QStringLiteral("%1 is not a spare field").arg(field.column));
    QStringList closed;
    if (!m_open.readClosedPaths(m_store, &closed))
        return failed(m_store.lastError());

    progress.setRange(0, ids.size());
    progress.setValue(0);
    Transaction tx(m_store);
    if (!tx.isActive())
        return failed(m_store.lastError());
    LogWriter log(m_store, m_operator);
    const QString update = QStringLiteral("update wj set %1=? where id=?").arg(field.column);
    Changed changed;
    for (int i = 0; i < ids.size(); ++i) {
        if (progress.cancelled())
            return Result<Changed>::cancel(Cancelled);
        RecordSet rs = m_store.query(QStringLiteral("select bh,mc,lx,fz from wj where id=?"), {ids.at(i)});
        if (!rs)
            return failed(m_store.lastError());
        if (rs.atEnd())
            continue;
        const QString details = LogWriter::fileDetails(rs.text(0), rs.text(1), rs.text(2));
        const QString group = rs.text(3);
        rs.close();
        bool hidden = false;
        for (const QString& c : std::as_const(closed))
            hidden = hidden || GroupPath::covers(c, group);
        if (hidden)
            continue;
        if (!m_store.execute(update, {value, ids.at(i)}) || m_store.rowsAffected() != 1)
            return failed(m_store.lastError());
        // A log line that cannot be written does not undo the change.
        if (!log.write(LogWriter::FileModified + details + QStringLiteral("，") + field.title + QStringLiteral(":") + value))
            changed.logFailed = true;
        ++changed.count;
        progress.setValue(i + 1);
    }
    if (progress.cancelled())
        return Result<Changed>::cancel(Cancelled);
    if (!tx.commit())
        return failed(m_store.lastError());
    return Result<Changed>(changed, doneText(changed.count));
}
