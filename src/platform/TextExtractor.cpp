#include "platform/TextExtractor.h"

#include "platform/PrivateFolder.h"
#include "platform/TextExtractorReaders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QThread>

#include <fcntl.h>
#include <iconv.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>
#include <uchardet.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <exception>
#include <memory>
#include <new>

namespace TextExtractor {

using namespace Readers;

namespace {

const QStringList kPlainTypes = {"txt", "text", "csv", "tsv", "log", "md", "ini", "json", "xml"};
const QStringList kHtmlTypes = {"htm", "html", "xhtml"};
const QStringList kOfficeTypes = {"docx", "docm", "dotx", "xlsx", "xlsm", "pptx", "odt", "ods", "odp"};
const QStringList kPictureTypes = {"jpg", "jpeg", "png", "bmp", "gif", "tif", "tiff"};

// ---- plain text -----------------------------------------------------------

bool plausibleUnit(char16_t u)
{
    return (u >= 0x20 && u < 0x7F) || u == '\n' || u == '\r' || u == '\t' || (u >= 0x4E00 && u <= 0x9FFF)
        || (u >= 0x3000 && u <= 0x303F) || (u >= 0xFF00 && u <= 0xFFEF) || (u >= 0x2000 && u <= 0x206F);
}

// The share of units of the first few thousand that look like Chinese or
// ASCII text when the bytes are read as UTF-16.
double utf16Likeness(const QByteArray& bytes, bool bigEndian)
{
    const qsizetype n = std::min<qsizetype>(bytes.size() / 2, 4096);
    if (n == 0)
        return 0;
    int good = 0;
    const auto* b = reinterpret_cast<const uchar*>(bytes.constData());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = bigEndian ? char16_t(b[2 * i] << 8 | b[2 * i + 1]) : char16_t(b[2 * i + 1] << 8 | b[2 * i]);
        good += plausibleUnit(u);
    }
    return double(good) / double(n);
}

QString detectedCharset(const QByteArray& bytes)
{
    uchardet_t detector = uchardet_new();
    QString charset;
    const qsizetype n = std::min<qsizetype>(bytes.size(), 256 * 1024);
    if (uchardet_handle_data(detector, bytes.constData(), static_cast<size_t>(n)) == 0) {
        uchardet_data_end(detector);
        charset = QString::fromLatin1(uchardet_get_charset(detector)).toUpper();
    }
    uchardet_delete(detector);
    return charset;
}

Extracted readPlain(const QString& path, const QString& type, TextSink& sink, const Limits& limits);

// ---- HTML -----------------------------------------------------------------

QString metaCharset(const QByteArray& head)
{
    static const QRegularExpression re(QStringLiteral("<meta[^>]*charset\\s*=\\s*[\"']?\\s*([A-Za-z0-9_:.-]+)"),
                                       QRegularExpression::CaseInsensitiveOption);
    const auto m = re.match(QString::fromLatin1(head));
    return m.hasMatch() ? m.captured(1) : QString();
}

QString entity(QStringView name)
{
    static const QHash<QString, QString> named = {
        {"amp", "&"},   {"lt", "<"},     {"gt", ">"},     {"quot", "\""}, {"apos", "'"},   {"nbsp", " "},
        {"copy", "©"},  {"reg", "®"},    {"middot", "·"}, {"mdash", "—"}, {"ndash", "–"},  {"hellip", "…"},
        {"laquo", "«"}, {"raquo", "»"},  {"ldquo", "“"},  {"rdquo", "”"}, {"lsquo", "‘"},  {"rsquo", "’"},
        {"times", "×"}, {"divide", "÷"}, {"yen", "¥"},    {"deg", "°"},   {"plusmn", "±"}, {"emsp", " "},
        {"ensp", " "},  {"thinsp", " "}, {"bull", "•"},   {"trade", "™"}, {"euro", "€"},   {"shy", ""},
    };
    if (name.startsWith(u'#')) {
        bool ok = false;
        const uint cp = name.size() > 1 && (name[1] == u'x' || name[1] == u'X') ? name.sliced(2).toUInt(&ok, 16)
                                                                                : name.sliced(1).toUInt(&ok, 10);
        if (!ok || cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return QString();
        const char32_t c = cp;
        return QString::fromUcs4(&c, 1);
    }
    return named.value(name.toString());
}

void stripHtml(QStringView html, TextSink& sink)
{
    static const QStringList blocks = {"p",   "div",        "br",      "li",      "tr",     "h1",     "h2",    "h3",
                                       "h4",  "h5",         "h6",      "table",   "ul",     "ol",     "dd",    "dt",
                                       "pre", "blockquote", "section", "article", "header", "footer", "title", "hr"};
    static const QStringList skipped = {"script", "style", "noscript", "template", "svg"};
    qsizetype i = 0;
    const qsizetype n = html.size();
    QString run;
    auto flush = [&] {
        if (!run.isEmpty()) {
            sink.add(run);
            run.clear();
        }
    };
    while (i < n && !sink.stop()) {
        const QChar c = html[i];
        if (c == u'<') {
            if (html.sliced(i).startsWith(u"<!--")) {
                const qsizetype e = html.indexOf(u"-->", i + 4);
                i = e < 0 ? n : e + 3;
                continue;
            }
            qsizetype j = i + 1;
            const bool closing = j < n && html[j] == u'/';
            if (closing)
                ++j;
            const qsizetype nameStart = j;
            while (j < n && (html[j].isLetterOrNumber()))
                ++j;
            const QString name = html.sliced(nameStart, j - nameStart).toString().toLower();
            // Skip to the tag's end, past quoted attribute values.
            QChar quote;
            while (j < n) {
                const QChar d = html[j];
                if (!quote.isNull()) {
                    if (d == quote)
                        quote = QChar();
                } else if (d == u'"' || d == u'\'') {
                    quote = d;
                } else if (d == u'>') {
                    break;
                }
                ++j;
            }
            i = j + 1;
            if (name.isEmpty())
                continue;
            if (!closing && skipped.contains(name)) {
                const QString end = QStringLiteral("</") + name;
                const qsizetype e = html.indexOf(end, i, Qt::CaseInsensitive);
                i = e < 0 ? n : e;
                continue;
            }
            if (blocks.contains(name))
                run.append(u'\n');
            else if (name == u"td" || name == u"th")
                run.append(u'\t');
            continue;
        }
        if (c == u'&') {
            qsizetype j = i + 1;
            while (j < n && j - i < 12 && (html[j].isLetterOrNumber() || html[j] == u'#'))
                ++j;
            if (j < n && html[j] == u';') {
                const QString e = entity(html.sliced(i + 1, j - i - 1));
                if (!e.isNull() || html.sliced(i + 1, j - i - 1) == u"shy") {
                    run.append(e);
                    i = j + 1;
                    continue;
                }
            }
        }
        run.append(c);
        ++i;
        if (run.size() > 65536)
            flush();
    }
    flush();
}

Extracted readHtml(const QString& path, TextSink& sink, const Limits& limits)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {ExtractStatus::Unreadable, {}, f.errorString()};
    const qint64 cap = qint64(limits.maxTextChars) * 4;
    const QByteArray bytes = f.read(cap);
    const bool cut = f.size() > bytes.size();
    QString html;
    const QString declared = metaCharset(bytes.left(4096));
    if (!declared.isEmpty() && !bytes.startsWith("\xEF\xBB\xBF") && !bytes.startsWith("\xFF\xFE")
        && !bytes.startsWith("\xFE\xFF")) {
        QString enc = declared.toUpper();
        if (enc == u"GB2312" || enc == u"GBK" || enc == u"X-GBK")
            enc = QStringLiteral("GB18030");  // the superset, as browsers read them
        html = decode(bytes, enc.toLatin1().constData());
    } else {
        html = decodeGuessing(bytes);
    }
    stripHtml(html, sink);
    Extracted e = sink.finish();
    if (cut && e.status == ExtractStatus::Ok)
        e.status = ExtractStatus::TooLarge;
    return e;
}

// ---- RTF ------------------------------------------------------------------

QByteArray codePageName(int cp)
{
    switch (cp) {
    case 936:
    case 54936:
        return "GB18030";
    case 950:
        return "BIG5";
    case 932:
        return "CP932";
    case 949:
        return "CP949";
    case 65001:
        return "UTF-8";
    case 10000:
        return "MACINTOSH";
    default:
        return "CP" + QByteArray::number(cp);
    }
}

// The Windows code page of a font's \fcharset; 0 for "the document's".
int charsetCodePage(int charset)
{
    static const QHash<int, int> map = {{2, 1252},   {77, 10000}, {128, 932},  {129, 949},  {134, 936},
                                        {136, 950},  {161, 1253}, {162, 1254}, {163, 1258}, {177, 1255},
                                        {178, 1256}, {186, 1257}, {204, 1251}, {222, 874},  {238, 1250}};
    return map.value(charset, 0);
}

// A reader of RTF's own syntax: groups, control words and symbols, \uN with
// its \ucN fallback characters, \'hh bytes in the code page of the document
// (\ansicpg) or of the current font's \fcharset. Groups that hold no text
// (font table, style sheet, pictures, objects, field instructions, every
// \* destination) are passed over.
class RtfReader {
public:
    RtfReader(const QByteArray& d, TextSink& sink) : m_d(d), m_sink(sink) {}

