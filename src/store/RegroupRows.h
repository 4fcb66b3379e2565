#pragma once

#include "platform/Result.h"

#include <QString>

class DataStore;

// The statements that move records from one group to another by their
// group column wj.fz. They run inside the caller's transaction.
namespace RegroupRows {

// Record id goes into group `group`; fails when there is no such record.
Status setGroup(DataStore& store, qint64 id, const QString& group);
// Every record of exactly group `source` (not of its sub-groups) goes into
// `target`; how many went.
Result<qint64> moveGroup(DataStore& store, const QString& source, const QString& target);

}  // namespace RegroupRows
