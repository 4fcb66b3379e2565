#pragma once

#include "platform/Result.h"

#include <QList>
#include <QString>
#include <optional>

class DataStore;

// Table tj: the search's saved conditions. What a row means (who may use
// it, how its rows read) is the search's own matter (listing/SavedConditions).
namespace SavedConditionRows {

struct Row {
    qint64 id = 0;
    QString name;     // mc
    QString user;     // syr
    QString creator;  // cjr
};

// The rows whose user is one of the two names, in id order.
[[nodiscard]] Result<QList<Row>> usedBy(DataStore& store, const QString& user, const QString& otherUser);
// Row id when its user is one of the two names; no value when there is none.
[[nodiscard]] Result<std::optional<Row>> find(DataStore& store, qint64 id, const QString& user,
                                              const QString& otherUser);
// Row id's condition rows (tj.nr); no value when the row is gone.
[[nodiscard]] Result<std::optional<QString>> content(DataStore& store, qint64 id);

// A new row; its id.
[[nodiscard]] Result<qint64> insert(DataStore& store, const Row& row, const QString& content,
                                    const QString& readableSql);
// Rewrites row id when `creator` created it; how many rows changed.
[[nodiscard]] Result<int> update(DataStore& store, const Row& row, const QString& content, const QString& readableSql,
                                 const QString& creator);
// Removes row id when `creator` created it; how many rows went.
[[nodiscard]] Result<int> remove(DataStore& store, qint64 id, const QString& creator);

}  // namespace SavedConditionRows
