// The search window's field conditions of one or two Chinese characters take
// their candidates from the field tokens, Latin ones still read every name:
// the list and its statistics line hold exactly the records the plain LIKE
// finds, a record renamed since the tokens were written included, a closed
// protected group's record left out.
#include "common/TestHome.h"
#include "common/TestRegistry.h"
#include "ListFixtures.h"

#include "archive/GroupTree.h"
#include "listing/FileListModel.h"
#include "listing/ListQuery.h"
#include "listing/SearchConditions.h"
#include "listing/ui/FileListViews.h"
#include "store/FieldTokens.h"

#include <QTest>

using SearchConditions::Condition;

class FieldTokenSearchTest : public QObject {
    Q_OBJECT
private slots:
    void findsWhatTheFieldHolds_data();
    void findsWhatTheFieldHolds();
};

void FieldTokenSearchTest::findsWhatTheFieldHolds_data()
{
    QTest::addColumn<QString>("op");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<bool>("throughTokens");
    const QString has = QStringLiteral("包含");
    QTest::newRow("rare pair") << has << QStringLiteral("鹦鹉")
                               << QStringList{QStringLiteral("鹦鹉档案"), QStringLiteral("鹦鹉笔记")} << true;
    QTest::newRow("one character") << has << QStringLiteral("鹉")
                                   << QStringList{QStringLiteral("鹦鹉档案"), QStringLiteral("鹦鹉笔记")} << true;
    QTest::newRow("begins with") << QStringLiteral("左包含") << QStringLiteral("档案")
                                 << QStringList{QStringLiteral("档案")} << true;
    QTest::newRow("equals") << QStringLiteral("=") << QStringLiteral("档案") << QStringList{QStringLiteral("档案")}
                            << true;
    QTest::newRow("Latin by the scan") << has << QStringLiteral("ab")
                                       << QStringList{QStringLiteral("AB总结"), QStringLiteral("ab计划")} << false;
}

void FieldTokenSearchTest::findsWhatTheFieldHolds()
{
    QFETCH(QString, op);
    QFETCH(QString, value);
    QFETCH(QStringList, expected);
    QFETCH(bool, throughTokens);
    TestHome h;
    DataStore& s = h.store();
    GroupTree t(s, h.context().protectedGroups);
    QVERIFY(t.load().ok());
    QVERIFY(t.add(0, QStringLiteral("公司")).ok());
    QVERIFY(t.add(0, QStringLiteral("密")).ok());
    QVERIFY(t.setPassword(t.findPath(QStringLiteral("密"))->id, {}, QStringLiteral("pw")).ok());
    for (int i = 0; i < 300; ++i)
        QVERIFY(addFile(s, i, QStringLiteral("会议纪要%1").arg(i)) > 0);
    addFile(s, 301, QStringLiteral("鹦鹉档案"));
    addFile(s, 302, QStringLiteral("档案"));
    addFile(s, 303, QStringLiteral("ab计划"));
    addFile(s, 304, QStringLiteral("AB总结"));
    addFile(s, 305, QStringLiteral("鹦鹉档案"), QStringLiteral("密"));
    QVERIFY(FieldTokens::workOff(s).ok());
    // Renamed after its tokens were written: found while it waits.
    QVERIFY(s.execute(QStringLiteral("update wj set mc='鹦鹉笔记' where mc='会议纪要7'")));

    const Result<FilterClause> clause = SearchConditions::compile(
        s, h.context().protectedGroups, {Condition{QStringLiteral("mc"), op, value, SearchConditions::And}}, {});
    QVERIFY(clause.ok());
    QWidget window;
    FileListViews views(s, h.context().protectedGroups, h.context().mainSettings, &window);
    views.load(*clause);
    QVERIFY(views.waitUntilLoaded());
    QStringList names;
    for (int r = 0; r < views.model()->rowCount(); ++r)
        names << views.model()->nameAt(r);
    std::sort(names.begin(), names.end());
    QCOMPARE(names, expected);
    QVERIFY(views.statisticsLine().startsWith(QStringLiteral(" 文件总数：%1份").arg(expected.size())));

    const std::optional<FilterClause> visible = ListQuery::visibleFilter(*clause, h.context().protectedGroups, s);
    QVERIFY(visible);
    const Result<ListQuery> q = ListQuery::build(s.backend(), {}, *visible, QString()).resolved(s);
    QVERIFY(q.ok());
    QCOMPARE(q->filter.conditions.first().fieldIds.has_value(), throughTokens);
}

KV_REGISTER_TEST(FieldTokenSearchTest)
#include "FieldTokenSearchTest.moc"
