#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

#include "store/WjColumns.h"

class DataStore;

// The column settings of the file list (table lbsz, rows with bm 'wj').
// Field names read from lbsz are checked against the known columns of wj
// before they go anywhere near a statement; a row naming anything else is
// treated as absent.
namespace ListColumns {

// Sort directions as stored in lbsz.px.
enum Direction { None = 0, Ascending = 1, Descending = 2 };

// One shown column of the report view.
struct Column {
    int bh = 0;
    QString field;   // wj column (checked)
    QString header;  // btm
    int width = 0;   // lk
};

// One field as offered by "选择显示列".
struct Choice {
    int bh = 0;
    QString header;
    bool shown = false;
};

// One row of the "排序方式" grid.
struct SortRow {
    int bh = 0;
    QString field;
    QString header;
    Direction direction = None;
};

inline constexpr int FirstSpare = WjColumns::FirstSpareBh;  // lbsz.bh of b1
inline constexpr int LastSpare = WjColumns::LastSpareBh;    // lbsz.bh of b15
inline constexpr int SpareCount = WjColumns::SpareCount;

// The title of a spare field that was never named.
QString unnamedSpareTitle();

// True for a column of wj that a list may show or sort by (WjColumns::nameable).
// Comparison ignores case, as SQL does.
bool isKnownField(const QString& field);
// The field in its canonical (lower-case) spelling; empty when unknown.
QString canonicalField(const QString& field);

// The shown columns in display order (xs set, "order by wz").
std::optional<QList<Column>> shownColumns(DataStore& store);

// Every known field in display order ("order by wz") or in home order
// ("order by bh", for "⊙ 全部复位").
std::optional<QList<Choice>> choices(DataStore& store, bool homeOrder = false);
// Writes the ticks and positions: the item at list position p (from 1)
// gets wz = p. All or nothing.
bool saveChoices(DataStore& store, const QList<Choice>& inListOrder);

// Column widths by header text: every lbsz row whose btm equals the header
// gets the width (two columns with the same header: the last one wins).
// All or nothing.
bool saveWidths(DataStore& store, const QList<QPair<QString, int>>& headerWidths);

// The rows of the sort grid: the shown columns in home order.
std::optional<QList<SortRow>> sortRows(DataStore& store);
// The ordering clause for the rows ("" when no row has a direction), in
// terms of field names (" order by mc asc,dx desc").
QString composeSortClause(const QList<SortRow>& rows);
// Writes every row's px and the clause into zcbj.pxfs. All or nothing.
bool saveSort(DataStore& store, const QList<SortRow>& rows, const QString& clause);

// The fifteen spare-field titles in bh order (b1 first).
std::optional<QStringList> spareTitles(DataStore& store);

// Outcome of saving new spare-field titles.
enum class RenameResult { Done, TitleFailed, OptionListFailed };
// Writes lbsz.btm and xx.xm of the same bh for b1..b15 (titles in bh order;
// an empty title means "never named"). All or nothing: on failure nothing
// is changed and the result says which statement failed.
RenameResult saveSpareTitles(DataStore& store, const QStringList& titles);
// Longest title "字段改名" accepts.
inline constexpr int MaxTitleLength = 20;

}  // namespace ListColumns
