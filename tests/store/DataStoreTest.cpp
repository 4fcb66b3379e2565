#include "common/TestHome.h"
#include "common/TestRegistry.h"
#include "store/DataStore.h"
#include "store/Schema.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class DataStoreTest : public QObject {
    Q_OBJECT
private slots:
    void parametersRoundTrip_data();
    void parametersRoundTrip();
    void emptyBytesAreNotNull();
    void nullReadsAsEmpty();
    void emptyResultIsAtEndAtOnce();
    void oneValueTellsNoRowFromFailure();
    void navigation();
    void statementTextInUseTwiceAtOnce();
    void failedStatementKeepsConnectionUsable();
    void recordSetLimit();
    void missingFileIsNotCreated();
    void notADatabaseFailsToOpen();
    void transactionRollsBack();
    void initialContent();
    void rebuildRestoresInitialContent();
};

void DataStoreTest::parametersRoundTrip_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::newRow("plain text") << QVariant(QStringLiteral("文件"));
    QTest::newRow("quote") << QVariant(QStringLiteral("O'Brien's \"file\""));
    QTest::newRow("wildcards") << QVariant(QStringLiteral("100%_done!"));
    QTest::newRow("sql-looking") << QVariant(QStringLiteral("x'); drop table wj; --"));
    QTest::newRow("number") << QVariant(qint64(1) << 40);
    QTest::newRow("bytes with NUL") << QVariant(QByteArray("a\0b\xff", 4));
    QTest::newRow("long text") << QVariant(QString(100000, QChar(0x6587)));
}

void DataStoreTest::parametersRoundTrip()
{
    QFETCH(QVariant, value);
    TestHome home;
    QVERIFY(home.isValid());
    DataStore& s = home.store();
    const bool isBytes = value.typeId() == QMetaType::QByteArray;
    QVERIFY(s.execute(QStringLiteral("insert into wj(mc,dxsz,wj) values (?,?,?)"),
                      {isBytes ? QVariant(QStringLiteral("n"))
                               : (value.typeId() == QMetaType::LongLong ? QVariant(QStringLiteral("n")) : value),
                       value.typeId() == QMetaType::LongLong ? value : QVariant(0),
                       isBytes ? value : QVariant(QByteArray("x"))}));
    RecordSet rs = s.query(QStringLiteral("select mc,dxsz,wj from wj where id=?"), {s.lastInsertId()});
    QVERIFY(rs && !rs.atEnd());
    if (isBytes)
        QCOMPARE(rs.bytes(QStringLiteral("wj")), value.toByteArray());
    else if (value.typeId() == QMetaType::LongLong)
        QCOMPARE(rs.number(QStringLiteral("dxsz")), value.toLongLong());
    else
        QCOMPARE(rs.text(QStringLiteral("mc")), value.toString());
    // A quote or wildcard in a value matches only itself.
    if (!isBytes && value.typeId() != QMetaType::LongLong) {
        QCOMPARE(valueOf(s, QStringLiteral("select count(*) from wj where mc=?"), {value}).toInt(), 1);
        QCOMPARE(valueOf(s, QStringLiteral("select count(*) from wj")).toInt(), 1);
    }
}

void DataStoreTest::emptyBytesAreNotNull()
{
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(s.execute(QStringLiteral("insert into wj(mc,wj) values ('e',?)"), {QByteArray()}));
    QCOMPARE(valueOf(s, QStringLiteral("select count(*) from wj where wj is not null and length(wj)=0")).toInt(), 1);
}

void DataStoreTest::nullReadsAsEmpty()
{
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(s.execute(QStringLiteral("insert into wj(mc,bz,wj) values ('n',NULL,NULL)")));
    RecordSet rs = s.query(QStringLiteral("select bz,wj,ylcs from wj"));
    QVERIFY(!rs.atEnd());
    QCOMPARE(rs.text(0), QString());
    QVERIFY(rs.bytes(1).isEmpty());
    QCOMPARE(rs.number(2), 0);
}

