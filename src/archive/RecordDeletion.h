#pragma once

#include "archive/FileRecords.h"
#include "archive/StoreFolder.h"
#include "platform/Job.h"
#include "store/ArchiveLocation.h"
#include "store/CurrentOperator.h"

#include <QList>
#include <functional>

// The deletion of many records: each is moved into the trash whole with
// its log line (archive/Trash.h), many records to a transaction, and a
// cancel is heard between two steps of records, never in the middle of one;
// what the bar showed when it stopped is what went. A record that is
// refused (no number) or fails stays and the run goes on with the next.
namespace RecordDeletion {

struct Outcome {
    int deleted = 0;
    int refused = 0;
    bool cancelled = false;  // stopped before the last record
};

// Hears the result of a record whose deletion has something to say (its
// message, or a log line that could not be written), on the thread that
// started the job; the run waits meanwhile.
using Told = std::function<void(const Result<StoredRecord>&)>;

// What a job needs to work on a connection of its own.
struct Setup {
    ArchiveLocation archive;
    StoreFolder folder;
    CurrentOperator op;
    qint64 sizeBound = 0;
};
// The setup of the records given (their database, folder, operator, bound).
Setup setupOf(const FileRecords& records);

// Deletes ids with records, reporting the records done as progress.
Result<Outcome> run(FileRecords& records, const QList<qint64>& ids, JobContext& context, const Told& told = {});

// The body of a job deleting ids on a connection of its own.
JobOf<Outcome>::Body job(Setup setup, QList<qint64> ids, Told told = {});

}  // namespace RecordDeletion
