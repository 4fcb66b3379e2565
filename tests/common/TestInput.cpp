#include "common/TestInput.h"

#include <sys/stat.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QTest>

namespace {

quint32 crc32(const QByteArray& data)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char ch : data) {
        crc ^= quint8(ch);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

}  // namespace

namespace TestInput {

void typeText(QWidget* w, const QString& text)
{
    for (QChar c : text) {
        if (c.unicode() < 128 && c.unicode() >= 32) {
            QTest::keyClicks(w, QString(c));
        } else {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(w, &press);
            QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(w, &release);
        }
    }
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray pattern(qint64 size, char seed)
{
    QByteArray b(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        b[i] = char((i * 31 + seed) & 0xff);
    return b;
}

QString writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        return {};
    return path;
}

QString writeFile(const QString& folder, const QString& name, const QByteArray& bytes)
{
    return writeFile(QDir(folder).filePath(name), bytes);
}

int modeOf(const QString& path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

QByteArray storedZip(const QList<QPair<QString, QByteArray>>& entries)
{
    QByteArray out;
    QByteArray central;
    auto le16 = [](QByteArray& b, quint32 v) { b.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF)); };
    auto le32 = [&](QByteArray& b, quint32 v) {
        le16(b, v & 0xFFFF);
        le16(b, v >> 16);
    };
    for (const auto& [name, data] : entries) {
        const QByteArray n = name.toUtf8();
        const quint32 crc = crc32(data);
        const quint32 offset = quint32(out.size());
        le32(out, 0x04034B50);
        for (quint32 v : {20u, 0x800u, 0u, 0u, 0x21u})
            le16(out, v);
        le32(out, crc);
        le32(out, quint32(data.size()));
        le32(out, quint32(data.size()));
        le16(out, quint32(n.size()));
        le16(out, 0);
        out += n + data;
        le32(central, 0x02014B50);
        for (quint32 v : {20u, 20u, 0x800u, 0u, 0u, 0x21u})
            le16(central, v);
        le32(central, crc);
        le32(central, quint32(data.size()));
        le32(central, quint32(data.size()));
        for (quint32 v : {quint32(n.size()), 0u, 0u, 0u, 0u})
            le16(central, v);
        le32(central, 0);
        le32(central, offset);
        central += n;
    }
    const quint32 at = quint32(out.size());
    out += central;
    le32(out, 0x06054B50);
    for (quint32 v : {0u, 0u, quint32(entries.size()), quint32(entries.size())})
        le16(out, v);
    le32(out, quint32(central.size()));
    le32(out, at);
    le16(out, 0);
    return out;
}

QByteArray docx(const QByteArray& bodyXml)
{
    return storedZip(
        {{"[Content_Types].xml",
          "<?xml version=\"1.0\"?><Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
          "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
          "</Types>"},
         {"word/document.xml",
          "<?xml version=\"1.0\"?><w:document xmlns:w=\"http://schemas.openxmlformats.org/"
          "wordprocessingml/2006/main\"><w:body>"
              + bodyXml + "</w:body></w:document>"}});
}

}
