#pragma once

#include "platform/Result.h"
#include "store/RecordFilter.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>

class Backend;
class DataStore;

// The WHERE part of a statement on wj made from a RecordFilter, with its
// bound values. `where` begins with " where " and holds only fixed text and
// "?" placeholders.
struct FilterStatement {
    QString where;
    QVariantList params;
    // A query of row ids that holds every record the filter finds and few
    // more, cheap to count; empty when none is known (the search index's
    // candidates of a lone "contains").
    QString candidates;
    QVariantList candidateParams;
    // The same filter without the search index's candidates, for a reading
    // along the order's index when most records pass anyway; empty when the
    // filter uses no index of its own.
    QString scanWhere;
    QVariantList scanParams;

    // The filter's statement on this backend.
    static FilterStatement of(const Backend& backend, const RecordFilter& filter);
};

// One key of the list's order: a canonical wj column.
struct SortKey {
    QString field;
    bool descending = false;
    bool operator==(const SortKey& o) const = default;
};

// The statements behind the file list: the rows of the shown fields and the
// statistics, both on one filter, and the ways of reading the rows.
struct ListStatements {
    QString sql;
    QVariantList params;
    QString statisticsSql;
    QVariantList statisticsParams;

    // The same rows read along the index of the order's first key (which
    // holds fz beside it): the first rows come at once, without sorting the
    // whole group first. Worth it for a large group; a small one is found
    // faster through fz and sorted. Empty when no index serves the order.
    QString orderIndex;  // the index's name
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

    // The statements selecting `fields` (wj columns, id first) of the
    // filter's records in the order of `keys` (none: the manual order).
    static ListStatements make(const Backend& backend, const QStringList& fields, const RecordFilter& filter,
                               const QList<SortKey>& keys);

    // The expression a canonical field sorts by: dx by its number dxsz, the
    // stored times by their time text, everything else by itself; empty for
    // a field that is not a column of wj.
    static QString sortExpression(const QString& field);
    // The ORDER BY text (begins with " order by "). No keys: the manual order
    // by xh. The order of entry (id) breaks ties, so equal keys list the
    // same way every time.
    static QString orderBy(const QList<SortKey>& keys);

    // The first `rows` rows of the ordered reading.
    QString orderedFirst(int rows) const;
    // Whether the engine answers the bounded count by reading the whole
    // table (no index narrows the filter); `bound` is the count's bound.
    [[nodiscard]] Result<bool> countScansTable(DataStore& store, qint64 bound) const;
    // Whether the order's index is in the database.
    [[nodiscard]] Result<bool> hasOrderIndex(DataStore& store) const;
    // The bounded count, at most `bound`.
    [[nodiscard]] Result<qint64> boundedCount(DataStore& store, qint64 bound) const;
};

// The statistics line's figures: count and total size of the filter's
// records, read from the index on (fz, dxsz) alone.
struct ListTotals {
    qint64 count = 0;
    qint64 bytes = 0;
    // Runs a statistics statement (ListStatements::statisticsSql).
    [[nodiscard]] static Result<ListTotals> read(DataStore& store, const QString& sql, const QVariantList& params);
};
