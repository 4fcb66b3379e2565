#include "platform/Config.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

#include <iconv.h>

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

}  // namespace

Config::Config(QString path) : m_path(std::move(path))
{
    reload();
}

QString Config::decode(const QByteArray& bytes, bool* wasGbk, bool* undecodable)
{
    if (wasGbk)
        *wasGbk = false;
    if (undecodable)
        *undecodable = false;
    QByteArray data = bytes;
    if (data.startsWith("\xEF\xBB\xBF"))
        data.remove(0, 3);
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(data);
    if (!utf8.hasError())
        return text;
    bool ok = false;
    QByteArray converted = iconvConvert(data, "UTF-8", "GB18030", &ok);
    if (ok) {
        if (wasGbk)
            *wasGbk = true;
        return QString::fromUtf8(converted);
    }
    if (undecodable)
        *undecodable = true;
    return QString::fromLatin1(data);
}

Result<QByteArray> Config::encodeGbk(const QString& text)
{
    bool ok = false;
    QByteArray bytes = iconvConvert(text.toUtf8(), "GB18030", "UTF-8", &ok);
    if (!ok)
        return Result<QByteArray>::fail(QString(), QStringLiteral("text not encodable as GB18030"));
    return bytes;
}

void Config::reload()
{
    m_lines.clear();
    m_gbk = false;
    m_crlf = false;
    m_bom = false;
    m_undecodable = false;
    QFile f(m_path);
    if (m_path.isEmpty() || !f.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = f.readAll();
    m_crlf = bytes.contains("\r\n");
    m_bom = bytes.startsWith("\xEF\xBB\xBF");
    QString text = decode(bytes, &m_gbk, &m_undecodable);
    if (m_undecodable) {
        // Nothing in it can be trusted: every key takes its default.
        return;
    }
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    m_lines = text.split(QLatin1Char('\n'));
    if (!m_lines.isEmpty() && m_lines.last().isEmpty())
        m_lines.removeLast();
}

int Config::findKeyLine(const QString& section, const QString& key, int* sectionEnd) const
{
    bool inSection = false;
    int found = -1;
    if (sectionEnd)
        *sectionEnd = -1;
    for (int i = 0; i < m_lines.size(); ++i) {
        const QString t = m_lines.at(i).trimmed();
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
        *sectionEnd = m_lines.size();
    return found;
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
    const QString& l = m_lines.at(line);
    return l.mid(l.indexOf(QLatin1Char('=')) + 1).trimmed();
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
    if (m_gbk) {
        bytes = encodeGbk(text).valueOr(text.toUtf8());
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
