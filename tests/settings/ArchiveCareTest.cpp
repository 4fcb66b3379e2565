#include "common/KillChild.h"
#include "common/TestHome.h"
#include "common/TestInput.h"
#include "common/TestRegistry.h"
#include "platform/FolderTreeCopy.h"
#include "platform/InstanceLock.h"
#include "settings/ArchiveCare.h"
#include "store/DataStore.h"
#include "store/Schema.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <memory>

using TestInput::pattern;
using TestInput::readFile;
using TestInput::writeFile;

namespace {

// Cancels once the run has reached `after` bytes in all.
class CancelAt final : public TreeCopyProgress {
public:
    explicit CancelAt(qint64 after) : m_after(after) {}
    void setStatus(const QString& text) override { statuses << text; }
    void setFile(qint64, qint64) override {}
    void setTotal(qint64 done, qint64) override { m_done = done; }
    bool cancelled() const override { return m_after >= 0 && m_done >= m_after; }
    QStringList statuses;

private:
    qint64 m_after;
    qint64 m_done = 0;
};

// Every row of every table, in row order, as text.
QString dump(const QString& dbPath)
{
    DataStore s;
    if (!s.open(dbPath))
        return QStringLiteral("cannot open");
    QString out;
    QStringList tables = Schema::tableNames();
    tables << QStringLiteral("wjnr");
    for (const QString& t : tables) {
        out += t + QLatin1Char(':');
        RecordSet rs = s.query(QStringLiteral("select * from %1 order by rowid").arg(t));
        for (; rs && !rs.atEnd(); rs.next()) {
            for (int c = 0; c < rs.columnCount(); ++c) {
                const QVariant v = rs.value(c);
                // Password hashes carry a salt of their own each time.
                if (v.toString().startsWith(QLatin1String("$argon2")))
                    continue;
                out +=
                    v.typeId() == QMetaType::QByteArray ? QString::fromLatin1(v.toByteArray().toHex()) : v.toString();
                out += QLatin1Char('|');
            }
            out += QLatin1Char('\n');
        }
    }
    return out;
}

QByteArray hashOf(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(&f);
    return h.result();
}

// name -> content hash of every file below folder.
QMap<QString, QByteArray> filesOf(const QString& folder)
{
    QMap<QString, QByteArray> out;
    const QDir base(folder);
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        out.insert(base.relativeFilePath(it.filePath()), hashOf(it.filePath()));
    }
    return out;
}

}  // namespace

class ArchiveCareTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void backupHoldsTheArchiveAsItWas();
    void restoreBringsBackTheBackupByteForByte();
    void backupWhileAnotherConnectionWritesIsConsistent();
    void cancelledBackupLeavesNothing();
    void backupOfAWriteAheadLogArchiveGoesThroughTheOnlineBackup();
    void backupOverAnOlderBackupReplacesIt();
    void backupIntoTheDataFolderIsRefused();
    void damagedContentFailsTheBackupAndKeepsThePreviousOne_data();
    void damagedContentFailsTheBackupAndKeepsThePreviousOne();
    void swapHoldsTheLockThroughout();
    void refusedRestoreChangesNothing_data();
    void refusedRestoreChangesNothing();
    void killedRestoreLeavesTheArchiveWhole();
    void rebuildKeepsABackupThatRestoresTheArchive();
    void killedBackupOrRebuildLeavesTheArchiveWhole();
    void compactionGivesBothSizes();
    void folderTreeCopyCountsAndReports();

private:
    DataStore& s() { return m_home->store(); }
    ArchivePlace place() { return ArchivePlace::of(m_home->context().home, m_home->archive()); }
    QString dataFolder() { return m_home->context().home.dataFolder(); }
    // A record whose content is kept in the store folder.
    void addKept(const QString& name, const QByteArray& bytes);
    void addHeld(const QString& name, const QByteArray& bytes);
    // The restore, both halves, with the connection closed around the swap.
    Result<QString> restore(const QString& from);

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<QTemporaryDir> m_out;
    int m_next = 1;
};

void ArchiveCareTest::init()
{
    m_home = std::make_unique<TestHome>();
    QVERIFY(m_home->isValid());
    m_out = std::make_unique<QTemporaryDir>();
    m_next = 1;
}

