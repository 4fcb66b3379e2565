#pragma once

#include <QString>
#include <QStringList>

class DataStore;

// The pick lists of the spare fields (table xx). The options are joined into
// xx.nr with a control character that no typed option can contain.
namespace FieldOptions {

inline constexpr QChar Separator = QChar(0x1F);

struct Field {
    QString title;  // xx.xm
    int number = 0; // xx.bh (6 for b1)
};

// The fields offered, in xx.id order.
QList<Field> fields(DataStore& store, bool* ok = nullptr);
// The options of field `number`; empty when none or on failure.
QStringList options(DataStore& store, int number, bool* ok = nullptr);
bool save(DataStore& store, int number, const QStringList& options);

QString joinOptions(const QStringList& options);
QStringList splitOptions(const QString& stored);
// Removes the separator (and other control characters) from a typed option.
QString cleanOption(const QString& typed);

}
