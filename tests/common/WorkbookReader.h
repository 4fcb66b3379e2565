#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

// Reads a written .xlsx back as the tests need it: the cells of its first
// worksheet (unzipped with `unzip -p` and read from the sheet's XML).
namespace WorkbookReader {

struct Sheet {
    bool ok = false;
    QMap<QString, QString> cells;   // "A1" -> text
    QMap<QString, QString> styles;  // "A1" -> style index
    QList<QStringList> rows;        // row by row, from column A
    QString sheetXml;
    QString stylesXml;
};

// One member of the zip, as text; empty when it is not there.
QString member(const QString& xlsx, const QString& name);
Sheet read(const QString& xlsx);

}
