#include "store/RegroupRows.h"

#include "store/DataStore.h"
#include "store/GroupRows.h"

namespace RegroupRows {

Status setGroup(DataStore& store, qint64 id, const QString& group)
{
    if (!store.execute(QStringLiteral("update wj set fz=? where id=?"), {group, id}))
        return Status::fail(store.lastError(), store.lastError());
    if (store.rowsAffected() != 1)
        return Status::fail(QStringLiteral("record %1 not found").arg(id),
                            QStringLiteral("record %1 not found").arg(id));
    return {};
}

Result<qint64> moveGroup(DataStore& store, const QString& source, const QString& target)
{
    const GroupRows::Condition exactly = GroupRows::exactly(source);
    if (!store.execute(QStringLiteral("update wj set fz=? where ") + exactly.sql,
                       QVariantList{target} + exactly.params))
        return Result<qint64>::fail(store.lastError(), store.lastError());
    return Result<qint64>(store.rowsAffected());
}

}  // namespace RegroupRows
