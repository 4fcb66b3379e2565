// What a killed import leaves in the store folder: `check` names it as a
// leftover of an interrupted run (no fault: exit 0), and the next command
// that changes the archive sweeps it away as the program's start-up does,
// with the start-up's log line. korvane-cli runs as a child process.
#include "archive/ArchiveCheck.h"
#include "archive/StoreFolder.h"
#include "CliRun.h"
#include "common/TestHome.h"
#include "common/TestInput.h"
#include "common/TestRegistry.h"
#include "shell/StartupSequence.h"
#include "store/DataStore.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using TestInput::pattern;
using TestInput::readFile;
using TestInput::writeFile;

class CliSweepTest : public QObject {
    Q_OBJECT
private slots:
    void leftoverOfAKilledImportIsNoFaultAndGoesWithTheNextImport();
};

void CliSweepTest::leftoverOfAKilledImportIsNoFaultAndGoesWithTheNextImport()
{
    TestHome home;
    QVERIFY(home.isValid());
    QVERIFY(home.store().execute(QStringLiteral("insert into wjfz(id,fxmid,xmmc) values (1,0,'合同')")));
    const StoreFolder folder(home.context().home);
    QVERIFY(folder.ensureExists());
    // A copy killed part way leaves its temporary file in the store folder.
    const QString leftover = writeFile(folder.folder(), QStringLiteral(".kvpart-x.part"), pattern(5000, 'h'));
    QVERIFY(!leftover.isEmpty());

    Ran r = cli(home.folder(), {QStringLiteral("check")});
    QCOMPARE(r.status, 0);
    QVERIFY2(r.out.contains(ArchiveCheck::Leftover + QLatin1Char('\t') + leftover), qPrintable(r.out + r.err));
    QVERIFY2(!r.out.contains(ArchiveCheck::OrphanFile), qPrintable(r.out));
    QVERIFY2(r.out.contains(QStringLiteral("档案完好")), qPrintable(r.out));
    QVERIFY(QFileInfo::exists(leftover));  // check changes nothing

    // An import sweeps first, as the start-up does, with its log line.
    QTemporaryDir src;
    r = cli(home.folder(),
            {QStringLiteral("import"), QStringLiteral("合同"),
             writeFile(src.path(), QStringLiteral("a.txt"), pattern(300, 'a'))});
    QCOMPARE(r.status, 0);
    QVERIFY(!QFileInfo::exists(leftover));
    const QString line = StartupSequence::sweepLogText(1, 0, folder.quarantineFolder());
    QCOMPARE(valueOf(home.store(), QStringLiteral("select count(*) from rz where nr=?"), {line}).toInt(), 1);

    r = cli(home.folder(), {QStringLiteral("check")});
    QCOMPARE(r.status, 0);
    QVERIFY2(!r.out.contains(ArchiveCheck::Leftover), qPrintable(r.out));
}

KV_REGISTER_TEST(CliSweepTest)
#include "CliSweepTest.moc"
