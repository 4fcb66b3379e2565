// The file list, the statistics line, adding and renaming on a large archive,
// each against the sqlite3 shell running the same statement.
//
// Two archives of N records (default 1,000,000) are laid out once and kept
// in a cache folder for later runs (they are made again when missing):
//   "1m"           half of the records hold 8 KB of content in the database
//                  (the common case under the default size bound of 1 MB),
//                  the other half are kept files;
//   "1m_nocontent" the same records, none holding content.
// For the root, a group holding a seventh of the archive and a small group:
// time to the first rows and to the last, warm and cold; the statistics on
// their own; the model's bytes per row and the peak memory of the root load;
// the longest stall of the window while the rows arrive. Then adding a
// 10 KB and a 1 MB file into the large archive against the same add into an
// empty one, and renaming a group of 15,000 files.
//
// Cold: the archive's pages are dropped from the page cache before the run
// (sync, then posix_fadvise DONTNEED on the database file); the machine's
// own caches are not dropped, which needs root. Said in the output.
// Runs are interleaved with the reference; figures are medians.
//
//   list_bench [--records N] [--cache DIR] [--warm-runs N] [--cold-runs N]
//              [--only content|nocontent] [--skip-writes] [--views-only] [--writes-only]
#include "archive/FileRecords.h"
#include "archive/GroupPath.h"
#include "archive/GroupTree.h"
#include "archive/StoreFolder.h"
#include "listing/FileListLoader.h"
#include "listing/FileListModel.h"
#include "listing/ListColumns.h"
#include "listing/ListQuery.h"
#include "listing/ui/FileListViews.h"
#include "shell/AppContext.h"
#include "platform/ProgramHome.h"
#include "store/CurrentOperator.h"
#include "store/HomeLayout.h"
#include "store/DataStore.h"
#include "store/Dictionary.h"
#include "store/Schema.h"
#include "store/SizeText.h"
#include "BenchArchive.h"
#include "BenchRead.h"
#include "BenchSupport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