    Extracted run()
    {
        if (!m_d.startsWith("{\\rtf"))
            return {ExtractStatus::Unreadable, {}, QStringLiteral("not RTF")};
        const qsizetype n = m_d.size();
        qsizetype i = 0;
        while (i < n && !m_sink.stop()) {
            const char c = m_d[i];
            if (c == '{') {
                flush();
                m_stack.push_back(m_st);
                m_skipChars = 0;
                ++i;
            } else if (c == '}') {
                flush();
                if (m_stack.empty())
                    break;
                m_st = m_stack.back();
                m_stack.pop_back();
                m_skipChars = 0;
                ++i;
            } else if (c == '\\') {
                i = control(i + 1);
            } else if (c == '\r' || c == '\n') {
                ++i;
            } else {
                byte(c);
                ++i;
            }
        }
        flush();
        return m_sink.finish();
    }

private:
    struct State {
        bool skip = false;
        bool fontTable = false;
        int uc = 1;
        int cp = 0;  // 0: the document's
    };

    void byte(char c)
    {
        if (m_skipChars > 0) {
            --m_skipChars;
            return;
        }
        if (!m_st.skip)
            m_pending.append(c);
    }
    void text(QStringView s)
    {
        flush();
        if (!m_st.skip)
            m_sink.add(s);
    }
    void flush()
    {
        if (m_pending.isEmpty())
            return;
        const int cp = m_st.cp ? m_st.cp : m_docCp;
        m_sink.add(decode(m_pending, codePageName(cp).constData()));
        m_pending.clear();
    }

