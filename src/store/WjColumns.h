#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

// The facts of table wj (the file records) that the rest of the system
// relies on, kept in one place: its columns, the ones a setting may name,
// and the spare fields b1..b15.
namespace WjColumns {

// The spare fields b1..b15: b1..b12 take pick lists (table xx), b13..b15
// hold dates.
inline constexpr int SpareCount = 15;
inline constexpr int PickListSpares = 12;
inline constexpr int DateSpares = SpareCount - PickListSpares;
// lbsz.bh of b1 and of b15.
inline constexpr int FirstSpareBh = 6;
inline constexpr int LastSpareBh = FirstSpareBh + SpareCount - 1;

// "b1".."b15" for index 0..14.
QString spareColumn(int index);

// Every column of wj in table order: the content column "wj", then the
// content's hash "sha256", last.
const QStringList& all();

// The columns a setting may name (lbsz.zdm, the sort clause in zcbj.pxfs):
// every column but the content column wj, in lower case.
const QSet<QString>& nameable();
// The column in its canonical (lower-case) spelling when a setting may name
// it; empty otherwise. Comparison ignores case and surrounding blanks, as SQL does.
QString canonical(const QString& column);

}  // namespace WjColumns
