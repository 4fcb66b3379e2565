// What an operator feels in the real main window over a million records,
// each figure beside the sqlite3 shell doing the same work.
//
// Each round starts the program anew as a child process (this program with
// --child, which runs the program's own start-up on the offscreen platform)
// on a cached archive that list_bench's layout makes, logs in as Admin and
// then, as an operator would: waits for the root list's first rows, clicks
// the large group (a seventh of the archive) in the tree and waits for its
// statistics line, searches the file names for a rare two-character word
// (a handful of hits, through the field tokens, which are written before
// the rounds), a common three-character and a common two-character one.
// The child reports the times and its peak resident memory; the parent runs the
// sqlite3 references between the children (interleaved, the order changing
// each round) and prints medians.
//
// Cold rounds drop the archive's pages and those of the program and the
// libraries it maps from the page cache first (sync, posix_fadvise
// DONTNEED); the machine's other caches are kept (dropping them needs root).
//
//   window_bench [--records N] [--cache DIR] [--warm-runs N] [--cold-runs N] [--only content|nocontent]
#include "archive/GroupPath.h"
#include "archive/ui/GroupTreePane.h"
#include "listing/FileListLoader.h"
#include "listing/FileListModel.h"
#include "listing/ui/FileListViews.h"
#include "shell/ui/MainWindow.h"
#include "shell/ui/Startup.h"
#include "store/DataStore.h"
#include "store/FieldTokens.h"
#include "BenchArchive.h"
#include "BenchSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <functional>
#include <map>
#include <vector>

extern char** environ;

namespace {

using namespace bench;

// Milliseconds on the monotonic clock, the same in the parent and the child.
double nowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// ---- the child: the program itself, driven as an operator would ----------

struct ChildOptions {
    bool active = false;
    double t0 = 0;
    QString group;
};
ChildOptions g_child;

void report(const char* name, double value)
{
    std::printf("%s %.1f\n", name, value);
    std::fflush(stdout);
}

// Serves events until done() or timeoutMs passed; false on timeout.
bool waitFor(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

QTreeWidgetItem* findGroup(QTreeWidget* tree, const QString& path)
{
    if (tree->topLevelItemCount() == 0)
        return nullptr;
    QTreeWidgetItem* item = tree->topLevelItem(0);  // the root
    for (const QString& name : GroupPath::split(path)) {
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < item->childCount() && !next; ++i)
            if (item->child(i)->text(0) == name)
                next = item->child(i);
        if (!next)
            return nullptr;
        item = next;
    }
    return item;
}

class Driver : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Show || !watched->isWidgetType())
            return false;
        auto* w = static_cast<QWidget*>(watched);
        if (!w->isWindow())
            return false;
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            // Nothing should ask anything here: say so and go on.
            std::fprintf(stderr, "child: message \"%s\" answered\n", qPrintable(box->text()));
            QTimer::singleShot(0, box, [box] { box->accept(); });
            return false;
        }
        if (w->objectName() == QLatin1String("LoginWindow") && !m_loginSeen) {
            m_loginSeen = true;
            report("launch_to_login_ms", nowMs() - g_child.t0);
            report("rss_login_mb", statusMb("VmRSS:"));
            if (qEnvironmentVariableIsSet("WINDOW_BENCH_EXIT_AT_LOGIN"))
                std::_Exit(0);  // for profiling the start-up alone
            QTimer::singleShot(0, w, [w] { logIn(w); });
        } else if (auto* main = qobject_cast<MainWindow*>(w); main && !m_mainSeen) {
            m_mainSeen = true;
            QTimer::singleShot(0, main, [main] { operate(main); });
        }
        return false;
    }

