// Long runs in the main window: the deletion window blocks the window under
// it, and the exit asks to stop the run and waits for it; a pending add or
// change is offered for saving on the way out.
#include "archive/GroupTree.h"
#include "archive/ui/DeleteProgressWindow.h"
#include "archive/ui/EditPanel.h"
#include "archive/ui/GroupTreePane.h"
#include "common/ScriptedPrompter.h"
#include "common/TestHome.h"
#include "common/TestInput.h"
#include "common/TestRegistry.h"
#include "listing/ui/FileListViews.h"
#include "platform/LongRuns.h"
#include "shell/Commands.h"
#include "MainWindowFixture.h"
#include "shell/ui/MainWindow.h"

#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Records of the group "合同", straight into the database.
QList<qint64> addRecords(DataStore& s, int n)
{
    QList<qint64> ids;
    for (int i = 0; i < n; ++i) {
        if (!s.execute(QStringLiteral("insert into wj(xh,bh,mc,fz,lx,dx,dxsz,scr,scsj,wj) values "
                                      "(?,?,?,'合同','txt','1BYTE',1,'Admin','2026-01-02 03:04:05',?)"),
                       {i + 1, QStringLiteral("%1").arg(i + 1, 10, 10, QLatin1Char('0')), QStringLiteral("f%1").arg(i),
                        QByteArray("x")}))
            return {};
        ids << s.lastInsertId();
    }
    return ids;
}

qint64 count(DataStore& s)
{
    return valueOf(s, QStringLiteral("select count(*) from wj")).toLongLong();
}

}  // namespace

class LongRunExitTest : public QObject {
    Q_OBJECT
private slots:
    void deletionBlocksWindowAndExitWaits();
    void exitWithPendingAdd_data();
    void exitWithPendingAdd();
    void propertiesOfVanishedRecordNameIt();
};

void LongRunExitTest::deletionBlocksWindowAndExitWaits()
{
    MainWindowFixture f;
    QVERIFY(f.build());
    DataStore& s = f.home.store();
    QVERIFY(GroupTree(s, f.home.context().protectedGroups).add(0, QStringLiteral("合同")).ok());
    QCOMPARE(addRecords(s, 6).size(), 6);
    f.window->reloadTree();
    QVERIFY(f.window->tree()->selectGroup(1));
    QVERIFY(f.window->list()->waitUntilLoaded());
    QTRY_COMPARE(f.window->list()->reportView()->model()->rowCount(), 6);
    f.window->list()->reportView()->selectAll();
    QCOMPARE(f.window->selectedIds().size(), 6);
    QSignalSpy exited(f.window.get(), &MainWindow::exitConfirmed);

    QWidget* deleteLabel = f.unit<QWidget>(QStringLiteral("删除透明标签"));
    QVERIFY(deleteLabel);
    int step = 0;
    QTimer hook;
    hook.setInterval(0);
    connect(&hook, &QTimer::timeout, this, [&] {
        auto* w = f.window->findChild<DeleteProgressWindow*>();
        if (!w || !w->isVisible())
            return;
        const int value = w->progressBar()->value();
        if (step == 0 && value >= 2) {
            step = 1;
            // Modal over the main window while it runs.
            QCOMPARE(w->parentWidget(), f.window.get());
            QCOMPARE(w->windowModality(), Qt::WindowModal);
            QCOMPARE(QApplication::activeModalWidget(), w);
            // A click on "删除" through the window system does not reach the blocked window.
            const QPoint at = deleteLabel->mapTo(f.window.get(), deleteLabel->rect().center());
            QTest::mouseClick(f.window->windowHandle(), Qt::LeftButton, {}, at);
            // Nor does a second deletion start inside this one by any other road.
            f.window->runCommand(QLatin1String(Cmd::Delete));
            QCOMPARE(f.prompter.shown().size(), 1);
            // The exit asks to stop the run first; "no" goes on with it.
            f.prompter.answerNo();
            f.window->close();
            QCOMPARE(f.prompter.shown().size(), 2);
            QCOMPARE(f.prompter.lastTitle(), QStringLiteral("询问"));
            QCOMPARE(f.prompter.lastText(), LongRuns::stopQuestion(w->windowTitle()));
            QVERIFY(f.window->isVisible());
        } else if (step == 1 && value >= 4) {
            step = 2;
            // "yes": the run stops after this record, and the exit waits for it.
            f.prompter.answerYes();
            f.window->close();
            QCOMPARE(f.prompter.shown().size(), 3);
            QCOMPARE(exited.count(), 0);
            QVERIFY(f.window->isVisible());
            QVERIFY(f.window->isReady());
        }
    });
    hook.start();
    f.prompter.answerYes();  // 确定删除选择的 6 个文件吗 ?
    f.window->runCommand(QLatin1String(Cmd::Delete));
    hook.stop();
    QCOMPARE(step, 2);
    QCOMPARE(f.prompter.shown().first().text, QStringLiteral("确定删除选择的 6 个文件吗 ? "));
    // Four records went; the two left were never touched; then the program ended.
    QCOMPARE(count(s), qint64(2));
    QTRY_COMPARE(exited.count(), 1);
    QVERIFY(!f.window->isVisible());
    QVERIFY(!f.window->isReady());
    QCOMPARE(f.prompter.shown().size(), 3);
    QCOMPARE(f.prompter.unexpected(), 0);
    QVERIFY(!LongRuns::instance().underWay());
}

