#include "archive/RecordDeletion.h"

#include "archive/Trash.h"
#include "store/DataStore.h"
#include "store/StoreJob.h"

#include <algorithm>

namespace RecordDeletion {

namespace {

// The bar moves at most this many times in a run: a few records are told
// one by one, many go in steps of several.
constexpr qsizetype kSteps = 500;

}  // namespace

Setup setupOf(const FileRecords& records)
{
    return {records.store().location(), records.storeFolder(), records.currentOperator(), records.sizeBound()};
}

Result<Outcome> run(FileRecords& records, const QList<qint64>& ids, JobContext& context, const Told& told)
{
    DataStore& store = records.store();
    const CurrentOperator& op = records.currentOperator();
    Outcome out;
    const qsizetype total = ids.size();
    const qsizetype step = std::max<qsizetype>(1, total / kSteps);
    context.setRange(0, total);
    context.setValue(0);

    // Records go into the trash in transactions of up to Trash::ChunkSize,
    // each step of them in a savepoint of its own; a transaction is
    // committed when full, before anything is told, and when the run stops.
    std::optional<Transaction> tx;
    qsizetype inTx = 0;
    int pending = 0;  // moved in the open transaction
    auto commit = [&]() -> bool {
        if (!tx)
            return true;
        const bool ok = tx->commit();
        tx.reset();
        inTx = 0;
        if (ok) {
            out.deleted += pending;
        } else {
            out.refused += pending;
            if (told)
                context.onStartingThread([&] {
                    told(Failure{FileRecords::DeleteRowFailed, store.lastError(), false});
                });
        }
        pending = 0;
        return ok;
    };

    for (qsizetype at = 0; at < total; at += step) {
        if (context.cancelled()) {
            out.cancelled = true;
            break;
        }
        if (!tx) {
            tx.emplace(store);
            if (!tx->isActive()) {
                tx.reset();
                return Result<Outcome>::fail(FileRecords::DeleteRowFailed, store.lastError());
            }
        }
        const QList<qint64> part = ids.mid(at, step);
        bool logFailed = false;
        QList<Trash::Item> items;
        if (Result<QList<Trash::Item>> whole = Trash::moveInChunk(store, op, part, &logFailed); whole) {
            items = *whole;
        } else {
            for (const qint64 id : part) {
                Result<QList<Trash::Item>> one =
                    part.size() == 1 ? whole : Trash::moveInChunk(store, op, {id}, &logFailed);
                if (one)
                    items += *one;
                else
                    items << Trash::Item{id, QString(), false, one.message(), one.detail()};
            }
        }
        QList<Result<StoredRecord>> toTell;
        for (const Trash::Item& item : std::as_const(items)) {
            if (item.done) {
                ++pending;
                if (logFailed && toTell.isEmpty())
                    toTell << Result<StoredRecord>(StoredRecord{item.id, item.number, true});
            } else {
                ++out.refused;
                toTell << Result<StoredRecord>(Failure{item.message, item.detail, false});
            }
        }
        inTx += part.size();
        if ((!toTell.isEmpty() && told) || inTx >= Trash::ChunkSize)
            commit();
        context.setValue(at + part.size());
        // What the records have to say is shown on the starting thread, the
        // run waiting meanwhile. Then that thread goes once more round its
        // events (a click on "取消" among them) after the bar has moved, so
        // a stop asked for while the bar shows n records leaves exactly
        // those n deleted.
        const bool heard = !told || context.onStartingThread([&] {
            for (const Result<StoredRecord>& r : std::as_const(toTell))
                told(r);
        });
        if (!heard || !context.onStartingThread([] {})) {
            out.cancelled = at + part.size() < total;
            break;
        }
    }
    commit();
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
