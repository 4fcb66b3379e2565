#include "archive/StoreFolder.h"
#include "common/KillChild.h"
#include "common/TestInput.h"
#include "common/TestRegistry.h"
#include "platform/InstanceLock.h"
#include "shell/AppContext.h"
#include "platform/Config.h"
#include "store/HomeLayout.h"
#include "shell/StartupSequence.h"
#include "common/TestHome.h"
#include "store/DataStore.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using TestInput::modeOf;
using TestInput::readFile;
using TestInput::writeFile;

namespace {

class QuietHost final : public StartupSequence::Host {
public:
    QStringList advice;
    void advise(const QString& text) override { advice << text; }
    void attachSkin(const QString&) override {}
};

struct Folder {
    QTemporaryDir dir;
    bool ok = false;
    Folder() { ok = dir.isValid() && HomeLayout::create(dir.path()).ok(); }
    QString path() const { return dir.path(); }
    QString data() const { return dir.path() + QStringLiteral("/Data"); }
    QString store() const { return dir.path() + QStringLiteral("/Data/Lf"); }
};

// The journal mode an SQLite file keeps in its header: 1 rollback, 2 WAL.
int headerJournal(const QString& path)
{
    const QByteArray h = readFile(path);
    return h.size() >= 20 ? int(h.at(18)) : -1;
}

}  // namespace

// Start-up on an archive another run is on, was killed in, or cannot write.
class StartupFaultsTest : public QObject {
    Q_OBJECT
private slots:
    void secondInstanceIsRefused();
    void lockOfAKilledRunIsTakenOver();
    void startupSweepsTheStoreFolder_data();
    void startupSweepsTheStoreFolder();
    void dataFolderIsNarrowed();
    void otherProgramsDatabaseIsLeftAlone_data();
    void otherProgramsDatabaseIsLeftAlone();
    void readOnlyArchiveIsSaid();
};

void StartupFaultsTest::secondInstanceIsRefused()
{
    Folder f;
    QVERIFY(f.ok);
    AppContext first(f.path());
    DataStore firstStore;
    QuietHost host;
    QVERIFY(StartupSequence(first, firstStore).run(QSize(1280, 1024), host).ok());
    QVERIFY(!first.instanceLocks.empty());

    AppContext second(f.path());
    DataStore secondStore;
    const StartupSequence::Result r = StartupSequence(second, secondStore).run(QSize(1280, 1024), host);
    QCOMPARE(r.outcome, StartupSequence::Outcome::AlreadyRunning);
    QCOMPARE(r.message, StartupSequence::AlreadyRunningMessage);
    QCOMPARE(r.title, StartupSequence::DatabaseMissingTitle);
    QVERIFY(!secondStore.isOpen());
    QVERIFY(second.instanceLocks.empty());

    // Once the first run ends, the next one starts.
    first.instanceLocks.clear();
    QVERIFY(StartupSequence(second, secondStore).run(QSize(1280, 1024), host).ok());
}

void StartupFaultsTest::lockOfAKilledRunIsTakenOver()
{
    Folder f;
    QVERIFY(f.ok);
    AppContext probe(f.path());
    probe.archive = ArchiveLocation::file(probe.home.databasePath(probe.config));
    const QStringList locks = StartupSequence::lockPaths(probe);
    QVERIFY(!locks.isEmpty());
    // A run holds the lock and is killed: its lock file stays behind.
    QVERIFY(KillChild::runAndKill(
        [&] {
            const InstanceLock::Attempt held = InstanceLock::acquire(locks.first());
            if (!held.lock)
                ::_exit(3);
            for (;;)
                ::pause();
        },
        300));
    QVERIFY(QFile::exists(locks.first()));
    AppContext context(f.path());
    DataStore store;
    QuietHost host;
    const StartupSequence::Result r = StartupSequence(context, store).run(QSize(1280, 1024), host);
    QVERIFY2(r.ok(), qPrintable(r.detail));
    // Held now by this run, and free again once it ends.
    QVERIFY(!InstanceLock::acquire(locks.first()).lock);
    context.instanceLocks.clear();
    QVERIFY(InstanceLock::acquire(locks.first()).lock);
}

void StartupFaultsTest::startupSweepsTheStoreFolder_data()
{
    QTest::addColumn<bool>("deferred");
    QTest::newRow("at once") << false;
    QTest::newRow("while the login waits") << true;
}

