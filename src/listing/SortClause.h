#pragma once

#include "store/ListStatements.h"

#include <QList>
#include <QString>
#include <optional>

// The ordering clause of the file list. The saved clause (zcbj.pxfs) is read
// from the database, so it is parsed and rebuilt from known fields and the
// words asc/desc only; anything else is treated as absent and the manual
// order applies.
namespace SortClause {

// A key: a canonical wj field and its direction.
using Key = SortKey;

// Keys of a saved clause such as " order by mc asc,dx desc". An empty text
// gives an empty list; a text that is not such a clause gives nullopt.
// Besides bare fields, the comparable forms the list itself writes
// (dxsz, substr(scsj,1,19)) and the older format(mid(scsj,1,19),'...')
// spelling are understood.
std::optional<QList<Key>> parse(const QString& clause);

// The expression a field sorts by: dx by its number dxsz, the stored times
// by their time text, everything else by itself.
QString sortExpression(const QString& field);

// The ORDER BY text for the list query (begins with " order by "). No keys:
// the manual order by xh. The order of entry (id) breaks ties, so equal keys
// list the same way every time.
QString orderBy(const QList<Key>& keys);

// orderBy(parse(saved)) with a bad saved clause replaced by the manual order.
QString effectiveOrderBy(const QString& savedClause);
// The keys of a saved clause, a bad one giving the manual order (none).
QList<Key> effectiveKeys(const QString& savedClause);
// The order of one column (as a click on its header sorts): the keys a
// saved clause of that field alone would give.
QList<Key> columnKeys(const QString& field, bool descending);

// True when savedClause leaves the list in manual order: no valid clause,
// or one that sorts by xh ascending first.
bool isManualOrder(const QString& savedClause);

}  // namespace SortClause
