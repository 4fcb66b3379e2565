// Moving held content out of wj.wj into its own table: an archive laid out
// as version 1 (content in the rows, kept files beside them) opens after
// the move with every byte of every record intact, and a move killed part
// way leaves an archive that opens, reads every content, and finishes on
// the next start.
#include "common/TestHome.h"
#include "common/TestRegistry.h"
#include "platform/Progress.h"
#include "shell/StartupSequence.h"
#include "store/DataStore.h"
#include "store/RecordContent.h"
#include "store/Schema.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>

namespace {

const char* kChildDatabase = "KV_MIGRATION_CHILD_DB";
const char* kChildMarker = "KV_MIGRATION_CHILD_MARKER";

QByteArray hashOf(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

struct Archive {
    QMap<qint64, QByteArray> heldHashes;  // records holding content in the database
    QMap<qint64, QByteArray> keptHashes;  // records whose content is a kept file
    QMap<qint64, QString> keptPaths;
};

// Turns the fresh archive of home back into the version 1 layout (no
// content table, the first indexes) and stores records the way version 1
// stored them: content in wj.wj, larger files in the store folder with lj.
bool layOutVersionOne(TestHome& home, int held, int kept, Archive* out)
{
    DataStore& s = home.store();
    const char* back[] = {
        "drop table wjnr",       "drop index wj_fz_dxsz",        "drop index wj_ord_xh",
        "drop index wj_lj",      "create index wj_fz on wj(fz)", "create index wj_xh on wj(xh)",
        "PRAGMA user_version=1",
    };
    for (const char* sql : back)
        if (!s.execute(QString::fromLatin1(sql)))
            return false;
    if (!s.execute(QStringLiteral("insert into wjfz(id,fxmid,xmmc,tpid,xztp,mm) values (1,0,'档案',0,1,'')")))
        return false;
    const QString folder = QDir(home.folder()).filePath(QStringLiteral("Data/Lf"));
    QDir().mkpath(folder);
    QRandomGenerator rng(7);
    if (!s.begin())
        return false;
    for (int i = 0; i < held + kept; ++i) {
        const bool inside = !(i % 25 == 3 && out->keptHashes.size() < kept);
        const QString bh = QString::number(i + 1).rightJustified(10, QLatin1Char('0'));
        // Sizes from nothing to a few pages, so that some rows spill.
        const int size = i % 97 == 0 ? 0 : int(rng.bounded(1u, 20000u));
        QByteArray bytes(size, Qt::Uninitialized);
        for (int k = 0; k < size; ++k)
            bytes[k] = char(rng.bounded(256u));
        QString lj;
        QVariant content = QVariant(bytes.isNull() ? QByteArray("", 0) : bytes);
        if (!inside) {
            lj = QStringLiteral("Data/Lf/%1.bin").arg(bh);
            QFile f(QDir(home.folder()).filePath(lj));
            if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
                return false;
            // Version 1 wrote an empty wj beside the kept file's lj.
            content = QVariant(QByteArray("", 0));
        }
        if (!s.execute(QStringLiteral("insert into wj(xh,bh,mc,fz,lx,dx,dxsz,lj,wj) values (?,?,?,?,?,?,?,?,?)"),
                       {i + 1, bh, QStringLiteral("文件%1").arg(i), QStringLiteral("档案"), QStringLiteral("bin"),
                        QString(), size, lj, content}))
            return false;
        const qint64 id = s.lastInsertId();
        if (inside) {
            out->heldHashes.insert(id, hashOf(bytes));
        } else {
            out->keptHashes.insert(id, hashOf(bytes));
            out->keptPaths.insert(id, QDir(home.folder()).filePath(lj));
        }
    }
    return s.commit();
}

// Every record's content, through the one reader of held content and the
// kept files, compared by hash.
void verifyEveryByte(DataStore& s, const Archive& a)
{
    for (auto it = a.heldHashes.cbegin(); it != a.heldHashes.cend(); ++it) {
        const Result<QByteArray> bytes = RecordContent::read(s, it.key());
        QVERIFY2(bytes.ok(), qPrintable(bytes.detail()));
        QVERIFY2(hashOf(bytes.value()) == it.value(), qPrintable(QStringLiteral("record %1").arg(it.key())));
    }
    for (auto it = a.keptHashes.cbegin(); it != a.keptHashes.cend(); ++it) {
        QFile f(a.keptPaths.value(it.key()));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(hashOf(f.readAll()), it.value());
        QVERIFY(!RecordContent::read(s, it.key()).ok());
    }
}

qint64 count(DataStore& s, const QString& sql)
{
    return valueOf(s, sql).toLongLong();
}

// Shows nothing; stops the process for good after the first step committed.
class StallAfterFirstStep final : public Progress {
public:
    explicit StallAfterFirstStep(QString marker) : m_marker(std::move(marker)) {}
    void setRange(qint64, qint64) override {}
    void setValue(qint64 value) override
    {
        if (value <= 0)
            return;
        QFile f(m_marker);
        f.open(QIODevice::WriteOnly);
        f.close();
        QThread::sleep(120);  // the parent kills the process meanwhile
    }
    bool cancelled() const override { return false; }

private:
    QString m_marker;
};

}  // namespace

class ContentMigrationTest : public QObject {
    Q_OBJECT
private slots:
    void versionOneArchiveOpensWithEveryByte();
    void killedMoveOpensAndFinishesOnNextStart();
    void stoppedMoveGoesOnWhereItStopped();
    void newArchiveHasContentTableAndIndexes();
};

void ContentMigrationTest::versionOneArchiveOpensWithEveryByte()
{
    TestHome home;
    QVERIFY(home.isValid());
    Archive a;
    QVERIFY(layOutVersionOne(home, 1100, 40, &a));
    home.store().close();

    // Start-up shows the move: it reports its whole range and reaches its end.
    struct Recorder final : Progress {
        qint64 maximum = -1, last = -1;
        void setRange(qint64, qint64 max) override { maximum = max; }
        void setValue(qint64 v) override { last = v; }
        bool cancelled() const override { return false; }
    } progress;
    DataStore s;
    const Status opened = StartupSequence::openArchive(s, home.archive(), &progress);
    QVERIFY2(opened.ok(), qPrintable(opened.detail()));
    QVERIFY(progress.maximum > 0);
    QCOMPARE(progress.last, progress.maximum);
    QCOMPARE(Schema::version(s).valueOr(-1), Schema::CurrentVersion);
    QCOMPARE(count(s, QStringLiteral("select count(*) from wj where wj is not null")), qint64(0));
    QCOMPARE(count(s, QStringLiteral("select count(*) from wjnr")), qint64(a.heldHashes.size()));
    QCOMPARE(count(s, QStringLiteral("select count(*) from wj")), qint64(a.heldHashes.size() + a.keptHashes.size()));
    verifyEveryByte(s, a);
    // The indexes the list and the adds rely on are there, the old ones gone.
    for (const char* ix : {"wj_fz_dxsz", "wj_ord_xh", "wj_lj"})
        QCOMPARE(count(s,
                       QStringLiteral("select count(*) from sqlite_master where type='index' and name='%1'")
                           .arg(QLatin1String(ix))),
                 qint64(1));
    QCOMPARE(count(s, QStringLiteral("select count(*) from sqlite_master where name in ('wj_fz','wj_xh')")), qint64(0));
}

void ContentMigrationTest::killedMoveOpensAndFinishesOnNextStart()
{
    TestHome home;
    QVERIFY(home.isValid());
    Archive a;
    const int held = 3 * Schema::ContentMoveRows + 17;
    QVERIFY(layOutVersionOne(home, held, 12, &a));
    home.store().close();

    // A child process starts the move and is killed after its first step.
    const QString marker = QDir(home.folder()).filePath(QStringLiteral("first-step-done"));
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kChildDatabase), home.databasePath());
    env.insert(QString::fromLatin1(kChildMarker), marker);
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("-class"), QStringLiteral("ContentMigrationChild")});
    QVERIFY(child.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(marker), 60000);
    child.kill();
    QVERIFY(child.waitForFinished(10000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);

    {
        // What the kill left: part moved, part still in the rows, and every
        // content readable.
        DataStore s;
        QVERIFY(s.open(home.databasePath()));
        QCOMPARE(Schema::version(s).valueOr(-1), 2);
        const qint64 moved = count(s, QStringLiteral("select count(*) from wjnr"));
        QVERIFY(moved > 0 && moved <= Schema::ContentMoveRows);
        QCOMPARE(count(s, QStringLiteral("select count(*) from wj where wj is not null")),
                 qint64(a.heldHashes.size() + a.keptHashes.size() - Schema::ContentMoveRows));
        verifyEveryByte(s, a);
    }

    // The next start finishes the move.
    DataStore s;
    const Status opened = StartupSequence::openArchive(s, home.archive());
    QVERIFY2(opened.ok(), qPrintable(opened.detail()));
    QCOMPARE(Schema::version(s).valueOr(-1), Schema::CurrentVersion);
    QCOMPARE(count(s, QStringLiteral("select count(*) from wj where wj is not null")), qint64(0));
    QCOMPARE(count(s, QStringLiteral("select count(*) from wjnr")), qint64(a.heldHashes.size()));
    verifyEveryByte(s, a);
}

