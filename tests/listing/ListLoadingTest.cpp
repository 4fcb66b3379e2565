#include "common/TestHome.h"
#include "common/TestRegistry.h"
#include "ListFixtures.h"

#include "archive/GroupPath.h"
#include "listing/FileListLoader.h"
#include "listing/FileListModel.h"
#include "listing/ListQuery.h"
#include "listing/SortClause.h"
#include "listing/ui/FileListViews.h"
#include "shell/AppContext.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QListView>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QWidget>

namespace {

// The list as the main window holds it, on a test home.
struct ListUnderTest {
    explicit ListUnderTest(TestHome& home)
        : views(home.store(), home.context().protectedGroups, home.context().mainSettings, &window)
    {
        window.resize(1024, 768);
    }
    bool load(const FilterClause& clause = FilterClause::everything())
    {
        views.load(clause);
        return views.waitUntilLoaded(10000);
    }
    QList<qint64> ids() const
    {
        QList<qint64> out;
        for (int r = 0; r < views.model()->rowCount(); ++r)
            out << views.model()->idAt(r);
        return out;
    }
    QStringList column(int c) const
    {
        QStringList out;
        for (int r = 0; r < views.model()->rowCount(); ++r)
            out << views.model()->textAt(r, c);
        return out;
    }
    QStringList headers() const
    {
        QStringList out;
        for (int c = 0; c < views.model()->columnCount(); ++c)
            out << views.model()->headerData(c, Qt::Horizontal).toString();
        return out;
    }
    FakeWorkspace workspace;
    QWidget window;
    FileListViews views;
};

FilterClause group(const QString& path)
{
    return FilterClause::inGroup(path);
}

}  // namespace

class ListLoadingTest : public QObject {
    Q_OBJECT
private slots:
    void columnsFollowLbsz();
    void headerClickSortsWithoutSaving();
    void emptyResult();
    void noColumnTickedStillListsIds();
    void neverSetDateShowsEmpty();
    void badFieldNamesAreIgnored();
    void badSavedClauseIsIgnored();
    void sortClauseParsing_data();
    void sortClauseParsing();
    void sortsBySizeNumber();
    void sortsTimesByTimeText();
    void statisticsLine_data();
    void statisticsLine();
    void statisticsFromDatabase();
    void closedProtectedGroupsNeverShow();
    void unreadableGroupsHideEverything();
    void modelPassesTester();
    void newLoadCancelsRunningOne();
    void largeListArrivesInChunks();
    void iconsFetchedOncePerType();
};

void ListLoadingTest::columnsFollowLbsz()
{
    TestHome home;
    DataStore& s = home.store();
    // Shown: 文件名称 (wz 1, 210 px), b1 titled 部门 (wz 2, 95 px), 文件编号 (wz 3).
    QVERIFY(s.execute("update lbsz set xs=0 where bm='wj'"));
    QVERIFY(s.execute("update lbsz set xs=1,wz=1,lk=210 where bh=2"));
    QVERIFY(s.execute("update lbsz set xs=1,wz=2,lk=95,btm='部门' where bh=6"));
    QVERIFY(s.execute("update lbsz set xs=1,wz=3,lk=77 where bh=1"));
    const qint64 a = insertRecord(s, {{"xh", 2}, {"mc", "乙"}, {"bh", "0000000002"}, {"b1", "财务部"}});
    const qint64 b = insertRecord(s, {{"xh", 1}, {"mc", "甲"}, {"bh", "0000000001"}, {"b1", "人事部"}});
    ListUnderTest list(home);
    QVERIFY(list.load());
    QCOMPARE(list.headers(), QStringList({"文件名称", "部门", "文件编号"}));
    QCOMPARE(list.ids(), QList<qint64>({b, a}));  // order by xh
    QCOMPARE(list.column(0), QStringList({"甲", "乙"}));
    QCOMPARE(list.column(1), QStringList({"人事部", "财务部"}));
    QCOMPARE(list.column(2), QStringList({"0000000001", "0000000002"}));
    const QHeaderView* header = list.views.reportView()->horizontalHeader();
    QCOMPARE(header->sectionSize(0), 210);
    QCOMPARE(header->sectionSize(1), 95);
    QCOMPARE(header->sectionSize(2), 77);
    const auto shown = list.views.shownColumns();
    QCOMPARE(shown.size(), 3);
    QCOMPARE(shown.at(1).field, QStringLiteral("b1"));
    QCOMPARE(shown.at(1).header, QStringLiteral("部门"));
    // The icon view lists the same records by name.
    QCOMPARE(list.views.iconView()->model()->rowCount(), 2);
    QCOMPARE(list.views.iconView()->model()->index(0, 0).data().toString(), QStringLiteral("甲"));
}

