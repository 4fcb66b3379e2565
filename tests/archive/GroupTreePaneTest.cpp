#include "common/ScriptedPrompter.h"
#include "common/TestHome.h"
#include "common/TestRegistry.h"
#include "archive/GroupTestSupport.h"
#include "archive/GroupTree.h"
#include "archive/ui/GroupChooserDialog.h"
#include "archive/ui/GroupTreePane.h"
#include "shell/CommandRouter.h"
#include "shell/Commands.h"
#include "store/PasswordHash.h"

#include <QLabel>
#include <QPainter>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace GroupTestSupport;

class GroupTreePaneTest : public QObject {
    Q_OBJECT
private slots:
    void showsTreeWithImages();
    void addRenameDeleteThroughWindows();
    void failedRenameKeepsTreeAndTable();
    void operatorWithoutRightGetsNoWindow();
    void moveAndExpandCommands();
    void selectingAndOpeningProtectedGroup();
    void passwordWindow();
    void chooserNeedsPasswordForClosedGroup();
    void unreadableTreeIsSaidNotShownEmpty();
    void closedGroupNotRenamedNorDeleted_data();
    void closedGroupNotRenamedNorDeleted();
};

namespace {

// A pane shown on screen with a router and a recorder of what the list got.
struct Rig {
    TestHome home;
    FakeWorkspace workspace;
    std::unique_ptr<GroupTreePane> panePtr = makeTreePane(home.context(), home.store());
    GroupTreePane& pane = *panePtr;
    CommandRouter router{&home.context().currentOperator};
    QList<FilterClause> offered;

    Rig()
    {
        wireTree(router, pane, workspace);
        QObject::connect(&pane, &GroupTreePane::filterChanged, [this](const FilterClause& c) { offered.append(c); });
        pane.resize(264, 420);
        pane.show();
    }
    // Groups made through a second service, as another window would.
    void make(const QString& parent, const QString& name, const QString& password = {})
    {
        GroupTree t(home.store(), home.context().protectedGroups);
        t.load().ok();
        const GroupTree::Result r = t.add(t.findPath(parent)->id, name);
        if (!password.isEmpty())
            KV_CHECK(t.setPassword(r.id, {}, password));
    }
    QTreeWidgetItem* item(const QString& path) const
    {
        const GroupTree::Node* n = const_cast<GroupTreePane&>(pane).groups().findPath(path);
        return n ? pane.itemOf(n->id) : nullptr;
    }
    void click(const QString& path)
    {
        QTreeWidgetItem* it = item(path);
        QVERIFY(it);
        pane.scrollToItem(it);
        QTest::mouseClick(pane.viewport(), Qt::LeftButton, {}, pane.visualItemRect(it).center());
    }
    // A double-click as the mouse gives it: a press and release, then the second press.
    void doubleClick(const QString& path)
    {
        QTreeWidgetItem* it = item(path);
        QVERIFY(it);
        const QPoint at = pane.visualItemRect(it).center();
        QTest::mouseClick(pane.viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(pane.viewport(), Qt::LeftButton, {}, at);
    }
    QStringList lastListed()
    {
        return offered.isEmpty() ? QStringList{"<none>"} : listed(home.store(), offered.last());
    }
};

bool sameImage(const QIcon& icon, int index, QIcon::Mode mode = QIcon::Normal)
{
    return icon.pixmap(16, 16, mode).toImage().convertToFormat(QImage::Format_ARGB32)
        == GroupTreePane::images().at(index).toImage().convertToFormat(QImage::Format_ARGB32);
}

template <typename T> T* unit(QWidget* w, const char* name)
{
    return w->findChild<T*>(QString::fromUtf8(name));
}

}  // namespace

void GroupTreePaneTest::showsTreeWithImages()
{
    Rig rig;
    rig.make({}, QStringLiteral("行政"));
    rig.make(QStringLiteral("行政"), QStringLiteral("合同"));
    rig.make(QStringLiteral("行政"), QStringLiteral("档案"), QStringLiteral("pw"));
    rig.make({}, QStringLiteral("财务"));
    QVERIFY(rig.pane.reload());
    QCOMPARE(rig.pane.objectName(), QStringLiteral("树型框1"));
    QCOMPARE(rig.pane.topLevelItemCount(), 1);
    QTreeWidgetItem* root = rig.pane.topLevelItem(0);
    QCOMPARE(root->text(0), QStringLiteral("文件服务器"));
    QCOMPARE(root->childCount(), 2);
    QCOMPARE(root->child(0)->text(0), QStringLiteral("行政"));
    QCOMPARE(root->child(0)->child(1)->text(0), QStringLiteral("档案"));
    QVERIFY(sameImage(root->icon(0), 0));
    QVERIFY(sameImage(rig.item(QStringLiteral("财务"))->icon(0), 1));
    QVERIFY(sameImage(rig.item(QStringLiteral("财务"))->icon(0), 2, QIcon::Selected));
    QVERIFY(sameImage(rig.item(QStringLiteral("行政\\档案"))->icon(0), 3));
    QVERIFY(sameImage(rig.item(QStringLiteral("行政\\档案"))->icon(0), 4, QIcon::Selected));
    // Five distinct pictures of 16 x 16.
    const QList<QPixmap>& images = GroupTreePane::images();
    QCOMPARE(images.size(), 5);
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(images[i].size(), QSize(16, 16));
        for (int j = 0; j < i; ++j)
            QVERIFY(images[i].toImage() != images[j].toImage());
    }
    rig.pane.expandAll();
    rig.pane.setIconSize(QSize(16, 16));
    TestHome::grab(&rig.pane, QStringLiteral("group-tree"));
    QLabel strip;
    QPixmap big(5 * 64 + 40, 72);
    big.fill(Qt::white);
    {
        QPainter g(&big);
        for (int i = 0; i < 5; ++i)
            g.drawPixmap(QRect(8 + i * 72, 4, 64, 64), images[i]);
    }
    strip.setPixmap(big);
    strip.resize(big.size());
    TestHome::grab(&strip, QStringLiteral("group-tree-images-x4"));
}

