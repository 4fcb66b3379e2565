#include "listing/ListQuery.h"

#include "archive/GroupPath.h"
#include "archive/ProtectedGroups.h"
#include "listing/SortClause.h"
#include "store/DataStore.h"
#include "store/Schema.h"
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

ListQuery ListQuery::build(const QList<ListColumns::Column>& columns, const FilterClause& filter,
                           const QString& savedOrder)
{
    ListQuery q;
    QStringList fields{QStringLiteral("id")};
    for (const ListColumns::Column& c : columns) {
        const QString f = ListColumns::canonicalField(c.field);
        if (f.isEmpty())
            continue;
        q.columns.append(c);
        q.columns.last().field = f;
        fields << f;
    }
    q.nameField = int(fields.indexOf(QStringLiteral("mc")));
    if (q.nameField < 0) {
        q.nameField = int(fields.size());
        fields << QStringLiteral("mc");
    }
    q.typeField = int(fields.indexOf(QStringLiteral("lx")));
    if (q.typeField < 0) {
        q.typeField = int(fields.size());
        fields << QStringLiteral("lx");
    }
    const QString orderBy = SortClause::effectiveOrderBy(savedOrder);
    const QString select = QStringLiteral("select ") + fields.join(QLatin1Char(',')) + QStringLiteral(" from wj");
    q.sql = select + filter.where + orderBy;
    q.params = filter.params;
    // The first key's expression, as orderBy() writes it.
    const QList<SortClause::Key> keys = SortClause::parse(savedOrder).value_or(QList<SortClause::Key>{});
    const QString first = keys.isEmpty() ? QStringLiteral("xh") : SortClause::sortExpression(keys.first().field);
    q.orderIndex = Schema::orderIndexName(first);
    if (!q.orderIndex.isEmpty() && first != QLatin1String("id")) {
        q.orderedSql = select + QStringLiteral(" indexed by ") + q.orderIndex + filter.where + orderBy;
        if (!filter.scanWhere.isEmpty()) {
            q.scanSql = select + QStringLiteral(" indexed by ") + q.orderIndex + filter.scanWhere + orderBy;
            q.scanParams = filter.scanParams;
        }
    } else
        q.orderIndex.clear();
    if (filter.candidates.isEmpty()) {
        q.boundedCountSql = QStringLiteral("select count(*) from (select 1 from wj") + filter.where
                            + QStringLiteral(" limit ?)");
        q.boundedCountParams = filter.params;
    } else {
        q.boundedCountSql = QStringLiteral("select count(*) from (") + filter.candidates + QStringLiteral(" limit ?)");
        q.boundedCountParams = filter.candidateParams;
        q.countsCandidates = true;
    }
    q.statisticsSql = QStringLiteral("select count(*),sum(dxsz) from wj") + filter.where;
    q.statisticsParams = filter.params;
    return q;
}

namespace ListStatistics {

std::optional<Totals> read(DataStore& store, const QString& sql, const QVariantList& params)
{
    RecordSet rs = store.query(sql, params);
    if (!rs || rs.atEnd())
        return std::nullopt;
    return Totals{rs.number(0), rs.number(1)};
}

QString line(const Totals& totals)
{
    return QStringLiteral(" 文件总数：") + QString::number(totals.count) + QStringLiteral("份  共：")
           + ::sizeText(totals.bytes);
}

}  // namespace ListStatistics
