#pragma once

#include "platform/Job.h"
#include "store/DataStore.h"

#include <functional>

// The body of a Job that works on the database: it opens a connection of
// its own on the thread the job runs on (the worker's, or the caller's for
// runHere()), works on it and closes it when it returns. A connection that
// cannot be opened ends the job with OpenFailed.
namespace StoreJob {

inline const QString OpenFailed = QStringLiteral("打开数据库失败。");

template <typename T>
typename JobOf<T>::Body body(ArchiveLocation archive, std::function<Result<T>(DataStore&, JobContext&)> work)
{
    return [archive = std::move(archive), work = std::move(work)](JobContext& context) -> Result<T> {
        DataStore store;
        if (!store.open(archive))
            return Result<T>::fail(OpenFailed, store.lastError());
        return work(store, context);
    };
}

}  // namespace StoreJob
