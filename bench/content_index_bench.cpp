// The content index over generated Chinese texts: how fast the catch-up
// writes texts and their tokens (indexBatch), how large the index is beside
// the text, and how long a search takes.
//
// The texts are words of one to four characters drawn, Zipf-like, from a
// vocabulary built from the 3,500 most used characters (also Zipf-like),
// with punctuation, numbers and a few English words between them: closer to
// real documents than uniform random characters, whose pairs never repeat.
//
//   content_index_bench [--records N] [--chars N] [--batch N] [--folder DIR]
//
// The batches are those of the catch-up (ContentIndexer): at most --batch
// records (its number unless given) or its text, whichever comes first.
#include "archive/ContentIndexer.h"
#include "platform/TextTokens.h"
#include "store/ContentIndex.h"
#include "store/DataStore.h"
#include "platform/ProgramHome.h"
#include "BenchArchive.h"
#include "BenchSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>

#include <cmath>
#include <vector>

namespace {

using bench::Zipf;

struct Corpus {
    QStringList words;
    Zipf wordPick{1};
};

Corpus makeVocabulary(QRandomGenerator& g)
{
    QList<char32_t> chars;
    while (chars.size() < 3500) {
        const char32_t c = 0x4E00 + char32_t(g.bounded(0x9FA5 - 0x4E00));
        if (!chars.contains(c))
            chars << c;
    }
    const Zipf charPick(int(chars.size()));
    Corpus corpus;
    while (corpus.words.size() < 20000) {
        const int n = 1 + int(g.bounded(4));
        QString w;
        for (int i = 0; i < n; ++i) {
            const char32_t c = chars.at(charPick.pick(g));
            w += QString::fromUcs4(&c, 1);
        }
        corpus.words << w;
    }
    corpus.wordPick = Zipf(int(corpus.words.size()));
    return corpus;
}

QString makeText(QRandomGenerator& g, const Corpus& corpus, int chars)
{
    static const QStringList punctuation{QStringLiteral("，"), QStringLiteral("。"), QStringLiteral("、"),
                                         QStringLiteral("；"), QStringLiteral("\n")};
    static const QStringList latin{QStringLiteral("ISO9001"), QStringLiteral("PDF"),  QStringLiteral("contract"),
                                   QStringLiteral("Office"),  QStringLiteral("2026"), QStringLiteral("No.17")};
    QString t;
    t.reserve(chars + 32);
    while (t.size() < chars) {
        t += corpus.words.at(corpus.wordPick.pick(g));
        const quint32 r = g.bounded(100);
        if (r < 12)
            t += punctuation.at(int(g.bounded(qsizetype(punctuation.size()))));
        else if (r < 14)
            t += QLatin1Char(' ') + latin.at(int(g.bounded(qsizetype(latin.size())))) + QLatin1Char(' ');
        else if (r < 15)
            t += QString::number(g.bounded(100000));
    }
    return TextTokens::normalize(t);
}

QString argument(const QStringList& args, const QString& name, const QString& fallback)
{
    const qsizetype at = args.indexOf(name);
    return at >= 0 && at + 1 < args.size() ? args.at(at + 1) : fallback;
}

// The bytes of each table and index of the database (SQLite's dbstat).
qint64 tableBytes(const QString& db, const QString& name)
{
    QProcess p;
    p.start(QStringLiteral("sqlite3"),
            {db, QStringLiteral("select sum(pgsize) from dbstat where name='%1'").arg(name)});
    if (!p.waitForFinished(600000))
        return -1;
    return p.readAllStandardOutput().trimmed().toLongLong();
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int records = argument(args, QStringLiteral("--records"), QStringLiteral("10000")).toInt();
    const int chars = argument(args, QStringLiteral("--chars"), QStringLiteral("2000")).toInt();
    const int batchSize =
        argument(args, QStringLiteral("--batch"), QString::number(ContentIndexer::BatchRecords)).toInt();
    const QString folder =
        argument(args, QStringLiteral("--folder"), QDir::temp().filePath(QStringLiteral("content_index_bench")));
    if (!bench::freshHome(folder, bench::kTop))
        return 1;
    const QString dbPath = ProgramHome(folder).defaultDatabasePath();
    DataStore store;
    if (!store.open(dbPath))
        return 1;

    QRandomGenerator g(42);
    const Corpus corpus = makeVocabulary(g);
    QList<ContentIndex::Item> items;
    qint64 textBytes = 0;
    {
        Transaction tx(store);
        for (int i = 0; i < records; ++i) {
            if (!store.execute(QStringLiteral("insert into wj(bh,mc,fz) values (?,?,?)"),
                               {QString::number(i), QString::number(i), bench::kTop}))
                return 1;
            // Lengths from a quarter to twice the mean.
            const int n = chars / 4 + int(g.bounded(quint32(chars * 7 / 4)));
            items.append({store.lastInsertId(), ContentIndex::Done, makeText(g, corpus, n)});
            textBytes += items.last().normalizedText.toUtf8().size();
        }
        if (!tx.commit())
            return 1;
    }
    const double mb = double(textBytes) / (1 << 20);
    bench::print("text_mb", mb, 1);

    QElapsedTimer t;
    t.start();
    qint64 tokenCount = 0;
    for (const ContentIndex::Item& item : std::as_const(items))
        tokenCount += TextTokens::tokens(item.normalizedText).size();
    const double tokenSeconds = double(t.nsecsElapsed()) / 1e9;
    bench::print("tokens_per_record", double(tokenCount) / records, 0);
    bench::print("tokenize_mb_per_s", mb / tokenSeconds, 1);

    t.start();
    for (qsizetype at = 0, batch = 0; at < items.size(); ++batch) {
        qsizetype end = at;
        qsizetype units = 0;
        const int most = ContentIndexer::batchRecordsAt(int(batch), batchSize);
        while (end < items.size() && end - at < most && units < ContentIndexer::BatchUnits)
            units += items.at(end++).normalizedText.size();
        const Result<int> written = ContentIndex::indexBatch(store, items.mid(at, end - at));
        at = end;
        if (!written) {
            bench::note("failed", written.detail().toUtf8());
            return 1;
        }
    }
    const double indexSeconds = double(t.nsecsElapsed()) / 1e9;
    bench::print("index_batch_mb_per_s", mb / indexSeconds, 1);
    bench::print("index_batch_s", indexSeconds, 2);

    const QStringList queries{QStringLiteral("合同"),
                              items.at(17).normalizedText.mid(40, 1),
                              items.at(5).normalizedText.mid(100, 2),
                              items.at(99).normalizedText.mid(200, 4),
                              items.at(500).normalizedText.mid(300, 8),
                              QStringLiteral("contract"),
                              QStringLiteral("ontrac")};
    for (const QString& q : queries) {
        std::vector<double> ms;
        int hits = 0;
        for (int run = 0; run < 5; ++run) {
            QElapsedTimer f;
            f.start();
            const Result<QList<qint64>> found = ContentIndex::find(store, q, RecordFilter::everything(), 0);
            ms.push_back(double(f.nsecsElapsed()) / 1e6);
            hits = found ? int(found->size()) : -1;
        }
        bench::note("query", q.toUtf8());
        bench::print("  hits", hits, 0);
        bench::print("  find_ms", bench::median(ms), 2);
    }
    store.close();
    const qint64 indexBytes = tableBytes(dbPath, QStringLiteral("wjsy"));
    const qint64 textTable = tableBytes(dbPath, QStringLiteral("wjwb"));
    bench::print("wjsy_mb", double(indexBytes) / (1 << 20), 1);
    bench::print("wjwb_mb", double(textTable) / (1 << 20), 1);
    bench::print("index_to_text", double(indexBytes) / double(textBytes), 2);
    return 0;
}
