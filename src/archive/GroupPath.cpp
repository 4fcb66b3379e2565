#include "archive/GroupPath.h"

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

bool loadGroups(DataStore& store, QList<Group>* out)
{
    Result<QList<Group>> read = groups(store);
    *out = read ? std::move(read).value() : QList<Group>();
    return read.ok();
}

Result<QList<Group>> groups(DataStore& store)
{
    const Result<QList<GroupRows::Row>> rows = GroupRows::all(store);
    if (!rows)
        return rows.failure();
    QList<Group> list;
    QHash<qint64, int> indexOf;
    for (const GroupRows::Row& row : rows.value()) {
        Group g;
        g.id = row.id;
        g.parentId = row.parentId;
        g.name = row.name;
        g.image = row.image;
        g.selectedImage = row.selectedImage;
        g.passwordHash = row.passwordHash;
        g.isProtected = !g.passwordHash.isEmpty();
        indexOf.insert(g.id, list.size());
        list.append(g);
    }
    // Where each group sits: under its stored parent when that exists, else
    // under the root. A chain of parents that runs in a circle would leave
    // its groups out of the tree (and a rewrite would drop them): the
    // lowest-id group of such a circle is placed under the root.
    QHash<qint64, qint64> placed;
    for (const Group& g : std::as_const(list))
        placed.insert(g.id, indexOf.contains(g.parentId) && g.parentId != g.id ? g.parentId : 0);
    for (const Group& g : std::as_const(list)) {
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
    for (Group& g : list) {
        g.placedParentId = placed.value(g.id);
        QStringList names{g.name};
        for (qint64 p = g.placedParentId; p != 0; p = placed.value(p))
            names.prepend(list.at(indexOf.value(p)).name);
        g.path = join(names);
    }
    return list;
}

}
