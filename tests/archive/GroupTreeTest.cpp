#include "common/TestHome.h"
#include "common/TestRegistry.h"
#include "archive/GroupPath.h"
#include "archive/GroupTree.h"
#include "archive/GroupTestSupport.h"

#include <QTest>

using namespace GroupTestSupport;
using Kind = GroupTree::Result::Kind;

class GroupTreeTest : public QObject {
    Q_OBJECT
private slots:
    void emptyDatabaseShowsOnlyRoot();
    void addWritesIdsInDisplayOrder();
    void renameMovesFilesOfGroupAndSubgroups();
    void deleteRefusedOnlyByOwnFiles_data();
    void deleteRefusedOnlyByOwnFiles();
    void moveAmongSiblings();
    void moveStopsAtProtectedNeighbour();
    void failedRewriteLeavesTable_data();
    void failedRewriteLeavesTable();
    void nameRules_data();
    void nameRules();
    void selectingGroupFindsItsFilesOnly_data();
    void selectingGroupFindsItsFilesOnly();
    void orphansAndCyclesSitUnderRoot();
};

namespace {

// A / A1, A / A2, B, B / B1 built through the service.
struct Built {
    qint64 a, a1, a2, b, b1;
};

Built build(GroupTree& t)
{
    Built ids{};
    ids.a = t.add(0, QStringLiteral("A")).id;
    ids.b = t.add(0, QStringLiteral("B")).id;
    ids.a1 = t.add(t.findPath(QStringLiteral("A"))->id, QStringLiteral("A1")).id;
    ids.b1 = t.add(t.findPath(QStringLiteral("B"))->id, QStringLiteral("B1")).id;
    ids.a2 = t.add(t.findPath(QStringLiteral("A"))->id, QStringLiteral("A2")).id;
    return ids;
}

qint64 idOf(const GroupTree& t, const char* path)
{
    const GroupTree::Node* n = t.findPath(QString::fromUtf8(path));
    return n ? n->id : -1;
}

}  // namespace

void GroupTreeTest::emptyDatabaseShowsOnlyRoot()
{
    TestHome home;
    GroupTree t(home.store(), home.context().protectedGroups);
    QVERIFY(t.load());
    QCOMPARE(t.root().name, QStringLiteral("文件服务器"));
    QCOMPARE(t.root().image, 0);
    QCOMPARE(t.groupCount(), 0);
}

void GroupTreeTest::addWritesIdsInDisplayOrder()
{
    TestHome home;
    GroupTree t(home.store(), home.context().protectedGroups);
    QVERIFY(t.load());
    build(t);
    QCOMPARE(order(t), (QStringList{"A", "A\\A1", "A\\A2", "B", "B\\B1"}));
    QCOMPARE(rewriteFault(home.store(), t), QString());
    // The returned id is the new group's id after the rewrite.
    const GroupTree::Result r = t.add(idOf(t, "A\\A1"), QStringLiteral("deep"));
    QVERIFY(r);
    QCOMPARE(t.find(r.id)->path(), QStringLiteral("A\\A1\\deep"));
    QCOMPARE(r.id, 3);
    QCOMPARE(rewriteFault(home.store(), t), QString());
    // New groups show the folder pair and carry no password.
    for (const Row& row : rows(home.store())) {
        QCOMPARE(row.image, 1);
        QCOMPARE(row.selected, 2);
        QCOMPARE(row.mm, QString());
    }
    // A second service reads the same tree.
    GroupTree again(home.store(), home.context().protectedGroups);
    QVERIFY(again.load());
    QCOMPARE(order(again), order(t));
}