namespace {

using namespace bench;

int g_warmRuns = 5;
bool g_viewsOnly = false;
bool g_writesOnly = false;
int g_coldRuns = 3;

// What starting the shell and opening the file costs, taken off its figures.
double g_shellStartMs = 0;

struct Scope {
    const char* name;
    QString group;  // empty: the root
};

struct LoadFigures {
    double firstMs = -1;
    double totalMs = -1;
    int rows = 0;
    bool ordered = false;
    qsizetype modelBytes = 0;
    double peakMb = 0;
    double processPeakMb = 0;
};

LoadFigures loadOnce(const Archive& a, const ListQuery& query)
{
    LoadFigures f;
    auto model = std::make_unique<FileListModel>();
    FileListLoader loader(model.get());
    QCoreApplication::processEvents();
    const double before = statusMb("VmRSS:");
    resetPeak();
    QElapsedTimer t;
    QObject::connect(&loader, &FileListLoader::rowsArrived, [&](int) {
        if (f.firstMs < 0)
            f.firstMs = t.nsecsElapsed() / 1e6;
    });
    bool rowsDone = false;
    QObject::connect(&loader, &FileListLoader::loaded, [&](bool) {
        if (!rowsDone)
            f.totalMs = t.nsecsElapsed() / 1e6;
        rowsDone = true;
    });
    t.start();
    loader.start(ArchiveLocation::file(a.database), query);
    loader.waitUntilLoaded(600000);
    f.rows = model->rowCount();
    f.ordered = loader.usedOrderedScan();
    f.modelBytes = model->memoryBytes();
    f.processPeakMb = statusMb("VmHWM:");
    f.peakMb = f.processPeakMb - before;
    return f;
}

struct Context {
    AppContext app;
    DataStore store;
    explicit Context(const QString& folder) : app(folder) {}
};

ListQuery queryFor(Context& c, const Scope& s)
{
    FilterClause filter = FilterClause::everything();
    if (!s.group.isEmpty())
        filter = FilterClause::inGroup(s.group);
    const auto columns = ListColumns::shownColumns(c.store).value_or(QList<ListColumns::Column>{});
    const auto visible = ListQuery::visibleFilter(filter, c.app.protectedGroups, c.store);
    if (!visible) {
        std::fprintf(stderr, "groups unreadable: %s\n", qPrintable(c.store.lastError()));
        std::exit(1);
    }
    return ListQuery::build(c.store.backend(), columns, *visible, c.app.mainSettings.sortClause);
}

bool measureList(const Archive& a, const QByteArray& tag, std::map<QByteArray, double>* summary)
{
    Context c(a.folder);
    if (!c.store.open(a.database)) {
        std::fprintf(stderr, "failed at line %d\n", __LINE__);
        return false;
    }
    const Scope scopes[] = {{"root", QString()}, {"group", kLargeGroup}, {"small", kSmallGroup}};
    for (const Scope& s : scopes) {
        if (g_viewsOnly)
            break;
        const ListQuery q = queryFor(c, s);
        // Which statement runs: the first load tells (and warms the cache).
        const LoadFigures probe = loadOnce(a, q);
        const QString sql = literalSql(probe.ordered ? q.orderedSql : q.sql, q.params);
        const QString statsSql = literalSql(q.statisticsSql, q.statisticsParams);
        std::vector<double> first, total, shell, stats, shellStats, peak, processPeak;
        std::vector<double> coldFirst, coldTotal, coldShell, coldStats, coldShellStats;
        for (int run = 0; run < g_warmRuns; ++run) {
            const LoadFigures f = loadOnce(a, q);
            first.push_back(f.firstMs);
            total.push_back(f.totalMs);
            peak.push_back(f.peakMb);
            processPeak.push_back(f.processPeakMb);
            shell.push_back(shellMs(a.database, sql) - g_shellStartMs);
            QElapsedTimer t;
            t.start();
            const auto totals = ListStatistics::read(c.store, q.statisticsSql, q.statisticsParams);
            stats.push_back(t.nsecsElapsed() / 1e6);
            if (!totals || totals->count != probe.rows) {
                std::fprintf(stderr, "statistics disagree with the rows: %lld / %d\n", totals ? totals->count : -1,
                             probe.rows);
                {
                    std::fprintf(stderr, "failed at line %d\n", __LINE__);
                    return false;
                }
            }
            shellStats.push_back(shellMs(a.database, statsSql) - g_shellStartMs);
        }
        for (int run = 0; run < g_coldRuns; ++run) {
            c.store.close();
            dropCache(a.database);
            const LoadFigures f = loadOnce(a, q);
            coldFirst.push_back(f.firstMs);
            coldTotal.push_back(f.totalMs);
            dropCache(a.database);
            coldShell.push_back(shellMs(a.database, sql) - g_shellStartMs);
            dropCache(a.database);
            c.store.open(a.database);
            QElapsedTimer t;
            t.start();
            const auto totals = ListStatistics::read(c.store, q.statisticsSql, q.statisticsParams);
            coldStats.push_back(t.nsecsElapsed() / 1e6);
            if (!totals) {
                std::fprintf(stderr, "failed at line %d\n", __LINE__);
                return false;
            }
            dropCache(a.database);
            coldShellStats.push_back(shellMs(a.database, statsSql) - g_shellStartMs);
        }
        const QByteArray p = QByteArray(s.name) + "_" + tag;
        print("list_rows_" + p, probe.rows, 0);
        note("list_plan_" + p, probe.ordered ? "along the order index" : "through fz, sorted");
        print("list_first_rows_" + p + "_ms", median(first));
        print("list_first_rows_" + p + "_cold_ms", median(coldFirst));
        print("list_load_" + p + "_ms", median(total));
        print("list_load_" + p + "_cold_ms", median(coldTotal));
        print("sqlite3_select_" + p + "_ms", median(shell));
        print("sqlite3_select_" + p + "_cold_ms", median(coldShell));
        print("list_load_" + p + "_ratio", median(total) / median(shell), 2);
        print("list_load_" + p + "_cold_ratio", median(coldTotal) / median(coldShell), 2);
        print("stats_" + p + "_ms", median(stats));
        print("stats_" + p + "_cold_ms", median(coldStats));
        print("sqlite3_stats_" + p + "_ms", median(shellStats));
        print("sqlite3_stats_" + p + "_cold_ms", median(coldShellStats));
        if (s.group.isEmpty()) {
            // The load's own growth over the process before it, and the
            // process's whole peak (Qt, the connections' caches and all).
            print("list_peak_rss_" + tag + "_mb", median(peak));
            print("list_process_peak_rss_" + tag + "_mb", median(processPeak));
            print("list_model_" + tag + "_mb", probe.modelBytes / 1048576.0);
            print("list_model_" + tag + "_bytes_per_row", double(probe.modelBytes) / qMax(1, probe.rows));
            (*summary)["list_peak_rss_" + tag + "_mb"] = median(peak);
        }
        if (qstrcmp(s.name, "small") != 0) {
            auto& worstFirst = (*summary)["list_first_rows_" + tag + "_ms"];
            worstFirst = qMax(worstFirst, median(first));
            auto& worstRatio = (*summary)["list_load_" + tag + "_ratio"];
            worstRatio = qMax(worstRatio, median(total) / median(shell));
        }
        if (qstrcmp(s.name, "group") == 0) {
            (*summary)["stats_group_" + tag + "_ms"] = median(stats);
            (*summary)["stats_group_" + tag + "_cold_ms"] = median(coldStats);
        }
    }

    // The root through the views as the main window has them: how long the
    // window goes without serving its events while the rows arrive. Warm:
    // the cold runs above dropped the archive's pages, a load reads them in.
    {
        loadOnce(a, queryFor(c, scopes[0]));
        QWidget window;
        window.resize(1024, 768);
        c.app.archive = ArchiveLocation::file(a.database);
        FileListViews views(c.store, c.app.protectedGroups, c.app.mainSettings, &window);
        window.show();
        if (qEnvironmentVariableIsSet("KV_BENCH_HIDE_ICONS"))
            if (auto* icons = window.findChild<QWidget*>(QStringLiteral("图标超级列表框")))
                icons->hide();
        QCoreApplication::processEvents();
        double stall = 0;
        double stallAt = 0;
        QElapsedTimer beat;
        QTimer ticker;
        QElapsedTimer t;
        ticker.setInterval(5);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const double gap = beat.nsecsElapsed() / 1e6;
            if (gap > stall) {
                stall = gap;
                stallAt = t.nsecsElapsed() / 1e6;
            }
            beat.restart();
        });
        t.start();
        beat.start();
        ticker.start();
        views.load(FilterClause::everything());
        views.waitUntilLoaded(600000);
        const double ms = t.nsecsElapsed() / 1e6;
        const double stallWhileLoading = qMax(stall, beat.nsecsElapsed() / 1e6);
        // The icon view lays out what it was handed at the end: a second
        // more of watching.
        QEventLoop after;
        QTimer::singleShot(1000, &after, &QEventLoop::quit);
        after.exec();
        ticker.stop();
        stall = qMax(stall, beat.nsecsElapsed() / 1e6);
        print("list_load_views_root_" + tag + "_ms", ms);
        // While the chunks come in, and over the whole time including the
        // icon view's layout of what it was handed at the end.
        print("list_window_max_stall_loading_" + tag + "_ms", stallWhileLoading);
        print("list_window_max_stall_" + tag + "_ms", stall);
        print("list_window_max_stall_" + tag + "_at_ms", stallAt);
        (*summary)["list_window_max_stall_" + tag + "_ms"] = stall;
        (*summary)["list_window_max_stall_loading_" + tag + "_ms"] = stallWhileLoading;
    }
    return true;
}

