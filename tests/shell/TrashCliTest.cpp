// korvane-cli delete and trash as a user runs them, and a restore or an
// emptying killed part way: every record is either whole where it was or
// whole where it went.
#include "common/TestHome.h"
#include "common/TestRegistry.h"
#include "platform/Sha256.h"
#include "shell/CliRun.h"
#include "store/DataStore.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QThread>

namespace {

const QMap<QString, QString> kAdmin{{QStringLiteral("KORVANE_PASSWORD"), QString()}};

qint64 count(DataStore& s, const QString& sql)
{
    return valueOf(s, sql).toLongLong();
}

QString number(int i)
{
    return QStringLiteral("%1").arg(i, 10, 10, QLatin1Char('0'));
}

// n records of group 合同, each with 2 KB of its own content held in the database.
void fill(DataStore& s, int n, const QString& table)
{
    QVERIFY(s.execute(QStringLiteral("insert into wjfz(id,fxmid,xmmc) values (1,0,'合同')")));
    Transaction tx(s);
    for (int i = 1; i <= n; ++i) {
        const QByteArray bytes = QByteArray(2048, char('a' + i % 26)) + QByteArray::number(i);
        QVERIFY(s.execute(
            QStringLiteral("insert into %1(id,bh,mc,fz,lx,dxsz,sha256) values (?,?,?,'合同','txt',?,?)").arg(table),
            {i, number(i), QStringLiteral("文件%1").arg(i), bytes.size(), Sha256::of(bytes)}));
        QVERIFY(s.execute(QStringLiteral("insert into wjnr(id,nr) values (?,?)"), {i, bytes}));
    }
    QVERIFY(tx.commit());
    QVERIFY(s.execute(QStringLiteral("update zdbh set nr=? where xm='文件编号'"), {n + 1}));
}

// Every record once, in wj or in the trash, with its content whole.
void everyRecordWhole(DataStore& s, int n, bool purging)
{
    QCOMPARE(count(s, QStringLiteral("select count(*) from wj w join wjhs h on h.id=w.id")), qint64(0));
    const qint64 present =
        count(s, QStringLiteral("select count(*) from wj")) + count(s, QStringLiteral("select count(*) from wjhs"));
    if (purging)
        QVERIFY(present <= n);
    else
        QCOMPARE(present, qint64(n));
    // No content without its record, no record without its content.
    QCOMPARE(count(s,
                   QStringLiteral("select count(*) from wjnr where id not in (select id from wj)"
                                  " and id not in (select id from wjhs)")),
             qint64(0));
    QCOMPARE(count(s,
                   QStringLiteral("select count(*) from (select id,sha256 from wj union all select id,sha256 from"
                                  " wjhs) r left join wjnr n on n.id=r.id where n.nr is null"
                                  " or r.sha256 is null")),
             qint64(0));
    RecordSet rs = s.query(QStringLiteral("select r.sha256,n.nr from (select id,sha256 from wj union all select id,"
                                          "sha256 from wjhs) r join wjnr n on n.id=r.id"));
    for (; rs && !rs.atEnd(); rs.next())
        QCOMPARE(Sha256::of(rs.bytes(1)), rs.text(0));
    // A log line for every record that moved.
    const qint64 logged = count(s, QStringLiteral("select count(*) from rz where nr like '还原文件：%'"))
        + count(s, QStringLiteral("select count(*) from rz where nr like '彻底删除：%'"));
    QCOMPARE(logged, purging ? qint64(n) - present : count(s, QStringLiteral("select count(*) from wj")));
}

// Runs korvane-cli with args and kills it (SIGKILL) once `moved` says part
// of the records have moved; true when it was killed part way.
bool killPartWay(const QString& home, const QStringList& args, DataStore& watch,
                 const std::function<bool(qint64)>& partWay, const QString& sql)
{
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert(QStringLiteral("KORVANE_PASSWORD"), QString());
    e.remove(QStringLiteral("DISPLAY"));
    p.setProcessEnvironment(e);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(QStringLiteral(KV_CLI), QStringList{QStringLiteral("--home"), home} + args);
    QElapsedTimer t;
    t.start();
    while (p.state() != QProcess::NotRunning && t.elapsed() < 60000) {
        const Result<std::optional<QVariant>> n = watch.scalar(sql);
        if (n && n->has_value() && partWay((*n)->toLongLong())) {
            p.kill();
            p.waitForFinished(10000);
            return true;
        }
        QThread::msleep(2);
    }
    p.waitForFinished(10000);
    return false;
}

}  // namespace

