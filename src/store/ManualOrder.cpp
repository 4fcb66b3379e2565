#include "store/ManualOrder.h"

#include "store/DataStore.h"

namespace ManualOrder {

Result<std::optional<qint64>> position(DataStore& store, qint64 id)
{
    const Result<std::optional<QVariant>> xh = store.scalar(QStringLiteral("select xh from wj where id=?"), {id});
    if (!xh)
        return xh.failure();
    if (!xh->has_value())
        return std::optional<qint64>{};
    return std::optional<qint64>{(*xh)->toLongLong()};
}

Status renumber(DataStore& store)
{
    if (!store.execute(QStringLiteral(
            "update wj set xh=r.n from (select id, row_number() over (order by xh, id) as n from wj) as r"
            " where wj.id=r.id")))
        return Status::fail(QString(), store.lastError());
    return {};
}

Status setPosition(DataStore& store, qint64 id, qint64 position)
{
    if (!store.execute(QStringLiteral("update wj set xh=? where id=?"), {position, id}))
        return Status::fail(QString(), store.lastError());
    return {};
}

}  // namespace ManualOrder
