#include "store/SearchIndex.h"

#include "store/Backend.h"
#include "store/DataStore.h"

namespace SearchIndex {

Result<bool> ready(DataStore& store)
{
    const Backend& backend = store.backend();
    const Result<bool> table = backend.hasTable(store, backend.searchIndexTable());
    if (!table || !table.value())
        return table;
    const Result<bool> building = backend.hasTable(store, QStringLiteral("wj_ss_jd"));
    if (!building)
        return building;
    return !building.value();
}

}  // namespace SearchIndex