void StartupFaultsTest::startupSweepsTheStoreFolder()
{
    Folder f;
    QVERIFY(f.ok);
    const StoreFolder folder(f.path(), f.store());
    {
        DataStore s;
        QVERIFY(s.open(f.path() + QStringLiteral("/Data/files.dat")));
        const StoreFolder::Stored kept =
            folder.storeBytes(QByteArray(5000, 'k'), QStringLiteral("0000000001"), QStringLiteral("pdf"));
        QVERIFY(kept.ok);
        QVERIFY(s.execute(QStringLiteral("insert into wj(bh,mc,fz,lx,dxsz,lj) values ('0000000001','k','',?,5000,?)"),
                          {QStringLiteral("pdf"), kept.storedPath}));
    }
    QVERIFY(!writeFile(f.store() + QStringLiteral("/.kvpart-staged-q1.part"), QByteArray(50000, 's')).isEmpty());
    QVERIFY(!writeFile(f.store() + QStringLiteral("/0000000002.pdf"), "left by a killed add").isEmpty());

    AppContext context(f.path());
    DataStore store;
    QuietHost host;
    QFETCH(bool, deferred);
    StartupSequence sequence(context, store);
    if (deferred)
        sequence.deferSweep();
    QVERIFY(sequence.run(QSize(1280, 1024), host).ok());
    if (deferred) {
        // Left to the worker the program starts while the login waits.
        QCOMPARE(QDir(f.store()).entryList(QDir::Files | QDir::Hidden).size(), 3);
        QVERIFY(sequence.sweepPending());
        StartupSequence::sweepOnOwnConnection(context.home, context.archive);
    }
    QCOMPARE(QDir(f.store()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("0000000001.pdf")});
    QCOMPARE(readFile(folder.quarantineFolder() + QStringLiteral("/0000000002.pdf")),
             QByteArray("left by a killed add"));
    QCOMPARE(valueOf(store, QStringLiteral("select nr from rz order by id desc")).toString(),
             StartupSequence::sweepLogText(1, 1, folder.quarantineFolder()));
    QCOMPARE(valueOf(store, QStringLiteral("select count(*) from rz")).toInt(), 1);

    // A clean folder writes no line.
    context.instanceLocks.clear();
    store.close();
    QVERIFY(StartupSequence(context, store).run(QSize(1280, 1024), host).ok());
    QCOMPARE(valueOf(store, QStringLiteral("select count(*) from rz")).toInt(), 1);
}

void StartupFaultsTest::dataFolderIsNarrowed()
{
    Folder f;
    QVERIFY(f.ok);
    // A fresh program folder lays out its archive folders private already.
    QCOMPARE(modeOf(f.data()), 0700);
    QCOMPARE(modeOf(f.store()), 0700);
    QVERIFY(::chmod(QFile::encodeName(f.data()).constData(), 0755) == 0);
    AppContext context(f.path());
    DataStore store;
    QuietHost host;
    QVERIFY(StartupSequence(context, store).run(QSize(1280, 1024), host).ok());
    QCOMPARE(modeOf(f.data()), 0700);
    QCOMPARE(modeOf(f.store()), 0700);
}

void StartupFaultsTest::otherProgramsDatabaseIsLeftAlone_data()
{
    QTest::addColumn<bool>("wal");
    QTest::newRow("WAL database") << true;
    QTest::newRow("rollback database") << false;
}

void StartupFaultsTest::otherProgramsDatabaseIsLeftAlone()
{
    QFETCH(bool, wal);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("other.db"));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery q(db);
        if (wal)
            QVERIFY(q.exec(QStringLiteral("PRAGMA journal_mode=WAL")));
        QVERIFY(q.exec(QStringLiteral("create table notes(t text)")));
        QVERIFY(q.exec(QStringLiteral("insert into notes values ('x')")));
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("other"));
    const int mode = headerJournal(path);
    QCOMPARE(mode, wal ? 2 : 1);
    const QByteArray before = readFile(path);

    DataStore store;
    QVERIFY(!StartupSequence::openArchive(store, ArchiveLocation::file(path)));
    QVERIFY(!store.isOpen());
    QCOMPARE(headerJournal(path), mode);
    QCOMPARE(readFile(path), before);
}

void StartupFaultsTest::readOnlyArchiveIsSaid()
{
    Folder f;
    QVERIFY(f.ok);
    const QString db = f.data() + QStringLiteral("/files.dat");
    if (!KillChild::freeze(db, true))
        QSKIP("the database cannot be made unwritable here");
    AppContext context(f.path());
    DataStore store;
    QuietHost host;
    const StartupSequence::Result r = StartupSequence(context, store).run(QSize(1280, 1024), host);
    KillChild::freeze(db, false);
    QVERIFY2(r.ok(), qPrintable(r.detail));
    QCOMPARE(host.advice, QStringList{StartupSequence::ReadOnlyNotice});
}

KV_REGISTER_TEST(StartupFaultsTest)
#include "StartupFaultsTest.moc"