void GroupTreeTest::renameMovesFilesOfGroupAndSubgroups()
{
    TestHome home;
    DataStore& s = home.store();
    GroupTree t(s, home.context().protectedGroups);
    QVERIFY(t.load());
    KV_CHECK(t.add(0, QStringLiteral("A")));
    KV_CHECK(t.add(idOf(t, "A"), QStringLiteral("B")));
    KV_CHECK(t.add(0, QStringLiteral("AB")));
    addFile(s, QStringLiteral("inA"), QStringLiteral("A"));
    addFile(s, QStringLiteral("inAB"), QStringLiteral("A\\B"));
    addFile(s, QStringLiteral("inAB2"), QStringLiteral("AB"));
    addFile(s, QStringLiteral("inAX"), QStringLiteral("AX\\A"));

    const GroupTree::Result r = t.rename(idOf(t, "A"), QStringLiteral("新名"));
    QVERIFY2(r, qPrintable(r.message));
    QCOMPARE(order(t), (QStringList{"新名", "新名\\B", "AB"}));
    QCOMPARE(rewriteFault(s, t), QString());
    QCOMPARE(valueOf(s, QStringLiteral("select fz from wj where mc='inA'")).toString(), QStringLiteral("新名"));
    QCOMPARE(valueOf(s, QStringLiteral("select fz from wj where mc='inAB'")).toString(), QStringLiteral("新名\\B"));
    QCOMPARE(valueOf(s, QStringLiteral("select fz from wj where mc='inAB2'")).toString(), QStringLiteral("AB"));
    QCOMPARE(valueOf(s, QStringLiteral("select fz from wj where mc='inAX'")).toString(), QStringLiteral("AX\\A"));

    // Renaming a sub-group touches only its own files.
    QVERIFY(t.rename(idOf(t, "新名\\B"), QStringLiteral("it's 100%_")));
    QCOMPARE(valueOf(s, QStringLiteral("select fz from wj where mc='inAB'")).toString(),
             QStringLiteral("新名\\it's 100%_"));
    QCOMPARE(valueOf(s, QStringLiteral("select fz from wj where mc='inA'")).toString(), QStringLiteral("新名"));
    // The same name again changes nothing.
    QCOMPARE(t.rename(idOf(t, "AB"), QStringLiteral("AB")).kind, Kind::Unchanged);
}

void GroupTreeTest::deleteRefusedOnlyByOwnFiles_data()
{
    QTest::addColumn<QString>("fileGroup");
    QTest::addColumn<bool>("refused");
    QTest::newRow("no files") << QString() << false;
    QTest::newRow("file in A") << QStringLiteral("A") << true;
    QTest::newRow("file in A\\B") << QStringLiteral("A\\B") << true;
    QTest::newRow("file in AB") << QStringLiteral("AB") << false;
    QTest::newRow("file in XA") << QStringLiteral("X\\A") << false;
}

void GroupTreeTest::deleteRefusedOnlyByOwnFiles()
{
    QFETCH(QString, fileGroup);
    QFETCH(bool, refused);
    TestHome home;
    DataStore& s = home.store();
    GroupTree t(s, home.context().protectedGroups);
    QVERIFY(t.load());
    KV_CHECK(t.add(0, QStringLiteral("A")));
    KV_CHECK(t.add(idOf(t, "A"), QStringLiteral("B")));
    KV_CHECK(t.add(0, QStringLiteral("AB")));
    KV_CHECK(t.add(0, QStringLiteral("X")));
    KV_CHECK(t.add(idOf(t, "X"), QStringLiteral("A")));
    if (!fileGroup.isEmpty())
        addFile(s, QStringLiteral("f"), fileGroup);

    const GroupTree::Result r = t.remove(idOf(t, "A"));
    if (refused) {
        QCOMPARE(r.kind, Kind::Refused);
        QCOMPARE(r.message, QStringLiteral("该分组目录下已经有文件存在, 禁止删除 "));
        QCOMPARE(order(t), (QStringList{"A", "A\\B", "AB", "X", "X\\A"}));
    } else {
        QVERIFY2(r, qPrintable(r.message));
        QCOMPARE(order(t), (QStringList{"AB", "X", "X\\A"}));
        QCOMPARE(r.id, 0);  // the parent, the root
    }
    QCOMPARE(rewriteFault(s, t), QString());
    // File records are never touched by a deletion.
    QCOMPARE(valueOf(s, QStringLiteral("select count(*) from wj")).toInt(), fileGroup.isEmpty() ? 0 : 1);
}