void ContentMigrationTest::stoppedMoveGoesOnWhereItStopped()
{
    TestHome home;
    QVERIFY(home.isValid());
    Archive a;
    QVERIFY(layOutVersionOne(home, 2 * Schema::ContentMoveRows + 3, 5, &a));

    // Cancelled after two steps: both committed, the rest waits.
    struct CancelAfterTwo final : Progress {
        qint64 range = -1;
        QList<qint64> values;
        void setRange(qint64, qint64 max) override { range = max; }
        void setValue(qint64 v) override { values << v; }
        bool cancelled() const override { return values.size() >= 2; }
    } progress;
    DataStore& s = home.store();
    const Status stopped = Schema::migrate(s, &progress);
    QVERIFY(!stopped);
    QVERIFY(!stopped.detail().isEmpty());
    QCOMPARE(progress.range, qint64(a.heldHashes.size() + a.keptHashes.size()));
    QCOMPARE(progress.values, QList<qint64>({Schema::ContentMoveRows, 2 * Schema::ContentMoveRows}));
    QCOMPARE(Schema::version(s).valueOr(-1), 2);
    verifyEveryByte(s, a);

    NoProgress none;
    const Status finished = Schema::migrate(s, &none);
    QVERIFY2(finished.ok(), qPrintable(finished.detail()));
    QCOMPARE(Schema::version(s).valueOr(-1), Schema::CurrentVersion);
    QCOMPARE(count(s, QStringLiteral("select count(*) from wjnr")), qint64(a.heldHashes.size()));
    verifyEveryByte(s, a);
}

