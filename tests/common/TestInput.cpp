#include "common/TestInput.h"

#include <sys/stat.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QTest>

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

}
