#include "listing/ListQuery.h"

#include "archive/GroupPath.h"
#include "archive/ProtectedGroups.h"
#include "listing/SortClause.h"
#include "store/ContentConditions.h"
#include "store/DataStore.h"
#include "store/SizeText.h"

std::optional<FilterClause> ListQuery::visibleFilter(const FilterClause& filter, const ProtectedGroups& groups,
                                                     DataStore& store)
{
    // closedPaths() gives an empty list when wjfz cannot be read; make sure
    // such a failure hides everything rather than showing protected files.
    QList<GroupPath::Group> all;
    if (!GroupPath::loadGroups(store, &all))
        return std::nullopt;
    return filter.excludingGroups(groups.closedPaths(store));
}

ListQuery ListQuery::build(const Backend& backend, const QList<ListColumns::Column>& columns,
                           const FilterClause& filter, const QString& savedOrder)
{
    return ordered(backend, columns, filter, SortClause::effectiveKeys(savedOrder));
}

ListQuery ListQuery::ordered(const Backend& backend, const QList<ListColumns::Column>& columns,
                             const FilterClause& filter, const QList<SortKey>& keys)
{
    QList<ListColumns::Column> shown;
    QStringList fields{QStringLiteral("id")};
    for (const ListColumns::Column& c : columns) {
        const QString f = ListColumns::canonicalField(c.field);
        if (f.isEmpty())
            continue;
        shown.append(c);
        shown.last().field = f;
        fields << f;
    }
    int nameField = int(fields.indexOf(QStringLiteral("mc")));
    if (nameField < 0) {
        nameField = int(fields.size());
        fields << QStringLiteral("mc");
    }
    int typeField = int(fields.indexOf(QStringLiteral("lx")));
    if (typeField < 0) {
        typeField = int(fields.size());
        fields << QStringLiteral("lx");
    }
    ListQuery q;
    static_cast<ListStatements&>(q) = ListStatements::make(backend, fields, filter, keys);
    q.columns = std::move(shown);
    q.nameField = nameField;
    q.typeField = typeField;
    q.filter = filter;
    q.fields = fields;
    q.keys = keys;
    return q;
}

bool ListQuery::needsLookUp() const
{
    return ContentConditions::needsLookUp(filter);
}

Result<ListQuery> ListQuery::resolved(DataStore& store) const
{
    if (!ContentConditions::needsLookUp(filter))
        return *this;
    FilterClause found = filter;
    if (const Status looked = ContentConditions::resolve(store, found); !looked)
        return looked.failure();
    ListQuery q = *this;
    static_cast<ListStatements&>(q) = ListStatements::make(store.backend(), fields, found, keys);
    q.filter = std::move(found);
    return q;
}

namespace ListStatistics {

std::optional<Totals> read(DataStore& store, const QString& sql, const QVariantList& params)
{
    const Result<Totals> totals = ListTotals::read(store, sql, params);
    if (!totals)
        return std::nullopt;
    return totals.value();
}

QString line(const Totals& totals)
{
    return QStringLiteral(" 文件总数：") + QString::number(totals.count) + QStringLiteral("份  共：")
        + ::sizeText(totals.bytes);
}

}  // namespace ListStatistics