void GroupTreePaneTest::addRenameDeleteThroughWindows()
{
    Rig rig;
    ScriptedPrompter prompter;
    DataStore& s = rig.home.store();
    rig.pane.reload();
    rig.click(QString());

    whenModal(QStringLiteral("增加分组"), [&](QWidget* w) {
        QCOMPARE(w->windowTitle(), QStringLiteral("增加分组"));
        QCOMPARE(w->frameGeometry().size(), QSize(351, 148));
        QCOMPARE(unit<QLabel>(w, "标签1")->text(), QStringLiteral("新增分组："));
        QCOMPARE(unit<QLineEdit>(w, "编辑框1")->geometry(), QRect(96, 24, 184, 20));
        // An empty name is refused and the window stays.
        QTest::mouseClick(unit<QPushButton>(w, "确定按钮"), Qt::LeftButton);
        QCOMPARE(prompter.lastText(), QStringLiteral("分组名不能为空!"));
        QVERIFY(w->isVisible());
        type(unit<QLineEdit>(w, "编辑框1"), QStringLiteral("财务"));
        TestHome::grab(w, QStringLiteral("group-add-window"));
        QTest::mouseClick(unit<QPushButton>(w, "确定按钮"), Qt::LeftButton);
    });
    QCOMPARE(rig.router.run(QLatin1String(Cmd::TreeAddGroup)), CommandRouter::Outcome::Ran);
    QCOMPARE(rows(s).size(), 1);
    QCOMPARE(rows(s).at(0).name, QStringLiteral("财务"));
    QVERIFY(rig.item(QStringLiteral("财务")));
    QVERIFY(rig.pane.isRootSelected());

    rig.click(QStringLiteral("财务"));
    addFile(s, QStringLiteral("账本"), QStringLiteral("财务"));
    // A sub-group, then the group renamed: its files follow.
    whenModal(QStringLiteral("增加分组"), [&](QWidget* w) {
        type(unit<QLineEdit>(w, "编辑框1"), QStringLiteral("2026年"));
        QTest::mouseClick(unit<QPushButton>(w, "确定按钮"), Qt::LeftButton);
    });
    rig.router.run(QLatin1String(Cmd::TreeAddGroup));
    QVERIFY(rig.item(QStringLiteral("财务\\2026年")));
    QCOMPARE(rig.pane.selectedPath(), QStringLiteral("财务"));
    whenModal(QStringLiteral("增加分组"), [&](QWidget* w) {
        QCOMPARE(w->windowTitle(), QStringLiteral("修改分组"));
        QLineEdit* edit = unit<QLineEdit>(w, "编辑框1");
        QCOMPARE(edit->text(), QStringLiteral("财务"));
        edit->clear();
        type(edit, QStringLiteral("财务部"));
        QTest::mouseClick(unit<QPushButton>(w, "确定按钮"), Qt::LeftButton);
    });
    rig.offered.clear();
    rig.router.run(QLatin1String(Cmd::TreeRenameGroup));
    QCOMPARE(rig.pane.selectedPath(), QStringLiteral("财务部"));
    QVERIFY(rig.item(QStringLiteral("财务部\\2026年")));
    QCOMPARE(valueOf(s, QStringLiteral("select fz from wj")).toString(), QStringLiteral("财务部"));
    QCOMPARE(rig.lastListed(), QStringList{"账本"});
    QCOMPARE(rewriteFault(s, rig.pane.groups()), QString());

    // Deleting asks first; files refuse it.
    prompter.answerNo();
    rig.router.run(QLatin1String(Cmd::TreeDeleteGroup));
    QCOMPARE(prompter.lastText(), QStringLiteral("确认删除 '财务部' 分组吗?"));
    QCOMPARE(rows(s).size(), 2);
    prompter.answerYes();
    rig.router.run(QLatin1String(Cmd::TreeDeleteGroup));
    QCOMPARE(prompter.lastText(), QStringLiteral("该分组目录下已经有文件存在, 禁止删除 "));
    QCOMPARE(rows(s).size(), 2);
    KV_CHECK(s.execute(QStringLiteral("delete from wj")));
    prompter.answerYes();
    rig.router.run(QLatin1String(Cmd::TreeDeleteGroup));
    QCOMPARE(rows(s).size(), 0);
    QCOMPARE(rig.pane.topLevelItem(0)->childCount(), 0);
    QVERIFY(rig.pane.isRootSelected());
    // The root is no group to rename.
    rig.router.run(QLatin1String(Cmd::TreeRenameGroup));
    QCOMPARE(prompter.lastText(), GroupTree::NoGroupSelected);
    QCOMPARE(prompter.unexpected(), 0);
}

