#include "listing/ListColumns.h"

#include "listing/SortClause.h"
#include "store/Schema.h"

#include "store/ColumnSettings.h"
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
    const auto rows = ColumnSettings::rows(store, ColumnSettings::Order::Display, true);
    if (!rows)
        return std::nullopt;
    QList<Column> columns;
    for (const ColumnSettings::Row& r : rows.value()) {
        const QString field = canonicalField(r.field);
        if (!field.isEmpty())
            columns.append({r.bh, field, r.title, qBound(0, r.width, 4000)});
    }
    return columns;
}

std::optional<QList<Choice>> choices(DataStore& store, bool homeOrder)
{
    const auto rows =
        ColumnSettings::rows(store, homeOrder ? ColumnSettings::Order::Home : ColumnSettings::Order::Display);
    if (!rows)
        return std::nullopt;
    QList<Choice> out;
    for (const ColumnSettings::Row& r : rows.value())
        if (isKnownField(r.field))
            out.append({r.bh, r.title, r.shown});
    return out;
}

bool saveChoices(DataStore& store, const QList<Choice>& inListOrder)
{
    QList<QPair<int, bool>> shown;
    for (const Choice& c : inListOrder)
        shown.append({c.bh, c.shown});
    return ColumnSettings::setShownInOrder(store, shown).ok();
}

bool saveWidths(DataStore& store, const QList<QPair<QString, int>>& headerWidths)
{
    return ColumnSettings::setWidthsByTitle(store, headerWidths).ok();
}

std::optional<QList<SortRow>> sortRows(DataStore& store)
{
    const auto rows = ColumnSettings::rows(store, ColumnSettings::Order::Home, true);
    if (!rows)
        return std::nullopt;
    QList<SortRow> out;
    for (const ColumnSettings::Row& r : rows.value()) {
        const QString field = canonicalField(r.field);
        if (!field.isEmpty())
            out.append({r.bh, field, r.title, toDirection(r.direction)});
    }
    return out;
}

QString composeSortClause(const QList<SortRow>& rows)
{
    QList<QPair<QString, bool>> keys;
    for (const SortRow& r : rows) {
        const QString field = canonicalField(r.field);
        if (!field.isEmpty() && r.direction != None)
            keys.append({field, r.direction == Descending});
    }
    return ColumnSettings::sortClause(keys);
}

bool saveSort(DataStore& store, const QList<SortRow>& rows, const QString& clause)
{
    Transaction tx(store);
    if (!tx.isActive())
        return false;
    QList<QPair<int, int>> directions;
    for (const SortRow& r : rows)
        directions.append({r.bh, int(r.direction)});
    if (!ColumnSettings::setDirections(store, directions, clause))
        return false;
    // The index that lets a large group list in this order without a sort
    // first; made once per first field. The list does without it when it
    // cannot be made.
    if (const auto keys = SortClause::parse(clause); keys && !keys->isEmpty())
        if (const auto made = Schema::ensureOrderIndex(store, SortClause::sortExpression(keys->first().field)); !made)
            qWarning("korvane: no index for the order %s: %s", qPrintable(clause), qPrintable(made.detail()));
    return tx.commit();
}

std::optional<QStringList> spareTitles(DataStore& store)
{
    const auto rows = ColumnSettings::titles(store, FirstSpare, LastSpare);
    if (!rows)
        return std::nullopt;
    QStringList titles;
    for (int i = 0; i < SpareCount; ++i)
        titles << unnamedSpareTitle();
    for (const auto& [bh, title] : rows.value()) {
        const int i = bh - FirstSpare;
        if (i >= 0 && i < SpareCount && !title.isEmpty())
            titles[i] = title;
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
        if (const Status saved = ColumnSettings::setSpareTitle(store, FirstSpare + i, title); !saved)
            return saved.detail().startsWith(QLatin1String("xx")) ? RenameResult::OptionListFailed
                                                                  : RenameResult::TitleFailed;
    }
    if (!tx.commit())
        return RenameResult::TitleFailed;
    return RenameResult::Done;
}

}  // namespace ListColumns