    // Reads the control word or symbol after a backslash at `i`; returns the
    // index after it.
    qsizetype control(qsizetype i)
    {
        const qsizetype n = m_d.size();
        if (i >= n)
            return n;
        const char c = m_d[i];
        if (!std::isalpha(static_cast<unsigned char>(c))) {
            switch (c) {
            case '\'': {
                if (i + 2 < n) {
                    bool ok = false;
                    const int v = m_d.mid(i + 1, 2).toInt(&ok, 16);
                    if (ok)
                        byte(static_cast<char>(v));
                }
                return i + 3;
            }
            case '*':
                m_st.skip = true;
                return i + 1;
            case '\\':
            case '{':
            case '}':
                byte(c);
                return i + 1;
            case '~':
                symbol(u" ");
                return i + 1;
            case '_':
                symbol(u"-");
                return i + 1;
            case '\n':
            case '\r':
                symbol(u"\n");
                return i + 1;
            default:
                return i + 1;  // \- and the rest: nothing to read
            }
        }
        qsizetype j = i;
        while (j < n && std::isalpha(static_cast<unsigned char>(m_d[j])))
            ++j;
        const QByteArray word = m_d.mid(i, j - i);
        bool hasParam = false;
        int param = 0;
        qsizetype k = j;
        if (k < n && (m_d[k] == '-' || std::isdigit(static_cast<unsigned char>(m_d[k])))) {
            ++k;
            while (k < n && std::isdigit(static_cast<unsigned char>(m_d[k])) && k - j < 11)
                ++k;
            param = m_d.mid(j, k - j).toInt(&hasParam);
        }
        if (k < n && m_d[k] == ' ')
            ++k;
        if (word == "bin") {
            flush();
            return k + std::max(0, param);
        }
        if (word == "u" && hasParam) {
            if (m_skipChars > 0) {
                --m_skipChars;
                return k;
            }
            const char16_t unit = static_cast<char16_t>(param < 0 ? param + 65536 : param);
            text(QStringView(&unit, 1));
            m_skipChars = m_st.uc;
            return k;
        }
        if (m_skipChars > 0) {
            --m_skipChars;
            return k;
        }
        word_(word, hasParam, param);
        return k;
    }

    void symbol(QStringView s) { text(s); }

    void word_(const QByteArray& w, bool hasParam, int param)
    {
        static const QHash<QByteArray, int> skippedDestinations = [] {
            QHash<QByteArray, int> h;
            for (const char* d : {"colortbl",
                                  "stylesheet",
                                  "info",
                                  "pict",
                                  "objdata",
                                  "themedata",
                                  "colorschememapping",
                                  "datastore",
                                  "latentstyles",
                                  "listtable",
                                  "listoverridetable",
                                  "rsidtbl",
                                  "generator",
                                  "xmlnstbl",
                                  "fldinst",
                                  "filetbl",
                                  "revtbl",
                                  "pgdsctbl",
                                  "header",
                                  "footer",
                                  "headerl",
                                  "headerr",
                                  "headerf",
                                  "footerl",
                                  "footerr",
                                  "footerf",
                                  "private"})
                h.insert(d, 1);
            return h;
        }();
        if (m_st.fontTable) {
            if (w == "f" && hasParam)
                m_fontDef = param;
            else if (w == "fcharset" && hasParam && m_fontDef >= 0)
                m_fontCp.insert(m_fontDef, charsetCodePage(param));
            return;
        }
        if (w == "fonttbl") {
            flush();
            m_st.skip = true;
            m_st.fontTable = true;
            return;
        }
        if (skippedDestinations.contains(w)) {
            flush();
            m_st.skip = true;
            return;
        }
        if (w == "uc" && hasParam) {
            m_st.uc = std::max(0, param);
        } else if (w == "ansicpg" && hasParam) {
            flush();
            m_docCp = param;
        } else if (w == "f" && hasParam) {
            flush();
            m_st.cp = m_fontCp.value(param, 0);
        } else if (w == "par" || w == "line" || w == "sect" || w == "page" || w == "row") {
            symbol(u"\n");
        } else if (w == "tab" || w == "cell") {
            symbol(u"\t");
        } else if (w == "emdash") {
            symbol(u"—");
        } else if (w == "endash") {
            symbol(u"–");
        } else if (w == "bullet") {
            symbol(u"•");
        } else if (w == "lquote") {
            symbol(u"‘");
        } else if (w == "rquote") {
            symbol(u"’");
        } else if (w == "ldblquote") {
            symbol(u"“");
        } else if (w == "rdblquote") {
            symbol(u"”");
        } else if (w == "emspace" || w == "enspace" || w == "qmspace") {
            symbol(u" ");
        }
    }

