#include "common/ScriptedPrompter.h"
#include "common/TestHome.h"
#include "common/TestInput.h"
#include "common/TestRegistry.h"
#include "archive/BatchExport.h"
#include "archive/BatchImport.h"
#include "archive/BatchModify.h"
#include "archive/GroupTestSupport.h"
#include "archive/GroupTree.h"
#include "archive/Regroup.h"
#include "archive/ui/BatchCommands.h"
#include "archive/ui/GroupTreePane.h"
#include "store/SizeText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDirIterator>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace GroupTestSupport;
using TestInput::pattern;
using TestInput::writeFile;

namespace {

struct WindowRig {
    TestHome home;
    DataStore& s = home.store();
    ScriptedPrompter prompter;
    QTemporaryDir sources;
    BatchCommands commands{s, StoreFolder(home.context().home), home.context().protectedGroups,
                           home.context().currentOperator, nullptr};

    WindowRig()
    {
        GroupTree t(s, home.context().protectedGroups);
        t.load().ok();
        KV_CHECK(t.add(0, QStringLiteral("A")));
        KV_CHECK(t.add(t.findPath(QStringLiteral("A"))->id, QStringLiteral("B")));
        KV_CHECK(t.add(0, QStringLiteral("T")));
        KV_CHECK(t.add(0, QStringLiteral("P")));
        KV_CHECK(t.setPassword(t.findPath(QStringLiteral("P"))->id, {}, QStringLiteral("pw")));
    }
    qint64 count(const QString& sql) { return valueOf(s, sql).toLongLong(); }
    QStringList files(int n, qint64 size = 64)
    {
        QStringList out;
        for (int i = 0; i < n; ++i)
            out << writeFile(sources.path(), QStringLiteral("w%1.txt").arg(i), pattern(size, char('a' + i % 20)));
        return out;
    }
};

template <class T> T* unit(QWidget* w, const QString& name)
{
    T* u = w->findChild<T*>(name);
    if (!u)
        qWarning("no unit %s", qPrintable(name));
    return u;
}

}  // namespace

class BatchWindowsTest : public QObject {
    Q_OBJECT
private slots:
    void importWindowTwiceWithSameNameCheck();
    void importWindowCancelKeepsCommitted();
    void exportWindowWritesGroupTree();
    void modifyWindowDateAndOption();
    void modifyWindowWithoutSelection();
    void regroupCommands();
    void dropOnGroupImports();
};

void BatchWindowsTest::importWindowTwiceWithSameNameCheck()
{
    WindowRig r;
    const QStringList files = r.files(12, 700);
    for (int round = 0; round < 2; ++round) {
        r.prompter.answerFiles(files);
        r.prompter.answerYes();
        if (round == 0)
            r.prompter.answerNo();  // the end's offer to undo the run
        whenModal(BatchImport::WindowTitle, [&](QWidget* w) {
            QCOMPARE(w->frameGeometry().size(), QSize(573, 188));
            QCOMPARE(w->windowTitle(), BatchImport::WindowTitle);
            QCOMPARE(unit<QLabel>(w, QStringLiteral("标签1"))->text(), BatchImport::Working);
            QCOMPARE(unit<QLabel>(w, QStringLiteral("标签1"))->geometry(), QRect(8, 16, 552, 40));
            QCOMPARE(unit<QProgressBar>(w, QStringLiteral("进度条1"))->geometry(), QRect(8, 56, 552, 24));
            auto* check = unit<QCheckBox>(w, QStringLiteral("选择框1"));
            QCOMPARE(check->text(), QStringLiteral("检查重名文件"));
            QCOMPARE(check->geometry(), QRect(8, 88, 136, 24));
            QVERIFY(!check->isChecked());
            QCOMPARE(unit<QPushButton>(w, QStringLiteral("确定按钮"))->geometry(), QRect(179, 104, 80, 24));
            QCOMPARE(unit<QPushButton>(w, QStringLiteral("取消按钮"))->geometry(), QRect(307, 104, 80, 24));
            if (round == 0)
                TestHome::grab(w, QStringLiteral("batch-import"));
            QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(4, 12));
            QVERIFY(check->isChecked());
            QTest::mouseClick(unit<QPushButton>(w, QStringLiteral("确定按钮")), Qt::LeftButton);
        });
        r.commands.importInto(QStringLiteral("A"));
        QCOMPARE(r.prompter.shown().at(0).title, BatchImport::ChooseTitle);
        QCOMPARE(r.prompter.shown().at(1).text, BatchImport::confirmText(12, QStringLiteral("A"), 12 * 700));
        QCOMPARE(r.prompter.shown().at(1).text,
                 QStringLiteral("您选中了12个文件,确认导入 A 分组吗? 共:") + sizeText(8400));
        QCOMPARE(r.prompter.messages().last(),
                 round == 0 ? QStringLiteral("文件总数:12个,同名文件:0个,成功导入12个, 共: ") + sizeText(8400)
                            : QStringLiteral("文件总数:12个,同名文件:12个,成功导入0个, 共: 0BYTE"));
        QCOMPARE(r.count(QStringLiteral("select count(*) from wj where fz='A'")), 12);
        r.prompter.clear();
    }
}

