#pragma once

#include "platform/Result.h"
#include "store/DuplicateRows.h"

#include <QString>

class DataStore;
class ProtectedGroups;

// Content already held, caught on the way in: by the SHA-256 of an incoming
// file, the first record holding the same content, else the first record in
// the trash, else the first version of a record. A holder in a closed
// protected group (or below one) is never named: the operator only hears
// that a protected group holds identical content.
namespace Duplicates {

inline const QString Continue = QStringLiteral("是否继续?");
inline const QString InProtected = QStringLiteral("保护分组中已有内容相同的文件");
// The tick box of the batch import and its count in the end report.
inline const QString SkipBox = QStringLiteral("跳过内容相同的文件");

struct Found {
    enum class Where { None, Record, Trash, Version, Protected };
    Where where = Where::None;
    DuplicateRows::Holder holder;  // valid unless None or Protected
    bool any() const { return where != Where::None; }
};

// Who holds the content with this hash, as the operator may hear it.
Result<Found> find(DataStore& store, const ProtectedGroups& open, const QString& sha256Hex);

// "该文件与已有文件内容相同: 文件编号 …, 名称 …, 分组 …" and its kin; empty for None.
QString text(const Found& found);
// The question before a duplicate is stored: the file's name (when given),
// who holds it, and "是否继续?".
QString question(const Found& found, const QString& fileName = {});

}  // namespace Duplicates