void ListLoadingTest::headerClickSortsWithoutSaving()
{
    TestHome home;
    const qint64 b = addFile(home.store(), 1, "b");
    const qint64 a = addFile(home.store(), 2, "a");
    const QString saved = valueOf(home.store(), QStringLiteral("select pxfs from zcbj")).toString();
    ListUnderTest list(home);
    list.window.show();
    QVERIFY(list.load());
    QCOMPARE(list.ids(), (QList<qint64>{b, a}));
    int nameColumn = -1;
    for (int c = 0; c < list.views.model()->columns().size(); ++c)
        if (list.views.model()->columns().at(c).field == QLatin1String("mc"))
            nameColumn = c;
    QVERIFY(nameColumn >= 0);
    QHeaderView* header = list.views.reportView()->horizontalHeader();
    const QPoint at(header->sectionViewportPosition(nameColumn) + header->sectionSize(nameColumn) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    QVERIFY(list.views.waitUntilLoaded(10000));
    QCOMPARE(list.ids(), (QList<qint64>{a, b}));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    QVERIFY(list.views.waitUntilLoaded(10000));
    QCOMPARE(list.ids(), (QList<qint64>{b, a}));
    QCOMPARE(valueOf(home.store(), QStringLiteral("select pxfs from zcbj")).toString(), saved);
}

void ListLoadingTest::emptyResult()
{
    TestHome home;
    addFile(home.store(), 1, "甲", "公司");
    ListUnderTest list(home);
    QSignalSpy stats(&list.views, &FileListViews::statisticsChanged);
    QVERIFY(list.load(group("没有的分组")));
    QCOMPARE(list.views.model()->rowCount(), 0);
    QCOMPARE(list.views.iconView()->model()->rowCount(), 0);
    QVERIFY(list.views.model()->columnCount() > 0);
    QCOMPARE(stats.size(), 1);
    QCOMPARE(stats.at(0).at(0).toString(), QStringLiteral(" 文件总数：0份  共：0BYTE"));
    QCOMPARE(list.views.selectedIds(), QList<qint64>());
    QCOMPARE(list.views.currentId(), -1);
}

void ListLoadingTest::noColumnTickedStillListsIds()
{
    TestHome home;
    QVERIFY(home.store().execute("update lbsz set xs=0"));
    const qint64 a = addFile(home.store(), 1, "甲");
    const qint64 b = addFile(home.store(), 2, "乙");
    ListUnderTest list(home);
    QVERIFY(list.load());
    QCOMPARE(list.views.model()->columnCount(), 0);
    QCOMPARE(list.ids(), QList<qint64>({a, b}));
    QCOMPARE(list.views.model()->nameAt(1), QStringLiteral("乙"));
    QCOMPARE(list.views.iconView()->model()->rowCount(), 2);
    QCOMPARE(list.views.statisticsLine(), QStringLiteral(" 文件总数：2份  共：200BYTE"));
}

void ListLoadingTest::neverSetDateShowsEmpty()
{
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(s.execute("update lbsz set xs=1,wz=50 where bh in (18,19)"));  // b13, b14
    insertRecord(s, {{"xh", 1}, {"mc", "a"}, {"b13", "100年1月1日"}, {"b14", "2024年3月5日"}});
    insertRecord(s, {{"xh", 2}, {"mc", "b"}, {"b13", "100年1月1日 "}, {"b14", "100年1月1日"}});
    ListUnderTest list(home);
    QVERIFY(list.load());
    const int b13 = int(list.headers().size()) - 2;
    QCOMPARE(list.views.model()->columns().at(b13).field, QStringLiteral("b13"));
    QCOMPARE(list.column(b13), QStringList({"", "100年1月1日 "}));
    QCOMPARE(list.column(b13 + 1), QStringList({"2024年3月5日", ""}));
}

void ListLoadingTest::badFieldNamesAreIgnored()
{
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(s.execute("update lbsz set xs=0"));
    QVERIFY(s.execute("update lbsz set xs=1,wz=1 where bh=2"));
    // The content column, a statement in disguise and a column wj lacks.
    QVERIFY(s.execute("update lbsz set xs=1,wz=2,zdm='wj' where bh=6"));
    QVERIFY(s.execute("update lbsz set xs=1,wz=3,zdm=? where bh=7", {"mc from wj; delete from wj; --"}));
    QVERIFY(s.execute("update lbsz set xs=1,wz=4,zdm='nosuch' where bh=8"));
    QVERIFY(s.execute("update lbsz set xs=1,wz=5,zdm=' LX ' where bh=9"));
    insertRecord(s, {{"xh", 1}, {"mc", "甲"}, {"lx", "pdf"}, {"wj", QByteArray("secret content")}});
    ListUnderTest list(home);
    QVERIFY(list.load());
    QCOMPARE(list.headers(), QStringList({"文件名称", "备用字段"}));
    QCOMPARE(list.views.model()->columns().at(1).field, QStringLiteral("lx"));
    QCOMPARE(list.column(0), QStringList({"甲"}));
    QCOMPARE(list.column(1), QStringList({"pdf"}));
    QCOMPARE(valueOf(s, "select count(*) from wj").toInt(), 1);
    const auto query = ListQuery::build(s.backend(), *ListColumns::shownColumns(s), FilterClause::everything(), {});
    QVERIFY(!query.sql.contains("delete"));
    QVERIFY(!query.sql.contains(",wj "));
}

void ListLoadingTest::badSavedClauseIsIgnored()
{
    TestHome home;
    DataStore& s = home.store();
    const qint64 a = addFile(s, 2, "b");
    const qint64 b = addFile(s, 1, "a");
    QVERIFY(s.execute("update zcbj set pxfs=? where id=1", {" order by mc; delete from wj"}));
    home.context().mainSettings = *MainSettings::read(s);
    ListUnderTest list(home);
    QVERIFY(list.load());
    QCOMPARE(list.ids(), QList<qint64>({b, a}));  // manual order
    QCOMPARE(valueOf(s, "select count(*) from wj").toInt(), 2);
}

void ListLoadingTest::sortClauseParsing_data()
{
    QTest::addColumn<QString>("saved");
    QTest::addColumn<QString>("orderBy");
    const QString manual = " order by xh asc,id asc";
    QTest::newRow("empty") << "" << manual;
    QTest::newRow("blank") << "   " << manual;
    QTest::newRow("fields") << " order by mc asc,dx desc"
                            << " order by mc asc,dxsz desc,id asc";
    QTest::newRow("no direction") << "order by fz"
                                  << " order by fz asc,id asc";
    QTest::newRow("upper case") << " ORDER BY MC DESC"
                                << " order by mc desc,id asc";
    QTest::newRow("times") << " order by scsj desc,xgsj asc"
                           << " order by substr(scsj,1,19) desc,substr(xgsj,1,19) asc,id asc";
    QTest::newRow("older time form") << " order by format(mid(scsj,1,19),'yyyy-mm-dd-hh:mm:ss') desc"
                                     << " order by substr(scsj,1,19) desc,id asc";
    QTest::newRow("rewritten form") << " order by dxsz asc,substr(xgsj,1,19) desc"
                                    << " order by dxsz asc,substr(xgsj,1,19) desc,id asc";
    QTest::newRow("id last") << " order by id desc"
                             << " order by id desc";
    QTest::newRow("statement") << " order by mc; delete from wj" << manual;
    QTest::newRow("content column") << " order by wj asc" << manual;
    QTest::newRow("unknown column") << " order by nosuch asc" << manual;
    QTest::newRow("bad direction") << " order by mc upwards" << manual;
    QTest::newRow("subquery") << " order by (select mm from czygl)" << manual;
    QTest::newRow("not a clause") << " where 1=1" << manual;
    QTest::newRow("bare order by") << " order by " << manual;
    QTest::newRow("trailing comma") << " order by mc asc," << manual;
    QTest::newRow("other time wrap") << " order by substr(mc,1,19)" << manual;
    QTest::newRow("quote") << " order by mc' asc" << manual;
}

void ListLoadingTest::sortClauseParsing()
{
    QFETCH(QString, saved);
    QFETCH(QString, orderBy);
    QCOMPARE(SortClause::effectiveOrderBy(saved), orderBy);
}

void ListLoadingTest::sortsBySizeNumber()
{
    TestHome home;
    DataStore& s = home.store();
    // As text "9.00KB" > "10.00KB" > "1.00MB"; as numbers the other way round.
    const qint64 k9 = insertRecord(s, {{"xh", 1}, {"mc", "a"}, {"dx", "9.00KB"}, {"dxsz", 9 * 1024}});
    const qint64 m1 = insertRecord(s, {{"xh", 2}, {"mc", "b"}, {"dx", "1.00MB"}, {"dxsz", 1024 * 1024}});
    const qint64 k10 = insertRecord(s, {{"xh", 3}, {"mc", "c"}, {"dx", "10.00KB"}, {"dxsz", 10 * 1024}});
    home.context().mainSettings.sortClause = " order by dx asc";
    ListUnderTest list(home);
    QVERIFY(list.load());
    QCOMPARE(list.ids(), QList<qint64>({k9, k10, m1}));
    home.context().mainSettings.sortClause = " order by dx desc";
    QVERIFY(list.load());
    QCOMPARE(list.ids(), QList<qint64>({m1, k10, k9}));
}

void ListLoadingTest::sortsTimesByTimeText()
{
    TestHome home;
    DataStore& s = home.store();
    // Equal to the second: the time text ties and the order of entry decides,
    // whatever follows the nineteenth character.
    const qint64 first = insertRecord(s, {{"xh", 1}, {"mc", "a"}, {"scsj", "2024-01-05 10:00:00"}});
    const qint64 second = insertRecord(s, {{"xh", 2}, {"mc", "b"}, {"scsj", "2024-01-05 10:00:00.900"}});
    const qint64 older = insertRecord(s, {{"xh", 3}, {"mc", "c"}, {"scsj", "2023-12-31 23:59:59"}});
    const qint64 newer = insertRecord(s, {{"xh", 4}, {"mc", "d"}, {"scsj", "2024-01-05 10:00:01"}});
    home.context().mainSettings.sortClause = " order by scsj desc";
    ListUnderTest list(home);
    QVERIFY(list.load());
    QCOMPARE(list.ids(), QList<qint64>({newer, first, second, older}));
    home.context().mainSettings.sortClause = " order by scsj asc";
    QVERIFY(list.load());
    QCOMPARE(list.ids(), QList<qint64>({older, first, second, newer}));
}

void ListLoadingTest::statisticsLine_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("size");
    QTest::newRow("0") << qint64(0) << "0BYTE";
    QTest::newRow("1023") << qint64(1023) << "1023BYTE";
    QTest::newRow("1024") << qint64(1024) << "1.00KB";
    QTest::newRow("1536") << qint64(1536) << "1.50KB";
    // Cut, never rounded up: the same text the edit panel shows.
    QTest::newRow("1024*1024-1") << qint64(1024 * 1024 - 1) << "1023.99KB";
    QTest::newRow("1024*1024") << qint64(1024 * 1024) << "1.00MB";
    QTest::newRow("5 GB") << qint64(5) * 1024 * 1024 * 1024 << "5120.00MB";
}

