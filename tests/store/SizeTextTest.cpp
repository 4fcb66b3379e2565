#include "common/TestRegistry.h"
#include "store/SizeText.h"

#include <QTest>

class SizeTextTest : public QObject {
    Q_OBJECT
private slots:
    void boundaries_data();
    void boundaries();
    void neverRoundsUp();
};

void SizeTextTest::boundaries_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("text");
    constexpr qint64 K = 1024;
    constexpr qint64 M = 1024 * 1024;
    QTest::newRow("negative") << qint64(-5) << QStringLiteral("0BYTE");
    QTest::newRow("0") << qint64(0) << QStringLiteral("0BYTE");
    QTest::newRow("1023") << K - 1 << QStringLiteral("1023BYTE");
    QTest::newRow("1024") << K << QStringLiteral("1.00KB");
    QTest::newRow("1034: 1.0097") << qint64(1034) << QStringLiteral("1.00KB");
    QTest::newRow("1035: 1.0107") << qint64(1035) << QStringLiteral("1.01KB");
    QTest::newRow("1.5K") << qint64(1536) << QStringLiteral("1.50KB");
    QTest::newRow("10.05K") << qint64(10291) << QStringLiteral("10.04KB");
    QTest::newRow("1M-1") << M - 1 << QStringLiteral("1023.99KB");
    QTest::newRow("1M") << M << QStringLiteral("1.00MB");
    QTest::newRow("2M-1") << 2 * M - 1 << QStringLiteral("1.99MB");
    QTest::newRow("200M") << 200 * M << QStringLiteral("200.00MB");
    QTest::newRow("5G+1") << 5 * 1024 * M + 1 << QStringLiteral("5120.00MB");
    QTest::newRow("1T-1") << 1024 * 1024 * M - 1 << QStringLiteral("1048575.99MB");
}

void SizeTextTest::boundaries()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, text);
    QCOMPARE(sizeText(bytes), text);
}

void SizeTextTest::neverRoundsUp()
{
    // Just below every whole kilobyte and megabyte the text stays below it.
    for (qint64 unit : {qint64(1024), qint64(1024 * 1024)}) {
        for (qint64 whole = 2; whole < 1024; whole += 37) {
            const QString text = sizeText(whole * unit - 1);
            const QString expected = QStringLiteral("%1.99").arg(whole - 1);
            QVERIFY2(text.startsWith(expected), qPrintable(text));
        }
    }
}

KV_REGISTER_TEST(SizeTextTest)
#include "SizeTextTest.moc"
