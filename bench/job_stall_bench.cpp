// The window's longest stall while a long run goes on in its real window:
// the longest gap between two turns of the window thread's event loop
// (a 1 ms timer notes each turn), from the click on "确定" to the run's end,
// and the run's own time.
//
//   stall_import_10k_ms   "批量导入文件" of 10,000 files of 10 KB
//   stall_export_10k_ms   "批量导出文件" of them, with sub-folders
//   stall_delete_10k_ms   "正在删除文件..." deleting them
//   stall_backup_2g_ms    "备份数据" of an archive of 2 GB (1 GB held in the
//                         database as 1,024 contents of 1 MB, 1 GB kept as 200
//                         files of 5 MB) from "全局参数"
//   stall_xlsx_100k_ms    "导出到Excel" of a list of 100,000 rows, one column
//
// Each figure is the median of three runs on a fresh archive (offscreen
// platform; the archive in the system's temporary folder or the one given).
//
//   job_stall_bench [folder]
#include "archive/FileRecords.h"
#include "archive/ProtectedGroups.h"
#include "archive/StoreFolder.h"
#include "archive/ui/BatchExportWindow.h"
#include "archive/ui/BatchImportWindow.h"
#include "archive/ui/DeleteProgressWindow.h"
#include "listing/ui/ExportExcelWindow.h"
#include "listing/ui/FileListViews.h"
#include "platform/Config.h"
#include "settings/ArchiveCare.h"
#include "settings/ui/GlobalSettingsWindow.h"
#include "shell/AppContext.h"
#include "platform/ProgramHome.h"
#include "platform/Prompter.h"
#include "store/CurrentOperator.h"
#include "store/DataStore.h"
#include "store/Dictionary.h"
#include "store/Rights.h"
#include "BenchArchive.h"
#include "BenchSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <vector>

namespace {

using namespace bench;

const QString kGroup = QStringLiteral("基准");

// Answers as an operator who goes on would: yes, and nothing to choose.
class GoOn final : public Prompter {
public:
    void message(const QString& text, const QString&, Icon) override
    {
        lastMessage = text;
        ++messages;
    }
    bool question(const QString&, const QString&) override { return true; }
    std::optional<QString> input(const QString&, const QString&, const QString& value, bool) override { return value; }
    QString openFile(const QString&, const QString&, const QString&) override { return {}; }
    QStringList openFiles(const QString&, const QString&, const QString&) override { return {}; }
    QString saveFile(const QString&, const QString&, const QString&) override { return {}; }
    QString chooseFolder(const QString&, const QString&) override { return folder; }
    QString folder;
    QString lastMessage;
    int messages = 0;
};

// The longest gap between two turns of this thread's event loop while it
// is watched.
class StallWatch : public QObject {
public:
    StallWatch()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const double now = m_clock.nsecsElapsed() / 1e6;
            m_longest = std::max(m_longest, now - m_last);
            m_last = now;
        });
    }
    void start()
    {
        m_clock.start();
        m_last = 0;
        m_longest = 0;
        m_timer.start();
    }
    // The longest gap, and the time since start().
    std::pair<double, double> stop()
    {
        m_timer.stop();
        const double now = m_clock.nsecsElapsed() / 1e6;
        return {std::max(m_longest, now - m_last), now};
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    double m_last = 0;
    double m_longest = 0;
};

struct Figures {
    double stallMs = -1;
    double runMs = -1;
};

// Shows a batch window, clicks "确定" once it is up, and closes it when
// its run has ended (seen by the button coming back, or by the window
// closing itself).
template <typename Window> Figures runBatchWindow(Window& w)
{
    StallWatch watch;
    Figures f;
    QTimer::singleShot(0, &w, [&] {
        auto* ok = w.template findChild<QPushButton*>(QStringLiteral("确定按钮"));
        if (!ok) {
            std::fprintf(stderr, "no 确定按钮\n");
            w.reject();
            return;
        }
        watch.start();
        ok->click();
        auto* poll = new QTimer(&w);
        QObject::connect(poll, &QTimer::timeout, &w, [&, ok, poll] {
            if (!ok->isEnabled())
                return;
            poll->stop();
            const auto [stall, ran] = watch.stop();
            f = {stall, ran};
            w.accept();
        });
        poll->start(5);
    });
    bool closed = false;
    QObject::connect(&w, &QDialog::finished, &w, [&] { closed = true; });
    w.exec();
    // A window that closes itself at the end of its run.
    if (f.runMs < 0 && closed) {
        const auto [stall, ran] = watch.stop();
        f = {stall, ran};
    }
    return f;
}