void BatchWindowsTest::importWindowCancelKeepsCommitted()
{
    WindowRig r;
    const QStringList files = r.files(1500, 10);
    r.prompter.answerFiles(files);
    r.prompter.answerYes();
    whenModal(BatchImport::WindowTitle, [&](QWidget* w) {
        QTest::mouseClick(unit<QPushButton>(w, QStringLiteral("确定按钮")), Qt::LeftButton);
        QVERIFY(!unit<QPushButton>(w, QStringLiteral("确定按钮"))->isEnabled());
        QTest::mouseClick(unit<QPushButton>(w, QStringLiteral("取消按钮")), Qt::LeftButton);
        // The window stays until the worker has stopped.
        QVERIFY(w->isVisible());
    });
    r.commands.importInto(QStringLiteral("T"));
    QVERIFY2(r.prompter.lastText().startsWith(BatchImport::Cancelled), qPrintable(r.prompter.lastText()));
    const qint64 stored = r.count(QStringLiteral("select count(*) from wj"));
    QVERIFY(stored < 1500);
    QVERIFY(r.prompter.lastText().contains(QStringLiteral("成功导入%1个").arg(stored)));
}

void BatchWindowsTest::exportWindowWritesGroupTree()
{
    WindowRig r;
    r.prompter.answerFiles(r.files(3));
    r.prompter.answerYes();
    r.prompter.answerNo();
    whenModal(BatchImport::WindowTitle,
              [&](QWidget* w) { QTest::mouseClick(unit<QPushButton>(w, QStringLiteral("确定按钮")), Qt::LeftButton); });
    r.commands.importInto(QStringLiteral("A\\B"));
    r.prompter.clear();

    QTemporaryDir target;
    r.prompter.answerText(target.path());
    r.prompter.answerYes();
    whenModal(BatchExport::WindowTitle, [&](QWidget* w) {
        QCOMPARE(w->frameGeometry().size(), QSize(573, 188));
        QCOMPARE(unit<QLabel>(w, QStringLiteral("标签1"))->text(), BatchExport::Working);
        auto* check = unit<QCheckBox>(w, QStringLiteral("选择框1"));
        QCOMPARE(check->text(), QStringLiteral("按文件分组创建下级目录"));
        QCOMPARE(check->geometry(), QRect(8, 88, 160, 24));
        QVERIFY(check->isChecked());
        QCOMPARE(unit<QPushButton>(w, QStringLiteral("确定按钮"))->geometry(), QRect(251, 104, 80, 24));
        QCOMPARE(unit<QPushButton>(w, QStringLiteral("取消按钮"))->geometry(), QRect(379, 104, 80, 24));
        TestHome::grab(w, QStringLiteral("batch-export"));
        QTest::mouseClick(unit<QPushButton>(w, QStringLiteral("确定按钮")), Qt::LeftButton);
    });
    r.commands.exportGroup(QStringLiteral("A"));
    QCOMPARE(r.prompter.shown().at(0).text, BatchExport::ChooseFolder);
    QCOMPARE(r.prompter.shown().at(1).text,
             QStringLiteral("确认导出 A 的文件到 ") + target.path() + QStringLiteral(" ? 如果有重名文件将被覆盖!"));
    QCOMPARE(r.prompter.lastText(), QStringLiteral("3 个文件已成功导出到 ") + target.path());
    QVERIFY(QFileInfo(target.filePath(QStringLiteral("A/B/w2.txt"))).isFile());
}