    const QByteArray& m_d;
    TextSink& m_sink;
    State m_st;
    std::vector<State> m_stack;
    QByteArray m_pending;
    int m_docCp = 1252;
    int m_skipChars = 0;
    int m_fontDef = -1;
    QHash<int, int> m_fontCp;
};

Extracted readRtf(const QString& path, TextSink& sink, const Limits& limits)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {ExtractStatus::Unreadable, {}, f.errorString()};
    // RTF spends many bytes per character of text.
    const QByteArray bytes = f.read(qint64(limits.maxTextChars) * 8);
    return RtfReader(bytes, sink).run();
}

// ---- legacy Word and Excel through catdoc ---------------------------------

Result<Extracted> readLegacy(const QString& path, const QString& type, TextSink& sink, const Limits& limits)
{
    const bool sheet = type == u"xls";
    const QString tool = QStandardPaths::findExecutable(sheet ? QStringLiteral("xls2csv") : QStringLiteral("catdoc"));
    if (tool.isEmpty())
        return Result<Extracted>::fail(QStringLiteral("读取文件内容需要安装 catdoc"),
                                       QStringLiteral("catdoc/xls2csv not found on PATH"));
    QStringList args;
    if (sheet)
        args << QStringLiteral("-d") << QStringLiteral("utf-8") << QStringLiteral("-q") << QStringLiteral("0")
             << QStringLiteral("-c") << QStringLiteral("\t");
    else
        args << QStringLiteral("-d") << QStringLiteral("utf-8") << QStringLiteral("-w");
    args << QStringLiteral("--") << path;
    QProcess p;
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(tool, args, QIODevice::ReadOnly);
    if (!p.waitForStarted(10000))
        return Result<Extracted>::fail(QStringLiteral("读取文件内容需要安装 catdoc"), p.errorString());
    QByteArray out;
    const qint64 maxBytes = qint64(limits.maxTextChars) * 4;
    while (p.state() != QProcess::NotRunning && !sink.late() && out.size() <= maxBytes) {
        const qint64 left = sink.deadline().remainingTime();
        p.waitForReadyRead(left < 0 ? 1000 : int(std::clamp<qint64>(left, 1, 1000)));
        out += p.readAllStandardOutput();
    }
    if (p.state() != QProcess::NotRunning) {
        // Past the time or the size: what came so far is the text.
        p.kill();
        p.waitForFinished(5000);
        sink.add(QString::fromUtf8(out));
        Extracted e = sink.finish();
        if (e.status == ExtractStatus::Ok || e.status == ExtractStatus::Empty)
            e.status = out.size() > maxBytes ? ExtractStatus::TooLarge : ExtractStatus::TimedOut;
        return e;
    }
    out += p.readAllStandardOutput();
    const QString why = QString::fromLocal8Bit(p.readAllStandardError()).trimmed().left(500);
    // Both tools print a file that is no compound document as it is, or
    // nothing and a complaint on stderr with a success code.
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0 || why.contains(QLatin1String("OLE"))) {
        const bool encrypted = why.contains(QLatin1String("encrypt"), Qt::CaseInsensitive);
        return Extracted{encrypted ? ExtractStatus::Encrypted : ExtractStatus::Unreadable,
                         {},
                         QFileInfo(tool).fileName() + QStringLiteral(": ") + why};
    }
    sink.add(QString::fromUtf8(out));
    return sink.finish();
}

QByteArray head(const QString& path, int n)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.read(n);
}

Extracted readPlain(const QString& path, const QString&, TextSink& sink, const Limits& limits)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {ExtractStatus::Unreadable, {}, f.errorString()};
    const QByteArray bytes = f.read(qint64(limits.maxTextChars) * 3);
    const bool cut = f.size() > bytes.size();
    sink.add(decodeGuessing(bytes));
    Extracted e = sink.finish();
    if (cut && e.status == ExtractStatus::Ok)
        e.status = ExtractStatus::TooLarge;
    return e;
}

