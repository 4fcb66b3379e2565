// The integrity check (korvane-cli check, run as a user runs it) over an
// archive of 100,000 records, half held in the database and half kept in
// the store folder, about 2 GB of content, against sha256sum of the same
// bytes (the kept files themselves and the held content laid out as files
// once). Warm (everything in the page cache after a first run) and cold
// (the pages of both sides' files dropped before each run); the two sides
// alternate which goes first, and each figure is the median of the rounds.
//
// The archive is laid out once and kept in $TMPDIR/korvane-bench-cache
// (about 3 GB with the reference files).
//
// Usage: check_bench [--records N] [--rounds R] [--cache DIR]

#include "platform/Sha256.h"
#include "store/DataStore.h"
#include "store/HomeLayout.h"
#include "store/Schema.h"
#include "BenchSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>

#include <cstdio>
#include <vector>

namespace {

using namespace bench;

QByteArray randomBytes(QRandomGenerator& rng, int size)
{
    QByteArray b(size, Qt::Uninitialized);
    std::vector<quint32> words(size_t(size + 3) / 4);
    rng.fillRange(words.data(), qsizetype(words.size()));
    memcpy(b.data(), words.data(), size_t(size));
    return b;
}

// The marker of a finished layout names the schema version it was made
// with, so an archive cached by an older build is laid out again.
QString readyMarker(const QString& home)
{
    return home + QStringLiteral("/ready-v%1").arg(Schema::CurrentVersion);
}

bool layOut(const QString& home, int records)
{
    if (QFileInfo::exists(readyMarker(home)))
        return true;
    QDir(home).removeRecursively();
    if (!HomeLayout::create(home))
        return false;
    const QString lf = home + QStringLiteral("/Data/Lf");
    const QString ref = home + QStringLiteral("/ref");
    QDir().mkpath(lf);
    QDir().mkpath(ref);
    DataStore s;
    if (!s.open(home + QStringLiteral("/Data/files.dat")))
        return false;
    if (!s.execute(QStringLiteral("insert into wjfz(id,fxmid,xmmc) values (1,0,'档案')")))
        return false;
    QRandomGenerator rng(18);
    s.begin();
    for (int i = 0; i < records; ++i) {
        // 10 to 30 KB, 20 KB on average: 2 GB for 100,000 records.
        const QByteArray bytes = randomBytes(rng, int(rng.bounded(10240u, 30720u)));
        const QString bh = QString::number(i + 1).rightJustified(10, QLatin1Char('0'));
        const bool kept = i % 2 == 1;
        const QString lj = kept ? QStringLiteral("Data/Lf/%1.bin").arg(bh) : QString();
        QFile f(kept ? home + QLatin1Char('/') + lj : ref + QStringLiteral("/%1.bin").arg(bh));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            return false;
        if (!s.execute(
                QStringLiteral("insert into wj(id,xh,bh,mc,fz,lx,dxsz,lj,sha256) values (?,?,?,?,'档案','bin',?,?,?)"),
                {i + 1, i + 1, bh, bh, bytes.size(), lj, Sha256::of(bytes)}))
            return false;
        if (!kept && !s.execute(QStringLiteral("insert into wjnr(id,nr) values (?,?)"), {i + 1, bytes}))
            return false;
        if (i % 5000 == 4999) {
            s.commit();
            s.begin();
            std::fprintf(stderr, "laid out %d records\n", i + 1);
        }
    }
    s.execute(QStringLiteral("update zdbh set nr=? where xm='文件编号'"), {QString::number(records + 1)});
    s.commit();
    s.close();
    QFile ready(readyMarker(home));
    return ready.open(QIODevice::WriteOnly);
}

QStringList filesOf(const QString& folder)
{
    QStringList out;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << it.next();
    return out;
}

double timeCheck(const QString& cli, const QString& home)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KORVANE_PASSWORD"), QString());
    p.setProcessEnvironment(env);
    p.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    p.start(cli, {QStringLiteral("--home"), home, QStringLiteral("check")});
    if (!p.waitForFinished(-1) || p.exitCode() != 0) {
        std::fprintf(stderr, "check failed: %s\n", p.readAllStandardError().constData());
        return -1;
    }
    return t.nsecsElapsed() / 1e9;
}

double timeSha256sum(const QString& home)
{
    // The same bytes, as files: the kept files and the held content laid out once.
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    p.setWorkingDirectory(home);
    p.start(QStringLiteral("sh"),
            {QStringLiteral("-c"), QStringLiteral("find Data/Lf ref -type f -print0 | xargs -0 sha256sum")});
    p.waitForFinished(-1);
    return t.nsecsElapsed() / 1e9;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    int records = 100000;
    int rounds = 3;
    QString cache = QDir::tempPath() + QStringLiteral("/korvane-bench-cache");
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--records"))
            records = args.at(++i).toInt();
        else if (args.at(i) == QLatin1String("--rounds"))
            rounds = args.at(++i).toInt();
        else if (args.at(i) == QLatin1String("--cache"))
            cache = args.at(++i);
    }
    const QString cli = QCoreApplication::applicationDirPath() + QStringLiteral("/../src/korvane-cli");
    if (!QFileInfo(cli).isExecutable()) {
        std::fprintf(stderr, "build korvane-cli first (%s)\n", qPrintable(cli));
        return 1;
    }
    const QString home = cache + QStringLiteral("/check-%1").arg(records);
    if (!layOut(home, records)) {
        std::fprintf(stderr, "could not lay out %s\n", qPrintable(home));
        return 1;
    }
    // Each side's files: the archive (database and kept files) and the reference.
    QStringList checkFiles = filesOf(home + QStringLiteral("/Data"));
    QStringList sumFiles = filesOf(home + QStringLiteral("/ref")) + filesOf(home + QStringLiteral("/Data/Lf"));
    qint64 bytes = 0;
    for (const QString& f : std::as_const(sumFiles))
        bytes += QFileInfo(f).size();
    std::printf("check_records: %d\n", records);
    std::printf("check_content_mb: %.0f\n", bytes / 1048576.0);

    std::vector<double> warmCheck, warmSum, coldCheck, coldSum;
    timeCheck(cli, home);  // warms the page cache and the program's first start
    timeSha256sum(home);
    for (int r = 0; r < rounds; ++r)
        alternate(
            r, [&] { warmCheck.push_back(timeCheck(cli, home)); }, [&] { warmSum.push_back(timeSha256sum(home)); });
    for (int r = 0; r < rounds; ++r)
        alternate(
            r,
            [&] {
                dropPages(checkFiles);
                coldCheck.push_back(timeCheck(cli, home));
            },
            [&] {
                dropPages(sumFiles);
                coldSum.push_back(timeSha256sum(home));
            });
    const double wc = upperMedian(warmCheck, -1), ws = upperMedian(warmSum, -1), cc = upperMedian(coldCheck, -1),
                 cs = upperMedian(coldSum, -1);
    std::printf("check_warm_s: %.2f\n", wc);
    std::printf("sha256sum_warm_s: %.2f\n", ws);
    std::printf("check_ratio: %.2f\n", wc / ws);
    std::printf("check_cold_s: %.2f\n", cc);
    std::printf("sha256sum_cold_s: %.2f\n", cs);
    std::printf("check_ratio_cold: %.2f\n", cc / cs);
    return 0;
}
