// korvane-cli search: the records whose content holds a text, as a user runs it.
#include "CliRun.h"
#include "archive/GroupTree.h"
#include "common/TestHome.h"
#include "common/TestRegistry.h"
#include "platform/TextTokens.h"
#include "store/ContentIndex.h"
#include "store/DataStore.h"
#include "store/PasswordHash.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace {

qint64 addRecord(DataStore& s, int xh, const QString& name, const QString& group)
{
    if (!s.execute(QStringLiteral("insert into wj(xh,bh,mc,fz,lx,dx,dxsz,scr,scsj) values "
                                  "(?,?,?,?,'txt','10BYTE',10,'Admin','2024-01-01 08:00:00')"),
                   {xh, QString::number(xh).rightJustified(10, QLatin1Char('0')), name, group}))
        return -1;
    return s.lastInsertId();
}

}  // namespace

class CliSearchTest : public QObject {
    Q_OBJECT
private slots:
    void findsTheRecordsHoldingTheText();
};

void CliSearchTest::findsTheRecordsHoldingTheText()
{
    TestHome home;
    QVERIFY(home.isValid());
    DataStore& s = home.store();
    QVERIFY(s.execute(QStringLiteral("insert into wjfz(id,fxmid,xmmc) values (1,0,'合同'),(2,0,'其他')")));
    QVERIFY(s.execute(QStringLiteral("insert into wjfz(id,fxmid,xmmc,mm) values (3,0,'机密',?)"),
                      {PasswordHash::hash(QStringLiteral("pw"))}));
    const qint64 a = addRecord(s, 1, QStringLiteral("甲"), QStringLiteral("合同"));
    const qint64 b = addRecord(s, 2, QStringLiteral("乙"), QStringLiteral("其他"));
    const qint64 c = addRecord(s, 3, QStringLiteral("秘"), QStringLiteral("机密"));
    const Result<int> written =
        ContentIndex::indexBatch(s,
                                 {{a, ContentIndex::Done, TextTokens::normalize(QStringLiteral("本合同第一条\t付款"))},
                                  {b, ContentIndex::Done, TextTokens::normalize(QStringLiteral("合作同心"))},
                                  {c, ContentIndex::Done, TextTokens::normalize(QStringLiteral("合同机密"))}});
    QVERIFY(written.ok());

    Ran r = cli(home.folder(), {QStringLiteral("search"), QStringLiteral("合同"), QStringLiteral("--json")});
    QCOMPARE(r.status, 0);
    const QJsonArray found = QJsonDocument::fromJson(r.out.toUtf8()).array();
    QCOMPARE(found.size(), 1);
    const QJsonObject first = found.at(0).toObject();
    QCOMPARE(first.value(QStringLiteral("id")).toInteger(), a);
    QCOMPARE(first.value(QStringLiteral("bh")).toString(), QStringLiteral("0000000001"));
    QCOMPARE(first.value(QStringLiteral("mc")).toString(), QStringLiteral("甲"));
    QCOMPARE(first.value(QStringLiteral("fz")).toString(), QStringLiteral("合同"));
    QCOMPARE(first.value(QStringLiteral("excerpt")).toString(), QStringLiteral("本合同第一条付款"));

    // Tab-separated with a title line; the closed group's record stays out.
    r = cli(home.folder(), {QStringLiteral("search"), QStringLiteral("合同")});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size(), 2);
    QVERIFY(!r.out.contains(QStringLiteral("秘")));
    r = cli(home.folder(),
            {QStringLiteral("search"), QStringLiteral("合同"), QStringLiteral("--group"), QStringLiteral("其他"),
             QStringLiteral("--json")});
    QCOMPARE(r.status, 1);
    QCOMPARE(QJsonDocument::fromJson(r.out.toUtf8()).array().size(), 0);
    r = cli(home.folder(), {QStringLiteral("search"), QStringLiteral("--group=机密"), QStringLiteral("合同")});
    QCOMPARE(r.status, 1);
    QVERIFY(r.err.contains(GroupTree::NotOpen));
    QVERIFY(!r.out.contains(QStringLiteral("秘")));
    r = cli(home.folder(),
            {QStringLiteral("--group-password"), QStringLiteral("机密"), QStringLiteral("search"),
             QStringLiteral("合同"), QStringLiteral("--group"), QStringLiteral("机密"), QStringLiteral("--json")},
            {{QStringLiteral("KORVANE_GROUP_PASSWORD"), QStringLiteral("pw")}});
    QCOMPARE(r.status, 0);
    QCOMPARE(QJsonDocument::fromJson(r.out.toUtf8()).array().at(0).toObject().value(QStringLiteral("mc")).toString(),
             QStringLiteral("秘"));
    r = cli(home.folder(), {QStringLiteral("search"), QStringLiteral("--group")});
    QCOMPARE(r.status, 2);
}

KV_REGISTER_TEST(CliSearchTest)
#include "CliSearchTest.moc"
