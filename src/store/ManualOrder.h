#pragma once

#include "platform/Result.h"

#include <optional>

class DataStore;

// The manual order of the records: each one's position wj.xh.
namespace ManualOrder {

// The position of a record; no value when it is gone.
[[nodiscard]] Result<std::optional<qint64>> position(DataStore& store, qint64 id);
// Numbers every record 1..n in the manual order (position, then order of
// entry), which keeps that order and gives each record a position of its own.
[[nodiscard]] Status renumber(DataStore& store);
[[nodiscard]] Status setPosition(DataStore& store, qint64 id, qint64 position);

}  // namespace ManualOrder