void GroupTreePaneTest::failedRenameKeepsTreeAndTable()
{
    Rig rig;
    ScriptedPrompter prompter;
    DataStore& s = rig.home.store();
    rig.make({}, QStringLiteral("A"));
    rig.make({}, QStringLiteral("B"));
    addFile(s, QStringLiteral("f"), QStringLiteral("A"));
    rig.pane.reload();
    rig.click(QStringLiteral("A"));
    const QList<Row> before = rows(s);
    bool closed = false;
    whenModal(QStringLiteral("增加分组"), [&](QWidget* w) {
        QLineEdit* edit = unit<QLineEdit>(w, "编辑框1");
        edit->clear();
        // A sibling's name is refused and the window stays.
        type(edit, QStringLiteral("B"));
        QTest::mouseClick(unit<QPushButton>(w, "确定按钮"), Qt::LeftButton);
        QCOMPARE(prompter.lastText(), GroupTree::duplicateName(QStringLiteral("B")));
        QVERIFY(w->isVisible());
        edit->clear();
        type(edit, QStringLiteral("C"));
        s.failNextStatements(1, QStringLiteral("insert into wjfz"));
        QTest::mouseClick(unit<QPushButton>(w, "确定按钮"), Qt::LeftButton);
        closed = !w->isVisible();
    });
    rig.router.run(QLatin1String(Cmd::TreeRenameGroup));
    QVERIFY(closed);
    QCOMPARE(prompter.lastText(), QStringLiteral("保存失败!"));
    QCOMPARE(rows(s), before);
    QVERIFY(rig.item(QStringLiteral("A")));
    QVERIFY(!rig.item(QStringLiteral("C")));
    QCOMPARE(rig.pane.selectedPath(), QStringLiteral("A"));
    QCOMPARE(valueOf(s, QStringLiteral("select fz from wj")).toString(), QStringLiteral("A"));
}