void BatchWindowsTest::modifyWindowDateAndOption()
{
    WindowRig r;
    QVERIFY(r.s.execute(QStringLiteral("update lbsz set btm='密级' where bm='wj' and bh=6")));
    QVERIFY(r.s.execute(QStringLiteral("update lbsz set btm='归档日期' where bm='wj' and bh=18")));
    QVERIFY(r.s.execute(QStringLiteral("update xx set nr=? where bh=6"), {QStringLiteral("公开\x1f内部")}));
    r.prompter.answerFiles(r.files(4));
    r.prompter.answerYes();
    r.prompter.answerNo();
    whenModal(BatchImport::WindowTitle,
              [&](QWidget* w) { QTest::mouseClick(unit<QPushButton>(w, QStringLiteral("确定按钮")), Qt::LeftButton); });
    r.commands.importInto(QStringLiteral("T"));
    r.prompter.clear();

    // The option field on the selected records.
    r.prompter.answerYes();
    whenModal(BatchModify::WindowTitle, [&](QWidget* w) {
        QCOMPARE(w->frameGeometry().size(), QSize(348, 208));
        auto* selected = unit<QRadioButton>(w, QStringLiteral("单选框1"));
        QCOMPARE(selected->text(), QStringLiteral("选中记录(2)"));
        QVERIFY(selected->isChecked());
        QCOMPARE(selected->geometry(), QRect(104, 16, 112, 24));
        QCOMPARE(unit<QRadioButton>(w, QStringLiteral("单选框2"))->geometry(), QRect(216, 16, 72, 24));
        auto* field = unit<QComboBox>(w, QStringLiteral("组合框1"));
        QCOMPARE(field->geometry(), QRect(104, 56, 184, 20));
        QCOMPARE(field->count(), 15);
        QCOMPARE(field->itemText(0), QStringLiteral("密级"));
        auto* value = unit<QComboBox>(w, QStringLiteral("修改值组合框"));
        QCOMPARE(value->geometry(), QRect(104, 88, 184, 20));
        QCOMPARE(unit<QDateEdit>(w, QStringLiteral("日期框1"))->geometry(), QRect(104, 88, 184, 20));
        QCOMPARE(unit<QProgressBar>(w, QStringLiteral("进度条1"))->geometry(), QRect(0, 168, 344, 16));
        QCOMPARE(unit<QPushButton>(w, QStringLiteral("确定按钮"))->geometry(), QRect(112, 128, 56, 24));
        QCOMPARE(unit<QPushButton>(w, QStringLiteral("取消按钮"))->geometry(), QRect(192, 128, 56, 24));
        QCOMPARE(value->count(), 2);
        QCOMPARE(value->itemText(1), QStringLiteral("内部"));
        QVERIFY(value->isVisible());
        TestHome::grab(w, QStringLiteral("batch-modify"));
        value->setCurrentIndex(1);
        QTest::mouseClick(unit<QPushButton>(w, QStringLiteral("确定按钮")), Qt::LeftButton);
    });
    r.commands.modify({2, 3}, {1, 2, 3, 4});
    QCOMPARE(r.prompter.texts(),
             (QStringList{BatchModify::Confirm, QStringLiteral("成功修改了 2 条文件记录!"), BatchModify::AllDone}));
    QCOMPARE(r.count(QStringLiteral("select count(*) from wj where b1='内部'")), 2);
    r.prompter.clear();

    // The date field on every record of the list.
    r.prompter.answerYes();
    whenModal(BatchModify::WindowTitle, [&](QWidget* w) {
        QTest::mouseClick(unit<QRadioButton>(w, QStringLiteral("单选框2")), Qt::LeftButton);
        auto* field = unit<QComboBox>(w, QStringLiteral("组合框1"));
        field->setCurrentIndex(12);
        QCOMPARE(field->currentText(), QStringLiteral("归档日期"));
        auto* date = unit<QDateEdit>(w, QStringLiteral("日期框1"));
        QVERIFY(date->isVisible());
        QVERIFY(!unit<QComboBox>(w, QStringLiteral("修改值组合框"))->isVisible());
        date->setDate(QDate(2026, 3, 4));
        QTest::mouseClick(unit<QPushButton>(w, QStringLiteral("确定按钮")), Qt::LeftButton);
    });
    r.commands.modify({2, 3}, {1, 2, 3, 4});
    QCOMPARE(r.count(QStringLiteral("select count(*) from wj where b13='2026-03-04'")), 4);
    QCOMPARE(r.count(QStringLiteral("select count(*) from rz where nr like '修改文件：%，归档日期:2026-03-04'")), 4);
}

void BatchWindowsTest::modifyWindowWithoutSelection()
{
    WindowRig r;
    whenModal(BatchModify::WindowTitle, [&](QWidget* w) {
        QTest::mouseClick(unit<QPushButton>(w, QStringLiteral("确定按钮")), Qt::LeftButton);
        QCOMPARE(r.prompter.lastText(), BatchModify::NothingSelected);
        QTest::mouseClick(unit<QPushButton>(w, QStringLiteral("取消按钮")), Qt::LeftButton);
    });
    r.commands.modify({}, {});
    QCOMPARE(r.prompter.texts(), QStringList{BatchModify::NothingSelected});
}

