#pragma once

#include "platform/Result.h"
#include "store/RecordFilter.h"

#include <QString>

class DataStore;

// The conditions of a filter on what the records' content says
// (FieldCondition::Kind::Content): the content index answers them with
// lists of ids, which the filter's statement then takes as one bound value
// each. They are looked up on the connection that runs the statement,
// right before it runs, so the ids are as fresh as the list.
namespace ContentConditions {

// Whether the filter holds a content condition.
bool any(const RecordFilter& filter);

// Whether resolve() has anything to look up: a content condition, or (with
// the search index allowed) a field condition the field tokens answer
// (one or two Chinese characters, store/FieldTokens.h).
bool needsLookUp(const RecordFilter& filter);

// Looks every content condition up in the content index (TextTokens::normalize
// of what was typed, no limit) within the filter's own groups: its group,
// the groups its search leaves out and its hidden groups, so a closed
// protected group's record is never among the ids. With the search index
// allowed, every "contains", "begins with", "ends with" and "equals" of
// one or two Chinese characters in a searched field gets its candidates
// from the field tokens (fieldIds; none when they do not serve it, and the
// field is read in every record).
[[nodiscard]] Status resolve(DataStore& store, RecordFilter& filter);

// The normalized text of the filter's first "contains" content condition,
// the one a listed record's excerpt is taken around; empty when none.
QString excerptQuery(const RecordFilter& filter);

// A listed record's excerpt: its text about 30 characters either side of
// the first place holding the query.
inline constexpr int ExcerptAround = 30;

}  // namespace ContentConditions
