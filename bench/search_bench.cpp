// The search over a large archive, each search beside the sqlite3 shell
// running the plain LIKE / comparison statement the search stands for.
//
// Works on a copy of the cached archive "nocontent-N" that list_bench lays
// out (laid out here when missing); the copy is brought to the current
// schema version, which builds the search index (its time is printed) and
// queues every record for the field tokens, which are then written as the
// catch-up writes them (the time and the tokens' size are printed); the
// copy is kept beside the original for later runs.
//
// The searches for one and two Chinese characters run twice: through the
// field tokens, and as before them (the same filter without the search
// index: a LIKE over every name, "_scan").
//
// For each search: the time until the first rows are in the model and until
// the last, warm (median of the runs) and cold (the archive's pages dropped
// from the page cache before the run: sync, posix_fadvise DONTNEED; the
// machine's own caches are not dropped, which needs root). Runs are
// interleaved with the reference. The shell's start is measured on its own
// ("select 1") and taken off its figures.
//
//   search_bench [--records N] [--cache DIR] [--warm-runs N] [--cold-runs N]
#include "archive/ProtectedGroups.h"
#include "listing/FileListLoader.h"
#include "listing/FileListModel.h"
#include "listing/ListColumns.h"
#include "listing/ListQuery.h"
#include "listing/SearchConditions.h"
#include "platform/Progress.h"
#include "store/DataStore.h"
#include "store/FieldTokens.h"
#include "store/MainSettings.h"
#include "store/Schema.h"
#include "BenchArchive.h"
#include "BenchRead.h"
#include "BenchSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using namespace bench;

using SearchConditions::Condition;

double g_shellStartMs = 0;

struct Figures {
    double firstMs = -1;
    double totalMs = -1;
    double statisticsMs = -1;  // until the statistics line's figures
    int rows = 0;
    bool ordered = false;
};

Figures loadOnce(const QString& database, const ListQuery& query)
{
    Figures f;
    FileListModel model;
    FileListLoader loader(&model);
    QElapsedTimer t;
    QObject::connect(&loader, &FileListLoader::rowsArrived, [&](int) {
        if (f.firstMs < 0)
            f.firstMs = t.nsecsElapsed() / 1e6;
    });
    QObject::connect(&loader, &FileListLoader::loaded, [&](bool) {
        if (f.totalMs < 0)
            f.totalMs = t.nsecsElapsed() / 1e6;
    });
    QObject::connect(&loader, &FileListLoader::statisticsReady, [&](bool, const ListStatistics::Totals&) {
        if (f.statisticsMs < 0)
            f.statisticsMs = t.nsecsElapsed() / 1e6;
    });
    t.start();
    loader.start(ArchiveLocation::file(database), query);
    loader.waitUntilLoaded(600000);
    f.rows = model.rowCount();
    f.ordered = loader.usedOrderedScan();
    if (f.firstMs < 0)
        f.firstMs = f.totalMs;  // no rows: the answer is the end of the load
    return f;
}

struct Search {
    const char* name;
    QList<Condition> conditions;
    bool distinct = false;
    QString plainWhere;  // the statement's WHERE as the plain query writes it
    bool useIndex = true;
};

