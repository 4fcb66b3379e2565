// Backup and restore of an archive of 2 GB (1 GB in the database as held
// content, 1 GB in the store folder as 200 kept files of 5 MB), each against
// the copy a person would make by hand: "cp -r Data <target> && sync".
//
// The backup (ArchiveCare::backup) copies the database through SQLite's
// online backup and the store folder file by file, each file synced before
// its rename, then verifies the copy (quick_check of the copied database,
// every kept file present with its size). The restore (prepareRestore then
// swapIn) copies the backup beside the Data folder, verifies it and swaps
// it in. Both figures include their verification.
//
// Each side runs after everything written before is on disk (sync); its
// output is removed afterwards, again followed by a sync, off the clock.
// Sides alternate which goes first. "warm": the source is in the page
// cache; "cold": the source's pages were dropped from the cache first
// (posix_fadvise on each file, which leaves other programs' caches alone).
// The ratio is the median of our time over the median of cp's.
//
// Usage: archive_care_bench [folder]   (default: the system's temporary folder)

#include "platform/ProgramHome.h"
#include "settings/ArchiveCare.h"
#include "store/DataStore.h"
#include "store/HomeLayout.h"
#include "BenchSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

using bench::upperMedian;

constexpr qint64 MiB = 1024 * 1024;
constexpr int HeldRows = 1024;  // 1 MiB each
constexpr int KeptFiles = 200;  // 5 MiB each
constexpr qint64 KeptSize = 5 * MiB;
constexpr int Rounds = 3;

QByteArray randomBytes(qint64 size)
{
    QByteArray b(int(size), Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(b.data()), int(size / 4));
    return b;
}

void run(const QString& command)
{
    QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), command});
}

void syncAll()
{
    ::sync();
}

// Drops the pages of every file below folder from the page cache.
void dropCache(const QString& folder)
{
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        bench::dropFilePages(it.next());
}

// Prints one operation's figures: our median, cp's, and their ratio (again
// under the bare name for the cold runs).
void report(const char* operation, bool cold, const std::vector<double>& ours, const std::vector<double>& cps)
{
    const char* kind = cold ? "cold" : "warm";
    std::printf("%s_%s_seconds: %.2f\n", operation, kind, upperMedian(ours));
    std::printf("%s_%s_cp_seconds: %.2f\n", operation, kind, upperMedian(cps));
    std::printf("%s_%s_ratio: %.2f\n", operation, kind, upperMedian(ours) / upperMedian(cps));
    if (cold)
        std::printf("%s_ratio: %.2f\n", operation, upperMedian(ours) / upperMedian(cps));
    std::fflush(stdout);
}

QString quoted(const QString& path)
{
    return QLatin1Char('\'') + path + QLatin1Char('\'');
}

