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
    QList<GroupPath::Group> groups;
    QStringList closed;
    if (!GroupPath::loadGroups(store, &groups))
        return closed;
    for (const GroupPath::Group& g : groups)
        if (g.isProtected && !m_open.contains(g.path))
            closed << g.path;
    return closed;
}

bool ProtectedGroups::isHidden(DataStore& store, const QString& path) const
{
    for (const QString& c : closedPaths(store))
        if (GroupPath::covers(c, path))
            return true;
    return false;
}