// "No row", "a NULL" and "could not read" are three answers, never one.
void DataStoreTest::oneValueTellsNoRowFromFailure()
{
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(s.execute(QStringLiteral("insert into wj(mc,xh,bz) values ('a',7,NULL)")));
    const QString xh = QStringLiteral("select xh from wj where mc=?");

    const Result<std::optional<QVariant>> found = s.scalar(xh, {QStringLiteral("a")});
    QVERIFY(found);
    QVERIFY(found->has_value());
    QCOMPARE((*found)->toLongLong(), 7);

    const Result<std::optional<QVariant>> none = s.scalar(xh, {QStringLiteral("b")});
    QVERIFY(none);
    QVERIFY(!none->has_value());

    const Result<std::optional<QVariant>> null = s.scalar(QStringLiteral("select bz from wj"));
    QVERIFY(null);
    QVERIFY(null->has_value());
    QVERIFY((*null)->isNull());

    s.failNextStatements(1, QStringLiteral("select xh"));
    const Result<std::optional<QVariant>> failed = s.scalar(xh, {QStringLiteral("a")});
    QVERIFY(!failed);
    QCOMPARE(failed.detail(), QStringLiteral("injected failure"));
    const Result<std::optional<QVariant>> broken = s.scalar(QStringLiteral("select nothing from nowhere"));
    QVERIFY(!broken);
    QVERIFY(!broken.detail().isEmpty());
}

void DataStoreTest::emptyResultIsAtEndAtOnce()
{
    TestHome home;
    RecordSet rs = home.store().query(QStringLiteral("select id from wj"));
    QVERIFY(rs.isValid());
    QVERIFY(rs.atEnd());
    QVERIFY(!rs.next());
}

void DataStoreTest::navigation()
{
    TestHome home;
    RecordSet rs = home.store().query(QStringLiteral("select bh from lbsz order by bh"));
    QVERIFY(!rs.atEnd());
    QCOMPARE(rs.number(0), 1);
    QVERIFY(rs.last());
    QCOMPARE(rs.number(QStringLiteral("bh")), 26);
    QVERIFY(!rs.next());
    QVERIFY(rs.atEnd());
    QVERIFY(rs.first());
    QCOMPARE(rs.number(0), 1);
}

// A statement is kept for its next use: the same text opened again while a
// set still reads it, or after a change of the table, reads what it should.
void DataStoreTest::statementTextInUseTwiceAtOnce()
{
    TestHome home;
    DataStore& s = home.store();
    const QString byNumber = QStringLiteral("select bh from lbsz where bh>=? order by bh");
    RecordSet outer = s.query(byNumber, {25});
    QCOMPARE(outer.number(0), 25);
    {
        RecordSet inner = s.query(byNumber, {26});
        QCOMPARE(inner.number(0), 26);
    }
    QVERIFY(outer.next());
    QCOMPARE(outer.number(0), 26);
    outer.close();
    for (int round = 0; round < 2; ++round)
        QVERIFY(s.execute(QStringLiteral("insert into rz(sj,czy,nr) values (?,?,?)"), {"t", "c", round}));
    QVERIFY(s.execute(QStringLiteral("alter table rz add column kv_probe text")));
    QVERIFY(s.execute(QStringLiteral("insert into rz(sj,czy,nr) values (?,?,?)"), {"t", "c", 2}));
    QCOMPARE(valueOf(s, QStringLiteral("select count(*) from rz where sj=?"), {"t"}).toInt(), 3);
    QCOMPARE(s.query(byNumber, {26}).number(0), 26);
}

void DataStoreTest::failedStatementKeepsConnectionUsable()
{
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(!s.execute(QStringLiteral("insert into nosuchtable values (1)")));
    QVERIFY(!s.lastError().isEmpty());
    QVERIFY(!s.query(QStringLiteral("select nothing from nowhere")).isValid());
    QVERIFY(s.execute(QStringLiteral("insert into rz(sj,czy,nr) values (?,?,?)"), {"a", "b", "c"}));
}

