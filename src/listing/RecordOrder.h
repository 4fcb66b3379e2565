#pragma once

#include <QtGlobal>

class DataStore;

// The manual order of the list: each record's wj.xh.
namespace RecordOrder {

// How an exchange went: both positions written, or which step failed (a
// read that fails, or a record that is gone, fails the first).
enum class Exchange { Done, FirstFailed, SecondFailed };

// Exchanges the positions (xh) of two records, both or neither. When both
// share one position, every record is first numbered anew in list order so
// that the exchange moves them.
[[nodiscard]] Exchange exchange(DataStore& store, qint64 selectedId, qint64 neighbourId);

}  // namespace RecordOrder
