#include "store/TrashRows.h"

#include "store/ContentIndex.h"
#include "store/DataStore.h"
#include "store/GroupRows.h"
#include "store/RecordContent.h"
#include "store/WjColumns.h"

namespace TrashRows {

namespace {

template <typename T> Result<T> failed(DataStore& store)
{
    return Result<T>::fail(QString(), QStringLiteral("wjhs: ") + store.lastError());
}

// The columns wj and wjhs share, the content column wj.wj among them.
const QString& columns()
{
    static const QString c = WjColumns::all().join(QLatin1Char(','));
    return c;
}

const QString kEntryColumns = QStringLiteral("id,bh,mc,lx,fz,hsr,hssj,dxsz,lj,sha256");

Entry entryFrom(const RecordSet& rs)
{
    Entry e;
    e.id = rs.number(0);
    e.number = rs.text(1);
    e.name = rs.text(2);
    e.type = rs.text(3);
    e.group = rs.text(4);
    e.deletedBy = rs.text(5);
    e.deletedAt = rs.text(6);
    e.size = rs.number(7);
    e.keptPath = rs.text(8);
    e.sha256 = rs.text(9);
    return e;
}

// " where " and the conditions leaving out the groups `excluded`.
GroupRows::Condition visible(const QStringList& excluded)
{
    GroupRows::Condition c{QStringLiteral(" where 1=1"), {}};
    for (const QString& e : excluded) {
        const GroupRows::Condition hidden = GroupRows::withSubgroups(e);
        c.sql += QStringLiteral(" and not ") + hidden.sql;
        c.params += hidden.params;
    }
    return c;
}

Result<QList<qint64>> ids(DataStore& store, const QString& sql, const QVariantList& params)
{
    RecordSet rs = store.query(sql, params);
    if (!rs)
        return failed<QList<qint64>>(store);
    QList<qint64> out;
    for (; !rs.atEnd(); rs.next())
        out << rs.number(0);
    return out;
}

}  // namespace

Result<bool> moveIn(DataStore& store, qint64 id, const QString& by, const QString& at)
{
    if (!store.execute(QStringLiteral("insert into wjhs(") + columns() + QStringLiteral(",hsr,hssj) select ")
                           + columns() + QStringLiteral(",?,? from wj where id=?"),
                       {by, at, id}))
        return failed<bool>(store);
    if (store.rowsAffected() != 1)
        return false;
    if (!store.execute(QStringLiteral("delete from wj where id=?"), {id}))
        return failed<bool>(store);
    return true;
}

Result<bool> moveOut(DataStore& store, qint64 id)
{
    if (!store.execute(QStringLiteral("insert into wj(") + columns() + QStringLiteral(") select ") + columns()
                           + QStringLiteral(" from wjhs where id=?"),
                       {id}))
        return failed<bool>(store);
    if (store.rowsAffected() != 1)
        return false;
    if (!store.execute(QStringLiteral("delete from wjhs where id=?"), {id}))
        return failed<bool>(store);
    return true;
}

Result<bool> purge(DataStore& store, qint64 id)
{
    if (!store.execute(QStringLiteral("delete from wjhs where id=?"), {id}))
        return failed<bool>(store);
    if (store.rowsAffected() != 1)
        return false;
    if (const Status gone = RecordContent::remove(store, id); !gone)
        return Result<bool>::fail(QString(), gone.detail());
    if (const Status gone = ContentIndex::remove(store, id); !gone)
        return Result<bool>::fail(QString(), gone.detail());
    // The versions' rows go with the record; their bytes (bbnr, shared by
    // SHA-256) are left to the versions' own cleanup.
    if (!store.execute(QStringLiteral("delete from wjbb where wjid=?"), {id}))
        return failed<bool>(store);
    return true;
}

Result<std::optional<Entry>> entry(DataStore& store, qint64 id)
{
    RecordSet rs =
        store.query(QStringLiteral("select ") + kEntryColumns + QStringLiteral(" from wjhs where id=?"), {id});
    if (!rs)
        return failed<std::optional<Entry>>(store);
    if (rs.atEnd())
        return std::optional<Entry>();
    return std::optional<Entry>(entryFrom(rs));
}

Result<QList<Entry>> list(DataStore& store, const QStringList& excluded, qint64 limit, qint64 offset)
{
    const GroupRows::Condition where = visible(excluded);
    QVariantList params = where.params;
    params << limit << qMax<qint64>(offset, 0);
    RecordSet rs = store.query(QStringLiteral("select ") + kEntryColumns + QStringLiteral(" from wjhs") + where.sql
                                   + QStringLiteral(" order by hssj desc, id desc limit ? offset ?"),
                               params);
    if (!rs)
        return failed<QList<Entry>>(store);
    QList<Entry> out;
    for (; !rs.atEnd(); rs.next())
        out << entryFrom(rs);
    return out;
}

Result<qint64> count(DataStore& store, const QStringList& excluded)
{
    const GroupRows::Condition where = visible(excluded);
    const Result<std::optional<QVariant>> n =
        store.scalar(QStringLiteral("select count(*) from wjhs") + where.sql, where.params);
    if (!n)
        return Result<qint64>::fail(QString(), QStringLiteral("wjhs: ") + n.detail());
    return n->value_or(0).toLongLong();
}

Result<QList<qint64>> numbered(DataStore& store, const QString& number)
{
    return ids(store, QStringLiteral("select id from wjhs where bh=? order by id"), {number});
}

Result<QList<qint64>> movedBefore(DataStore& store, const QString& before)
{
    return ids(store, QStringLiteral("select id from wjhs where hssj<>'' and hssj<? order by id"), {before});
}

Status writeSetting(DataStore& store, const QString& name, const QString& value)
{
    Transaction tx(store);
    if (!tx.isActive() || !store.execute(QStringLiteral("update zdbh set nr=? where xm=?"), {value, name}))
        return Status::fail(QString(), QStringLiteral("zdbh: ") + store.lastError());
    if (store.rowsAffected() == 0
        && !store.execute(QStringLiteral("insert into zdbh(xm,nr) values (?,?)"), {name, value}))
        return Status::fail(QString(), QStringLiteral("zdbh: ") + store.lastError());
    if (!tx.commit())
        return Status::fail(QString(), QStringLiteral("zdbh: ") + store.lastError());
    return {};
}

}  // namespace TrashRows