void GroupTreePaneTest::operatorWithoutRightGetsNoWindow()
{
    Rig rig;
    ScriptedPrompter prompter;
    rig.home.loginAs(QStringLiteral("clerk"), QStringLiteral("增加,修改"));
    QString denied;
    rig.router.setDeniedHandler([&](const QString& id) { denied = id; });
    for (const char* id : {Cmd::TreeAddGroup, Cmd::TreeRenameGroup, Cmd::TreeDeleteGroup, Cmd::TreeMoveUp,
                           Cmd::TreeMoveDown, Cmd::TreeSetPassword}) {
        QCOMPARE(rig.router.run(QLatin1String(id)), CommandRouter::Outcome::Denied);
        QCOMPARE(denied, QLatin1String(id));
    }
    QVERIFY(prompter.shown().isEmpty());
    QCOMPARE(rows(rig.home.store()).size(), 0);
}

void GroupTreePaneTest::moveAndExpandCommands()
{
    Rig rig;
    ScriptedPrompter prompter;
    rig.make({}, QStringLiteral("A"));
    rig.make({}, QStringLiteral("B"));
    rig.make(QStringLiteral("B"), QStringLiteral("B1"));
    rig.make({}, QStringLiteral("P"), QStringLiteral("pw"));
    rig.pane.reload();
    rig.click(QStringLiteral("B"));
    rig.router.run(QLatin1String(Cmd::TreeMoveUp));
    QCOMPARE(order(rig.pane.groups()), (QStringList{"B", "B\\B1", "A", "P"}));
    QCOMPARE(rig.pane.selectedPath(), QStringLiteral("B"));
    QCOMPARE(rig.pane.topLevelItem(0)->child(0)->text(0), QStringLiteral("B"));
    rig.router.run(QLatin1String(Cmd::TreeMoveUp));  // first place: nothing
    QVERIFY(prompter.shown().isEmpty());
    rig.click(QStringLiteral("A"));
    rig.router.run(QLatin1String(Cmd::TreeMoveDown));
    QCOMPARE(prompter.lastText(), QStringLiteral("下层遇到加密分组，移动被中止!"));
    QCOMPARE(order(rig.pane.groups()), (QStringList{"B", "B\\B1", "A", "P"}));
    QCOMPARE(rewriteFault(rig.home.store(), rig.pane.groups()), QString());

    rig.router.run(QLatin1String(Cmd::TreeCollapseAll));
    for (QTreeWidgetItemIterator it(&rig.pane); *it; ++it)
        QVERIFY(!(*it)->isExpanded());
    rig.router.run(QLatin1String(Cmd::TreeExpandAll));
    for (QTreeWidgetItemIterator it(&rig.pane); *it; ++it)
        QVERIFY((*it)->childCount() == 0 || (*it)->isExpanded());
}

