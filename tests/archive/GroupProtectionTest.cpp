#include "common/TestHome.h"
#include "common/TestRegistry.h"
#include "archive/GroupPath.h"
#include "archive/GroupTree.h"
#include "archive/GroupTestSupport.h"
#include "archive/ProtectedGroups.h"
#include "store/PasswordHash.h"

#include <QTest>

using namespace GroupTestSupport;
using Kind = GroupTree::Result::Kind;

class GroupProtectionTest : public QObject {
    Q_OBJECT
private slots:
    void setPasswordStoresHashAndPadlock();
    void wrongOldPasswordChangesNothing();
    void accessPassword();
    void clearedPasswordOpensWithoutPrompt();
    void closedSubgroupAbsentFromParentList();
    void rootRefusedWhileAnyGroupProtected();
    void restartClosesEveryGroup();
    void closedPathsFailClosed();
    void renamedOpenGroupStaysOpen();
    void deletedOpenGroupDoesNotReopen();
    void failedPasswordUpdateChangesNothing();
};

namespace {

qint64 idOf(const GroupTree& t, const QString& path)
{
    const GroupTree::Node* n = t.findPath(path);
    return n ? n->id : -1;
}

Row rowOf(DataStore& s, qint64 id)
{
    for (const Row& r : rows(s))
        if (r.id == id)
            return r;
    return {};
}

}  // namespace

void GroupProtectionTest::setPasswordStoresHashAndPadlock()
{
    TestHome home;
    DataStore& s = home.store();
    GroupTree t(s, home.context().protectedGroups);
    QVERIFY(t.load());
    KV_CHECK(t.add(0, QStringLiteral("P")));
    const qint64 p = idOf(t, QStringLiteral("P"));

    const GroupTree::Result r = t.setPassword(p, {}, QStringLiteral("s3cret'%"));
    QVERIFY2(r, qPrintable(r.message));
    QCOMPARE(r.message, QStringLiteral("密码修改成功!"));
    const Row row = rowOf(s, p);
    QVERIFY(PasswordHash::isHash(row.mm));
    QVERIFY(!row.mm.contains(QStringLiteral("s3cret")));
    QVERIFY(PasswordHash::verify(row.mm, QStringLiteral("s3cret'%")));
    QCOMPARE(row.image, 3);
    QCOMPARE(row.selected, 4);
    QCOMPARE(t.find(p)->image, 3);
    QCOMPARE(t.find(p)->selectedImage, 4);
    QVERIFY(t.isClosed(p));
    // A later rewrite keeps hash and images.
    KV_CHECK(t.add(0, QStringLiteral("Q")));
    QCOMPARE(rowOf(s, p).mm, row.mm);
    QCOMPARE(rowOf(s, p).image, 3);
    // Changing it needs the old one.
    QVERIFY(t.setPassword(p, QStringLiteral("s3cret'%"), QStringLiteral("new")));
    QVERIFY(PasswordHash::verify(rowOf(s, p).mm, QStringLiteral("new")));
}

void GroupProtectionTest::wrongOldPasswordChangesNothing()
{
    TestHome home;
    DataStore& s = home.store();
    GroupTree t(s, home.context().protectedGroups);
    QVERIFY(t.load());
    KV_CHECK(t.add(0, QStringLiteral("P")));
    const qint64 p = idOf(t, QStringLiteral("P"));
    // A group without a password takes only the empty old password.
    GroupTree::Result r = t.setPassword(p, QStringLiteral("x"), QStringLiteral("pw"));
    QCOMPARE(r.kind, Kind::Refused);
    QCOMPARE(r.message, QStringLiteral("旧密码不对!"));
    QCOMPARE(rowOf(s, p).mm, QString());
    QVERIFY(t.setPassword(p, {}, QStringLiteral("pw")));
    const Row before = rowOf(s, p);
    for (const QString& wrong : {QString(), QStringLiteral("PW"), QStringLiteral("pw "), QStringLiteral("p")}) {
        r = t.setPassword(p, wrong, QString());
        QCOMPARE(r.kind, Kind::Refused);
        QCOMPARE(r.message, QStringLiteral("旧密码不对!"));
        QCOMPARE(rowOf(s, p), before);
        QCOMPARE(t.checkOldPassword(p, wrong).kind, Kind::Refused);
    }
    QVERIFY(t.checkOldPassword(p, QStringLiteral("pw")));
}

