#include "store/ArchiveProbe.h"

#include "store/DataStore.h"
#include "store/Schema.h"

namespace ArchiveProbe {

Status tablesAnswer(DataStore& store)
{
    for (const QString& table : Schema::tableNames()) {
        // Table names are our own constants, never input.
        if (!store.query(QStringLiteral("select * from %1 limit 1").arg(table)))
            return Status::fail(QString(), table + QStringLiteral(": ") + store.lastError());
    }
    return {};
}

Status settingsReadable(DataStore& store)
{
    if (!store.query(QStringLiteral("select id from zcbj where id=1")))
        return Status::fail(QString(), QStringLiteral("zcbj: ") + store.lastError());
    return {};
}

}  // namespace ArchiveProbe
