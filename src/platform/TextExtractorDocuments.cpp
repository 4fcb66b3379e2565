// The readers of PDF (poppler), of zipped Office and OpenDocument files
// (libzip and QXmlStreamReader) and of pictures by OCR (tesseract).

#include "platform/TextExtractorReaders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QImageReader>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-global.h>
#include <poppler/cpp/poppler-image.h>
#include <poppler/cpp/poppler-page-renderer.h>
#include <poppler/cpp/poppler-page.h>
#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <zip.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <optional>
#include <utility>

namespace TextExtractor::Readers {

namespace {

// ---- OCR ------------------------------------------------------------------

// One tesseract engine per process, set up on first use (the Chinese data
// takes a moment to load).
tesseract::TessBaseAPI* ocrEngine()
{
    static std::unique_ptr<tesseract::TessBaseAPI> api;
    static bool tried = false;
    if (!tried) {
        tried = true;
        const QByteArray folder = QFile::encodeName(tessdataFolder());
        if (folder.isEmpty())
            return nullptr;
        auto a = std::make_unique<tesseract::TessBaseAPI>();
        if (a->Init(folder.constData(), "chi_sim+eng", tesseract::OEM_LSTM_ONLY) != 0)
            return nullptr;
        // Chinese text comes out with blanks between characters; the index
        // removes them. Keep the page's lines.
        if (!a->SetVariable("debug_file", "/dev/null"))
            return nullptr;
        api = std::move(a);
    }
    return api.get();
}

// One pass of the engine over a grey picture: the text and its mean
// confidence (0..100).
std::pair<QString, int> recognize(tesseract::TessBaseAPI* api, const QImage& gray, int dpi, TextSink& sink)
{
    api->SetImage(gray.constBits(), gray.width(), gray.height(), 1, int(gray.bytesPerLine()));
    api->SetSourceResolution(dpi);
    tesseract::ETEXT_DESC monitor;
    const qint64 left = sink.deadline().remainingTime();
    if (left >= 0)
        monitor.set_deadline_msecs(int(std::max<qint64>(1, std::min<qint64>(left, INT_MAX))));
    if (api->Recognize(&monitor) != 0) {
        api->Clear();
        return {QString(), 0};
    }
    std::unique_ptr<char[]> text(api->GetUTF8Text());
    const int confidence = api->MeanTextConf();
    api->Clear();
    return {text ? QString::fromUtf8(text.get()) : QString(), confidence};
}

// Reads the text of one picture; false when the time ran out during it.
bool ocrImage(const QImage& picture, int dpi, TextSink& sink)
{
    tesseract::TessBaseAPI* api = ocrEngine();
    if (!api)
        return true;
    QImage gray = picture.convertToFormat(QImage::Format_Grayscale8);
    // Very large scans gain nothing beyond about 300 dpi on A3.
    constexpr int kMaxSide = 7000;
    if (gray.width() > kMaxSide || gray.height() > kMaxSide) {
        const double f = double(kMaxSide) / std::max(gray.width(), gray.height());
        gray = gray.scaled(kMaxSide, kMaxSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        dpi = std::max(70, int(dpi * f));
    }
    auto [text, confidence] = recognize(api, gray, dpi, sink);
    // The engine reads lines of ordinary height; characters of a hundred
    // pixels and more (titles, photographed signs) come out as noise, and
    // read well at half the size.
    for (int pass = 0; pass < 2 && confidence < 60 && !sink.late() && std::min(gray.width(), gray.height()) >= 200;
         ++pass) {
        gray = gray.scaled(gray.width() / 2, gray.height() / 2, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        dpi = std::max(35, dpi / 2);
        auto [smaller, smallerConfidence] = recognize(api, gray, dpi, sink);
        if (smallerConfidence > confidence) {
            text = smaller;
            confidence = smallerConfidence;
        }
    }
    sink.add(text);
    return !sink.late();
}

// ---- PDF ------------------------------------------------------------------

void quietPoppler(const std::string&, void*) {}

QString fromUstring(const poppler::ustring& s)
{
    const poppler::byte_array utf8 = s.to_utf8();
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

// ---- zip ------------------------------------------------------------------

struct ZipCloser {
    void operator()(zip_t* z) const { zip_discard(z); }
};

enum class EntryRead { Ok, Missing, Encrypted, Broken, TooLarge };

// Reads an entry of a zip, counting its size against what may be unpacked in
// all; trusts neither the size the directory states nor the data's.
EntryRead readEntry(zip_t* z, zip_int64_t index, qint64& budget, QByteArray& out)
{
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(z, zip_uint64_t(index), 0, &st) != 0)
        return EntryRead::Broken;
    if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE)
        return EntryRead::Encrypted;
    if ((st.valid & ZIP_STAT_SIZE) && qint64(st.size) > budget)
        return EntryRead::TooLarge;
    zip_file_t* f = zip_fopen_index(z, zip_uint64_t(index), 0);
    if (!f)
        return EntryRead::Broken;
    out.clear();
    char buffer[65536];
    EntryRead result = EntryRead::Ok;
    for (;;) {
        const zip_int64_t n = zip_fread(f, buffer, sizeof buffer);
        if (n < 0) {
            result = EntryRead::Broken;
            break;
        }
        if (n == 0)
            break;
        if (n > budget) {
            result = EntryRead::TooLarge;
            break;
        }
        budget -= n;
        out.append(buffer, qsizetype(n));
    }
    zip_fclose(f);
    return result;
}

// Text runs of an Office Open XML or OpenDocument entry, in document order.
struct XmlRules {
    QStringList text;       // elements whose characters are text (local names)
    QStringList paragraph;  // elements ending a line
    QStringList cell;       // elements ending a cell (a tab)
    QStringList skipped;    // elements whose whole content is not text
};

void readXmlText(const QByteArray& xml, const XmlRules& rules, TextSink& sink, const QStringList* shared = nullptr)
{
    QXmlStreamReader r(xml);
    int inText = 0;
    int skipDepth = 0;
    // A cell that refers to the shared strings by number (t="s").
    bool sharedCell = false;
    bool inValue = false;
    QString run;
    int steps = 0;
    while (!r.atEnd() && !sink.full()) {
        const auto token = r.readNext();
        if (++steps % 4096 == 0 && sink.late())
            break;
        if (token == QXmlStreamReader::StartElement) {
            const QStringView name = r.name();
            if (skipDepth > 0 || rules.skipped.contains(name)) {
                ++skipDepth;
                continue;
            }
            if (rules.text.contains(name))
                ++inText;
            if (shared && name == u"c")
                sharedCell = r.attributes().value(QLatin1String("t")) == u"s";
            if (shared && name == u"v")
                inValue = true;
            if (name == u"tab")
                run.append(u'\t');
            else if (name == u"br" || name == u"cr" || name == u"line-break")
                run.append(u'\n');
            else if (name == u"s" && r.namespaceUri().contains(u"opendocument")) {
                const int c = std::clamp(r.attributes().value(QLatin1String("text:c")).toInt(), 1, 100);
                run.append(QString(c, u' '));
            }
        } else if (token == QXmlStreamReader::EndElement) {
            if (skipDepth > 0) {
                --skipDepth;
                continue;
            }
            const QStringView name = r.name();
            if (rules.text.contains(name))
                --inText;
            if (shared && name == u"v")
                inValue = false;
            if (rules.paragraph.contains(name))
                run.append(u'\n');
            else if (rules.cell.contains(name))
                run.append(u'\t');
        } else if (token == QXmlStreamReader::Characters && skipDepth == 0) {
            if (inValue && sharedCell) {
                bool ok = false;
                const int i = r.text().toInt(&ok);
                if (ok && i >= 0 && i < shared->size())
                    run.append(shared->at(i));
            } else if (inText > 0 || inValue) {
                run.append(r.text());
            }
        }
        if (run.size() > 65536) {
            sink.add(run);
            run.clear();
        }
    }
    sink.add(run);
}

// The shared strings of a workbook, one text per <si>, phonetic runs left out.
QStringList sharedStrings(const QByteArray& xml)
{
    QStringList out;
    QXmlStreamReader r(xml);
    QString current;
    bool inSi = false;
    int inT = 0;
    int phonetic = 0;
    while (!r.atEnd()) {
        const auto token = r.readNext();
        if (token == QXmlStreamReader::StartElement) {
            if (r.name() == u"si") {
                inSi = true;
                current.clear();
            } else if (r.name() == u"rPh") {
                ++phonetic;
            } else if (r.name() == u"t") {
                ++inT;
            }
        } else if (token == QXmlStreamReader::EndElement) {
            if (r.name() == u"si") {
                inSi = false;
                out.append(current);
            } else if (r.name() == u"rPh") {
                --phonetic;
            } else if (r.name() == u"t") {
                --inT;
            }
        } else if (token == QXmlStreamReader::Characters && inSi && inT > 0 && phonetic == 0) {
            current.append(r.text());
        }
    }
    return out;
}

}  // namespace

QString tessdataFolder()
{
    QStringList candidates;
    const QString prefix = qEnvironmentVariable("TESSDATA_PREFIX");
    if (!prefix.isEmpty())
        candidates << prefix << prefix + QStringLiteral("/tessdata");
    for (const QString& base :
         {QStringLiteral("/usr/share/tesseract-ocr"), QStringLiteral("/usr/local/share/tesseract-ocr")}) {
        const QStringList versions =
            QDir(base).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::Reversed);
        for (const QString& v : versions)
            candidates << base + QLatin1Char('/') + v + QStringLiteral("/tessdata");
    }
    candidates << QStringLiteral("/usr/share/tessdata") << QStringLiteral("/usr/local/share/tessdata");
    for (const QString& c : candidates) {
        if (QFileInfo::exists(c + QStringLiteral("/chi_sim.traineddata"))
            && QFileInfo::exists(c + QStringLiteral("/eng.traineddata")))
            return c;
    }
    return {};
}

Extracted readPicture(const QString& path, TextSink& sink)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QImage picture = reader.read();
    if (picture.isNull())
        return {ExtractStatus::Unreadable, {}, reader.errorString()};
    int dpi = int(picture.dotsPerMeterX() * 0.0254 + 0.5);
    if (dpi < 70 || dpi > 1200)
        dpi = 300;
    ocrImage(picture, dpi, sink);
    return sink.finish();
}