void GroupProtectionTest::accessPassword()
{
    TestHome home;
    DataStore& s = home.store();
    ProtectedGroups& open = home.context().protectedGroups;
    GroupTree t(s, open);
    QVERIFY(t.load());
    KV_CHECK(t.add(0, QStringLiteral("P")));
    const qint64 p = idOf(t, QStringLiteral("P"));
    QVERIFY(t.setPassword(p, {}, QStringLiteral("pw")));
    addFile(s, QStringLiteral("secret"), QStringLiteral("P"));

    GroupTree::Filter f = t.filterFor(p);
    QVERIFY(!f.allowed);
    QCOMPARE(f.message, QStringLiteral("你选择了加密分组，但该分组并未打开！ 双击打开或选择其他未加密分组。"));
    QCOMPARE(listed(s, f.clause), QStringList());

    GroupTree::Result r = t.open(p, QStringLiteral("PW"));
    QCOMPARE(r.kind, Kind::Refused);
    QCOMPARE(r.message, QStringLiteral("密码错误! 访问被拒绝."));
    QVERIFY(t.isClosed(p));
    QVERIFY(!open.isOpen(QStringLiteral("P")));

    QVERIFY(t.open(p, QStringLiteral("pw")));
    QVERIFY(!t.isClosed(p));
    QVERIFY(open.isOpen(QStringLiteral("P")));
    f = t.filterFor(p);
    QVERIFY(f.allowed);
    QCOMPARE(listed(s, f.clause), QStringList{"secret"});
    // A new password closes the group again.
    QVERIFY(t.setPassword(p, QStringLiteral("pw"), QStringLiteral("other")));
    QVERIFY(t.isClosed(p));
    QCOMPARE(t.open(p, QStringLiteral("pw")).kind, Kind::Refused);
    QVERIFY(t.open(p, QStringLiteral("other")));
}

void GroupProtectionTest::clearedPasswordOpensWithoutPrompt()
{
    TestHome home;
    DataStore& s = home.store();
    GroupTree t(s, home.context().protectedGroups);
    QVERIFY(t.load());
    KV_CHECK(t.add(0, QStringLiteral("P")));
    const qint64 p = idOf(t, QStringLiteral("P"));
    QVERIFY(t.setPassword(p, {}, QStringLiteral("pw")));
    QVERIFY(t.setPassword(p, QStringLiteral("pw"), QString()));
    const Row row = rowOf(s, p);
    QCOMPARE(row.mm, QString());
    QCOMPARE(row.image, 1);
    QCOMPARE(row.selected, 2);
    QVERIFY(!t.find(p)->isProtected());
    QVERIFY(!t.isClosed(p));
    QVERIFY(t.closedChain(p).isEmpty());
    QVERIFY(t.filterFor(p).allowed);
    QVERIFY(t.filterFor(0).allowed);
}

void GroupProtectionTest::closedSubgroupAbsentFromParentList()
{
    TestHome home;
    DataStore& s = home.store();
    GroupTree t(s, home.context().protectedGroups);
    QVERIFY(t.load());
    KV_CHECK(t.add(0, QStringLiteral("P")));
    KV_CHECK(t.add(idOf(t, QStringLiteral("P")), QStringLiteral("S")));
    KV_CHECK(t.add(idOf(t, QStringLiteral("P")), QStringLiteral("T")));
    KV_CHECK(t.add(idOf(t, QStringLiteral("P\\S")), QStringLiteral("U")));
    KV_CHECK(t.add(0, QStringLiteral("PS")));
    addFile(s, QStringLiteral("p"), QStringLiteral("P"));
    addFile(s, QStringLiteral("s"), QStringLiteral("P\\S"));
    addFile(s, QStringLiteral("t"), QStringLiteral("P\\T"));
    addFile(s, QStringLiteral("u"), QStringLiteral("P\\S\\U"));
    addFile(s, QStringLiteral("ps"), QStringLiteral("PS"));
    QVERIFY(t.setPassword(idOf(t, QStringLiteral("P\\S")), {}, QStringLiteral("pw")));

    GroupTree::Filter f = t.filterFor(idOf(t, QStringLiteral("P")));
    QVERIFY(f.allowed);
    QCOMPARE(listed(s, f.clause), (QStringList{"p", "t"}));
    // A group inside the closed one is closed with it.
    f = t.filterFor(idOf(t, QStringLiteral("P\\S\\U")));
    QVERIFY(!f.allowed);
    QCOMPARE(f.message, GroupTree::NotOpen);
    QCOMPARE(listed(s, f.clause), QStringList());
    QCOMPARE(t.closedChain(idOf(t, QStringLiteral("P\\S\\U"))).size(), 1);
    // The list's own exclusion agrees, and a group beside it is untouched.
    QCOMPARE(home.context().protectedGroups.closedPaths(s), QStringList{"P\\S"});
    QVERIFY(home.context().protectedGroups.isHidden(s, QStringLiteral("P\\S\\U")));
    QVERIFY(!home.context().protectedGroups.isHidden(s, QStringLiteral("PS")));
    QCOMPARE(listed(s, t.filterFor(idOf(t, QStringLiteral("PS"))).clause), QStringList{"ps"});

    QVERIFY(t.open(idOf(t, QStringLiteral("P\\S")), QStringLiteral("pw")));
    QCOMPARE(listed(s, t.filterFor(idOf(t, QStringLiteral("P"))).clause), (QStringList{"p", "s", "t", "u"}));
    QCOMPARE(listed(s, t.filterFor(idOf(t, QStringLiteral("P\\S\\U"))).clause), QStringList{"u"});
}

