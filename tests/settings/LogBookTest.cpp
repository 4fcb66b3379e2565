#include "LogSupport.h"
#include "common/TestHome.h"
#include "common/TestRegistry.h"
#include "common/WorkbookReader.h"

#include "platform/Clock.h"
#include "settings/LogBook.h"
#include "settings/LogModel.h"

#include <QAbstractItemModelTester>
#include <QTemporaryDir>
#include <QTest>

namespace {

LogBook::Filter days(const QString& first, const QString& last, const QString& op = {}, const QString& content = {})
{
    return {QDate::fromString(first, Qt::ISODate), QDate::fromString(last, Qt::ISODate), op, content};
}

QStringList contents(DataStore& store, const LogBook::Filter& f)
{
    QStringList out;
    const Result<QList<LogBook::Line>> lines = LogBook::read(store, f, 0, 1000);
    for (const LogBook::Line& l : lines.value())
        out << l.content;
    return out;
}

}  // namespace

class LogBookTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { setAppClock(nullptr); }

    void dayBounds_data()
    {
        QTest::addColumn<QString>("time");
        QTest::addColumn<bool>("inside");
        QTest::newRow("first day's start") << "2026-03-01 00:00:00" << true;
        QTest::newRow("day before's end") << "2026-02-28 23:59:59" << false;
        QTest::newRow("last day's end") << "2026-03-31 23:59:59" << true;
        QTest::newRow("day after's start") << "2026-04-01 00:00:00" << false;
    }
    void dayBounds()
    {
        QFETCH(QString, time);
        QFETCH(bool, inside);
        TestHome home;
        QVERIFY(addLine(home.store(), time, QStringLiteral("Admin"), QStringLiteral("增加文件：1")));
        const LogBook::Filter f = days(QStringLiteral("2026-03-01"), QStringLiteral("2026-03-31"));
        QCOMPARE(LogBook::count(home.store(), f).value(), qint64(inside ? 1 : 0));
        QCOMPARE(contents(home.store(), f).size(), inside ? 1 : 0);
    }

    void filtersMatchAnywhereAsTyped_data()
    {
        QTest::addColumn<QString>("op");
        QTest::addColumn<QString>("content");
        QTest::addColumn<QStringList>("found");
        QTest::newRow("content inside the text")
            << ""
            << "合同" << QStringList{"删除文件：0002 旧合同.doc", "增加文件：0001 合同.doc"};
        QTest::newRow("content all operators") << ""
                                               << "100%" << QStringList{"修改文件：完成100%"};
        QTest::newRow("percent matches itself") << ""
                                                << "%" << QStringList{"修改文件：完成100%"};
        QTest::newRow("underscore matches itself") << ""
                                                   << "a_b" << QStringList{"增加文件：a_b"};
        QTest::newRow("escape char") << ""
                                     << "!" << QStringList{"增加文件：注意!"};
        QTest::newRow("quote") << ""
                               << "'" << QStringList{"增加文件：O'Neil"};
        QTest::newRow("operator") << "张三"
                                  << "" << QStringList{"修改文件：完成100%"};
        QTest::newRow("both") << "Admin"
                              << "合同" << QStringList{"增加文件：0001 合同.doc"};
    }
    void filtersMatchAnywhereAsTyped()
    {
        QFETCH(QString, op);
        QFETCH(QString, content);
        QFETCH(QStringList, found);
        TestHome home;
        DataStore& s = home.store();
        QVERIFY(addLine(s, "2026-03-02 08:00:00", "Admin", "增加文件：0001 合同.doc"));
        QVERIFY(addLine(s, "2026-03-02 09:00:00", "张三", "修改文件：完成100%"));
        QVERIFY(addLine(s, "2026-03-02 09:30:00", "Admin", "增加文件：a_b"));
        QVERIFY(addLine(s, "2026-03-02 09:31:00", "Admin", "增加文件：axb"));
        QVERIFY(addLine(s, "2026-03-02 09:32:00", "Admin", "增加文件：注意!"));
        QVERIFY(addLine(s, "2026-03-02 09:33:00", "Admin", "增加文件：O'Neil"));
        QVERIFY(addLine(s, "2026-03-03 10:00:00", "李四", "删除文件：0002 旧合同.doc"));
        const LogBook::Filter f = days("2026-03-01", "2026-03-31", op, content);
        QStringList got = contents(s, f);
        got.sort();
        found.sort();
        QCOMPARE(got, found);
        QCOMPARE(LogBook::count(s, f).value(), qint64(found.size()));
    }

    void newestFirstInChunks()
    {
        TestHome home;
        DataStore& s = home.store();
        QVERIFY(s.begin());
        for (int i = 0; i < 1000; ++i)
            QVERIFY(addLine(s, "2026-03-05 10:00:00", "Admin", QStringLiteral("行%1").arg(i)));
        QVERIFY(s.commit());
        LogModel model(s);
        QVERIFY(model.setFilter(days("2026-03-01", "2026-03-31")));
        QCOMPARE(model.total(), qint64(1000));
        QCOMPARE(model.rowCount(), LogModel::Chunk);  // only the first chunk is read
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(model.setFilter(days("2026-03-01", "2026-03-31")));
        QCOMPARE(model.data(model.index(0, 2)).toString(), QStringLiteral("行999"));
        while (model.canFetchMore({}))
            model.fetchMore({});
        QCOMPARE(model.rowCount(), 1000);
        QCOMPARE(model.data(model.index(999, 2)).toString(), QStringLiteral("行0"));
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("操作员"));
    }

    void reversedRangeShowsAndDeletesNothing()
    {
        TestHome home;
        DataStore& s = home.store();
        QVERIFY(addLine(s, "2026-03-10 10:00:00", "Admin", "增加文件：1"));
        const LogBook::Filter f = days("2026-03-31", "2026-03-01");
        QCOMPARE(LogBook::count(s, f).value(), qint64(0));
        QVERIFY(contents(s, f).isEmpty());
        const CurrentOperator op(QStringLiteral("Admin"), QString());
        const Result<qint64> removed = LogBook::deleteRange(s, op, f.first, f.last);
        QVERIFY(removed);
        QCOMPARE(removed.value(), qint64(0));
        QCOMPARE(lineCount(s), qint64(1));
    }

    void deletionWritesItsOwnLine()
    {
        TestHome home;
        DataStore& s = home.store();
        FixedClock clock(QDateTime(QDate(2026, 4, 2), QTime(9, 0)));
        setAppClock(&clock);
        QVERIFY(addLine(s, "2026-02-28 23:59:59", "Admin", "before"));
        QVERIFY(addLine(s, "2026-03-01 00:00:00", "Admin", "a"));
        QVERIFY(addLine(s, "2026-03-31 23:59:59", "Admin", "b"));
        QVERIFY(addLine(s, "2026-04-01 00:00:00", "Admin", "after"));
        const CurrentOperator op(QStringLiteral("张三"), QString());
        const Result<qint64> removed = LogBook::deleteRange(s, op, QDate(2026, 3, 1), QDate(2026, 3, 31));
        QVERIFY(removed);
        QCOMPARE(removed.value(), qint64(2));
        QCOMPARE(lineCount(s), qint64(3));
        RecordSet last = s.query(QStringLiteral("select sj,czy,nr from rz order by id desc limit 1"));
        QCOMPARE(last.text(0), QStringLiteral("2026-04-02 09:00:00"));
        QCOMPARE(last.text(1), QStringLiteral("张三"));
        QCOMPARE(last.text(2), QStringLiteral("删除日志：2026-03-01 至 2026-03-31，共 2 条"));
    }

    void failedDeletionKeepsTheLog()
    {
        TestHome home;
        DataStore& s = home.store();
        QVERIFY(addLine(s, "2026-03-01 10:00:00", "Admin", "a"));
        const CurrentOperator op(QStringLiteral("Admin"), QString());
        // The audit line cannot be written: the deletion goes back too.
        s.failNextStatements(1, QStringLiteral("insert into rz"));
        const Result<qint64> removed = LogBook::deleteRange(s, op, QDate(2026, 3, 1), QDate(2026, 3, 31));
        QVERIFY(!removed);
        QCOMPARE(removed.message(), LogBook::DeleteFailed);
        QCOMPARE(lineCount(s), qint64(1));
    }

    void exportHoldsTitleTitlesAndLines()
    {
        TestHome home;
        DataStore& s = home.store();
        QVERIFY(s.begin());
        for (int i = 0; i < 4500; ++i)  // more than one page of reading
            QVERIFY(addLine(s, "2026-03-05 10:00:00", "Admin", QStringLiteral("行%1").arg(i, 4, 10, QLatin1Char('0'))));
        QVERIFY(s.commit());
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("log.xlsx"));
        QVERIFY(LogBook::exportTo(s, days("2026-03-01", "2026-03-31"), path));
        const WorkbookReader::Sheet sheet = WorkbookReader::read(path);
        QCOMPARE(sheet.rows.size(), 4502);
        QCOMPARE(sheet.rows.at(0), QStringList{QStringLiteral("2026-03-01 - 2026-03-31 操作日志")});
        QCOMPARE(sheet.rows.at(1), LogBook::Titles);
        QCOMPARE(sheet.rows.at(2), (QStringList{"2026-03-05 10:00:00", "Admin", "行4499"}));
        QCOMPARE(sheet.rows.last(), (QStringList{"2026-03-05 10:00:00", "Admin", "行0000"}));
        QVERIFY(sheet.stylesXml.contains(QStringLiteral("宋体")));
    }

    void emptyExportWritesNothing()
    {
        TestHome home;
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("log.xlsx"));
        const Status s = LogBook::exportTo(home.store(), days("2026-03-01", "2026-03-31"), path);
        QCOMPARE(s.message(), LogBook::EmptyExport);
        QVERIFY(!QFile::exists(path));
    }

    void usableOperatorsOnly()
    {
        TestHome home;
        DataStore& s = home.store();
        QVERIFY(s.execute(QStringLiteral("insert into czygl(yhm,zt) values ('张三','可用'),('李四','停用')")));
        QCOMPARE(LogBook::usableOperators(s), (QStringList{"Admin", "张三"}));
    }
};

KV_REGISTER_TEST(LogBookTest)
#include "LogBookTest.moc"