void GroupTreeTest::moveAmongSiblings()
{
    TestHome home;
    DataStore& s = home.store();
    GroupTree t(s, home.context().protectedGroups);
    QVERIFY(t.load());
    build(t);
    addFile(s, QStringLiteral("f"), QStringLiteral("B\\B1"));

    // B passes A, keeping its sub-tree.
    GroupTree::Result r = t.moveUp(idOf(t, "B"));
    QVERIFY2(r, qPrintable(r.message));
    QCOMPARE(order(t), (QStringList{"B", "B\\B1", "A", "A\\A1", "A\\A2"}));
    QCOMPARE(r.id, 1);
    QCOMPARE(rewriteFault(s, t), QString());
    // At the first or last place nothing moves and nothing is written.
    s.failNextStatements(1, QStringLiteral("wjfz"));
    QCOMPARE(t.moveUp(idOf(t, "B")).kind, Kind::Unchanged);
    s.failNextStatements(0);
    QCOMPARE(t.moveDown(idOf(t, "A\\A2")).kind, Kind::Unchanged);
    QCOMPARE(t.moveUp(idOf(t, "A\\A1")).kind, Kind::Unchanged);
    // A sub-group moves among its siblings only.
    r = t.moveDown(idOf(t, "A\\A1"));
    QVERIFY(r);
    QCOMPARE(order(t), (QStringList{"B", "B\\B1", "A", "A\\A2", "A\\A1"}));
    QCOMPARE(rewriteFault(s, t), QString());
    // Moving changes no path.
    QCOMPARE(valueOf(s, QStringLiteral("select fz from wj")).toString(), QStringLiteral("B\\B1"));
}

void GroupTreeTest::moveStopsAtProtectedNeighbour()
{
    TestHome home;
    DataStore& s = home.store();
    GroupTree t(s, home.context().protectedGroups);
    QVERIFY(t.load());
    KV_CHECK(t.add(0, QStringLiteral("X")));
    KV_CHECK(t.add(0, QStringLiteral("P")));
    KV_CHECK(t.add(0, QStringLiteral("Y")));
    QVERIFY(t.setPassword(idOf(t, "P"), {}, QStringLiteral("pw")));
    const QList<Row> before = rows(s);

    GroupTree::Result r = t.moveUp(idOf(t, "Y"));
    QCOMPARE(r.kind, Kind::Refused);
    QCOMPARE(r.message, QStringLiteral("上层遇到加密分组，移动被中止!"));
    r = t.moveDown(idOf(t, "X"));
    QCOMPARE(r.kind, Kind::Refused);
    QCOMPARE(r.message, QStringLiteral("下层遇到加密分组，移动被中止!"));
    QCOMPARE(rows(s), before);
    QCOMPARE(order(t), (QStringList{"X", "P", "Y"}));
    // The protected group itself may move.
    QVERIFY(t.moveUp(idOf(t, "P")));
    QCOMPARE(order(t), (QStringList{"P", "X", "Y"}));
    QCOMPARE(rewriteFault(s, t), QString());
}

void GroupTreeTest::failedRewriteLeavesTable_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("message");
    const QString clear = QStringLiteral("清空失败");
    const QString save = QStringLiteral("保存失败!");
    for (const char* op : {"add", "rename", "delete", "move"}) {
        QTest::addRow("%s, emptying fails", op) << op << "delete" << clear;
        QTest::addRow("%s, an insert in the middle fails", op) << op << "trigger" << save;
        QTest::addRow("%s, the first insert fails", op) << op << "insert" << save;
        QTest::addRow("%s, commit fails", op) << op << "commit" << save;
    }
    QTest::addRow("rename, the files' update fails") << "rename"
                                                     << "files" << save;
}

