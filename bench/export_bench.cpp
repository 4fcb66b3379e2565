// The workbook export of a long file list and the opening of the log viewer
// on a long log, each against the sqlite3 shell doing the nearest thing.
//
//   xlsx_100k_*    a list of 100,000 records with 12 shown columns, loaded
//                  into the list as the main window loads it, exported with
//                  every column ticked through the window "导出Excel" (the
//                  workbook packed and renamed into place). Reference: the
//                  sqlite3 shell writing the same 12 columns as CSV.
//                  Peak memory: the process's high-water mark during the
//                  export (reset before it), beside the resident size before.
//   log_open_1m_*  "系统日志" opened on 1,000,000 log lines (three years, the
//                  current month among them) until the grid has painted its
//                  first rows; warm and cold (the archive's pages dropped from
//                  the page cache). Reference: the shell running the same
//                  count and first-chunk statements.
//   log_search_1m_ms  a content filter over every day of that log.
//   log_all_days_*    every day of that log: the count, and each further
//                  chunk of 256 lines the grid fetches as it scrolls.
//
// Runs are interleaved with the reference; figures are medians.
//
//   export_bench [--cache DIR] [--runs N]
#include "listing/FileListModel.h"
#include "listing/ui/ExportExcelWindow.h"
#include "listing/ui/FileListViews.h"
#include "platform/Clock.h"
#include "platform/Config.h"
#include "platform/ProgramHome.h"
#include "settings/LogModel.h"
#include "settings/ui/LogViewerWindow.h"
#include "shell/AppContext.h"
#include "store/CurrentOperator.h"
#include "store/DataStore.h"
#include "store/HomeLayout.h"
#include "BenchSupport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTableView>
#include <QTemporaryDir>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <vector>

