// Opening and the picture browser.
//
// open_200m: "打开" of a 200 MB file kept in the store folder, from reading
// the record to the file being ready to hand over (FileOpening::find, the
// missing-file check and extract, which copies and syncs), against
// "cp src dst && sync dst" of the same file; each side in a process of its
// own so the peak memory is the opening's. Sides alternate which goes first;
// cold runs drop the page cache first (when allowed), warm runs do not.
//
// browser_5000: a group of 5,000 pictures (JPEG, 1024 × 768, content held
// in the database) browsed in a process of its own: the time from the
// command (browseGroup) to the first picture on screen, then the peak memory
// after stepping through 200 pictures with "下一张" (each step waits for its
// picture), and the median time of one step.
//
// Usage: viewer_bench [folder]   (default: the system's temporary folder)

#include "archive/FileOpening.h"
#include "archive/ProtectedGroups.h"
#include "archive/StoreFolder.h"
#include "archive/ui/PictureBrowserWindow.h"
#include "platform/ProgramHome.h"
#include "store/CurrentOperator.h"
#include "store/DataStore.h"
#include "store/HomeLayout.h"
#include "store/RecordContent.h"
#include "store/Schema.h"
#include "BenchRead.h"
#include "BenchSupport.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using namespace bench;

// Drops the page cache; false when not allowed.
bool dropCaches()
{
    settle();
    QFile f(QStringLiteral("/proc/sys/vm/drop_caches"));
    if (!f.open(QIODevice::WriteOnly))
        return false;
    return f.write("3\n") == 2;
}

// A photograph-like JPEG: gradients with some noise, different per seed.
QByteArray photo(int seed)
{
    QImage image(1024, 768, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient g(0, 0, 1024, 768);
    g.setColorAt(0, QColor::fromHsv((seed * 37) % 360, 180, 220));
    g.setColorAt(1, QColor::fromHsv((seed * 91) % 360, 200, 90));
    p.fillRect(image.rect(), g);
    QRandomGenerator rng{quint32(seed)};
    for (int i = 0; i < 400; ++i)
        p.fillRect(QRect(rng.bounded(1024), rng.bounded(768), rng.bounded(1, 60), rng.bounded(1, 60)),
                   QColor::fromRgb(rng.generate()));
    p.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 85);
    return bytes;
}

// Child: opens record id of the archive at home; prints ms and peak MB.
int openOne(const QString& homeFolder, qint64 id, const QString& extraction)
{
    const ProgramHome home(homeFolder);
    DataStore store;
    if (!store.open(home.defaultDatabasePath()))
        return 1;
    const CurrentOperator op(QStringLiteral("Admin"), Schema::allRightsText());
    ProtectedGroups open;
    FileOpening opening(store, StoreFolder(home), op, open, extraction);
    const qint64 before = peakRssKb();
    QElapsedTimer t;
    t.start();
    const Result<FileRecord> r = opening.find(id);
    if (!r || opening.keptFileMissing(r.value()))
        return 2;
    const Result<QString> path = opening.extract(r.value());
    const double ms = t.nsecsElapsed() / 1e6;
    if (!path)
        return 3;
    std::printf("%.3f %.1f %.1f\n", ms, peakRssKb() / 1024.0, before / 1024.0);
    return 0;
}