void GroupTreePaneTest::selectingAndOpeningProtectedGroup()
{
    Rig rig;
    ScriptedPrompter prompter;
    DataStore& s = rig.home.store();
    rig.make({}, QStringLiteral("A"));
    rig.make({}, QStringLiteral("P"));
    rig.make(QStringLiteral("P"), QStringLiteral("S"), QStringLiteral("pw"));
    addFile(s, QStringLiteral("a"), QStringLiteral("A"));
    addFile(s, QStringLiteral("p"), QStringLiteral("P"));
    addFile(s, QStringLiteral("s"), QStringLiteral("P\\S"));
    rig.pane.reload();
    rig.pane.expandAll();

    // The parent lists its own files, not those of the closed sub-group.
    rig.click(QStringLiteral("P"));
    QCOMPARE(rig.lastListed(), QStringList{"p"});
    // After a search, a click on the selected group lists it again.
    rig.pane.listShowsOtherRows();
    rig.offered.clear();
    rig.click(QStringLiteral("P"));
    QCOMPARE(rig.lastListed(), QStringList{"p"});
    // A closed group is refused once a double-click can no longer come; the
    // selection goes back to P, whose files the list keeps showing.
    const int offers = int(rig.offered.size());
    rig.click(QStringLiteral("P\\S"));
    QCOMPARE(rig.pane.currentItem(), rig.item(QStringLiteral("P\\S")));
    QTRY_COMPARE(prompter.lastText(), GroupTree::NotOpen);
    QCOMPARE(prompter.shown().last().icon, Prompter::Icon::Warning);
    QCOMPARE(rig.pane.currentItem(), rig.item(QStringLiteral("P")));
    QCOMPARE(rig.pane.selectedPath(), QStringLiteral("P"));
    QCOMPARE(int(rig.offered.size()), offers);
    QCOMPARE(rig.lastListed(), QStringList{"p"});
    // A double-click asks for the password instead; a wrong one keeps it
    // closed and the selection where it was.
    prompter.clear();
    prompter.answerText(QStringLiteral("PW"));
    rig.doubleClick(QStringLiteral("P\\S"));
    QCOMPARE(prompter.shown().size(), 2);
    QCOMPARE(prompter.shown().at(0).title, QStringLiteral("访问: S 需要密码:"));
    QCOMPARE(prompter.shown().at(0).text, QStringLiteral("请输入访问密码"));
    QCOMPARE(prompter.lastText(), QStringLiteral("密码错误! 访问被拒绝."));
    QCOMPARE(rig.pane.currentItem(), rig.item(QStringLiteral("P")));
    QCOMPARE(rig.lastListed(), QStringList{"p"});
    // Cancelling the box says nothing more, not even later.
    prompter.answerCancel();
    const int shown = int(prompter.shown().size());
    rig.doubleClick(QStringLiteral("P\\S"));
    QTest::qWait(QApplication::doubleClickInterval() + 100);
    QCOMPARE(int(prompter.shown().size()), shown + 1);
    QCOMPARE(rig.pane.currentItem(), rig.item(QStringLiteral("P")));
    prompter.answerText(QStringLiteral("pw"));
    rig.doubleClick(QStringLiteral("P\\S"));
    QCOMPARE(rig.pane.currentItem(), rig.item(QStringLiteral("P\\S")));
    QCOMPARE(rig.lastListed(), QStringList{"s"});
    rig.click(QStringLiteral("P"));
    QCOMPARE(rig.lastListed(), (QStringList{"p", "s"}));
    // Opened groups need no password again in this run.
    const int before = int(prompter.shown().size());
    rig.click(QStringLiteral("P\\S"));
    rig.doubleClick(QStringLiteral("P\\S"));
    QTest::qWait(QApplication::doubleClickInterval() + 100);
    QCOMPARE(int(prompter.shown().size()), before);
    QCOMPARE(rig.lastListed(), QStringList{"s"});

    // The root refuses the full list while a group has a password, yet stays
    // selected, so that its menu can add a group at the top.
    rig.click(QString());
    QTRY_COMPARE(prompter.lastText(), QStringLiteral("遇到加密分组，全部显示已禁止，请选择未加密分组!"));
    QTest::qWait(50);
    QVERIFY(rig.pane.isRootSelected());
    QCOMPARE(rig.lastListed(), QStringList());
    QCOMPARE(rig.pane.topLevelItem(0)->text(0), QStringLiteral("文件服务器"));
    QCOMPARE(prompter.unexpected(), 0);
}

