#include "archive/RecordDeletion.h"

#include "store/DataStore.h"
#include "store/StoreJob.h"

namespace RecordDeletion {

Setup setupOf(const FileRecords& records)
{
    return {records.store().location(), records.storeFolder(), records.currentOperator(), records.sizeBound()};
}

Result<Outcome> run(FileRecords& records, const QList<qint64>& ids, JobContext& context, const Told& told)
{
    Outcome out;
    context.setRange(0, ids.size());
    context.setValue(0);
    for (qsizetype i = 0; i < ids.size(); ++i) {
        if (context.cancelled()) {
            out.cancelled = true;
            break;
        }
        const Result<StoredRecord> r = records.remove(ids.at(i));
        if (r.ok())
            ++out.deleted;
        else
            ++out.refused;
        context.setValue(i + 1);
        // Every record is told to the starting thread and waited for: what
        // a record has to say is shown before the next one goes. Then that
        // thread goes once more round its events (a click on "取消" among
        // them) after the bar has moved, so a stop asked for while the bar
        // shows n records leaves exactly those n deleted.
        const bool heard = !told || context.onStartingThread([&] {
            if (!r.message().isEmpty() || (r.ok() && r->logFailed))
                told(r);
        });
        if (!heard || !context.onStartingThread([] {})) {
            out.cancelled = i + 1 < ids.size();
            break;
        }
    }
    return out;
}

JobOf<Outcome>::Body job(Setup setup, QList<qint64> ids, Told told)
{
    return StoreJob::body<Outcome>(
        setup.archive, [setup, ids = std::move(ids), told = std::move(told)](DataStore& store, JobContext& context) {
            FileRecords records(store, setup.folder, setup.op, setup.sizeBound);
            return run(records, ids, context, told);
        });
}

}  // namespace RecordDeletion
