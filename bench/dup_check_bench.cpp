// The duplicate check on the way in: how long finding the holder of an
// incoming file's SHA-256 takes on an archive of N records (default
// 1,000,000), each record with its own content hash, beside 10,000 records
// in the trash and 10,000 versions. A hit finds a record; a miss looks in
// the records, the trash and the versions and finds nothing. Measured
// through Duplicates::find (the three indexed look-ups and the protected
// groups' check), against the sqlite3 shell running the record look-up.
//
// Warm: the same connection, its pages cached. Cold: a new connection after
// the database file's pages were dropped from the page cache (the machine's
// own caches are kept: dropping them needs root). Figures are medians.
// Hashing the incoming file is not part of it: its cost per MB is printed
// on its own.
//
// The archive is the shared cached one without content (bench/common),
// copied once into the cache folder and given its hashes there.
//
//   dup_check_bench [--records N] [--cache DIR] [--samples N] [--cold-samples N]
#include "BenchArchive.h"
#include "BenchSupport.h"

#include "archive/Duplicates.h"
#include "archive/ProtectedGroups.h"
#include "platform/Sha256.h"
#include "store/DataStore.h"
#include "store/DuplicateRows.h"
#include "store/Schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cstdio>
#include <vector>

using namespace bench;

namespace {

// The hash the bench gives record (or trash row, or version) i.
QString hashOf(qint64 i)
{
    return Sha256::of(QByteArray("record-") + QByteArray::number(i));
}

const int kTrashRows = 10000;
const int kVersionRows = 10000;

// Gives every record its hash and lays out the trash and the versions, once.
bool prepare(const QString& database, int n)
{
    DataStore s;
    if (!s.open(database))
        return false;
    if (!Schema::migrate(s).ok())
        return false;
    QElapsedTimer t;
    t.start();
    if (!s.begin())
        return false;
    for (qint64 id = 1; id <= n; ++id)
        if (!s.execute(QStringLiteral("update wj set sha256=? where id=?"), {hashOf(id), id}))
            return false;
    for (qint64 i = 1; i <= kTrashRows; ++i)
        if (!s.execute(QStringLiteral("insert into wjhs(id,bh,mc,fz,sha256,hsr,hssj) values (?,?,?,?,?,'Admin',"
                                      "'2026-01-01 00:00:00')"),
                       {n + i, QString::number(n + i), QStringLiteral("回收"), kLargeGroup, hashOf(n + i)}))
            return false;
    for (qint64 i = 1; i <= kVersionRows; ++i)
        if (!s.execute(QStringLiteral("insert into wjbb(wjid,bbh,czy,sj,dx,sha256) values (?,1,'Admin','',8192,?)"),
                       {i * 97, hashOf(2 * qint64(n) + i)}))
            return false;
    if (!s.commit())
        return false;
    print("prepare_hashes_s", t.elapsed() / 1000.0, 1);
    return s.execute(QStringLiteral("analyze"));
}

double findMs(DataStore& s, const ProtectedGroups& open, const QString& sha, bool expectHit)
{
    QElapsedTimer t;
    t.start();
    const Result<Duplicates::Found> found = Duplicates::find(s, open, sha);
    const double ms = t.nsecsElapsed() / 1e6;
    if (!found || found->any() != expectHit) {
        std::fprintf(stderr, "unexpected look-up result for %s\n", qPrintable(sha));
        return -1;
    }
    return ms;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int n = 1000000;
    int samples = 2000;
    int coldSamples = 30;
    QString cache = QDir::tempPath() + QStringLiteral("/korvane-bench-cache");
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--records") && i + 1 < args.size())
            n = args.at(++i).toInt();
        else if (args.at(i) == QLatin1String("--cache") && i + 1 < args.size())
            cache = args.at(++i);
        else if (args.at(i) == QLatin1String("--samples") && i + 1 < args.size())
            samples = args.at(++i).toInt();
        else if (args.at(i) == QLatin1String("--cold-samples") && i + 1 < args.size())
            coldSamples = args.at(++i).toInt();
    }
    QDir().mkpath(cache);
    note("records", QByteArray::number(n));
    note("cold_runs", "database pages dropped from the page cache, new connection; other caches kept");