void ListLoadingTest::statisticsLine()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, size);
    QCOMPARE(ListStatistics::line({7, bytes}), QStringLiteral(" 文件总数：7份  共：") + size);
}

void ListLoadingTest::statisticsFromDatabase()
{
    TestHome home;
    DataStore& s = home.store();
    ListUnderTest list(home);
    QVERIFY(list.load());
    QCOMPARE(list.views.statisticsLine(), QStringLiteral(" 文件总数：0份  共：0BYTE"));
    addFile(s, 1, "a", "公司", 1000);
    addFile(s, 2, "b", "公司", 23);
    QVERIFY(list.load());
    QCOMPARE(list.views.statisticsLine(), QStringLiteral(" 文件总数：2份  共：1023BYTE"));
    addFile(s, 3, "c", "公司", 1);
    QVERIFY(list.load());
    QCOMPARE(list.views.statisticsLine(), QStringLiteral(" 文件总数：3份  共：1.00KB"));
    addFile(s, 4, "d", "别处", 1024 * 1024 - 1024);
    QVERIFY(list.load());
    QCOMPARE(list.views.statisticsLine(), QStringLiteral(" 文件总数：4份  共：1.00MB"));
    // The same filter as the rows.
    QVERIFY(list.load(group("公司")));
    QCOMPARE(list.views.statisticsLine(), QStringLiteral(" 文件总数：3份  共：1.00KB"));
    QSignalSpy spy(&list.views, &FileListViews::statisticsChanged);
    list.views.updateStatistics();
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral(" 文件总数：3份  共：1.00KB"));
}