void ArchiveCareTest::cleanup()
{
    m_home.reset();
    m_out.reset();
}

void ArchiveCareTest::addKept(const QString& name, const QByteArray& bytes)
{
    const QString file = QStringLiteral("%1.bin").arg(m_next, 10, 10, QLatin1Char('0'));
    QVERIFY(!writeFile(m_home->context().home.storeFolder(), file, bytes).isEmpty());
    QVERIFY(s().execute(QStringLiteral("insert into wj(bh,mc,fz,lx,dx,dxsz,lj) values(?,?,?,?,?,?,?)"),
                        {QStringLiteral("%1").arg(m_next, 10, 10, QLatin1Char('0')), name, QStringLiteral("合同"),
                         QStringLiteral("bin"), QString(), bytes.size(), QStringLiteral("Data/Lf/") + file}));
    ++m_next;
}

void ArchiveCareTest::addHeld(const QString& name, const QByteArray& bytes)
{
    QVERIFY(s().execute(QStringLiteral("insert into wj(bh,mc,fz,lx,dx,dxsz,lj) values(?,?,?,?,?,?,'')"),
                        {QStringLiteral("%1").arg(m_next, 10, 10, QLatin1Char('0')), name, QStringLiteral("合同"),
                         QStringLiteral("txt"), QString(), bytes.size()}));
    QVERIFY(s().execute(QStringLiteral("insert into wjnr(id, nr) values(?, ?)"), {s().lastInsertId(), bytes}));
    ++m_next;
}

Result<QString> ArchiveCareTest::restore(const QString& from)
{
    Result<QString> prepared = ArchiveCare::prepareRestore(place(), from);
    if (!prepared)
        return prepared;
    s().close();
    Result<ArchiveCare::Swapped> swapped = ArchiveCare::swapIn(place(), *prepared);
    if (!s().open(m_home->databasePath()))
        return Result<QString>::fail(QStringLiteral("reopen"));
    if (!swapped)
        return swapped.failure();
    return Result<QString>(swapped->kept, swapped.message());
}

void ArchiveCareTest::backupHoldsTheArchiveAsItWas()
{
    addKept(QStringLiteral("大"), pattern(3 * 1024 * 1024 + 7, 'k'));
    addKept(QStringLiteral("it's 100%_"), pattern(10, 'q'));
    addHeld(QStringLiteral("小"), pattern(500, 'h'));
    const QString before = dump(m_home->databasePath());
    const QString target = m_out->filePath(QStringLiteral("备份 1"));

    CancelAt progress(-1);
    const Result<qint64> r = ArchiveCare::backup(place(), target, &progress);
    QVERIFY2(r.ok(), qPrintable(r.detail()));
    QCOMPARE(r.message(), ArchiveCare::BackupDone);
    QVERIFY(progress.statuses.contains(FolderTreeCopy::CopyingText));
    QVERIFY(progress.statuses.contains(ArchiveCare::VerifyingText));

    // files.dat and Lf directly in the chosen folder, nothing else.
    QCOMPARE(QDir(target).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
             QStringList({QStringLiteral("Lf"), QStringLiteral("files.dat")}));
    QCOMPARE(dump(QDir(target).filePath(QStringLiteral("files.dat"))), before);
    QCOMPARE(filesOf(QDir(target).filePath(QStringLiteral("Lf"))), filesOf(m_home->context().home.storeFolder()));
    QVERIFY(ArchiveCare::checkFolder(target).ok());
    // The archive in use is untouched and still open.
    QCOMPARE(valueOf(s(), QStringLiteral("select count(*) from wj")).toInt(), 3);
}