void GroupTreeTest::failedRewriteLeavesTable()
{
    QFETCH(QString, operation);
    QFETCH(QString, failure);
    QFETCH(QString, message);
    TestHome home;
    DataStore& s = home.store();
    GroupTree t(s, home.context().protectedGroups);
    QVERIFY(t.load());
    build(t);
    QVERIFY(t.setPassword(idOf(t, "B\\B1"), {}, QStringLiteral("pw")));
    addFile(s, QStringLiteral("f"), QStringLiteral("A\\A1"));
    const QList<Row> before = rows(s);
    const QStringList shown = order(t);

    if (failure == QLatin1String("delete"))
        s.failNextStatements(1, QStringLiteral("delete from wjfz"));
    else if (failure == QLatin1String("insert"))
        s.failNextStatements(1, QStringLiteral("insert into wjfz"));
    else if (failure == QLatin1String("files"))
        s.failNextStatements(1, QStringLiteral("update wj set fz"));
    else if (failure == QLatin1String("commit"))
        s.failNextStatements(1, QStringLiteral("COMMIT"));
    else  // the third row written refuses: two rows are in when it fails
        QVERIFY(s.execute(
            QStringLiteral("create trigger refuse before insert on wjfz when new.xmmc in ('A2','A1')"
                           " and (select count(*) from wjfz) >= 2 begin select raise(abort, 'refused'); end")));

    GroupTree::Result r;
    if (operation == QLatin1String("add"))
        r = t.add(idOf(t, "A"), QStringLiteral("new"));
    else if (operation == QLatin1String("rename"))
        r = t.rename(idOf(t, "A"), QStringLiteral("C"));
    else if (operation == QLatin1String("delete"))
        r = t.remove(idOf(t, "B"));
    else
        r = t.moveUp(idOf(t, "B"));
    s.failNextStatements(0);
    QVERIFY(!s.inTransaction());
    QCOMPARE(r.kind, Kind::Failed);
    QCOMPARE(r.message, message);
    QCOMPARE(rows(s), before);
    // The tree in memory is the table again.
    QCOMPARE(order(t), shown);
    QCOMPARE(rewriteFault(s, t), QString());
    QCOMPARE(valueOf(s, QStringLiteral("select fz from wj")).toString(), QStringLiteral("A\\A1"));
    // And the next change goes through.
    KV_CHECK(s.execute(QStringLiteral("drop trigger if exists refuse")));
    QVERIFY(t.moveDown(idOf(t, "A")));
    QCOMPARE(rewriteFault(s, t), QString());
}

void GroupTreeTest::nameRules_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty") << QString() << QString() << QStringLiteral("分组名不能为空!");
    QTest::newRow("blanks") << QStringLiteral("   ") << QString() << QStringLiteral("分组名不能只由空格组成!");
    QTest::newRow("full-width blank") << QStringLiteral("\u3000") << QString()
                                      << QStringLiteral("分组名不能只由空格组成!");
    QTest::newRow("backslash") << QStringLiteral("a\\b") << QString() << GroupTree::BadCharacter;
    QTest::newRow("slash") << QStringLiteral("a/b") << QString() << GroupTree::BadCharacter;
    QTest::newRow("line break") << QStringLiteral("a\nb") << QString() << GroupTree::BadCharacter;
    QTest::newRow("dot dot") << QStringLiteral("..") << QString() << GroupTree::DotName;
    QTest::newRow("sibling") << QStringLiteral("A") << QString() << GroupTree::duplicateName(QStringLiteral("A"));
    QTest::newRow("sibling below") << QStringLiteral("S") << QStringLiteral("A")
                                   << GroupTree::duplicateName(QStringLiteral("S"));
    QTest::newRow("same name elsewhere") << QStringLiteral("S") << QString() << QString();
    QTest::newRow("case differs") << QStringLiteral("a") << QString() << QString();
    QTest::newRow("quote") << QStringLiteral("O'Brien") << QString() << QString();
    QTest::newRow("percent") << QStringLiteral("100%") << QString() << QString();
    QTest::newRow("underscore") << QStringLiteral("a_b") << QStringLiteral("A") << QString();
    QTest::newRow("inner blanks") << QStringLiteral(" x y ") << QString() << QString();
}

void GroupTreeTest::nameRules()
{
    QFETCH(QString, name);
    QFETCH(QString, parent);
    QFETCH(QString, message);
    TestHome home;
    DataStore& s = home.store();
    GroupTree t(s, home.context().protectedGroups);
    QVERIFY(t.load());
    KV_CHECK(t.add(0, QStringLiteral("A")));
    KV_CHECK(t.add(idOf(t, "A"), QStringLiteral("S")));
    KV_CHECK(t.add(0, QStringLiteral("Z")));
    const qint64 parentId = idOf(t, parent.toUtf8().constData());
    const QList<Row> before = rows(s);

    const GroupTree::Result added = t.add(parentId, name);
    if (message.isEmpty()) {
        QVERIFY2(added, qPrintable(added.message));
        QCOMPARE(t.find(added.id)->path(), GroupPath::child(parent, name));
        QCOMPARE(rewriteFault(s, t), QString());
        return;
    }
    QCOMPARE(added.kind, Kind::Refused);
    QCOMPARE(added.message, message);
    QCOMPARE(rows(s), before);
    // Renaming follows the same rules; a group keeps its own name freely.
    const qint64 z = parent.isEmpty() ? idOf(t, "Z") : -1;
    if (z > 0) {
        const GroupTree::Result renamed = t.rename(z, name);
        QCOMPARE(renamed.kind, Kind::Refused);
        QCOMPARE(renamed.message, message);
        QCOMPARE(rows(s), before);
    }
}