Result<Extracted> dispatch(const QString& path, const QString& type, const Limits& limits, TextSink& sink)
{
    if (!QFileInfo(path).isFile())
        return Extracted{ExtractStatus::Unreadable, {}, QStringLiteral("no such file")};
    if (kPlainTypes.contains(type))
        return readPlain(path, type, sink, limits);
    if (kHtmlTypes.contains(type))
        return readHtml(path, sink, limits);
    if (type == u"pdf")
        return readPdf(path, limits, sink);
    if (type == u"rtf")
        return readRtf(path, sink, limits);
    const QByteArray start = head(path, 8);
    if (kOfficeTypes.contains(type)) {
        // A password-protected Office document is a compound file holding
        // the encrypted package instead of a zip.
        if (start.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"))
            return Extracted{ExtractStatus::Encrypted, {}, QStringLiteral("encrypted Office package")};
        return readOffice(path, type, limits, sink);
    }
    if (type == u"doc" || type == u"dot" || type == u"xls") {
        // Word writes RTF and newer documents under the old name too.
        if (start.startsWith("{\\rtf"))
            return readRtf(path, sink, limits);
        if (start.startsWith("PK\x03\x04"))
            return readOffice(path, type == u"xls" ? QStringLiteral("xlsx") : QStringLiteral("docx"), limits, sink);
        // ... and web pages and XML ("save as web page", Word 2003 XML).
        if (start.startsWith('<') || start.startsWith("\xEF\xBB\xBF<"))
            return readHtml(path, sink, limits);
        return readLegacy(path, type, sink, limits);
    }
    if (kPictureTypes.contains(type)) {
        if (!limits.ocr)
            return Extracted{ExtractStatus::Unsupported, {}, QStringLiteral("a picture, OCR not asked for"), true};
        if (!ocrAvailable())
            return Result<Extracted>::fail(QStringLiteral("文字识别的语言数据没有安装"),
                                           QStringLiteral("tesseract chi_sim/eng data not found"));
        return readPicture(path, sink);
    }
    return Extracted{ExtractStatus::Unsupported, {}, QStringLiteral("type not read: ") + type};
}

}  // namespace

namespace Readers {

Extracted TextSink::finish(QString detail)
{
    Extracted e;
    e.text = std::move(m_text);
    e.detail = std::move(detail);
    if (m_full)
        e.status = ExtractStatus::TooLarge;
    else if (late())
        e.status = ExtractStatus::TimedOut;
    else if (e.text.trimmed().isEmpty())
        e.status = ExtractStatus::Empty;
    else
        e.status = ExtractStatus::Ok;
    return e;
}

QString decode(const QByteArray& bytes, const char* encoding)
{
    const QByteArray enc(encoding);
    if (enc == "UTF-8")
        return QString::fromUtf8(bytes);
    if (enc == "UTF-16LE" || enc == "UTF-16BE") {
        QStringDecoder d(enc == "UTF-16LE" ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
        return d.decode(bytes);
    }
    iconv_t cd = iconv_open("UTF-16LE", encoding);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return QString::fromLatin1(bytes);
    QString out;
    out.resize(bytes.size() + 16);
    char* src = const_cast<char*>(bytes.constData());
    size_t srcLeft = static_cast<size_t>(bytes.size());
    char* dstBegin = reinterpret_cast<char*>(out.data());
    char* dst = dstBegin;
    size_t dstLeft = static_cast<size_t>(out.size()) * 2;
    while (srcLeft > 0) {
        const size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        if (r != static_cast<size_t>(-1))
            break;
        if (errno == EILSEQ) {
            // One byte that does not decode: a replacement character for it.
            ++src;
            --srcLeft;
            if (dstLeft < 2)
                break;
            const char16_t repl = 0xFFFD;
            std::memcpy(dst, &repl, 2);
            dst += 2;
            dstLeft -= 2;
        } else if (errno == E2BIG) {
            const qsizetype used = dst - dstBegin;
            out.resize(out.size() * 2);
            dstBegin = reinterpret_cast<char*>(out.data());
            dst = dstBegin + used;
            dstLeft = static_cast<size_t>(out.size()) * 2 - static_cast<size_t>(used);
        } else {
            break;  // EINVAL: an incomplete sequence at the end
        }
    }
    iconv_close(cd);
    out.resize((dst - dstBegin) / 2);
    return out;
}

QString decodeGuessing(const QByteArray& bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.sliced(3));
    if (bytes.startsWith("\xFF\xFE"))
        return decode(bytes.sliced(2), "UTF-16LE");
    if (bytes.startsWith("\xFE\xFF"))
        return decode(bytes.sliced(2), "UTF-16BE");
    const double le = utf16Likeness(bytes, false);
    const double be = utf16Likeness(bytes, true);
    const bool even = bytes.size() % 2 == 0;
    // ASCII in UTF-16 is valid UTF-8 too, with a zero byte every second one.
    const qsizetype sample = std::min<qsizetype>(bytes.size(), 8192);
    if (even && std::max(le, be) >= 0.9 && QByteArrayView(bytes).first(sample).count('\0') * 4 > sample)
        return decode(bytes, le >= be ? "UTF-16LE" : "UTF-16BE");
    {
        QStringDecoder utf8(QStringDecoder::Utf8);
        QString s = utf8.decode(bytes);
        // A cut at the end of the bytes may split the last character; that
        // alone does not make them something else than UTF-8.
        if (!utf8.hasError())
            return s;
    }
    if (even && std::max(le, be) >= 0.9)
        return decode(bytes, le >= be ? "UTF-16LE" : "UTF-16BE");
    const QString charset = detectedCharset(bytes);
    static const QStringList eastAsian = {"GB18030",     "GBK",      "GB2312",    "HZ-GB-2312", "BIG5",
                                          "EUC-TW",      "EUC-JP",   "SHIFT_JIS", "EUC-KR",     "UHC",
                                          "ISO-2022-JP", "UTF-16LE", "UTF-16BE"};
    if (charset == u"GB2312" || charset == u"GBK")
        return decode(bytes, "GB18030");
    if (eastAsian.contains(charset))
        return decode(bytes, charset.toLatin1().constData());
    // An archive of Chinese offices: bytes valid as GB18030 are read so
    // rather than as a Western single-byte page uchardet may name.
    {
        iconv_t cd = iconv_open("UTF-8", "GB18030");
        if (cd != reinterpret_cast<iconv_t>(-1)) {
            QByteArray out(bytes.size() * 2 + 16, Qt::Uninitialized);
            char* src = const_cast<char*>(bytes.constData());
            size_t srcLeft = static_cast<size_t>(bytes.size());
            char* dst = out.data();
            size_t dstLeft = static_cast<size_t>(out.size());
            const size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
            const bool valid = r != static_cast<size_t>(-1) || errno == EINVAL;
            iconv_close(cd);
            if (valid) {
                out.resize(out.size() - qsizetype(dstLeft));
                return QString::fromUtf8(out);
            }
        }
    }
    if (!charset.isEmpty())
        return decode(bytes, charset.toLatin1().constData());
    return QString::fromLatin1(bytes);
}

}  // namespace Readers

