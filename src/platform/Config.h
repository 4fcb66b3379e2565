#pragma once

#include "platform/Result.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>

// The program folder's Config.ini: sections and keys of the usual INI form.
// The file is UTF-8 (with or without a byte order mark) or GBK. A byte order
// mark means UTF-8; bytes valid in only one of the two are read in that one.
// Bytes valid in both (a GBK "系统" is also valid UTF-8) are read in the
// one under which the database path (section "date", key "db") names an
// existing file; when neither or both do, a charset detector decides.
// Writing a key rewrites that one line (or adds it) and keeps every other
// line as it was, in the file's own encoding: a value that encoding cannot
// hold (in a GBK file a name such as "𠮷田", which only GB18030's four-byte
// forms hold) is refused rather than written in another one. A file that is
// neither UTF-8 nor GBK is never written. A value refused holds for this
// run only and the file stays as it is.
class Config {
public:
    // Sections and keys the system uses.
    static inline const QString DatabaseSection = QStringLiteral("date");
    static inline const QString DatabaseKey = QStringLiteral("db");
    static inline const QString SkinSection = QStringLiteral("HF");
    static inline const QString SkinKey = QStringLiteral("hf");
    static inline const QString LoginSection = QStringLiteral("dl");
    static inline const QString LoginKey = QStringLiteral("yh");
    static inline const QString GuideSection = QStringLiteral("xd");
    static inline const QString GuideKey = QStringLiteral("qd");

    explicit Config(QString path = {});

    QString path() const { return m_path; }
    // Reads the file again (a missing file reads as empty).
    void reload();
    // The value, or fallback when the file, section or key is missing.
    // Section and key names compare without regard to case.
    QString value(const QString& section, const QString& key, const QString& fallback = {}) const;
    bool contains(const QString& section, const QString& key) const;
    // Writes one key. The value holds for the rest of the run either way;
    // a failure (the file cannot be decoded, or cannot be written) says why
    // the file was left as it was.
    Status setValue(const QString& section, const QString& key, const QString& value);
    // The file is GBK (or GB18030, when it already holds four-byte forms).
    bool isGbk() const { return m_encoding != Encoding::Utf8; }
    // The file exists but is neither UTF-8 nor GBK: it is read as empty and
    // never rewritten.
    bool isUndecodable() const { return m_undecodable; }

    // Text decoding of a file of the program folder (also the skins'): a
    // byte order mark means UTF-8, bytes valid in only one of UTF-8 and GBK
    // are read in that one, bytes valid in both as the charset detector
    // says. undecodable is set when the bytes are neither UTF-8 nor GBK (the
    // text is then a byte-for-byte Latin-1 reading).
    static QString decode(const QByteArray& bytes, bool* wasGbk = nullptr, bool* undecodable = nullptr);
    // GBK bytes of text; fails when text holds a character GBK has not
    // (one that only a GB18030 four-byte form holds).
    static Result<QByteArray> encodeGbk(const QString& text);

    // What the charset detector makes of bytes ("UTF-8", "GB18030", "ASCII",
    // ...; empty when it cannot tell).
    static QString detectCharset(const QByteArray& bytes);

private:
    enum class Encoding { Utf8, Gbk, Gb18030 };
    // Chooses the encoding; dbExists (may be empty) tells whether the
    // database path of a decoded text names an existing file.
    static QString decodeAs(const QByteArray& bytes, Encoding* encoding, bool* undecodable,
                            const std::function<bool(const QString& text)>& dbExists);
    int findKeyLine(const QString& section, const QString& key, int* sectionEnd) const;
    static QString overrideKey(const QString& section, const QString& key);

    QString m_path;
    QStringList m_lines;
    Encoding m_encoding = Encoding::Utf8;
    bool m_crlf = false;
    bool m_bom = false;  // a UTF-8 file that began with a byte order mark keeps it
    bool m_undecodable = false;
    // Values set during this run that the file could not take.
    QHash<QString, QString> m_runOnly;
};