void ArchiveCareTest::restoreBringsBackTheBackupByteForByte()
{
    addKept(QStringLiteral("a"), pattern(200000, 'a'));
    addHeld(QStringLiteral("b"), pattern(1000, 'b'));
    const QString target = m_out->filePath(QStringLiteral("b"));
    QVERIFY(ArchiveCare::backup(place(), target).ok());
    const QByteArray backedUp = hashOf(QDir(target).filePath(QStringLiteral("files.dat")));
    const auto keptFiles = filesOf(QDir(target).filePath(QStringLiteral("Lf")));
    const QString rowsThen = dump(m_home->databasePath());

    // The archive moves on: a new record, a kept file gone.
    addKept(QStringLiteral("c"), pattern(5000, 'c'));
    QVERIFY(QFile::remove(QDir(m_home->context().home.storeFolder()).filePath(QStringLiteral("0000000001.bin"))));
    const QString rowsNow = dump(m_home->databasePath());

    const Result<QString> r = restore(target);
    QVERIFY2(r.ok(), qPrintable(r.message() + r.detail()));
    QVERIFY(r.message().startsWith(ArchiveCare::RestoreDone));
    QVERIFY(r.message().contains(QDir::toNativeSeparators(*r)));
    QCOMPARE(hashOf(m_home->databasePath()), backedUp);
    QCOMPARE(filesOf(m_home->context().home.storeFolder()), keptFiles);
    QCOMPARE(dump(m_home->databasePath()), rowsThen);
    // The folder that was in use is kept beside, whole.
    QVERIFY(QFileInfo(*r).isDir());
    QCOMPARE(QFileInfo(*r).absolutePath(), QFileInfo(dataFolder()).absolutePath());
    QCOMPARE(dump(QDir(*r).filePath(QStringLiteral("files.dat"))), rowsNow);
    // No leftover of the restore.
    const QStringList beside = QDir(QFileInfo(dataFolder()).absolutePath())
                                   .entryList({QStringLiteral("Data.restoring-*")}, QDir::Dirs | QDir::Hidden);
    QVERIFY(beside.isEmpty());
}

void ArchiveCareTest::backupWhileAnotherConnectionWritesIsConsistent()
{
    // Enough pages that the copy takes many steps.
    for (int i = 0; i < 40; ++i)
        addHeld(QStringLiteral("filler%1").arg(i), pattern(1024 * 1024, char('a' + i % 20)));
    std::atomic<bool> stop{false};
    std::atomic<int> pairs{0};
    const QString db = m_home->databasePath();
    std::unique_ptr<QThread> writer(QThread::create([&] {
        DataStore w;
        if (!w.open(db))
            return;
        for (int i = 0; !stop; ++i) {
            Transaction tx(w);
            if (!tx.isActive())
                continue;
            // Two rows per transaction: a consistent copy holds an even count.
            const bool ok = w.execute(QStringLiteral("insert into rz(czy,nr,sj) values('w', 'pair', '')"))
                && w.execute(QStringLiteral("insert into rz(czy,nr,sj) values('w', 'pair', '')"));
            if (ok && tx.commit())
                ++pairs;
        }
    }));
    writer->start();
    while (pairs < 5)
        QThread::msleep(1);
    const QString target = m_out->filePath(QStringLiteral("live"));
    const Result<qint64> r = ArchiveCare::backup(place(), target);
    stop = true;
    writer->wait();
    QVERIFY2(r.ok(), qPrintable(r.detail()));
    DataStore copy;
    QVERIFY(copy.open(QDir(target).filePath(QStringLiteral("files.dat"))));
    QCOMPARE(valueOf(copy, QStringLiteral("pragma quick_check")).toString(), QStringLiteral("ok"));
    const int rows = valueOf(copy, QStringLiteral("select count(*) from rz where nr='pair'")).toInt();
    QVERIFY(rows >= 10);
    QCOMPARE(rows % 2, 0);
}

