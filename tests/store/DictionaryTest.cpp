#include "common/TestHome.h"
#include "common/TestRegistry.h"
#include "store/DataStore.h"
#include "store/Dictionary.h"
#include "store/FieldOptions.h"

#include <QTest>

class DictionaryTest : public QObject {
    Q_OBJECT
private slots:
    void namedValuesReadAndWrite();
    void writeToMissingNameFails();
    void allowedTypes_data();
    void allowedTypes();
    void sizeBound_data();
    void sizeBound();
    void optionsRoundTripThroughTheTable();
    void optionsOfUnknownField();
};

void DictionaryTest::namedValuesReadAndWrite()
{
    TestHome home;
    DataStore& s = home.store();
    QCOMPARE(Dictionary::readOr(s, Dictionary::FileNumber, QString()), QStringLiteral("1"));
    QCOMPARE(Dictionary::readOr(s, Dictionary::FileTypes, QString()), Dictionary::AnyType);
    QVERIFY(Dictionary::read(s, Dictionary::FileSize).valueOr(std::nullopt).has_value());
    QVERIFY(Dictionary::write(s, Dictionary::FileTypes, QStringLiteral("doc，pdf 'x'")));
    QVERIFY(Dictionary::write(s, Dictionary::FileSize, QStringLiteral("5")));
    QCOMPARE(Dictionary::readOr(s, Dictionary::FileTypes, QString()), QStringLiteral("doc，pdf 'x'"));
    QCOMPARE(Dictionary::readOr(s, Dictionary::FileSize, QString()), QStringLiteral("5"));
    // The other rows are untouched.
    QCOMPARE(Dictionary::readOr(s, Dictionary::FileNumber, QString()), QStringLiteral("1"));
    QCOMPARE(valueOf(s, QStringLiteral("select count(*) from zdbh")).toInt(), 3);
}

void DictionaryTest::writeToMissingNameFails()
{
    TestHome home;
    DataStore& s = home.store();
    const Result<std::optional<QString>> none = Dictionary::read(s, QStringLiteral("不存在"));
    QVERIFY(none);
    QVERIFY(!none->has_value());
    QVERIFY(!Dictionary::write(s, QStringLiteral("不存在"), QStringLiteral("1")));
    QCOMPARE(valueOf(s, QStringLiteral("select count(*) from zdbh")).toInt(), 3);
    s.failNextStatements(1, QStringLiteral("update zdbh"));
    QVERIFY(!Dictionary::write(s, Dictionary::FileSize, QStringLiteral("9")));
    // A read that fails is not "no such value".
    s.failNextStatements(1, QStringLiteral("from zdbh"));
    QVERIFY(!Dictionary::read(s, Dictionary::FileSize));
}

void DictionaryTest::allowedTypes_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("no limit") << "A"
                              << "exe" << true;
    QTest::newRow("empty means no limit") << ""
                                          << "exe" << true;
    QTest::newRow("listed") << "doc,pdf"
                            << "pdf" << true;
    QTest::newRow("not listed") << "doc,pdf"
                                << "exe" << false;
    QTest::newRow("case") << "DOC;Pdf"
                          << "pdf" << true;
    QTest::newRow("dots and stars") << "*.jpg .png"
                                    << "png" << true;
    QTest::newRow("full-width comma") << "doc，xls"
                                      << "xls" << true;
    QTest::newRow("no partial match") << "docx"
                                      << "doc" << false;
    QTest::newRow("lines") << "doc\npdf"
                           << "pdf" << true;
}

void DictionaryTest::allowedTypes()
{
    QFETCH(QString, value);
    QFETCH(QString, type);
    QFETCH(bool, allowed);
    QCOMPARE(Dictionary::typeAllowed(value, type), allowed);
}

void DictionaryTest::sizeBound_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<qint64>("bytes");
    QTest::newRow("10 MB") << "10" << qint64(10) * 1024 * 1024;
    QTest::newRow("decimal") << "0.5" << qint64(512) * 1024;
    QTest::newRow("blanks") << " 2 " << qint64(2) * 1024 * 1024;
    QTest::newRow("text") << "abc" << qint64(0);
    QTest::newRow("negative") << "-1" << qint64(0);
}

void DictionaryTest::sizeBound()
{
    QFETCH(QString, value);
    QFETCH(qint64, bytes);
    QCOMPARE(Dictionary::sizeBoundBytes(value), bytes);
}

void DictionaryTest::optionsRoundTripThroughTheTable()
{
    TestHome home;
    DataStore& s = home.store();
    const QStringList options = {QStringLiteral("O'Brien"), QStringLiteral(" 空格 "),  QStringLiteral("§"),
                                 QStringLiteral("♂"),       QStringLiteral("a,b;c|d"), QString(5000, QChar(0x5B57)),
                                 QStringLiteral("\"")};
    QVERIFY(FieldOptions::save(s, 12, options));
    QCOMPARE(FieldOptions::options(s, 12).value(), options);
    // Exactly one row changed.
    QCOMPARE(valueOf(s, QStringLiteral("select count(*) from xx where nr<>''")).toInt(), 1);
    // A control character typed into an option never splits it.
    QVERIFY(FieldOptions::save(s, 12, {QStringLiteral("x") + FieldOptions::Separator + QStringLiteral("y")}));
    QCOMPARE(FieldOptions::options(s, 12).value(), QStringList{QStringLiteral("xy")});
}

void DictionaryTest::optionsOfUnknownField()
{
    TestHome home;
    DataStore& s = home.store();
    const Result<QStringList> unknown = FieldOptions::options(s, 99);
    QVERIFY(unknown.valueOr({QStringLiteral("failed")}).isEmpty());
    QVERIFY(unknown.ok());
    QVERIFY(!FieldOptions::save(s, 99, {QStringLiteral("a")}));
    QCOMPARE(FieldOptions::fields(s).value().size(), 12);
}

KV_REGISTER_TEST(DictionaryTest)
#include "DictionaryTest.moc"
