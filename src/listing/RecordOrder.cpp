#include "listing/RecordOrder.h"

#include "store/DataStore.h"

namespace RecordOrder {

Result exchange(DataStore& store, qint64 selectedId, qint64 neighbourId)
{
    Transaction tx(store);
    if (!tx.isActive())
        return Result::FirstFailed;
    const QVariant selected = store.scalar(QStringLiteral("select xh from wj where id=?"), {selectedId});
    const QVariant neighbour = store.scalar(QStringLiteral("select xh from wj where id=?"), {neighbourId});
    if (!selected.isValid() || !neighbour.isValid())
        return Result::FirstFailed;
    if (selected.toLongLong() == neighbour.toLongLong())
        return Result::Unchanged;
    if (!store.execute(QStringLiteral("update wj set xh=? where id=?"), {neighbour.toLongLong(), selectedId}))
        return Result::FirstFailed;
    if (!store.execute(QStringLiteral("update wj set xh=? where id=?"), {selected.toLongLong(), neighbourId}))
        return Result::SecondFailed;
    return tx.commit() ? Result::Done : Result::SecondFailed;
}

}  // namespace RecordOrder