private:
    static void logIn(QWidget* login)
    {
        auto* users = login->findChild<QComboBox*>(QStringLiteral("组合框1"));
        auto* password = login->findChild<QLineEdit*>(QStringLiteral("密码编辑框"));
        auto* button = login->findChild<QPushButton*>(QStringLiteral("登录按钮"));
        if (!users || !password || !button) {
            std::fprintf(stderr, "child: login window units missing\n");
            std::_Exit(3);
        }
        users->setCurrentIndex(users->findText(QStringLiteral("Admin")));
        password->clear();
        s_enter = nowMs();
        // The first rows are watched from here on: the main window is
        // built and starts its load inside the login's hand-over.
        auto* poll = new QTimer(qApp);
        poll->setTimerType(Qt::PreciseTimer);
        QObject::connect(poll, &QTimer::timeout, poll, [poll] {
            for (QWidget* top : QApplication::topLevelWidgets()) {
                auto* main = qobject_cast<MainWindow*>(top);
                if (main && main->list() && main->list()->model()->rowCount() > 0) {
                    report("login_to_rows_ms", nowMs() - s_enter);
                    poll->deleteLater();
                    poll->stop();
                    return;
                }
            }
        });
        poll->start(1);
        QTest::keyClick(button, Qt::Key_Return);
        if (button->isEnabled())
            button->click();
    }

    static void operate(MainWindow* main)
    {
        FileListViews* list = main->list();
        FileListLoader* loader = list->loader();
        if (!waitFor([&] { return list->model()->rowCount() > 0 && !loader->isLoading(); }, 600000)) {
            std::fprintf(stderr, "child: the root list did not load\n");
            std::_Exit(3);
        }
        report("root_rows", list->model()->rowCount());
        report("rss_root_mb", statusMb("VmRSS:"));
        report("peak_rss_root_mb", peakRssMb());

        // A click on the large group: its statistics line.
        QTreeWidget* tree = main->tree();
        QTreeWidgetItem* item = findGroup(tree, g_child.group);
        if (!item) {
            std::fprintf(stderr, "child: group %s not in the tree\n", qPrintable(g_child.group));
            std::_Exit(3);
        }
        for (QTreeWidgetItem* up = item->parent(); up; up = up->parent())
            up->setExpanded(true);
        tree->scrollToItem(item);
        waitFor([&] { return tree->visualItemRect(item).isValid(); }, 5000);
        QCoreApplication::processEvents();
        QString line;
        auto conn =
            QObject::connect(list, &FileListViews::statisticsChanged, list, [&](const QString& l) { line = l; });
        const double clicked = nowMs();
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
        if (!waitFor([&] { return !line.isEmpty(); }, 60000))
            std::fprintf(stderr, "child: no statistics line for the group (current %s, rect %d,%d)\n",
                         qPrintable(tree->currentItem() ? tree->currentItem()->text(0) : QString()),
                         tree->visualItemRect(item).center().x(), tree->visualItemRect(item).center().y());
        else
            report("stats_large_group_ms", nowMs() - clicked);
        waitFor([&] { return !loader->isLoading(); }, 600000);
        report("group_rows", list->model()->rowCount());
        report("peak_rss_group_mb", peakRssMb());
        QObject::disconnect(conn);

        search(main, RareWord, "search_rare2");
        search(main, QStringLiteral("协议书"), "search_common3");
        search(main, QStringLiteral("合同"), "search_common2");
        report("peak_rss_mb", peakRssMb());
        std::fflush(stdout);
        QCoreApplication::exit(0);
    }

    // "搜索" on the file name, as the search window takes it; reports the
    // first rows and the statistics line after the click on "搜索".
    static void search(MainWindow* main, const QString& word, const char* tag)
    {
        FileListViews* list = main->list();
        double clicked = -1;
        QTimer::singleShot(0, [&] {
            auto* w = QApplication::activeModalWidget();
            if (!w)
                return;
            auto* field = w->findChild<QComboBox*>(QStringLiteral("搜索字段组合框"));
            auto* text = w->findChild<QLineEdit*>(QStringLiteral("编辑框1"));
            auto* add = w->findChild<QPushButton*>(QStringLiteral("增加按钮"));
            auto* go = w->findChild<QPushButton*>(QStringLiteral("搜索按钮"));
            auto* clear = w->findChild<QPushButton*>(QStringLiteral("清空按钮"));
            if (!field || !text || !add || !go) {
                std::fprintf(stderr, "child: search window units missing\n");
                std::_Exit(3);
            }
            if (clear)
                QTest::mouseClick(clear, Qt::LeftButton);
            field->setCurrentIndex(field->findText(QStringLiteral("文件名称")));
            text->setText(word);
            QTest::mouseClick(add, Qt::LeftButton);
            clicked = nowMs();
            QTest::mouseClick(go, Qt::LeftButton);
        });
        double first = -1;
        double stats = -1;
        auto rows = QObject::connect(list->loader(), &FileListLoader::rowsArrived, list, [&](int) {
            if (first < 0 && clicked >= 0)
                first = nowMs() - clicked;
        });
        // No rows at all: the answer is the end of the load.
        auto ended = QObject::connect(list->loader(), &FileListLoader::loaded, list, [&](bool) {
            if (first < 0 && clicked >= 0)
                first = nowMs() - clicked;
        });
        auto line = QObject::connect(list, &FileListViews::statisticsChanged, list, [&](const QString& l) {
            if (stats < 0 && clicked >= 0 && !l.isEmpty())
                stats = nowMs() - clicked;
        });
        list->search(QStringLiteral("Admin"));
        if (clicked < 0) {
            std::fprintf(stderr, "child: the search window did not open\n");
            std::_Exit(3);
        }
        waitFor([&] { return first >= 0 && stats >= 0 && !list->loader()->isLoading(); }, 60000);
        QObject::disconnect(rows);
        QObject::disconnect(ended);
        QObject::disconnect(line);
        report(QByteArray(tag).append("_ms").constData(), first);
        report(QByteArray(tag).append("_stats_ms").constData(), stats);
        report(QByteArray(tag).append("_rows").constData(), list->model()->rowCount());
    }

    bool m_loginSeen = false;
    bool m_mainSeen = false;
    static inline double s_enter = 0;
};

