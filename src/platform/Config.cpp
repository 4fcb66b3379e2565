#include "platform/Config.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include <iconv.h>
#include <uchardet.h>

namespace {

QByteArray iconvConvert(const QByteArray& in, const char* to, const char* from, bool* ok)
{
    if (ok)
        *ok = false;
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return {};
    QByteArray out;
    out.resize(in.size() * 4 + 16);
    char* src = const_cast<char*>(in.constData());
    size_t srcLeft = static_cast<size_t>(in.size());
    char* dst = out.data();
    size_t dstLeft = static_cast<size_t>(out.size());
    size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (r == static_cast<size_t>(-1))
        return {};
    out.resize(out.size() - static_cast<int>(dstLeft));
    if (ok)
        *ok = true;
    return out;
}

QString sectionName(const QString& trimmed)
{
    if (trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']')))
        return trimmed.mid(1, trimmed.size() - 2).trimmed();
    return {};
}

bool isSection(const QString& trimmed)
{
    return trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']'));
}

bool isComment(const QString& trimmed)
{
    return trimmed.startsWith(QLatin1Char(';')) || trimmed.startsWith(QLatin1Char('#'));
}

QStringList splitLines(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// The line of key in section (the first one), or -1. sectionEnd (may be
// null) gets the line after the section's last one, -1 without the section.
int keyLine(const QStringList& lines, const QString& section, const QString& key, int* sectionEnd)
{
    bool inSection = false;
    int found = -1;
    if (sectionEnd)
        *sectionEnd = -1;
    for (int i = 0; i < lines.size(); ++i) {
        const QString t = lines.at(i).trimmed();
        if (isSection(t)) {
            if (inSection && sectionEnd && *sectionEnd < 0)
                *sectionEnd = i;
            inSection = sectionName(t).compare(section, Qt::CaseInsensitive) == 0;
            if (inSection && sectionEnd)
                *sectionEnd = -1;
            continue;
        }
        if (!inSection || t.isEmpty() || isComment(t))
            continue;
        const int eq = t.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        if (t.left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0 && found < 0)
            found = i;
    }
    if (inSection && sectionEnd && *sectionEnd < 0)
        *sectionEnd = int(lines.size());
    return found;
}

QString lineValue(const QString& line)
{
    return line.mid(line.indexOf(QLatin1Char('=')) + 1).trimmed();
}

// True when GB18030 bytes (valid ones) hold a four-byte form, which GBK
// has not: a lead byte followed by a digit.
bool hasFourByteForms(const QByteArray& bytes)
{
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes.at(i));
        if (b < 0x80)
            continue;
        if (i + 1 < bytes.size()) {
            const auto next = static_cast<unsigned char>(bytes.at(i + 1));
            if (next >= 0x30 && next <= 0x39)
                return true;
        }
        ++i;
    }
    return false;
}

}  // namespace

Config::Config(QString path) : m_path(std::move(path))
{
    reload();
}

QString Config::detectCharset(const QByteArray& bytes)
{
    uchardet_t detector = uchardet_new();
    if (!detector)
        return {};
    QString charset;
    if (uchardet_handle_data(detector, bytes.constData(), static_cast<size_t>(bytes.size())) == 0) {
        uchardet_data_end(detector);
        charset = QString::fromLatin1(uchardet_get_charset(detector));
    }
    uchardet_delete(detector);
    return charset;
}

QString Config::decodeAs(const QByteArray& bytes, Encoding* encoding, bool* undecodable,
                         const std::function<bool(const QString&)>& dbExists)
{
    *encoding = Encoding::Utf8;
    *undecodable = false;
    QByteArray data = bytes;
    const bool bom = data.startsWith("\xEF\xBB\xBF");
    if (bom)
        data.remove(0, 3);
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString asUtf8 = utf8(data);
    const bool utf8Valid = !utf8.hasError();
    if (utf8Valid && bom)
        return asUtf8;
    bool gbValid = false;
    const QByteArray converted = iconvConvert(data, "UTF-8", "GB18030", &gbValid);
    const QString asGb = gbValid ? QString::fromUtf8(converted) : QString();
    const Encoding gb = gbValid && hasFourByteForms(data) ? Encoding::Gb18030 : Encoding::Gbk;
    if (utf8Valid && gbValid && asUtf8 != asGb) {
        // Valid in both (plain ASCII reads the same either way). The
        // database path that exists tells; else the detector does.
        bool gbChosen = false;
        const bool utf8Exists = dbExists && dbExists(asUtf8);
        const bool gbExists = dbExists && dbExists(asGb);
        if (utf8Exists != gbExists)
            gbChosen = gbExists;
        else
            gbChosen = detectCharset(data).startsWith(QLatin1String("GB"), Qt::CaseInsensitive);
        if (gbChosen)
            *encoding = gb;
        return gbChosen ? asGb : asUtf8;
    }
    if (utf8Valid)
        return asUtf8;
    if (gbValid) {
        *encoding = gb;
        return asGb;
    }
    *undecodable = true;
    return QString::fromLatin1(data);
}