bool supports(const QString& type, bool ocr)
{
    const QString t = type.toLower();
    return kPlainTypes.contains(t) || kHtmlTypes.contains(t) || kOfficeTypes.contains(t) || t == u"pdf" || t == u"rtf"
        || t == u"doc" || t == u"dot" || t == u"xls" || (ocr && kPictureTypes.contains(t));
}

Result<Extracted> extract(const QString& path, const QString& type, const Limits& limits)
{
    const QString t = (type.isEmpty() ? QFileInfo(path).suffix() : type).toLower();
    TextSink sink(limits.maxTextChars, QDeadlineTimer(limits.timeLimitMs));
    try {
        return dispatch(path, t, limits, sink);
    } catch (const std::bad_alloc&) {
        return Extracted{ExtractStatus::TooLarge, {}, QStringLiteral("out of memory while reading")};
    } catch (const std::exception& e) {
        return Extracted{ExtractStatus::Unreadable, {}, QString::fromLocal8Bit(e.what())};
    }
}

QString statusName(ExtractStatus status)
{
    switch (status) {
    case ExtractStatus::Ok:
        return QStringLiteral("ok");
    case ExtractStatus::Empty:
        return QStringLiteral("empty");
    case ExtractStatus::Unreadable:
        return QStringLiteral("unreadable");
    case ExtractStatus::Encrypted:
        return QStringLiteral("encrypted");
    case ExtractStatus::TooLarge:
        return QStringLiteral("toolarge");
    case ExtractStatus::TimedOut:
        return QStringLiteral("timedout");
    case ExtractStatus::Unsupported:
        return QStringLiteral("unsupported");
    }
    return QStringLiteral("unreadable");
}