void ListLoadingTest::closedProtectedGroupsNeverShow()
{
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(s.execute("insert into wjfz(id,fxmid,xmmc,mm) values (1,0,'公开','')"));
    QVERIFY(s.execute("insert into wjfz(id,fxmid,xmmc,mm) values (2,0,'机密','hash')"));
    QVERIFY(s.execute("insert into wjfz(id,fxmid,xmmc,mm) values (3,2,'子','')"));
    QVERIFY(s.execute("insert into wjfz(id,fxmid,xmmc,mm) values (4,0,'机密文件','')"));
    const qint64 open = addFile(s, 1, "a", "公开", 10);
    addFile(s, 2, "b", "机密", 20);
    addFile(s, 3, "c", "机密\\子", 40);
    const qint64 neighbour = addFile(s, 4, "d", "机密文件", 80);
    ListUnderTest list(home);
    QVERIFY(list.load());
    QCOMPARE(list.ids(), QList<qint64>({open, neighbour}));
    QCOMPARE(list.views.statisticsLine(), QStringLiteral(" 文件总数：2份  共：90BYTE"));
    // Whatever clause arrives: the group itself, or a sub-group.
    QVERIFY(list.load(group("机密")));
    QCOMPARE(list.ids(), QList<qint64>());
    QCOMPARE(list.views.statisticsLine(), QStringLiteral(" 文件总数：0份  共：0BYTE"));
    QVERIFY(list.load(group("机密\\子")));
    QCOMPARE(list.ids(), QList<qint64>());
    // Once opened with its password it lists like any other group.
    home.context().protectedGroups.open("机密");
    QVERIFY(list.load(group("机密")));
    QCOMPARE(list.ids().size(), 2);
}

