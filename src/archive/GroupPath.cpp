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
    if (group.isEmpty())
        return true;
    return path == group || path.startsWith(group + Separator);
}

Condition exactly(const QString& path, const QString& column)
{
    return {QStringLiteral("(%1 = ?)").arg(column), {path}};
}

Condition withSubgroups(const QString& path, const QString& column)
{
    if (path.isEmpty())
        return {QStringLiteral("(1 = 1)"), {}};
    // One range of the binary order, so that the index on fz (with dxsz
    // beside it) answers with a single search: every path of the group or
    // below it lies in [path, path + "]"), "]" being the character after "\".
    // The range also holds names that merely begin with path ("AB", "A B"),
    // so inside it only path itself and what follows path + "\" count: every
    // text above path + "\" and below path + "]" begins with path + "\",
    // and no other does. No wildcard: "%", "_" and "\" in names mean themselves.
    return {QStringLiteral("(%1 >= ? and %1 < ? and (%1 = ? or %1 > ?))").arg(column),
            {path, path + QLatin1Char(']'), path, path + Separator}};
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
    // Where each group sits: under its stored parent when that exists, else
    // under the root. A chain of parents that runs in a circle would leave
    // its groups out of the tree (and a rewrite would drop them): the
    // lowest-id group of such a circle is placed under the root.
    QHash<qint64, qint64> placed;
    for (const Group& g : std::as_const(*groups))
        placed.insert(g.id, indexOf.contains(g.parentId) && g.parentId != g.id ? g.parentId : 0);
    for (const Group& g : std::as_const(*groups)) {
        QList<qint64> chain;
        QSet<qint64> seen;
        qint64 at = g.id;
        while (at != 0 && !seen.contains(at)) {
            seen.insert(at);
            chain.append(at);
            at = placed.value(at);
        }
        if (at != 0) {
            // at is on a circle: the members run from its first place in the chain.
            const qsizetype from = chain.indexOf(at);
            qint64 lowest = at;
            for (qsizetype k = from; k < chain.size(); ++k)
                lowest = qMin(lowest, chain.at(k));
            placed.insert(lowest, 0);
        }
    }
    for (Group& g : *groups) {
        g.placedParentId = placed.value(g.id);
        QStringList names{g.name};
        for (qint64 p = g.placedParentId; p != 0; p = placed.value(p))
            names.prepend(groups->at(indexOf.value(p)).name);
        g.path = join(names);
    }
    return true;
}

}
