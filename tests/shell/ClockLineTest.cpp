#include "common/TestRegistry.h"
#include "shell/ClockLine.h"

#include <QTest>

class ClockLineTest : public QObject {
    Q_OBJECT
private slots:
    void weekdayNames_data();
    void weekdayNames();
    void lineText();
    void midnightChangesWeekday();
};

void ClockLineTest::weekdayNames_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("name");
    // 2026-01-04 is a Sunday.
    const QStringList names = {QStringLiteral("星期日"), QStringLiteral("星期一"), QStringLiteral("星期二"),
                               QStringLiteral("星期三"), QStringLiteral("星期四"), QStringLiteral("星期五"),
                               QStringLiteral("星期六")};
    for (int i = 0; i < 7; ++i) {
        const QDate d = QDate(2026, 1, 4).addDays(i);
        QTest::newRow(qPrintable(d.toString(Qt::ISODate))) << d << names.at(i);
    }
    QTest::newRow("leap day 2028") << QDate(2028, 2, 29) << QStringLiteral("星期二");
}

void ClockLineTest::weekdayNames()
{
    QFETCH(QDate, date);
    QFETCH(QString, name);
    QCOMPARE(ClockLine::weekdayName(date), name);
}

void ClockLineTest::lineText()
{
    const QDateTime t(QDate(2026, 12, 9), QTime(8, 5, 3));
    QCOMPARE(ClockLine::text(t), QStringLiteral(" 今天是 2026年12月9日 星期三"));
    QVERIFY(ClockLine::text(t).startsWith(QStringLiteral(" 今天是 ")));
}

void ClockLineTest::midnightChangesWeekday()
{
    const QDateTime before(QDate(2026, 12, 31), QTime(23, 59, 59));
    const QDateTime after = before.addSecs(1);
    QCOMPARE(ClockLine::text(before), QStringLiteral(" 今天是 2026年12月31日 星期四"));
    QCOMPARE(ClockLine::text(after), QStringLiteral(" 今天是 2027年1月1日 星期五"));
}

KV_REGISTER_TEST(ClockLineTest)
#include "ClockLineTest.moc"