// Before a run: the source's pages dropped (cold) or read in (warm), then
// everything written before put on disk.
void prepare(const QString& source, bool cold)
{
    if (cold)
        dropCache(source);
    else
        run(QStringLiteral("cat $(find ") + quoted(source) + QStringLiteral(" -type f) > /dev/null"));
    syncAll();
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString base = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath();
    QTemporaryDir dir(base + QStringLiteral("/korvane-care-bench-XXXXXX"));
    if (!dir.isValid() || !HomeLayout::create(dir.path()).ok()) {
        std::fprintf(stderr, "cannot lay out an archive under %s\n", qPrintable(base));
        return 1;
    }
    const ProgramHome home(dir.path());
    const ArchivePlace place = ArchivePlace::of(home, ArchiveLocation::file(home.defaultDatabasePath()));
    {
        DataStore s;
        if (!s.open(place.databasePath))
            return 1;
        for (int i = 0; i < HeldRows; i += 64) {
            Transaction tx(s);
            for (int j = i; j < i + 64; ++j) {
                s.execute(
                    QStringLiteral("insert into wj(bh,mc,fz,lx,dxsz,lj) values(?,?,'合同','bin',?,'')"),
                    {QStringLiteral("%1").arg(j, 10, 10, QLatin1Char('0')), QStringLiteral("held%1").arg(j), MiB});
                s.execute(QStringLiteral("insert into wjnr(id, nr) values(?, ?)"),
                          {s.lastInsertId(), randomBytes(MiB)});
            }
            tx.commit();
        }
        Transaction tx(s);
        for (int k = 0; k < KeptFiles; ++k) {
            const QString name = QStringLiteral("%1.bin").arg(HeldRows + k, 10, 10, QLatin1Char('0'));
            QFile f(QDir(place.storeFolder).filePath(name));
            if (!f.open(QIODevice::WriteOnly) || f.write(randomBytes(KeptSize)) != KeptSize)
                return 1;
            s.execute(QStringLiteral("insert into wj(bh,mc,fz,lx,dxsz,lj) values(?,?,'合同','bin',?,?)"),
                      {QStringLiteral("%1").arg(HeldRows + k, 10, 10, QLatin1Char('0')),
                       QStringLiteral("kept%1").arg(k), KeptSize, QStringLiteral("Data/Lf/") + name});
        }
        tx.commit();
    }
    syncAll();
    std::printf("archive_bytes: %lld\n", QFileInfo(place.databasePath).size() + qint64(KeptFiles) * KeptSize);

    const QString target = dir.filePath(QStringLiteral("backup"));
    const QString reference = dir.filePath(QStringLiteral("reference"));
    auto clear = [&](const QString& path) {
        run(QStringLiteral("rm -rf ") + quoted(path));
        syncAll();
    };

    for (const bool cold : {false, true}) {
        std::vector<double> ours, cps;
        for (int round = 0; round < Rounds; ++round) {
            for (int side = 0; side < 2; ++side) {
                const bool oursNow = (side + round) % 2 == 0;
                prepare(place.dataFolder, cold);
                QElapsedTimer t;
                t.start();
                if (oursNow) {
                    const Result<qint64> r = ArchiveCare::backup(place, target);
                    if (!r) {
                        std::fprintf(stderr, "backup failed: %s\n", qPrintable(r.detail()));
                        return 1;
                    }
                    ours.push_back(t.elapsed() / 1000.0);
                } else {
                    run(QStringLiteral("cp -r ") + quoted(place.dataFolder) + QLatin1Char(' ') + quoted(reference)
                        + QStringLiteral(" && sync"));
                    cps.push_back(t.elapsed() / 1000.0);
                }
                if (oursNow && round + 1 == Rounds && cold)
                    continue;  // kept for the restore
                clear(oursNow ? target : reference);
            }
        }
        report("backup_2g", cold, ours, cps);
    }
    if (!QFileInfo::exists(QDir(target).filePath(QStringLiteral("files.dat"))) && !ArchiveCare::backup(place, target))
        return 1;

    for (const bool cold : {false, true}) {
        std::vector<double> ours, cps;
        for (int round = 0; round < Rounds; ++round) {
            for (int side = 0; side < 2; ++side) {
                const bool oursNow = (side + round) % 2 == 0;
                prepare(target, cold);
                QElapsedTimer t;
                t.start();
                if (oursNow) {
                    const Result<QString> prepared = ArchiveCare::prepareRestore(place, target);
                    if (!prepared) {
                        std::fprintf(stderr, "restore failed: %s\n", qPrintable(prepared.detail()));
                        return 1;
                    }
                    const Result<ArchiveCare::Swapped> swapped = ArchiveCare::swapIn(place, *prepared);
                    if (!swapped) {
                        std::fprintf(stderr, "restore failed: %s\n", qPrintable(swapped.detail()));
                        return 1;
                    }
                    ours.push_back(t.elapsed() / 1000.0);
                    clear(swapped->kept);
                } else {
                    run(QStringLiteral("cp -r ") + quoted(target) + QLatin1Char(' ') + quoted(reference)
                        + QStringLiteral(" && sync"));
                    cps.push_back(t.elapsed() / 1000.0);
                    clear(reference);
                }
            }
        }
        report("restore_2g", cold, ours, cps);
    }
    return 0;
}
