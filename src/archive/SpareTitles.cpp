#include "archive/SpareTitles.h"

#include "store/ColumnSettings.h"

Result<QStringList> SpareTitles::read(DataStore& store)
{
    QStringList titles(15);
    const auto rows = ColumnSettings::titles(store, 6, 20);
    if (!rows)
        return Result<QStringList>::fail(ReadFailed, rows.detail());
    for (const auto& [bh, title] : rows.value())
        if (bh >= 6 && bh <= 20)
            titles[bh - 6] = title;
    return titles;
}
