#include "listing/RecordOrder.h"

#include "store/DataStore.h"

#include <optional>

namespace RecordOrder {

namespace {
// The position of a record; nullopt when it cannot be read or is gone.
std::optional<qint64> positionOf(DataStore& store, qint64 id)
{
    const Result<std::optional<QVariant>> xh = store.scalar(QStringLiteral("select xh from wj where id=?"), {id});
    if (!xh || !xh->has_value())
        return std::nullopt;
    return (*xh)->toLongLong();
}
}

Exchange exchange(DataStore& store, qint64 selectedId, qint64 neighbourId)
{
    Transaction tx(store);
    if (!tx.isActive())
        return Exchange::FirstFailed;
    std::optional<qint64> selected = positionOf(store, selectedId);
    std::optional<qint64> neighbour = positionOf(store, neighbourId);
    if (!selected || !neighbour)
        return Exchange::FirstFailed;
    qint64 selectedXh = *selected;
    qint64 neighbourXh = *neighbour;
    if (selectedXh == neighbourXh) {
        // Records that share a position (copies receive none of their own)
        // list by their order of entry, and exchanging equal values would
        // move nothing. Number every record 1..n in the order the list shows
        // them, which keeps that order, then exchange.
        if (!store.execute(QStringLiteral(
                "update wj set xh=r.n from (select id, row_number() over (order by xh, id) as n from wj) as r"
                " where wj.id=r.id")))
            return Exchange::FirstFailed;
        selected = positionOf(store, selectedId);
        neighbour = positionOf(store, neighbourId);
        if (!selected || !neighbour || *selected == *neighbour)
            return Exchange::FirstFailed;
        selectedXh = *selected;
        neighbourXh = *neighbour;
    }
    if (!store.execute(QStringLiteral("update wj set xh=? where id=?"), {neighbourXh, selectedId}))
        return Exchange::FirstFailed;
    if (!store.execute(QStringLiteral("update wj set xh=? where id=?"), {selectedXh, neighbourId}))
        return Exchange::SecondFailed;
    return tx.commit() ? Exchange::Done : Exchange::SecondFailed;
}

}  // namespace RecordOrder