// Child: browses group "图片" of the archive at home; prints first-picture
// ms, median step ms, peak MB after 200 steps, peak MB before browsing.
int browse(const QString& homeFolder)
{
    const ProgramHome home(homeFolder);
    DataStore store;
    if (!store.open(home.defaultDatabasePath()))
        return 1;
    ProtectedGroups open;
    PictureBrowserWindow window(store, StoreFolder(home), open);
    // Serves events until picture index is on screen; false after 10 s.
    auto waitShown = [&window](int index) {
        QElapsedTimer limit;
        limit.start();
        while (window.shownIndex() != index) {
            if (limit.elapsed() > 10000)
                return false;
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        return true;
    };
    const qint64 before = peakRssKb();
    QElapsedTimer t;
    t.start();
    if (!window.browseGroup(QStringLiteral("图片")))
        return 2;
    if (!waitShown(0))
        return 3;
    const double first = t.nsecsElapsed() / 1e6;
    std::vector<double> steps;
    for (int i = 1; i <= 200; ++i) {
        t.restart();
        window.next();
        if (!waitShown(i))
            return 4;
        steps.push_back(t.nsecsElapsed() / 1e6);
    }
    std::printf("%.3f %.3f %.1f %.1f %d\n", first, upperMedian(steps), peakRssKb() / 1024.0, before / 1024.0,
                int(window.pictures().size()));
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && QLatin1String(argv[1]) == QLatin1String("--open-one")) {
        QCoreApplication app(argc, argv);
        return openOne(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toLongLong(),
                       QString::fromLocal8Bit(argv[4]));
    }
    if (argc == 3 && QLatin1String(argv[1]) == QLatin1String("--browse")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        return browse(QString::fromLocal8Bit(argv[2]));
    }
    QCoreApplication app(argc, argv);
    const QString base = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath();
    QTemporaryDir dir(base + QStringLiteral("/korvane-viewer-bench-XXXXXX"));
    if (!dir.isValid())
        return 1;
    const QString homeFolder = dir.filePath(QStringLiteral("home"));
    if (!HomeLayout::create(homeFolder)) {
        std::fprintf(stderr, "cannot lay out %s\n", qPrintable(homeFolder));
        return 1;
    }
    const ProgramHome home(homeFolder);
    const QString extraction = dir.filePath(QStringLiteral("kvtemp"));
    DataStore store;
    if (!store.open(home.defaultDatabasePath()))
        return 1;
    store.execute(QStringLiteral("insert into wjfz(fxmid,xmmc,tpid,xztp,mm) values (0,'图片',0,0,''),(0,'大',0,0,'')"));

    // --- open_200m
    const StoreFolder folder(home);
    if (!folder.ensureExists())
        return 1;
    const QString kept = QDir(folder.folder()).filePath(QStringLiteral("0000000001.bin"));
    if (!makeFile(kept, qint64(200) << 20))
        return 1;
    store.execute(QStringLiteral("insert into wj(bh,mc,fz,lx,dxsz,lj) values ('0000000001','大文件','大','bin',?,?)"),
                  {qint64(200) << 20, folder.storedPath(QStringLiteral("0000000001.bin"))});
    const qint64 bigId = bench::valueOf(store, QStringLiteral("select max(id) from wj")).toLongLong();
    store.close();
    const QString cpTarget = dir.filePath(QStringLiteral("cp.bin"));
    bool coldAllowed = true;
    for (const bool cold : {true, false}) {
        std::vector<double> mine, cp;
        double peak = 0, peakBefore = 0;
        const int runs = cold ? 3 : 5;
        for (int i = 0; i < runs; ++i) {
            auto openSide = [&] {
                if (cold)
                    coldAllowed = dropCaches() && coldAllowed;
                else
                    settle();
                QProcess child;
                child.start(QCoreApplication::applicationFilePath(),
                            {QStringLiteral("--open-one"), homeFolder, QString::number(bigId), extraction});
                child.waitForFinished(-1);
                const QList<QByteArray> f = child.readAllStandardOutput().trimmed().split(' ');
                if (child.exitCode() != 0 || f.size() != 3) {
                    std::fprintf(stderr, "open child failed (%d)\n", child.exitCode());
                    std::exit(1);
                }
                mine.push_back(f[0].toDouble());
                peak = std::max(peak, f[1].toDouble());
                peakBefore = std::max(peakBefore, f[2].toDouble());
                QDir(extraction).removeRecursively();
                settle();
            };
            auto cpSide = [&] {
                if (cold)
                    coldAllowed = dropCaches() && coldAllowed;
                else
                    settle();
                cp.push_back(copyMs(kept, cpTarget, true));
                QFile::remove(cpTarget);
                settle();
            };
            alternate(i, openSide, cpSide);
        }
        const char* kind = cold ? "cold" : "warm";
        std::printf("open_200m_%s_ms: %.1f\n", kind, upperMedian(mine));
        std::printf("cp_sync_200m_%s_ms: %.1f\n", kind, upperMedian(cp));
        std::printf("open_200m_%s_ratio: %.2f\n", kind, upperMedian(mine) / upperMedian(cp));
        std::printf("open_200m_%s_peak_rss_mb: %.1f (before %.1f)\n", kind, peak, peakBefore);
        std::fflush(stdout);
    }
    if (!coldAllowed)
        std::printf("cold_runs: page cache could not be dropped; cold figures are warm\n");
    QFile::remove(kept);

    // --- browser_5000
    if (!store.open(home.defaultDatabasePath()))
        return 1;
    {
        Transaction tx(store);
        std::vector<QByteArray> photos;
        for (int i = 0; i < 50; ++i)
            photos.push_back(photo(i));
        for (int i = 0; i < 5000; ++i) {
            const QByteArray& bytes = photos[size_t(i) % photos.size()];
            store.execute(QStringLiteral("insert into wj(bh,mc,fz,lx,dxsz) values (?,?,'图片','jpg',?)"),
                          {QStringLiteral("%1").arg(i + 2, 10, 10, QLatin1Char('0')),
                           QStringLiteral("照片%1").arg(i, 4, 10, QLatin1Char('0')), qint64(bytes.size())});
            if (!RecordContent::write(
                    store, bench::valueOf(store, QStringLiteral("select max(id) from wj")).toLongLong(), bytes))
                return 1;
        }
        if (!tx.commit())
            return 1;
    }
    std::printf("browser_5000_database_mb: %.1f\n", QFileInfo(home.defaultDatabasePath()).size() / 1048576.0);
    store.close();
    for (const bool cold : {true, false}) {
        std::vector<double> first, step, peak, before;
        const int runs = cold ? 3 : 5;
        for (int i = 0; i < runs; ++i) {
            if (cold)
                dropCaches();
            else
                settle();
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--browse"), homeFolder});
            child.waitForFinished(-1);
            const QList<QByteArray> f = child.readAllStandardOutput().trimmed().split(' ');
            if (child.exitCode() != 0 || f.size() != 5) {
                std::fprintf(stderr, "browse child failed (%d): %s\n", child.exitCode(),
                             child.readAllStandardError().constData());
                return 1;
            }
            first.push_back(f[0].toDouble());
            step.push_back(f[1].toDouble());
            peak.push_back(f[2].toDouble());
            before.push_back(f[3].toDouble());
        }
        const char* kind = cold ? "cold" : "warm";
        std::printf("browser_5000_%s_first_picture_ms: %.1f\n", kind, upperMedian(first));
        std::printf("browser_5000_%s_step_ms: %.1f\n", kind, upperMedian(step));
        std::printf("browser_5000_%s_peak_rss_after_200_mb: %.1f (before browsing %.1f)\n", kind,
                    *std::max_element(peak.begin(), peak.end()), upperMedian(before));
        std::fflush(stdout);
    }
    return 0;
}
