#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

class DataStore;

// The protected groups opened with their password during this run. Kept in
// memory only: after a restart every protected group is closed again.
// Keyed by group path; the tree renames keys when a group is renamed.
class ProtectedGroups {
public:
    bool isOpen(const QString& path) const { return m_open.contains(path); }
    void open(const QString& path) { m_open.insert(path); }
    void close(const QString& path) { m_open.remove(path); }
    void rename(const QString& oldPath, const QString& newPath);
    void clear() { m_open.clear(); }

    // Paths of the protected groups that are not open now (read from wjfz).
    // Their files, and those of their sub-groups, must not be shown.
    // Fails closed: when wjfz cannot be read, nobody can tell which groups
    // are protected, so the answer is the root's empty path, which covers
    // every group (FilterClause::excludingGroups then leaves out every file).
    QStringList closedPaths(DataStore& store) const;
    // The same, reporting whether wjfz could be read.
    bool readClosedPaths(DataStore& store, QStringList* paths) const;
    // True when path lies in a closed protected group (itself or an ancestor).
    bool isHidden(DataStore& store, const QString& path) const;

private:
    QSet<QString> m_open;
};