namespace {

std::optional<ExtractStatus> statusFromName(QByteArrayView name)
{
    for (ExtractStatus s :
         {ExtractStatus::Ok, ExtractStatus::Empty, ExtractStatus::Unreadable, ExtractStatus::Encrypted,
          ExtractStatus::TooLarge, ExtractStatus::TimedOut, ExtractStatus::Unsupported}) {
        if (name == statusName(s).toLatin1())
            return s;
    }
    return std::nullopt;
}

// The conversation with korvane-extract --serve, one file at a time:
//   request  "KVXQ <type or -> <max text> <time limit ms> <max unpacked>
//             <ocr 0/1> <stall ms> <path bytes>\n<path in UTF-8>"
//   answer   "KVX1 <status> <needs OCR 0/1> <detail bytes> <text bytes>\n
//            <detail><text>" (UTF-8), or "KVX1 fail 0 <message bytes>
//            <detail bytes>\n..."
//            when the system, not the file, kept the work from being done.
constexpr QByteArrayView kAnswer = "KVX1";
constexpr QByteArrayView kRequest = "KVXQ";

QByteArray answerBytes(const Result<Extracted>& r)
{
    const QByteArray first = (r ? r->detail : r.message()).toUtf8();
    const QByteArray second = (r ? r->text : r.detail()).toUtf8();
    const QByteArray status = r ? statusName(r->status).toLatin1() : QByteArray("fail");
    const char* needsOcr = r && r->needsOcr ? " 1 " : " 0 ";
    return kAnswer.toByteArray() + ' ' + status + needsOcr + QByteArray::number(first.size()) + ' '
        + QByteArray::number(second.size()) + '\n' + first + second;
}

// Takes one whole answer off the front of `buffer`; nothing while it is
// still coming. `bad` is set when the bytes are no answer at all.
std::optional<Result<Extracted>> takeAnswer(QByteArray& buffer, bool* bad)
{
    const qsizetype eol = buffer.indexOf('\n');
    if (eol < 0) {
        *bad = buffer.size() > 256;
        return std::nullopt;
    }
    const QList<QByteArray> fields = buffer.left(eol).split(' ');
    bool ok = fields.size() == 5 && fields[0] == kAnswer;
    const qsizetype a = ok ? fields[3].toLongLong(&ok) : 0;
    const qsizetype b = ok ? fields[4].toLongLong(&ok) : 0;
    const std::optional<ExtractStatus> status = ok ? statusFromName(fields[1]) : std::nullopt;
    if (!ok || a < 0 || b < 0 || (!status && fields[1] != "fail")) {
        *bad = true;
        return std::nullopt;
    }
    if (buffer.size() - eol - 1 < a + b)
        return std::nullopt;
    const QString first = QString::fromUtf8(buffer.mid(eol + 1, a));
    const QString second = QString::fromUtf8(buffer.mid(eol + 1 + a, b));
    buffer.remove(0, eol + 1 + a + b);
    if (!status)
        return Result<Extracted>::fail(first, second);
    return Result<Extracted>(Extracted{*status, second, first, fields[2] == "1"});
}

bool readExactly(FILE* in, QByteArray& out, qsizetype n)
{
    out.resize(n);
    return n == 0 || std::fread(out.data(), 1, size_t(n), in) == size_t(n);
}

QByteArray readLine(FILE* in)
{
    QByteArray line;
    for (int c = std::fgetc(in); c != EOF; c = std::fgetc(in)) {
        if (c == '\n')
            return line;
        line.append(char(c));
        if (line.size() > 4096)
            break;
    }
    return {};
}

Result<Extracted> extractAfterStall(const QString& path, const QString& type, const Limits& limits)
{
    if (limits.stallMs > 0)
        QThread::msleep(static_cast<unsigned long>(limits.stallMs));
    return extract(path, type, limits);
}

int serve(QFile& out)
{
    for (;;) {
        const QByteArray line = readLine(stdin);
        if (line.isEmpty())
            return 0;  // the caller is done
        const QList<QByteArray> f = line.split(' ');
        if (f.size() != 8 || f[0] != kRequest)
            return 4;
        Limits limits;
        const QString type = f[1] == "-" ? QString() : QString::fromUtf8(f[1]);
        limits.maxTextChars = f[2].toLongLong();
        limits.timeLimitMs = f[3].toInt();
        limits.maxUnpackedBytes = f[4].toLongLong();
        limits.ocr = f[5] == "1";
        limits.stallMs = f[6].toInt();
        QByteArray path;
        if (!readExactly(stdin, path, f[7].toLongLong()))
            return 4;
        const QByteArray answer = answerBytes(extractAfterStall(QString::fromUtf8(path), type, limits));
        if (out.write(answer) != answer.size() || !out.flush())
            return 3;
    }
}

}  // namespace

int childMain(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    QFile out;
    if (!out.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered))
        return 2;
    if (args.contains(QStringLiteral("--serve")))
        return serve(out);
    // One file named on the command line, for a person trying a file.
    Limits limits;
    QString type;
    QString path;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args.at(i);
        const QString next = i + 1 < args.size() ? args.at(i + 1) : QString();
        if (a == u"--type") {
            type = next;
            ++i;
        } else if (a == u"--max-text") {
            limits.maxTextChars = next.toLongLong();
            ++i;
        } else if (a == u"--time-limit") {
            limits.timeLimitMs = next.toInt();
            ++i;
        } else if (a == u"--ocr") {
            limits.ocr = true;
        } else if (a == u"--") {
            if (i + 1 < args.size())
                path = args.at(i + 1);
            break;
        } else {
            path = a;
        }
    }
    if (path.isEmpty()) {
        qWarning("usage: korvane-extract [--type T] [--max-text N] [--time-limit MS] [--ocr] [--] PATH\n"
                 "       korvane-extract --serve   (requests on stdin, answers on stdout)");
        return 2;
    }
    const QByteArray answer = answerBytes(extract(path, type, limits));
    return out.write(answer) == answer.size() ? 0 : 3;
}

// ---- the caller's side ----------------------------------------------------

struct ExtractSession::Child {
    QProcess process;
    std::optional<QTemporaryDir> made;
    qint64 pid = 0;
    int files = 0;
    QByteArray buffer;

    ~Child()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.closeWriteChannel();  // end of requests: the child leaves
        if (!process.waitForFinished(2000))
            killAll();
    }
    void killAll()
    {
        ::kill(-static_cast<pid_t>(pid), SIGKILL);
        process.kill();
        process.waitForFinished(5000);
    }
};

ExtractSession::ExtractSession() = default;
ExtractSession::~ExtractSession() = default;

