#include "common/TestHome.h"
#include "common/TestRegistry.h"
#include "store/DataStore.h"
#include "store/WjColumns.h"

#include <QTest>

class WjColumnsTest : public QObject {
    Q_OBJECT
private slots:
    void matchTheTable();
    void spareFields();
    void nameableLeavesContentOut();
};

void WjColumnsTest::matchTheTable()
{
    TestHome home;
    QVERIFY(home.isValid());
    RecordSet rs = home.store().query(QStringLiteral("select name from pragma_table_info('wj') order by cid"));
    QVERIFY(rs);
    QStringList columns;
    for (; !rs.atEnd(); rs.next())
        columns << rs.text(0);
    QCOMPARE(WjColumns::all(), columns);
}

void WjColumnsTest::spareFields()
{
    QCOMPARE(WjColumns::SpareCount, 15);
    QCOMPARE(WjColumns::PickListSpares + WjColumns::DateSpares, WjColumns::SpareCount);
    QCOMPARE(WjColumns::spareColumn(0), QStringLiteral("b1"));
    QCOMPARE(WjColumns::spareColumn(WjColumns::SpareCount - 1), QStringLiteral("b15"));
    // The titles of the spare fields sit in lbsz at FirstSpareBh..LastSpareBh.
    TestHome home;
    QVERIFY(home.isValid());
    for (int i = 0; i < WjColumns::SpareCount; ++i) {
        const QVariant zdm = valueOf(home.store(), QStringLiteral("select zdm from lbsz where bm='wj' and bh=?"),
                                     {WjColumns::FirstSpareBh + i});
        QCOMPARE(zdm.toString(), WjColumns::spareColumn(i));
    }
    QCOMPARE(WjColumns::LastSpareBh, 20);
}

void WjColumnsTest::nameableLeavesContentOut()
{
    QCOMPARE(WjColumns::nameable().size(), WjColumns::all().size() - 1);
    QVERIFY(!WjColumns::nameable().contains(QStringLiteral("wj")));
    QCOMPARE(WjColumns::canonical(QStringLiteral("  MC ")), QStringLiteral("mc"));
    QCOMPARE(WjColumns::canonical(QStringLiteral("B15")), QStringLiteral("b15"));
    QCOMPARE(WjColumns::canonical(QStringLiteral("wj")), QString());
    QCOMPARE(WjColumns::canonical(QStringLiteral("b16")), QString());
    QCOMPARE(WjColumns::canonical(QStringLiteral("mc; drop table wj")), QString());
}

KV_REGISTER_TEST(WjColumnsTest)
#include "WjColumnsTest.moc"
