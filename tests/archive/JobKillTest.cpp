#include "archive/ArchiveCheck.h"
#include "archive/BatchImport.h"
#include "archive/GroupTree.h"
#include "common/KillChild.h"
#include "common/TestHome.h"
#include "common/TestInput.h"
#include "common/TestRegistry.h"
#include "platform/FileCopy.h"
#include "platform/Job.h"
#include "platform/Progress.h"
#include "store/DataStore.h"

#include <QEventLoop>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using TestInput::pattern;
using TestInput::writeFile;

namespace {

qint64 number(DataStore& s, const QString& sql)
{
    RecordSet rs = s.query(sql);
    return rs && !rs.atEnd() ? rs.number(0) : -1;
}

}  // namespace

// A job that writes, killed part way on its worker thread: the archive
// stays whole, each record with its content and its log line.
class JobKillTest : public QObject {
    Q_OBJECT
private slots:
    void killedImportJobLeavesArchiveWhole();
};

void JobKillTest::killedImportJobLeavesArchiveWhole()
{
    TestHome home;
    DataStore& s = home.store();
    GroupTree tree(s, home.context().protectedGroups);
    QVERIFY(tree.load().ok());
    QVERIFY(tree.add(0, QStringLiteral("A")).ok());
    QTemporaryDir sources;
    QList<BatchImport::Item> items;
    for (int i = 0; i < 60; ++i) {
        // Every tenth file is kept in the store folder, the others in the database.
        const QByteArray bytes =
            i % 10 == 3 ? pattern(2 * FileCopy::ChunkSize + 5, 'k') : pattern(200, char('a' + i % 20));
        items.append({writeFile(sources.path(), QStringLiteral("j%1.txt").arg(i), bytes), QStringLiteral("A")});
    }
    const BatchImport::Setup setup{home.archive(),
                                   StoreFolder(home.context().home),
                                   home.context().currentOperator,
                                   home.context().protectedGroups,
                                   4096,
                                   QStringLiteral("A"),
                                   items,
                                   false};
    const StoreFolder folder(home.context().home);
    int killed = 0;
    for (int round = 0; round < 8; ++round) {
        s.close();
        killed += KillChild::runAndKill(
                      [&] {
                          for (;;) {
                              JobOf<BatchImport::Outcome> job(BatchImport::WindowTitle, BatchImport::job(setup));
                              QEventLoop loop;
                              connect(&job, &Job::finished, &loop, &QEventLoop::quit);
                              job.start();
                              loop.exec();
                          }
                      },
                      30 + int(QRandomGenerator::global()->bounded(250)))
            ? 1
            : 0;
        QVERIFY(s.open(home.databasePath()));
        const QByteArray at = QByteArray::number(round);
        // A kept file copied for a record that never committed is what the
        // start-up sweep sets aside; after it, nothing may be wrong.
        const Result<StoreFolder::Swept> swept = folder.sweep(s);
        QVERIFY(swept.ok());
        NoProgress quiet;
        const Result<ArchiveCheck::Report> report = ArchiveCheck(s, folder, home.context().protectedGroups).run(quiet);
        QVERIFY2(report.ok(), qPrintable(report.message()));
        QStringList found;
        for (const ArchiveCheck::Finding& f : report->findings)
            found << f.line();
        QVERIFY2(report->whole(), qPrintable(at + ' ' + found.join(QLatin1Char('|'))));
        QCOMPARE(number(s,
                        QStringLiteral("select count(*) from wj where (select count(*) from rz where nr like "
                                       "'批量增加：' || wj.bh || ' %') <> 1")),
                 qint64(0));
    }
    QVERIFY(killed >= 6);
    QVERIFY(number(s, QStringLiteral("select count(*) from wj")) > 0);
}

KV_REGISTER_TEST(JobKillTest)

#include "JobKillTest.moc"
