#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

class QWidget;

// Small helpers the window and file tests share.
namespace TestInput {

// Types text into w as an operator would: ASCII through QTest::keyClicks,
// other characters (Chinese, symbols, control characters) as key events
// carrying the text, which QTest::keyClicks cannot send.
void typeText(QWidget* w, const QString& text);

// The whole content of a file; empty when it cannot be read.
QByteArray readFile(const QString& path);

// Writes bytes to path (replacing it); path, or empty when it fails.
QString writeFile(const QString& path, const QByteArray& bytes);
// The same for the file `name` in `folder`.
QString writeFile(const QString& folder, const QString& name, const QByteArray& bytes);

// The permission bits of path (st_mode & 07777); -1 when it cannot be read.
int modeOf(const QString& path);

// size bytes of a repeatable pattern that differs by seed.
QByteArray pattern(qint64 size, char seed = 'a');

// The smallest zip Office readers accept: the entries stored, uncompressed.
QByteArray storedZip(const QList<QPair<QString, QByteArray>>& entries);
// A .docx whose body is bodyXml ("<w:p><w:r><w:t>…</w:t></w:r></w:p>").
QByteArray docx(const QByteArray& bodyXml);

}