void GroupTreePaneTest::passwordWindow()
{
    Rig rig;
    ScriptedPrompter prompter;
    DataStore& s = rig.home.store();
    rig.make({}, QStringLiteral("A"));
    rig.make({}, QStringLiteral("人事"));
    addFile(s, QStringLiteral("f"), QStringLiteral("人事"));
    rig.pane.reload();
    rig.click(QStringLiteral("人事"));
    QCOMPARE(rig.lastListed(), QStringList{"f"});
    // The root lists everything while no group is protected, saying so on the root.
    QString rootText;
    QObject::connect(&rig.pane, &GroupTreePane::filterChanged, &rig.pane,
                     [&] { rootText = rig.pane.topLevelItem(0)->text(0); });
    rig.click(QString());
    QCOMPARE(rootText, QStringLiteral("文件服务器(正在读取列表……)"));
    QCOMPARE(rig.pane.topLevelItem(0)->text(0), QStringLiteral("文件服务器"));
    QCOMPARE(rig.lastListed(), QStringList{"f"});
    rig.click(QStringLiteral("人事"));

    auto run = [&](const QString& oldPw, const QString& newPw, bool confirm, const char* grabName = nullptr) {
        whenModal(QStringLiteral("设置分组密码"), [&, oldPw, newPw, confirm, grabName](QWidget* w) {
            QCOMPARE(w->frameGeometry().size(), QSize(351, 190));
            QLineEdit* name = unit<QLineEdit>(w, "分组名编辑框");
            QCOMPARE(name->text(), QStringLiteral("人事"));
            QVERIFY(name->isReadOnly());
            QCOMPARE(unit<QLineEdit>(w, "编辑框1")->echoMode(), QLineEdit::Password);
            QCOMPARE(unit<QLineEdit>(w, "编辑框2")->echoMode(), QLineEdit::Password);
            type(unit<QLineEdit>(w, "编辑框1"), oldPw);
            type(unit<QLineEdit>(w, "编辑框2"), newPw);
            if (grabName)
                TestHome::grab(w, QString::fromUtf8(grabName));
            if (confirm)
                prompter.answerYes();
            QTest::mouseClick(unit<QPushButton>(w, "确定按钮"), Qt::LeftButton);
            if (w->isVisible())
                QTest::mouseClick(unit<QPushButton>(w, "取消按钮"), Qt::LeftButton);
        });
        rig.router.run(QLatin1String(Cmd::TreeSetPassword));
    };
    const qint64 id = rig.pane.selectedId();
    auto mm = [&] { return valueOf(s, QStringLiteral("select mm from wjfz where xmmc='人事'")).toString(); };

    run(QStringLiteral("x"), QStringLiteral("pw"), false);
    QCOMPARE(prompter.lastText(), QStringLiteral("旧密码不对!"));
    QCOMPARE(mm(), QString());
    run({}, QStringLiteral("pw"), true, "group-password-window");
    QCOMPARE(prompter.texts().mid(prompter.texts().size() - 2), (QStringList{"确定修改分组密码吗 ?", "密码修改成功!"}));
    QVERIFY(PasswordHash::verify(mm(), QStringLiteral("pw")));
    QVERIFY(sameImage(rig.item(QStringLiteral("人事"))->icon(0), 3));
    // The group closed: its files left the list.
    QCOMPARE(rig.lastListed(), QStringList());
    QCOMPARE(rig.pane.selectedPath(), QStringLiteral("人事"));
    TestHome::grab(&rig.pane, QStringLiteral("group-tree-protected"));

    // Clearing it brings the folder back and the files with it.
    run(QStringLiteral("pw"), {}, true);
    QCOMPARE(mm(), QString());
    QVERIFY(sameImage(rig.item(QStringLiteral("人事"))->icon(0), 1));
    QCOMPARE(rig.lastListed(), QStringList{"f"});
    Q_UNUSED(id);
    QCOMPARE(prompter.unexpected(), 0);
}

void GroupTreePaneTest::chooserNeedsPasswordForClosedGroup()
{
    Rig rig;
    ScriptedPrompter prompter;
    rig.make({}, QStringLiteral("A"));
    rig.make(QStringLiteral("A"), QStringLiteral("A1"));
    rig.make({}, QStringLiteral("P"), QStringLiteral("pw"));
    rig.make(QStringLiteral("P"), QStringLiteral("Q"));

    GroupChooserDialog dlg(rig.home.store(), rig.home.context().protectedGroups, QStringLiteral("双击选择目标分组"));
    dlg.show();
    QCOMPARE(dlg.windowTitle(), QStringLiteral("双击选择目标分组"));
    QCOMPARE(dlg.frameGeometry().size(), QSize(271, 337));
    QTreeWidget* tree = unit<QTreeWidget>(&dlg, "树型框1");
    QVERIFY(tree);
    QCOMPARE(tree->geometry(), QRect(0, 0, 264, 288));
    auto itemOf = [&](const QString& text) {
        const QList<QTreeWidgetItem*> found = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found.first();
    };
    auto dclick = [&](const QString& text) {
        QTreeWidgetItem* it = itemOf(text);
        QVERIFY(it);
        const QPoint at = tree->visualItemRect(it).center();
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
    };
    TestHome::grab(&dlg, QStringLiteral("group-chooser"));
    QVERIFY(sameImage(itemOf(QStringLiteral("P"))->icon(0), 3));

    dclick(QStringLiteral("文件服务器"));
    QVERIFY(dlg.isVisible());
    // Q lies inside the closed group P.
    prompter.answerText(QStringLiteral("wrong"));
    dclick(QStringLiteral("Q"));
    QCOMPARE(prompter.lastText(), QStringLiteral("密码错误! 访问被拒绝."));
    QVERIFY(dlg.isVisible());
    QVERIFY(!dlg.chosenPath());
    prompter.answerText(QStringLiteral("pw"));
    dclick(QStringLiteral("Q"));
    QVERIFY(!dlg.isVisible());
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(dlg.chosenPath().value_or(QStringLiteral("<none>")), QStringLiteral("P\\Q"));
    // The group is open for the rest of the run, in the main tree too.
    QVERIFY(rig.home.context().protectedGroups.isOpen(QStringLiteral("P")));

    // An open group is chosen without a question.
    GroupChooserDialog second(rig.home.store(), rig.home.context().protectedGroups, QStringLiteral("双击选择分组"));
    second.show();
    tree = unit<QTreeWidget>(&second, "树型框1");
    dclick(QStringLiteral("A1"));
    QCOMPARE(second.chosenPath().value_or(QString()), QStringLiteral("A\\A1"));
    QCOMPARE(prompter.unexpected(), 0);
}

