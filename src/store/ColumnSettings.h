#pragma once

#include "platform/Result.h"

#include <QList>
#include <QString>

class DataStore;

// The statements of the list's column settings: table lbsz (rows with bm
// 'wj'), the spare fields' option lists' names in xx, and the saved sort
// clause zcbj.pxfs. What the values mean (which fields are known, how a
// clause is written) is the list's business, not this table's.
namespace ColumnSettings {

struct Row {
    int bh = 0;
    QString field;       // zdm, as stored (unchecked)
    QString title;       // btm
    bool shown = false;  // xs
    int width = 0;       // lk
    int direction = 0;   // px
};

enum class Order {
    Display,  // "order by wz,bh"
    Home,     // "order by bh"
};

// The rows of the file list, all or only the shown ones.
Result<QList<Row>> rows(DataStore& store, Order order, bool shownOnly = false);
// Shown flags and positions: the row at list position p (from 1) gets wz = p.
// One transaction.
Status setShownInOrder(DataStore& store, const QList<QPair<int, bool>>& bhShown);
// Widths by title: every row whose title equals it. One transaction.
Status setWidthsByTitle(DataStore& store, const QList<QPair<QString, int>>& titleWidths);
// Each row's sort direction and the saved clause, inside the caller's
// transaction when it holds one.
Status setDirections(DataStore& store, const QList<QPair<int, int>>& bhDirections, const QString& clause);

// The saved form of an order: " order by mc asc,dx desc" for the keys
// (checked field names, descending or not); empty without keys.
QString sortClause(const QList<QPair<QString, bool>>& fieldDescending);

// The titles of the spare fields, by bh, for bh from `first` to `last`.
Result<QList<QPair<int, QString>>> titles(DataStore& store, int first, int last);
// Writes one spare field's title into lbsz and into its option list's name.
// Fails with the part that failed in the detail's first word ("lbsz" / "xx").
Status setSpareTitle(DataStore& store, int bh, const QString& title);

// The rows bh `first` … `last` with their title and field (the rest of
// each Row left as it is), by bh.
Result<QList<Row>> fieldsBetween(DataStore& store, int first, int last);
// The rows whose title is neither empty nor `placeholder`, with their title
// and field, by bh.
Result<QList<Row>> titledFields(DataStore& store, const QString& placeholder);

}  // namespace ColumnSettings
