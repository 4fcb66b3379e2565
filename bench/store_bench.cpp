// Storing files through FileRecords::add, the code the edit panel uses:
// 10 KB, 1 MB and 9 MB into the database and 200 MB into the store folder,
// each compared with cp of the same file on the same disk, plus the peak
// memory of the 200 MB case (stored by a child process of its own, so that
// the peak is the add's and not that of laying out the archive).
//
// The comparison is with "cp src dst && sync dst": an add is durable when it
// reports success (the database commits with full syncs, a kept file is
// synced before its rename), so cp gets the same sync. The ratio against a
// bare cp is printed too ("_ratio_nosync").
//
// Both sides are measured alike: everything written before is on disk
// first (sync), the side runs, and then, not measured, its output goes
// again (the record with its kept file, or cp's copy) followed by a sync, so
// that the write-back and the discard of the freed blocks (the disk is
// mounted with online discard) land before the next measurement and never
// on the other side's clock. Sides alternate which goes first.
// The size bound is the archive's default (zdbh '文件尺寸').
//
// Usage: store_bench [folder]   (default: the system's temporary folder)

#include "archive/FileRecords.h"
#include "archive/StoreFolder.h"
#include "store/CurrentOperator.h"
#include "platform/ProgramHome.h"
#include "store/HomeLayout.h"
#include "store/DataStore.h"
#include "store/Dictionary.h"
#include "store/Schema.h"
#include "BenchSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using namespace bench;

double cpMs(const QString& src, const QString& dst, bool withSync)
{
    // Whatever earlier steps left dirty is written back first, so that no
    // measurement pays for the one before it.
    settle();
    const double ms = copyMs(src, dst, withSync);
    QFile::remove(dst);
    settle();
    return ms;
}

struct Case {
    const char* name;
    qint64 size;
    int runs;
};

}  // namespace

// Child mode: "--store-one HOME SOURCE" stores one file in the archive of
// HOME and prints its time and this process's peak memory.
int storeOne(const QString& homeFolder, const QString& source)
{
    const ProgramHome home(homeFolder);
    DataStore store;
    if (!store.open(home.defaultDatabasePath()))
        return 1;
    const CurrentOperator op(QStringLiteral("Admin"), Schema::allRightsText());
    const QString bound = Dictionary::readOr(store, Dictionary::FileSize, QStringLiteral("1"));
    FileRecords records(store, StoreFolder(home), op, Dictionary::sizeBoundBytes(bound));
    RecordFields fields;
    fields.group = QStringLiteral("基准");
    fields.name = QFileInfo(source).completeBaseName();
    const qint64 before = peakRssKb();
    QElapsedTimer t;
    t.start();
    const Result<StoredRecord> r = records.add(fields, source);
    const double ms = t.nsecsElapsed() / 1e6;
    if (!r.ok()) {
        std::fprintf(stderr, "add failed: %s %s\n", qPrintable(r.message()), qPrintable(r.detail()));
        return 1;
    }
    std::printf("%.3f %.1f %.1f %lld\n", ms, peakRssKb() / 1024.0, before / 1024.0, r->id);
    return 0;
}

