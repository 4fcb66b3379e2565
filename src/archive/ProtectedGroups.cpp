#include "archive/ProtectedGroups.h"

#include "archive/GroupPath.h"

void ProtectedGroups::rename(const QString& oldPath, const QString& newPath)
{
    QSet<QString> renamed;
    for (const QString& p : std::as_const(m_open)) {
        if (GroupPath::covers(oldPath, p))
            renamed.insert(newPath + p.mid(oldPath.size()));
        else
            renamed.insert(p);
    }
    m_open = renamed;
}

QStringList ProtectedGroups::closedPaths(DataStore& store) const
{
    QStringList closed;
    readClosedPaths(store, &closed);
    return closed;
}

bool ProtectedGroups::readClosedPaths(DataStore& store, QStringList* paths) const
{
    paths->clear();
    QList<GroupPath::Group> groups;
    if (!GroupPath::loadGroups(store, &groups)) {
        *paths << QString();
        return false;
    }
    for (const GroupPath::Group& g : std::as_const(groups))
        if (g.isProtected && !m_open.contains(g.path) && !paths->contains(g.path))
            *paths << g.path;
    return true;
}

bool ProtectedGroups::isHidden(DataStore& store, const QString& path) const
{
    for (const QString& c : closedPaths(store))
        if (GroupPath::covers(c, path))
            return true;
    return false;
}