void DataStoreTest::recordSetLimit()
{
    TestHome home;
    DataStore& s = home.store();
    std::vector<RecordSet> open;
    for (int i = 0; i < DataStore::MaxOpenRecordSets; ++i) {
        open.push_back(s.query(QStringLiteral("select id from zdbh")));
        QVERIFY(open.back().isValid());
    }
    QVERIFY(!s.query(QStringLiteral("select id from zdbh")).isValid());
    open.back().close();
    QVERIFY(s.query(QStringLiteral("select id from zdbh")).isValid());
}

void DataStoreTest::missingFileIsNotCreated()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("none.dat"));
    DataStore s;
    QVERIFY(!s.open(path));
    QVERIFY(!QFile::exists(path));
}

void DataStoreTest::notADatabaseFailsToOpen()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("garbage.dat"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4096, 'x'));
    f.close();
    DataStore s;
    QVERIFY(!s.open(path) || !Schema::isArchive(s));
}

void DataStoreTest::transactionRollsBack()
{
    TestHome home;
    DataStore& s = home.store();
    {
        Transaction tx(s);
        QVERIFY(tx.isActive());
        QVERIFY(s.execute(QStringLiteral("insert into wjfz(xmmc) values ('A')")));
        // nested: a savepoint rolled back alone
        {
            Transaction inner(s);
            QVERIFY(s.execute(QStringLiteral("insert into wjfz(xmmc) values ('B')")));
        }
        QCOMPARE(valueOf(s, QStringLiteral("select count(*) from wjfz")).toInt(), 1);
    }
    QCOMPARE(valueOf(s, QStringLiteral("select count(*) from wjfz")).toInt(), 0);
    QVERIFY(!s.inTransaction());
}

void DataStoreTest::initialContent()
{
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(Schema::isArchive(s));
    QCOMPARE(valueOf(s, QStringLiteral("PRAGMA user_version")).toInt(), Schema::CurrentVersion);
    QCOMPARE(valueOf(s, QStringLiteral("select count(*) from zcbj where id=1")).toInt(), 1);
    QCOMPARE(valueOf(s, QStringLiteral("select count(*) from zdbh")).toInt(), 3);
    QCOMPARE(
        valueOf(s, QStringLiteral("select count(*) from lbsz where bm='wj' and bh between 6 and 20 and btm='备用字段'"))
            .toInt(),
        15);
    QCOMPARE(valueOf(s, QStringLiteral("select zdm from lbsz where bh=20")).toString(), QStringLiteral("b15"));
    QCOMPARE(valueOf(s, QStringLiteral("select count(*) from xx where bh between 6 and 17")).toInt(), 12);
    QCOMPARE(
        valueOf(s,
                QStringLiteral("select count(*) from czygl where yhm='Admin' and zt='可用' and qx like '%权限管理%'"))
            .toInt(),
        1);
    for (const char* t : {"wj", "wjfz", "rz", "tj"})
        QCOMPARE(valueOf(s, QStringLiteral("select count(*) from %1").arg(QLatin1String(t))).toInt(), 0);
    // Emptying the group table numbers the next group 1 again.
    QVERIFY(s.execute(QStringLiteral("insert into wjfz(xmmc) values ('A')")));
    QVERIFY(s.execute(QStringLiteral("delete from wjfz")));
    QVERIFY(s.execute(QStringLiteral("insert into wjfz(xmmc) values ('B')")));
    QCOMPARE(s.lastInsertId(), 1);
}

void DataStoreTest::rebuildRestoresInitialContent()
{
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(s.execute(QStringLiteral("insert into wj(mc) values ('x')")));
    QVERIFY(s.execute(QStringLiteral("update zdbh set nr='99' where xm='文件编号'")));
    QVERIFY(Schema::rebuild(s).ok());
    QCOMPARE(valueOf(s, QStringLiteral("select count(*) from wj")).toInt(), 0);
    QCOMPARE(valueOf(s, QStringLiteral("select nr from zdbh where xm='文件编号'")).toString(), QStringLiteral("1"));
}

KV_REGISTER_TEST(DataStoreTest)
#include "DataStoreTest.moc"
