#include "common/TestHome.h"
#include "common/TestRegistry.h"
#include "ListFixtures.h"

#include "archive/GroupTree.h"
#include "listing/SavedConditions.h"
#include "listing/SearchConditions.h"
#include "store/DataStore.h"
#include "store/ListStatements.h"

#include <QTest>

using SearchConditions::Condition;

namespace {

// The ids a clause finds, ascending.
QList<qint64> found(DataStore& s, const FilterClause& c)
{
    QList<qint64> out;
    const FilterStatement w = FilterStatement::of(s.backend(), c);
    RecordSet rs = s.query(QStringLiteral("select id from wj") + w.where + QStringLiteral(" order by id"), w.params);
    for (; !rs.atEnd(); rs.next())
        out << rs.number(0);
    return out;
}

QStringList names(DataStore& s, const FilterClause& c)
{
    QStringList out;
    const FilterStatement w = FilterStatement::of(s.backend(), c);
    RecordSet rs = s.query(QStringLiteral("select mc from wj") + w.where + QStringLiteral(" order by id"), w.params);
    for (; !rs.atEnd(); rs.next())
        out << rs.text(0);
    return out;
}

Condition cond(const QString& field, const QString& op, const QString& value,
               const QString& relation = SearchConditions::And)
{
    return Condition{field, op, value, relation};
}

FilterClause compiled(TestHome& h, const QList<Condition>& rows, bool distinct = false, bool noProtected = false)
{
    SearchConditions::Options o;
    o.distinctNames = distinct;
    o.leaveOutProtected = noProtected;
    const auto c = SearchConditions::compile(h.store(), h.context().protectedGroups, rows, o);
    if (!c)
        qWarning() << c.message() << c.detail();
    return c.valueOr(FilterClause::none());
}

}  // namespace

class SearchClauseTest : public QObject {
    Q_OBJECT
private slots:
    void typedCharactersMatchThemselves_data();
    void typedCharactersMatchThemselves();
    void leftAndRightContains();
    void singleOrCondition();
    void relationsJoinInOrder();
    void distinctNamesWithoutCondition();
    void distinctNamesKeepFirstOfTheFound();
    void dateIsTheWholeDay_data();
    void dateIsTheWholeDay();
    void sizeTakesUnits_data();
    void sizeTakesUnits();
    void protectedGroups();
    void checkRefusesBadConditions_data();
    void checkRefusesBadConditions();
    void rowsRoundTrip_data();
    void rowsRoundTrip();
    void plansUseTheIndexes();
};

void SearchClauseTest::typedCharactersMatchThemselves_data()
{
    QTest::addColumn<QString>("op");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QStringList>("expected");
    const QString c = QStringLiteral("包含");
    QTest::newRow("percent") << c << QStringLiteral("%") << QStringList{QStringLiteral("50%off")};
    QTest::newRow("underscore") << c << QStringLiteral("_") << QStringList{QStringLiteral("x_y")};
    QTest::newRow("quote") << c << QStringLiteral("'") << QStringList{QStringLiteral("a'b")};
    QTest::newRow("quote long") << c << QStringLiteral("a'b") << QStringList{QStringLiteral("a'b")};
    QTest::newRow("percent long") << c << QStringLiteral("50%o") << QStringList{QStringLiteral("50%off")};
    QTest::newRow("escape char") << c << QStringLiteral("!!") << QStringList{QStringLiteral("hi!!")};
    QTest::newRow("equal quote") << QStringLiteral("=") << QStringLiteral("a'b") << QStringList{QStringLiteral("a'b")};
    QTest::newRow("double quote") << c << QStringLiteral("\"q\"") << QStringList{QStringLiteral("say \"q\"")};
    QTest::newRow("not percent") << QStringLiteral("不包含") << QStringLiteral("%")
                                 << QStringList{QStringLiteral("50off"), QStringLiteral("xay"),
                                                QStringLiteral("x_y"),   QStringLiteral("a'b"),
                                                QStringLiteral("hi!!"),  QStringLiteral("say \"q\"")};
}

void SearchClauseTest::typedCharactersMatchThemselves()
{
    QFETCH(QString, op);
    QFETCH(QString, value);
    QFETCH(QStringList, expected);
    TestHome h;
    for (const char* n : {"50%off", "50off", "xay", "x_y", "a'b", "hi!!", "say \"q\""})
        addFile(h.store(), 1, QString::fromUtf8(n));
    QCOMPARE(names(h.store(), compiled(h, {cond(QStringLiteral("mc"), op, value)})), expected);
    // The plain scan says the same.
    QCOMPARE(names(h.store(), SearchConditions::build({cond(QStringLiteral("mc"), op, value)}, false, {}, false)),
             expected);
}