// A tree that cannot be read is a failure the operator hears of, never an
// empty choice nor a tree that looks as if the groups were gone unsaid.
void GroupTreePaneTest::unreadableTreeIsSaidNotShownEmpty()
{
    Rig rig;
    ScriptedPrompter prompter;
    rig.make({}, QStringLiteral("A"));
    DataStore& s = rig.home.store();

    s.failNextStatements(1, QStringLiteral("from wjfz"));
    const std::optional<QString> chosen =
        GroupChooserDialog::choose(s, rig.home.context().protectedGroups, nullptr, QStringLiteral("双击选择目标分组"));
    QVERIFY(!chosen);
    QCOMPARE(prompter.messages(), QStringList{GroupTree::LoadFailed});
    QCOMPARE(prompter.shown().last().icon, Prompter::Icon::Warning);

    // The pane says it as well, and shows the groups again once they read.
    prompter.clear();
    s.failNextStatements(1, QStringLiteral("from wjfz"));
    QVERIFY(!rig.pane.reload());
    QCOMPARE(prompter.messages(), QStringList{GroupTree::LoadFailed});
    QVERIFY(!rig.item(QStringLiteral("A")));
    QVERIFY(rig.pane.reload());
    QVERIFY(rig.item(QStringLiteral("A")));
    QCOMPARE(prompter.messages().size(), 1);

    GroupChooserDialog dlg(s, rig.home.context().protectedGroups, QStringLiteral("双击选择分组"));
    QVERIFY(dlg.loaded());
    QVERIFY(!unit<QTreeWidget>(&dlg, "树型框1")
                 ->findItems(QStringLiteral("A"), Qt::MatchExactly | Qt::MatchRecursive)
                 .isEmpty());
    QCOMPARE(prompter.unexpected(), 0);
}

void GroupTreePaneTest::closedGroupNotRenamedNorDeleted_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("修改分组") << QString::fromLatin1(Cmd::TreeRenameGroup);
    QTest::newRow("删除分组") << QString::fromLatin1(Cmd::TreeDeleteGroup);
}

void GroupTreePaneTest::closedGroupNotRenamedNorDeleted()
{
    QFETCH(QString, command);
    Rig rig;
    ScriptedPrompter prompter;
    rig.make({}, QStringLiteral("P"), QStringLiteral("pw"));
    rig.pane.reload();
    const QList<Row> before = rows(rig.home.store());
    // Opened, selected, then closed again (as setting its password does).
    prompter.answerText(QStringLiteral("pw"));
    rig.doubleClick(QStringLiteral("P"));
    QCOMPARE(rig.pane.selectedPath(), QStringLiteral("P"));
    rig.home.context().protectedGroups.close(QStringLiteral("P"));
    prompter.clear();
    // Should a window come up, it is closed at once (and counted).
    auto windowShown = std::make_shared<bool>(false);
    whenModal(QStringLiteral("增加分组"), [windowShown](QWidget* w) {
        *windowShown = true;
        static_cast<QDialog*>(w)->reject();
    });
    rig.router.run(command);
    QVERIFY(!*windowShown);
    QCOMPARE(prompter.shown().size(), 1);
    QCOMPARE(prompter.lastText(), GroupTree::NotOpen);
    QCOMPARE(prompter.shown().last().icon, Prompter::Icon::Warning);
    QCOMPARE(rows(rig.home.store()), before);
    QCOMPARE(prompter.unexpected(), 0);
}

KV_REGISTER_TEST(GroupTreePaneTest)
#include "GroupTreePaneTest.moc"
