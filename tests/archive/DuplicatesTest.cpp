#include "common/ScriptedPrompter.h"
#include "common/TestHome.h"
#include "common/TestInput.h"
#include "common/TestRegistry.h"
#include "archive/BatchImport.h"
#include "archive/Duplicates.h"
#include "archive/FileRecords.h"
#include "archive/GroupTree.h"
#include "archive/StoreFolder.h"
#include "archive/ui/BatchImportWindow.h"
#include "archive/ui/EditPanel.h"
#include "archive/ui/ImportRunsWindow.h"
#include "settings/ui/LogViewerWindow.h"
#include "GroupTestSupport.h"
#include "store/DuplicateRows.h"
#include "store/ImportRuns.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using GroupTestSupport::whenModal;
using TestInput::writeFile;

namespace {

struct Rig {
    TestHome home;
    DataStore& s = home.store();
    ScriptedPrompter prompter;
    QTemporaryDir sources;
    Rig()
    {
        GroupTree t(s, home.context().protectedGroups);
        KV_CHECK(t.load());
        KV_CHECK(t.add(0, QStringLiteral("A")));
        KV_CHECK(t.add(0, QStringLiteral("T")));
        KV_CHECK(t.add(0, QStringLiteral("P")));
        KV_CHECK(t.setPassword(t.findPath(QStringLiteral("P"))->id, {}, QStringLiteral("pw")));
    }
    qint64 count(const QString& sql, const QVariantList& p = {}) { return valueOf(s, sql, p).toLongLong(); }
    QString file(const QString& name, const QByteArray& bytes) { return writeFile(sources.path(), name, bytes); }
    // A record stored as the add does, without any question.
    StoredRecord stored(const QString& name, const QByteArray& bytes, const QString& group)
    {
        FileRecords records(s, StoreFolder(home.context().home), home.context().currentOperator, 1 << 20);
        RecordFields f;
        f.name = name;
        f.group = group;
        const Result<StoredRecord> r = records.add(f, file(name + QStringLiteral(".txt"), bytes));
        KV_CHECK(r.ok());
        return r.ok() ? *r : StoredRecord{};
    }
    BatchImport::Setup setup(const QStringList& files)
    {
        AppContext& c = home.context();
        return {c.archive,
                StoreFolder(c.home),
                c.currentOperator,
                c.protectedGroups,
                1 << 20,
                QStringLiteral("T"),
                BatchImport::into(QStringLiteral("T"), files)};
    }
};

}  // namespace

class DuplicatesTest : public QObject {
    Q_OBJECT
private slots:
    void addAsksAndNamesTheHolder();
    void lookupsUseTheirIndexes();
    void batchSkipsAndCounts();
    void undoMovesExactlyTheRun();
    void logViewerUndoesALatestRun();
};

void DuplicatesTest::addAsksAndNamesTheHolder()
{
    Rig r;
    const StoredRecord first = r.stored(QStringLiteral("合同甲"), "same bytes", QStringLiteral("A"));
    r.stored(QStringLiteral("密件"), "secret bytes", QStringLiteral("P"));
    AppContext& c = r.home.context();
    EditPanel panel(r.s, StoreFolder(c.home), c.currentOperator, c.protectedGroups);
    panel.setFileLimits(c.fileTypes, QStringLiteral("1"));
    auto addThroughPanel = [&](const QString& path) {
        panel.startAdd(QStringLiteral("T"));
        r.prompter.answerText(path);
        QTest::mouseClick(panel.findChild<QToolButton*>(QStringLiteral("文件名称超级按钮")), Qt::LeftButton);
        r.prompter.answerYes();  // 确定要保存吗?
    };

    // "否" stores nothing and keeps the add pending; "是" stores it.
    addThroughPanel(r.file(QStringLiteral("副本.txt"), "same bytes"));
    r.prompter.answerNo();
    QVERIFY(!panel.save());
    QCOMPARE(
        r.prompter.lastText(),
        QStringLiteral("该文件与已有文件内容相同: 文件编号 %1, 名称 合同甲, 分组 A\r\n是否继续?").arg(first.number));
    QCOMPARE(r.count(QStringLiteral("select count(*) from wj where fz='T'")), 0);
    QCOMPARE(panel.mode(), EditPanel::Mode::Adding);
    r.prompter.answerYes();
    r.prompter.answerYes();
    QVERIFY(panel.save());
    QCOMPARE(r.count(QStringLiteral("select count(*) from wj where fz='T'")), 1);

    // A holder in a closed protected group is not named.
    r.prompter.clear();
    addThroughPanel(r.file(QStringLiteral("另一份.txt"), "secret bytes"));
    r.prompter.answerNo();
    QVERIFY(!panel.save());
    QCOMPARE(r.prompter.lastText(), Duplicates::InProtected + QStringLiteral("\r\n") + Duplicates::Continue);
    for (const QString& t : r.prompter.texts())
        QVERIFY2(!t.contains(QStringLiteral("密件")) && !t.contains(QStringLiteral("P")), qPrintable(t));
    QCOMPARE(r.prompter.unexpected(), 0);
}

void DuplicatesTest::lookupsUseTheirIndexes()
{
    Rig r;
    for (const QString& sql :
         {DuplicateRows::recordsStatement(), DuplicateRows::trashStatement(), DuplicateRows::versionsStatement()}) {
        RecordSet plan = r.s.query(QStringLiteral("explain query plan ") + sql, {QStringLiteral("00")});
        QVERIFY(plan);
        QVERIFY(!plan.atEnd());
        QVERIFY2(plan.text(3).contains(QStringLiteral("USING")), qPrintable(plan.text(3)));
        for (; !plan.atEnd(); plan.next())
            QVERIFY2(!plan.text(3).startsWith(QStringLiteral("SCAN")),
                     qPrintable(sql + QStringLiteral(": ") + plan.text(3)));
    }
}

