#include "common/TestHome.h"
#include "common/TestRegistry.h"
#include "ListFixtures.h"

#include "listing/SearchConditions.h"
#include "store/DataStore.h"
#include "store/ListStatements.h"

#include <QTest>

using SearchConditions::Condition;

// The comparisons of a text field find what they say, with and without the
// search index, on every operator the window offers for text.
class TextOperatorsTest : public QObject {
    Q_OBJECT
private slots:
    void comparisonsOfText_data();
    void comparisonsOfText();
};

void TextOperatorsTest::comparisonsOfText_data()
{
    QTest::addColumn<QString>("op");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QStringList>("expected");
    const QString v = QStringLiteral("报告乙");
    QTest::newRow("=") << "=" << v << QStringList{"报告乙"};
    QTest::newRow("<>") << "<>" << v << QStringList{"报告甲", "报告乙二", "合同"};
    QTest::newRow(">") << ">" << v << QStringList{"报告甲", "报告乙二"};
    QTest::newRow(">=") << ">=" << v << QStringList{"报告甲", "报告乙", "报告乙二"};
    QTest::newRow("<") << "<" << v << QStringList{"合同"};
    QTest::newRow("<=") << "<=" << v << QStringList{"报告乙", "合同"};
    QTest::newRow("左包含") << "左包含" << QStringLiteral("报告乙") << QStringList{"报告乙", "报告乙二"};
    QTest::newRow("右包含") << "右包含" << QStringLiteral("告乙二") << QStringList{"报告乙二"};
    QTest::newRow("不包含") << "不包含" << QStringLiteral("告乙") << QStringList{"报告甲", "合同"};
}

void TextOperatorsTest::comparisonsOfText()
{
    QFETCH(QString, op);
    QFETCH(QString, value);
    QFETCH(QStringList, expected);
    TestHome h;
    DataStore& s = h.store();
    // Text compares by code point: 合同 < 报告乙 < 报告乙二 < 报告甲.
    for (const char* n : {"报告甲", "报告乙", "报告乙二", "合同"})
        addFile(s, 1, QString::fromUtf8(n));
    for (const bool useIndex : {true, false}) {
        const FilterClause c =
            SearchConditions::build({Condition{"mc", op, value, SearchConditions::And}}, false, {}, useIndex);
        const FilterStatement w = FilterStatement::of(s.backend(), c);
        RecordSet rs =
            s.query(QStringLiteral("select mc from wj") + w.where + QStringLiteral(" order by mc"), w.params);
        QVERIFY(rs.isValid());
        QStringList got;
        for (; !rs.atEnd(); rs.next())
            got << rs.text(0);
        QStringList want = expected;
        std::sort(want.begin(), want.end(), [](const QString& a, const QString& b) { return a.toUtf8() < b.toUtf8(); });
        QCOMPARE(got, want);
    }
}

KV_REGISTER_TEST(TextOperatorsTest)
#include "TextOperatorsTest.moc"
