#include "MainWindowFixture.h"
#include "archive/ui/EditPanel.h"
#include "archive/ui/GroupTreePane.h"
#include "common/ScriptedPrompter.h"
#include "common/TestRegistry.h"
#include "listing/FileListModel.h"
#include "listing/ui/FileListViews.h"
#include "shell/CommandRouter.h"
#include "shell/Commands.h"
#include "shell/ui/CommandTable.h"
#include "store/Rights.h"

#include <QLineEdit>
#include <QSet>
#include <QTableView>
#include <QTest>

class CommandTableTest : public QObject {
    Q_OBJECT
private slots:
    void everyCommandOnce();
    void routerTakesRightsFromTheTable();
    void routerWithoutTable();
    void recordCommandsGetTheListSelection();
    void addInGroupGetsTheTreeSelection();
};

void CommandTableTest::everyCommandOnce()
{
    QSet<QString> ids;
    for (const CommandTable::Entry& e : CommandTable::entries())
        ids.insert(QString::fromLatin1(e.id));
    QCOMPARE(CommandTable::entries().size(), 48);
    QCOMPARE(ids.size(), 48);
    for (const char* id :
         {Cmd::Add, Cmd::Exit, Cmd::TreeSetPassword, Cmd::FileProperties, Cmd::Skins, Cmd::IconSaveAs, Cmd::ViewGuide})
        QVERIFY2(ids.contains(QString::fromLatin1(id)), id);
    QCOMPARE(CommandTable::rightOf(QString::fromLatin1(Cmd::FileDelete)), Rights::Delete);
    QCOMPARE(CommandTable::rightOf(QString::fromLatin1(Cmd::TreeCopyGroup)), QString());
    QCOMPARE(CommandTable::rightOf(QStringLiteral("no.such")), QString());
}

void CommandTableTest::routerTakesRightsFromTheTable()
{
    MainWindowFixture f;
    QVERIFY(f.build());
    CommandRouter& router = f.window->router();
    QStringList tableIds;
    for (const CommandTable::Entry& e : CommandTable::entries()) {
        const QString id = QString::fromLatin1(e.id);
        tableIds << id;
        QCOMPARE(router.rightOf(id), e.right);
        // Every command of the menus and the toolbar does something.
        QVERIFY2(e.run != nullptr, qPrintable(id));
        QVERIFY(router.hasHandler(id));
    }
    QCOMPARE(router.ids(), tableIds);
    QCOMPARE(f.window->runCommand(QStringLiteral("no.such")), CommandRouter::Outcome::Unknown);
}

void CommandTableTest::routerWithoutTable()
{
    CurrentOperator clerk(QStringLiteral("clerk"), QStringLiteral("修改,删除"));
    CommandRouter router(&clerk);
    QStringList denied;
    router.setDeniedHandler([&](const QString& id) { denied << id; });
    int ran = 0;
    router.add(QStringLiteral("a"), Rights::Add, [&] { ++ran; });
    router.add(QStringLiteral("d"), Rights::Delete, [&] { ++ran; });
    router.add(QStringLiteral("free"), {});
    QCOMPARE(router.run(QStringLiteral("a")), CommandRouter::Outcome::Denied);
    QCOMPARE(router.run(QStringLiteral("d")), CommandRouter::Outcome::Ran);
    QCOMPARE(router.run(QStringLiteral("free")), CommandRouter::Outcome::NoHandler);
    QCOMPARE(denied, QStringList{QStringLiteral("a")});
    QCOMPARE(ran, 1);
    // A new handler keeps the command's right.
    router.setHandler(QStringLiteral("a"), [&] { ran += 10; });
    QCOMPARE(router.run(QStringLiteral("a")), CommandRouter::Outcome::Denied);
    QCOMPARE(router.rightOf(QStringLiteral("a")), Rights::Add);
    QCOMPARE(ran, 1);
    // Adding again replaces, without a second place in the order.
    router.add(QStringLiteral("d"), {}, {});
    QCOMPARE(router.ids(), (QStringList{QStringLiteral("a"), QStringLiteral("d"), QStringLiteral("free")}));
    QCOMPARE(router.run(QStringLiteral("d")), CommandRouter::Outcome::NoHandler);
}