void installDriver()
{
    if (g_child.active)
        qApp->installEventFilter(new Driver(qApp));
}
Q_COREAPP_STARTUP_FUNCTION(installDriver)

int runChild(const QStringList& args)
{
    QString home;
    for (int i = 0; i + 1 < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--home"))
            home = args.at(i + 1);
        else if (args.at(i) == QLatin1String("--t0"))
            g_child.t0 = args.at(i + 1).toDouble();
        else if (args.at(i) == QLatin1String("--group"))
            g_child.group = args.at(i + 1);
    }
    g_child.active = true;
    QByteArray a0 = args.at(0).toLocal8Bit(), a1("--home"), a2 = home.toLocal8Bit();
    char* argv[] = {a0.data(), a1.data(), a2.data(), nullptr};
    return Startup::run(3, argv);
}

// ---- the parent ------------------------------------------------------------

using Figures = std::map<QByteArray, double>;

// One child: the figures it reported, empty when it failed.
Figures runOnce(const QString& program, const Archive& a)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // A screen of an office desktop, so start-up gives no advice on it.
    static const QString screens = [] {
        const QString path = QDir::tempPath() + QStringLiteral("/window_bench-screen.json");
        QFile f(path);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(R"({"screens": [{"name": "office", "x": 0, "y": 0, "width": 1280, "height": 1024,)"
                    R"( "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
        return path;
    }();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen:configfile=") + screens);
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const double t0 = nowMs();
    p.start(program,
            {QStringLiteral("--child"), QStringLiteral("--home"), a.folder, QStringLiteral("--t0"),
             QString::number(t0, 'f', 3), QStringLiteral("--group"), kLargeGroup});
    Figures f;
    if (!p.waitForFinished(900000) || p.exitCode() != 0) {
        std::fprintf(stderr, "child failed (exit %d)\n", p.exitCode());
        return f;
    }
    for (const QByteArray& l : p.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> parts = l.split(' ');
        if (parts.size() == 2)
            f[parts.at(0)] = parts.at(1).toDouble();
    }
    return f;
}

// Wall time and peak resident memory of one sqlite3 run, its output thrown away.
struct ShellRun {
    double ms = -1;
    double peakMb = -1;
};

