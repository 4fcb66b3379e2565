#pragma once

#include "listing/SearchConditions.h"
#include "platform/Result.h"

#include <QList>
#include <QString>

class DataStore;

// The saved conditions of the search (table tj): a name, who may use it
// (its creator alone, or every operator) and its condition rows. The rows
// are read back from tj.nr and rebuilt into a bound clause; tj.sq holds
// their readable SQL for the operator's eye and is never executed.
namespace SavedConditions {

// tj.syr of a condition every operator may use.
inline const QString PublicUser = QStringLiteral("&公共&");
// What the list "选择条件" shows for it under "使用人".
inline const QString PublicTitle = QStringLiteral("公共");

struct Entry {
    qint64 id = 0;
    QString name;     // mc
    QString user;     // syr
    QString creator;  // cjr
    bool isPublic() const { return user == PublicUser; }
};

// The operator's own conditions and every public one, in id order.
Result<QList<Entry>> visibleTo(DataStore& store, const QString& userName);
// One condition the operator may see; fails when it is gone or not his.
Result<Entry> entry(DataStore& store, qint64 id, const QString& userName);

// Stores a new condition; its id. Fails with "当前没有条件! " for no rows,
// "名称不能为空!" for an empty name, "加入失败！" when the insert fails.
Result<qint64> add(DataStore& store, const QString& name, bool isPublic, const QString& userName,
                   const QList<SearchConditions::Condition>& rows);
// Rewrites condition id (name, user, rows); only its creator may.
Status update(DataStore& store, qint64 id, const QString& name, bool isPublic, const QString& userName,
              const QList<SearchConditions::Condition>& rows);

// The message refusing a change to another operator's condition.
QString foreignMessage(const QString& creator);

// The condition rows of id, each checked as a search condition: a row that
// names an unknown field, operator or relation, or a text that is not rows
// at all, refuses the whole condition with a message.
Result<QList<SearchConditions::Condition>> rows(DataStore& store, qint64 id, const QString& userName);

enum class Removal { Removed, Foreign, Failed };
// Removes condition id when userName created it; a foreign one stays.
Removal remove(DataStore& store, qint64 id, const QString& userName);

}  // namespace SavedConditions
