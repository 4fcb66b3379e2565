// Backup and restore killed at each rename and unlink they make: korvane-cli
// is run under strace, which kills it just before the n-th call of one kind,
// for n = 1, 2, … until a run gets through.
#include "common/TestHome.h"
#include "common/TestInput.h"
#include "common/TestRegistry.h"
#include "settings/ArchiveCare.h"
#include "store/DataStore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using TestInput::pattern;
using TestInput::writeFile;

namespace {

const QStringList kCalls{QStringLiteral("rename"), QStringLiteral("renameat"), QStringLiteral("renameat2"),
                         QStringLiteral("unlink"), QStringLiteral("unlinkat"), QStringLiteral("rmdir")};

// Runs korvane-cli with args, killed before the n-th call of `call` (none:
// not traced at all); true when it was killed (false: it got through).
bool killedAt(const QString& home, const QStringList& args, const QString& call, int n)
{
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert(QStringLiteral("KORVANE_PASSWORD"), QString());
    e.remove(QStringLiteral("DISPLAY"));
    p.setProcessEnvironment(e);
    p.setStandardInputFile(QProcess::nullDevice());
    const QStringList cli = QStringList{QStringLiteral(KV_CLI), QStringLiteral("--home"), home} + args;
    if (call.isEmpty())
        p.start(cli.first(), cli.mid(1));
    else
        p.start(QStringLiteral("strace"),
                QStringList{QStringLiteral("-f"), QStringLiteral("-qq"), QStringLiteral("-o"),
                            QStringLiteral("/dev/null"), QStringLiteral("-e"),
                            QStringLiteral("inject=%1:signal=KILL:when=%2").arg(call).arg(n)}
                    + cli);
    p.waitForFinished(120000);
    return p.exitStatus() != QProcess::NormalExit || p.exitCode() == 128 + 9 || p.exitCode() == 137;
}

// The records a whole archive in folder holds; -1 when it is not whole.
int wholeRecords(const QString& folder)
{
    if (!ArchiveCare::checkFolder(folder).ok())
        return -1;
    DataStore s;
    if (!s.open(QDir(folder).filePath(ArchiveCare::DatabaseName)))
        return -1;
    return valueOf(s, QStringLiteral("select count(*) from wj")).toInt();
}

// Every whole archive below base (not deeper than two levels), by record count.
QList<int> wholeArchivesIn(const QString& base)
{
    QList<int> found;
    QDirIterator it(base, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    QStringList folders{base};
    while (it.hasNext())
        folders << it.next();
    for (const QString& f : folders)
        if (QFileInfo(QDir(f).filePath(ArchiveCare::DatabaseName)).isFile())
            if (const int n = wholeRecords(f); n >= 0)
                found << n;
    return found;
}

bool copyTree(const QString& from, const QString& to)
{
    QDir(to).removeRecursively();
    return QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), from, to}) == 0;
}

}  // namespace

class CareKillTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void killedBackupLeavesTheOldOrTheNewBackup();
    void killedRestoreLosesNoArchive();

private:
    // An archive of `records` records, two of them kept in the store folder.
    void fill(TestHome& home, int records);
};

void CareKillTest::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("strace")).isEmpty()
        || QProcess::execute(
               QStringLiteral("strace"),
               {QStringLiteral("-qq"), QStringLiteral("-o"), QStringLiteral("/dev/null"), QStringLiteral("true")})
            != 0)
        QSKIP("strace cannot trace here");
}

void CareKillTest::fill(TestHome& home, int records)
{
    DataStore& s = home.store();
    for (int i = 1; i <= records; ++i) {
        const QByteArray bytes = pattern(i <= 2 ? 200000 : 300, char('a' + i));
        const QString number = QStringLiteral("%1").arg(i, 10, 10, QLatin1Char('0'));
        QString lj;
        if (i <= 2) {
            QVERIFY(!writeFile(home.context().home.storeFolder(), number + QStringLiteral(".bin"), bytes).isEmpty());
            lj = QStringLiteral("Data/Lf/") + number + QStringLiteral(".bin");
        }
        QVERIFY(s.execute(QStringLiteral("insert into wj(bh,mc,fz,lx,dxsz,lj,sha256) values(?,?,'',?,?,?,?)"),
                          {number, number, QStringLiteral("bin"), bytes.size(), lj,
                           QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex())}));
        if (i > 2)
            QVERIFY(s.execute(QStringLiteral("insert into wjnr(id,nr) values(?,?)"), {s.lastInsertId(), bytes}));
    }
}

