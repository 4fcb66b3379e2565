#pragma once

#include "archive/FilterClause.h"
#include "listing/ListColumns.h"
#include "store/ListStatements.h"

#include <QList>
#include <QString>
#include <QVariantList>
#include <optional>

class Backend;
class DataStore;
class ProtectedGroups;

// The file list's query: the shown columns and the store's statements
// over them, on one filter.
struct ListQuery : ListStatements {
    QList<ListColumns::Column> columns;  // shown columns, in display order
    // Positions in the select list: 0 is id, 1..columns.size() the shown
    // columns; the file name and type (for the icon view) follow when they
    // are not shown.
    int nameField = -1;  // select position of mc
    int typeField = -1;  // select position of lx
    // What the statements were made of. A filter with content conditions
    // (or field conditions the field tokens answer) is made again on the
    // connection that runs it, once the indexes have answered them
    // (resolved()).
    FilterClause filter;
    QStringList fields;
    QList<SortKey> keys;

    // Whether resolved() looks anything up.
    bool needsLookUp() const;
    // This query with its content conditions and the field conditions the
    // field tokens answer looked up on `store` and its statements made
    // again; the query as it is when it has none.
    [[nodiscard]] Result<ListQuery> resolved(DataStore& store) const;

    // The filter with the closed protected groups left out. Returns nullopt
    // when the groups cannot be read: then nothing may be listed.
    static std::optional<FilterClause> visibleFilter(const FilterClause& filter, const ProtectedGroups& groups,
                                                     DataStore& store);

    // Builds the statements for the backend. savedOrder is zcbj.pxfs (a bad
    // one gives the manual order); keys an order of its own. filter must
    // already be the visible filter.
    static ListQuery build(const Backend& backend, const QList<ListColumns::Column>& columns,
                           const FilterClause& filter, const QString& savedOrder);
    static ListQuery ordered(const Backend& backend, const QList<ListColumns::Column>& columns,
                             const FilterClause& filter, const QList<SortKey>& keys);
};

// The statistics line: count and total size of the filter's records, read
// from the index on (fz, dxsz) alone.
namespace ListStatistics {

using Totals = ListTotals;

// Runs the aggregate query; nullopt when it failed.
std::optional<Totals> read(DataStore& store, const QString& sql, const QVariantList& params);
// " 文件总数：" + count + "份  共：" + size + unit. Below 1024 the bytes are shown
// the store's size text (store/SizeText.h), as the edit panel shows it.
QString line(const Totals& totals);

}  // namespace ListStatistics
