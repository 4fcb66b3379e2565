#pragma once

#include "platform/Result.h"

#include <QString>
#include <QStringList>
#include <optional>

class DataStore;

// The named values of table zdbh.
namespace Dictionary {

inline const QString FileNumber = QStringLiteral("文件编号");
inline const QString FileTypes = QStringLiteral("文件类型");
inline const QString FileSize = QStringLiteral("文件尺寸");
// The file-type value that means "no limit".
inline const QString AnyType = QStringLiteral("A");
// The '文件尺寸' value taken when the dictionary has none.
inline const QString DefaultFileSize = QStringLiteral("1");

// The value named; std::nullopt when the dictionary has no such row, a
// failure (with the driver's words) when it could not be read.
[[nodiscard]] Result<std::optional<QString>> read(DataStore& store, const QString& name);
// The value named, or `fallback` when there is none or it cannot be read;
// a failed read is said in the program's output with its cause.
QString readOr(DataStore& store, const QString& name, const QString& fallback);
[[nodiscard]] bool write(DataStore& store, const QString& name, const QString& value);

// The allowed upload types of a '文件类型' value (separated by ",", "，",
// ";", "|" or blanks, a leading "." dropped); empty when any type is allowed.
QStringList allowedTypes(const QString& value);
bool typeAllowed(const QString& value, const QString& type);
// The '文件尺寸' bound in bytes (the value is in megabytes; decimals allowed).
qint64 sizeBoundBytes(const QString& value);
// The stored '文件尺寸' bound in bytes (DefaultFileSize when there is none).
qint64 storedSizeBound(DataStore& store);

}
