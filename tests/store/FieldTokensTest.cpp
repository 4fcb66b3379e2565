// One or two Chinese characters in the searched fields, found through the
// field tokens: a record's value is a candidate once its tokens are written
// and while it waits in the queue; a changed value gives up its old tokens,
// a deleted record all of them; a batch that fails leaves the queue and the
// tokens as they were; a long queue hands the search back to the scan.
#include "common/TestHome.h"
#include "common/TestRegistry.h"
#include "store/DataStore.h"
#include "store/FieldTokens.h"

#include <QTest>

namespace {

using Ids = QList<qint64>;

// The candidates, with "not served" read as a list holding -1.
Ids found(DataStore& s, const QString& column, const QString& value)
{
    const Result<std::optional<Ids>> c = FieldTokens::candidates(s, column, value);
    if (!c) {
        qWarning("candidates: %s", qPrintable(c.detail()));
        return {-2};
    }
    return c->value_or(Ids{-1});
}

qint64 addRecord(DataStore& s, const QString& number, const QString& name, const QString& note = {})
{
    if (!s.execute(QStringLiteral("insert into wj(bh,mc,fz,bz) values (?,?,'公司',?)"), {number, name, note}))
        return -1;
    return s.lastInsertId();
}

// Everything the field tokens and their queue hold.
QStringList tokenRows(DataStore& s)
{
    QStringList out;
    RecordSet rs = s.query(QStringLiteral("select token, first_id, n, hex(ids), hex(pm) from wjzs order by 1, 2"));
    for (; !rs.atEnd(); rs.next())
        out << QStringList{rs.text(0), rs.text(1), rs.text(2), rs.text(3), rs.text(4)}.join(QLatin1Char('|'));
    RecordSet q = s.query(QStringLiteral("select id, coalesce(old, '-') from wjzq order by id"));
    for (; !q.atEnd(); q.next())
        out << q.text(0) + QLatin1Char('>') + q.text(1);
    return out;
}

bool workedOff(DataStore& s)
{
    return FieldTokens::workOff(s).ok() && FieldTokens::queued(s).valueOr(-1) == 0;
}

}  // namespace

class FieldTokensTest : public QObject {
    Q_OBJECT
private slots:
    void findsOneAndTwoCharacters();
    void changedAndDeletedRecords();
    void failedBatchChangesNothing();
    void longQueueScans();
};

void FieldTokensTest::findsOneAndTwoCharacters()
{
    TestHome h;
    DataStore& s = h.store();
    const qint64 a = addRecord(s, QStringLiteral("A-1"), QStringLiteral("劳动合同 2026"), QStringLiteral("鹦鹉"));
    const qint64 b = addRecord(s, QStringLiteral("B-2"), QStringLiteral("合作 同心"));
    addRecord(s, QStringLiteral("C-3"), QStringLiteral("会议纪要"));
    QVERIFY(workedOff(s));
    QCOMPARE(found(s, QStringLiteral("mc"), QStringLiteral("合同")), Ids{a});
    QCOMPARE(found(s, QStringLiteral("mc"), QStringLiteral("同")), (Ids{a, b}));
    QCOMPARE(found(s, QStringLiteral("bz"), QStringLiteral("鹦")), Ids{a});
    // A field's tokens are its own: 鹦鹉 is in bz, not in mc.
    QCOMPARE(found(s, QStringLiteral("mc"), QStringLiteral("鹦鹉")), Ids{});
    // Not served: Latin, three characters, kana, a field outside the search.
    QCOMPARE(found(s, QStringLiteral("bh"), QStringLiteral("a-")), Ids{-1});
    QCOMPARE(found(s, QStringLiteral("mc"), QStringLiteral("劳动合")), Ids{-1});
    QCOMPARE(found(s, QStringLiteral("mc"), QStringLiteral("か")), Ids{-1});
    QCOMPARE(found(s, QStringLiteral("lj"), QStringLiteral("合同")), Ids{-1});
}