void CareKillTest::killedBackupLeavesTheOldOrTheNewBackup()
{
    TestHome home;
    QVERIFY(home.isValid());
    fill(home, 4);
    QTemporaryDir out;
    const QString previous = out.filePath(QStringLiteral("previous"));
    QVERIFY(ArchiveCare::backup(ArchivePlace::of(home.context().home, home.archive()), previous).ok());
    fill(home, 5);  // the archive moves on: 9 records now, 4 in the previous backup
    home.store().close();
    const QString target = out.filePath(QStringLiteral("backup"));

    int runs = 0;
    for (const QString& call : kCalls) {
        for (int n = 1;; ++n) {
            QVERIFY(copyTree(previous, target));
            for (const QString& left : QDir(out.path()).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot))
                if (left != QLatin1String("previous") && left != QLatin1String("backup"))
                    QVERIFY(QDir(out.filePath(left)).removeRecursively());
            const bool killed = killedAt(home.folder(), {QStringLiteral("backup"), target}, call, n);
            ++runs;
            const QString at = QStringLiteral("%1 #%2").arg(call).arg(n);
            // The target holds a whole backup, the old or the new, never neither.
            const int inTarget = wholeRecords(target);
            QVERIFY2(inTarget == 4 || inTarget == 9, qPrintable(at + QStringLiteral(": %1").arg(inTarget)));
            QCOMPARE(wholeRecords(home.context().home.dataFolder()), 9);
            if (!killed) {
                qInfo("backup: %s killed at each of %d calls", qPrintable(call), n - 1);
                break;
            }
            // The next backup gets through and deletes no whole copy left
            // beside (the old backup in the target it may replace).
            const int oldBeside = int(wholeArchivesIn(out.path()).count(4)) - (inTarget == 4 ? 1 : 0);
            QVERIFY2(!killedAt(home.folder(), {QStringLiteral("backup"), target}, QString(), 0), qPrintable(at));
            QCOMPARE(wholeRecords(target), 9);
            QVERIFY2(wholeArchivesIn(out.path()).count(4) >= oldBeside, qPrintable(at));
            QVERIFY(n < 200);
        }
    }
    QVERIFY(runs > int(kCalls.size()));
}

void CareKillTest::killedRestoreLosesNoArchive()
{
    TestHome home;
    QVERIFY(home.isValid());
    fill(home, 3);
    QTemporaryDir out;
    const QString backup = out.filePath(QStringLiteral("backup"));
    QVERIFY(ArchiveCare::backup(ArchivePlace::of(home.context().home, home.archive()), backup).ok());
    fill(home, 4);  // 7 records in use, 3 in the backup
    home.store().close();
    const QString data = home.context().home.dataFolder();
    const QString pristine = out.filePath(QStringLiteral("in-use"));
    QVERIFY(copyTree(data, pristine));
    const QString programFolder = home.folder();

    for (const QString& call : kCalls) {
        for (int n = 1;; ++n) {
            // The archive in use again, and nothing beside it.
            for (const QString& e : QDir(programFolder).entryList({QStringLiteral("Data*")}, QDir::Dirs | QDir::Hidden))
                QVERIFY(QDir(QDir(programFolder).filePath(e)).removeRecursively());
            QVERIFY(copyTree(pristine, data));
            const bool killed = killedAt(programFolder, {QStringLiteral("restore"), backup}, call, n);
            const QString at = QStringLiteral("%1 #%2").arg(call).arg(n);
            const int inData = wholeRecords(data);
            QVERIFY2(inData == 3 || inData == 7, qPrintable(at + QStringLiteral(": %1").arg(inData)));
            // The archive that was in use is whole somewhere beside.
            QVERIFY2(wholeArchivesIn(programFolder).contains(7), qPrintable(at));
            if (!killed) {
                qInfo("restore: %s killed at each of %d calls", qPrintable(call), n - 1);
                break;
            }
            // The next run keeps what the killed one left, and says so.
            QVERIFY(!killedAt(programFolder, {QStringLiteral("groups")}, QString(), 0));
            QVERIFY2(wholeArchivesIn(programFolder).contains(7), qPrintable(at));
            QVERIFY(QDir(programFolder)
                        .entryList({QStringLiteral("Data.restoring-*")}, QDir::Dirs | QDir::Hidden)
                        .isEmpty());
            QVERIFY(n < 200);
        }
    }
}

KV_REGISTER_TEST(CareKillTest)
#include "CareKillTest.moc"
