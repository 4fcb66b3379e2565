#pragma once

#include <QString>
#include <QStringList>

// Where a path really leads: links resolved, and places compared by device
// and inode rather than by their text, so that a link, a bind mount or a
// different spelling of the same folder is recognised as that folder.
namespace RealPath {

// The path with every link of its existing part resolved; the part that does
// not exist yet is kept as written (after "." and ".." are cleaned).
QString resolve(const QString& path);

// True when `path` is `folder` or lies anywhere below it, whichever way either
// is spelled or reached. A folder that does not exist is compared by its
// resolved text.
bool inside(const QString& path, const QString& folder);

// True when a and b are one place or one lies inside the other.
bool overlap(const QString& a, const QString& b);

// The first of `folders` that `path` overlaps; empty when none.
QString firstOverlap(const QString& path, const QStringList& folders);

}
