#include "listing/RecordOrder.h"

#include "store/DataStore.h"
#include "store/ManualOrder.h"

#include <optional>

namespace RecordOrder {

namespace {
// The position of a record; nullopt when it cannot be read or is gone.
std::optional<qint64> positionOf(DataStore& store, qint64 id)
{
    const Result<std::optional<qint64>> xh = ManualOrder::position(store, id);
    if (!xh)
        return std::nullopt;
    return xh.value();
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
        if (!ManualOrder::renumber(store))
            return Exchange::FirstFailed;
        selected = positionOf(store, selectedId);
        neighbour = positionOf(store, neighbourId);
        if (!selected || !neighbour || *selected == *neighbour)
            return Exchange::FirstFailed;
        selectedXh = *selected;
        neighbourXh = *neighbour;
    }
    if (!ManualOrder::setPosition(store, selectedId, neighbourXh))
        return Exchange::FirstFailed;
    if (!ManualOrder::setPosition(store, neighbourId, selectedXh))
        return Exchange::SecondFailed;
    return tx.commit() ? Exchange::Done : Exchange::SecondFailed;
}

}  // namespace RecordOrder
