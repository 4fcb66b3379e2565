#pragma once

#include "platform/Result.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

// The program folder's Config.ini: sections and keys of the usual INI form.
// Read as UTF-8, or as GBK when the bytes are not valid UTF-8. Writing a key
// rewrites that one line (or adds it) and keeps every other line as it was,
// in the file's own encoding. A file that is neither UTF-8 nor GBK is never
// written: a value set then holds for this run only and the file stays as
// it is.
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
    bool isGbk() const { return m_gbk; }
    // The file exists but is neither UTF-8 nor GBK: it is read as empty and
    // never rewritten.
    bool isUndecodable() const { return m_undecodable; }

    // Text decoding used for the file (exposed for tests). undecodable is
    // set when the bytes are neither UTF-8 nor GBK (the text is then a
    // byte-for-byte Latin-1 reading).
    static QString decode(const QByteArray& bytes, bool* wasGbk = nullptr, bool* undecodable = nullptr);
    static Result<QByteArray> encodeGbk(const QString& text);

private:
    int findKeyLine(const QString& section, const QString& key, int* sectionEnd) const;
    static QString overrideKey(const QString& section, const QString& key);

    QString m_path;
    QStringList m_lines;
    bool m_gbk = false;
    bool m_crlf = false;
    bool m_bom = false;  // a UTF-8 file that began with a byte order mark keeps it
    bool m_undecodable = false;
    // Values set during this run that the file could not take.
    QHash<QString, QString> m_runOnly;
};