void ContentMigrationTest::newArchiveHasContentTableAndIndexes()
{
    TestHome home;
    DataStore& s = home.store();
    QCOMPARE(Schema::version(s).valueOr(-1), Schema::CurrentVersion);
    QCOMPARE(count(s, QStringLiteral("select count(*) from sqlite_master where type='table' and name='wjnr'")),
             qint64(1));
    // Nothing to move: migrating again changes nothing.
    QVERIFY(Schema::migrate(s).ok());
    // The statistics of a group come from the (fz, dxsz) index alone, and a
    // kept-file name is looked up, not scanned for.
    auto plan = [&s](const QString& sql, const QVariantList& params) {
        QStringList lines;
        RecordSet rs = s.query(QStringLiteral("explain query plan ") + sql, params);
        for (; rs && !rs.atEnd(); rs.next())
            lines << rs.text(3);
        return lines.join(QLatin1Char('\n'));
    };
    const QString stats =
        plan(QStringLiteral("select count(*),sum(dxsz) from wj where (fz >= ? and fz < ? and (fz = ? or fz > ?))"),
             {QStringLiteral("A"), QStringLiteral("A]"), QStringLiteral("A"), QStringLiteral("A\\")});
    QVERIFY2(stats.contains(QStringLiteral("COVERING INDEX wj_fz_dxsz")), qPrintable(stats));
    const QString kept =
        plan(QStringLiteral("select count(*) from wj where lj=? or lj=?"), {QStringLiteral("a"), QStringLiteral("b")});
    QVERIFY2(kept.contains(QStringLiteral("wj_lj")) && !kept.contains(QStringLiteral("SCAN wj")), qPrintable(kept));
}

KV_REGISTER_TEST(ContentMigrationTest)

// Runs only as the child of killedMoveOpensAndFinishesOnNextStart.
class ContentMigrationChild : public QObject {
    Q_OBJECT
private slots:
    void moveUntilKilled()
    {
        const QString path = qEnvironmentVariable(kChildDatabase);
        if (path.isEmpty())
            QSKIP("runs only as the child of the killed-migration test");
        DataStore s;
        QVERIFY(s.open(path));
        StallAfterFirstStep progress(qEnvironmentVariable(kChildMarker));
        QVERIFY(Schema::migrate(s, &progress).ok());
    }
};

KV_REGISTER_TEST(ContentMigrationChild)
#include "ContentMigrationTest.moc"