Extracted readPdf(const QString& path, const Limits& limits, TextSink& sink)
{
    poppler::set_debug_error_function(quietPoppler, nullptr);
    std::unique_ptr<poppler::document> doc(poppler::document::load_from_file(QFile::encodeName(path).toStdString()));
    if (!doc)
        return {ExtractStatus::Unreadable, {}, QStringLiteral("not a PDF poppler can open")};
    if (doc->is_locked())
        return {ExtractStatus::Encrypted, {}, QStringLiteral("the PDF needs a password")};
    const int pages = doc->pages();
    if (pages <= 0)
        return {ExtractStatus::Unreadable, {}, QStringLiteral("a PDF without pages")};
    const bool ocr = limits.ocr && !tessdataFolder().isEmpty();
    int recognized = 0;
    int withoutText = 0;
    for (int i = 0; i < pages && !sink.stop(); ++i) {
        std::unique_ptr<poppler::page> page(doc->create_page(i));
        if (!page)
            continue;
        const QString text = fromUstring(page->text(poppler::rectf(), poppler::page::non_raw_non_physical_layout));
        if (i > 0)
            sink.add(u'\n');
        if (!text.trimmed().isEmpty() || !ocr) {
            withoutText += text.trimmed().isEmpty();
            sink.add(text);
            continue;
        }
        // A page without a text layer (a scan): render it and read it.
        poppler::page_renderer renderer;
        renderer.set_render_hint(poppler::page_renderer::antialiasing, true);
        renderer.set_render_hint(poppler::page_renderer::text_antialiasing, true);
        renderer.set_image_format(poppler::image::format_gray8);
        // 300 dpi, less for pages so large the picture would pass 7000 pixels.
        const poppler::rectf box = page->page_rect();
        const double side = std::max({box.width(), box.height(), 1.0});
        const double dpi = std::clamp(7000.0 * 72.0 / side, 36.0, 300.0);
        const poppler::image img = renderer.render_page(page.get(), dpi, dpi);
        if (!img.is_valid())
            continue;
        const QImage view(reinterpret_cast<const uchar*>(img.const_data()), img.width(), img.height(),
                          img.bytes_per_row(), QImage::Format_Grayscale8);
        ++recognized;
        if (!ocrImage(view, int(dpi), sink))
            break;
    }
    Extracted e = sink.finish(recognized > 0 ? QStringLiteral("%1 pages read by OCR").arg(recognized) : QString());
    e.needsOcr = withoutText > 0 && !limits.ocr;
    return e;
}

