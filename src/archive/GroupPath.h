#pragma once

#include "platform/Result.h"
#include "store/GroupRows.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariantList>

class DataStore;

// The group path: the names of a group and its ancestors, from the top-level
// group down, joined by "\" (no leading "\"), as kept in wj.fz.
namespace GroupPath {

inline constexpr QChar Separator = QLatin1Char('\\');

QString join(const QStringList& names);
QStringList split(const QString& path);
// The path of a sub-group named `name` under `parent` (parent may be empty).
QString child(const QString& parent, const QString& name);
// True when path is group or lies under it ("A" covers "A" and "A\B", not "AB").
// The empty path stands for the root "文件服务器" and covers every path.
bool covers(const QString& group, const QString& path);

// The conditions on a path column (store/GroupRows.h).
using Condition = GroupRows::Condition;
// Exactly this group: fz = path.
inline Condition exactly(const QString& path, const QString& column = QStringLiteral("fz"))
{
    return GroupRows::exactly(path, column);
}
// This group and its sub-groups: fz = path or fz begins with path + "\";
// the empty path (the root) gives a condition every record meets.
inline Condition withSubgroups(const QString& path, const QString& column = QStringLiteral("fz"))
{
    return GroupRows::withSubgroups(path, column);
}

// One row of wjfz with its path.
struct Group {
    qint64 id = 0;
    qint64 parentId = 0;        // fxmid as stored
    qint64 placedParentId = 0;  // the parent it sits under: 0 (the root) when
                                // fxmid names no group or would close a cycle
    QString name;
    int image = 0;
    int selectedImage = 0;
    bool isProtected = false;
    QString passwordHash;
    QString path;
};
// Every group of wjfz in ascending id, each with its path; a group whose
// parent is missing sits under the root, and so does the lowest-id group of
// a parent cycle.
Result<QList<Group>> groups(DataStore& store);
// The same; false when the read failed (the store's lastError() says why).
bool loadGroups(DataStore& store, QList<Group>* groups);

}