void DuplicatesTest::batchSkipsAndCounts()
{
    Rig r;
    r.stored(QStringLiteral("旧"), "held", QStringLiteral("A"));
    // One held already, one twice in the run, one new.
    const QStringList files{r.file(QStringLiteral("a.txt"), "held"), r.file(QStringLiteral("b.txt"), "twice"),
                            r.file(QStringLiteral("c.txt"), "twice"), r.file(QStringLiteral("d.txt"), "new")};
    BatchImport::Setup setup = r.setup(files);
    setup.skipDuplicates = true;
    JobOf<BatchImport::Outcome> job(BatchImport::WindowTitle, BatchImport::job(setup));
    NoProgress quiet;
    QVERIFY(job.runHere(quiet).ok());
    const BatchImport::Outcome& out = job.result().value();
    QCOMPARE(out.imported, 2);
    QCOMPARE(out.duplicates, 2);
    QVERIFY2(out.message.contains(QStringLiteral("跳过内容相同的文件2个")), qPrintable(out.message));
    QCOMPARE(r.count(QStringLiteral("select count(*) from wj where fz='T'")), 2);
    QCOMPARE(r.count(QStringLiteral("select count(*) from drjl where pc=?"), {out.run}), 2);
}

void DuplicatesTest::undoMovesExactlyTheRun()
{
    Rig r;
    const StoredRecord before = r.stored(QStringLiteral("早先"), "before", QStringLiteral("T"));
    const QStringList files{r.file(QStringLiteral("x.txt"), "x1"), r.file(QStringLiteral("y.txt"), "y1"),
                            r.file(QStringLiteral("z.txt"), "x1")};
    BatchImportWindow w(r.setup(files));
    r.prompter.answerYes();  // z.txt holds what x.txt brought: stored anyway
    r.prompter.answerYes();  // 撤销本次导入
    whenModal(BatchImport::WindowTitle, [&](QWidget* window) {
        QVERIFY(!window->findChild<QCheckBox*>(QStringLiteral("跳过相同内容"))->isChecked());
        QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("确定按钮")), Qt::LeftButton);
    });
    w.exec();
    QCOMPARE(w.outcome().imported, 3);
    QVERIFY(w.undone());
    QVERIFY2(r.prompter.texts().at(0).startsWith(QStringLiteral("z.txt\r\n该文件与已有文件内容相同")),
             qPrintable(r.prompter.texts().at(0)));
    // Only the run's records left the list; the one before stays; the run is undone.
    QCOMPARE(r.count(QStringLiteral("select count(*) from wj")), 1);
    QCOMPARE(r.count(QStringLiteral("select id from wj")), before.id);
    QCOMPARE(r.count(QStringLiteral("select cx from drpc where id=?"), {w.outcome().run}), 1);
    const Result<QList<qint64>> ran = ImportRuns::ids(r.s, w.outcome().run);
    QVERIFY(ran.ok());
    QCOMPARE(ran->size(), 3);
    QCOMPARE(r.count(QStringLiteral("select count(*) from wjhs where id in (select wjid from drjl where pc=?)"),
                     {w.outcome().run}),
             3);
    QCOMPARE(r.count(QStringLiteral("select count(*) from wjhs")), 3);
    QCOMPARE(r.count(QStringLiteral("select count(*) from rz where nr like '撤销导入：%'")), 1);
    QCOMPARE(r.prompter.unexpected(), 0);
}

void DuplicatesTest::logViewerUndoesALatestRun()
{
    Rig r;
    BatchImport::Setup setup = r.setup({r.file(QStringLiteral("m.txt"), "m1"), r.file(QStringLiteral("n.txt"), "n1")});
    JobOf<BatchImport::Outcome> job(BatchImport::WindowTitle, BatchImport::job(setup));
    NoProgress quiet;
    QVERIFY(job.runHere(quiet).ok());
    const qint64 run = job.result()->run;
    // A run into a closed protected group is neither listed nor named.
    QVERIFY(r.s.execute(QStringLiteral("insert into drpc(sj,czy,fz,sl) values ('2026-01-01 08:00:00','Admin','P',1)")));
    QVERIFY(r.s.execute(QStringLiteral("insert into drjl(pc,wjid) values (?,?)"), {r.s.lastInsertId(), 999}));

    AppContext& c = r.home.context();
    LogViewerWindow viewer(r.s, c.currentOperator);
    viewer.setImportUndo(StoreFolder(c.home), &c.protectedGroups);
    r.prompter.answerYes();  // 撤销本次导入将把本次导入的 2 个文件移入回收站, 确定吗?
    whenModal(ImportRunsWindow::Title, [&](QWidget* w) {
        auto* table = w->findChild<QTableWidget*>(QStringLiteral("导入表格"));
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(table->item(0, 2)->text(), QStringLiteral("T"));
        QCOMPARE(table->item(0, 3)->text(), QStringLiteral("2"));
        TestHome::grab(w, QStringLiteral("import-runs"));
        QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("撤销按钮")), Qt::LeftButton);
        // Undone: the run is no longer offered.
        QCOMPARE(table->rowCount(), 0);
        w->close();
    });
    QTest::mouseClick(viewer.undoImportButton(), Qt::LeftButton);
    QCOMPARE(r.prompter.texts().first(), BatchImport::undoQuestion(2));
    QCOMPARE(r.count(QStringLiteral("select count(*) from wj")), 0);
    QCOMPARE(r.count(QStringLiteral("select cx from drpc where id=?"), {run}), 1);
    QCOMPARE(r.prompter.unexpected(), 0);
}

KV_REGISTER_TEST(DuplicatesTest)
#include "DuplicatesTest.moc"