void ArchiveCareTest::cancelledBackupLeavesNothing()
{
    addKept(QStringLiteral("a"), pattern(4 * 1024 * 1024, 'a'));
    addKept(QStringLiteral("b"), pattern(4 * 1024 * 1024, 'b'));
    const QString target = m_out->filePath(QStringLiteral("cancel"));
    const qint64 dbSize = QFileInfo(m_home->databasePath()).size();
    CancelAt progress(dbSize + 1);
    const Result<qint64> r = ArchiveCare::backup(place(), target, &progress);
    QVERIFY(!r.ok());
    QVERIFY(r.cancelled());
    QCOMPARE(r.message(), ArchiveCare::BackupCancelled);
    QVERIFY(QDir(target).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
}

void ArchiveCareTest::backupOfAWriteAheadLogArchiveGoesThroughTheOnlineBackup()
{
    for (int i = 0; i < 10; ++i)
        addHeld(QStringLiteral("h%1").arg(i), pattern(600000, char('a' + i)));
    const QString rows = dump(m_home->databasePath());
    QCOMPARE(valueOf(s(), QStringLiteral("pragma journal_mode=wal")).toString(), QStringLiteral("wal"));
    // Rows only in the log until a checkpoint.
    QVERIFY(s().execute(QStringLiteral("insert into rz(czy,nr,sj) values('w','in the log','')")));
    const QString target = m_out->filePath(QStringLiteral("wal"));
    const Result<qint64> r = ArchiveCare::backup(place(), target);
    QVERIFY2(r.ok(), qPrintable(r.detail()));
    DataStore copy;
    QVERIFY(copy.open(QDir(target).filePath(QStringLiteral("files.dat"))));
    QCOMPARE(valueOf(copy, QStringLiteral("select count(*) from rz where nr='in the log'")).toInt(), 1);
    QVERIFY(ArchiveCare::checkFolder(target).ok());
    QVERIFY(!rows.isEmpty());
}

void ArchiveCareTest::backupOverAnOlderBackupReplacesIt()
{
    const QString target = m_out->filePath(QStringLiteral("again"));
    addKept(QStringLiteral("old"), pattern(100, 'o'));
    QVERIFY(ArchiveCare::backup(place(), target).ok());
    addKept(QStringLiteral("new"), pattern(100, 'n'));
    QVERIFY(ArchiveCare::backup(place(), target).ok());
    QCOMPARE(dump(QDir(target).filePath(QStringLiteral("files.dat"))), dump(m_home->databasePath()));
    QCOMPARE(filesOf(QDir(target).filePath(QStringLiteral("Lf"))).size(), 2);
    QCOMPARE(QDir(target).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 2);
}

void ArchiveCareTest::backupIntoTheDataFolderIsRefused()
{
    const QStringList files = QDir(dataFolder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    // A link is the place it leads to.
    const QString link = m_out->filePath(QStringLiteral("link"));
    QVERIFY(QFile::link(dataFolder(), link));
    for (const QString& t : {dataFolder(), QDir(dataFolder()).filePath(QStringLiteral("Lf/x")), m_home->folder(), link,
                             link + QStringLiteral("/Lf")}) {
        const Result<qint64> r = ArchiveCare::backup(place(), t);
        QVERIFY2(!r.ok(), qPrintable(t));
        QVERIFY(!r.message().isEmpty());
    }
    QCOMPARE(QDir(dataFolder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), files);
    QCOMPARE(ArchiveCare::prepareRestore(place(), link).message(), ArchiveCare::NotABackup);
}

void ArchiveCareTest::damagedContentFailsTheBackupAndKeepsThePreviousOne_data()
{
    QTest::addColumn<QString>("damage");
    QTest::newRow("kept file byte flipped") << "kept";
    QTest::newRow("kept file a link") << "link";
    QTest::newRow("held content byte flipped") << "held";
}

void ArchiveCareTest::damagedContentFailsTheBackupAndKeepsThePreviousOne()
{
    QFETCH(QString, damage);
    addKept(QStringLiteral("k"), pattern(50000, 'k'));
    addHeld(QStringLiteral("h"), pattern(500, 'h'));
    QVERIFY(s().execute(
        QStringLiteral("update wj set sha256=? where id=1"),
        {QString::fromLatin1(
            hashOf(QDir(m_home->context().home.storeFolder()).filePath(QStringLiteral("0000000001.bin"))).toHex())}));
    QVERIFY(s().execute(
        QStringLiteral("update wj set sha256=? where id=2"),
        {QString::fromLatin1(QCryptographicHash::hash(pattern(500, 'h'), QCryptographicHash::Sha256).toHex())}));
    const QString target = m_out->filePath(QStringLiteral("b"));
    QVERIFY(ArchiveCare::backup(place(), target).ok());
    const auto previous = filesOf(target);

    const QString kept = QDir(m_home->context().home.storeFolder()).filePath(QStringLiteral("0000000001.bin"));
    QByteArray bytes =
        pattern(damage == QLatin1String("held") ? 500 : 50000, damage == QLatin1String("held") ? 'h' : 'k');
    bytes[100] = char(bytes[100] ^ 1);
    if (damage == QLatin1String("kept")) {
        QVERIFY(!writeFile(kept, bytes).isEmpty());
    } else if (damage == QLatin1String("link")) {
        QVERIFY(QFile::remove(kept));
        QVERIFY(QFile::link(QStringLiteral("/etc/passwd"), kept));
    } else {
        QVERIFY(s().execute(QStringLiteral("update wjnr set nr=? where id=2"), {bytes}));
    }
    const Result<qint64> r = ArchiveCare::backup(place(), target);
    QVERIFY(!r.ok());
    QVERIFY2(r.message().contains(damage == QLatin1String("held") ? QStringLiteral("0000000002")
                                                                  : QStringLiteral("0000000001")),
             qPrintable(r.message()));
    QCOMPARE(filesOf(target), previous);
    QCOMPARE(QDir(m_out->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList({QStringLiteral("b")}));
}

void ArchiveCareTest::swapHoldsTheLockThroughout()
{
    addKept(QStringLiteral("k"), pattern(5000, 'k'));
    const QString from = m_out->filePath(QStringLiteral("from"));
    QVERIFY(ArchiveCare::backup(place(), from).ok());
    const QString lockFile = QDir(dataFolder()).filePath(InstanceLock::FileName);
    InstanceLock::Attempt held = InstanceLock::acquire(lockFile);
    QVERIFY(held.lock);
    const Result<QString> prepared = ArchiveCare::prepareRestore(place(), from);
    QVERIFY(prepared.ok());
    s().close();
    const Result<ArchiveCare::Swapped> swapped = ArchiveCare::swapIn(place(), *prepared);
    QVERIFY(swapped.ok());
    // Between the swap and the caller taking the new lock, no other run gets in.
    QVERIFY(InstanceLock::acquire(lockFile).held);
    held.lock.reset();
    QVERIFY(InstanceLock::acquire(lockFile).held);
    QVERIFY(s().open(m_home->databasePath()));
}

void ArchiveCareTest::refusedRestoreChangesNothing_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("no files.dat") << "missing";
    QTest::newRow("random bytes") << "random";
    QTest::newRow("broken pages") << "broken";
    QTest::newRow("kept file missing") << "kept";
    QTest::newRow("kept file short") << "short";
    QTest::newRow("newer schema") << "newer";
    QTest::newRow("table missing") << "table";
}

void ArchiveCareTest::refusedRestoreChangesNothing()
{
    QFETCH(QString, fault);
    for (int i = 0; i < 30; ++i)
        addHeld(QStringLiteral("h%1").arg(i), pattern(8000, 'x'));
    addKept(QStringLiteral("k"), pattern(9000, 'k'));
    const QString from = m_out->filePath(QStringLiteral("from"));
    QVERIFY(ArchiveCare::backup(place(), from).ok());
    const QString db = QDir(from).filePath(QStringLiteral("files.dat"));
    if (fault == QLatin1String("missing")) {
        QVERIFY(QFile::remove(db));
    } else if (fault == QLatin1String("random")) {
        QVERIFY(!writeFile(db, pattern(64 * 1024, 'r')).isEmpty());
    } else if (fault == QLatin1String("broken")) {
        QFile f(db);
        QVERIFY(f.open(QIODevice::ReadWrite));
        // Page 2 onwards overwritten: the header stays, the b-trees break.
        f.seek(4096);
        f.write(QByteArray(3 * 4096, '\xA5'));
    } else if (fault == QLatin1String("kept")) {
        QVERIFY(QFile::remove(QDir(from).filePath(QStringLiteral("Lf/0000000031.bin"))));
    } else if (fault == QLatin1String("short")) {
        QVERIFY(!writeFile(QDir(from).filePath(QStringLiteral("Lf/0000000031.bin")), pattern(10, 'k')).isEmpty());
    } else {
        DataStore b;
        QVERIFY(b.open(db));
        QVERIFY(b.execute(fault == QLatin1String("newer") ? QStringLiteral("pragma user_version=99")
                                                          : QStringLiteral("drop table czygl")));
    }
    s().close();
    const QByteArray dbBefore = hashOf(m_home->databasePath());
    const auto lfBefore = filesOf(m_home->context().home.storeFolder());
    QVERIFY(s().open(m_home->databasePath()));

    const Result<QString> r = ArchiveCare::prepareRestore(place(), from);
    QVERIFY(!r.ok());
    QCOMPARE(r.message(), ArchiveCare::NotABackup);
    QCOMPARE(hashOf(m_home->databasePath()), dbBefore);
    QCOMPARE(filesOf(m_home->context().home.storeFolder()), lfBefore);
    QCOMPARE(
        QDir(QFileInfo(dataFolder()).absolutePath()).entryList({QStringLiteral("Data*")}, QDir::Dirs | QDir::Hidden),
        QStringList{QStringLiteral("Data")});
}

void ArchiveCareTest::killedRestoreLeavesTheArchiveWhole()
{
    for (int i = 0; i < 12; ++i)
        addKept(QStringLiteral("k%1").arg(i), pattern(2 * 1024 * 1024, char('a' + i)));
    const QString from = m_out->filePath(QStringLiteral("from"));
    QVERIFY(ArchiveCare::backup(place(), from).ok());
    const QString rowsThen = dump(QDir(from).filePath(QStringLiteral("files.dat")));
    addKept(QStringLiteral("later"), pattern(1000, 'l'));
    const QString rowsNow = dump(m_home->databasePath());
    const ArchivePlace where = place();

    int killed = 0;
    for (int round = 0; round < 12; ++round) {
        s().close();
        killed += KillChild::runAndKill(
                      [&] {
                          for (;;) {
                              Result<QString> prepared = ArchiveCare::prepareRestore(where, from);
                              if (prepared)
                                  (void)ArchiveCare::swapIn(where, *prepared);
                          }
                      },
                      5 + round * 40)
            ? 1
            : 0;
        // Whatever the moment: the Data folder holds one whole archive.
        const Status whole = ArchiveCare::checkFolder(dataFolder());
        QVERIFY2(whole.ok(), qPrintable(QStringLiteral("round %1: %2").arg(round).arg(whole.detail())));
        const QString rows = dump(m_home->databasePath());
        QVERIFY2(rows == rowsThen || rows == rowsNow, qPrintable(QStringLiteral("round %1").arg(round)));
        QVERIFY(s().open(m_home->databasePath()));
    }
    QVERIFY(killed > 0);
    // The next restore clears the leftovers of a killed one and succeeds.
    const Result<QString> r = restore(from);
    QVERIFY2(r.ok(), qPrintable(r.detail()));
    QCOMPARE(dump(m_home->databasePath()), rowsThen);
    QVERIFY(QDir(QFileInfo(dataFolder()).absolutePath())
                .entryList({QStringLiteral("Data.restoring-*")}, QDir::Dirs | QDir::Hidden)
                .isEmpty());
}

void ArchiveCareTest::rebuildKeepsABackupThatRestoresTheArchive()
{
    addKept(QStringLiteral("k"), pattern(70000, 'k'));
    addHeld(QStringLiteral("h"), pattern(700, 'h'));
    QVERIFY(s().execute(QStringLiteral("insert into wjfz(fxmid, xmmc) values(0, '合同')")));
    const QString rowsThen = dump(m_home->databasePath());
    const auto keptThen = filesOf(m_home->context().home.storeFolder());

    const Result<QString> r = ArchiveCare::rebuild(place(), s());
    QVERIFY2(r.ok(), qPrintable(r.detail()));
    QVERIFY(r.message().contains(QDir::toNativeSeparators(*r)));
    QCOMPARE(QFileInfo(*r).absolutePath(), QFileInfo(dataFolder()).absolutePath());
    QCOMPARE(valueOf(s(), QStringLiteral("select count(*) from wj")).toInt(), 0);
    const QString fresh = m_out->filePath(QStringLiteral("fresh.dat"));
    QVERIFY(Schema::createDatabaseFile(fresh).ok());
    QCOMPARE(dump(m_home->databasePath()), dump(fresh));
    QVERIFY(filesOf(m_home->context().home.storeFolder()).isEmpty());

    const Result<QString> back = restore(*r);
    QVERIFY2(back.ok(), qPrintable(back.detail()));
    QCOMPARE(dump(m_home->databasePath()), rowsThen);
    QCOMPARE(filesOf(m_home->context().home.storeFolder()), keptThen);
}

void ArchiveCareTest::killedBackupOrRebuildLeavesTheArchiveWhole()
{
    for (int i = 0; i < 8; ++i)
        addKept(QStringLiteral("k%1").arg(i), pattern(2 * 1024 * 1024, char('a' + i)));
    addHeld(QStringLiteral("h"), pattern(300000, 'h'));
    const QString rowsThen = dump(m_home->databasePath());
    const QString fresh = m_out->filePath(QStringLiteral("fresh.dat"));
    QVERIFY(Schema::createDatabaseFile(fresh).ok());
    const QString rowsInitial = dump(fresh);
    const ArchivePlace where = place();
    const QString target = m_out->filePath(QStringLiteral("killed"));
    const QString db = m_home->databasePath();

    for (int round = 0; round < 10; ++round) {
        const bool rebuilding = round >= 5;
        s().close();
        KillChild::runAndKill(
            [&] {
                DataStore child;
                if (!child.open(db))
                    return;
                for (;;) {
                    if (rebuilding)
                        (void)ArchiveCare::rebuild(where, child);
                    else
                        (void)ArchiveCare::backup(where, target);
                }
            },
            10 + round % 5 * 60);
        const Status whole = ArchiveCare::checkFolder(dataFolder());
        QVERIFY2(whole.ok(), qPrintable(QStringLiteral("round %1: %2").arg(round).arg(whole.detail())));
        const QString rows = dump(db);
        QVERIFY2(rows == rowsThen || (rebuilding && rows == rowsInitial),
                 qPrintable(QStringLiteral("round %1").arg(round)));
        // A backup there is whole; a later one clears what a killed one left.
        if (QFileInfo::exists(QDir(target).filePath(QStringLiteral("files.dat"))))
            QVERIFY(ArchiveCare::checkFolder(target).ok());
        QVERIFY(s().open(db));
    }
    QVERIFY(ArchiveCare::backup(where, target).ok());
    QCOMPARE(QDir(target).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 2);
}

void ArchiveCareTest::compactionGivesBothSizes()
{
    for (int i = 0; i < 20; ++i)
        addHeld(QStringLiteral("h%1").arg(i), pattern(100000, 'c'));
    QVERIFY(s().execute(QStringLiteral("delete from wjnr")));
    const qint64 before = QFileInfo(m_home->databasePath()).size();
    const Result<ArchiveCare::Compacted> r = ArchiveCare::compact(s());
    QVERIFY(r.ok());
    QCOMPARE(r->before, before);
    QVERIFY(r->after < before);
    QVERIFY(r.message().contains(QStringLiteral("压缩前")));
    QCOMPARE(valueOf(s(), QStringLiteral("select count(*) from wj")).toInt(), 20);
}

void ArchiveCareTest::folderTreeCopyCountsAndReports()
{
    const QString src = m_out->filePath(QStringLiteral("src"));
    QDir().mkpath(src + QStringLiteral("/a/b"));
    writeFile(src + QStringLiteral("/a/b"), QStringLiteral("one.txt"), pattern(100, '1'));
    writeFile(src + QStringLiteral("/a"), QStringLiteral("two.bin"), pattern(3 * 1024 * 1024, '2'));
    writeFile(src, QStringLiteral("three"), QByteArray());
    QDir().mkpath(src + QStringLiteral("/empty/inner"));
    CancelAt progress(-1);
    const Result<FolderTreeCopy::Outcome> r =
        FolderTreeCopy::copy(src, m_out->filePath(QStringLiteral("dst")), &progress);
    QVERIFY(r.ok());
    QCOMPARE(r->copied, 3);
    QCOMPARE(r->failed, 0);
    QCOMPARE(filesOf(m_out->filePath(QStringLiteral("dst"))), filesOf(src));
    QVERIFY(QFileInfo(m_out->filePath(QStringLiteral("dst/empty/inner"))).isDir());
    QCOMPARE(progress.statuses,
             QStringList({FolderTreeCopy::CountingText, FolderTreeCopy::CreatingText, FolderTreeCopy::CopyingText,
                          FolderTreeCopy::doneText(3, 0)}));
    QCOMPARE(FolderTreeCopy::doneText(3, 1), QStringLiteral("全部完成...3    失败:1个"));
}

KV_REGISTER_TEST(ArchiveCareTest)
#include "ArchiveCareTest.moc"
