#include "archive/GroupPath.h"

#include "store/DataStore.h"

#include <QSet>

namespace GroupPath {

QString join(const QStringList& names)
{
    return names.join(Separator);
}

QStringList split(const QString& path)
{
    return path.split(Separator, Qt::SkipEmptyParts);
}

QString child(const QString& parent, const QString& name)
{
    return parent.isEmpty() ? name : parent + Separator + name;
}

bool covers(const QString& group, const QString& path)
{
    return path == group || path.startsWith(group + Separator);
}

Condition exactly(const QString& path, const QString& column)
{
    return {QStringLiteral("(%1 = ?)").arg(column), {path}};
}

Condition withSubgroups(const QString& path, const QString& column)
{
    // substr() compares the leading characters exactly: no wildcard in the
    // name ('%', '_', quotes) has any meaning here.
    return {QStringLiteral("(%1 = ? or substr(%1, 1, length(?) + 1) = ? || '\\')").arg(column),
            {path, path, path}};
}

bool loadGroups(DataStore& store, QList<Group>* groups)
{
    groups->clear();
    RecordSet rs = store.query(QStringLiteral("select id,fxmid,xmmc,tpid,xztp,mm from wjfz order by id asc"));
    if (!rs)
        return false;
    QHash<qint64, int> indexOf;
    for (; !rs.atEnd(); rs.next()) {
        Group g;
        g.id = rs.number(0);
        g.parentId = rs.number(1);
        g.name = rs.text(2);
        g.image = static_cast<int>(rs.number(3));
        g.selectedImage = static_cast<int>(rs.number(4));
        g.passwordHash = rs.text(5);
        g.isProtected = !g.passwordHash.isEmpty();
        indexOf.insert(g.id, groups->size());
        groups->append(g);
    }
    // Paths: walk up the parents; a missing parent (or a cycle) ends the walk
    // at the root.
    for (Group& g : *groups) {
        QStringList names{g.name};
        QSet<qint64> seen{g.id};
        qint64 parent = g.parentId;
        while (indexOf.contains(parent) && !seen.contains(parent)) {
            seen.insert(parent);
            const Group& p = groups->at(indexOf.value(parent));
            names.prepend(p.name);
            parent = p.parentId;
        }
        g.path = join(names);
    }
    return true;
}

}