void ListLoadingTest::unreadableGroupsHideEverything()
{
    TestHome home;
    DataStore& s = home.store();
    addFile(s, 1, "a");
    ListUnderTest list(home);
    s.failNextStatements(1, "from wjfz");
    list.views.load(FilterClause::everything());
    QVERIFY(list.views.waitUntilLoaded());
    QCOMPARE(list.views.model()->rowCount(), 0);
}

void ListLoadingTest::modelPassesTester()
{
    TestHome home;
    DataStore& s = home.store();
    for (int i = 0; i < 450; ++i)
        addFile(s, i, QStringLiteral("文件%1").arg(i), "公司", i, i % 3 ? "doc" : "pdf");
    ListUnderTest list(home);
    QAbstractItemModelTester tester(list.views.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    QAbstractItemModelTester iconTester(list.views.iconView()->model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
    QVERIFY(list.load());
    QCOMPARE(list.views.model()->rowCount(), 450);
    QVERIFY(list.views.model()->swapRows(3, 4));
    QVERIFY(list.load(group("公司")));
    QVERIFY(s.execute("update lbsz set xs=0"));
    QVERIFY(list.load());
    QVERIFY(list.views.model()->swapRows(0, 449));
    QCOMPARE(list.views.model()->nameAt(0), QStringLiteral("文件449"));
}

void ListLoadingTest::newLoadCancelsRunningOne()
{
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(s.begin());
    for (int i = 0; i < 30000; ++i)
        addFile(s, i, QStringLiteral("f%1").arg(i), "甲");
    const qint64 other = addFile(s, 99999, "only", "乙");
    QVERIFY(s.commit());
    ListUnderTest list(home);
    QSignalSpy loaded(list.views.loader(), &FileListLoader::loaded);
    list.views.load(group("甲"));
    list.views.load(group("乙"));
    QVERIFY(list.views.waitUntilLoaded());
    QCoreApplication::processEvents();
    QCOMPARE(list.ids(), QList<qint64>({other}));
    QCOMPARE(loaded.size(), 1);
    QCOMPARE(list.views.statisticsLine(), QStringLiteral(" 文件总数：1份  共：100BYTE"));
}

void ListLoadingTest::largeListArrivesInChunks()
{
    TestHome home;
    DataStore& s = home.store();
    const int n = FileListLoader::ChunkRows + FileListLoader::FirstChunkRows + 17;
    QVERIFY(s.begin());
    for (int i = 0; i < n; ++i)
        addFile(s, i, QStringLiteral("f%1").arg(i));
    QVERIFY(s.commit());
    ListUnderTest list(home);
    QSignalSpy arrived(list.views.loader(), &FileListLoader::rowsArrived);
    QVERIFY(list.load());
    QCOMPARE(list.views.model()->rowCount(), n);
    QVERIFY(arrived.size() >= 3);
    QCOMPARE(arrived.first().at(0).toInt(), FileListLoader::FirstChunkRows);
    QCOMPARE(list.views.model()->nameAt(n - 1), QStringLiteral("f%1").arg(n - 1));
    QCOMPARE(list.views.model()->textAt(FileListLoader::FirstChunkRows, 1),
             QStringLiteral("f%1").arg(FileListLoader::FirstChunkRows));
}

void ListLoadingTest::iconsFetchedOncePerType()
{
    TestHome home;
    DataStore& s = home.store();
    for (int i = 0; i < 10; ++i)
        addFile(s, i, QStringLiteral("f%1").arg(i), "公司", 1, i % 2 ? "pdf" : "jpg");
    FileListModel model;
    QStringList asked;
    model.setIconProvider([&asked](const QString& type) {
        asked << type;
        return QIcon();
    });
    FileListLoader loader(&model);
    const auto query = ListQuery::build(s.backend(), {}, FilterClause::everything(), {});
    loader.start(home.archive(), query);
    QVERIFY(loader.waitUntilLoaded());
    QCOMPARE(model.rowCount(), 10);
    for (int round = 0; round < 3; ++round)
        for (int r = 0; r < model.rowCount(); ++r)
            model.iconAt(r);
    asked.sort();
    QCOMPARE(asked, QStringList({"jpg", "pdf"}));
    QCOMPARE(model.typeAt(1), QStringLiteral("pdf"));
}

KV_REGISTER_TEST(ListLoadingTest)
#include "ListLoadingTest.moc"
