// Content held in the database lives in wjnr, apart from the row the list
// reads, and changes in the same transaction as its record.
#include "archive/FileRecords.h"
#include "archive/StoreFolder.h"
#include "common/TestHome.h"
#include "common/TestInput.h"
#include "common/TestRegistry.h"
#include "store/DataStore.h"
#include "store/RecordContent.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using TestInput::writeFile;

namespace {

qint64 count(DataStore& s, const QString& sql, const QVariantList& params = {})
{
    return valueOf(s, sql, params).toLongLong();
}

}  // namespace

class HeldContentTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void addKeepsContentApartFromTheRow_data();
    void addKeepsContentApartFromTheRow();
    void deleteKeepsContentForTheTrash();
    void modifyToKeptFileDropsHeldContent();
    void rowNotMovedYetIsStillRead();

private:
    std::unique_ptr<TestHome> m_home;
    QTemporaryDir m_src;
    std::unique_ptr<FileRecords> m_records;

    RecordFields fields(const QString& name) const
    {
        RecordFields f;
        f.name = name;
        f.group = QStringLiteral("合同");
        return f;
    }
};

void HeldContentTest::init()
{
    m_home = std::make_unique<TestHome>();
    QVERIFY(m_home->isValid());
    QVERIFY(
        m_home->store().execute(QStringLiteral("insert into wjfz(fxmid,xmmc,tpid,xztp,mm) values (0,'合同',0,0,'')")));
    m_records = std::make_unique<FileRecords>(m_home->store(), StoreFolder(m_home->context().home),
                                              m_home->context().currentOperator, 4096);
}

void HeldContentTest::cleanup()
{
    m_records.reset();
    m_home.reset();
}

void HeldContentTest::addKeepsContentApartFromTheRow_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("held");
    QTest::newRow("empty") << QByteArray("", 0) << true;
    QTest::newRow("small") << QByteArray("abc\0def", 7) << true;
    QTest::newRow("just below the bound") << QByteArray(4095, 'x') << true;
    QTest::newRow("at the bound: kept file") << QByteArray(4096, 'y') << false;
}

void HeldContentTest::addKeepsContentApartFromTheRow()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, held);
    DataStore& s = m_home->store();
    const QString src = writeFile(m_src.path(), QStringLiteral("a.bin"), bytes);
    const Result<StoredRecord> r = m_records->add(fields(QStringLiteral("a")), src);
    QVERIFY2(r.ok(), qPrintable(r.message() + r.detail()));
    // The row the list reads never holds content.
    QCOMPARE(count(s, QStringLiteral("select count(*) from wj where id=? and wj is null"), {r->id}), qint64(1));
    QCOMPARE(count(s, QStringLiteral("select count(*) from wjnr where id=?"), {r->id}), qint64(held ? 1 : 0));
    const Result<QByteArray> back = m_records->content(r->id);
    QCOMPARE(back.ok(), held);
    if (held)
        QCOMPARE(back.value(), bytes);
    const QString out = QDir(m_src.path()).filePath(QStringLiteral("out.bin"));
    QVERIFY(m_records->saveOut(r->id, out).ok());
    QFile f(out);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), bytes);
}

void HeldContentTest::deleteKeepsContentForTheTrash()
{
    DataStore& s = m_home->store();
    const QString src = writeFile(m_src.path(), QStringLiteral("b.txt"), QByteArray("held bytes"));
    const Result<StoredRecord> r = m_records->add(fields(QStringLiteral("b")), src);
    QVERIFY(r.ok());

    // The row cannot reach the trash: the record stays as it was.
    s.failNextStatements(1, QStringLiteral("insert into wjhs"));
    QVERIFY(!m_records->remove(r->id).ok());
    QCOMPARE(count(s, QStringLiteral("select count(*) from wj where id=?"), {r->id}), qint64(1));
    QCOMPARE(m_records->content(r->id).value(), QByteArray("held bytes"));

    // In the trash its content stays, under the same id.
    QVERIFY(m_records->remove(r->id).ok());
    QCOMPARE(count(s, QStringLiteral("select count(*) from wj where id=?"), {r->id}), qint64(0));
    QCOMPARE(count(s, QStringLiteral("select count(*) from wjhs where id=?"), {r->id}), qint64(1));
    QCOMPARE(valueOf(s, QStringLiteral("select nr from wjnr where id=?"), {r->id}).toByteArray(),
             QByteArray("held bytes"));
}

void HeldContentTest::modifyToKeptFileDropsHeldContent()
{
    DataStore& s = m_home->store();
    const QString small = writeFile(m_src.path(), QStringLiteral("c.txt"), QByteArray("small"));
    const Result<StoredRecord> r = m_records->add(fields(QStringLiteral("c")), small);
    QVERIFY(r.ok());
    const QString large = writeFile(m_src.path(), QStringLiteral("c2.pdf"), QByteArray(10000, 'z'));
    QVERIFY(m_records->modify(r->id, fields(QStringLiteral("c")), large).ok());
    QCOMPARE(count(s, QStringLiteral("select count(*) from wjnr where id=?"), {r->id}), qint64(0));
    QVERIFY(!m_records->read(r->id).value()->keptPath.isEmpty());
    // And back into the database.
    QVERIFY(m_records->modify(r->id, fields(QStringLiteral("c")), small).ok());
    QCOMPARE(m_records->content(r->id).value(), QByteArray("small"));
    QVERIFY(m_records->read(r->id).value()->keptPath.isEmpty());
}

void HeldContentTest::rowNotMovedYetIsStillRead()
{
    // An archive part way through its content move keeps some content in
    // wj.wj: the reader finds it there, a write moves it.
    DataStore& s = m_home->store();
    QVERIFY(s.execute(QStringLiteral("insert into wj(bh,mc,fz,lx,lj,wj) values ('0000000077','old','合同','txt','',?)"),
                      {QByteArray("not moved yet")}));
    const qint64 id = s.lastInsertId();
    QCOMPARE(RecordContent::read(s, id).value(), QByteArray("not moved yet"));
    QVERIFY(RecordContent::holds(s, id).value());
    QVERIFY(RecordContent::copy(s, id, 999).ok());
    QCOMPARE(RecordContent::read(s, 999).value(), QByteArray("not moved yet"));
    QVERIFY(RecordContent::write(s, id, QByteArray("new")).ok());
    QCOMPARE(count(s, QStringLiteral("select count(*) from wj where id=? and wj is null"), {id}), qint64(1));
    QCOMPARE(RecordContent::read(s, id).value(), QByteArray("new"));
    QVERIFY(RecordContent::remove(s, id).ok());
    QVERIFY(!RecordContent::read(s, id).ok());
    QVERIFY(!RecordContent::holds(s, id).value());
}

KV_REGISTER_TEST(HeldContentTest)
#include "HeldContentTest.moc"