namespace {

using namespace bench;

int g_runs = 5;

// CPU time of the whole process (every thread), in milliseconds.
double cpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

QString pick(const QStringList& list, QRandomGenerator& rng)
{
    return list.at(int(rng.bounded(quint32(list.size()))));
}

// A fresh program folder (laid out once, kept in the cache).
std::optional<QString> ensureHome(const QString& folder, const std::function<bool(DataStore&)>& fill)
{
    const ProgramHome home(folder);
    if (QFileInfo::exists(folder + QStringLiteral("/complete")))
        return home.defaultDatabasePath();
    QDir(folder).removeRecursively();
    if (const Status s = HomeLayout::create(folder); !s) {
        std::fprintf(stderr, "initialise: %s\n", qPrintable(s.message()));
        return std::nullopt;
    }
    DataStore store;
    if (!store.open(home.defaultDatabasePath()))
        return std::nullopt;
    store.execute(QStringLiteral("PRAGMA synchronous=OFF"));
    QElapsedTimer t;
    t.start();
    if (!fill(store))
        return std::nullopt;
    store.close();
    std::fprintf(stderr, "laid out %s in %.1f s\n", qPrintable(folder), t.elapsed() / 1000.0);
    QFile done(folder + QStringLiteral("/complete"));
    done.open(QIODevice::WriteOnly);
    return home.defaultDatabasePath();
}

// 100,000 records with text in 12 shown columns.
bool fillList(DataStore& store)
{
    // The first twelve fields of the column settings are the shown ones.
    QList<int> bhs;
    for (RecordSet rs = store.query(QStringLiteral("select bh from lbsz where bm='wj' order by bh")); !rs.atEnd();
         rs.next())
        bhs << int(rs.number(0));
    for (int i = 0; i < bhs.size(); ++i)
        if (!store.execute(QStringLiteral("update lbsz set xs=?, wz=? where bm='wj' and bh=?"),
                           {i < 12 ? 1 : 0, i < 12 ? i + 1 : 0, bhs.at(i)}))
            return false;
    const QStringList names{"年度合同", "会议纪要", "财务报表", "人事档案", "项目计划书", "采购清单", "审计报告"};
    const QStringList groups{"档案室\\2022", "档案室\\2023\\合同", "档案室\\2024\\财务", "人事部"};
    const QStringList types{"doc", "xls", "pdf", "jpg", "txt"};
    const QStringList people{"Admin", "张三", "李四"};
    QRandomGenerator rng(7);
    if (!store.begin())
        return false;
    for (int i = 1; i <= 100000; ++i) {
        const qint64 size = rng.bounded(1, 5000000);
        const QVariantList row{i,
                               QString::number(i).rightJustified(10, QLatin1Char('0')),
                               pick(names, rng) + QString::number(i),
                               pick(groups, rng),
                               pick(types, rng),
                               QStringLiteral("%1KB").arg(size / 1024),
                               size,
                               pick(people, rng),
                               QStringLiteral("2024-%1-%2 08:%3:00")
                                   .arg(1 + i % 12, 2, 10, QLatin1Char('0'))
                                   .arg(1 + i % 28, 2, 10, QLatin1Char('0'))
                                   .arg(i % 60, 2, 10, QLatin1Char('0')),
                               QStringLiteral("第%1卷").arg(i % 300),
                               QStringLiteral("0%1").arg(i % 97),
                               pick(people, rng)};
        if (!store.execute(QStringLiteral("insert into wj(xh,bh,mc,fz,lx,dx,dxsz,scr,scsj,b1,b2,b3) "
                                          "values (?,?,?,?,?,?,?,?,?,?,?,?)"),
                           row))
            return false;
    }
    return store.commit();
}

// 1,000,000 log lines over the last three years, oldest first.
bool fillLog(DataStore& store)
{
    const QStringList prefixes{"增加文件：", "修改文件：", "阅览文件：", "删除文件：", "导出文件："};
    const QStringList people{"Admin", "张三", "李四", "王五"};
    QRandomGenerator rng(11);
    const QDateTime end = QDateTime::currentDateTime();
    const QDateTime start = end.addDays(-3 * 365);
    const qint64 span = start.secsTo(end);
    if (!store.begin())
        return false;
    for (int i = 0; i < 1000000; ++i) {
        const QDateTime t = start.addSecs(span * i / 1000000);
        const QString nr = pick(prefixes, rng) + QString::number(i).rightJustified(10, QLatin1Char('0'))
            + QStringLiteral("，项目文件%1.doc").arg(rng.bounded(100000));
        if (!store.execute(QStringLiteral("insert into rz(sj,czy,nr) values (?,?,?)"),
                           {Clock::timeText(t), pick(people, rng), nr}))
            return false;
    }
    return store.commit();
}

void benchExport(const QString& cache)
{
    const std::optional<QString> db = ensureHome(cache + QStringLiteral("/xlsx-100000"), fillList);
    if (!db)
        return;
    AppContext context(QFileInfo(*db).absolutePath() + QStringLiteral("/.."));
    DataStore store;
    if (!store.open(*db))
        return;
    QWidget host;
    host.resize(1024, 768);
    FileListViews views(store, context.protectedGroups, context.mainSettings, &host);
    views.load(FilterClause::everything());
    views.waitUntilLoaded(600000);
    if (views.model()->rowCount() != 100000 || views.model()->columnCount() != 12) {
        std::fprintf(stderr, "list: %d rows, %d columns\n", views.model()->rowCount(), views.model()->columnCount());
        return;
    }
    QTemporaryDir out(cache + QStringLiteral("/scratch-XXXXXX"));
    Config config(out.filePath(QStringLiteral("Config.ini")));
    // The reference: the same columns in list order as CSV.
    const QString refSql = QStringLiteral("select bh,mc,fz,lx,dx,dxsz,scr,scsj,b1,b2,b3,xgr from wj order by xh");

    std::vector<double> ms, cpu, ref, peaks, before, sizes;
    for (int run = 0; run < g_runs; ++run) {
        ref.push_back(shellMs(*db, {QStringLiteral("-csv")}, refSql, out.filePath(QStringLiteral("ref.csv"))));
        ExportExcelWindow w(views, config, &host);
        w.setWorkbookFolder(out.filePath(QStringLiteral("private")));
        w.setOpener([](const QString&) { return true; });
        w.findChild<QCheckBox*>(QStringLiteral("选择框1"))->click();
        before.push_back(statusMb("VmRSS:"));
        resetPeak();
        QElapsedTimer t;
        const double cpuStart = cpuMs();
        t.start();
        w.start();
        // The rows go on a job of the window's; its end comes back here.
        while (w.isRunning())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        ms.push_back(t.nsecsElapsed() / 1e6);
        cpu.push_back(cpuMs() - cpuStart);
        peaks.push_back(statusMb("VmHWM:"));
        sizes.push_back(QFileInfo(w.lastWorkbook()).size() / 1048576.0);
        QFile::remove(w.lastWorkbook());
    }
    print("xlsx_100k_ms", median(ms));
    print("xlsx_100k_cpu_ms", median(cpu));
    print("xlsx_100k_ref_sqlite3_csv_ms", median(ref));
    print("xlsx_100k_peak_rss_mb", median(peaks));
    print("xlsx_100k_rss_before_mb", median(before));
    print("xlsx_100k_file_mb", median(sizes), 2);
}

void benchLog(const QString& cache)
{
    const std::optional<QString> db = ensureHome(cache + QStringLiteral("/log-1000000"), fillLog);
    if (!db)
        return;
    const QDate today = QDate::currentDate();
    const QString first = QDate(today.year(), today.month(), 1).toString(Qt::ISODate);
    const QString last = today.toString(Qt::ISODate);
    const QString next = today.addDays(1).toString(Qt::ISODate);
    const QString where = QStringLiteral(" where sj >= '%1' and sj < '%2' and substr(sj,1,10) between '%1' and '%3'")
                              .arg(first, next, last);
    const QString refSql = QStringLiteral("select count(*), min(id), max(id) from rz") + where
        + QStringLiteral("; select id,sj,czy,nr from rz not indexed") + where
        + QStringLiteral(" order by id desc limit 256;");
    const CurrentOperator op(QStringLiteral("Admin"), QString());

    auto openOnce = [&](qint64* shown) {
        DataStore store;
        QElapsedTimer t;
        t.start();
        if (!store.open(*db))
            return -1.0;
        LogViewerWindow w(store, op);
        w.show();
        // Until the grid has painted its first rows.
        QCoreApplication::processEvents();
        w.findChild<QTableView*>(QStringLiteral("高级表格1"))->viewport()->repaint();
        const double elapsed = t.nsecsElapsed() / 1e6;
        *shown = w.model()->total();
        return elapsed;
    };

    std::vector<double> warm, warmRef, cold, coldRef;
    qint64 shown = 0;
    openOnce(&shown);  // page cache and Qt warmed once
    for (int run = 0; run < g_runs; ++run) {
        warmRef.push_back(shellMs(*db, {}, refSql));
        warm.push_back(openOnce(&shown));
    }
    bool dropped = true;
    for (int run = 0; run < 3; ++run) {
        dropped = dropCache(*db) && dropped;
        coldRef.push_back(shellMs(*db, {}, refSql));
        dropped = dropCache(*db) && dropped;
        cold.push_back(openOnce(&shown));
    }
    print("log_open_1m_ms", median(warm));
    print("log_open_1m_ref_sqlite3_ms", median(warmRef));
    print("log_open_1m_cold_ms", median(cold));
    print("log_open_1m_cold_ref_sqlite3_ms", median(coldRef));
    print("log_open_1m_lines_in_month", double(shown), 0);
    if (!dropped)
        note("log_open_1m_cold", "the page cache could not be dropped: cold figures are warm");

    // A content filter over every day: the whole log is read.
    std::vector<double> search, searchRef;
    DataStore store;
    store.open(*db);
    LogViewerWindow w(store, op);
    w.findChild<QDateEdit*>(QStringLiteral("日期框1"))->setDate(today.addYears(-4));
    w.findChild<QLineEdit*>(QStringLiteral("编辑框1"))->setText(QStringLiteral("项目文件99999."));
    const QString searchSql =
        QStringLiteral("select count(*), min(id), max(id) from rz where nr like '%项目文件99999.%' escape '!' "
                       "and sj >= '%1' and sj < '%2'; select id,sj,czy,nr from rz not indexed "
                       "where nr like '%项目文件99999.%' "
                       "escape '!' and sj >= '%1' and sj < '%2' order by id desc limit 256;")
            .arg(today.addYears(-4).toString(Qt::ISODate), next);
    for (int run = 0; run < g_runs; ++run) {
        searchRef.push_back(shellMs(*db, {}, searchSql));
        QElapsedTimer t;
        t.start();
        w.searchAction()->trigger();
        search.push_back(t.nsecsElapsed() / 1e6);
    }
    print("log_search_1m_ms", median(search));
    print("log_search_1m_ref_sqlite3_ms", median(searchRef));

    // Every day of the log: the count of a million lines, then the grid's
    // chunks as it scrolls.
    std::vector<double> all, chunk;
    w.findChild<QLineEdit*>(QStringLiteral("编辑框1"))->clear();
    for (int run = 0; run < g_runs; ++run) {
        QElapsedTimer t;
        t.start();
        w.searchAction()->trigger();
        all.push_back(t.nsecsElapsed() / 1e6);
        for (int c = 0; c < 20 && w.model()->canFetchMore({}); ++c) {
            t.restart();
            w.model()->fetchMore({});
            chunk.push_back(t.nsecsElapsed() / 1e6);
        }
    }
    print("log_all_days_1m_ms", median(all));
    print("log_all_days_chunk_ms", median(chunk), 2);
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QString cache = QDir::tempPath() + QStringLiteral("/korvane-bench-cache");
    bool exportOnly = false, logOnly = false;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--cache") && i + 1 < args.size())
            cache = args.at(++i);
        else if (args.at(i) == QLatin1String("--runs") && i + 1 < args.size())
            g_runs = args.at(++i).toInt();
        else if (args.at(i) == QLatin1String("--export-only"))
            exportOnly = true;
        else if (args.at(i) == QLatin1String("--log-only"))
            logOnly = true;
    }
    QDir().mkpath(cache);
    if (!logOnly)
        benchExport(cache);
    if (!exportOnly)
        benchLog(cache);
    return 0;
}
