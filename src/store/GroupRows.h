#pragma once

#include "platform/Result.h"
#include "store/RecordRows.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <functional>
#include <optional>

class DataStore;

// The statements of the group table wjfz and of the files of a group: the
// records whose wj.fz is the group's path or lies below it. A group path is
// the names from the top-level group down joined by "\" (no leading "\");
// the empty path is the root "文件服务器", which holds every record.
//
// A group's files are exactly those with fz = path or fz beginning with
// path + "\"; "%", "_" and "\" in names mean themselves.
namespace GroupRows {

// A condition on a path column, bracketed, with "?" placeholders and its
// values in order.
struct Condition {
    QString sql;
    QVariantList params;
};
// Exactly this group: fz = path.
Condition exactly(const QString& path, const QString& column = QStringLiteral("fz"));
// This group and its sub-groups, written as one range of fz (fz >= path and
// fz < path + "]") that keeps only fz = path and what follows path + "\".
// The empty path gives a condition every record meets.
Condition withSubgroups(const QString& path, const QString& column = QStringLiteral("fz"));
// The records of `path` and below, those of `excluded` (and below) left out:
// " where " and the conditions, ready to follow "from wj".
Condition within(const QString& path, const QStringList& excluded);

// One row of wjfz as stored.
struct Row {
    qint64 id = 0;
    qint64 parentId = 0;    // fxmid
    QString name;           // xmmc
    int image = 0;          // tpid
    int selectedImage = 0;  // xztp
    QString passwordHash;   // mm; empty: not protected
};

// Every group in ascending id.
Result<QList<Row>> all(DataStore& store);
// The stored password of group id (empty without one); nullopt when there
// is no such group.
Result<std::optional<QString>> password(DataStore& store, qint64 id);
// Whether any group has a password.
Result<bool> anyProtected(DataStore& store);

// The whole table is written again: clear() then insert() for each group
// (parents first), inside the caller's transaction.
Status clear(DataStore& store);
Status insert(DataStore& store, const Row& row);
// Sets the password and images of group id; fails when there is no such group.
Status setPassword(DataStore& store, qint64 id, const QString& passwordHash, int image, int selectedImage);

// How many records lie in path and below, those of `excluded` left out.
Result<qint64> fileCount(DataStore& store, const QString& path, const QStringList& excluded = {});
// The records of oldPath and below get newPath in place of oldPath at the
// front of their fz (a renamed group), inside the caller's transaction.
Status moveFiles(DataStore& store, const QString& oldPath, const QString& newPath);

// The records of path and below in ascending id, those of `excluded` left
// out; with types given only those whose lower-case type is one of them.
Result<QList<RecordRows::Brief>> files(DataStore& store, const QString& path, const QStringList& excluded,
                                       const QStringList& lowerTypes = {});
// The same handed over one at a time while they are read (a long run reads
// no more than the record at hand); `each` returns false to stop.
Status eachFile(DataStore& store, const QString& path, const QStringList& excluded,
                const std::function<bool(const RecordRows::Brief&)>& each);
// The ids alone, ascending.
Result<QList<qint64>> fileIds(DataStore& store, const QString& path, const QStringList& excluded);

}  // namespace GroupRows
