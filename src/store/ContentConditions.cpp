#include "store/ContentConditions.h"

#include "platform/TextTokens.h"
#include "store/ContentIndex.h"
#include "store/DataStore.h"
#include "store/FieldTokens.h"

namespace ContentConditions {

bool any(const RecordFilter& filter)
{
    for (const FieldCondition& c : filter.conditions)
        if (c.kind == FieldCondition::Kind::Content)
            return true;
    return false;
}

namespace {

// A field condition the field tokens may answer: a comparison that holds
// the typed text as a whole (never "does not contain").
bool fieldLookUp(const RecordFilter& filter, const FieldCondition& c)
{
    using Op = FieldCondition::Op;
    if (!filter.useSearchIndex || c.kind != FieldCondition::Kind::Text)
        return false;
    if (c.op != Op::Contains && c.op != Op::StartsWith && c.op != Op::EndsWith && c.op != Op::Equal)
        return false;
    return FieldTokens::serves(c.field, TextTokens::normalize(c.text));
}

Status resolveFields(DataStore& store, RecordFilter& filter)
{
    for (FieldCondition& c : filter.conditions) {
        if (!fieldLookUp(filter, c))
            continue;
        const Result<std::optional<QList<qint64>>> found =
            FieldTokens::candidates(store, c.field, TextTokens::normalize(c.text));
        if (!found)
            return found.failure();
        c.fieldIds = *found;
    }
    return {};
}

}  // namespace

bool needsLookUp(const RecordFilter& filter)
{
    for (const FieldCondition& c : filter.conditions)
        if (c.kind == FieldCondition::Kind::Content || fieldLookUp(filter, c))
            return true;
    return false;
}

Status resolve(DataStore& store, RecordFilter& filter)
{
    if (const Status fields = resolveFields(store, filter); !fields)
        return fields;
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