class Quiet final : public Progress {
public:
    void setRange(qint64, qint64) override {}
    void setValue(qint64) override {}
    bool cancelled() const override { return false; }
};

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int records = 1000000;
    QString cache = QStringLiteral("/tmp/korvane-bench-cache");
    int warmRuns = 5;
    int coldRuns = 3;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args.at(i) == QLatin1String("--records"))
            records = args.at(i + 1).toInt();
        else if (args.at(i) == QLatin1String("--cache"))
            cache = args.at(i + 1);
        else if (args.at(i) == QLatin1String("--warm-runs"))
            warmRuns = args.at(i + 1).toInt();
        else if (args.at(i) == QLatin1String("--cold-runs"))
            coldRuns = args.at(i + 1).toInt();
    }
    const QString source = cache + QStringLiteral("/nocontent-%1/Data/files.dat").arg(records);
    const QString folder = cache + QStringLiteral("/search-nocontent-%1").arg(records);
    const QString database = folder + QStringLiteral("/files.dat");
    if (!QFileInfo::exists(folder + QStringLiteral("/complete"))) {
        if (!QFileInfo::exists(source) && !ensureArchive(cache, QStringLiteral("nocontent"), records, false)) {
            std::fprintf(stderr, "no cached archive at %s\n", qPrintable(source));
            return 1;
        }
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        if (!QFile::copy(source, database)) {
            std::fprintf(stderr, "cannot copy %s\n", qPrintable(source));
            return 1;
        }
        DataStore store;
        if (!store.open(database))
            return 1;
        const int from = Schema::version(store).valueOr(-1);
        Quiet quiet;
        QElapsedTimer t;
        t.start();
        const Status migrated = Schema::migrate(store, &quiet);
        if (!migrated) {
            std::fprintf(stderr, "migrate: %s\n", qPrintable(migrated.detail()));
            return 1;
        }
        print(QByteArray("search_index_build_1m_s"), t.elapsed() / 1000.0, 1);
        note("search_index_build_from_version", QByteArray::number(from));
        // The field tokens of every record, as the catch-up writes them
        // after the upgrade.
        print("field_tokens_queued_records", double(FieldTokens::queued(store).valueOr(-1)), 0);
        t.restart();
        const Status worked = FieldTokens::workOff(store);
        if (!worked) {
            std::fprintf(stderr, "field tokens: %s\n", qPrintable(worked.detail()));
            return 1;
        }
        print("field_tokens_workoff_1m_s", t.elapsed() / 1000.0, 1);
        store.execute(QStringLiteral("analyze"));
        store.close();
        QFile done(folder + QStringLiteral("/complete"));
        done.open(QIODevice::WriteOnly);
    }
    print("search_archive_mb", QFileInfo(database).size() / 1048576.0);
    print("search_archive_without_index_mb", QFileInfo(source).size() / 1048576.0);

    DataStore store;
    if (!store.open(database))
        return 1;
    store.execute(QStringLiteral("analyze"));
    // The field tokens' pages (table and key are one b-tree) against the
    // whole file.
    const double tokenBytes =
        valueOf(store, QStringLiteral("select sum(pgsize) from dbstat where name='wjzs'")).toDouble();
    print("field_tokens_mb", tokenBytes / 1048576.0);
    print("field_tokens_share_of_archive", tokenBytes / qMax(1.0, double(QFileInfo(database).size())), 3);
    print("field_tokens_rows", valueOf(store, QStringLiteral("select count(*) from wjzs")).toDouble(), 0);
    const QList<ListColumns::Column> columns = ListColumns::shownColumns(store).value_or(QList<ListColumns::Column>{});
    QStringList fields;
    for (const ListColumns::Column& c : columns)
        fields << c.field;
    const QString select =
        QStringLiteral("select id,") + fields.join(QLatin1Char(',')) + QStringLiteral(",lx from wj ");
    const MainSettings settings;
    ProtectedGroups open;

    auto cond = [](const char* field, const char* op, const QString& value) {
        return Condition{QString::fromLatin1(field), QString::fromUtf8(op), value, SearchConditions::And};
    };
    const QList<Search> searches{
        {"contains3",
         {cond("mc", "包含", QStringLiteral("续签协"))},
         false,
         QStringLiteral("where mc like '%续签协%'")},
        {"contains2", {cond("mc", "包含", QStringLiteral("合同"))}, false, QStringLiteral("where mc like '%合同%'")},
        {"contains2_scan",
         {cond("mc", "包含", QStringLiteral("合同"))},
         false,
         QStringLiteral("where mc like '%合同%'"),
         false},
        {"contains2_rare", {cond("mc", "包含", RareWord)}, false, QStringLiteral("where mc like '%鲸鱼%'")},
        {"contains2_rare_scan", {cond("mc", "包含", RareWord)}, false, QStringLiteral("where mc like '%鲸鱼%'"), false},
        {"contains1_rare", {cond("mc", "包含", QStringLiteral("鲸"))}, false, QStringLiteral("where mc like '%鲸%'")},
        {"contains1_rare_scan",
         {cond("mc", "包含", QStringLiteral("鲸"))},
         false,
         QStringLiteral("where mc like '%鲸%'"),
         false},
        {"contains2_latin", {cond("bh", "包含", QStringLiteral("99"))}, false, QStringLiteral("where bh like '%99%'")},
        {"date_range",
         {cond("scsj", ">=", QStringLiteral("2021-03-01")), cond("scsj", "<=", QStringLiteral("2021-03-31"))},
         false,
         QStringLiteral("where substr(scsj,1,19) >= '2021-03-01' and substr(scsj,1,19) < '2021-04-01'")},
        {"size", {cond("dx", ">", QStringLiteral("7MB"))}, false, QStringLiteral("where dxsz > 7340032")},
        {"distinct_names", {}, true, QStringLiteral("where id in (select min(id) from wj group by mc)")},
    };

    g_shellStartMs = shellStartMs(database);
    print("sqlite3_start_ms", g_shellStartMs);
    note("search_order", "order by xh asc (the manual order), the list's shown columns");

    for (const Search& s : searches) {
        const auto visible =
            ListQuery::visibleFilter(SearchConditions::build(s.conditions, s.distinct, {}, s.useIndex), open, store);
        if (!visible)
            return 1;
        const ListQuery q = ListQuery::build(store.backend(), columns, *visible, settings.sortClause);
        const QString plain = select + s.plainWhere + QStringLiteral(" order by xh asc");
        const Figures probe = loadOnce(database, q);
        std::vector<double> first, total, statistics, shell, coldFirst, coldTotal, coldShell;
        for (int run = 0; run < warmRuns; ++run) {
            const Figures f = loadOnce(database, q);
            first.push_back(f.firstMs);
            total.push_back(f.totalMs);
            statistics.push_back(f.statisticsMs);
            shell.push_back(shellMs(database, plain) - g_shellStartMs);
        }
        for (int run = 0; run < coldRuns; ++run) {
            store.close();
            dropCache(database);
            const Figures f = loadOnce(database, q);
            coldFirst.push_back(f.firstMs);
            coldTotal.push_back(f.totalMs);
            dropCache(database);
            coldShell.push_back(shellMs(database, plain) - g_shellStartMs);
            store.open(database);
        }
        // The plain query finds the same number of records.
        const int plainRows = bench::valueOf(store, QStringLiteral("select count(*) from wj ") + s.plainWhere).toInt();
        const QByteArray p = QByteArray("search_") + s.name + "_1m";
        print(p + "_rows", probe.rows, 0);
        if (plainRows != probe.rows)
            std::fprintf(stderr, "%s: the plain query finds %d rows\n", s.name, plainRows);
        note(p + "_plan", probe.ordered ? "along the order index" : "found, then sorted");
        print(p + "_ms", median(first));
        print(p + "_total_ms", median(total));
        print(p + "_statistics_ms", median(statistics));
        print(p + "_cold_ms", median(coldFirst));
        print(p + "_total_cold_ms", median(coldTotal));
        print(p + "_sqlite3_ms", median(shell));
        print(p + "_sqlite3_cold_ms", median(coldShell));
        print(p + "_first_rows_speedup", median(shell) / qMax(0.001, median(first)), 1);
    }
    return 0;
}
