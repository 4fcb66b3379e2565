#pragma once

#include "platform/Result.h"

class DataStore;

// The search's full-text index over wj's text fields (its table and
// triggers come with the schema, Schema.cpp).
namespace SearchIndex {

// Whether the index is there and whole: an archive put back from an older
// copy during this run gets its index at the next start (its build mark
// is still there until then), and its searches scan meanwhile.
[[nodiscard]] Result<bool> ready(DataStore& store);

}  // namespace SearchIndex
