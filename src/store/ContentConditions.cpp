#include "store/ContentConditions.h"

#include "platform/TextTokens.h"
#include "store/ContentIndex.h"
#include "store/DataStore.h"

namespace ContentConditions {

bool any(const RecordFilter& filter)
{
    for (const FieldCondition& c : filter.conditions)
        if (c.kind == FieldCondition::Kind::Content)
            return true;
    return false;
}

Status resolve(DataStore& store, RecordFilter& filter)
{
    if (!any(filter))
        return {};
    // The groups narrow the look-up; the other conditions are joined with
    // the ids by the statement itself ("and" and "or" alike).
    RecordFilter scope;
    scope.nothing = filter.nothing;
    scope.group = filter.group;
    scope.searchLeftOut = filter.searchLeftOut;
    scope.hiddenGroups = filter.hiddenGroups;
    for (FieldCondition& c : filter.conditions) {
        if (c.kind != FieldCondition::Kind::Content)
            continue;
        const Result<QList<qint64>> found = ContentIndex::find(store, TextTokens::normalize(c.text), scope, 0);
        if (!found)
            return found.failure();
        c.contentIds = *found;
    }
    return {};
}

QString excerptQuery(const RecordFilter& filter)
{
    for (const FieldCondition& c : filter.conditions)
        if (c.kind == FieldCondition::Kind::Content && c.op == FieldCondition::Op::Contains)
            return TextTokens::normalize(c.text);
    return {};
}

}  // namespace ContentConditions