// Child mode: "--save-out HOME ID TARGET" saves record ID out and prints
// its time and this process's peak memory.
int saveOutOne(const QString& homeFolder, qint64 id, const QString& target)
{
    const ProgramHome home(homeFolder);
    DataStore store;
    if (!store.open(home.defaultDatabasePath()))
        return 1;
    const CurrentOperator op(QStringLiteral("Admin"), Schema::allRightsText());
    FileRecords records(store, StoreFolder(home), op, Dictionary::sizeBoundBytes(QStringLiteral("10")));
    const qint64 before = peakRssKb();
    QElapsedTimer t;
    t.start();
    const Result<StoredRecord> r = records.saveOut(id, target);
    const double ms = t.nsecsElapsed() / 1e6;
    if (!r.ok())
        return 1;
    std::printf("%.3f %.1f %.1f\n", ms, peakRssKb() / 1024.0, before / 1024.0);
    return 0;
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && QLatin1String(argv[1]) == QLatin1String("--store-one"))
        return storeOne(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    if (argc == 5 && QLatin1String(argv[1]) == QLatin1String("--save-out"))
        return saveOutOne(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toLongLong(),
                          QString::fromLocal8Bit(argv[4]));
    const QString base = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath();
    QTemporaryDir dir(base + QStringLiteral("/korvane-bench-XXXXXX"));
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot create a folder under %s\n", qPrintable(base));
        return 1;
    }
    const QString homeFolder = dir.filePath(QStringLiteral("home"));
    const QString sources = dir.filePath(QStringLiteral("src"));
    QDir().mkpath(sources);
    const Status laidOut = HomeLayout::create(homeFolder);
    if (!laidOut) {
        std::fprintf(stderr, "%s\n", qPrintable(laidOut.message()));
        return 1;
    }
    const ProgramHome home(homeFolder);
    DataStore store;
    if (!store.open(home.defaultDatabasePath())) {
        std::fprintf(stderr, "%s\n", qPrintable(store.lastError()));
        return 1;
    }
    store.execute(QStringLiteral("insert into wjfz(fxmid,xmmc,tpid,xztp,mm) values (0,'基准',0,0,'')"));
    const CurrentOperator op(QStringLiteral("Admin"), Schema::allRightsText());
    // The archive's own default bound.
    const QString initial = Dictionary::readOr(store, Dictionary::FileSize, QStringLiteral("1"));
    const qint64 bound = Dictionary::sizeBoundBytes(initial);
    FileRecords records(store, StoreFolder(home), op, bound);
    std::printf("size_bound_mb: %s\n", qPrintable(initial));

    RecordFields fields;
    fields.group = QStringLiteral("基准");

    qint64 lastId = -1;
    // Saves record id out in a child process: {ms, peak MB, peak before MB}.
    auto saveOutInChild = [&](qint64 id) -> std::vector<double> {
        store.close();
        settle();
        const QString target = QDir(sources).filePath(QStringLiteral("out.bin"));
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--save-out"), homeFolder, QString::number(id), target});
        child.waitForFinished(-1);
        const QList<QByteArray> f = child.readAllStandardOutput().trimmed().split(' ');
        QFile::remove(target);
        store.open(home.defaultDatabasePath());
        if (child.exitCode() != 0 || f.size() != 3)
            return {0, 0, 0};
        return {f[0].toDouble(), f[1].toDouble(), f[2].toDouble()};
    };
    // Not measured: the record goes again with its kept file, and what that
    // freed is written back and discarded before anything else is timed.
    auto removeRecord = [&](qint64 id) {
        const auto gone = records.remove(id);
        if (!gone.ok()) {
            std::fprintf(stderr, "remove failed: %s %s\n", qPrintable(gone.message()), qPrintable(gone.detail()));
            std::exit(1);
        }
        settle();
    };
    auto storeOnce = [&](const QString& src, qint64 boundBytes, bool keep = false) {
        records.setSizeBound(boundBytes);
        fields.name = QFileInfo(src).completeBaseName();
        settle();
        QElapsedTimer t;
        t.start();
        const Result<StoredRecord> r = records.add(fields, src);
        const double ms = t.nsecsElapsed() / 1e6;
        if (!r.ok()) {
            std::fprintf(stderr, "add failed: %s %s\n", qPrintable(r.message()), qPrintable(r.detail()));
            std::exit(1);
        }
        lastId = r->id;
        if (!keep)
            removeRecord(r->id);
        return ms;
    };

    const Case cases[] = {
        {"200m", qint64(200) << 20, 3},
        {"10k", 10 << 10, 21},
        {"1m", 1 << 20, 11},
        {"9m", qint64(9) << 20, 7},
    };
    for (const Case& c : cases) {
        const QString src = QDir(sources).filePath(QStringLiteral("f_%1.bin").arg(QLatin1String(c.name)));
        if (!makeFile(src, c.size)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(src));
            return 1;
        }
        const QString dst = QDir(sources).filePath(QStringLiteral("copy.bin"));
        // Warm the page cache the same way for both sides.
        cpMs(src, dst, false);

        const bool inChild = c.size >= bound;
        double childPeak = 0, childBase = 0;
        std::vector<double> mine, cpSync, cpPlain;
        for (int i = 0; i < c.runs; ++i) {
            auto storeSide = [&] {
                if (!inChild) {
                    mine.push_back(storeOnce(src, bound));
                    return true;
                }
                // A process of its own, so that its peak memory is this add's.
                store.close();
                settle();
                QProcess child;
                child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--store-one"), homeFolder, src});
                child.waitForFinished(-1);
                const QList<QByteArray> f = child.readAllStandardOutput().trimmed().split(' ');
                store.open(home.defaultDatabasePath());
                if (child.exitCode() != 0 || f.size() != 4) {
                    std::fprintf(stderr, "child failed: %s\n", child.readAllStandardError().constData());
                    return false;
                }
                mine.push_back(f[0].toDouble());
                childPeak = std::max(childPeak, f[1].toDouble());
                childBase = std::max(childBase, f[2].toDouble());
                removeRecord(f[3].toLongLong());
                return true;
            };
            auto cpSide = [&] {
                cpSync.push_back(cpMs(src, dst, true));
                cpPlain.push_back(cpMs(src, dst, false));
            };
            // A failed store ends the program before anything else runs.
            bool stored = true;
            alternate(
                i, [&] { stored = storeSide(); },
                [&] {
                    if (stored)
                        cpSide();
                });
            if (!stored)
                return 1;
        }
        const double m = upperMedian(mine);
        std::printf("store_%s_ms: %.2f\n", c.name, m);
        std::printf("store_%s_ratio: %.2f\n", c.name, m / upperMedian(cpSync));
        std::printf("store_%s_ratio_nosync: %.2f\n", c.name, m / upperMedian(cpPlain));
        std::printf("cp_sync_%s_ms: %.2f\n", c.name, upperMedian(cpSync));
        if (inChild) {
            std::printf("store_%s_peak_rss_mb: %.1f\n", c.name, childPeak);
            std::printf("store_%s_peak_rss_before_add_mb: %.1f\n", c.name, childBase);
        }
        // For choosing the bound: the same file on the other side of it.
        {
            std::vector<double> other;
            const bool otherInside = c.size >= bound;
            for (int i = 0; i < c.runs && (!otherInside || c.size <= (qint64(16) << 20)); ++i)
                other.push_back(storeOnce(src, otherInside ? c.size + 1 : 0));
            if (!other.empty())
                std::printf("store_%s_%s_ms: %.2f\n", c.name, otherInside ? "database" : "folder", upperMedian(other));
        }
        // Getting it out again: content in the database is read whole, a
        // kept file is streamed.
        if (c.size == (1 << 20)) {
            storeOnce(src, c.size + 1, true);
            const qint64 insideId = lastId;
            storeOnce(src, 0, true);
            const qint64 folderId = lastId;
            const std::vector<double> db = saveOutInChild(insideId);
            const std::vector<double> folder = saveOutInChild(folderId);
            std::printf("saveout_%s_db_ms: %.2f\n", c.name, db[0]);
            std::printf("saveout_%s_db_peak_rss_mb: %.1f (before %.1f)\n", c.name, db[1], db[2]);
            std::printf("saveout_%s_folder_ms: %.2f\n", c.name, folder[0]);
            std::printf("saveout_%s_folder_peak_rss_mb: %.1f (before %.1f)\n", c.name, folder[1], folder[2]);
            removeRecord(insideId);
            removeRecord(folderId);
        }
        std::fflush(stdout);
        QFile::remove(src);
    }
    std::printf("database_mb: %.1f\n", QFileInfo(home.defaultDatabasePath()).size() / 1048576.0);
    return 0;
}
