// Moving 10,000 records to the trash and back, in their real windows:
//
//   trash_10k_s       "正在删除文件..." moving 10,000 records into the trash
//   restore_10k_s     "正在还原文件..." moving them back into their group
//   trash_stall_ms    the window thread's longest stall meanwhile (the
//   restore_stall_ms  longest gap between two turns of its event loop, a
//                     1 ms timer noting each turn)
//
// The records hold real content: 10 KB of random bytes each, nine in ten in
// the database, one in ten as a kept file of the store folder, each with
// its SHA-256. "cold" runs first drop the database file from the page cache,
// "warm" runs follow at once on the same archive. Each figure is the median
// of three rounds on a fresh archive (offscreen platform; the archive in the
// system's temporary folder or the one given). The plain names give the
// larger of the cold and warm medians.
//
//   trash_bench [folder]
#include "archive/FileRecords.h"
#include "archive/StoreFolder.h"
#include "archive/Trash.h"
#include "archive/ui/DeleteProgressWindow.h"
#include "platform/ProgramHome.h"
#include "platform/Prompter.h"
#include "platform/Sha256.h"
#include "platform/ui/JobWindow.h"
#include "store/CurrentOperator.h"
#include "store/DataStore.h"
#include "store/Dictionary.h"
#include "store/Rights.h"
#include "BenchArchive.h"
#include "BenchSupport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <vector>

namespace {

using namespace bench;

const QString kGroup = QStringLiteral("基准");
constexpr int kRecords = 10000;

class GoOn final : public Prompter {
public:
    void message(const QString& text, const QString&, Icon) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
    bool question(const QString&, const QString&) override { return true; }
    std::optional<QString> input(const QString&, const QString&, const QString& value, bool) override { return value; }
    QString openFile(const QString&, const QString&, const QString&) override { return {}; }
    QStringList openFiles(const QString&, const QString&, const QString&) override { return {}; }
    QString saveFile(const QString&, const QString&, const QString&) override { return {}; }
    QString chooseFolder(const QString&, const QString&) override { return {}; }
};

// The longest gap between two turns of this thread's event loop.
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

bool fill(DataStore& s, const QString& storeFolder)
{
    QRandomGenerator rng(11);
    QByteArray bytes(10240, Qt::Uninitialized);
    for (int i = 0; i < kRecords; i += 500) {
        Transaction tx(s);
        for (int j = i; j < i + 500; ++j) {
            rng.fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
            const QString number = QStringLiteral("%1").arg(j + 1, 10, 10, QLatin1Char('0'));
            const bool kept = j % 10 == 0;
            QString lj;
            if (kept) {
                const QString name = number + QStringLiteral(".bin");
                QFile f(QDir(storeFolder).filePath(name));
                if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
                    return false;
                lj = QStringLiteral("Data/Lf/") + name;
            }
            if (!s.execute(QStringLiteral("insert into wj(xh,bh,mc,fz,lx,dx,dxsz,scr,scsj,lj,sha256)"
                                          " values(?,?,?,?,'bin','10.00KB',?,'Admin','2026-01-01 12:00:00',?,?)"),
                           {j, number, QStringLiteral("文件%1").arg(j), kGroup, bytes.size(), lj, Sha256::of(bytes)}))
                return false;
            if (!kept && !s.execute(QStringLiteral("insert into wjnr(id, nr) values(?, ?)"), {s.lastInsertId(), bytes}))
                return false;
        }
        if (!tx.commit())
            return false;
    }
    return true;
}

QList<qint64> idsOf(DataStore& s, const QString& table)
{
    QList<qint64> ids;
    RecordSet rs = s.query(QStringLiteral("select id from %1 order by id").arg(table));
    for (; rs && !rs.atEnd(); rs.next())
        ids << rs.number(0);
    return ids;
}

struct Figures {
    std::vector<double> trashS, trashStall, restoreS, restoreStall;
};

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    GoOn goOn;
    setPrompter(&goOn);
    const QString base = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath();
    QTemporaryDir dir(base + QStringLiteral("/trash_bench-XXXXXX"));
    const CurrentOperator op{QStringLiteral("Admin"), QStringList{Rights::Add, Rights::Delete}.join(',')};

    Figures cold, warm;
    for (int round = 0; round < 3; ++round) {
        const QString home = dir.filePath(QStringLiteral("home"));
        if (!freshHome(home, kGroup))
            return 1;
        const ProgramHome h(home);
        DataStore store;
        if (!store.open(h.defaultDatabasePath()) || !fill(store, h.storeFolder()))
            return 1;
        const StoreFolder folder(h);
        FileRecords records(store, folder, op, Dictionary::storedSizeBound(store));
        for (Figures* f : {&cold, &warm}) {
            if (f == &cold)
                dropCache(h.defaultDatabasePath());
            {
                const QList<qint64> ids = idsOf(store, QStringLiteral("wj"));
                DeleteProgressWindow w(records);
                StallWatch watch;
                watch.start();
                const DeleteProgressWindow::Outcome out = w.run(ids);
                const auto [stall, ran] = watch.stop();
                if (out.deleted != kRecords || ids.size() != kRecords)
                    std::fprintf(stderr, "moved %d of %lld\n", out.deleted, qlonglong(ids.size()));
                f->trashS.push_back(ran / 1000);
                f->trashStall.push_back(stall);
            }
            if (f == &cold)
                dropCache(h.defaultDatabasePath());
            {
                const QList<qint64> ids = idsOf(store, QStringLiteral("wjhs"));
                JobOf<Trash::Outcome> job(Trash::RestoreTitle,
                                          Trash::restoreJob({store.location(), folder, op, {}}, ids));
                JobWindow w(Trash::RestoreTitle, nullptr, JobWindow::Lines::BarOnly);
                StallWatch watch;
                watch.start();
                const Status ran = w.run(job);
                const auto [stall, took] = watch.stop();
                if (!ran || job.result()->done != kRecords)
                    std::fprintf(stderr, "restored %d of %lld\n", ran ? job.result()->done : -1, qlonglong(ids.size()));
                f->restoreS.push_back(took / 1000);
                f->restoreStall.push_back(stall);
            }
        }
        store.close();
    }
    print("trash_10k_s_cold", median(cold.trashS), 3);
    print("trash_10k_s_warm", median(warm.trashS), 3);
    print("restore_10k_s_cold", median(cold.restoreS), 3);
    print("restore_10k_s_warm", median(warm.restoreS), 3);
    print("trash_stall_ms_cold", median(cold.trashStall), 1);
    print("trash_stall_ms_warm", median(warm.trashStall), 1);
    print("restore_stall_ms_cold", median(cold.restoreStall), 1);
    print("restore_stall_ms_warm", median(warm.restoreStall), 1);
    print("trash_10k_s", std::max(median(cold.trashS), median(warm.trashS)), 3);
    print("restore_10k_s", std::max(median(cold.restoreS), median(warm.restoreS)), 3);
    print("trash_stall_ms", std::max(median(cold.trashStall), median(warm.trashStall)), 1);
    print("restore_stall_ms", std::max(median(cold.restoreStall), median(warm.restoreStall)), 1);
    return 0;
}
