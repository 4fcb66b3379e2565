// The batch runs against the tools an office would otherwise use:
//
//   import_10k:  10,000 files of 10 KB (random, so nothing compresses) into
//                one group, against "sqlite3 -Ac" archiving the same folder
//                into a fresh file (SQLite's own archiver: content in rows,
//                one transaction for the whole run, its default sync).
//   import_1g:   20 files of 50 MB (kept in the store folder, the archive's
//                default size bound) against "cp -r" of the folder plus "sync".
//   export_10k:  the 10,000-record group exported with "按文件分组创建下级目录"
//                against "cp -r" of the same files.
//
// Each of our runs is a child process of its own (the run's time is taken
// inside it, from opening the connection to the end of the run; its peak
// memory is the process's); each reference is timed as a whole process.
// Sides alternate which goes first. "cold" runs first drop the source files
// from the page cache (posix_fadvise; the machine's caches cannot be dropped
// without root), "warm" runs find them cached. Before every run everything
// written earlier is synced, and each run's output is removed (and synced)
// unmeasured afterwards, so no side pays for another's write-back.
//
// Usage: batch_bench [folder]   (default: the system's temporary folder)

#include "archive/BatchExport.h"
#include "archive/BatchImport.h"
#include "archive/StoreFolder.h"
#include "platform/ProgramHome.h"
#include "platform/Progress.h"
#include "store/CurrentOperator.h"
#include "store/DataStore.h"
#include "store/Dictionary.h"
#include "store/HomeLayout.h"
#include "store/Schema.h"
#include "BenchArchive.h"
#include "BenchSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using namespace bench;

const QString kGroup = QStringLiteral("基准");

QStringList filesIn(const QString& folder)
{
    QStringList out;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << it.next();
    out.sort();
    return out;
}

// A fresh archive with the group, in `folder`.
double wallMs(const QString& program, const QStringList& args, const QString& workdir = {})
{
    QProcess p;
    if (!workdir.isEmpty())
        p.setWorkingDirectory(workdir);
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    p.waitForFinished(-1);
    const double ms = t.nsecsElapsed() / 1e6;
    if (p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), p.readAllStandardError().constData());
        std::exit(1);
    }
    return ms;
}

struct ChildRun {
    double ms = 0;
    double peakMb = 0;
};

ChildRun inChild(const QStringList& args)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), args);
    child.waitForFinished(-1);
    const QList<QByteArray> f = child.readAllStandardOutput().trimmed().split(' ');
    if (child.exitCode() != 0 || f.size() != 2) {
        std::fprintf(stderr, "child %s failed: %s\n", qPrintable(args.join(QLatin1Char(' '))),
                     child.readAllStandardError().constData());
        std::exit(1);
    }
    return {f[0].toDouble(), f[1].toDouble()};
}

}  // namespace

// Child: "--import HOME SOURCES" imports every file below SOURCES.
int importChild(const QString& homeFolder, const QString& sources)
{
    const QStringList files = filesIn(sources);
    QElapsedTimer t;
    t.start();
    const ProgramHome home(homeFolder);
    DataStore store;
    if (!store.open(home.defaultDatabasePath()))
        return 1;
    const QString bound = Dictionary::readOr(store, Dictionary::FileSize, QStringLiteral("1"));
    BatchImport run(store, StoreFolder(home), CurrentOperator(QStringLiteral("Admin"), Schema::allRightsText()),
                    Dictionary::sizeBoundBytes(bound), ProtectedGroups());
    NoProgress progress;
    const BatchImport::Outcome out = run.run(kGroup, files, false, progress);
    const double ms = t.nsecsElapsed() / 1e6;
    if (!out.ok() || out.imported != files.size()) {
        std::fprintf(stderr, "%s %s\n", qPrintable(out.message), qPrintable(out.detail));
        return 1;
    }
    std::printf("%.1f %.1f\n", ms, peakRssMb());
    return 0;
}

