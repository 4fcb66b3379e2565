#include "common/ScriptedPrompter.h"
#include "common/TestHome.h"
#include "common/TestRegistry.h"
#include "archive/GroupCopy.h"
#include "archive/GroupTestSupport.h"
#include "archive/GroupTree.h"
#include "archive/StoreFolder.h"
#include "archive/ui/GroupCopyWindow.h"
#include "archive/ui/GroupTreePane.h"
#include "platform/LongRuns.h"
#include "platform/Progress.h"
#include "shell/CommandRouter.h"
#include "shell/Commands.h"
#include "store/LogWriter.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace GroupTestSupport;
using Kind = GroupCopy::Outcome::Kind;

class GroupCopyTest : public QObject {
    Q_OBJECT
private slots:
    void copiesLandInTargetWithFreshNumbersAndOwnFiles();
    void closedProtectedFilesAreNotCopied();
    void fileOutsideStoreFolderIsReferenced();
    void cancelStopsTheRun();
    void leftoversAreNumberedNextTime();
    void failedRecordLeavesNothing_data();
    void failedRecordLeavesNothing();
    void refusals();
    void copyIntoOwnSubgroup();
    void windowCopiesThroughChooser();
    void windowCancelButtonStopsRun();
    void windowStoppedForExit();
    void treeCommandGuards();
};

namespace {

// Stops the run once `after` records are done.
class StopAfter final : public Progress {
public:
    explicit StopAfter(qint64 after) : m_after(after) {}
    void setRange(qint64, qint64 maximum) override { m_max = maximum; }
    void setValue(qint64 v) override { m_value = v; }
    bool cancelled() const override { return m_value >= m_after; }
    qint64 m_after, m_value = 0, m_max = 0;
};

struct CopyRig {
    TestHome home;
    DataStore& s = home.store();
    StoreFolder folder{home.context().home};
    LogWriter log{s, home.context().currentOperator};

