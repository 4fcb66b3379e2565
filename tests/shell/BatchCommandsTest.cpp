#include "common/TestInput.h"
#include "common/TestRegistry.h"
#include "archive/BatchImport.h"
#include "archive/GroupTestSupport.h"
#include "archive/GroupTree.h"
#include "archive/ui/GroupTreePane.h"
#include "listing/ui/FileListViews.h"
#include "shell/MainWindowFixture.h"
#include "shell/ui/PermissionNotice.h"

#include <QAbstractItemModel>
#include <QDir>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>

using namespace GroupTestSupport;

// The batch commands as the main window runs them: through the command
// table, under their rights, on the list's selection and the tree's group.
class BatchCommandsTest : public QObject {
    Q_OBJECT
private slots:
    void importThroughTheTreeMenuReloadsTheList();
    void droppedFilesNeedTheImportRight();
    void moveToGroupTakesTheListSelection();
};

void BatchCommandsTest::importThroughTheTreeMenuReloadsTheList()
{
    MainWindowFixture f;
    QVERIFY(f.build());
    DataStore& s = f.home.store();
    QVERIFY(GroupTree(s, f.home.context().protectedGroups).add(0, QStringLiteral("合同")).ok());
    f.window->reloadTree();
    QVERIFY(f.window->tree()->selectGroup(1));
    QTemporaryDir d;
    const QStringList files{TestInput::writeFile(d.path(), QStringLiteral("a.txt"), "a"),
                            TestInput::writeFile(d.path(), QStringLiteral("b.txt"), "bb")};
    f.prompter.answerFiles(files);
    f.prompter.answerYes();
    f.prompter.answerNo();  // the end's offer to undo the run
    whenModal(BatchImport::WindowTitle, [&](QWidget* w) {
        QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("确定按钮")), Qt::LeftButton);
    });
    QCOMPARE(f.window->runCommand(QString::fromLatin1(Cmd::TreeBatchImport)), CommandRouter::Outcome::Ran);
    QCOMPARE(f.prompter.messages().last(), QStringLiteral("文件总数:2个,同名文件:0个,成功导入2个, 共: 3BYTE"));
    QVERIFY(f.window->list()->waitUntilLoaded());
    QTRY_COMPARE(f.window->list()->reportView()->model()->rowCount(), 2);
}

void BatchCommandsTest::droppedFilesNeedTheImportRight()
{
    MainWindowFixture f;
    QVERIFY(f.build());
    QVERIFY(GroupTree(f.home.store(), f.home.context().protectedGroups).add(0, QStringLiteral("合同")).ok());
    f.window->reloadTree();
    QTemporaryDir d;
    const QString file = TestInput::writeFile(d.path(), QStringLiteral("a.txt"), "a");
    f.home.loginAs(QStringLiteral("clerk"), QStringLiteral("增加"));
    emit f.window->tree()->filesDropped(QStringLiteral("合同"), {file});
    QTRY_COMPARE(MainWindowFixture::shownWindows<PermissionNotice>().size(), 1);
    for (PermissionNotice* n : MainWindowFixture::shownWindows<PermissionNotice>())
        n->close();
    QCOMPARE(valueOf(f.home.store(), QStringLiteral("select count(*) from wj")).toLongLong(), 0);
    QVERIFY(f.prompter.shown().isEmpty());

    f.home.loginAs(QStringLiteral("clerk"), QStringLiteral("批量导入"));
    f.prompter.answerYes();
    whenModal(BatchImport::WindowTitle, [&](QWidget* w) {
        QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("确定按钮")), Qt::LeftButton);
    });
    emit f.window->tree()->filesDropped(QStringLiteral("合同"), {d.path()});
    // The folder came in as a sub-group, which the tree shows.
    const QString group = QStringLiteral("合同\\") + QDir(d.path()).dirName();
    QCOMPARE(valueOf(f.home.store(), QStringLiteral("select count(*) from wj where fz=?"), {group}).toLongLong(), 1);
    QVERIFY(f.window->tree()->groups().findPath(group));
}

void BatchCommandsTest::moveToGroupTakesTheListSelection()
{
    MainWindowFixture f;
    QVERIFY(f.build());
    DataStore& s = f.home.store();
    GroupTree t(s, f.home.context().protectedGroups);
    QVERIFY(t.load().ok());
    QVERIFY(t.add(0, QStringLiteral("合同")).ok());
    QVERIFY(t.add(0, QStringLiteral("归档")).ok());
    for (const QString& name : {QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("z")})
        QVERIFY(addFile(s, name, QStringLiteral("合同")) > 0);
    f.window->reloadTree();
    QVERIFY(f.window->tree()->selectGroup(1));
    QVERIFY(f.window->list()->waitUntilLoaded());
    QTRY_COMPARE(f.window->list()->reportView()->model()->rowCount(), 3);
    f.window->list()->reportView()->selectAll();
    f.prompter.answerYes();
    whenModal(QStringLiteral("双击选择分组"), [&](QWidget* w) {
        auto* tree = w->findChild<QTreeWidget*>();
        QTreeWidgetItem* target = nullptr;
        for (QTreeWidgetItemIterator it(tree); *it; ++it)
            if ((*it)->text(0) == QStringLiteral("归档"))
                target = *it;
        QVERIFY(target);
        emit tree->itemDoubleClicked(target, 0);
    });
    QCOMPARE(f.window->runCommand(QString::fromLatin1(Cmd::FileMoveToGroup)), CommandRouter::Outcome::Ran);
    QCOMPARE(f.prompter.lastText(), QStringLiteral("调整完成!"));
    QCOMPARE(valueOf(s, QStringLiteral("select count(*) from wj where fz='归档'")).toLongLong(), 3);
    QCOMPARE(valueOf(s,
                     QStringLiteral(
                         "select count(*) from rz where nr like '修改文件：调整分组%，原分组:合同 到 新分组:归档'"))
                 .toLongLong(),
             3);
}

KV_REGISTER_TEST(BatchCommandsTest)
#include "BatchCommandsTest.moc"
