#pragma once

// The readers behind TextExtractor, one per family of formats; used by
// TextExtractor.cpp and TextExtractorDocuments.cpp only.

#include "platform/TextExtractor.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>

namespace TextExtractor::Readers {

// Collects text up to the limit and tells when the time is up.
class TextSink {
public:
    TextSink(qsizetype limit, QDeadlineTimer deadline) : m_limit(limit), m_deadline(deadline) {}
    // Appends what fits; false once the limit is reached.
    bool add(QStringView s)
    {
        if (m_full)
            return false;
        if (m_text.size() + s.size() > m_limit) {
            m_text.append(s.first(m_limit - m_text.size()));
            m_full = true;
            return false;
        }
        m_text.append(s);
        return true;
    }
    bool add(QChar c) { return add(QStringView(&c, 1)); }
    bool full() const { return m_full; }
    bool late() const { return m_deadline.hasExpired(); }
    bool stop() const { return m_full || late(); }
    QDeadlineTimer deadline() const { return m_deadline; }
    QString& text() { return m_text; }
    // Ok/Empty/TooLarge/TimedOut from what was collected.
    Extracted finish(QString detail = {});

private:
    QString m_text;
    qsizetype m_limit;
    QDeadlineTimer m_deadline;
    bool m_full = false;
};

// Bytes in the named encoding (an iconv name) to text; bytes that do not
// decode become U+FFFD, an incomplete sequence at the end is dropped.
QString decode(const QByteArray& bytes, const char* encoding);
// The encoding of text bytes without a declaration: byte order mark, valid
// UTF-8, UTF-16 by the look of its units, uchardet, else GB18030.
QString decodeGuessing(const QByteArray& bytes);

Extracted readPdf(const QString& path, const Limits& limits, TextSink& sink);
Extracted readPicture(const QString& path, TextSink& sink);
Extracted readOffice(const QString& path, const QString& type, const Limits& limits, TextSink& sink);
QString tessdataFolder();

}