// Adding a file through the code the edit panel uses, into the large archive
// and into an empty one, interleaved; the added records are removed again.
bool measureAdds(const Archive& large, const QString& scratch, const QByteArray& tag,
                 std::map<QByteArray, double>* summary)
{
    const QString emptyFolder = scratch + QStringLiteral("/empty");
    if (!HomeLayout::create(emptyFolder)) {
        std::fprintf(stderr, "failed at line %d\n", __LINE__);
        return false;
    }
    const CurrentOperator op(QStringLiteral("Admin"), Schema::allRightsText());
    struct Side {
        ProgramHome home;
        DataStore store;
        std::unique_ptr<FileRecords> records;
        explicit Side(const QString& f) : home(f) {}
    };
    Side big(large.folder), empty(emptyFolder);
    for (Side* s : {&big, &empty}) {
        if (!s->store.open(s->home.defaultDatabasePath())) {
            std::fprintf(stderr, "failed at line %d\n", __LINE__);
            return false;
        }
        s->store.execute(QStringLiteral("insert into wjfz(fxmid,xmmc,tpid,xztp,mm) select 0,'基准',0,1,''"
                                        " where not exists (select 1 from wjfz where fxmid=0 and xmmc='基准')"));
        // The default size bound: below 1 MB into the database.
        const QString bound = Dictionary::readOr(s->store, Dictionary::FileSize, QStringLiteral("1"));
        s->records =
            std::make_unique<FileRecords>(s->store, StoreFolder(s->home), op, Dictionary::sizeBoundBytes(bound));
    }
    note("add_size_bound_mb", Dictionary::readOr(big.store, Dictionary::FileSize, QString()).toUtf8());
    struct Case {
        const char* name;
        qint64 bytes;
    };
    for (const Case& k : {Case{"10k", 10 << 10}, Case{"1m", 1 << 20}}) {
        const QString src = scratch + QStringLiteral("/add_%1.bin").arg(QLatin1String(k.name));
        {
            QFile f(src);
            f.open(QIODevice::WriteOnly);
            QByteArray b(int(k.bytes), Qt::Uninitialized);
            QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(b.data()), b.size() / 4);
            f.write(b);
        }
        std::vector<double> intoBig, intoEmpty;
        // Five adds on each side first, not measured: the paths through the
        // trees are read in as a running program has them. The disk is
        // shared and its syncs vary: many runs, the median of each side.
        for (int run = -5; run < 4 * g_warmRuns + 1; ++run) {
            Side* order[2] = {&big, &empty};
            if (run % 2)
                std::swap(order[0], order[1]);
            for (Side* s : order) {
                RecordFields fields;
                fields.group = QStringLiteral("基准");
                fields.name = QStringLiteral("基准文件%1").arg(run);
                settle();
                QElapsedTimer t;
                t.start();
                const Result<StoredRecord> r = s->records->add(fields, src);
                const double ms = t.nsecsElapsed() / 1e6;
                if (!r.ok()) {
                    std::fprintf(stderr, "add failed: %s %s\n", qPrintable(r.message()), qPrintable(r.detail()));
                    {
                        std::fprintf(stderr, "failed at line %d\n", __LINE__);
                        return false;
                    }
                }
                if (run >= 0)
                    (s == &big ? intoBig : intoEmpty).push_back(ms);
                // Not measured: the record goes again, its kept file with it.
                const Result<StoredRecord> gone = s->records->remove(r->id);
                if (!gone.ok()) {
                    std::fprintf(stderr, "failed at line %d\n", __LINE__);
                    return false;
                }
                settle();
            }
        }
        const QByteArray n(k.name);
        print("add_" + n + "_into_" + tag + "_ms", median(intoBig), 2);
        print("add_" + n + "_into_empty_ms", median(intoEmpty), 2);
        const double ratio = median(intoBig) / median(intoEmpty);
        print("add_" + n + "_into_" + tag + "_ratio", ratio, 2);
        auto& worst = (*summary)["add_into_" + tag + "_ratio"];
        worst = qMax(worst, ratio);
        QFile::remove(src);
    }
    return true;
}