Extracted readOffice(const QString& path, const QString& type, const Limits& limits, TextSink& sink)
{
    int error = 0;
    std::unique_ptr<zip_t, ZipCloser> z(zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error));
    if (!z) {
        zip_error_t e;
        zip_error_init_with_code(&e, error);
        const QString why = QString::fromLocal8Bit(zip_error_strerror(&e));
        zip_error_fini(&e);
        return {ExtractStatus::Unreadable, {}, QStringLiteral("not a zip: ") + why};
    }
    qint64 budget = limits.maxUnpackedBytes;
    QStringList names;
    const zip_int64_t count = zip_get_num_entries(z.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* n = zip_get_name(z.get(), zip_uint64_t(i), ZIP_FL_ENC_GUESS);
        if (n)
            names << QString::fromUtf8(n);
    }
    // The entries holding text, in reading order: numbered ones (sheet2
    // before sheet10) by their number.
    auto numbered = [&names](const QString& pattern) {
        const QRegularExpression re(pattern);
        QStringList found;
        for (const QString& n : names)
            if (re.match(n).hasMatch())
                found << n;
        static const QRegularExpression digits(QStringLiteral("\\d+"));
        auto key = [](const QString& n) {
            const auto m = digits.match(n);
            return std::make_pair(QString(n).remove(digits), m.hasMatch() ? m.captured().toLongLong() : -1);
        };
        std::sort(found.begin(), found.end(), [&key](const QString& a, const QString& b) { return key(a) < key(b); });
        return found;
    };
    XmlRules rules;
    QStringList entries;
    QStringList shared;
    bool sheet = false;
    if (type == u"docx" || type == u"docm" || type == u"dotx") {
        entries << QStringLiteral("word/document.xml") << numbered(QStringLiteral("^word/(header|footer)\\d*\\.xml$"))
                << QStringLiteral("word/footnotes.xml") << QStringLiteral("word/endnotes.xml");
        rules.text = {QStringLiteral("t")};
        rules.paragraph = {QStringLiteral("p")};
        rules.cell = {};
    } else if (type == u"pptx") {
        entries << numbered(QStringLiteral("^ppt/slides/slide\\d+\\.xml$"));
        rules.text = {QStringLiteral("t")};
        rules.paragraph = {QStringLiteral("p")};
    } else if (type == u"xlsx" || type == u"xlsm") {
        sheet = true;
        entries << numbered(QStringLiteral("^xl/worksheets/sheet\\d+\\.xml$"));
        rules.text = {QStringLiteral("t")};  // inline strings
        rules.paragraph = {QStringLiteral("row")};
        rules.cell = {QStringLiteral("c")};
        rules.skipped = {QStringLiteral("f"), QStringLiteral("rPh"), QStringLiteral("extLst")};
    } else {
        entries << QStringLiteral("content.xml");
        rules.text = {QStringLiteral("p"), QStringLiteral("h")};
        rules.paragraph = {QStringLiteral("p"), QStringLiteral("h"), QStringLiteral("table-row")};
        rules.cell = {QStringLiteral("table-cell")};
        rules.skipped = {QStringLiteral("annotation-end"), QStringLiteral("tracked-changes"),
                         QStringLiteral("note-citation")};
    }
    QByteArray xml;
    auto read = [&](const QString& name, bool required) -> std::optional<Extracted> {
        const zip_int64_t index = zip_name_locate(z.get(), name.toUtf8().constData(), 0);
        if (index < 0) {
            if (required)
                return Extracted{ExtractStatus::Unreadable, {}, QStringLiteral("no ") + name};
            xml.clear();
            return std::nullopt;
        }
        switch (readEntry(z.get(), index, budget, xml)) {
        case EntryRead::Ok:
        case EntryRead::Missing:
            return std::nullopt;
        case EntryRead::Encrypted:
            return Extracted{ExtractStatus::Encrypted, {}, name + QStringLiteral(" is encrypted")};
        case EntryRead::TooLarge:
            return Extracted{ExtractStatus::TooLarge, sink.text(), QStringLiteral("unpacks to more than the limit")};
        case EntryRead::Broken:
            return Extracted{ExtractStatus::Unreadable, {}, name + QStringLiteral(" is damaged")};
        }
        return std::nullopt;
    };
    if (entries.isEmpty())
        return {ExtractStatus::Unreadable, {}, QStringLiteral("no text entries in the package")};
    if (sheet && names.contains(QStringLiteral("xl/sharedStrings.xml"))) {
        if (auto stop = read(QStringLiteral("xl/sharedStrings.xml"), true))
            return *stop;
        shared = sharedStrings(xml);
    }
    for (qsizetype i = 0; i < entries.size() && !sink.stop(); ++i) {
        if (auto stop = read(entries[i], i == 0))
            return *stop;
        if (xml.isEmpty())
            continue;
        readXmlText(xml, rules, sink, sheet ? &shared : nullptr);
        sink.add(u'\n');
    }
    return sink.finish();
}

}