void GroupTreeTest::selectingGroupFindsItsFilesOnly_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("other");
    QTest::newRow("prefix") << QStringLiteral("A") << QStringLiteral("AB");
    QTest::newRow("percent") << QStringLiteral("5%") << QStringLiteral("5%5");
    QTest::newRow("underscore") << QStringLiteral("a_") << QStringLiteral("ab");
    QTest::newRow("quote") << QStringLiteral("O'B") << QStringLiteral("O'Bx");
    QTest::newRow("bracket after") << QStringLiteral("A") << QStringLiteral("A]");
    QTest::newRow("bracket before") << QStringLiteral("A") << QStringLiteral("A[");
    QTest::newRow("chinese") << QStringLiteral("档案") << QStringLiteral("档案馆");
}

void GroupTreeTest::selectingGroupFindsItsFilesOnly()
{
    QFETCH(QString, name);
    QFETCH(QString, other);
    TestHome home;
    DataStore& s = home.store();
    GroupTree t(s, home.context().protectedGroups);
    QVERIFY(t.load());
    QVERIFY(t.add(0, name));
    QVERIFY(t.add(0, other));
    QVERIFY(t.add(t.findPath(name)->id, QStringLiteral("B")));
    QVERIFY(t.add(t.findPath(other)->id, name));
    addFile(s, QStringLiteral("1 own"), name);
    addFile(s, QStringLiteral("2 sub"), name + QStringLiteral("\\B"));
    addFile(s, QStringLiteral("3 other"), other);
    addFile(s, QStringLiteral("4 other's sub"), other + QStringLiteral("\\") + name);

    const GroupTree::Filter f = t.filterFor(t.findPath(name)->id);
    QVERIFY(f.allowed);
    QCOMPARE(listed(s, f.clause), (QStringList{"1 own", "2 sub"}));
    QCOMPARE(listed(s, t.filterFor(t.findPath(name + QStringLiteral("\\B"))->id).clause), QStringList{"2 sub"});
    QCOMPARE(listed(s, t.filterFor(0).clause).size(), 4);
    // Deleting the group is refused by its own files, not by the other's.
    QCOMPARE(t.remove(t.findPath(name)->id).kind, Kind::Refused);
    KV_CHECK(s.execute(QStringLiteral("delete from wj where mc in ('1 own','2 sub')")));
    QVERIFY(t.remove(t.findPath(name)->id));
}

void GroupTreeTest::orphansAndCyclesSitUnderRoot()
{
    TestHome home;
    DataStore& s = home.store();
    const QVariantList table[] = {
        {1, 0, "A"},    {2, 99, "Orphan"}, {3, 4, "C"},    {4, 3, "D"},
        {5, 5, "Self"}, {6, 1, "A1"},      {7, 9, "late"}, {9, 1, "A9"},
    };
    for (const QVariantList& r : table)
        QVERIFY(s.execute(QStringLiteral("insert into wjfz(id,fxmid,xmmc,tpid,xztp,mm) values (?,?,?,1,2,'')"), r));
    GroupTree t(s, home.context().protectedGroups);
    QVERIFY(t.load());
    QCOMPARE(order(t), (QStringList{"A", "A\\A1", "A\\A9", "A\\A9\\late", "Orphan", "C", "C\\D", "Self"}));
    // The paths others read agree with the tree.
    QList<GroupPath::Group> groups;
    QVERIFY(GroupPath::loadGroups(s, &groups));
    QStringList paths;
    for (const GroupPath::Group& g : groups)
        paths << g.path;
    QCOMPARE(paths, (QStringList{"A", "Orphan", "C", "C\\D", "Self", "A\\A1", "A\\A9\\late", "A\\A9"}));
    // A rewrite keeps every group.
    QVERIFY(t.moveDown(t.findPath(QStringLiteral("A"))->id));
    QCOMPARE(rewriteFault(s, t), QString());
    QCOMPARE(t.groupCount(), 8);
}

KV_REGISTER_TEST(GroupTreeTest)
#include "GroupTreeTest.moc"