class TrashCliTest : public QObject {
    Q_OBJECT
private slots:
    void deleteListRestorePurge();
    void killedRunLeavesRecordsWhole_data();
    void killedRunLeavesRecordsWhole();
};

void TrashCliTest::deleteListRestorePurge()
{
    TestHome home;
    QVERIFY(home.isValid());
    fill(home.store(), 3, QStringLiteral("wj"));

    Ran r = cli(home.folder(), {QStringLiteral("delete"), number(1), number(2), QStringLiteral("0000000777")}, kAdmin);
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.contains(QStringLiteral("0000000777")), qPrintable(r.err));
    QCOMPARE(count(home.store(), QStringLiteral("select count(*) from wjhs")), qint64(2));

    r = cli(home.folder(), {QStringLiteral("trash"), QStringLiteral("list"), QStringLiteral("--json")}, kAdmin);
    QCOMPARE(r.status, 0);
    const QJsonArray listed = QJsonDocument::fromJson(r.out.toUtf8()).array();
    QCOMPARE(listed.size(), 2);
    QCOMPARE(listed.at(0).toObject().value(QStringLiteral("fz")).toString(), QStringLiteral("合同"));
    QCOMPARE(listed.at(0).toObject().value(QStringLiteral("hsr")).toString(), QStringLiteral("Admin"));

    r = cli(home.folder(), {QStringLiteral("trash"), QStringLiteral("restore"), number(2)}, kAdmin);
    QCOMPARE(r.status, 0);
    QCOMPARE(valueOf(home.store(), QStringLiteral("select bh from wj where id=2")).toString(), number(2));
    r = cli(home.folder(), {QStringLiteral("trash"), QStringLiteral("purge"), QStringLiteral("--all")}, kAdmin);
    QCOMPARE(r.status, 0);
    QCOMPARE(count(home.store(), QStringLiteral("select count(*) from wjhs")), qint64(0));
    QCOMPARE(count(home.store(), QStringLiteral("select count(*) from wjnr where id=1")), qint64(0));
    r = cli(home.folder(), {QStringLiteral("trash"), QStringLiteral("restore"), number(1)}, kAdmin);
    QCOMPARE(r.status, 1);
}

void TrashCliTest::killedRunLeavesRecordsWhole_data()
{
    QTest::addColumn<bool>("purging");
    QTest::newRow("restore") << false;
    QTest::newRow("purge --all") << true;
}

void TrashCliTest::killedRunLeavesRecordsWhole()
{
    QFETCH(bool, purging);
    constexpr int n = 4000;
    TestHome home;
    QVERIFY(home.isValid());
    fill(home.store(), n, QStringLiteral("wjhs"));
    QStringList args{QStringLiteral("trash"), purging ? QStringLiteral("purge") : QStringLiteral("restore")};
    if (purging) {
        args << QStringLiteral("--all");
    } else {
        for (int i = 1; i <= n; ++i)
            args << number(i);
    }
    DataStore watch;
    QVERIFY(watch.open(home.archive()));
    const bool killed = killPartWay(
        home.folder(), args, watch, [](qint64 moved) { return moved > 0 && moved < n / 2; },
        purging ? QStringLiteral("select %1-count(*) from wjhs").arg(n) : QStringLiteral("select count(*) from wj"));
    QVERIFY2(killed, "the run ended before it could be killed");
    everyRecordWhole(watch, n, purging);
    // What is left can be carried on with.
    const Ran r = cli(home.folder(), {QStringLiteral("trash"), QStringLiteral("list")}, kAdmin);
    QCOMPARE(r.status, 0);
}

KV_REGISTER_TEST(TrashCliTest)
#include "TrashCliTest.moc"