struct Bench {
    QString sources;
    QStringList files;
    ProtectedGroups open;
    CurrentOperator op{QStringLiteral("Admin"),
                       QStringList{Rights::Add, Rights::Delete, Rights::BatchImport, Rights::BatchExport}.join(',')};
};

QByteArray randomBytes(qint64 size)
{
    QByteArray b(int(size), Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(b.data()), int(size / 4));
    return b;
}

// 1 GB held in the database (1,024 contents of 1 MB) and 1 GB kept in the
// store folder (200 files of 5 MB).
bool fillTwoGigabytes(DataStore& s, const QString& storeFolder)
{
    constexpr qint64 MiB = 1024 * 1024;
    for (int i = 0; i < 1024; i += 64) {
        Transaction tx(s);
        for (int j = i; j < i + 64; ++j) {
            if (!s.execute(QStringLiteral("insert into wj(bh,mc,fz,lx,dxsz,lj) values(?,?,?,'bin',?,'')"),
                           {QStringLiteral("%1").arg(j, 10, 10, QLatin1Char('0')), QStringLiteral("held%1").arg(j),
                            kGroup, MiB})
                || !s.execute(QStringLiteral("insert into wjnr(id, nr) values(?, ?)"),
                              {s.lastInsertId(), randomBytes(MiB)}))
                return false;
        }
        if (!tx.commit())
            return false;
    }
    Transaction tx(s);
    for (int k = 0; k < 200; ++k) {
        const QString name = QStringLiteral("%1.bin").arg(1024 + k, 10, 10, QLatin1Char('0'));
        QFile f(QDir(storeFolder).filePath(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(randomBytes(5 * MiB)) != 5 * MiB)
            return false;
        if (!s.execute(QStringLiteral("insert into wj(bh,mc,fz,lx,dxsz,lj) values(?,?,?,'bin',?,?)"),
                       {QStringLiteral("%1").arg(1024 + k, 10, 10, QLatin1Char('0')), QStringLiteral("kept%1").arg(k),
                        kGroup, 5 * MiB, QStringLiteral("Data/Lf/") + name}))
            return false;
    }
    return tx.commit();
}

// 100,000 rows in one group.
bool fillList(DataStore& s)
{
    Transaction tx(s);
    for (int i = 0; i < 100000; ++i) {
        if (!s.execute(QStringLiteral("insert into wj(xh,bh,mc,fz,lx,dxsz,scr) values(?,?,?,?,'doc',?,'Admin')"),
                       {i, QStringLiteral("%1").arg(i, 10, 10, QLatin1Char('0')),
                        QStringLiteral("项目文件%1.doc").arg(i), kGroup, 1000 + i}))
            return false;
    }
    return tx.commit();
}

// Runs `start` with the stall watch on until `running` says the run is over.
template <typename Start, typename Running> Figures watchWhile(Start start, Running running)
{
    StallWatch watch;
    watch.start();
    start();
    while (running())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    const auto [stall, ran] = watch.stop();
    return {stall, ran};
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    GoOn goOn;
    setPrompter(&goOn);
    const QString base = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath();
    QTemporaryDir dir(base + QStringLiteral("/job_stall_bench-XXXXXX"));
    Bench b;
    b.sources = dir.filePath(QStringLiteral("src10k"));
    QDir().mkpath(b.sources);
    QRandomGenerator rng(7);
    QByteArray bytes(10240, Qt::Uninitialized);
    for (int i = 0; i < 10000; ++i) {
        rng.fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
        const QString path = b.sources + QStringLiteral("/文件%1.bin").arg(i, 5, 10, QLatin1Char('0'));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            return 1;
        b.files << path;
    }
    settle();

    std::vector<double> importStall, importRun, exportStall, exportRun, deleteStall, deleteRun;
    std::vector<double> backupStall, backupRun, xlsxStall, xlsxRun;
    for (int round = 0; round < 3; ++round) {
        const QString home = dir.filePath(QStringLiteral("home"));
        if (!freshHome(home, kGroup))
            return 1;
        const ProgramHome h(home);
        DataStore store;
        if (!store.open(h.defaultDatabasePath()))
            return 1;
        const StoreFolder folder(h);
        {
            BatchImport::Setup setup{store.location(),
                                     folder,
                                     b.op,
                                     b.open,
                                     Dictionary::storedSizeBound(store),
                                     kGroup,
                                     BatchImport::into(kGroup, b.files)};
            BatchImportWindow w(std::move(setup));
            const Figures f = runBatchWindow(w);
            importStall.push_back(f.stallMs);
            importRun.push_back(f.runMs);
        }
        settle();
        {
            const QString target = dir.filePath(QStringLiteral("exported"));
            QDir(target).removeRecursively();
            QDir().mkpath(target);
            BatchExportWindow w(store, folder, b.op, b.open, kGroup, target);
            const Figures f = runBatchWindow(w);
            exportStall.push_back(f.stallMs);
            exportRun.push_back(f.runMs);
            QDir(target).removeRecursively();
        }
        settle();
        {
            QList<qint64> ids;
            RecordSet rs = store.query(QStringLiteral("select id from wj order by id"));
            for (; rs && !rs.atEnd(); rs.next())
                ids << rs.number(0);
            rs.close();
            FileRecords records(store, folder, b.op, Dictionary::storedSizeBound(store));
            DeleteProgressWindow w(records);
            StallWatch watch;
            watch.start();
            const DeleteProgressWindow::Outcome out = w.run(ids);
            const auto [stall, ran] = watch.stop();
            if (out.deleted != ids.size())
                std::fprintf(stderr, "deleted %d of %lld\n", out.deleted, qlonglong(ids.size()));
            deleteStall.push_back(stall);
            deleteRun.push_back(ran);
        }
        settle();
        {
            // The list of 100,000 rows, exported with one column ticked.
            if (!fillList(store))
                return 1;
            AppContext context(home);
            QWidget host;
            host.resize(1024, 768);
            FileListViews views(store, context.protectedGroups, context.mainSettings, &host);
            views.load(FilterClause::everything());
            views.waitUntilLoaded(600000);
            Config config(dir.filePath(QStringLiteral("Config.ini")));
            ExportExcelWindow w(views, config, &host);
            w.setWorkbookFolder(dir.filePath(QStringLiteral("private")));
            w.setOpener([](const QString&) { return true; });
            w.findChild<QCheckBox*>(QStringLiteral("选择框1"))->click();
            const Figures f = watchWhile([&] { w.start(); }, [&] { return w.isRunning(); });
            xlsxStall.push_back(f.stallMs);
            xlsxRun.push_back(f.runMs);
            QFile::remove(w.lastWorkbook());
            if (!store.execute(QStringLiteral("delete from wj")))
                return 1;
        }
        settle();
        {
            if (!fillTwoGigabytes(store, h.storeFolder()))
                return 1;
            settle();
            const QString target = dir.filePath(QStringLiteral("backup"));
            QDir(target).removeRecursively();
            QDir().mkpath(target);
            goOn.folder = target;
            GlobalSettingsWindow w(store, ArchivePlace::of(h, ArchiveLocation::file(h.defaultDatabasePath())), {});
            w.show();
            // The backup is over when its end is told ("备份成功!" or why not).
            const int told = goOn.messages;
            const Figures f = watchWhile([&] { QTimer::singleShot(0, &w, &GlobalSettingsWindow::backupArchive); },
                                         [&] { return goOn.messages == told; });
            if (!goOn.lastMessage.startsWith(ArchiveCare::BackupDone))
                std::fprintf(stderr, "backup: %s\n", qPrintable(goOn.lastMessage));
            backupStall.push_back(f.stallMs);
            backupRun.push_back(f.runMs);
            goOn.folder.clear();
            QDir(target).removeRecursively();
        }
        store.close();
    }
    print("stall_import_10k_ms", median(importStall));
    print("import_10k_window_ms", median(importRun), 0);
    print("stall_export_10k_ms", median(exportStall));
    print("export_10k_window_ms", median(exportRun), 0);
    print("stall_delete_10k_ms", median(deleteStall));
    print("delete_10k_window_ms", median(deleteRun), 0);
    print("stall_xlsx_100k_ms", median(xlsxStall));
    print("xlsx_100k_window_ms", median(xlsxRun), 0);
    print("stall_backup_2g_ms", median(backupStall));
    print("backup_2g_window_ms", median(backupRun), 0);
    return 0;
}
