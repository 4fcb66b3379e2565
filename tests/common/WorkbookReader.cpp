#include "common/WorkbookReader.h"

#include <QProcess>
#include <QRegularExpression>
#include <QXmlStreamReader>

namespace WorkbookReader {

namespace {

// "AB12" -> column 27 (from 0).
int columnOf(const QString& ref)
{
    int n = 0;
    for (const QChar c : ref) {
        if (!c.isLetter())
            break;
        n = n * 26 + (c.unicode() - u'A' + 1);
    }
    return n - 1;
}

}  // namespace

QString member(const QString& xlsx, const QString& name)
{
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), xlsx, name});
    if (!unzip.waitForFinished(60000) || unzip.exitCode() != 0)
        return {};
    return QString::fromUtf8(unzip.readAllStandardOutput());
}

// A cell's text as spreadsheet programs show it: "_xHHHH_" is the character HHHH.
static QString decoded(const QString& text)
{
    static const QRegularExpression encoded(QStringLiteral("_x([0-9A-Fa-f]{4})_"));
    QString out;
    qsizetype from = 0;
    for (auto it = encoded.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += text.mid(from, m.capturedStart() - from) + QChar(char16_t(m.captured(1).toUShort(nullptr, 16)));
        from = m.capturedEnd();
    }
    return out + text.mid(from);
}

Sheet read(const QString& xlsx)
{
    Sheet sheet;
    sheet.sheetXml = member(xlsx, QStringLiteral("xl/worksheets/sheet1.xml"));
    sheet.stylesXml = member(xlsx, QStringLiteral("xl/styles.xml"));
    if (sheet.sheetXml.isEmpty())
        return sheet;
    QXmlStreamReader xml(sheet.sheetXml);
    QString ref;
    QString text;
    bool inCell = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("row")) {
            sheet.rows.append(QStringList());
        } else if (xml.isStartElement() && xml.name() == QLatin1String("c")) {
            ref = xml.attributes().value(QLatin1String("r")).toString();
            sheet.styles.insert(ref, xml.attributes().value(QLatin1String("s")).toString());
            text.clear();
            inCell = true;
        } else if (inCell && xml.isStartElement() && xml.name() == QLatin1String("t")) {
            text += xml.readElementText();
        } else if (xml.isEndElement() && xml.name() == QLatin1String("c")) {
            inCell = false;
            text = decoded(text);
            sheet.cells.insert(ref, text);
            if (!sheet.rows.isEmpty()) {
                QStringList& row = sheet.rows.last();
                const int column = columnOf(ref);
                while (row.size() < column)
                    row.append(QString());
                row.append(text);
            }
        }
    }
    sheet.ok = !xml.hasError();
    return sheet;
}

}