void SearchClauseTest::leftAndRightContains()
{
    TestHome h;
    addFile(h.store(), 1, QStringLiteral("abc报告"));
    addFile(h.store(), 2, QStringLiteral("报告abc"));
    addFile(h.store(), 3, QStringLiteral("xabcx"));
    QCOMPARE(
        names(h.store(), compiled(h, {cond(QStringLiteral("mc"), QStringLiteral("左包含"), QStringLiteral("abc"))})),
        QStringList{QStringLiteral("abc报告")});
    QCOMPARE(
        names(h.store(), compiled(h, {cond(QStringLiteral("mc"), QStringLiteral("右包含"), QStringLiteral("abc"))})),
        QStringList{QStringLiteral("报告abc")});
    QCOMPARE(names(h.store(), compiled(h, {cond(QStringLiteral("mc"), QStringLiteral("包含"), QStringLiteral("abc"))}))
                 .size(),
             3);
}

void SearchClauseTest::singleOrCondition()
{
    TestHome h;
    addFile(h.store(), 1, QStringLiteral("合同一"));
    addFile(h.store(), 2, QStringLiteral("报告"));
    const auto c =
        compiled(h, {cond(QStringLiteral("mc"), QStringLiteral("包含"), QStringLiteral("合同"), SearchConditions::Or)});
    QCOMPARE(names(h.store(), c), QStringList{QStringLiteral("合同一")});
    QVERIFY(!FilterStatement::of(h.store().backend(), c).where.trimmed().endsWith(QStringLiteral("or")));
}

void SearchClauseTest::relationsJoinInOrder()
{
    TestHome h;
    addFile(h.store(), 1, QStringLiteral("合同A"), QStringLiteral("公司"), 10);
    addFile(h.store(), 2, QStringLiteral("合同B"), QStringLiteral("公司"), 5000);
    addFile(h.store(), 3, QStringLiteral("报告"), QStringLiteral("公司"), 10);
    // 合同 and size > 100, or 报告: (a and b) or c.
    const auto c =
        compiled(h,
                 {cond(QStringLiteral("mc"), QStringLiteral("包含"), QStringLiteral("合同")),
                  cond(QStringLiteral("dx"), QStringLiteral(">"), QStringLiteral("100"), SearchConditions::Or),
                  cond(QStringLiteral("mc"), QStringLiteral("="), QStringLiteral("报告"))});
    QCOMPARE(names(h.store(), c), (QStringList{QStringLiteral("合同B"), QStringLiteral("报告")}));
}

void SearchClauseTest::distinctNamesWithoutCondition()
{
    TestHome h;
    const qint64 a1 = addFile(h.store(), 1, QStringLiteral("甲"));
    addFile(h.store(), 2, QStringLiteral("乙"));
    addFile(h.store(), 3, QStringLiteral("甲"));
    const qint64 b2 = addFile(h.store(), 4, QStringLiteral("丙"));
    addFile(h.store(), 5, QStringLiteral("丙"));
    const auto c = compiled(h, {}, true);
    QCOMPARE(names(h.store(), c), (QStringList{QStringLiteral("甲"), QStringLiteral("乙"), QStringLiteral("丙")}));
    QVERIFY(found(h.store(), c).contains(a1));
    QVERIFY(found(h.store(), c).contains(b2));
    // Nothing ticked and no condition: everything.
    QCOMPARE(found(h.store(), compiled(h, {})).size(), 5);
}

void SearchClauseTest::distinctNamesKeepFirstOfTheFound()
{
    TestHome h;
    addFile(h.store(), 1, QStringLiteral("甲"), QStringLiteral("A"));
    const qint64 second = addFile(h.store(), 2, QStringLiteral("甲"), QStringLiteral("B"));
    addFile(h.store(), 3, QStringLiteral("甲"), QStringLiteral("B"));
    const auto c = compiled(h, {cond(QStringLiteral("fz"), QStringLiteral("="), QStringLiteral("B"))}, true);
    QCOMPARE(found(h.store(), c), QList<qint64>{second});
}

void SearchClauseTest::dateIsTheWholeDay_data()
{
    QTest::addColumn<QString>("op");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("=") << "=" << QStringList{"d1", "d2"};
    QTest::newRow("<>") << "<>" << QStringList{"before", "after"};
    QTest::newRow(">") << ">" << QStringList{"after"};
    QTest::newRow(">=") << ">=" << QStringList{"d1", "d2", "after"};
    QTest::newRow("<") << "<" << QStringList{"before"};
    QTest::newRow("<=") << "<=" << QStringList{"before", "d1", "d2"};
}

