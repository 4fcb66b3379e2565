#pragma once

#include <QtGlobal>

class DataStore;

// The manual order of the list: each record's wj.xh.
namespace RecordOrder {

enum class Result { Done, FirstFailed, SecondFailed, Unchanged };

// Exchanges the positions (xh) of two records, both or neither.
// Unchanged: both already had the same position, so nothing moved.
Result exchange(DataStore& store, qint64 selectedId, qint64 neighbourId);

}  // namespace RecordOrder
