#include "store/SavedConditionRows.h"

#include "store/DataStore.h"

namespace SavedConditionRows {

namespace {
Row rowOf(const RecordSet& rs)
{
    return Row{rs.number(0), rs.text(1), rs.text(2), rs.text(3)};
}
}  // namespace

Result<QList<Row>> usedBy(DataStore& store, const QString& user, const QString& otherUser)
{
    RecordSet rs =
        store.query(QStringLiteral("select id,mc,syr,cjr from tj where syr=? or syr=? order by id"), {user, otherUser});
    if (!rs)
        return Result<QList<Row>>::fail(QString(), store.lastError());
    QList<Row> out;
    for (; !rs.atEnd(); rs.next())
        out.append(rowOf(rs));
    return out;
}

Result<std::optional<Row>> find(DataStore& store, qint64 id, const QString& user, const QString& otherUser)
{
    RecordSet rs = store.query(QStringLiteral("select id,mc,syr,cjr from tj where id=? and (syr=? or syr=?)"),
                               {id, user, otherUser});
    if (!rs)
        return Result<std::optional<Row>>::fail(QString(), store.lastError());
    if (rs.atEnd())
        return std::optional<Row>{};
    return std::optional<Row>{rowOf(rs)};
}

Result<std::optional<QString>> content(DataStore& store, qint64 id)
{
    const Result<std::optional<QVariant>> nr = store.scalar(QStringLiteral("select nr from tj where id=?"), {id});
    if (!nr)
        return nr.failure();
    if (!nr->has_value())
        return std::optional<QString>{};
    return std::optional<QString>{(*nr)->toString()};
}

Result<qint64> insert(DataStore& store, const Row& row, const QString& content, const QString& readableSql)
{
    if (!store.execute(QStringLiteral("insert into tj(syr,cjr,mc,nr,sq) values (?,?,?,?,?)"),
                       {row.user, row.creator, row.name, content, readableSql}))
        return Result<qint64>::fail(QString(), store.lastError());
    return store.lastInsertId();
}

Result<int> update(DataStore& store, const Row& row, const QString& content, const QString& readableSql,
                   const QString& creator)
{
    if (!store.execute(QStringLiteral("update tj set syr=?,cjr=?,mc=?,nr=?,sq=? where id=? and cjr=?"),
                       {row.user, row.creator, row.name, content, readableSql, row.id, creator}))
        return Result<int>::fail(QString(), store.lastError());
    return store.rowsAffected();
}

Result<int> remove(DataStore& store, qint64 id, const QString& creator)
{
    if (!store.execute(QStringLiteral("delete from tj where id=? and cjr=?"), {id, creator}))
        return Result<int>::fail(QString(), store.lastError());
    return store.rowsAffected();
}

}  // namespace SavedConditionRows