    CopyRig()
    {
        GroupTree t(s, home.context().protectedGroups);
        t.load().ok();
        KV_CHECK(t.add(0, QStringLiteral("S")));
        KV_CHECK(t.add(t.findPath(QStringLiteral("S"))->id, QStringLiteral("sub")));
        KV_CHECK(t.add(t.findPath(QStringLiteral("S"))->id, QStringLiteral("P")));
        KV_CHECK(t.add(0, QStringLiteral("SX")));
        KV_CHECK(t.add(0, QStringLiteral("T")));
        KV_CHECK(t.setPassword(t.findPath(QStringLiteral("S\\P"))->id, {}, QStringLiteral("pw")));
    }
    // A record whose content lies in the store folder.
    qint64 addKept(const QString& name, const QString& group, const QByteArray& bytes, const QString& number)
    {
        const StoreFolder::Stored st = folder.storeBytes(bytes, number, QStringLiteral("bin"));
        if (!st)
            return -1;
        const qint64 id = addFile(s, name, group, number, st.storedPath);
        KV_CHECK(s.execute(QStringLiteral("update wj set lx='bin',dxsz=? where id=?"), {bytes.size(), id}));
        return id;
    }
    QStringList storeFiles() const
    {
        return QDir(folder.folder()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    GroupCopy::Outcome run(const QString& from, const QString& to, Progress& p)
    {
        GroupCopy copy(s, folder, home.context().protectedGroups, log);
        return copy.run(from, to, p);
    }
    GroupCopy::Outcome run(const QString& from, const QString& to)
    {
        NoProgress p;
        return run(from, to, p);
    }
    QByteArray keptBytes(qint64 id)
    {
        QFile f(folder.resolve(valueOf(s, QStringLiteral("select lj from wj where id=?"), {id}).toString()));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    int count(const QString& where, const QVariantList& params = {})
    {
        return valueOf(s, QStringLiteral("select count(*) from wj where ") + where, params).toInt();
    }
};

const QRegularExpression tenDigits(QStringLiteral("^\\d{10}$"));

}  // namespace

void GroupCopyTest::copiesLandInTargetWithFreshNumbersAndOwnFiles()
{
    CopyRig rig;
    DataStore& s = rig.s;
    const qint64 a = addFile(s, QStringLiteral("a"), QStringLiteral("S"));
    KV_CHECK(s.execute(
        QStringLiteral("update wj set b1='甲',b15='2026-01-01',bz='备注',ylcs=7,xgr='Bob',xgsj='2026-02-02 00:00:00'"
                       " where id=?"),
        {a}));
    const QByteArray big(3 * 1024 * 1024 + 17, 'k');
    const qint64 kept = rig.addKept(QStringLiteral("big"), QStringLiteral("S\\sub"), big, QStringLiteral("9100000001"));
    QVERIFY(kept > 0);
    addFile(s, QStringLiteral("b"), QStringLiteral("S\\sub"));
    addFile(s, QStringLiteral("trap"), QStringLiteral("SX"));
    KV_CHECK(s.execute(QStringLiteral("update zdbh set nr='42' where xm='文件编号'")));
    const QString originalLj = valueOf(s, QStringLiteral("select lj from wj where id=?"), {kept}).toString();

    const GroupCopy::Outcome out = rig.run(QStringLiteral("S"), QStringLiteral("T"));
    QCOMPARE(out.kind, Kind::Done);
    QCOMPARE(out.message, QStringLiteral("复制分组文件成功!"));
    QCOMPARE(out.copied, 3);

    // Every copy sits in the target itself, numbered from the counter.
    RecordSet rs = s.query(
        QStringLiteral("select id,bh,mc,fz,lj,b1,b15,bz,ylcs,xgr,xgsj,scr,scsj,xh from wj where id>? order by id"),
        {valueOf(s, QStringLiteral("select max(id) from wj where fz<>'T'"))});
    QStringList names, numbers;
    for (; !rs.atEnd(); rs.next()) {
        names << rs.text(2);
        numbers << rs.text(1);
        QCOMPARE(rs.text(3), QStringLiteral("T"));
        QVERIFY(tenDigits.match(rs.text(1)).hasMatch());
        QCOMPARE(rs.text(11), QStringLiteral("Admin"));
        QCOMPARE(rs.text(12), QStringLiteral("2026-01-02 03:04:05"));
        QCOMPARE(rs.number(8), 0);  // a copy has not been viewed yet
        QCOMPARE(rs.text(9), QString());
        QCOMPARE(rs.text(10), QString());
        QVERIFY(rs.number(13) > 0);
        if (rs.text(2) == QLatin1String("a")) {
            QCOMPARE(rs.text(5), QStringLiteral("甲"));
            QCOMPARE(rs.text(6), QStringLiteral("2026-01-01"));
            QCOMPARE(rs.text(7), QStringLiteral("备注"));
        }
        if (rs.text(2) == QLatin1String("big")) {
            QVERIFY(!rs.text(4).isEmpty());
            QVERIFY(rs.text(4) != originalLj);
            QCOMPARE(rig.keptBytes(rs.number(0)), big);
            // Deleting the copy's file leaves the original's.
            QVERIFY(rig.folder.remove(rs.text(4)));
            QCOMPARE(rig.keptBytes(kept), big);
        }
    }
    names.sort();
    QCOMPARE(names, (QStringList{"a", "b", "big"}));
    QStringList sorted = numbers;
    sorted.sort();
    QCOMPARE(sorted, (QStringList{"0000000042", "0000000043", "0000000044"}));
    QCOMPARE(valueOf(s, QStringLiteral("select nr from zdbh where xm='文件编号'")).toString(), QStringLiteral("45"));
    QCOMPARE(rig.count(QStringLiteral("bh='WWW'")), 0);
    // The originals stay where they were.
    QCOMPARE(rig.count(QStringLiteral("fz='S'")), 1);
    QCOMPARE(rig.count(QStringLiteral("fz='S\\sub'")), 2);
    QCOMPARE(valueOf(s, QStringLiteral("select nr from rz order by id desc")).toString(),
             QStringLiteral("复制分组：从源分组 S 到 目标分组 T"));
    QCOMPARE(valueOf(s, QStringLiteral("select czy from rz order by id desc")).toString(), QStringLiteral("Admin"));
    // No staged file is left behind.
    for (const QString& f : rig.storeFiles())
        QVERIFY2(!f.startsWith(QLatin1Char('.')), qPrintable(f));
}

void GroupCopyTest::closedProtectedFilesAreNotCopied()
{
    CopyRig rig;
    addFile(rig.s, QStringLiteral("a"), QStringLiteral("S"));
    addFile(rig.s, QStringLiteral("secret"), QStringLiteral("S\\P"));
    GroupCopy::Outcome out = rig.run(QStringLiteral("S"), QStringLiteral("T"));
    QCOMPARE(out.copied, 1);
    QCOMPARE(rig.count(QStringLiteral("fz='T' and mc='secret'")), 0);
    // Opened, its files go with the others.
    rig.home.context().protectedGroups.open(QStringLiteral("S\\P"));
    out = rig.run(QStringLiteral("S"), QStringLiteral("T"));
    QCOMPARE(out.copied, 2);
    QCOMPARE(rig.count(QStringLiteral("fz='T' and mc='secret'")), 1);
}

void GroupCopyTest::fileOutsideStoreFolderIsReferenced()
{
    CopyRig rig;
    QTemporaryDir outside;
    QVERIFY(outside.isValid());
    const QString path = outside.filePath(QStringLiteral("linked.bin"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("linked");
    f.close();
    addFile(rig.s, QStringLiteral("linked"), QStringLiteral("S"), QStringLiteral("0000000001"), path);
    const QStringList filesBefore = rig.storeFiles();
    const GroupCopy::Outcome out = rig.run(QStringLiteral("S"), QStringLiteral("T"));
    QCOMPARE(out.kind, Kind::Done);
    QCOMPARE(out.copied, 1);
    QCOMPARE(valueOf(rig.s, QStringLiteral("select lj from wj where fz='T'")).toString(), path);
    QCOMPARE(rig.storeFiles(), filesBefore);
    QVERIFY(QFile::exists(path));
}

void GroupCopyTest::cancelStopsTheRun()
{
    CopyRig rig;
    for (int i = 0; i < 5; ++i)
        addFile(rig.s, QStringLiteral("f%1").arg(i), QStringLiteral("S"));
    rig.addKept(QStringLiteral("k"), QStringLiteral("S"), QByteArray(2 * 1024 * 1024 + 5, 'q'),
                QStringLiteral("9100000002"));
    const QStringList filesBefore = rig.storeFiles();
    StopAfter stop(2);
    const GroupCopy::Outcome out = rig.run(QStringLiteral("S"), QStringLiteral("T"), stop);
    QCOMPARE(out.kind, Kind::Cancelled);
    QCOMPARE(out.message, QStringLiteral("复制文件取消!"));
    QCOMPARE(out.copied, 2);
    QCOMPARE(stop.m_max, 6);
    QCOMPARE(rig.count(QStringLiteral("fz='T'")), 2);
    QCOMPARE(rig.count(QStringLiteral("bh='WWW'")), 0);
    QCOMPARE(rig.storeFiles(), filesBefore);
    // What was copied is logged.
    QCOMPARE(valueOf(rig.s, QStringLiteral("select count(*) from rz where nr like '复制分组：%'")).toInt(), 1);

    // A cancel during the kept file's copy leaves no staged file either.
    KV_CHECK(rig.s.execute(QStringLiteral("delete from wj where fz='T'")));
    KV_CHECK(rig.s.execute(QStringLiteral("delete from wj where mc<>'k'")));
    StopAfter now(0);
    QCOMPARE(rig.run(QStringLiteral("S"), QStringLiteral("T"), now).kind, Kind::Cancelled);
    QCOMPARE(rig.storeFiles(), filesBefore);
}

void GroupCopyTest::leftoversAreNumberedNextTime()
{
    CopyRig rig;
    DataStore& s = rig.s;
    const QByteArray content(1500, 'z');
    const qint64 original =
        rig.addKept(QStringLiteral("k"), QStringLiteral("S"), content, QStringLiteral("9100000003"));
    const QString lj = valueOf(s, QStringLiteral("select lj from wj where id=?"), {original}).toString();
    // What an interrupted copy of an older version left: marked rows, one
    // sharing its original's kept file.
    const qint64 plain = addFile(s, QStringLiteral("left1"), QStringLiteral("T"), QStringLiteral("WWW"));
    const qint64 shared = addFile(s, QStringLiteral("left2"), QStringLiteral("T"), QStringLiteral("WWW"), lj);
    KV_CHECK(s.execute(QStringLiteral("update wj set lx='bin' where id=?"), {shared}));
    addFile(s, QStringLiteral("n"), QStringLiteral("SX"));

    const GroupCopy::Outcome out = rig.run(QStringLiteral("SX"), QStringLiteral("T"));
    QCOMPARE(out.kind, Kind::Done);
    QCOMPARE(out.renumbered, 2);
    QCOMPARE(out.copied, 1);
    QCOMPARE(rig.count(QStringLiteral("bh='WWW'")), 0);
    const QString n1 = valueOf(s, QStringLiteral("select bh from wj where id=?"), {plain}).toString();
    const QString n2 = valueOf(s, QStringLiteral("select bh from wj where id=?"), {shared}).toString();
    QVERIFY(tenDigits.match(n1).hasMatch());
    QVERIFY(tenDigits.match(n2).hasMatch());
    QVERIFY(n1 != n2);
    QVERIFY(valueOf(s, QStringLiteral("select lj from wj where id=?"), {shared}).toString() != lj);
    QCOMPARE(rig.keptBytes(shared), content);
    QCOMPARE(rig.keptBytes(original), content);
    // Numbers are unique across the table.
    QCOMPARE(
        valueOf(s, QStringLiteral("select count(*) from (select bh from wj group by bh having count(*)>1)")).toInt(),
        0);
}

void GroupCopyTest::failedRecordLeavesNothing_data()
{
    QTest::addColumn<QString>("match");
    QTest::addColumn<QString>("message");
    QTest::newRow("insert") << QStringLiteral("insert into wj") << QStringLiteral("复制分组失败! 01");
    QTest::newRow("counter") << QStringLiteral("zdbh") << QStringLiteral("更换编号失败! 01");
    QTest::newRow("number") << QStringLiteral("update wj set bh") << QStringLiteral("更换编号失败! 02");
    QTest::newRow("commit") << QStringLiteral("COMMIT") << QStringLiteral("更换编号失败! 02");
}

void GroupCopyTest::failedRecordLeavesNothing()
{
    QFETCH(QString, match);
    QFETCH(QString, message);
    CopyRig rig;
    DataStore& s = rig.s;
    rig.addKept(QStringLiteral("k"), QStringLiteral("S"), QByteArray(4000, 'y'), QStringLiteral("9100000004"));
    addFile(s, QStringLiteral("a"), QStringLiteral("S"));
    const QStringList filesBefore = rig.storeFiles();
    const QString counter = valueOf(s, QStringLiteral("select nr from zdbh where xm='文件编号'")).toString();
    const int rowsBefore = rig.count(QStringLiteral("1=1"));

    s.failNextStatements(1, match);
    const GroupCopy::Outcome out = rig.run(QStringLiteral("S"), QStringLiteral("T"));
    s.failNextStatements(0);
    QCOMPARE(out.kind, Kind::Failed);
    QCOMPARE(out.message, message);
    QCOMPARE(out.copied, 0);
    QCOMPARE(rig.count(QStringLiteral("1=1")), rowsBefore);
    QCOMPARE(rig.storeFiles(), filesBefore);
    QCOMPARE(valueOf(s, QStringLiteral("select nr from zdbh where xm='文件编号'")).toString(), counter);
    QCOMPARE(valueOf(s, QStringLiteral("select count(*) from rz")).toInt(), 0);
    QVERIFY(!s.inTransaction());
}

void GroupCopyTest::refusals()
{
    CopyRig rig;
    addFile(rig.s, QStringLiteral("secret"), QStringLiteral("S\\P"));
    QCOMPARE(rig.run(QStringLiteral("S"), QString()).message, QStringLiteral("没有选择目标分组!"));
    QCOMPARE(rig.run(QStringLiteral("S"), QStringLiteral("nowhere")).message, QStringLiteral("没有选择目标分组!"));
    QCOMPARE(rig.run(QStringLiteral("S\\P"), QStringLiteral("T")).message, GroupTree::NotOpen);
    QCOMPARE(rig.run(QStringLiteral("T"), QStringLiteral("S\\P")).message, GroupTree::NotOpen);
    QCOMPARE(rig.run(QString(), QStringLiteral("T")).kind, Kind::Refused);
    QCOMPARE(rig.count(QStringLiteral("1=1")), 1);
}

void GroupCopyTest::copyIntoOwnSubgroup()
{
    CopyRig rig;
    addFile(rig.s, QStringLiteral("a"), QStringLiteral("S"));
    addFile(rig.s, QStringLiteral("b"), QStringLiteral("S\\sub"));
    const GroupCopy::Outcome out = rig.run(QStringLiteral("S"), QStringLiteral("S\\sub"));
    QCOMPARE(out.kind, Kind::Done);
    QCOMPARE(out.copied, 2);
    QCOMPARE(rig.count(QStringLiteral("fz='S\\sub'")), 3);
}

void GroupCopyTest::windowCopiesThroughChooser()
{
    CopyRig rig;
    ScriptedPrompter prompter;
    addFile(rig.s, QStringLiteral("a"), QStringLiteral("S"));
    addFile(rig.s, QStringLiteral("b"), QStringLiteral("S\\sub"));
    GroupCopyWindow win(rig.s, StoreFolder(rig.home.context().home), rig.home.context().protectedGroups,
                        rig.home.context().currentOperator, QStringLiteral("S"));
    win.show();
    QCOMPARE(win.windowTitle(), QStringLiteral("复制分组文件"));
    QCOMPARE(win.frameGeometry().size(), QSize(573, 188));
    auto* source = win.findChild<QLineEdit*>(QStringLiteral("编辑框1"));
    auto* target = win.findChild<QLineEdit*>(QStringLiteral("编辑框2"));
    auto* choose = win.findChild<QPushButton*>(QStringLiteral("选择分组超级按钮"));
    auto* ok = win.findChild<QPushButton*>(QStringLiteral("确定按钮"));
    auto* bar = win.findChild<QProgressBar*>(QStringLiteral("进度条1"));
    QVERIFY(source && target && choose && ok && bar);
    QCOMPARE(source->text(), QStringLiteral("S"));
    QVERIFY(source->isReadOnly() && target->isReadOnly());
    QCOMPARE(choose->toolTip(), QStringLiteral("选择目标分组"));
    QCOMPARE(choose->geometry(), QRect(520, 16, 40, 24));
    QCOMPARE(bar->geometry(), QRect(8, 56, 552, 24));
    QCOMPARE(ok->geometry(), QRect(187, 104, 80, 24));

    QTest::mouseClick(ok, Qt::LeftButton);
    QCOMPARE(prompter.lastText(), QStringLiteral("没有选择目标分组!"));

    QString caption;
    whenModal(QStringLiteral("双击选择分组"), [&](QWidget* w) {
        caption = w->windowTitle();
        auto* tree = w->findChild<QTreeWidget*>(QStringLiteral("树型框1"));
        QTreeWidgetItem* it = tree->findItems(QStringLiteral("T"), Qt::MatchExactly | Qt::MatchRecursive).value(0);
        if (!it) {
            w->close();
            return;
        }
        const QPoint at = tree->visualItemRect(it).center();
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
    });
    QTest::mouseClick(choose, Qt::LeftButton);
    QCOMPARE(caption, QStringLiteral("双击选择目标分组"));
    QCOMPARE(target->text(), QStringLiteral("T"));
    TestHome::grab(&win, QStringLiteral("group-copy-window"));

    prompter.answerNo();
    QTest::mouseClick(ok, Qt::LeftButton);
    QCOMPARE(prompter.lastText(),
             QStringLiteral("即将复制 S 里所有文件到 T 里, 确定复制吗 ? "
                            "\r\n根据文件数可能需要一些时间，复制过程中不要进行其他操作..."));
    QCOMPARE(rig.count(QStringLiteral("fz='T'")), 0);
    prompter.answerYes();
    QTest::mouseClick(ok, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!win.isRunning(), 30000);
    QCOMPARE(prompter.lastText(), QStringLiteral("复制分组文件成功!"));
    QCOMPARE(rig.count(QStringLiteral("fz='T'")), 2);
    QCOMPARE(bar->value(), bar->maximum());
    QVERIFY(win.copiedAny());
    QVERIFY(!win.isVisible());
    QCOMPARE(prompter.unexpected(), 0);
}

void GroupCopyTest::windowCancelButtonStopsRun()
{
    CopyRig rig;
    ScriptedPrompter prompter;
    {
        Transaction tx(rig.s);
        for (int i = 0; i < 300; ++i)
            addFile(rig.s, QStringLiteral("f%1").arg(i), QStringLiteral("S"));
        QVERIFY(tx.commit());
    }
    GroupCopyWindow win(rig.s, StoreFolder(rig.home.context().home), rig.home.context().protectedGroups,
                        rig.home.context().currentOperator, QStringLiteral("S"));
    win.show();
    win.setTarget(QStringLiteral("T"));
    auto* bar = win.findChild<QProgressBar*>(QStringLiteral("进度条1"));
    auto* cancel = win.findChild<QPushButton*>(QStringLiteral("取消按钮"));
    // The operator presses "取消" once the bar has moved.
    QTimer watch;
    watch.setInterval(0);
    bool pressed = false;
    connect(&watch, &QTimer::timeout, [&] {
        if (!pressed && win.isRunning() && bar->value() >= 3) {
            pressed = true;
            QTest::mouseClick(cancel, Qt::LeftButton);
        }
    });
    watch.start();
    prompter.answerYes();
    QTest::mouseClick(win.findChild<QPushButton*>(QStringLiteral("确定按钮")), Qt::LeftButton);
    // The copy runs as a job; the window hears its end.
    QTRY_VERIFY_WITH_TIMEOUT(!win.isRunning(), 30000);
    watch.stop();
    QVERIFY(pressed);
    QCOMPARE(prompter.lastText(), QStringLiteral("复制文件取消!"));
    const int copied = rig.count(QStringLiteral("fz='T'"));
    QVERIFY2(copied >= 3 && copied < 300, qPrintable(QString::number(copied)));
    QCOMPARE(rig.count(QStringLiteral("bh='WWW'")), 0);
    // The window stays for another try; "取消" now closes it.
    QVERIFY(win.isVisible());
    QTest::mouseClick(cancel, Qt::LeftButton);
    QVERIFY(!win.isVisible());
    QCOMPARE(prompter.unexpected(), 0);
}

void GroupCopyTest::windowStoppedForExit()
{
    CopyRig rig;
    ScriptedPrompter prompter;
    {
        Transaction tx(rig.s);
        for (int i = 0; i < 300; ++i)
            addFile(rig.s, QStringLiteral("f%1").arg(i), QStringLiteral("S"));
        QVERIFY(tx.commit());
    }
    GroupCopyWindow win(rig.s, StoreFolder(rig.home.context().home), rig.home.context().protectedGroups,
                        rig.home.context().currentOperator, QStringLiteral("S"));
    win.show();
    win.setTarget(QStringLiteral("T"));
    auto* bar = win.findChild<QProgressBar*>(QStringLiteral("进度条1"));
    QVERIFY(!LongRuns::instance().underWay());
    // The exit asks every run under way to stop once the bar has moved.
    QTimer watch;
    watch.setInterval(0);
    QString title;
    connect(&watch, &QTimer::timeout, [&] {
        if (title.isEmpty() && win.isRunning() && bar->value() >= 3) {
            title = LongRuns::instance().title();
            LongRuns::instance().stopAll();
        }
    });
    watch.start();
    prompter.answerYes();
    QTest::mouseClick(win.findChild<QPushButton*>(QStringLiteral("确定按钮")), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!win.isRunning(), 30000);
    watch.stop();
    QCOMPARE(title, QStringLiteral("复制分组文件"));
    QVERIFY(!LongRuns::instance().underWay());
    QCOMPARE(prompter.lastText(), QStringLiteral("复制文件取消!"));
    const int copied = rig.count(QStringLiteral("fz='T'"));
    QVERIFY2(copied >= 3 && copied < 300, qPrintable(QString::number(copied)));
    QCOMPARE(rig.count(QStringLiteral("bh='WWW'")), 0);
    // The program is ending: the window goes with the run.
    QVERIFY(!win.isVisible());
    QCOMPARE(prompter.unexpected(), 0);
}

void GroupCopyTest::treeCommandGuards()
{
    CopyRig rig;
    ScriptedPrompter prompter;
    FakeWorkspace workspace;
    std::unique_ptr<GroupTreePane> panePtr = makeTreePane(rig.home.context(), rig.s);
    GroupTreePane& pane = *panePtr;
    CommandRouter router(&rig.home.context().currentOperator);
    wireTree(router, pane, workspace);
    pane.reload();
    pane.show();
    router.run(QLatin1String(Cmd::TreeCopyGroup));
    QCOMPARE(prompter.lastText(), GroupTree::NoGroupSelected);
    pane.selectGroup(pane.groups().findPath(QStringLiteral("S\\P"))->id);
    QCOMPARE(prompter.lastText(), GroupTree::NotOpen);
    // The refused group does not keep the selection.
    QCOMPARE(pane.selectedId(), qint64(0));
    // A group that closes while selected is refused by the command itself.
    const qint64 closed = pane.groups().findPath(QStringLiteral("S\\P"))->id;
    QVERIFY(pane.groups().open(closed, QStringLiteral("pw")));
    pane.selectGroup(closed);
    QCOMPARE(pane.selectedPath(), QStringLiteral("S\\P"));
    rig.home.context().protectedGroups.close(QStringLiteral("S\\P"));
    prompter.clear();
    router.run(QLatin1String(Cmd::TreeCopyGroup));
    QCOMPARE(prompter.lastText(), GroupTree::NotOpen);
    QCOMPARE(workspace.listReloads, 0);

    // From the tree, the copy reloads the list afterwards.
    addFile(rig.s, QStringLiteral("a"), QStringLiteral("S"));
    pane.selectGroup(pane.groups().findPath(QStringLiteral("S"))->id);
    whenModal(QStringLiteral("复制分组文件"), [&](QWidget* w) {
        auto* win = static_cast<GroupCopyWindow*>(w);
        QCOMPARE(win->findChild<QLineEdit*>(QStringLiteral("编辑框1"))->text(), QStringLiteral("S"));
        win->setTarget(QStringLiteral("T"));
        prompter.answerYes();
        QTest::mouseClick(win->findChild<QPushButton*>(QStringLiteral("确定按钮")), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!win->isRunning(), 30000);
        if (win->isVisible())
            win->reject();
    });
    router.run(QLatin1String(Cmd::TreeCopyGroup));
    QCOMPARE(prompter.lastText(), QStringLiteral("复制分组文件成功!"));
    QCOMPARE(workspace.listReloads, 1);
}

KV_REGISTER_TEST(GroupCopyTest)
#include "GroupCopyTest.moc"
