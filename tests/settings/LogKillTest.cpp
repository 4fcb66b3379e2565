#include "LogSupport.h"
#include "common/KillChild.h"
#include "common/TestHome.h"
#include "common/TestRegistry.h"

#include "listing/WorkbookExport.h"
#include "settings/LogBook.h"
#include "store/CurrentOperator.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int kLines = 20000;

bool fillMarch(DataStore& s)
{
    if (!s.begin())
        return false;
    for (int i = 0; i < kLines; ++i)
        if (!addLine(s, QStringLiteral("2026-03-05 10:00:00"), QStringLiteral("Admin"), QStringLiteral("行%1").arg(i)))
            return false;
    return s.commit();
}

}  // namespace

class LogKillTest : public QObject {
    Q_OBJECT
private slots:
    // A deletion killed part way removed all of its lines and wrote its own
    // line, or removed none and wrote nothing.
    void killedDeletionIsAllOrNothing()
    {
        TestHome home;
        DataStore& s = home.store();
        for (int i = 0; i < 10; ++i)
            QVERIFY(addLine(s, QStringLiteral("2026-02-05 10:00:00"), QStringLiteral("Admin"), QStringLiteral("二月")));
        QVERIFY(fillMarch(s));
        const QString db = home.databasePath();
        const QString audit = QStringLiteral("删除日志：2026-03-01 至 2026-03-31，共 %1 条").arg(kLines);
        int killed = 0;
        for (int round = 0; round < 12; ++round) {
            s.close();
            killed += KillChild::runAndKill(
                          [&] {
                              DataStore child;
                              if (!child.open(db))
                                  return;
                              const CurrentOperator op(QStringLiteral("Admin"), QString());
                              for (;;) {
                                  (void)LogBook::deleteRange(child, op, QDate(2026, 3, 1), QDate(2026, 3, 31));
                                  (void)fillMarch(child);
                              }
                          },
                          20 + int(QRandomGenerator::global()->bounded(600)))
                ? 1
                : 0;
            QVERIFY(s.open(db));
            const qint64 march =
                lineCount(s, QStringLiteral("where substr(sj,1,10) between '2026-03-01' and '2026-03-31'"));
            QVERIFY2(march == 0 || march == kLines, qPrintable(QString::number(march)));
            QCOMPARE(lineCount(s, QStringLiteral("where nr=?"), {QStringLiteral("二月")}), qint64(10));
            QCOMPARE(lineCount(s, QStringLiteral("where nr like '删除日志：%'")),
                     lineCount(s, QStringLiteral("where nr=?"), {audit}));
            QCOMPARE(valueOf(s, QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
            if (march == 0)  // the child was killed between its deletion and the new lines
                QVERIFY(fillMarch(s));
        }
        QCOMPARE(killed, 12);
    }

    // A workbook export killed part way leaves no workbook under its name,
    // or a whole one.
    void killedExportLeavesNoPartialWorkbook()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("log.xlsx"));
        for (int round = 0; round < 6; ++round) {
            QFile::remove(path);
            QVERIFY(KillChild::runAndKill(
                [&] {
                    for (;;) {
                        WorkbookExport::Table t;
                        t.rows = 200000;
                        t.columns = 3;
                        t.cell = [](qint64 r, int c) { return QStringLiteral("%1-%2").arg(r).arg(c); };
                        (void)WorkbookExport::write(t, path);
                    }
                },
                50 + int(QRandomGenerator::global()->bounded(1500))));
            if (QFile::exists(path)) {
                QProcess unzip;
                unzip.start(QStringLiteral("unzip"), {QStringLiteral("-tq"), path});
                QVERIFY(unzip.waitForFinished(60000));
                QCOMPARE(unzip.exitCode(), 0);
            }
        }
    }
};

KV_REGISTER_TEST(LogKillTest)
#include "LogKillTest.moc"
