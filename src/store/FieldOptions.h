#pragma once

#include "platform/Result.h"

#include <QString>
#include <QStringList>

class DataStore;

// The pick lists of the spare fields (table xx). The options are joined into
// xx.nr with a control character that no typed option can contain.
namespace FieldOptions {

inline constexpr QChar Separator = QChar(0x1F);

struct Field {
    QString title;   // xx.xm
    int number = 0;  // xx.bh (6 for b1)
};

// The fields offered, in xx.id order; a failure when xx cannot be read.
Result<QList<Field>> fields(DataStore& store);
// The options of field `number` (empty when none); a failure when xx cannot be read.
Result<QStringList> options(DataStore& store, int number);
bool save(DataStore& store, int number, const QStringList& options);

QString joinOptions(const QStringList& options);
QStringList splitOptions(const QString& stored);
// Removes the separator (and other control characters) from a typed option.
QString cleanOption(const QString& typed);

}
