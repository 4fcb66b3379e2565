#include "common/TestHome.h"
#include "common/TestInput.h"
#include "common/TestRegistry.h"
#include "ListFixtures.h"

#include "archive/GroupTree.h"
#include "listing/FileListModel.h"
#include "listing/ListQuery.h"
#include "listing/SavedConditions.h"
#include "listing/SearchConditions.h"
#include "listing/ui/FileListViews.h"
#include "listing/ui/SearchWindow.h"
#include "platform/TextTokens.h"
#include "store/Backend.h"
#include "store/ContentConditions.h"
#include "store/ContentIndex.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using SearchConditions::Condition;

namespace {

// Records with known texts, straight in the content index: 合同 side by side
// in 甲 and 戊 (and in 丁, of the closed protected group 密), 合 and 同 apart
// in 乙, no text yet for 丙.
void prepare(TestHome& h)
{
    DataStore& s = h.store();
    GroupTree t(s, h.context().protectedGroups);
    QVERIFY(t.load().ok());
    QVERIFY(t.add(0, QStringLiteral("公司")).ok());
    QVERIFY(t.add(0, QStringLiteral("密")).ok());
    QVERIFY(t.setPassword(t.findPath(QStringLiteral("密"))->id, {}, QStringLiteral("pw")).ok());
    const qint64 a = addFile(s, 1, QStringLiteral("甲报告"));
    const qint64 b = addFile(s, 2, QStringLiteral("乙报告"));
    addFile(s, 3, QStringLiteral("丙合同"));
    const qint64 d = addFile(s, 4, QStringLiteral("丁"), QStringLiteral("密"));
    const qint64 e = addFile(s, 5, QStringLiteral("戊报告"));
    const QString filler = QStringLiteral("前言").repeated(20);
    const QList<ContentIndex::Item> items{
        {a, ContentIndex::Done, TextTokens::normalize(filler + QStringLiteral("本合同于今日签订") + filler)},
        {b, ContentIndex::Done, TextTokens::normalize(QStringLiteral("合作共赢，同心协力"))},
        {d, ContentIndex::Done, TextTokens::normalize(QStringLiteral("合同全文"))},
        {e, ContentIndex::Done, TextTokens::normalize(QStringLiteral("另一份合同"))},
    };
    const Result<int> written = ContentIndex::indexBatch(s, items);
    QVERIFY(written.ok());
    QCOMPARE(written.value(), 4);
}

Condition content(const QString& op, const QString& text, const QString& relation = SearchConditions::And)
{
    return {SearchConditions::ContentField, op, text, relation};
}

Condition name(const QString& op, const QString& text, const QString& relation = SearchConditions::And)
{
    return {QStringLiteral("mc"), op, text, relation};
}

QStringList listed(FileListViews& views)
{
    QStringList out;
    for (int r = 0; r < views.model()->rowCount(); ++r)
        out << views.model()->nameAt(r);
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

class ContentSearchTest : public QObject {
    Q_OBJECT
private slots:
    void windowFindsTheWordExactly();
    void joinsWithFieldConditions_data();
    void joinsWithFieldConditions();
    void savedConditionReloads();
};

void ContentSearchTest::windowFindsTheWordExactly()
{
    TestHome h;
    prepare(h);
    DataStore& s = h.store();
    QWidget window;
    window.resize(1024, 768);
    FileListViews views(s, h.context().protectedGroups, h.context().mainSettings, &window);
    window.show();
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* w = qobject_cast<SearchWindow*>(QApplication::activeModalWidget());
        if (!w)
            return;
        seen = true;
        auto* field = w->findChild<QComboBox*>(QStringLiteral("搜索字段组合框"));
        QCOMPARE(field->itemText(field->count() - 1), QStringLiteral("文件内容"));
        field->setCurrentIndex(field->count() - 1);
        auto* ops = w->findChild<QComboBox*>(QStringLiteral("条件组合框"));
        QCOMPARE(ops->count(), 2);
        QCOMPARE(ops->itemText(0), QStringLiteral("包含"));
        QCOMPARE(ops->itemText(1), QStringLiteral("不包含"));
        auto* text = w->findChild<QLineEdit*>(QStringLiteral("编辑框1"));
        QVERIFY(text->isVisible());
        TestInput::typeText(text, QStringLiteral("合同"));
        QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("增加按钮")), Qt::LeftButton);
        QCOMPARE(w->findChild<QListWidget*>(QStringLiteral("字段列表框"))->item(0)->text(), QStringLiteral("文件内容"));
        TestHome::grab(w, QStringLiteral("search-window-content"));
        QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("搜索按钮")), Qt::LeftButton);
        if (w->isVisible())
            w->reject();
    });
    views.search(QStringLiteral("Admin"));
    QVERIFY(seen);
    QVERIFY(views.waitUntilLoaded());
    // 乙 holds both characters apart, 丙 has no text, 丁 lies in a closed group.
    QCOMPARE(listed(views), (QStringList{QStringLiteral("戊报告"), QStringLiteral("甲报告")}));
    QVERIFY(views.statisticsLine().startsWith(QStringLiteral(" 文件总数：2份")));
    views.updateStatistics();
    QVERIFY(views.statisticsLine().startsWith(QStringLiteral(" 文件总数：2份")));

    // Each row's tooltip ends with the words around the first hit.
    FileListModel* m = views.model();
    for (int r = 0; r < m->rowCount(); ++r) {
        const QString tip = m->data(m->index(r, 0), Qt::ToolTipRole).toString();
        if (m->nameAt(r) == QStringLiteral("戊报告")) {
            QVERIFY(tip.endsWith(QStringLiteral("\n另一份合同")));
        } else {
            const QString excerpt = tip.section(QLatin1Char('\n'), 1);
            QVERIFY(excerpt.startsWith(QChar(0x2026)) && excerpt.endsWith(QChar(0x2026)));
            QVERIFY(excerpt.contains(QStringLiteral("本合同于今日签订")));
            QCOMPARE(excerpt.size(), 2 + 30 + 2 + 30);
        }
    }

    // The list's statement takes the ids as one value, read by key.
    const FilterClause clause = views.currentFilter();
    FilterClause visible = clause.excludingGroups({QStringLiteral("密")});
    QVERIFY(ContentConditions::resolve(s, visible).ok());
    const QList<qint64> ids = visible.conditions.first().contentIds.value();
    QCOMPARE(ids.size(), 2);
    const ListQuery q = ListQuery::build(s.backend(), {}, visible, QString());
    QVERIFY(q.params.contains(s.backend().idListValue(ids)));
    const Result<bool> scans = s.backend().scansTable(s, q.sql, q.params, QStringLiteral("wj"));
    QVERIFY(scans.ok());
    QVERIFY(!scans.value());
}

