#include "archive/FilterClause.h"

#include "archive/GroupPath.h"

FilterClause FilterClause::andAlso(const QString& condition, const QVariantList& values) const
{
    FilterClause c = *this;
    c.where += QStringLiteral(" and ") + condition + QLatin1Char(' ');
    c.params += values;
    if (!c.scanWhere.isEmpty()) {
        c.scanWhere += QStringLiteral(" and ") + condition + QLatin1Char(' ');
        c.scanParams += values;
    }
    return c;
}

FilterClause FilterClause::excludingGroups(const QStringList& groupPaths) const
{
    FilterClause c = *this;
    for (const QString& path : groupPaths) {
        const GroupPath::Condition cond = GroupPath::withSubgroups(path);
        c = c.andAlso(QStringLiteral("not ") + cond.sql, cond.params);
    }
    return c;
}