void LongRunExitTest::exitWithPendingAdd_data()
{
    QTest::addColumn<QString>("way");
    QTest::addColumn<bool>("saveNow");
    QTest::newRow("退出, save") << "label" << true;
    QTest::newRow("退出, drop") << "label" << false;
    QTest::newRow("close box, save") << "close" << true;
    QTest::newRow("close box, drop") << "close" << false;
    QTest::newRow("Esc, drop") << "esc" << false;
}

void LongRunExitTest::exitWithPendingAdd()
{
    QFETCH(QString, way);
    QFETCH(bool, saveNow);
    MainWindowFixture f;
    QVERIFY(f.build());
    DataStore& s = f.home.store();
    QVERIFY(GroupTree(s, f.home.context().protectedGroups).add(0, QStringLiteral("合同")).ok());
    QTemporaryDir outside;
    const QString source = outside.filePath(QStringLiteral("报告.txt"));
    QVERIFY(writeFile(source, "report"));

    QCOMPARE(f.window->runCommand(QLatin1String(Cmd::Add)), CommandRouter::Outcome::Ran);
    f.window->editPanel()->setGroupChooser([] { return std::optional<QString>(QStringLiteral("合同")); });
    f.prompter.answerText(source);
    QTest::mouseClick(f.window->editPanel()->findChild<QToolButton*>(QStringLiteral("文件名称超级按钮")),
                      Qt::LeftButton);
    QTest::mouseClick(f.window->editPanel()->findChild<QToolButton*>(QStringLiteral("文件分组超级按钮")),
                      Qt::LeftButton);
    QVERIFY(f.window->editPanel()->isDirty());
    QSignalSpy exited(f.window.get(), &MainWindow::exitConfirmed);
    f.prompter.clear();

    f.prompter.answerYes();  // 确定退出本系统吗？
    if (saveNow) {
        f.prompter.answerYes();  // 当前文件尚未保存! 是否立即保存 ?
        f.prompter.answerYes();  // 确定要保存吗?
    } else {
        f.prompter.answerNo();
    }
    if (way == QLatin1String("label"))
        QTest::mouseClick(f.unit<QWidget>(QStringLiteral("退出透明标签")), Qt::LeftButton);
    else if (way == QLatin1String("close"))
        f.window->close();
    else
        QTest::keyClick(f.window->tree(), Qt::Key_Escape);

    QStringList expected{QStringLiteral("确定退出本系统吗？"), QStringLiteral("当前文件尚未保存! 是否立即保存 ?")};
    if (saveNow)
        expected << QStringLiteral("确定要保存吗?") << QStringLiteral("0000000001 报告.txt 保存成功!");
    QCOMPARE(f.prompter.texts().join(QLatin1Char('|')), expected.join(QLatin1Char('|')));
    QCOMPARE(exited.count(), 1);
    QCOMPARE(count(s), qint64(saveNow ? 1 : 0));
    QCOMPARE(f.prompter.unexpected(), 0);
}

void LongRunExitTest::propertiesOfVanishedRecordNameIt()
{
    MainWindowFixture f;
    QVERIFY(f.build());
    DataStore& s = f.home.store();
    QVERIFY(GroupTree(s, f.home.context().protectedGroups).add(0, QStringLiteral("合同")).ok());
    const QList<qint64> ids = addRecords(s, 2);
    QCOMPARE(ids.size(), 2);
    f.window->reloadTree();
    QVERIFY(f.window->tree()->selectGroup(1));
    QVERIFY(f.window->list()->waitUntilLoaded());
    QTRY_COMPARE(f.window->list()->reportView()->model()->rowCount(), 2);
    // The record goes behind the list's back; then its row is chosen.
    QVERIFY(s.execute(QStringLiteral("delete from wj where id=?"), {ids.at(1)}));
    f.window->list()->reportView()->selectRow(1);
    QTRY_COMPARE(f.window->currentId(), ids.at(1));
    f.prompter.answerNo();
    QCOMPARE(f.window->runCommand(QLatin1String(Cmd::FileProperties)), CommandRouter::Outcome::Ran);
    QCOMPARE(f.prompter.lastText(), QStringLiteral("f1 文件未找到,是否在列表中移除?"));
    QCOMPARE(f.prompter.unexpected(), 0);
}

KV_REGISTER_TEST(LongRunExitTest)
#include "LongRunExitTest.moc"