void ContentSearchTest::joinsWithFieldConditions_data()
{
    QTest::addColumn<QList<Condition>>("conditions");
    QTest::addColumn<QStringList>("expected");
    const QString has = QStringLiteral("包含");
    const QString lacks = QStringLiteral("不包含");
    QTest::newRow("不包含: no text holds no word; the closed group stays out")
        << QList<Condition>{content(lacks, QStringLiteral("合同"))}
        << QStringList{QStringLiteral("丙合同"), QStringLiteral("乙报告")};
    QTest::newRow("并且") << QList<Condition>{content(has, QStringLiteral("合同")), name(has, QStringLiteral("甲"))}
                          << QStringList{QStringLiteral("甲报告")};
    QTest::newRow("或者") << QList<Condition>{content(has, QStringLiteral("合同"), SearchConditions::Or),
                                              name(has, QStringLiteral("丙"))}
                          << QStringList{QStringLiteral("丙合同"), QStringLiteral("戊报告"), QStringLiteral("甲报告")};
    QTest::newRow("field 并且 不包含") << QList<Condition>{name(has, QStringLiteral("报告")),
                                                           content(lacks, QStringLiteral("合同"))}
                                       << QStringList{QStringLiteral("乙报告")};
    QTest::newRow("乙's own word") << QList<Condition>{content(has, QStringLiteral("同心"))}
                                   << QStringList{QStringLiteral("乙报告")};
}

void ContentSearchTest::joinsWithFieldConditions()
{
    QFETCH(QList<Condition>, conditions);
    QFETCH(QStringList, expected);
    TestHome h;
    prepare(h);
    QWidget window;
    FileListViews views(h.store(), h.context().protectedGroups, h.context().mainSettings, &window);
    const Result<FilterClause> clause =
        SearchConditions::compile(h.store(), h.context().protectedGroups, conditions, {});
    QVERIFY(clause.ok());
    views.load(*clause);
    QVERIFY(views.waitUntilLoaded());
    QCOMPARE(listed(views), expected);
    // The closed group's record never reaches an excerpt.
    for (int r = 0; r < views.model()->rowCount(); ++r)
        QVERIFY(!views.model()->excerptAt(r).contains(QStringLiteral("全文")));
}

void ContentSearchTest::savedConditionReloads()
{
    TestHome h;
    const QList<Condition> rows{content(QStringLiteral("不包含"), QStringLiteral("甲§乙"), SearchConditions::Or),
                                name(QStringLiteral("包含"), QStringLiteral("报告"))};
    const Result<qint64> id =
        SavedConditions::add(h.store(), QStringLiteral("内容"), false, QStringLiteral("Admin"), rows);
    QVERIFY(id.ok());
    const Result<QList<Condition>> back = SavedConditions::rows(h.store(), id.value(), QStringLiteral("Admin"));
    QVERIFY(back.ok());
    QCOMPARE(back.value(), rows);
    // Content takes no other operator.
    QVERIFY(!SearchConditions::check(content(QStringLiteral("="), QStringLiteral("x"))).ok());
}

KV_REGISTER_TEST(ContentSearchTest)
#include "ContentSearchTest.moc"