// A group of 15,000 records stored one after the other, as a batch import
// leaves them (copies of the first records, content included), added once.
bool ensureBatchGroup(const Archive& a, int n)
{
    DataStore store;
    if (!store.open(a.database))
        return false;
    if (bench::valueOf(store, QStringLiteral("select count(*) from wj where fz=? or fz=?"),
                       {kBatchGroup, kBatchGroup + QStringLiteral("乙")})
            .toLongLong()
        == kRenameRecords)
        return true;
    const qint64 offset = qint64(n) + 1000000;
    if (!store.begin())
        return false;
    const QString columns = QStringLiteral("mc,lx,dx,dxsz,b1,b2,b3,b4,b5,b13,b14,b15,scr,scsj,xgr,xgsj,bz,ylcs,lj");
    if (!store.execute(QStringLiteral("insert into wj(id,xh,bh,fz,") + columns
                           + QStringLiteral(") select id+?,xh+?,printf('%010d',id+?),?,") + columns
                           + QStringLiteral(" from wj where id<=? order by id"),
                       {offset, offset, offset, kBatchGroup, kRenameRecords})
        || !store.execute(QStringLiteral("insert into wjnr(id,nr) select id+?,nr from wjnr where id<=?"),
                          {offset, kRenameRecords}))
        return false;
    const QStringList names = GroupPath::split(kBatchGroup);
    const QVariant parent = bench::valueOf(
        store,
        QStringLiteral("select id from wjfz where xmmc=? and fxmid=(select id from wjfz where xmmc=? and fxmid=0)"),
        {names.at(1), names.at(0)});
    if (!store.execute(QStringLiteral("insert into wjfz(id,fxmid,xmmc,tpid,xztp,mm) values (9998,?,?,0,1,'')"),
                       {parent, names.at(2)}))
        return false;
    return store.commit();
}

