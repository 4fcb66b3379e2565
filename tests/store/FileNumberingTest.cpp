#include "common/TestHome.h"
#include "common/TestRegistry.h"
#include "store/DataStore.h"
#include "store/Dictionary.h"
#include "store/FileNumbering.h"

#include <QSet>
#include <QTest>

namespace {

QString counter(DataStore& s)
{
    return Dictionary::readOr(s, Dictionary::FileNumber, QStringLiteral("<none>"));
}

// What a stored file does: draw the number and insert the record in one
// transaction.
std::optional<QString> storeFile(DataStore& s, const QString& name)
{
    Transaction tx(s);
    if (!tx.isActive())
        return std::nullopt;
    const auto number = FileNumbering::draw(s);
    if (!number)
        return std::nullopt;
    if (!s.execute(QStringLiteral("insert into wj(bh,mc) values (?,?)"), {*number, name}))
        return std::nullopt;
    if (!tx.commit())
        return std::nullopt;
    return number.value();
}

}  // namespace

class FileNumberingTest : public QObject {
    Q_OBJECT
private slots:
    void format_data();
    void format();
    void counter42GivesTenDigits();
    void thousandDrawsAreDistinct();
    void failedAdvanceLeavesNeither();
    void failedInsertLeavesNeither();
    void connectionLostBeforeCommitLeavesNeither();
    void numberAlreadyInUseIsSkipped();
    void drawNeedsTransaction();
    void unreadableCounterStartsAtOne();
};

void FileNumberingTest::format_data()
{
    QTest::addColumn<qint64>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("1") << qint64(1) << "0000000001";
    QTest::newRow("42") << qint64(42) << "0000000042";
    QTest::newRow("ten digits") << qint64(1234567890) << "1234567890";
}

void FileNumberingTest::format()
{
    QFETCH(qint64, value);
    QFETCH(QString, expected);
    QCOMPARE(FileNumbering::format(value), expected);
    QCOMPARE(FileNumbering::format(value).size(), 10);
}

void FileNumberingTest::counter42GivesTenDigits()
{
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(Dictionary::write(s, Dictionary::FileNumber, QStringLiteral("42")));
    QCOMPARE(storeFile(s, QStringLiteral("a")).value_or(QString()), QStringLiteral("0000000042"));
    // The counter holds the number the next file receives.
    QCOMPARE(counter(s), QStringLiteral("43"));
    QCOMPARE(valueOf(s, QStringLiteral("select bh from wj where mc='a'")).toString(), QStringLiteral("0000000042"));
    QCOMPARE(storeFile(s, QStringLiteral("b")).value_or(QString()), QStringLiteral("0000000043"));
}

void FileNumberingTest::thousandDrawsAreDistinct()
{
    TestHome home;
    DataStore& s = home.store();
    QSet<QString> numbers;
    // Every draw in a transaction of its own, as the edit panel stores files,
    // with every fifth one rolled back half way.
    int kept = 0;
    for (int i = 0; i < 1000; ++i) {
        if (i % 5 == 4) {
            Transaction tx(s);
            QVERIFY(FileNumbering::draw(s));
            QVERIFY(s.execute(QStringLiteral("insert into wj(bh,mc) values ('x','dropped')")));
            tx.rollback();
            continue;
        }
        const auto n = storeFile(s, QStringLiteral("f%1").arg(i));
        QVERIFY(n);
        QCOMPARE(n->size(), 10);
        numbers.insert(*n);
        ++kept;
    }
    QCOMPARE(numbers.size(), kept);
    QCOMPARE(valueOf(s, QStringLiteral("select count(distinct bh) from wj")).toInt(), kept);
    QCOMPARE(valueOf(s, QStringLiteral("select count(*) from wj where mc='dropped'")).toInt(), 0);
    QCOMPARE(counter(s), QString::number(kept + 1));
}

void FileNumberingTest::failedAdvanceLeavesNeither()
{
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(Dictionary::write(s, Dictionary::FileNumber, QStringLiteral("7")));
    {
        Transaction tx(s);
        QVERIFY(tx.isActive());
        QVERIFY(s.execute(QStringLiteral("insert into wj(bh,mc) values ('','pending')")));
        s.failNextStatements(1, QStringLiteral("update zdbh"));
        const Result<QString> failed = FileNumbering::draw(s);
        QVERIFY(!failed);
        QVERIFY(!failed.detail().isEmpty());
        // The caller gives up: the transaction rolls back.
    }
    QCOMPARE(valueOf(s, QStringLiteral("select count(*) from wj")).toInt(), 0);
    QCOMPARE(counter(s), QStringLiteral("7"));
    // The number was never handed out, so the next file receives it.
    QCOMPARE(storeFile(s, QStringLiteral("next")).value_or(QString()), QStringLiteral("0000000007"));
}

void FileNumberingTest::failedInsertLeavesNeither()
{
    TestHome home;
    DataStore& s = home.store();
    {
        Transaction tx(s);
        const auto n = FileNumbering::draw(s);
        QVERIFY(n);
        s.failNextStatements(1, QStringLiteral("insert into wj"));
        QVERIFY(!s.execute(QStringLiteral("insert into wj(bh,mc) values (?,?)"), {*n, QStringLiteral("a")}));
    }
    QCOMPARE(valueOf(s, QStringLiteral("select count(*) from wj")).toInt(), 0);
    QCOMPARE(counter(s), QStringLiteral("1"));
}

void FileNumberingTest::connectionLostBeforeCommitLeavesNeither()
{
    TestHome home;
    DataStore writer;
    QVERIFY(writer.open(home.databasePath()));
    QVERIFY(writer.begin());
    QVERIFY(writer.execute(QStringLiteral("insert into wj(bh,mc) values ('','killed')")));
    QVERIFY(FileNumbering::draw(writer));
    // The program ends between the two without committing.
    writer.close();
    DataStore& s = home.store();
    QCOMPARE(valueOf(s, QStringLiteral("select count(*) from wj")).toInt(), 0);
    QCOMPARE(counter(s), QStringLiteral("1"));
}

void FileNumberingTest::numberAlreadyInUseIsSkipped()
{
    TestHome home;
    DataStore& s = home.store();
    // An archive restored under a lower counter.
    QVERIFY(s.execute(QStringLiteral("insert into wj(bh,mc) values ('0000000005','old'),('0000000006','old')")));
    QVERIFY(Dictionary::write(s, Dictionary::FileNumber, QStringLiteral("5")));
    QCOMPARE(storeFile(s, QStringLiteral("new")).value_or(QString()), QStringLiteral("0000000007"));
    QCOMPARE(counter(s), QStringLiteral("8"));
}

void FileNumberingTest::drawNeedsTransaction()
{
    TestHome home;
    DataStore& s = home.store();
    const Result<QString> failed = FileNumbering::draw(s);
    QVERIFY(!failed);
    QVERIFY(!failed.detail().isEmpty());
    QCOMPARE(counter(s), QStringLiteral("1"));
}

void FileNumberingTest::unreadableCounterStartsAtOne()
{
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(s.execute(QStringLiteral("insert into wj(bh,mc) values ('0000000001','old')")));
    QVERIFY(Dictionary::write(s, Dictionary::FileNumber, QStringLiteral("abc")));
    // Never a number that is already given.
    QCOMPARE(storeFile(s, QStringLiteral("new")).value_or(QString()), QStringLiteral("0000000002"));
}

KV_REGISTER_TEST(FileNumberingTest)
#include "FileNumberingTest.moc"