void GroupProtectionTest::rootRefusedWhileAnyGroupProtected()
{
    TestHome home;
    DataStore& s = home.store();
    GroupTree t(s, home.context().protectedGroups);
    QVERIFY(t.load());
    KV_CHECK(t.add(0, QStringLiteral("A")));
    KV_CHECK(t.add(0, QStringLiteral("P")));
    addFile(s, QStringLiteral("a"), QStringLiteral("A"));
    addFile(s, QStringLiteral("p"), QStringLiteral("P"));
    QCOMPARE(listed(s, t.filterFor(0).clause), (QStringList{"a", "p"}));
    QVERIFY(t.setPassword(idOf(t, QStringLiteral("P")), {}, QStringLiteral("pw")));
    GroupTree::Filter f = t.filterFor(0);
    QVERIFY(!f.allowed);
    QCOMPARE(f.message, QStringLiteral("遇到加密分组，全部显示已禁止，请选择未加密分组!"));
    QCOMPARE(listed(s, f.clause), QStringList());
    // Opening it does not lift the rule: the group still has a password.
    QVERIFY(t.open(idOf(t, QStringLiteral("P")), QStringLiteral("pw")));
    QVERIFY(!t.filterFor(0).allowed);
    // Nor can a failed read let the full list through.
    QVERIFY(t.setPassword(idOf(t, QStringLiteral("P")), QStringLiteral("pw"), {}));
    s.failNextStatements(1, QStringLiteral("mm<>''"));
    QVERIFY(!t.filterFor(0).allowed);
}

void GroupProtectionTest::restartClosesEveryGroup()
{
    TestHome home;
    DataStore& s = home.store();
    {
        GroupTree t(s, home.context().protectedGroups);
        QVERIFY(t.load());
        KV_CHECK(t.add(0, QStringLiteral("P")));
        KV_CHECK(t.add(idOf(t, QStringLiteral("P")), QStringLiteral("Q")));
        QVERIFY(t.setPassword(idOf(t, QStringLiteral("P")), {}, QStringLiteral("pw")));
        QVERIFY(t.setPassword(idOf(t, QStringLiteral("P\\Q")), {}, QStringLiteral("pw2")));
        QVERIFY(t.open(idOf(t, QStringLiteral("P")), QStringLiteral("pw")));
        QVERIFY(t.open(idOf(t, QStringLiteral("P\\Q")), QStringLiteral("pw2")));
        QVERIFY(home.context().protectedGroups.closedPaths(s).isEmpty());
    }
    // A new run: a new context over the same program folder and database.
    AppContext restarted(home.folder());
    DataStore again;
    QVERIFY(again.open(home.databasePath()));
    GroupTree t(again, restarted.protectedGroups);
    QVERIFY(t.load());
    QVERIFY(t.isClosed(t.findPath(QStringLiteral("P"))->id));
    QVERIFY(t.isClosed(t.findPath(QStringLiteral("P\\Q"))->id));
    QCOMPARE(restarted.protectedGroups.closedPaths(again), (QStringList{"P", "P\\Q"}));
    // Nothing about opening was stored.
    for (const Row& r : rows(again))
        QVERIFY(PasswordHash::isHash(r.mm));
}