// Renaming a group of 15,000 records there and back, against the same
// update statement in the sqlite3 shell.
bool measureRename(const Archive& a, const QString& group, const QByteArray& label, const QByteArray& tag,
                   std::map<QByteArray, double>* summary)
{
    const QString kRenameGroup = group;
    std::vector<double> mine, shell;
    qint64 renamed = 0;
    const QString other = kRenameGroup + QStringLiteral("乙");
    const QString otherName = GroupPath::split(other).last();
    const QString ownName = GroupPath::split(kRenameGroup).last();
    {
        DataStore store;
        if (!store.open(a.database))
            return false;
        renamed =
            bench::valueOf(store, QStringLiteral("select count(*) from wj where fz=? or fz=?"), {kRenameGroup, other})
                .toLongLong();
    }
    for (int run = 0; run < g_warmRuns; ++run) {
        {
            DataStore store;
            if (!store.open(a.database)) {
                std::fprintf(stderr, "failed at line %d\n", __LINE__);
                return false;
            }
            ProtectedGroups open;
            GroupTree tree(store, open);
            if (!tree.load()) {
                std::fprintf(stderr, "failed at line %d\n", __LINE__);
                return false;
            }
            // A run stopped half way left the other name: back first.
            if (!tree.findPath(kRenameGroup) && tree.findPath(other))
                (void)tree.rename(tree.findPath(other)->id, ownName);
            const GroupTree::Node* n = tree.findPath(kRenameGroup);
            if (!n) {
                std::fprintf(stderr, "failed at line %d\n", __LINE__);
                return false;
            }
            const qint64 id = n->id;
            QElapsedTimer t;
            t.start();
            const GroupTree::Result r = tree.rename(id, otherName);
            mine.push_back(t.nsecsElapsed() / 1e6);
            if (!r) {
                std::fprintf(stderr, "failed at line %d\n", __LINE__);
                return false;
            }
            const QVariant count = bench::valueOf(store, QStringLiteral("select count(*) from wj where fz=?"), {other});
            if (count.toLongLong() != renamed) {
                std::fprintf(stderr, "renamed %lld records\n", count.toLongLong());
                {
                    std::fprintf(stderr, "failed at line %d\n", __LINE__);
                    return false;
                }
            }
            if (!tree.rename(tree.findPath(other)->id, ownName)) {
                std::fprintf(stderr, "failed at line %d\n", __LINE__);
                return false;
            }
        }
        // The shell: the same update of the records, there and back, each
        // in a transaction of its own (the groups' rows are not rewritten).
        const auto c = GroupPath::withSubgroups(kRenameGroup);
        const QString sql = QStringLiteral("begin; update wj set fz = ? || substr(fz, length(?) + 1) where ") + c.sql
            + QStringLiteral("; commit;");
        const double there = shellMs(a.database, literalSql(sql, QVariantList{other, kRenameGroup} + c.params));
        const auto back = GroupPath::withSubgroups(other);
        const QString sqlBack = QStringLiteral("begin; update wj set fz = ? || substr(fz, length(?) + 1) where ")
            + back.sql + QStringLiteral("; commit;");
        shellMs(a.database, literalSql(sqlBack, QVariantList{kRenameGroup, other} + back.params));
        shell.push_back(there - g_shellStartMs);
    }
    print("rename_records_" + label + "_" + tag, double(renamed), 0);
    print("rename_15k_" + label + "_" + tag + "_ms", median(mine));
    print("sqlite3_rename_15k_" + label + "_" + tag + "_ms", median(shell));
    (*summary)["rename_15k_" + label + "_" + tag + "_ms"] = median(mine);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int n = 1000000;
    QString cache = QDir::tempPath() + QStringLiteral("/korvane-bench-cache");
    QString only;
    bool writes = true;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--records") && i + 1 < args.size())
            n = args.at(++i).toInt();
        else if (args.at(i) == QLatin1String("--cache") && i + 1 < args.size())
            cache = args.at(++i);
        else if (args.at(i) == QLatin1String("--warm-runs") && i + 1 < args.size())
            g_warmRuns = args.at(++i).toInt();
        else if (args.at(i) == QLatin1String("--cold-runs") && i + 1 < args.size())
            g_coldRuns = args.at(++i).toInt();
        else if (args.at(i) == QLatin1String("--only") && i + 1 < args.size())
            only = args.at(++i);
        else if (args.at(i) == QLatin1String("--skip-writes"))
            writes = false;
        else if (args.at(i) == QLatin1String("--writes-only"))
            g_writesOnly = true;
        else if (args.at(i) == QLatin1String("--views-only"))
            g_viewsOnly = true, writes = false;
    }
    QDir().mkpath(cache);
    QTemporaryDir scratch(cache + QStringLiteral("/scratch-XXXXXX"));
    const QByteArray size = n == 1000000 ? QByteArray("1m") : QByteArray::number(n);
    note("records", QByteArray::number(n));
    note("cold_runs",
         "archive pages dropped from the page cache (sync, fdatasync, posix_fadvise DONTNEED); "
         "other caches kept (dropping them needs root)");
    g_shellStartMs = shellStartMs(QStringLiteral(":memory:"));
    print("sqlite3_start_ms", g_shellStartMs, 2);
    std::map<QByteArray, double> summary;
    struct Kind {
        const char* name;
        bool content;
    };
    for (const Kind& k : {Kind{"content", true}, Kind{"nocontent", false}}) {
        if (!only.isEmpty() && only != QLatin1String(k.name))
            continue;
        const QByteArray tag = k.content ? size : size + "_nocontent";
        const auto a = ensureArchive(cache, QString::fromLatin1(k.content ? "content" : "nocontent"), n, k.content);
        if (!a)
            return 1;
        print("database_" + tag + "_mb", QFileInfo(a->database).size() / 1048576.0);
        if (!g_writesOnly && !measureList(*a, tag, &summary))
            return 1;
        if (writes) {
            if (!measureAdds(*a, scratch.path() + QLatin1Char('/') + QLatin1String(k.name), tag, &summary))
                return 1;
            // Spread: every sixtieth record, as files stored over the years
            // beside other groups' lie. Batch: one after the other.
            if (!measureRename(*a, kRenameGroup, "spread", tag, &summary))
                return 1;
            if (!ensureBatchGroup(*a, n) || !measureRename(*a, kBatchGroup, "batch", tag, &summary))
                return 1;
        }
    }
    std::printf("-- summary\n");
    for (const auto& [name, value] : summary)
        print(name, value, name.endsWith("ratio") ? 2 : 1);
    return 0;
}