void SearchClauseTest::dateIsTheWholeDay()
{
    QFETCH(QString, op);
    QFETCH(QStringList, expected);
    TestHome h;
    const QList<QPair<QString, QString>> rows{{"before", "2026-12-08 23:59:59"},
                                              {"d1", "2026-12-09 00:00:00"},
                                              {"d2", "2026-12-09 23:59:59"},
                                              {"after", "2026-12-10 00:00:00"},
                                              {"never", ""}};
    int xh = 0;
    for (const auto& r : rows) {
        const qint64 id = addFile(h.store(), ++xh, r.first);
        KV_CHECK(h.store().execute(QStringLiteral("update wj set scsj=?,b13=? where id=?"),
                                   {r.second, r.second.left(10), id}));
    }
    QCOMPARE(names(h.store(), compiled(h, {cond(QStringLiteral("scsj"), op, QStringLiteral("2026-12-09"))})), expected);
    // A date spare field holds the date alone; it compares the same way.
    QCOMPARE(names(h.store(), compiled(h, {cond(QStringLiteral("b13"), op, QStringLiteral("2026-12-09"))})), expected);
}

void SearchClauseTest::sizeTakesUnits_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("op");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("bytes") << "1024"
                           << ">=" << QStringList{"k", "m"};
    QTest::newRow("KB") << "1KB"
                        << "=" << QStringList{"k"};
    QTest::newRow("kb blank") << "1 kb"
                              << ">" << QStringList{"m"};
    QTest::newRow("MB") << "1MB"
                        << "<" << QStringList{"b", "k"};
    QTest::newRow("decimal MB") << "0.5MB"
                                << ">" << QStringList{"m"};
}

void SearchClauseTest::sizeTakesUnits()
{
    QFETCH(QString, value);
    QFETCH(QString, op);
    QFETCH(QStringList, expected);
    TestHome h;
    addFile(h.store(), 1, QStringLiteral("b"), QStringLiteral("公司"), 100);
    addFile(h.store(), 2, QStringLiteral("k"), QStringLiteral("公司"), 1024);
    addFile(h.store(), 3, QStringLiteral("m"), QStringLiteral("公司"), 1024 * 1024);
    QCOMPARE(names(h.store(), compiled(h, {cond(QStringLiteral("dx"), op, value)})), expected);
}

void SearchClauseTest::protectedGroups()
{
    TestHome h;
    GroupTree t(h.store(), h.context().protectedGroups);
    QVERIFY(t.load().ok());
    QVERIFY(t.add(0, QStringLiteral("公开")).ok());
    QVERIFY(t.add(0, QStringLiteral("密")).ok());
    QVERIFY(t.add(t.findPath(QStringLiteral("密"))->id, QStringLiteral("下")).ok());
    QVERIFY(t.add(0, QStringLiteral("密2")).ok());
    QVERIFY(t.setPassword(t.findPath(QStringLiteral("密"))->id, {}, QStringLiteral("pw")).ok());
    QVERIFY(t.setPassword(t.findPath(QStringLiteral("密2"))->id, {}, QStringLiteral("pw")).ok());
    addFile(h.store(), 1, QStringLiteral("合同1"), QStringLiteral("公开"));
    addFile(h.store(), 2, QStringLiteral("合同2"), QStringLiteral("密"));
    addFile(h.store(), 3, QStringLiteral("合同3"), QStringLiteral("密\\下"));
    addFile(h.store(), 4, QStringLiteral("合同4"), QStringLiteral("密2"));
    addFile(h.store(), 5, QStringLiteral("合同5"), QStringLiteral("密20"));
    const QList<Condition> c{cond(QStringLiteral("mc"), QStringLiteral("包含"), QStringLiteral("合同"))};
    // Closed: never found, with or without the box.
    QCOMPARE(names(h.store(), compiled(h, c)), (QStringList{"合同1", "合同5"}));
    QCOMPARE(names(h.store(), compiled(h, {})), (QStringList{"合同1", "合同5"}));
    // Open: found, unless "不包含加密分组".
    h.context().protectedGroups.open(QStringLiteral("密"));
    QCOMPARE(names(h.store(), compiled(h, c)), (QStringList{"合同1", "合同2", "合同3", "合同5"}));
    QCOMPARE(names(h.store(), compiled(h, c, false, true)), (QStringList{"合同1", "合同5"}));
    QCOMPARE(names(h.store(), compiled(h, c, true, true)), (QStringList{"合同1", "合同5"}));
    // "不显示重名文件" never picks a record of a closed group as the first.
    h.context().protectedGroups.close(QStringLiteral("密"));
    addFile(h.store(), 6, QStringLiteral("合同2"), QStringLiteral("公开"));
    QCOMPARE(names(h.store(), compiled(h, c, true)), (QStringList{"合同1", "合同5", "合同2"}));
}

