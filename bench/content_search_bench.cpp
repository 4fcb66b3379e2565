// Finding records by what their content says, at the size of a large office
// archive: 100,000 documents holding about 1 GB of text.
//
// Aims:
//   - first rows (find with limit 50) under 50 ms for every query
//   - 0 misses and 0 false hits against instr() over the stored text
//   - the index (wjsy and its index) at most 1.5 x the text
//   - indexing (indexBatch, extraction apart) at least 20 MB/s
//   - one OCR page (A4, 300 dpi) at most 10 s on one core
//
// The texts are Chinese prose: words drawn, Zipf-like, from a vocabulary of
// a few thousand words over about 600 common characters, with punctuation,
// English words and numbers between them. A rare pair of characters that
// no word holds is planted in a handful of documents, so its hit set is
// known. The archive is built once into the cache folder and reused.
//
//   content_search_bench [--cache DIR] [--docs N] [--runs N]
#include "archive/ContentIndexer.h"
#include "platform/ProgramHome.h"
#include "platform/TextExtractor.h"
#include "platform/TextTokens.h"
#include "store/ContentIndex.h"
#include "store/DataStore.h"
#include "BenchArchive.h"
#include "BenchSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <unistd.h>
#include <vector>

namespace {

using bench::Zipf;

// Common characters, roughly by frequency, and common words of two.
const char16_t kCommonChars[] =
    u"的一是在不了有和人这中大为上个国我以要他时来用们生到作地于出就分对成会可主发年动同工也能下过子说产种面而方后多"
    u"定行学法所民得经十三之进着等部度家电力里如水化高自二理起小物现实加量都两体制机当使点从业本去把性好应开它合还因由"
    u"其些然前外天政四日那社义事平形相全表间样与关各重新线内数正心反你明看原又么利比或但质气第向道命此变条只没结解问意"
    u"建月公无系军很情者最立代想已通并提直题党程展五果料象员革位入常文总次品式活设及管特件长求老头基资边流路级少图山统"
    u"接知较将组见计别她手角期根论运农指几九区强放决西被干做必战先回则任取据处府研信务技术服企市场报告通知议记录档案文"
    u"件材单门领导志划方标准安检查培训考核预算采购备维护客户销售价格成润投银税收保险医疗卫环境城村交输能源网络软硬脑机"
    u"股份限责任董经副科职工资福招聘勤销凭审督律规例执落推完善改优创革放作流究施验升级办室财";
const char16_t kCommonWords[] =
    u"工作问题发展社会企业市场政府管理技术服务系统建设文化教育工程项目合同办公财务报告通知会议记录档案资料文件材料单位"
    u"部门领导同志计划方案标准质量安全检查培训考核预算采购设备维护客户销售产品价格成本利润投资银行资金税收保险医疗卫生"
    u"环境保护城市农村交通运输能源电力网络信息数据软件硬件公司集团股份责任董事经理主任科长职工员工工资福利招聘考勤报销"
    u"凭证审计监督法律法规条例规定制度执行落实推进加强完善提高改进优化创新改革开放合作交流研究开发设计施工验收运行更新";

// The planted word: neither character is common, so no generated text
// holds the pair.
const QString kRareWord = QStringLiteral("鳏鲟");

struct Vocabulary {
    QStringList words;
    Zipf pick{1};
};

Vocabulary makeVocabulary(QRandomGenerator& g)
{
    QList<QChar> chars;
    for (const char16_t c : kCommonChars) {
        if (c != 0 && !chars.contains(QChar(c)))
            chars << QChar(c);
    }
    const Zipf charPick(int(chars.size()));
    Vocabulary v;
    // The most frequent: a few words of one character, then the common
    // words of two, then made-up words of one to four characters.
    v.words << QStringLiteral("的") << QStringLiteral("是") << QStringLiteral("在") << QStringLiteral("了")
            << QStringLiteral("和");
    const QString pairs = QString::fromUtf16(kCommonWords);
    for (qsizetype i = 0; i + 1 < pairs.size(); i += 2) {
        if (!v.words.contains(pairs.mid(i, 2)))
            v.words << pairs.mid(i, 2);
    }
    while (v.words.size() < 4000) {
        const int n = 1 + int(g.bounded(4));
        QString w;
        for (int i = 0; i < n; ++i)
            w += chars.at(charPick.pick(g));
        if (!v.words.contains(w))
            v.words << w;
    }
    v.pick = Zipf(int(v.words.size()));
    return v;
}

const QStringList kLatin{QStringLiteral("ISO9001"), QStringLiteral("PDF"),    QStringLiteral("contract"),
                         QStringLiteral("Office"),  QStringLiteral("report"), QStringLiteral("invoice"),
                         QStringLiteral("Excel"),   QStringLiteral("No.17")};

// About `bytes` bytes of UTF-8 prose, normalized.
QString makeText(QRandomGenerator& g, const Vocabulary& v, qint64 bytes, bool planted)
{
    static const QStringList punctuation{QStringLiteral("，"), QStringLiteral("。"), QStringLiteral("、"),
                                         QStringLiteral("；"), QStringLiteral("：")};
    QString t;
    t.reserve(qsizetype(bytes / 3 + 64));
    qint64 written = 0;
    qint64 plantAt = planted ? qint64(g.bounded(quint32(bytes))) : -1;
    int sentence = 0;
    while (written < bytes) {
        if (plantAt >= 0 && written >= plantAt) {
            t += kRareWord;
            written += 6;
            plantAt = -1;
        }
        const QString& w = v.words.at(v.pick.pick(g));
        t += w;
        written += 3 * w.size();
        const quint32 r = g.bounded(1000u);
        if (r < 30) {
            t += QLatin1Char(' ') + kLatin.at(int(g.bounded(qsizetype(kLatin.size())))) + QLatin1Char(' ');
            written += 8;
        } else if (r < 45) {
            t += QString::number(g.bounded(100000u));
            written += 4;
        }
        if (++sentence >= 6 + int(g.bounded(10u))) {
            sentence = 0;
            t += punctuation.at(int(g.bounded(qsizetype(punctuation.size()))));
            written += 3;
            if (g.bounded(8u) == 0) {
                t += QLatin1Char('\n');
                written += 1;
            }
        }
    }
    return TextTokens::normalize(t);
}

QString argument(const QStringList& args, const QString& name, const QString& fallback)
{
    const qsizetype at = args.indexOf(name);
    return at >= 0 && at + 1 < args.size() ? args.at(at + 1) : fallback;
}

double msSince(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

struct Built {
    double textMb = 0;
    double indexMbPerS = 0;
    QStringList queries;  // rare 2, common 2, 3, English, 6
};

// What the build measured and chose, kept beside the cached archive.
bool saveBuilt(const QString& file, const Built& b)
{
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QTextStream out(&f);
    out << b.textMb << '\n' << b.indexMbPerS << '\n';
    for (const QString& q : b.queries)
        out << q << '\n';
    return true;
}

std::optional<Built> loadBuilt(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    QTextStream in(&f);
    Built b;
    b.textMb = in.readLine().toDouble();
    b.indexMbPerS = in.readLine().toDouble();
    while (!in.atEnd())
        b.queries << in.readLine();
    if (b.queries.size() != 5)
        return std::nullopt;
    return b;
}

// Six Han characters in a row from the text, from about `from` on.
QString hanRun(const QString& text, qsizetype from, int n)
{
    for (qsizetype i = from; i + n <= text.size(); ++i) {
        bool all = true;
        for (int k = 0; k < n && all; ++k)
            all = text.at(i + k).unicode() >= 0x4E00 && text.at(i + k).unicode() <= 0x9FA5;
        if (all)
            return text.mid(i, n);
    }
    return {};
}

// The batches are those of the catch-up (ContentIndexer): at most its
// records or its text, whichever comes first.
std::optional<Built> build(const QString& folder, int docs)
{
    if (!bench::freshHome(folder, bench::kTop))
        return std::nullopt;
    DataStore store;
    if (!store.open(ProgramHome(folder).defaultDatabasePath()))
        return std::nullopt;
    QRandomGenerator g(20261210);
    const Vocabulary v = makeVocabulary(g);
    Built b;
    // The rare word in 7 documents spread over the archive.
    QSet<int> planted;
    for (int k = 0; k < 7; ++k)
        planted.insert(docs / 7 * k + docs / 20);
    const qint64 meanBytes = 1000LL * 1000 * 1000 / 100000;
    qint64 textBytes = 0;
    double indexSeconds = 0;
    QString sixFrom;
    int doc = 0;
    for (int batch = 0; doc < docs; ++batch) {
        QList<ContentIndex::Item> items;
        qint64 inBatch = 0;
        qsizetype units = 0;
        {
            Transaction tx(store);
            while (doc < docs && items.size() < ContentIndexer::batchRecordsAt(batch)
                   && units < ContentIndexer::BatchUnits) {
                if (!store.execute(QStringLiteral("insert into wj(bh,mc,fz) values (?,?,?)"),
                                   {QString::number(doc), QString::number(doc), bench::kTop}))
                    return std::nullopt;
                // From a quarter to 1.75 times the mean.
                const qint64 n = meanBytes / 4 + qint64(g.bounded(quint32(meanBytes * 3 / 2)));
                items.append({store.lastInsertId(), ContentIndex::Done, makeText(g, v, n, planted.contains(doc))});
                inBatch += items.last().normalizedText.toUtf8().size();
                units += items.last().normalizedText.size();
                if (doc == docs / 2 + 3)
                    sixFrom = items.last().normalizedText;
                ++doc;
            }
            if (!tx.commit())
                return std::nullopt;
        }
        textBytes += inBatch;
        QElapsedTimer t;
        t.start();
        const Result<int> written = ContentIndex::indexBatch(store, items);
        indexSeconds += double(t.nsecsElapsed()) / 1e9;
        if (!written) {
            bench::note("index_failed", written.detail().toUtf8());
            return std::nullopt;
        }
        std::fprintf(stderr, "built %d of %d documents, %.0f MB, %.1f s indexing\n", doc, docs,
                     double(textBytes) / (1 << 20), indexSeconds);
    }
    b.textMb = double(textBytes) / (1 << 20);
    b.indexMbPerS = b.textMb / indexSeconds;
    // The most used word of two characters, and one of three of middle rank.
    QString common2, three;
    for (const QString& w : v.words) {
        if (common2.isEmpty() && w.size() == 2)
            common2 = w;
    }
    for (qsizetype i = 300; i < v.words.size() && three.isEmpty(); ++i) {
        if (v.words.at(i).size() == 3)
            three = v.words.at(i);
    }
    b.queries = {kRareWord, common2, three, QStringLiteral("invoice"), hanRun(sixFrom, sixFrom.size() / 2, 6)};
    store.close();
    return b;
}

QList<qint64> reference(DataStore& store, const QString& q)
{
    QList<qint64> ids;
    RecordSet rs = store.query(QStringLiteral("select id from wjwb where instr(nr, ?) > 0 order by id"), {q});
    while (!rs.atEnd()) {
        ids << rs.number(0);
        rs.next();
    }
    return ids;
}

// The size of the content index beside the text: SQLite's dbstat.
qint64 indexBytes(DataStore& store, const QString& db)
{
    const Result<std::optional<QVariant>> read =
        store.scalar(QStringLiteral("select sum(pgsize) from dbstat where name like ?"), {QStringLiteral("wjsy%")});
    if (read && read->has_value())
        return (*read)->toLongLong();
    // The driver's SQLite without dbstat: the shell's.
    QProcess p;
    p.start(QStringLiteral("sqlite3"), {db, QStringLiteral("select sum(pgsize) from dbstat where name like 'wjsy%'")});
    if (!p.waitForFinished(600000))
        return -1;
    return p.readAllStandardOutput().trimmed().toLongLong();
}

QString pageText(int page)
{
    static const QStringList lines{
        QStringLiteral("关于加强档案管理工作的通知"),
        QStringLiteral("各部门、各单位：为进一步规范档案资料的收集、"),
        QStringLiteral("整理和保管，提高档案工作的质量，现将有关事项"),
        QStringLiteral("通知如下：一、各部门应当指定专人负责本部门"),
        QStringLiteral("文件材料的归档工作，按照年度和类别进行整理。"),
        QStringLiteral("二、合同、协议书和财务凭证应在办理完毕后三"),
        QStringLiteral("十日内移交档案室，不得自行保存或者销毁。三、"),
        QStringLiteral("电子文件应同时保存纸质版本，并在系统中登记"),
        QStringLiteral("编号、名称、保管期限和密级。四、借阅档案须经"),
        QStringLiteral("部门负责人批准，按期归还，不得转借他人。"),
    };
    QString t;
    for (int i = 0; i < 3; ++i) {
        for (const QString& l : lines)
            t += l + QLatin1Char('\n');
    }
    return QStringLiteral("第%1页\n").arg(page) + t;
}

// A PDF of `pages` A4 pages of Chinese text; the text drawn on the first.
bool writePdf(const QString& path, int pages)
{
    QPdfWriter w(path);
    w.setPageSize(QPageSize(QPageSize::A4));
    w.setResolution(300);
    QPainter p(&w);
    if (!p.isActive())
        return false;
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPointSize(12);
    p.setFont(font);
    for (int page = 1; page <= pages; ++page) {
        if (page > 1 && !w.newPage())
            return false;
        p.drawText(QRect(200, 200, 2080, 3100), Qt::TextWordWrap, pageText(page));
    }
    return p.end();
}

// One A4 page at 300 dpi, 12 pt Chinese text, as a scanner gives it.
bool writeScan(const QString& path)
{
    QImage img(2480, 3508, QImage::Format_Grayscale8);
    img.fill(Qt::white);
    {
        QPainter p(&img);
        QFont font(QStringLiteral("Noto Sans CJK SC"));
        font.setPixelSize(50);
        p.setFont(font);
        p.setPen(Qt::black);
        p.drawText(QRect(200, 200, 2080, 3100), Qt::TextWordWrap, pageText(1));
    }
    return img.save(path, "PNG");
}

}  // namespace

int main(int argc, char** argv)
{
    // One core for OCR: OpenMP reads its limit when it is loaded, before
    // main, so the program starts itself again with the limit set.
    if (qgetenv("OMP_THREAD_LIMIT") != "1") {
        qputenv("OMP_THREAD_LIMIT", "1");
        ::execv("/proc/self/exe", argv);
        std::perror("execv");
        return 1;
    }
    // The pages through the offscreen platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString cache = argument(args, QStringLiteral("--cache"), QStringLiteral("/tmp/korvane-bench-cache"));
    const int docs = argument(args, QStringLiteral("--docs"), QStringLiteral("100000")).toInt();
    const int runs = argument(args, QStringLiteral("--runs"), QStringLiteral("5")).toInt();
    const QString folder = QDir(cache).filePath(QStringLiteral("content-search-%1").arg(docs));
    const QString builtFile = QDir(cache).filePath(QStringLiteral("content-search-%1.txt").arg(docs));
    const QString dbPath = ProgramHome(folder).defaultDatabasePath();

    std::optional<Built> built = QFileInfo::exists(dbPath) ? loadBuilt(builtFile) : std::nullopt;
    if (!built) {
        QFile::remove(builtFile);
        if (!QDir().mkpath(cache))
            return 1;
        built = build(folder, docs);
        if (!built || !saveBuilt(builtFile, *built))
            return 1;
    } else {
        bench::note("archive", "from the cache");
    }
    bench::print("content_text_mb", built->textMb, 1);
    bench::print("content_index_mb_per_s", built->indexMbPerS, 1);

    DataStore store;
    if (!store.open(dbPath))
        return 1;
    const qint64 wjsy = indexBytes(store, dbPath);
    bench::print("content_index_size_ratio", double(wjsy) / (built->textMb * (1 << 20)), 2);

    const QStringList names{QStringLiteral("2rare"), QStringLiteral("2common"), QStringLiteral("3"),
                            QStringLiteral("en"), QStringLiteral("6")};
    const QString suffix = QStringLiteral("_%1k").arg(docs / 1000);
    qint64 misses = 0;
    qint64 falseHits = 0;
    for (int k = 0; k < names.size(); ++k) {
        const QString& q = built->queries.at(k);
        const QByteArray name = names.at(k).toUtf8();
        bench::note("content_search_query_" + name, q.toUtf8());
        std::vector<double> first, all, ref;
        QList<qint64> found, expected;
        bool failed = false;
        for (int run = 0; run < runs; ++run) {
            QElapsedTimer t;
            t.start();
            const Result<QList<qint64>> some = ContentIndex::find(store, q, RecordFilter::everything(), 50);
            first.push_back(msSince(t));
            t.start();
            const Result<QList<qint64>> every = ContentIndex::find(store, q, RecordFilter::everything(), 0);
            all.push_back(msSince(t));
            t.start();
            expected = reference(store, q);
            ref.push_back(msSince(t));
            if (!some || !every) {
                bench::note("find_failed", (some ? every.detail() : some.detail()).toUtf8());
                failed = true;
                break;
            }
            found = *every;
        }
        if (failed)
            return 1;
        const QByteArray base = "content_search_" + name;
        bench::print(base + suffix.toUtf8() + "_ms", bench::median(first), 2);
        bench::print(base + "_all" + suffix.toUtf8() + "_ms", bench::median(all), 2);
        bench::print("content_search_ref_" + name + suffix.toUtf8() + "_ms", bench::median(ref), 2);
        bench::print("content_search_hits_" + name, double(expected.size()), 0);
        const QSet<qint64> f(found.begin(), found.end());
        const QSet<qint64> e(expected.begin(), expected.end());
        misses += (e - f).size();
        falseHits += (f - e).size();
    }
    bench::print("content_search_misses", double(misses), 0);
    bench::print("content_search_false_hits", double(falseHits), 0);

    // Cold: the database's pages out of the page cache, a new connection.
    store.close();
    bench::settle();
    for (const QString& suffixFile : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")}) {
        if (QFileInfo::exists(dbPath + suffixFile) && !bench::dropFilePages(dbPath + suffixFile))
            bench::note("drop_failed", (dbPath + suffixFile).toUtf8());
    }
    if (!store.open(dbPath))
        return 1;
    {
        QElapsedTimer t;
        t.start();
        const Result<QList<qint64>> some =
            ContentIndex::find(store, built->queries.at(0), RecordFilter::everything(), 50);
        bench::print("content_search_2rare" + suffix.toUtf8() + "_cold_ms", some ? msSince(t) : -1, 2);
    }
    store.close();

    // Extraction: a PDF's text layer, and a scanned page through OCR.
    QTemporaryDir tmp;
    const int pages = 20;
    const QString pdf = tmp.filePath(QStringLiteral("pages.pdf"));
    if (writePdf(pdf, pages)) {
        std::vector<double> ms;
        qsizetype chars = 0;
        for (int run = 0; run < runs; ++run) {
            QElapsedTimer t;
            t.start();
            const Result<TextExtractor::Extracted> e =
                TextExtractor::extract(pdf, QStringLiteral("pdf"), TextExtractor::Limits{});
            ms.push_back(msSince(t) / pages);
            chars = e ? e->text.size() : -1;
        }
        bench::print("extract_pdf_page_ms", bench::median(ms), 2);
        bench::print("extract_pdf_chars_per_page", double(chars) / pages, 0);
    } else {
        bench::print("extract_pdf_page_ms", -1, 0);
    }
    const QString scan = tmp.filePath(QStringLiteral("scan.png"));
    if (TextExtractor::ocrAvailable() && writeScan(scan)) {
        TextExtractor::Limits limits;
        limits.ocr = true;
        QElapsedTimer t;
        t.start();
        const std::clock_t cpu = std::clock();
        const Result<TextExtractor::Extracted> e = TextExtractor::extract(scan, QStringLiteral("png"), limits);
        const double s = double(t.nsecsElapsed()) / 1e9;
        bench::print("extract_ocr_page_s", e ? s : -1, 2);
        // Equal to the wall time when OCR keeps to one core.
        bench::print("extract_ocr_page_cpu_s", double(std::clock() - cpu) / CLOCKS_PER_SEC, 2);
        if (e) {
            // How much of the page came back: its characters found in the text.
            const QString want = TextTokens::normalize(pageText(1));
            const QString got = TextTokens::normalize(e->text);
            int same = 0;
            for (qsizetype i = 0; i + 1 < want.size(); ++i)
                same += got.contains(want.mid(i, 2)) ? 1 : 0;
            bench::print("extract_ocr_pairs_found", double(same) / double(std::max<qsizetype>(1, want.size() - 1)), 2);
        }
    } else {
        bench::print("extract_ocr_page_s", -1, 0);
    }
    return 0;
}