void CommandTableTest::recordCommandsGetTheListSelection()
{
    MainWindowFixture f;
    QVERIFY(f.home.isValid());
    DataStore& s = f.home.store();
    for (const char* name : {"甲", "乙", "丙"})
        QVERIFY(s.execute(
            QStringLiteral("insert into wj(bh,mc,fz,lx,dx) values (?,?,'','txt','1BYTE')"),
            {QStringLiteral("000000000%1").arg(valueOf(s, QStringLiteral("select count(*) from wj")).toInt() + 1),
             QString::fromUtf8(name)}));
    QVERIFY(f.build());
    FileListViews* list = f.window->list();
    list->reload();
    QVERIFY(list->waitUntilLoaded());
    QCOMPARE(list->model()->rowCount(), 3);
    QTableView* v = list->reportView();
    v->selectionModel()->setCurrentIndex(list->model()->index(1, 0),
                                         QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    const qint64 second = list->currentId();
    QVERIFY(second > 0);

    QCOMPARE(f.window->runCommand(QString::fromLatin1(Cmd::Modify)), CommandRouter::Outcome::Ran);
    QCOMPARE(f.window->editPanel()->mode(), EditPanel::Mode::Modifying);
    QCOMPARE(f.window->editPanel()->shownId(), second);
    QCOMPARE(f.window->runCommand(QString::fromLatin1(Cmd::Cancel)), CommandRouter::Outcome::Ran);
    QCOMPARE(f.window->editPanel()->mode(), EditPanel::Mode::Showing);

    // Delete takes every selected row.
    v->selectAll();
    f.prompter.answerYes();
    QCOMPARE(f.window->runCommand(QString::fromLatin1(Cmd::FileDelete)), CommandRouter::Outcome::Ran);
    QStringList texts;
    for (const auto& shown : f.prompter.shown())
        texts << shown.text;
    QVERIFY2(texts.contains(QStringLiteral("确定删除选择的 3 个文件吗 ? ")), qPrintable(texts.join(QLatin1Char('|'))));
    QCOMPARE(valueOf(s, QStringLiteral("select count(*) from wj")).toInt(), 0);
    // The panel asked the list to load again.
    QVERIFY(list->waitUntilLoaded());
    QCOMPARE(list->model()->rowCount(), 0);
}

void CommandTableTest::addInGroupGetsTheTreeSelection()
{
    MainWindowFixture f;
    QVERIFY(f.build());
    GroupTreePane* tree = f.window->tree();
    QVERIFY(tree->groups().add(0, QStringLiteral("合同")).ok());
    QVERIFY(tree->reload());
    QVERIFY(tree->selectGroup(1));
    QCOMPARE(f.window->runCommand(QString::fromLatin1(Cmd::TreeAddFile)), CommandRouter::Outcome::Ran);
    QCOMPARE(f.window->editPanel()->mode(), EditPanel::Mode::Adding);
    auto* group = f.window->editPanel()->findChild<QLineEdit*>(QStringLiteral("分组编辑框"));
    QVERIFY(group);
    QCOMPARE(group->text(), QStringLiteral("合同"));
    QCOMPARE(f.window->runCommand(QString::fromLatin1(Cmd::Cancel)), CommandRouter::Outcome::Ran);

    // From the root: no group chosen yet.
    QVERIFY(tree->selectGroup(0));
    QCOMPARE(f.window->runCommand(QString::fromLatin1(Cmd::TreeAddFile)), CommandRouter::Outcome::Ran);
    QCOMPARE(group->text(), QString());
}

KV_REGISTER_TEST(CommandTableTest)
#include "CommandTableTest.moc"
