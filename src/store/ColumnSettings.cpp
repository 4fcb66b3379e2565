#include "store/ColumnSettings.h"

#include "store/DataStore.h"

#include <QStringList>

namespace ColumnSettings {

Result<QList<Row>> rows(DataStore& store, Order order, bool shownOnly)
{
    QString sql = QStringLiteral("select bh,zdm,btm,xs,lk,px from lbsz where bm='wj'");
    if (shownOnly)
        sql += QStringLiteral(" and xs=1");
    sql += order == Order::Display ? QStringLiteral(" order by wz,bh") : QStringLiteral(" order by bh");
    RecordSet rs = store.query(sql);
    if (!rs)
        return Result<QList<Row>>::fail(QString(), QStringLiteral("lbsz: ") + store.lastError());
    QList<Row> out;
    for (; !rs.atEnd(); rs.next())
        out.append(
            {int(rs.number(0)), rs.text(1), rs.text(2), rs.number(3) != 0, int(rs.number(4)), int(rs.number(5))});
    return out;
}

Status setShownInOrder(DataStore& store, const QList<QPair<int, bool>>& bhShown)
{
    Transaction tx(store);
    if (!tx.isActive())
        return Status::fail(QString(), store.lastError());
    int position = 0;
    for (const auto& [bh, shown] : bhShown)
        if (!store.execute(QStringLiteral("update lbsz set xs=?,wz=? where bh=? and bm='wj'"),
                           {shown ? 1 : 0, ++position, bh}))
            return Status::fail(QString(), store.lastError());
    if (!tx.commit())
        return Status::fail(QString(), store.lastError());
    return {};
}

Status setWidthsByTitle(DataStore& store, const QList<QPair<QString, int>>& titleWidths)
{
    Transaction tx(store);
    if (!tx.isActive())
        return Status::fail(QString(), store.lastError());
    for (const auto& [title, width] : titleWidths)
        if (!store.execute(QStringLiteral("update lbsz set lk=? where bm='wj' and btm=?"), {width, title}))
            return Status::fail(QString(), store.lastError());
    if (!tx.commit())
        return Status::fail(QString(), store.lastError());
    return {};
}

Status setDirections(DataStore& store, const QList<QPair<int, int>>& bhDirections, const QString& clause)
{
    for (const auto& [bh, direction] : bhDirections)
        if (!store.execute(QStringLiteral("update lbsz set px=? where bm='wj' and bh=?"), {direction, bh}))
            return Status::fail(QString(), QStringLiteral("lbsz: ") + store.lastError());
    if (!store.execute(QStringLiteral("update zcbj set pxfs=? where id=1"), {clause}))
        return Status::fail(QString(), QStringLiteral("zcbj: ") + store.lastError());
    return {};
}

QString sortClause(const QList<QPair<QString, bool>>& fieldDescending)
{
    QStringList parts;
    for (const auto& [field, descending] : fieldDescending)
        parts << field + (descending ? QStringLiteral(" desc") : QStringLiteral(" asc"));
    return parts.isEmpty() ? QString() : QStringLiteral(" order by ") + parts.join(QLatin1Char(','));
}

Result<QList<QPair<int, QString>>> titles(DataStore& store, int first, int last)
{
    RecordSet rs = store.query(
        QStringLiteral("select bh,btm from lbsz where bh between ? and ? and bm='wj' order by bh"), {first, last});
    if (!rs)
        return Result<QList<QPair<int, QString>>>::fail(QString(), QStringLiteral("lbsz: ") + store.lastError());
    QList<QPair<int, QString>> out;
    for (; !rs.atEnd(); rs.next())
        out.append({int(rs.number(0)), rs.text(1)});
    return out;
}

Status setSpareTitle(DataStore& store, int bh, const QString& title)
{
    if (!store.execute(QStringLiteral("update lbsz set btm=? where bh=? and bm='wj'"), {title, bh}))
        return Status::fail(QString(), QStringLiteral("lbsz ") + store.lastError());
    if (!store.execute(QStringLiteral("update xx set xm=? where bh=?"), {title, bh}))
        return Status::fail(QString(), QStringLiteral("xx ") + store.lastError());
    return {};
}

namespace {

Result<QList<Row>> titleAndField(DataStore& store, const QString& sql, const QVariantList& params)
{
    RecordSet rs = store.query(sql, params);
    if (!rs)
        return Result<QList<Row>>::fail(QString(), QStringLiteral("lbsz: ") + store.lastError());
    QList<Row> out;
    for (; !rs.atEnd(); rs.next()) {
        Row r;
        r.title = rs.text(0);
        r.field = rs.text(1);
        r.bh = int(rs.number(2));
        out.append(r);
    }
    return out;
}

}  // namespace

Result<QList<Row>> fieldsBetween(DataStore& store, int first, int last)
{
    return titleAndField(store,
                         QStringLiteral("select btm,zdm,bh from lbsz where bh between ? and ? and bm='wj' order by bh"),
                         {first, last});
}

Result<QList<Row>> titledFields(DataStore& store, const QString& placeholder)
{
    return titleAndField(store,
                         QStringLiteral("select btm,zdm,bh from lbsz where bm='wj' and btm<>? and btm<>'' order by bh"),
                         {placeholder});
}

}  // namespace ColumnSettings