Status ExtractSession::start(const Limits& limits)
{
    QString program = qEnvironmentVariable("KORVANE_EXTRACT");
    if (program.isEmpty())
        program = QCoreApplication::applicationDirPath() + QStringLiteral("/korvane-extract");
    if (!QFileInfo(program).isExecutable())
        return Status::fail(QStringLiteral("找不到读取文件内容的程序"), QStringLiteral("not executable: ") + program);

    auto child = std::make_unique<Child>();
    // The child works in a private folder of its own: its working folder,
    // home and temporary folder, so whatever a library caches lands there.
    QString folder = limits.tempFolder;
    if (folder.isEmpty()) {
        child->made.emplace(QDir::tempPath() + QStringLiteral("/korvane-extract-XXXXXX"));
        if (!child->made->isValid())
            return Status::fail(QStringLiteral("无法建立临时文件夹"), child->made->errorString());
        folder = child->made->path();
    }
    if (Status s = PrivateFolder::ensure(folder); !s)
        return Status::fail(QStringLiteral("无法建立临时文件夹"), s.detail());

    QProcess& p = child->process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), folder);
    env.insert(QStringLiteral("TMPDIR"), folder);
    env.insert(QStringLiteral("XDG_CACHE_HOME"), folder);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), folder);
    // tesseract's OpenMP threads only spin on a busy machine.
    env.insert(QStringLiteral("OMP_THREAD_LIMIT"), QStringLiteral("1"));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(folder);
    p.setStandardErrorFile(QProcess::nullDevice());
    const rlim_t memory = static_cast<rlim_t>(limits.memoryBytes);
    p.setChildProcessModifier([memory] {
        // A group of its own, so a kill reaches what it starts (catdoc);
        // bounded address space; no core file; none of the caller's open
        // files (the database) reachable from the reader.
        setpgid(0, 0);
        if (close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
            for (int fd = 3; fd < 4096; ++fd) {
                const int flags = fcntl(fd, F_GETFD);
                if (flags >= 0)
                    fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
            }
        }
        struct rlimit as {
            memory, memory
        };
        setrlimit(RLIMIT_AS, &as);
        struct rlimit core {
            0, 0
        };
        setrlimit(RLIMIT_CORE, &core);
    });
    p.start(program, {QStringLiteral("--serve")});
    if (!p.waitForStarted(10000))
        return Status::fail(QStringLiteral("无法启动读取文件内容的程序"), p.errorString());
    child->pid = p.processId();
    m_child = std::move(child);
    return {};
}

Result<Extracted> ExtractSession::read(const QString& path, const QString& type, const Limits& limits)
{
    // A fresh process now and then, so that whatever the readers keep
    // does not pile up over a long run.
    constexpr int kFilesPerChild = 500;
    if (m_child && (m_child->process.state() != QProcess::Running || m_child->files >= kFilesPerChild))
        m_child.reset();
    if (!m_child) {
        if (Status s = start(limits); !s)
            return Result<Extracted>(s.failure());
    }
    Child& c = *m_child;
    ++c.files;
    const QByteArray p = QFileInfo(path).absoluteFilePath().toUtf8();
    const QByteArray t = (type.isEmpty() ? QFileInfo(path).suffix() : type).toLower().toUtf8();
    const QByteArray request = kRequest.toByteArray() + ' ' + (t.isEmpty() || t.contains(' ') ? "-" : t) + ' '
        + QByteArray::number(limits.maxTextChars) + ' ' + QByteArray::number(limits.timeLimitMs) + ' '
        + QByteArray::number(limits.maxUnpackedBytes) + ' ' + (limits.ocr ? "1" : "0") + ' '
        + QByteArray::number(limits.stallMs) + ' ' + QByteArray::number(p.size()) + '\n' + p;
    c.buffer.clear();
    if (c.process.write(request) != request.size()) {
        m_child.reset();
        return Extracted{ExtractStatus::Unreadable, {}, QStringLiteral("the reader took no request")};
    }
    // The child stops itself at the limit; a little more for handing over
    // what it found.
    const QDeadlineTimer deadline(limits.timeLimitMs + std::clamp(limits.timeLimitMs / 10, 1000, 5000));
    for (;;) {
        bool bad = false;
        if (auto answer = takeAnswer(c.buffer, &bad))
            return std::move(*answer);
        if (bad) {
            m_child.reset();
            return Extracted{ExtractStatus::Unreadable, {}, QStringLiteral("no answer from the reader")};
        }
        if (c.process.state() != QProcess::Running) {
            c.buffer += c.process.readAllStandardOutput();
            if (auto answer = takeAnswer(c.buffer, &bad))
                return std::move(*answer);
            const QString how = c.process.exitStatus() == QProcess::CrashExit
                ? QStringLiteral("the reader crashed")
                : QStringLiteral("the reader ended (%1)").arg(c.process.exitCode());
            c.killAll();  // what it started, if anything
            m_child.reset();
            return Extracted{ExtractStatus::Unreadable, {}, how};
        }
        if (deadline.hasExpired()) {
            c.killAll();
            m_child.reset();
            return Extracted{ExtractStatus::TimedOut, {}, QStringLiteral("killed after the time limit")};
        }
        if (limits.cancelled && limits.cancelled()) {
            c.killAll();
            m_child.reset();
            return Result<Extracted>::cancel();
        }
        c.process.waitForReadyRead(int(std::clamp<qint64>(deadline.remainingTime(), 1, 1000)));
        c.buffer += c.process.readAllStandardOutput();
    }
}

Result<Extracted> runInChild(const QString& path, const QString& type, const Limits& limits)
{
    ExtractSession session;
    return session.read(path, type, limits);
}

bool ocrAvailable()
{
    return !tessdataFolder().isEmpty();
}

}