// Child: "--export HOME TARGET" exports the group with sub-folders.
int exportChild(const QString& homeFolder, const QString& target)
{
    QElapsedTimer t;
    t.start();
    const ProgramHome home(homeFolder);
    DataStore store;
    if (!store.open(home.defaultDatabasePath()))
        return 1;
    const CurrentOperator op(QStringLiteral("Admin"), Schema::allRightsText());
    BatchExport run(store, StoreFolder(home), op, ProtectedGroups());
    NoProgress progress;
    const BatchExport::Outcome out = run.run(kGroup, target, true, progress);
    const double ms = t.nsecsElapsed() / 1e6;
    if (!out.ok()) {
        std::fprintf(stderr, "%s %s\n", qPrintable(out.message), qPrintable(out.detail));
        return 1;
    }
    std::printf("%.1f %.1f\n", ms, peakRssMb());
    return 0;
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && QLatin1String(argv[1]) == QLatin1String("--import"))
        return importChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    if (argc == 4 && QLatin1String(argv[1]) == QLatin1String("--export"))
        return exportChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));

    const QString base = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath();
    QTemporaryDir dir(base + QStringLiteral("/korvane-batch-bench-XXXXXX"));
    if (!dir.isValid())
        return 1;
    const QString src10k = dir.filePath(QStringLiteral("src10k"));
    const QString src1g = dir.filePath(QStringLiteral("src1g"));
    const QString home = dir.filePath(QStringLiteral("home"));
    const QString sqlar = dir.filePath(QStringLiteral("ref.sqlar"));
    const QString copy = dir.filePath(QStringLiteral("copy"));
    const QString exported = dir.filePath(QStringLiteral("exported"));
    QDir().mkpath(src10k);
    QDir().mkpath(src1g);
    for (int d = 0; d < 10; ++d)
        QDir().mkpath(QStringLiteral("%1/d%2").arg(src10k).arg(d));
    for (int i = 0; i < 10000; ++i)
        if (!makeFile(QStringLiteral("%1/d%2/f%3.dat").arg(src10k).arg(i / 1000).arg(i, 5, 10, QLatin1Char('0')),
                      10 << 10))
            return 1;
    for (int i = 0; i < 20; ++i)
        if (!makeFile(QStringLiteral("%1/big%2.bin").arg(src1g).arg(i), qint64(50) << 20))
            return 1;
    const QStringList files10k = filesIn(src10k);
    const QStringList files1g = filesIn(src1g);

    // --- import of 10,000 files of 10 KB, against sqlite3 -Ac
    std::vector<double> mineCold, mineWarm, refCold, refWarm;
    double importPeak = 0;
    auto mine10k = [&](bool cold) {
        if (!freshHome(home, kGroup))
            std::exit(1);
        if (cold)
            dropPages(files10k);
        else
            settle();
        const ChildRun r = inChild({QStringLiteral("--import"), home, src10k});
        importPeak = std::max(importPeak, r.peakMb);
        (cold ? mineCold : mineWarm).push_back(r.ms);
        QDir(home).removeRecursively();
        settle();
    };
    auto ref10k = [&](bool cold) {
        QFile::remove(sqlar);
        if (cold)
            dropPages(files10k);
        else
            settle();
        (cold ? refCold : refWarm)
            .push_back(wallMs(QStringLiteral("sqlite3"), {sqlar, QStringLiteral("-Ac"), QStringLiteral("src10k")},
                              dir.path()));
        QFile::remove(sqlar);
        settle();
    };
    for (int round = 0; round < 3; ++round) {
        for (const bool cold : {true, false}) {
            alternate(
                round, [&] { mine10k(cold); }, [&] { ref10k(cold); });
        }
    }
    std::printf("import_10k_ms: %.0f\n", upperMedian(mineWarm));
    std::printf("sqlar_10k_ms: %.0f\n", upperMedian(refWarm));
    std::printf("import_10k_ratio: %.2f\n", upperMedian(mineWarm) / upperMedian(refWarm));
    std::printf("import_10k_cold_ms: %.0f\n", upperMedian(mineCold));
    std::printf("sqlar_10k_cold_ms: %.0f\n", upperMedian(refCold));
    std::printf("import_10k_cold_ratio: %.2f\n", upperMedian(mineCold) / upperMedian(refCold));
    std::printf("import_10k_peak_mb: %.1f\n", importPeak);
    std::fflush(stdout);

    // --- export of the 10,000 records with sub-folders, against cp -r
    if (!freshHome(home, kGroup))
        return 1;
    inChild({QStringLiteral("--import"), home, src10k});
    std::vector<double> exportMine, exportRef;
    double exportPeak = 0;
    for (int round = 0; round < 3; ++round) {
        auto mine = [&] {
            QDir().mkpath(exported);
            settle();
            const ChildRun r = inChild({QStringLiteral("--export"), home, exported});
            exportPeak = std::max(exportPeak, r.peakMb);
            exportMine.push_back(r.ms);
            QDir(exported).removeRecursively();
            settle();
        };
        auto ref = [&] {
            settle();
            exportRef.push_back(wallMs(QStringLiteral("cp"), {QStringLiteral("-r"), src10k, copy}));
            QDir(copy).removeRecursively();
            settle();
        };
        alternate(round, mine, ref);
    }
    QDir(home).removeRecursively();
    std::printf("export_10k_ms: %.0f\n", upperMedian(exportMine));
    std::printf("cp_10k_ms: %.0f\n", upperMedian(exportRef));
    std::printf("export_10k_ratio: %.2f\n", upperMedian(exportMine) / upperMedian(exportRef));
    std::printf("export_10k_peak_mb: %.1f\n", exportPeak);
    std::fflush(stdout);

    // --- import of 20 files of 50 MB into the store folder, against cp -r && sync
    std::vector<double> bigMine, bigRef;
    double bigPeak = 0;
    for (int round = 0; round < 4; ++round) {
        auto mine = [&] {
            if (!freshHome(home, kGroup))
                std::exit(1);
            dropPages(files1g);
            const ChildRun r = inChild({QStringLiteral("--import"), home, src1g});
            bigPeak = std::max(bigPeak, r.peakMb);
            bigMine.push_back(r.ms);
            QDir(home).removeRecursively();
            settle();
        };
        auto ref = [&] {
            dropPages(files1g);
            QElapsedTimer t;
            t.start();
            wallMs(QStringLiteral("cp"), {QStringLiteral("-r"), src1g, copy});
            wallMs(QStringLiteral("sync"), {});
            bigRef.push_back(t.nsecsElapsed() / 1e6);
            QDir(copy).removeRecursively();
            settle();
        };
        alternate(round, mine, ref);
    }
    std::printf("import_1g_ms: %.0f\n", upperMedian(bigMine));
    std::printf("cp_sync_1g_ms: %.0f\n", upperMedian(bigRef));
    std::printf("import_1g_ratio: %.2f\n", upperMedian(bigMine) / upperMedian(bigRef));
    std::printf("import_1g_peak_mb: %.1f\n", bigPeak);
    return 0;
}
