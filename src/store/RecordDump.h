#pragma once

#include "platform/Result.h"
#include "store/RecordFilter.h"

#include <QStringList>
#include <QVariantList>

#include <functional>

class DataStore;

// Every record a filter finds, column by column in the list's manual
// order, handed over one row at a time: what a listing of records for
// another program (the command line's "list") reads.
namespace RecordDump {

// `columns` are wj columns; each row's values come in their order.
[[nodiscard]] Status each(DataStore& store, const QStringList& columns, const RecordFilter& filter,
                          const std::function<void(const QVariantList& values)>& row);

}  // namespace RecordDump