ShellRun shellRun(const QString& db, const QString& sql)
{
    const QByteArray d = db.toLocal8Bit(), s = sql.toUtf8();
    char* argv[] = {const_cast<char*>("sqlite3"), const_cast<char*>(d.constData()), const_cast<char*>(s.constData()),
                    nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    QElapsedTimer t;
    t.start();
    const int rc = posix_spawnp(&pid, "sqlite3", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ShellRun r;
    if (rc != 0)
        return r;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return r;
    r.ms = t.nsecsElapsed() / 1e6;
    r.peakMb = usage.ru_maxrss / 1024.0;
    return r;
}

// The files a cold start reads: the program and the libraries it maps.
QStringList mappedFiles()
{
    QStringList out;
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray& l : maps.readAll().split('\n')) {
        const int slash = int(l.indexOf('/'));
        if (slash < 0)
            continue;
        const QString path = QString::fromLocal8Bit(l.mid(slash));
        if (!out.contains(path) && QFileInfo(path).isFile())
            out << path;
    }
    return out;
}

struct References {
    QString launch;   // opening the archive
    QString rows;     // the root list's first rows
    QString stats;    // the group's count and size
    QString rare2;    // every name with the rare word: a scan of the table
    QString common3;  // the first rows of the common word
    QString common2;  // the first rows of a common two-character word
    QString all;      // the whole root list (its peak memory)
};

References references()
{
    const QString cols = QStringLiteral("id,bh,mc,fz,lx,dx,scr,scsj,xgr,xgsj,b1,b2,b3");
    const auto within = GroupPath::withSubgroups(kLargeGroup);
    References r;
    r.launch = QStringLiteral("select count(*) from sqlite_master");
    r.rows = QStringLiteral("select %1 from wj order by xh limit 200").arg(cols);
    r.stats = literalSql(QStringLiteral("select count(*),sum(dxsz) from wj where ") + within.sql, within.params);
    r.rare2 = QStringLiteral("select %1 from wj where mc like '%%2%' order by xh").arg(cols, RareWord);
    r.common3 = QStringLiteral("select %1 from wj where mc like '%协议书%' order by xh limit 200").arg(cols);
    r.common2 = QStringLiteral("select %1 from wj where mc like '%合同%' order by xh limit 200").arg(cols);
    r.all = QStringLiteral("select %1 from wj order by xh").arg(cols);
    return r;
}

void measure(const QString& program, const Archive& a, const QByteArray& tag, int warmRuns, int coldRuns)
{
    const References ref = references();
    const QStringList cold = mappedFiles() << a.database;
    const double shellStart = shellStartMs(a.database);
    std::map<QByteArray, std::vector<double>> mine, theirs;
    auto take = [&](const Figures& f) {
        for (const auto& [k, v] : f)
            if (v >= 0)
                mine[k].push_back(v);
    };
    auto shellRound = [&](const QByteArray& prefix, bool dropFirst) {
        const std::pair<const char*, const QString*> steps[] = {{"launch_to_login_ms", &ref.launch},
                                                                {"login_to_rows_ms", &ref.rows},
                                                                {"stats_large_group_ms", &ref.stats},
                                                                {"search_rare2_ms", &ref.rare2},
                                                                {"search_common3_ms", &ref.common3},
                                                                {"search_common2_ms", &ref.common2},
                                                                {"peak_rss_mb", &ref.all}};
        for (const auto& [name, sql] : steps) {
            if (dropFirst && sql == &ref.launch)
                dropPages(cold);
            const ShellRun r = shellRun(a.database, *sql);
            const QByteArray key = prefix + name;
            if (r.ms >= 0)
                theirs[key].push_back(qstrcmp(name, "peak_rss_mb") == 0 ? r.peakMb : r.ms);
        }
    };
    for (int r = 0; r < warmRuns; ++r)
        alternate(
            r, [&] { take(runOnce(program, a)); }, [&] { shellRound("", false); });
    for (int r = 0; r < coldRuns; ++r) {
        alternate(
            r,
            [&] {
                dropPages(cold);
                const Figures f = runOnce(program, a);
                if (auto it = f.find("launch_to_login_ms"); it != f.end())
                    mine["cold_launch_to_login_ms"].push_back(it->second);
                if (auto it = f.find("login_to_rows_ms"); it != f.end())
                    mine["cold_login_to_rows_ms"].push_back(it->second);
            },
            [&] { shellRound("cold_", true); });
    }
    auto line = [&](const QByteArray& name, const QByteArray& key, const QByteArray& refKey) {
        print("window_" + name + "_" + tag, median(mine[key]));
        print("window_" + name + "_" + tag + "_sqlite3", median(theirs[refKey]));
    };
    line("launch_to_login_ms", "launch_to_login_ms", "launch_to_login_ms");
    line("login_to_rows_ms", "login_to_rows_ms", "login_to_rows_ms");
    line("stats_large_group_ms", "stats_large_group_ms", "stats_large_group_ms");
    line("search_rare2_ms", "search_rare2_ms", "search_rare2_ms");
    line("search_common3_ms", "search_common3_ms", "search_common3_ms");
    line("search_common2_ms", "search_common2_ms", "search_common2_ms");
    line("peak_rss_1m_mb", "peak_rss_mb", "peak_rss_mb");
    print("window_peak_rss_root_mb_" + tag, median(mine["peak_rss_root_mb"]));
    print("window_peak_rss_group_mb_" + tag, median(mine["peak_rss_group_mb"]));
    print("window_search_rare2_stats_ms_" + tag, median(mine["search_rare2_stats_ms"]));
    print("window_search_common3_stats_ms_" + tag, median(mine["search_common3_stats_ms"]));
    print("window_search_common2_stats_ms_" + tag, median(mine["search_common2_stats_ms"]));
    print("window_search_rare2_rows_" + tag, median(mine["search_rare2_rows"]), 0);
    print("window_search_common3_rows_" + tag, median(mine["search_common3_rows"]), 0);
    print("window_search_common2_rows_" + tag, median(mine["search_common2_rows"]), 0);
    print("window_group_rows_" + tag, median(mine["group_rows"]), 0);
    print("window_stats_line_missing_" + tag, double(warmRuns - int(mine["search_rare2_stats_ms"].size())), 0);
    if (coldRuns > 0) {
        line("cold_launch_to_login_ms", "cold_launch_to_login_ms", "cold_launch_to_login_ms");
        line("cold_login_to_rows_ms", "cold_login_to_rows_ms", "cold_login_to_rows_ms");
    }
    print("sqlite3_start_ms", shellStart);
}

}  // namespace

