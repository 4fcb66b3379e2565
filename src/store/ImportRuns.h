#pragma once

#include "platform/Result.h"

#include <QList>
#include <QString>
#include <optional>

class DataStore;

// The runs of a batch import (drpc) and the records each added (drjl), kept
// so that a run can be undone: its records go to the trash together. A run
// is written with its first record, each record in that record's own add
// transaction, so a run never names a record that was not committed.
namespace ImportRuns {

struct Run {
    qint64 id = -1;
    QString at;     // sj
    QString by;     // czy
    QString group;  // fz
    int added = 0;  // the records it names (drjl)
    bool undone = false;
};

// A new run (inside the caller's transaction); its id.
Result<qint64> start(DataStore& store, const QString& at, const QString& by, const QString& group);
// Record id was added by run.
Status record(DataStore& store, qint64 run, qint64 id);
// The run ended having added `added` records.
Status finish(DataStore& store, qint64 run, int added);
// The latest runs (newest first), at most `count`; with openOnly those not
// undone that still name a record.
Result<QList<Run>> latest(DataStore& store, int count, bool openOnly);
// The run, or nullopt when there is none.
Result<std::optional<Run>> read(DataStore& store, qint64 run);
// Every record the run added, by id.
Result<QList<qint64>> ids(DataStore& store, qint64 run);

// A record of a run that is still among the records, with its group now.
struct Present {
    qint64 id = -1;
    QString group;
};
// The records the run added that still exist (not deleted nor in the trash).
Result<QList<Present>> present(DataStore& store, qint64 run);
// The run was undone.
Status markUndone(DataStore& store, qint64 run);

}  // namespace ImportRuns