QString Config::decode(const QByteArray& bytes, bool* wasGbk, bool* undecodable)
{
    Encoding encoding = Encoding::Utf8;
    bool bad = false;
    const QString text = decodeAs(bytes, &encoding, &bad, {});
    if (wasGbk)
        *wasGbk = encoding != Encoding::Utf8;
    if (undecodable)
        *undecodable = bad;
    return text;
}

Result<QByteArray> Config::encodeGbk(const QString& text)
{
    bool ok = false;
    const QByteArray bytes = iconvConvert(text.toUtf8(), "GB18030", "UTF-8", &ok);
    if (!ok)
        return Result<QByteArray>::fail(QString(), QStringLiteral("text not encodable as GB18030"));
    if (hasFourByteForms(bytes))
        return Result<QByteArray>::fail(QString(), QStringLiteral("text holds characters GBK has not"));
    return bytes;
}

void Config::reload()
{
    m_lines.clear();
    m_encoding = Encoding::Utf8;
    m_crlf = false;
    m_bom = false;
    m_undecodable = false;
    QFile f(m_path);
    if (m_path.isEmpty() || !f.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = f.readAll();
    m_crlf = bytes.contains("\r\n");
    m_bom = bytes.startsWith("\xEF\xBB\xBF");
    const QString text = decodeAs(bytes, &m_encoding, &m_undecodable, [](const QString& decoded) {
        const QStringList lines = splitLines(decoded);
        const int line = keyLine(lines, DatabaseSection, DatabaseKey, nullptr);
        const QString db = line < 0 ? QString() : lineValue(lines.at(line));
        return !db.isEmpty() && QFileInfo(db).isFile();
    });
    if (m_undecodable) {
        // Nothing in it can be trusted: every key takes its default.
        return;
    }
    m_lines = splitLines(text);
}

int Config::findKeyLine(const QString& section, const QString& key, int* sectionEnd) const
{
    return keyLine(m_lines, section, key, sectionEnd);
}

QString Config::overrideKey(const QString& section, const QString& key)
{
    return section.trimmed().toLower() + QLatin1Char('\n') + key.trimmed().toLower();
}

bool Config::contains(const QString& section, const QString& key) const
{
    return m_runOnly.contains(overrideKey(section, key)) || findKeyLine(section, key, nullptr) >= 0;
}

QString Config::value(const QString& section, const QString& key, const QString& fallback) const
{
    const auto kept = m_runOnly.constFind(overrideKey(section, key));
    if (kept != m_runOnly.constEnd())
        return kept.value();
    const int line = findKeyLine(section, key, nullptr);
    if (line < 0)
        return fallback;
    return lineValue(m_lines.at(line));
}

Status Config::setValue(const QString& section, const QString& key, const QString& value)
{
    const QString runKey = overrideKey(section, key);
    auto keepForRun = [&](const QString& why) {
        m_runOnly.insert(runKey, value);
        return Status::fail(QString(), why);
    };
    if (m_path.isEmpty())
        return keepForRun(QStringLiteral("no settings file"));
    if (m_undecodable) {
        return keepForRun(QStringLiteral("%1 is neither UTF-8 nor GBK; left untouched, %2/%3 kept for this run")
                              .arg(m_path, section, key));
    }
    int sectionEnd = -1;
    const int line = findKeyLine(section, key, &sectionEnd);
    const QString entry = key + QLatin1Char('=') + value;
    QStringList lines = m_lines;
    if (line >= 0) {
        lines[line] = entry;
    } else if (sectionEnd >= 0) {
        // After the section's last non-blank line.
        int at = sectionEnd;
        while (at > 0 && lines.at(at - 1).trimmed().isEmpty())
            --at;
        lines.insert(at, entry);
    } else {
        if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
            lines.append(QString());
        lines.append(QLatin1Char('[') + section + QLatin1Char(']'));
        lines.append(entry);
    }
    QString text = lines.join(m_crlf ? QStringLiteral("\r\n") : QStringLiteral("\n"));
    text += m_crlf ? QStringLiteral("\r\n") : QStringLiteral("\n");
    QByteArray bytes;
    if (m_encoding == Encoding::Gbk) {
        // Written as GBK or not at all: GB18030's four-byte forms would
        // make it a file of another encoding.
        const Result<QByteArray> encoded = encodeGbk(text);
        if (!encoded)
            return keepForRun(QStringLiteral("%1 is GBK, which cannot hold %2/%3=%4; left untouched, kept for this run")
                                  .arg(m_path, section, key, value));
        bytes = encoded.value();
    } else if (m_encoding == Encoding::Gb18030) {
        bool ok = false;
        bytes = iconvConvert(text.toUtf8(), "GB18030", "UTF-8", &ok);
        if (!ok)
            return keepForRun(QStringLiteral("%1: %2/%3 not encodable as GB18030").arg(m_path, section, key));
    } else {
        bytes = text.toUtf8();
        if (m_bom)
            bytes.prepend("\xEF\xBB\xBF");
    }
    QSaveFile f(m_path);
    if (!f.open(QIODevice::WriteOnly))
        return keepForRun(QStringLiteral("%1: %2").arg(m_path, f.errorString()));
    if (f.write(bytes) != bytes.size() || !f.commit())
        return keepForRun(QStringLiteral("%1: %2").arg(m_path, f.errorString()));
    m_lines = lines;
    m_runOnly.remove(runKey);
    return {};
}
