#include "listing/ListColumns.h"

#include "listing/SortClause.h"
#include "store/Schema.h"

#include "store/DataStore.h"
#include "store/WjColumns.h"

#include <QSet>

namespace ListColumns {

QString unnamedSpareTitle()
{
    return QStringLiteral("备用字段");
}

namespace {

Direction toDirection(qint64 px)
{
    return px == Ascending ? Ascending : px == Descending ? Descending : None;
}

}  // namespace

QString canonicalField(const QString& field)
{
    return WjColumns::canonical(field);
}

bool isKnownField(const QString& field)
{
    return !canonicalField(field).isEmpty();
}

std::optional<QList<Column>> shownColumns(DataStore& store)
{
    RecordSet rs = store.query(QStringLiteral(
        "select bh,zdm,btm,lk from lbsz where xs=1 and bm='wj' order by wz,bh"));
    if (!rs)
        return std::nullopt;
    QList<Column> columns;
    for (; !rs.atEnd(); rs.next()) {
        const QString field = canonicalField(rs.text(1));
        if (field.isEmpty())
            continue;
        columns.append({int(rs.number(0)), field, rs.text(2), int(qBound(qint64(0), rs.number(3), qint64(4000)))});
    }
    return columns;
}

std::optional<QList<Choice>> choices(DataStore& store, bool homeOrder)
{
    RecordSet rs = store.query(homeOrder
        ? QStringLiteral("select btm,xs,bh,zdm from lbsz where bm='wj' order by bh")
        : QStringLiteral("select btm,xs,bh,zdm from lbsz where bm='wj' order by wz,bh"));
    if (!rs)
        return std::nullopt;
    QList<Choice> out;
    for (; !rs.atEnd(); rs.next())
        if (isKnownField(rs.text(3)))
            out.append({int(rs.number(2)), rs.text(0), rs.number(1) != 0});
    return out;
}

bool saveChoices(DataStore& store, const QList<Choice>& inListOrder)
{
    Transaction tx(store);
    if (!tx.isActive())
        return false;
    int position = 0;
    for (const Choice& c : inListOrder) {
        ++position;
        if (!store.execute(QStringLiteral("update lbsz set xs=?,wz=? where bh=? and bm='wj'"),
                           {c.shown ? 1 : 0, position, c.bh}))
            return false;
    }
    return tx.commit();
}

bool saveWidths(DataStore& store, const QList<QPair<QString, int>>& headerWidths)
{
    Transaction tx(store);
    if (!tx.isActive())
        return false;
    for (const auto& hw : headerWidths)
        if (!store.execute(QStringLiteral("update lbsz set lk=? where bm='wj' and btm=?"),
                           {hw.second, hw.first}))
            return false;
    return tx.commit();
}

std::optional<QList<SortRow>> sortRows(DataStore& store)
{
    RecordSet rs = store.query(QStringLiteral(
        "select btm,zdm,px,bh from lbsz where bm='wj' and xs=1 order by bh"));
    if (!rs)
        return std::nullopt;
    QList<SortRow> out;
    for (; !rs.atEnd(); rs.next()) {
        const QString field = canonicalField(rs.text(1));
        if (!field.isEmpty())
            out.append({int(rs.number(3)), field, rs.text(0), toDirection(rs.number(2))});
    }
    return out;
}

QString composeSortClause(const QList<SortRow>& rows)
{
    QStringList parts;
    for (const SortRow& r : rows) {
        const QString field = canonicalField(r.field);
        if (field.isEmpty() || r.direction == None)
            continue;
        parts << field + (r.direction == Descending ? QStringLiteral(" desc") : QStringLiteral(" asc"));
    }
    return parts.isEmpty() ? QString() : QStringLiteral(" order by ") + parts.join(QLatin1Char(','));
}

bool saveSort(DataStore& store, const QList<SortRow>& rows, const QString& clause)
{
    Transaction tx(store);
    if (!tx.isActive())
        return false;
    for (const SortRow& r : rows)
        if (!store.execute(QStringLiteral("update lbsz set px=? where bm='wj' and bh=?"),
                           {int(r.direction), r.bh}))
            return false;
    if (!store.execute(QStringLiteral("update zcbj set pxfs=? where id=1"), {clause}))
        return false;
    // The index that lets a large group list in this order without a sort
    // first; made once per first field. The list does without it when it
    // cannot be made.
    if (const auto keys = SortClause::parse(clause); keys && !keys->isEmpty())
        static_cast<void>(Schema::ensureOrderIndex(store, SortClause::sortExpression(keys->first().field)));
    return tx.commit();
}

std::optional<QStringList> spareTitles(DataStore& store)
{
    RecordSet rs = store.query(QStringLiteral(
        "select btm,bh from lbsz where bh between 6 and 20 and bm='wj' order by bh"));
    if (!rs)
        return std::nullopt;
    QStringList titles;
    for (int i = 0; i < SpareCount; ++i)
        titles << unnamedSpareTitle();
    for (; !rs.atEnd(); rs.next()) {
        const int i = int(rs.number(1)) - FirstSpare;
        if (i >= 0 && i < SpareCount && !rs.text(0).isEmpty())
            titles[i] = rs.text(0);
    }
    return titles;
}

RenameResult saveSpareTitles(DataStore& store, const QStringList& titles)
{
    Transaction tx(store);
    if (!tx.isActive())
        return RenameResult::TitleFailed;
    for (int i = 0; i < SpareCount && i < titles.size(); ++i) {
        QString title = titles.at(i).trimmed().left(MaxTitleLength);
        if (title.isEmpty())
            title = unnamedSpareTitle();
        const int bh = FirstSpare + i;
        if (!store.execute(QStringLiteral("update lbsz set btm=? where bh=? and bm='wj'"), {title, bh}))
            return RenameResult::TitleFailed;
        if (!store.execute(QStringLiteral("update xx set xm=? where bh=?"), {title, bh}))
            return RenameResult::OptionListFailed;
    }
    if (!tx.commit())
        return RenameResult::TitleFailed;
    return RenameResult::Done;
}

}  // namespace ListColumns