void SearchClauseTest::checkRefusesBadConditions_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("op");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("relation");
    QTest::newRow("unknown field") << "mc;drop table wj"
                                   << "="
                                   << "x"
                                   << "并且";
    QTest::newRow("content column") << "wj"
                                    << "="
                                    << "x"
                                    << "并且";
    QTest::newRow("unknown operator") << "mc"
                                      << "like"
                                      << "x"
                                      << "并且";
    QTest::newRow("text operator on number") << "dx"
                                             << "包含"
                                             << "1"
                                             << "并且";
    QTest::newRow("unknown relation") << "mc"
                                      << "="
                                      << "x"
                                      << "and";
    QTest::newRow("not a number") << "dx"
                                  << ">"
                                  << "1 or 1=1"
                                  << "并且";
    QTest::newRow("unit on view count") << "ylcs"
                                        << ">"
                                        << "1KB"
                                        << "并且";
    QTest::newRow("not a date") << "scsj"
                                << ">"
                                << "2026-13-01"
                                << "并且";
}

void SearchClauseTest::checkRefusesBadConditions()
{
    QFETCH(QString, field);
    QFETCH(QString, op);
    QFETCH(QString, value);
    QFETCH(QString, relation);
    const Status s = SearchConditions::check(Condition{field, op, value, relation});
    QVERIFY(!s.ok());
    QVERIFY(!s.message().isEmpty());
}

void SearchClauseTest::rowsRoundTrip_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("plain") << "合同";
    QTest::newRow("separators") << "a§b♂c";
    QTest::newRow("escape char") << "^1^^^2^";
    QTest::newRow("quotes") << "it's \"x\" ''";
    QTest::newRow("sql") << "'); delete from wj; --";
    QTest::newRow("backslash") << "档案室\\2020\\";
    QTest::newRow("empty") << "";
}

void SearchClauseTest::rowsRoundTrip()
{
    QFETCH(QString, value);
    const QList<Condition> rows{cond(QStringLiteral("mc"), QStringLiteral("包含"), value),
                                cond(QStringLiteral("bz"), QStringLiteral("<>"), value + value, SearchConditions::Or),
                                cond(QStringLiteral("fz"), QStringLiteral("右包含"), value)};
    const auto back = SearchConditions::decodeRows(SearchConditions::encodeRows(rows));
    QVERIFY(back.has_value());
    QCOMPARE(*back, rows);

    TestHome h;
    const auto id = SavedConditions::add(h.store(), value + QStringLiteral("名"), false, QStringLiteral("Admin"), rows);
    QVERIFY(id.ok());
    const auto opened = SavedConditions::rows(h.store(), *id, QStringLiteral("Admin"));
    QVERIFY(opened.ok());
    QCOMPARE(*opened, rows);
}

void SearchClauseTest::plansUseTheIndexes()
{
    TestHome h;
    auto plan = [&h](const FilterClause& c) {
        QStringList out;
        const FilterStatement w = FilterStatement::of(h.store().backend(), c);
        RecordSet rs = h.store().query(QStringLiteral("explain query plan select id from wj") + w.where, w.params);
        for (; !rs.atEnd(); rs.next())
            out << rs.text(3);
        return out.join(QLatin1Char('\n'));
    };
    const QString contains =
        plan(compiled(h, {cond(QStringLiteral("mc"), QStringLiteral("包含"), QStringLiteral("合同书"))}));
    QVERIFY2(contains.contains(QStringLiteral("VIRTUAL TABLE INDEX")), qPrintable(contains));
    const QString date =
        plan(compiled(h, {cond(QStringLiteral("scsj"), QStringLiteral(">="), QStringLiteral("2026-01-01"))}));
    QVERIFY2(date.contains(QStringLiteral("wj_scsj")), qPrintable(date));
    const QString size = plan(compiled(h, {cond(QStringLiteral("dx"), QStringLiteral(">"), QStringLiteral("1MB"))}));
    QVERIFY2(size.contains(QStringLiteral("wj_dxsz")), qPrintable(size));
}

KV_REGISTER_TEST(SearchClauseTest)
#include "SearchClauseTest.moc"
