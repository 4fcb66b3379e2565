#pragma once

#include "archive/FilterClause.h"
#include "listing/ListColumns.h"

#include <QList>
#include <QString>
#include <QVariantList>
#include <optional>

class DataStore;
class ProtectedGroups;

// The statements behind the file list: the list query over the shown
// columns and the statistics query, both on the same filter.
struct ListQuery {
    QString sql;
    QVariantList params;
    QList<ListColumns::Column> columns;  // shown columns, in display order
    // Positions in the select list: 0 is id, 1..columns.size() the shown
    // columns; the file name and type (for the icon view) follow when they
    // are not shown.
    int nameField = -1;  // select position of mc
    int typeField = -1;  // select position of lx
    QString statisticsSql;
    QVariantList statisticsParams;

    // The same rows read along the index of the order's first key (which
    // holds fz beside it): the first rows come at once, without sorting the
    // whole group first. Worth it for a large group; a small one is found
    // faster through fz and sorted. Empty when no index serves the order.
    QString orderIndex;   // the index's name
    QString orderedSql;
    // The ordered reading without the search index's candidates, for a
    // search most records pass: the first ones are met at once along the
    // order, sooner than the candidates are gathered. Empty when the
    // filter has none.
    QString scanSql;
    QVariantList scanParams;
    // Counts the rows of the filter up to the bound that is appended to
    // boundedCountParams as the last value (a cheap look at whether the
    // group is large). With the filter's candidates it counts those.
    QString boundedCountSql;
    QVariantList boundedCountParams;
    // The rows are counted from the filter's candidates: a middling number
    // of them is worth reading first along the order's index (the first
    // rows at once), the rest found and sorted.
    bool countsCandidates = false;

    // The filter with the closed protected groups left out. Returns nullopt
    // when the groups cannot be read: then nothing may be listed.
    static std::optional<FilterClause> visibleFilter(const FilterClause& filter,
                                                     const ProtectedGroups& groups, DataStore& store);

    // Builds both statements. savedOrder is zcbj.pxfs (a bad one gives the
    // manual order). filter must already be the visible filter.
    static ListQuery build(const QList<ListColumns::Column>& columns, const FilterClause& filter,
                           const QString& savedOrder);
};

// The statistics line: count and total size of the filter's records, read
// from the index on (fz, dxsz) alone.
namespace ListStatistics {

struct Totals {
    qint64 count = 0;
    qint64 bytes = 0;
};

// Runs the aggregate query; nullopt when it failed.
std::optional<Totals> read(DataStore& store, const QString& sql, const QVariantList& params);
// " 文件总数：" + count + "份  共：" + size + unit. Below 1024 the bytes are shown
// the store's size text (store/SizeText.h), as the edit panel shows it.
QString line(const Totals& totals);

}  // namespace ListStatistics
