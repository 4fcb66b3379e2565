#pragma once

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

std::optional<QString> read(DataStore& store, const QString& name);
bool write(DataStore& store, const QString& name, const QString& value);

// The allowed upload types of a '文件类型' value (separated by ",", "，",
// ";", "|" or blanks, a leading "." dropped); empty when any type is allowed.
QStringList allowedTypes(const QString& value);
bool typeAllowed(const QString& value, const QString& type);
// The '文件尺寸' bound in bytes (the value is in megabytes; decimals allowed).
qint64 sizeBoundBytes(const QString& value);
// The stored '文件尺寸' bound in bytes (DefaultFileSize when there is none).
qint64 storedSizeBound(DataStore& store);

}