void BatchWindowsTest::regroupCommands()
{
    WindowRig r;
    for (const QString& g : {QStringLiteral("A"), QStringLiteral("A\\B")}) {
        // Other content each time: nothing is held already.
        r.prompter.answerFiles(r.files(2, 64 + int(g.size())));
        r.prompter.answerYes();
        r.prompter.answerNo();
        whenModal(BatchImport::WindowTitle, [&](QWidget* w) {
            QTest::mouseClick(unit<QPushButton>(w, QStringLiteral("确定按钮")), Qt::LeftButton);
        });
        r.commands.importInto(g);
    }
    r.prompter.clear();
    r.commands.setGroupChooser([] { return std::optional<QString>(QStringLiteral("T")); });
    QSignalSpy reloads(&r.commands, &BatchCommands::reloadListRequested);

    r.prompter.answerYes();
    r.commands.moveGroupFiles(QStringLiteral("A"));
    QCOMPARE(r.prompter.texts(),
             (QStringList{Regroup::ConfirmGroup, QStringLiteral("批量调整完成! 原分组: A 新分组: T")}));
    QCOMPARE(r.count(QStringLiteral("select count(*) from wj where fz='T'")), 2);
    QCOMPARE(r.count(QStringLiteral("select count(*) from wj where fz='A\\B'")), 2);
    r.prompter.clear();

    r.prompter.answerYes();
    r.commands.moveRecords({3});
    QCOMPARE(r.prompter.texts(), (QStringList{Regroup::ConfirmRecords, Regroup::RecordsDone}));
    QCOMPARE(r.count(QStringLiteral("select count(*) from wj where fz='T'")), 3);
    QCOMPARE(reloads.count(), 2);
    r.prompter.clear();

    // "否" changes nothing.
    r.prompter.answerNo();
    r.commands.moveRecords({4});
    QCOMPARE(r.count(QStringLiteral("select count(*) from wj where fz='T'")), 3);
}

void BatchWindowsTest::dropOnGroupImports()
{
    WindowRig r;
    auto pane = makeTreePane(r.home.context(), r.s);
    QVERIFY(pane->reload());
    pane->resize(300, 300);
    pane->expandAll();
    pane->show();
    QVERIFY(QTest::qWaitForWindowExposed(pane.get()));
    QSignalSpy dropped(pane.get(), &GroupTreePane::filesDropped);

    const QString folder = r.sources.filePath(QStringLiteral("folder"));
    QVERIFY(QDir().mkpath(folder + QStringLiteral("/inner")));
    writeFile(folder, QStringLiteral("one.txt"), "1");
    writeFile(folder + QStringLiteral("/inner"), QStringLiteral("two.txt"), "2");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(folder)});

    auto drop = [&](const QString& path) {
        const GroupTree::Node* n = path.isEmpty() ? nullptr : pane->groups().findPath(path);
        QTreeWidgetItem* item = pane->itemOf(n ? n->id : 0);
        const QPoint at = pane->visualItemRect(item).center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(pane->viewport(), &enter);
        QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(pane->viewport(), &move);
        const bool accepted = move.isAccepted();
        QDropEvent dropEvent(at, Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(pane->viewport(), &dropEvent);
        QApplication::processEvents();
        return accepted;
    };
    // The root and a closed protected group take nothing.
    QVERIFY(!drop(QString()));
    QVERIFY(!drop(QStringLiteral("P")));
    QCOMPARE(dropped.count(), 0);
    QVERIFY(drop(QStringLiteral("A\\B")));
    QTRY_COMPARE(dropped.count(), 1);
    QCOMPARE(dropped.at(0).at(0).toString(), QStringLiteral("A\\B"));

    // What the main window does with it: the import of every file below the
    // folder, the folder and its folders as sub-groups of the group.
    r.prompter.answerYes();
    r.prompter.answerNo();
    whenModal(BatchImport::WindowTitle,
              [&](QWidget* w) { QTest::mouseClick(unit<QPushButton>(w, QStringLiteral("确定按钮")), Qt::LeftButton); });
    QSignalSpy groupsChanged(&r.commands, &BatchCommands::groupsChanged);
    r.commands.importDropped(dropped.at(0).at(0).toString(), dropped.at(0).at(1).toStringList());
    QCOMPARE(r.prompter.texts().first(), QStringLiteral("您选中了2个文件,确认导入 B 分组吗? 共:2BYTE"));
    QCOMPARE(r.count(QStringLiteral("select count(*) from wj where fz='A\\B\\folder' and mc='one'")), 1);
    QCOMPARE(r.count(QStringLiteral("select count(*) from wj where fz='A\\B\\folder\\inner' and mc='two'")), 1);
    QCOMPARE(groupsChanged.count(), 1);
    QVERIFY(pane->reload());
    QVERIFY(pane->groups().findPath(QStringLiteral("A\\B\\folder\\inner")));
}

KV_REGISTER_TEST(BatchWindowsTest)
#include "BatchWindowsTest.moc"
