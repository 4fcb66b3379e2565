#include "store/RecordDump.h"

#include "store/DataStore.h"
#include "store/ListStatements.h"

namespace RecordDump {

Status each(DataStore& store, const QStringList& columns, const RecordFilter& filter,
            const std::function<void(const QVariantList& values)>& row)
{
    const ListStatements q = ListStatements::make(store.backend(), columns, filter, {});
    RecordSet rs = store.query(q.sql, q.params);
    if (!rs)
        return Status::fail(QString(), store.lastError());
    QVariantList values;
    for (; !rs.atEnd(); rs.next()) {
        values.clear();
        for (int i = 0; i < columns.size(); ++i)
            values << rs.value(i);
        row(values);
    }
    return {};
}

}  // namespace RecordDump
