#include "archive/BatchModify.h"

#include "archive/GroupPath.h"
#include "platform/PrivateFolder.h"
#include "platform/Progress.h"
#include "store/ColumnSettings.h"
#include "store/DataStore.h"
#include "store/FieldOptions.h"
#include "store/LogWriter.h"
#include "store/RecordRows.h"
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
    const Result<QList<ColumnSettings::Row>> rows =
        ColumnSettings::fieldsBetween(store, WjColumns::FirstSpareBh, WjColumns::LastSpareBh);
    if (!rows)
        return Result<QList<Field>>::fail(QString(), rows.detail());
    QList<Field> out;
    for (const ColumnSettings::Row& row : rows.value()) {
        const QString column = WjColumns::canonical(row.field);
        // Only the row's own spare field: a setting never names another column here.
        if (column != WjColumns::spareColumn(row.bh - WjColumns::FirstSpareBh))
            continue;
        out.append({row.title, column, row.bh});
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
    const Result<QStringList> inUse = RecordRows::spareValues(store, field.column, closed);
    if (!inUse)
        return Result<QStringList>::fail(QString(), inUse.detail());
    out += inUse.value();
    out.removeDuplicates();
    return out;
}

BatchModify::BatchModify(DataStore& store, const CurrentOperator& op, ProtectedGroups open)
    : m_store(store), m_operator(op), m_open(std::move(open))
{
}

JobOf<BatchModify::Changed>::Body BatchModify::job(ArchiveLocation archive, CurrentOperator op, ProtectedGroups open,
                                                   QList<qint64> ids, Field field, QString value)
{
    return StoreJob::body<Changed>(std::move(archive), [=](DataStore& store, JobContext& context) {
        return BatchModify(store, op, open).run(ids, field, value, context);
    });
}

Result<BatchModify::Changed> BatchModify::run(const QList<qint64>& ids, const Field& field, const QString& value,
                                              Progress& progress)
{
    auto failed = [&](const QString& detail) {
        return Result<Changed>::fail(PrivateFolder::withCause(Failed, detail), detail);
    };
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
    Changed changed;
    for (int i = 0; i < ids.size(); ++i) {
        if (progress.cancelled())
            return Result<Changed>::cancel(Cancelled);
        const Result<std::optional<RecordRows::Brief>> found = RecordRows::brief(m_store, ids.at(i));
        if (!found)
            return failed(found.detail());
        if (!found->has_value())
            continue;
        const QString details = LogWriter::fileDetails((*found)->number, (*found)->name, (*found)->type);
        const QString& group = (*found)->group;
        bool hidden = false;
        for (const QString& c : std::as_const(closed))
            hidden = hidden || GroupPath::covers(c, group);
        if (hidden)
            continue;
        if (const Status set = RecordRows::setSpare(m_store, field.column, ids.at(i), value); !set)
            return failed(set.detail());
        // A log line that cannot be written does not undo the change.
        if (!log.write(LogWriter::FileModified + details + QStringLiteral("，") + field.title + QStringLiteral(":")
                       + value))
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