void FieldTokensTest::changedAndDeletedRecords()
{
    TestHome h;
    DataStore& s = h.store();
    const qint64 a = addRecord(s, QStringLiteral("1"), QStringLiteral("劳动合同"));
    const qint64 b = addRecord(s, QStringLiteral("2"), QStringLiteral("档案"));
    QVERIFY(workedOff(s));
    QVERIFY(s.execute(QStringLiteral("update wj set mc='会议纪要' where id=?"), {a}));
    QVERIFY(s.execute(QStringLiteral("update wj set mc='档案目录' where id=?"), {a}));
    // While queued it is a candidate of anything, old or new.
    QCOMPARE(found(s, QStringLiteral("mc"), QStringLiteral("合同")), Ids{a});
    QCOMPARE(found(s, QStringLiteral("mc"), QStringLiteral("目录")), Ids{a});
    QVERIFY(workedOff(s));
    QCOMPARE(found(s, QStringLiteral("mc"), QStringLiteral("合同")), Ids{});
    QCOMPARE(found(s, QStringLiteral("mc"), QStringLiteral("纪要")), Ids{});
    QCOMPARE(found(s, QStringLiteral("mc"), QStringLiteral("档案")), (Ids{a, b}));
    QVERIFY(s.execute(QStringLiteral("delete from wj where id=?"), {b}));
    QCOMPARE(found(s, QStringLiteral("mc"), QStringLiteral("档案")), (Ids{a, b}));
    QVERIFY(workedOff(s));
    QCOMPARE(found(s, QStringLiteral("mc"), QStringLiteral("档案")), Ids{a});
    QVERIFY(s.execute(QStringLiteral("delete from wj")));
    QVERIFY(workedOff(s));
    QCOMPARE(valueOf(s, QStringLiteral("select count(*) from wjzs")).toInt(), 0);
}

void FieldTokensTest::failedBatchChangesNothing()
{
    TestHome h;
    DataStore& s = h.store();
    const qint64 a = addRecord(s, QStringLiteral("1"), QStringLiteral("劳动合同"));
    QVERIFY(workedOff(s));
    QVERIFY(s.execute(QStringLiteral("update wj set mc='档案' where id=?"), {a}));
    const qint64 b = addRecord(s, QStringLiteral("2"), QStringLiteral("合同"));
    const QStringList before = tokenRows(s);
    // The queue's rows are the batch's last statement: the tokens are
    // written by then, and go back with it.
    s.failNextStatements(1, QStringLiteral("delete from wjzq"));
    QVERIFY(!FieldTokens::work(s, 100).ok());
    QCOMPARE(tokenRows(s), before);
    QVERIFY(workedOff(s));
    QCOMPARE(found(s, QStringLiteral("mc"), QStringLiteral("合同")), Ids{b});
    QCOMPARE(found(s, QStringLiteral("mc"), QStringLiteral("档案")), Ids{a});
}

void FieldTokensTest::longQueueScans()
{
    TestHome h;
    DataStore& s = h.store();
    {
        Transaction tx(s);
        QVERIFY(tx.isActive());
        for (int i = 0; i <= FieldTokens::QueueLimit; ++i)
            QVERIFY(addRecord(s, QString::number(i), i == 7 ? QStringLiteral("合同") : QStringLiteral("报告")) > 0);
        QVERIFY(tx.commit());
    }
    QCOMPARE(found(s, QStringLiteral("mc"), QStringLiteral("合同")), Ids{-1});
    QVERIFY(FieldTokens::work(s, 2).ok());
    QCOMPARE(found(s, QStringLiteral("mc"), QStringLiteral("合同")).size(), FieldTokens::QueueLimit - 1);
    QVERIFY(workedOff(s));
    QCOMPARE(found(s, QStringLiteral("mc"), QStringLiteral("合同")).size(), 1);
}

KV_REGISTER_TEST(FieldTokensTest)
#include "FieldTokensTest.moc"
