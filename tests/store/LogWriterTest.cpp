#include "common/TestHome.h"
#include "common/TestRegistry.h"
#include "platform/Clock.h"
#include "store/DataStore.h"
#include "store/LogWriter.h"

#include <QTest>

class LogWriterTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup();
    void lineAroundMidnight_data();
    void lineAroundMidnight();
    void lineCarriesOperatorAndContent();
    void failedWriteKeepsTheOperation();
    void failedWriteInsideTransactionKeepsTheOperation();
    void writesAgainOnceTheTableAccepts();
};

void LogWriterTest::cleanup()
{
    setAppClock(nullptr);
}

void LogWriterTest::lineAroundMidnight_data()
{
    QTest::addColumn<QDateTime>("at");
    QTest::addColumn<QString>("expected");
    QTest::newRow("23:59:59") << QDateTime(QDate(2026, 3, 31), QTime(23, 59, 59)) << "2026-03-31 23:59:59";
    QTest::newRow("00:00:00") << QDateTime(QDate(2026, 4, 1), QTime(0, 0, 0)) << "2026-04-01 00:00:00";
    QTest::newRow("new year") << QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59)) << "2026-12-31 23:59:59";
    QTest::newRow("leap day") << QDateTime(QDate(2028, 2, 29), QTime(0, 0, 0)) << "2028-02-29 00:00:00";
    QTest::newRow("single digits") << QDateTime(QDate(2027, 1, 2), QTime(3, 4, 5)) << "2027-01-02 03:04:05";
}

void LogWriterTest::lineAroundMidnight()
{
    QFETCH(QDateTime, at);
    QFETCH(QString, expected);
    TestHome home;
    QVERIFY(home.isValid());
    FixedClock clock(at);
    setAppClock(&clock);
    LogWriter log(home.store(), home.context().currentOperator);
    QVERIFY(log.write(LogWriter::FileAdded + QStringLiteral("0000000001 a.txt")));
    const QString sj = valueOf(home.store(), QStringLiteral("select sj from rz")).toString();
    QCOMPARE(sj, expected);
    // The first ten characters are the date of the line.
    QCOMPARE(sj.left(10), at.date().toString(QStringLiteral("yyyy-MM-dd")));
    // A date range over the day finds it, the day before does not.
    const QString day = at.date().toString(QStringLiteral("yyyy-MM-dd"));
    const QString before = at.date().addDays(-1).toString(QStringLiteral("yyyy-MM-dd"));
    QCOMPARE(valueOf(home.store(), QStringLiteral("select count(*) from rz where substr(sj,1,10) between ? and ?"),
                     {day, day})
                 .toInt(),
             1);
    QCOMPARE(valueOf(home.store(), QStringLiteral("select count(*) from rz where substr(sj,1,10) between ? and ?"),
                     {before, before})
                 .toInt(),
             0);
}

void LogWriterTest::lineCarriesOperatorAndContent()
{
    TestHome home;
    home.loginAs(QStringLiteral("O'Brien 张"), QStringLiteral("增加"));
    FixedClock clock;
    setAppClock(&clock);
    LogWriter log(home.store(), home.context().currentOperator);
    const QString content = LogWriter::FileDeleted
        + LogWriter::fileDetails(QStringLiteral("0000000042"), QStringLiteral("it's 100%_"), QStringLiteral("doc"));
    QVERIFY(log.write(content));
    clock.advance(1);
    QVERIFY(log.write(LogWriter::FileViewed + QStringLiteral("0000000042，b")));
    RecordSet rs = home.store().query(QStringLiteral("select sj,czy,nr from rz order by id"));
    QVERIFY(!rs.atEnd());
    QCOMPARE(rs.text(QStringLiteral("czy")), QStringLiteral("O'Brien 张"));
    QCOMPARE(rs.text(QStringLiteral("nr")), QStringLiteral("删除文件：0000000042 it's 100%_.doc"));
    QCOMPARE(rs.text(QStringLiteral("sj")), QStringLiteral("2026-01-01 12:00:00"));
    QVERIFY(rs.next());
    QCOMPARE(rs.text(QStringLiteral("sj")), QStringLiteral("2026-01-01 12:00:01"));
    QVERIFY(!rs.next());
}

void LogWriterTest::failedWriteKeepsTheOperation()
{
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(
        s.execute(QStringLiteral("create trigger rz_refuse before insert on rz begin select raise(abort,'no'); end")));
    LogWriter log(s, home.context().currentOperator);
    int failures = 0;
    log.setFailureHandler([&] { ++failures; });
    // The operation: a file stored, then its log line.
    QVERIFY(s.execute(QStringLiteral("insert into wj(bh,mc) values ('0000000001','a')")));
    QVERIFY(!log.write(LogWriter::FileAdded + QStringLiteral("0000000001 a")));
    QCOMPARE(failures, 1);
    QCOMPARE(valueOf(s, QStringLiteral("select count(*) from wj")).toInt(), 1);
    QCOMPARE(valueOf(s, QStringLiteral("select count(*) from rz")).toInt(), 0);
    // The connection goes on serving the operation.
    QVERIFY(s.execute(QStringLiteral("update wj set mc='b'")));
    QCOMPARE(valueOf(s, QStringLiteral("select mc from wj")).toString(), QStringLiteral("b"));
    // No handler set: still false, nothing thrown.
    LogWriter quiet(s, home.context().currentOperator);
    QVERIFY(!quiet.write(QStringLiteral("x")));
}

void LogWriterTest::failedWriteInsideTransactionKeepsTheOperation()
{
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(
        s.execute(QStringLiteral("create trigger rz_refuse before insert on rz begin select raise(abort,'no'); end")));
    LogWriter log(s, home.context().currentOperator);
    int failures = 0;
    log.setFailureHandler([&] { ++failures; });
    {
        Transaction tx(s);
        QVERIFY(tx.isActive());
        QVERIFY(s.execute(QStringLiteral("insert into wj(bh,mc) values ('0000000001','a')")));
        QVERIFY(s.execute(QStringLiteral("insert into wj(bh,mc) values ('0000000002','b')")));
        QVERIFY(!log.write(LogWriter::BatchAdded + QStringLiteral("2")));
        QVERIFY(s.inTransaction());
        QVERIFY(tx.commit());
    }
    QCOMPARE(failures, 1);
    // A second connection sees the committed rows.
    DataStore other;
    QVERIFY(other.open(home.databasePath()));
    QCOMPARE(valueOf(other, QStringLiteral("select count(*) from wj")).toInt(), 2);
    QCOMPARE(valueOf(other, QStringLiteral("select count(*) from rz")).toInt(), 0);
}

void LogWriterTest::writesAgainOnceTheTableAccepts()
{
    TestHome home;
    DataStore& s = home.store();
    LogWriter log(s, home.context().currentOperator);
    int failures = 0;
    log.setFailureHandler([&] { ++failures; });
    s.failNextStatements(1, QStringLiteral("insert into rz"));
    QVERIFY(!log.write(QStringLiteral("a")));
    QVERIFY(log.write(QStringLiteral("b")));
    QCOMPARE(failures, 1);
    QCOMPARE(valueOf(s, QStringLiteral("select nr from rz")).toString(), QStringLiteral("b"));
}

KV_REGISTER_TEST(LogWriterTest)
#include "LogWriterTest.moc"
