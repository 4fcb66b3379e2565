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
    qint64 selectedXh = selected.toLongLong();
    qint64 neighbourXh = neighbour.toLongLong();
    if (selectedXh == neighbourXh) {
        // Records that share a position (copies receive none of their own)
        // list by their order of entry, and exchanging equal values would
        // move nothing. Number every record 1..n in the order the list shows
        // them, which keeps that order, then exchange.
        if (!store.execute(QStringLiteral(
                "update wj set xh=r.n from (select id, row_number() over (order by xh, id) as n from wj) as r"
                " where wj.id=r.id")))
            return Result::FirstFailed;
        selectedXh = store.scalar(QStringLiteral("select xh from wj where id=?"), {selectedId}).toLongLong();
        neighbourXh = store.scalar(QStringLiteral("select xh from wj where id=?"), {neighbourId}).toLongLong();
        if (selectedXh == neighbourXh)
            return Result::FirstFailed;
    }
    if (!store.execute(QStringLiteral("update wj set xh=? where id=?"), {neighbourXh, selectedId}))
        return Result::FirstFailed;
    if (!store.execute(QStringLiteral("update wj set xh=? where id=?"), {selectedXh, neighbourId}))
        return Result::SecondFailed;
    return tx.commit() ? Result::Done : Result::SecondFailed;
}

}  // namespace RecordOrder