void GroupProtectionTest::closedPathsFailClosed()
{
    TestHome home;
    DataStore& s = home.store();
    addFile(s, QStringLiteral("a"), QStringLiteral("A"));
    addFile(s, QStringLiteral("root"), QString());
    ProtectedGroups open;
    s.failNextStatements(1, QStringLiteral("from wjfz"));
    QStringList closed;
    QVERIFY(!open.readClosedPaths(s, &closed));
    QCOMPARE(closed, QStringList{QString()});
    // The root's path stands for every group: nothing is listed.
    QCOMPARE(listed(s, FilterClause::everything().excludingGroups(closed)), QStringList());
    s.failNextStatements(1, QStringLiteral("from wjfz"));
    QVERIFY(open.isHidden(s, QStringLiteral("A")));
    // Read again, nothing is closed.
    QVERIFY(open.readClosedPaths(s, &closed));
    QVERIFY(closed.isEmpty());
    QCOMPARE(listed(s, FilterClause::everything().excludingGroups(closed)), (QStringList{"a", "root"}));
}

void GroupProtectionTest::renamedOpenGroupStaysOpen()
{
    TestHome home;
    DataStore& s = home.store();
    GroupTree t(s, home.context().protectedGroups);
    QVERIFY(t.load());
    KV_CHECK(t.add(0, QStringLiteral("P")));
    KV_CHECK(t.add(idOf(t, QStringLiteral("P")), QStringLiteral("S")));
    QVERIFY(t.setPassword(idOf(t, QStringLiteral("P\\S")), {}, QStringLiteral("pw")));
    addFile(s, QStringLiteral("s"), QStringLiteral("P\\S"));
    QVERIFY(t.open(idOf(t, QStringLiteral("P\\S")), QStringLiteral("pw")));
    QVERIFY(t.rename(idOf(t, QStringLiteral("P")), QStringLiteral("R")));
    QVERIFY(!t.isClosed(idOf(t, QStringLiteral("R\\S"))));
    QCOMPARE(listed(s, t.filterFor(idOf(t, QStringLiteral("R"))).clause), QStringList{"s"});
    // The old path opens nothing.
    QVERIFY(!home.context().protectedGroups.isOpen(QStringLiteral("P\\S")));
}

void GroupProtectionTest::deletedOpenGroupDoesNotReopen()
{
    TestHome home;
    DataStore& s = home.store();
    GroupTree t(s, home.context().protectedGroups);
    QVERIFY(t.load());
    KV_CHECK(t.add(0, QStringLiteral("P")));
    QVERIFY(t.setPassword(idOf(t, QStringLiteral("P")), {}, QStringLiteral("pw")));
    QVERIFY(t.open(idOf(t, QStringLiteral("P")), QStringLiteral("pw")));
    QVERIFY(t.remove(idOf(t, QStringLiteral("P"))));
    // Someone else makes a group of the same name and protects it.
    KV_CHECK(t.add(0, QStringLiteral("P")));
    QVERIFY(t.setPassword(idOf(t, QStringLiteral("P")), {}, QStringLiteral("theirs")));
    QVERIFY(t.isClosed(idOf(t, QStringLiteral("P"))));
}

void GroupProtectionTest::failedPasswordUpdateChangesNothing()
{
    TestHome home;
    DataStore& s = home.store();
    GroupTree t(s, home.context().protectedGroups);
    QVERIFY(t.load());
    KV_CHECK(t.add(0, QStringLiteral("P")));
    const qint64 p = idOf(t, QStringLiteral("P"));
    const Row before = rowOf(s, p);
    s.failNextStatements(1, QStringLiteral("update wjfz"));
    const GroupTree::Result r = t.setPassword(p, {}, QStringLiteral("pw"));
    QCOMPARE(r.kind, Kind::Failed);
    QCOMPARE(r.message, QStringLiteral("密码修改失败! "));
    QCOMPARE(rowOf(s, p), before);
    QVERIFY(!t.find(p)->isProtected());
    QCOMPARE(t.find(p)->image, 1);
}

KV_REGISTER_TEST(GroupProtectionTest)
#include "GroupProtectionTest.moc"
