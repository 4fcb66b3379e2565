#pragma once

#include "platform/Result.h"

class DataStore;

// Looks that prove an opened archive answers, as start-up takes them before
// anyone works on it.
namespace ArchiveProbe {

// Every table of the schema answers a read of one row (being named in the
// catalogue is not enough; counting a large one would cost seconds cold).
// A failure's detail names the table and the cause.
[[nodiscard]] Status tablesAnswer(DataStore& store);
// The settings row of zcbj can be read (whether or not it is there).
[[nodiscard]] Status settingsReadable(DataStore& store);

}  // namespace ArchiveProbe