int main(int argc, char** argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    if (args.contains(QLatin1String("--child")))
        return runChild(args);

    QCoreApplication app(argc, argv);
    int n = 1000000;
    int warmRuns = 5;
    int coldRuns = 2;
    QString only;
    QString cache = QDir::tempPath() + QStringLiteral("/korvane-bench-cache");
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args.at(i) == QLatin1String("--records"))
            n = args.at(i + 1).toInt();
        else if (args.at(i) == QLatin1String("--cache"))
            cache = args.at(i + 1);
        else if (args.at(i) == QLatin1String("--warm-runs"))
            warmRuns = args.at(i + 1).toInt();
        else if (args.at(i) == QLatin1String("--cold-runs"))
            coldRuns = args.at(i + 1).toInt();
        else if (args.at(i) == QLatin1String("--only"))
            only = args.at(i + 1);
    }
    QDir().mkpath(cache);
    note("records", QByteArray::number(n));
    note("cold_runs", "archive, program and library pages dropped from the page cache; other caches kept");
    for (const bool content : {true, false}) {
        const QByteArray tag = content ? "content" : "nocontent";
        if (!only.isEmpty() && only.toLatin1() != tag)
            continue;
        const auto a = ensureArchive(cache, QString::fromLatin1(tag), n, content);
        if (!a)
            return 1;
        // The field tokens written first, as the catch-up writes them after
        // the upgrade: the rounds then search through them, and no round's
        // catch-up spends its time on them.
        {
            DataStore store;
            if (!store.open(a->database))
                return 1;
            const qint64 queued = FieldTokens::queued(store).valueOr(-1);
            QElapsedTimer t;
            t.start();
            if (const Status worked = FieldTokens::workOff(store); !worked) {
                std::fprintf(stderr, "field tokens: %s\n", qPrintable(worked.detail()));
                return 1;
            }
            if (queued > 0) {
                print("window_field_tokens_queued_" + tag, double(queued), 0);
                print("window_field_tokens_workoff_s_" + tag, t.elapsed() / 1000.0);
            }
        }
        measure(QCoreApplication::applicationFilePath(), *a, tag, warmRuns, coldRuns);
    }
    return 0;
}