    const auto a = ensureArchive(cache, QStringLiteral("nocontent"), n, false);
    if (!a)
        return 1;
    const QString database = cache + QStringLiteral("/dup-check-%1-v%2.db").arg(n).arg(Schema::CurrentVersion);
    if (!QFileInfo::exists(database)) {
        const QString part = database + QStringLiteral(".part");
        QFile::remove(part);
        if (!QFile::copy(a->database, part) || !prepare(part, n) || !QFile::rename(part, database)) {
            std::fprintf(stderr, "cannot prepare %s\n", qPrintable(database));
            return 1;
        }
    }
    print("database_mb", QFileInfo(database).size() / 1048576.0);

    DataStore s;
    if (!s.open(database))
        return 1;
    // Each look-up goes through its index: no table is scanned.
    for (const QString& sql :
         {DuplicateRows::recordsStatement(), DuplicateRows::trashStatement(), DuplicateRows::versionsStatement()}) {
        RecordSet plan = s.query(QStringLiteral("explain query plan ") + sql, {hashOf(1)});
        for (; plan && !plan.atEnd(); plan.next()) {
            std::printf("plan: %s\n", qPrintable(plan.text(3)));
            if (plan.text(3).startsWith(QStringLiteral("SCAN"))) {
                std::fprintf(stderr, "a look-up scans: %s\n", qPrintable(sql));
                return 1;
            }
        }
    }

    const ProtectedGroups open;
    QRandomGenerator rng(26);
    auto hit = [&] { return hashOf(1 + rng.bounded(quint32(n))); };
    auto miss = [&] { return hashOf(3 * qint64(n) + rng.bounded(quint32(n))); };

    // Warm: the first pass fills the caches, the second is measured.
    std::vector<double> warmHit, warmMiss;
    for (int pass = 0; pass < 2; ++pass)
        for (int i = 0; i < samples; ++i) {
            const double h = findMs(s, open, hit(), true);
            const double m = findMs(s, open, miss(), false);
            if (h < 0 || m < 0)
                return 1;
            if (pass == 1) {
                warmHit.push_back(h);
                warmMiss.push_back(m);
            }
        }
    print("dup_check_1m_ms_warm_hit", median(warmHit), 4);
    print("dup_check_1m_ms_warm_miss", median(warmMiss), 4);

    std::vector<double> coldHit, coldMiss;
    s.close();
    for (int i = 0; i < coldSamples; ++i) {
        for (bool isHit : {true, false}) {
            if (!dropCache(database))
                note("cold_drop", "the kernel refused to drop the pages");
            DataStore c;
            if (!c.open(database))
                return 1;
            const double ms = findMs(c, open, isHit ? hit() : miss(), isHit);
            if (ms < 0)
                return 1;
            (isHit ? coldHit : coldMiss).push_back(ms);
        }
    }
    print("dup_check_1m_ms_cold_hit", median(coldHit), 3);
    print("dup_check_1m_ms_cold_miss", median(coldMiss), 3);

    // The reference: the sqlite3 shell running the record look-up, its start taken off.
    const double start = shellStartMs(database);
    std::vector<double> shell;
    for (int i = 0; i < 5; ++i)
        shell.push_back(shellMs(database, literalSql(DuplicateRows::recordsStatement(), {hit()})) - start);
    print("sqlite3_record_lookup_ms_warm", median(shell), 3);

    // Hashing the incoming file, on its own: 64 MB in 1 MB pieces.
    QByteArray piece(1 << 20, Qt::Uninitialized);
    for (char& ch : piece)
        ch = char(rng.bounded(256u));
    std::vector<double> perMb;
    for (int round = 0; round < 5; ++round) {
        Sha256 h;
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 64; ++i)
            h.add(piece);
        const QString hex = h.hex();
        perMb.push_back(t.nsecsElapsed() / 1e6 / 64);
        if (hex.size() != 64)
            return 1;
    }
    print("sha256_ms_per_mb", median(perMb), 3);

    std::printf("-- summary\n");
    print("dup_check_1m_ms", std::max(median(warmHit), median(warmMiss)), 4);
    print("dup_check_1m_ms_cold", std::max(median(coldHit), median(coldMiss)), 3);
    return 0;
}
