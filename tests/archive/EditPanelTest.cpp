#include "archive/FileRecords.h"
#include "archive/GroupTree.h"
#include "archive/SpareTitles.h"
#include "archive/ui/DeleteProgressWindow.h"
#include "archive/ui/EditPanel.h"
#include "archive/ui/PropertiesWindow.h"
#include "common/ScriptedPrompter.h"
#include "common/TestHome.h"
#include "common/TestRegistry.h"
#include "platform/Clock.h"
#include "platform/LongRuns.h"
#include "shell/CommandRouter.h"
#include "shell/Commands.h"
#include "shell/Workspace.h"
#include "shell/ui/CommandTable.h"
#include "store/DataStore.h"
#include "store/FieldOptions.h"
#include "common/TestInput.h"

using TestInput::pattern;
using TestInput::readFile;
using TestInput::typeText;

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

namespace {

class FakeWorkspace final : public Workspace {
public:
    QList<qint64> selected;
    qint64 current = -1;
    QString group;
    QString name;
    bool root = true;
    int listReloads = 0;
    QList<int> progress;

    QList<qint64> selectedIds() const override { return selected; }
    qint64 currentId() const override { return current; }
    QString currentName() const override { return name; }
    QList<Column> shownColumns() const override { return {}; }
    QString selectedGroupPath() const override { return group; }
    bool isRootSelected() const override { return root; }
    void reloadList() override { ++listReloads; }
    void reloadTree() override {}
    void setProgress(int percent) override { progress << percent; }
    void select(qint64 id)
    {
        current = id;
        selected = {id};
    }
};

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

}  // namespace

class EditPanelTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void unitsAtTheirPlaces_data();
    void unitsAtTheirPlaces();
    void spareCaptionsFollowTitles();
    void fileFilterFollowsAllowedTypes();

    void endToEnd();
    void sameNameAsksAndKeepsBoth();
    void failedAddKeepsPendingAndLeavesNoTrace_data();
    void failedAddKeepsPendingAndLeavesNoTrace();
    void refusals();
    void dirtyCheckOnLeaving();
    void cancelDropsPendingAdd();
    void deleteGoesOnAfterRefusedRecord();
    void rightsAreTestedByTheRouter();
    void failedLogWriteIsShownAndAddStands();
    void deletionWindow();
    void deletionCancelledBetweenRecords_data();
    void deletionCancelledBetweenRecords();
    void failedGroupReadIsADatabaseFailure_data();
    void failedGroupReadIsADatabaseFailure();
    void failedTitleReadIsReported();
    void addInClosedProtectedGroupRefused();
    void propertiesOfVanishedRecordNameIt();
    void propertiesWindow();

private:
    QString writeSource(const QString& name, const QByteArray& bytes)
    {
        const QString path = QDir(m_src->path()).filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            return {};
        return path;
    }
    template <typename T> T* unit(const QString& name) { return m_panel->findChild<T*>(name); }
    void click(const QString& button) { QTest::mouseClick(unit<QToolButton>(button), Qt::LeftButton); }
    // Adds a file through the panel as an operator does; returns the new id.
    qint64 addThroughPanel(const QString& path, const QString& group);
    void wirePanel();
    QString store() const { return m_home->context().home.storeFolder(); }
    qint64 count(const QString& sql, const QVariantList& p = {})
    {
        return valueOf(m_home->store(), sql, p).toLongLong();
    }

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<QTemporaryDir> m_src;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<FakeWorkspace> m_workspace;
    std::unique_ptr<CommandRouter> m_router;
    std::unique_ptr<EditPanel> m_panel;
    QStringList m_denied;
    std::optional<QString> m_nextGroup;
    std::optional<QString> m_nextOption;
    FixedClock m_clock{QDateTime(QDate(2026, 5, 6), QTime(8, 0, 0))};
};

void EditPanelTest::init()
{
    setAppClock(&m_clock);
    m_home = std::make_unique<TestHome>();
    QVERIFY(m_home->isValid());
    m_src = std::make_unique<QTemporaryDir>();
    DataStore& s = m_home->store();
    QVERIFY(s.execute(QStringLiteral("insert into wjfz(fxmid,xmmc,tpid,xztp,mm) values (0,'合同',0,0,'')")));
    QVERIFY(s.execute(QStringLiteral("insert into wjfz(fxmid,xmmc,tpid,xztp,mm) values (1,'2026',0,0,'')")));
    QVERIFY(FieldOptions::save(s, 6, {QStringLiteral("甲方"), QStringLiteral("乙方")}));
    // 10 KiB bound: the small files go into the database, the big ones outside.
    m_prompter = std::make_unique<ScriptedPrompter>();
    m_workspace = std::make_unique<FakeWorkspace>();
    m_router = std::make_unique<CommandRouter>(&m_home->context().currentOperator);
    m_router->setDeniedHandler([this](const QString& id) { m_denied << id; });
    AppContext& c = m_home->context();
    m_panel = std::make_unique<EditPanel>(s, StoreFolder(c.home), c.currentOperator, c.protectedGroups);
    m_panel->setFileLimits(c.fileTypes, QStringLiteral("0.009765625"));
    wirePanel();
    m_panel->setGroupChooser([this] {
        auto g = m_nextGroup;
        m_nextGroup.reset();
        return g;
    });
    m_panel->setOptionChooser([this](int field, const QStringList& options) -> std::optional<QString> {
        if (field != 0 || !options.contains(m_nextOption.value_or(QString())))
            return std::nullopt;
        return m_nextOption;
    });
    m_panel->show();
    m_denied.clear();
}

// The panel's commands as the main window's command table wires them, with
// the fake workspace standing in for the list and the tree.
void EditPanelTest::wirePanel()
{
    FakeWorkspace* w = m_workspace.get();
    EditPanel* p = m_panel.get();
    auto add = [this](const char* id, std::function<void()> handler) {
        m_router->add(QString::fromLatin1(id), CommandTable::rightOf(QString::fromLatin1(id)), std::move(handler));
    };
    auto currentOrFirst = [w] {
        return w->current >= 0 ? w->current : (w->selected.isEmpty() ? -1 : w->selected.first());
    };
    add(Cmd::Add, [p] { p->startAdd(); });
    add(Cmd::TreeAddFile, [p, w] { p->startAdd(w->root ? QString() : w->group); });
    add(Cmd::Modify, [p, w] { p->startModify(w->current); });
    add(Cmd::Save, [p] { p->save(); });
    add(Cmd::Cancel, [p, w] { p->cancel(w->current); });
    add(Cmd::Delete, [p, w] { p->deleteRecords(w->selected); });
    add(Cmd::FileDelete, [p, w] { p->deleteRecords(w->selected); });
    add(Cmd::FileSaveAs, [p, currentOrFirst] { p->saveAs(currentOrFirst()); });
    add(Cmd::IconSaveAs, [p, currentOrFirst] { p->saveAs(currentOrFirst()); });
    add(Cmd::FileProperties, [p, w] { p->showProperties(w->current, w->currentName()); });
    connect(p, &EditPanel::reloadListRequested, this, [w] { w->reloadList(); });
    connect(p, &EditPanel::progressChanged, this, [w](int percent) { w->setProgress(percent); });
}

void EditPanelTest::cleanup()
{
    if (m_prompter)
        QCOMPARE(m_prompter->unexpected(), 0);
    m_panel.reset();
    m_router.reset();
    m_workspace.reset();
    m_prompter.reset();
    m_home.reset();
    m_src.reset();
    setAppClock(nullptr);
}

qint64 EditPanelTest::addThroughPanel(const QString& path, const QString& group)
{
    if (m_router->run(QString::fromLatin1(Cmd::Add)) != CommandRouter::Outcome::Ran)
        return -1;
    m_prompter->answerText(path);
    click(QStringLiteral("文件名称超级按钮"));
    m_nextGroup = group;
    click(QStringLiteral("文件分组超级按钮"));
    m_prompter->answerYes();  // 确定要保存吗?
    m_router->run(QString::fromLatin1(Cmd::Save));
    if (m_panel->mode() != EditPanel::Mode::Showing)
        return -1;
    return m_panel->shownId();
}

void EditPanelTest::unitsAtTheirPlaces_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("编号编辑框") << QStringLiteral("编号编辑框") << QRect(64, 8, 128, 20);
    QTest::newRow("名称编辑框") << QStringLiteral("名称编辑框") << QRect(272, 8, 336, 20);
    QTest::newRow("文件名称超级按钮") << QStringLiteral("文件名称超级按钮") << QRect(608, 8, 20, 20);
    QTest::newRow("分组编辑框") << QStringLiteral("分组编辑框") << QRect(64, 32, 128, 20);
    QTest::newRow("文件分组超级按钮") << QStringLiteral("文件分组超级按钮") << QRect(192, 32, 20, 20);
    QTest::newRow("类型编辑框") << QStringLiteral("类型编辑框") << QRect(272, 32, 128, 20);
    QTest::newRow("大小编辑框") << QStringLiteral("大小编辑框") << QRect(480, 32, 128, 20);
    QTest::newRow("标签1") << QStringLiteral("标签1") << QRect(8, 8, 80, 24);
    QTest::newRow("标签5") << QStringLiteral("标签5") << QRect(424, 32, 56, 24);
    QTest::newRow("b1标签") << QStringLiteral("b1标签") << QRect(8, 56, 56, 24);
    QTest::newRow("b2标签") << QStringLiteral("b2标签") << QRect(216, 56, 56, 20);
    QTest::newRow("b1编辑框") << QStringLiteral("b1编辑框") << QRect(64, 56, 128, 20);
    QTest::newRow("b3超级按钮") << QStringLiteral("b3超级按钮") << QRect(608, 56, 20, 20);
    QTest::newRow("b8编辑框") << QStringLiteral("b8编辑框") << QRect(272, 104, 128, 20);
    QTest::newRow("b12超级按钮") << QStringLiteral("b12超级按钮") << QRect(608, 128, 20, 20);
    QTest::newRow("b13编辑框") << QStringLiteral("b13编辑框") << QRect(64, 152, 128, 20);
    QTest::newRow("b15超级按钮") << QStringLiteral("b15超级按钮") << QRect(608, 152, 20, 20);
    QTest::newRow("日期框1") << QStringLiteral("日期框1") << QRect(64, 152, 128, 20);
    QTest::newRow("日期框3") << QStringLiteral("日期框3") << QRect(480, 152, 128, 20);
    QTest::newRow("备注编辑框") << QStringLiteral("备注编辑框") << QRect(8, 176, 624, 48);
}

void EditPanelTest::unitsAtTheirPlaces()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QCOMPARE(m_panel->objectName(), QStringLiteral("外形框1"));
    QCOMPARE(m_panel->size(), QSize(640, 232));
    QWidget* w = m_panel->findChild<QWidget*>(name);
    QVERIFY2(w, qPrintable(name));
    QCOMPARE(w->geometry(), geometry);
    if (name.startsWith(QStringLiteral("日期框")))
        QVERIFY(!w->isVisible());
    QCOMPARE(unit<QToolButton>(QStringLiteral("文件名称超级按钮"))->toolTip(), QStringLiteral("选择文件"));
    QCOMPARE(unit<QToolButton>(QStringLiteral("b12超级按钮"))->text(), QStringLiteral("…"));
    QCOMPARE(unit<QToolButton>(QStringLiteral("b13超级按钮"))->text(), QStringLiteral("▼"));
    QCOMPARE(unit<QLabel>(QStringLiteral("标签1"))->text(), QStringLiteral("文件编号:"));
}

void EditPanelTest::spareCaptionsFollowTitles()
{
    QCOMPARE(unit<QLabel>(QStringLiteral("b1标签"))->text(), QStringLiteral("备用字段:"));
    QVERIFY(m_home->store().execute(QStringLiteral("update lbsz set btm='合同方' where bh=6 and bm='wj'")));
    QVERIFY(m_home->store().execute(QStringLiteral("update lbsz set btm='签订日' where bh=20 and bm='wj'")));
    m_panel->reloadTitles();
    QCOMPARE(unit<QLabel>(QStringLiteral("b1标签"))->text(), QStringLiteral("合同方:"));
    QCOMPARE(unit<QLabel>(QStringLiteral("b15标签"))->text(), QStringLiteral("签订日:"));
    QCOMPARE(unit<QLabel>(QStringLiteral("b2标签"))->text(), QStringLiteral("备用字段:"));
}

void EditPanelTest::fileFilterFollowsAllowedTypes()
{
    m_router->run(QString::fromLatin1(Cmd::Add));
    m_prompter->answerCancel();
    click(QStringLiteral("文件名称超级按钮"));
    QCOMPARE(m_prompter->lastFilter(), QStringLiteral("所有文件 (*)"));
    m_panel->setFileLimits(QStringLiteral("pdf，doc"), QStringLiteral("0.009765625"));
    m_prompter->answerCancel();
    click(QStringLiteral("文件名称超级按钮"));
    QCOMPARE(m_prompter->lastFilter(), QStringLiteral("文件 (*.pdf *.PDF *.doc *.DOC)"));
    QVERIFY(unit<QLineEdit>(QStringLiteral("名称编辑框"))->text().isEmpty());
}

void EditPanelTest::endToEnd()
{
    DataStore& s = m_home->store();
    const QByteArray smallBytes = pattern(700, 's');
    const QByteArray bigBytes = pattern(50000, 'b');
    const QString small = writeSource(QStringLiteral("会议 纪要 'v1'.final.txt"), smallBytes);
    const QString big = writeSource(QStringLiteral("scan.pdf"), bigBytes);

    // --- add into the database, filling spare fields and the remark
    QCOMPARE(m_router->run(QString::fromLatin1(Cmd::Add)), CommandRouter::Outcome::Ran);
    QCOMPARE(m_panel->mode(), EditPanel::Mode::Adding);
    m_prompter->answerText(small);
    click(QStringLiteral("文件名称超级按钮"));
    QCOMPARE(unit<QLineEdit>(QStringLiteral("名称编辑框"))->text(), QStringLiteral("会议 纪要 'v1'.final"));
    QCOMPARE(unit<QLineEdit>(QStringLiteral("类型编辑框"))->text(), QStringLiteral("txt"));
    QCOMPARE(unit<QLineEdit>(QStringLiteral("大小编辑框"))->text(), QStringLiteral("700BYTE"));
    m_nextGroup = QStringLiteral("合同");
    click(QStringLiteral("文件分组超级按钮"));
    QCOMPARE(unit<QLineEdit>(QStringLiteral("分组编辑框"))->text(), QStringLiteral("合同"));
    m_nextOption = QStringLiteral("乙方");
    click(QStringLiteral("b1超级按钮"));
    QCOMPARE(unit<QLineEdit>(QStringLiteral("b1编辑框"))->text(), QStringLiteral("乙方"));
    // Accepted as it opens, the box gives the date it shows.
    click(QStringLiteral("b14超级按钮"));
    QTest::keyClick(unit<QDateEdit>(QStringLiteral("日期框2")), Qt::Key_Return);
    QCOMPARE(unit<QLineEdit>(QStringLiteral("b14编辑框"))->text(),
             QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
    click(QStringLiteral("b13超级按钮"));
    auto* date = unit<QDateEdit>(QStringLiteral("日期框1"));
    QVERIFY(date->isVisible());
    date->setDate(QDate(2026, 4, 30));
    QCOMPARE(unit<QLineEdit>(QStringLiteral("b13编辑框"))->text(), QStringLiteral("2026-04-30"));
    typeText(unit<QLineEdit>(QStringLiteral("b5编辑框")), QStringLiteral("第5栏"));
    typeText(unit<QPlainTextEdit>(QStringLiteral("备注编辑框")), QStringLiteral("原件存档"));
    TestHome::grab(m_panel.get(), QStringLiteral("EditPanel-adding"));

    m_prompter->answerYes();
    QCOMPARE(m_router->run(QString::fromLatin1(Cmd::Save)), CommandRouter::Outcome::Ran);
    QCOMPARE(m_prompter->shown().at(1).kind, ScriptedPrompter::Kind::Question);
    QCOMPARE(m_prompter->shown().at(1).text, QStringLiteral("确定要保存吗?"));
    QCOMPARE(m_prompter->shown().at(1).title, QStringLiteral("新增保存"));
    QCOMPARE(m_prompter->messages(), QStringList{QStringLiteral("0000000001 会议 纪要 'v1'.final.txt 保存成功!")});
    QCOMPARE(m_panel->mode(), EditPanel::Mode::Showing);
    QCOMPARE(m_workspace->listReloads, 1);
    const qint64 smallId = m_panel->shownId();
    QCOMPARE(unit<QLineEdit>(QStringLiteral("编号编辑框"))->text(), QStringLiteral("0000000001"));
    QVERIFY(unit<QLineEdit>(QStringLiteral("名称编辑框"))->isReadOnly());
    {
        RecordSet rs = s.query(QStringLiteral("select mc,fz,lx,dx,dxsz,b1,b5,b13,bz,lj,(select nr from wjnr where "
                                              "wjnr.id=wj.id),scr,scsj from wj where id=?"),
                               {smallId});
        QVERIFY(!rs.atEnd());
        QCOMPARE(rs.text(0), QStringLiteral("会议 纪要 'v1'.final"));
        QCOMPARE(rs.text(1), QStringLiteral("合同"));
        QCOMPARE(rs.text(3), QStringLiteral("700BYTE"));
        QCOMPARE(rs.text(5), QStringLiteral("乙方"));
        QCOMPARE(rs.text(6), QStringLiteral("第5栏"));
        QCOMPARE(rs.text(7), QStringLiteral("2026-04-30"));
        QCOMPARE(rs.text(8), QStringLiteral("原件存档"));
        QCOMPARE(rs.text(9), QString());
        QCOMPARE(rs.bytes(10), smallBytes);
        QCOMPARE(rs.text(12), QStringLiteral("2026-05-06 08:00:00"));
    }
    QVERIFY(entries(store()).isEmpty());

    // --- add into the store folder from the tree's "当前分组中增加文件"
    m_prompter->clear();
    m_workspace->root = false;
    m_workspace->group = QStringLiteral("合同\\2026");
    QCOMPARE(m_router->run(QString::fromLatin1(Cmd::TreeAddFile)), CommandRouter::Outcome::Ran);
    QCOMPARE(unit<QLineEdit>(QStringLiteral("分组编辑框"))->text(), QStringLiteral("合同\\2026"));
    m_prompter->answerText(big);
    click(QStringLiteral("文件名称超级按钮"));
    m_prompter->answerYes();
    m_router->run(QString::fromLatin1(Cmd::Save));
    QCOMPARE(m_panel->mode(), EditPanel::Mode::Showing);
    const qint64 bigId = m_panel->shownId();
    QVERIFY(bigId != smallId);
    QCOMPARE(entries(store()), QStringList{QStringLiteral("0000000002.pdf")});
    QCOMPARE(readFile(QDir(store()).filePath(QStringLiteral("0000000002.pdf"))), bigBytes);

    // --- the list holds both, in entry order
    {
        RecordSet rs = s.query(QStringLiteral("select bh,fz,dx,lj,coalesce(length((select nr from wjnr where "
                                              "wjnr.id=wj.id)),0) from wj order by xh asc"));
        QStringList rows;
        for (; !rs.atEnd(); rs.next())
            rows << QStringList{rs.text(0), rs.text(1), rs.text(2), rs.text(3), rs.text(4)}.join(QLatin1Char('|'));
        QCOMPARE(rows,
                 (QStringList{QStringLiteral("0000000001|合同|700BYTE||700"),
                              QStringLiteral("0000000002|合同\\2026|48.82KB|Data/Lf/0000000002.pdf|0")}));
    }

    // --- save as, from the database and from the store folder
    QTemporaryDir out;
    m_prompter->clear();
    m_workspace->select(smallId);
    m_prompter->answerText(out.filePath(QStringLiteral("a.txt")));
    QCOMPARE(m_router->run(QString::fromLatin1(Cmd::FileSaveAs)), CommandRouter::Outcome::Ran);
    QCOMPARE(m_prompter->shown().first().title, QStringLiteral("请选择保存位置"));
    QCOMPARE(m_prompter->lastFilter(), QStringLiteral("文件 (*.txt)"));
    QCOMPARE(m_prompter->lastText(), QStringLiteral("0000000001 会议 纪要 'v1'.final.txt 另存成功 !"));
    QCOMPARE(readFile(out.filePath(QStringLiteral("a.txt"))), smallBytes);
    m_workspace->select(bigId);
    m_prompter->answerText(out.filePath(QStringLiteral("b.pdf")));
    m_router->run(QString::fromLatin1(Cmd::IconSaveAs));
    QCOMPARE(readFile(out.filePath(QStringLiteral("b.pdf"))), bigBytes);
    QCOMPARE(count(QStringLiteral("select count(*) from rz where nr like '导出文件：%'")), qint64(2));

    // --- modify: fields only, content kept
    m_prompter->clear();
    m_workspace->select(smallId);
    m_router->run(QString::fromLatin1(Cmd::Modify));
    QCOMPARE(m_panel->mode(), EditPanel::Mode::Modifying);
    QVERIFY(!unit<QLineEdit>(QStringLiteral("名称编辑框"))->isReadOnly());
    typeText(unit<QLineEdit>(QStringLiteral("名称编辑框")), QStringLiteral(" 改"));
    m_nextGroup = QStringLiteral("合同\\2026");
    click(QStringLiteral("文件分组超级按钮"));
    m_prompter->answerYes();
    m_router->run(QString::fromLatin1(Cmd::Save));
    QCOMPARE(m_prompter->shown().first().text,
             QStringLiteral("会议 纪要 'v1'.final 改,已被修改,确定重新保存到数据库吗?"));
    QCOMPARE(m_panel->mode(), EditPanel::Mode::Showing);
    QCOMPARE(
        valueOf(s, QStringLiteral("select mc||'|'||fz||'|'||xgr||'|'||lj from wj where id=?"), {smallId}).toString(),
        QStringLiteral("会议 纪要 'v1'.final 改|合同\\2026|Admin|"));
    QCOMPARE(valueOf(s, QStringLiteral("select nr from wjnr where id=?"), {smallId}).toByteArray(), smallBytes);
    QCOMPARE(entries(store()), QStringList{QStringLiteral("0000000002.pdf")});

    // --- modify: content replaced by a big file, which moves it to the store folder
    const QByteArray replacement = pattern(30000, 'r');
    const QString repl = writeSource(QStringLiteral("新版.docx"), replacement);
    m_prompter->clear();
    m_router->run(QString::fromLatin1(Cmd::Modify));
    m_prompter->answerText(repl);
    click(QStringLiteral("文件名称超级按钮"));
    m_prompter->answerYes();
    m_router->run(QString::fromLatin1(Cmd::Save));
    QCOMPARE(m_panel->mode(), EditPanel::Mode::Showing);
    QCOMPARE(valueOf(s,
                     QStringLiteral("select mc||'|'||lx||'|'||lj||'|'||coalesce(length((select nr from wjnr where "
                                    "wjnr.id=wj.id)),0)||'|'||dxsz from wj where id=?"),
                     {smallId})
                 .toString(),
             QStringLiteral("新版|docx|Data/Lf/0000000001.docx|0|30000"));
    QCOMPARE(entries(store()), (QStringList{QStringLiteral("0000000001.docx"), QStringLiteral("0000000002.pdf")}));
    QCOMPARE(readFile(QDir(store()).filePath(QStringLiteral("0000000001.docx"))), replacement);

    // --- delete both
    m_prompter->clear();
    m_workspace->selected = {smallId, bigId};
    m_prompter->answerYes();
    QCOMPARE(m_router->run(QString::fromLatin1(Cmd::Delete)), CommandRouter::Outcome::Ran);
    QCOMPARE(m_prompter->shown().first().text, QStringLiteral("确定删除选择的 2 个文件吗 ? "));
    QCOMPARE(count(QStringLiteral("select count(*) from wj")), qint64(0));
    // Into the trash, their files with them.
    QCOMPARE(count(QStringLiteral("select count(*) from wjhs")), qint64(2));
    QCOMPARE(count(QStringLiteral("select count(*) from rz where nr like '删除文件：%'")), qint64(2));
    QCOMPARE(count(QStringLiteral("select count(*) from rz where nr like '增加文件：%'")), qint64(2));
    QCOMPARE(count(QStringLiteral("select count(*) from rz where nr like '修改文件：%'")), qint64(2));
}

void EditPanelTest::sameNameAsksAndKeepsBoth()
{
    DataStore& s = m_home->store();
    const QString a = writeSource(QStringLiteral("报告.pdf"), pattern(20000, 'a'));
    const qint64 first = addThroughPanel(a, QStringLiteral("合同"));
    QVERIFY(first > 0);

    QTemporaryDir other;
    const QString bPath = other.filePath(QStringLiteral("报告.pdf"));
    {
        QFile f(bPath);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(pattern(20000, 'b'));
    }
    m_prompter->clear();
    m_router->run(QString::fromLatin1(Cmd::Add));
    m_prompter->answerText(bPath);
    click(QStringLiteral("文件名称超级按钮"));
    m_nextGroup = QStringLiteral("合同\\2026");
    click(QStringLiteral("文件分组超级按钮"));
    m_prompter->answerYes();  // 确定要保存吗?
    m_prompter->answerNo();   // the same-name question
    m_router->run(QString::fromLatin1(Cmd::Save));
    QCOMPARE(m_prompter->shown().at(2).text,
             QStringLiteral(
                 "系统中存在重名文件! 是否继续?\r\n0000000001 报告.pdf 所属分组:\\合同 上传时间:2026-05-06 08:00:00"));
    QCOMPARE(m_panel->mode(), EditPanel::Mode::Adding);  // the pending add stays
    QCOMPARE(count(QStringLiteral("select count(*) from wj")), qint64(1));
    QCOMPARE(entries(store()), QStringList{QStringLiteral("0000000001.pdf")});

    m_prompter->answerYes();
    m_prompter->answerYes();
    m_router->run(QString::fromLatin1(Cmd::Save));
    QCOMPARE(m_panel->mode(), EditPanel::Mode::Showing);
    QCOMPARE(count(QStringLiteral("select count(*) from wj where mc='报告' and lx='pdf'")), qint64(2));
    // Each record keeps its own file.
    QCOMPARE(entries(store()), (QStringList{QStringLiteral("0000000001.pdf"), QStringLiteral("0000000002.pdf")}));
    QCOMPARE(readFile(QDir(store()).filePath(QStringLiteral("0000000001.pdf"))), pattern(20000, 'a'));
    QCOMPARE(readFile(QDir(store()).filePath(QStringLiteral("0000000002.pdf"))), pattern(20000, 'b'));
    QCOMPARE(valueOf(s, QStringLiteral("select fz from wj where id=?"), {first}).toString(), QStringLiteral("合同"));
}

void EditPanelTest::failedAddKeepsPendingAndLeavesNoTrace_data()
{
    QTest::addColumn<QString>("failing");
    QTest::addColumn<bool>("blockFolder");
    QTest::addColumn<QString>("message");
    QTest::newRow("store folder") << QString() << true << QStringLiteral("创建目录失败!");
    QTest::newRow("insert") << QStringLiteral("insert into wj") << false << QStringLiteral("上传文件失败! 01");
    QTest::newRow("numbering") << QStringLiteral("update zdbh") << false << QStringLiteral("更换编号失败!");
}

void EditPanelTest::failedAddKeepsPendingAndLeavesNoTrace()
{
    QFETCH(QString, failing);
    QFETCH(bool, blockFolder);
    QFETCH(QString, message);
    DataStore& s = m_home->store();
    if (blockFolder) {
        QVERIFY(QDir(store()).removeRecursively());
        QFile blocker(store());
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.write("x");
    }
    const QString big = writeSource(QStringLiteral("big.bin"), pattern(40000, 'x'));
    m_router->run(QString::fromLatin1(Cmd::Add));
    m_prompter->answerText(big);
    click(QStringLiteral("文件名称超级按钮"));
    m_nextGroup = QStringLiteral("合同");
    click(QStringLiteral("文件分组超级按钮"));
    if (!failing.isEmpty())
        s.failNextStatements(1, failing);
    m_prompter->answerYes();
    m_router->run(QString::fromLatin1(Cmd::Save));
    QCOMPARE(m_prompter->messages(), QStringList{message});
    QCOMPARE(m_panel->mode(), EditPanel::Mode::Adding);
    QCOMPARE(count(QStringLiteral("select count(*) from wj")), qint64(0));
    QCOMPARE(count(QStringLiteral("select count(*) from rz")), qint64(0));
    QCOMPARE(valueOf(s, QStringLiteral("select nr from zdbh where xm='文件编号'")).toString(), QStringLiteral("1"));
    if (blockFolder) {
        QCOMPARE(readFile(store()), QByteArray("x"));
        QVERIFY(QFile::remove(store()));
    } else {
        QVERIFY(entries(store()).isEmpty());
    }

    // The operator saves again once the cause is gone.
    m_prompter->clear();
    m_prompter->answerYes();
    m_router->run(QString::fromLatin1(Cmd::Save));
    QCOMPARE(m_panel->mode(), EditPanel::Mode::Showing);
    QCOMPARE(count(QStringLiteral("select count(*) from wj where bh='0000000001' and lj='Data/Lf/0000000001.bin'")),
             qint64(1));
    QCOMPARE(entries(store()), QStringList{QStringLiteral("0000000001.bin")});
}

void EditPanelTest::refusals()
{
    DataStore& s = m_home->store();
    // Empty name, then no group.
    m_router->run(QString::fromLatin1(Cmd::Add));
    m_router->run(QString::fromLatin1(Cmd::Save));
    QCOMPARE(m_prompter->lastText(), QStringLiteral("文件名称不能为空!"));
    const QString small = writeSource(QStringLiteral("a.txt"), "a");
    m_prompter->answerText(small);
    click(QStringLiteral("文件名称超级按钮"));
    m_router->run(QString::fromLatin1(Cmd::Save));
    QCOMPARE(m_prompter->lastText(), QStringLiteral("未选择分组或选择分组无效!!"));
    QCOMPARE(m_panel->mode(), EditPanel::Mode::Adding);
    m_router->run(QString::fromLatin1(Cmd::Cancel));

    // Nothing selected.
    m_prompter->clear();
    m_router->run(QString::fromLatin1(Cmd::FileDelete));
    QCOMPARE(m_prompter->lastText(), FileRecords::NothingSelected);

    // A record without number is neither modified nor deleted.
    const qint64 id = addThroughPanel(small, QStringLiteral("合同"));
    QVERIFY(id > 0);
    QVERIFY(s.execute(QStringLiteral("update wj set bh='' where id=?"), {id}));
    m_workspace->select(id);
    m_prompter->clear();
    m_router->run(QString::fromLatin1(Cmd::Modify));
    QCOMPARE(m_prompter->lastText(), QStringLiteral("编号为空，禁止删除！"));
    QCOMPARE(m_panel->mode(), EditPanel::Mode::Showing);
    m_prompter->answerYes();
    m_router->run(QString::fromLatin1(Cmd::Delete));
    QCOMPARE(m_prompter->lastText(), QStringLiteral("编号为空，禁止删除!"));
    QCOMPARE(count(QStringLiteral("select count(*) from wj")), qint64(1));
}

void EditPanelTest::dirtyCheckOnLeaving()
{
    const QString a = writeSource(QStringLiteral("a.txt"), "aaa");
    const qint64 first = addThroughPanel(a, QStringLiteral("合同"));
    QVERIFY(first > 0);

    // A pending add, dropped on "否".
    m_prompter->clear();
    m_router->run(QString::fromLatin1(Cmd::Add));
    m_prompter->answerText(writeSource(QStringLiteral("b.txt"), "bbb"));
    click(QStringLiteral("文件名称超级按钮"));
    QVERIFY(m_panel->isDirty());
    m_prompter->answerNo();
    m_panel->showRecord(first);
    QCOMPARE(m_prompter->lastText(), QStringLiteral("当前文件尚未保存! 是否立即保存 ?"));
    QCOMPARE(m_panel->mode(), EditPanel::Mode::Showing);
    QCOMPARE(m_panel->shownId(), first);
    QCOMPARE(count(QStringLiteral("select count(*) from wj")), qint64(1));

    // A pending change, saved on "是".
    m_workspace->select(first);
    m_router->run(QString::fromLatin1(Cmd::Modify));
    typeText(unit<QLineEdit>(QStringLiteral("b2编辑框")), QStringLiteral("新值"));
    m_prompter->answerYes();  // save now?
    m_prompter->answerYes();  // confirm the change
    m_panel->showRecord(-1);
    QCOMPARE(m_panel->mode(), EditPanel::Mode::Showing);
    QCOMPARE(valueOf(m_home->store(), QStringLiteral("select b2 from wj where id=?"), {first}).toString(),
             QStringLiteral("新值"));

    // Leaving an unchanged add asks nothing.
    m_prompter->clear();
    m_router->run(QString::fromLatin1(Cmd::Add));
    m_panel->showRecord(first);
    QVERIFY(m_prompter->shown().isEmpty());
    QCOMPARE(m_panel->mode(), EditPanel::Mode::Showing);
}

void EditPanelTest::cancelDropsPendingAdd()
{
    m_router->run(QString::fromLatin1(Cmd::Add));
    m_prompter->answerText(writeSource(QStringLiteral("b.txt"), "bbb"));
    click(QStringLiteral("文件名称超级按钮"));
    m_router->run(QString::fromLatin1(Cmd::Cancel));
    QCOMPARE(m_panel->mode(), EditPanel::Mode::Showing);
    QVERIFY(unit<QLineEdit>(QStringLiteral("名称编辑框"))->text().isEmpty());
    QVERIFY(m_prompter->shown().size() == 1);
    QCOMPARE(count(QStringLiteral("select count(*) from wj")), qint64(0));
}

void EditPanelTest::deleteGoesOnAfterRefusedRecord()
{
    DataStore& s = m_home->store();
    const qint64 a = addThroughPanel(writeSource(QStringLiteral("a.bin"), pattern(20000, 'a')), QStringLiteral("合同"));
    const qint64 b = addThroughPanel(writeSource(QStringLiteral("b.bin"), pattern(20000, 'b')), QStringLiteral("合同"));
    const qint64 c = addThroughPanel(writeSource(QStringLiteral("c.txt"), "c"), QStringLiteral("合同"));
    QVERIFY(a > 0 && b > 0 && c > 0);
    QVERIFY(s.execute(QStringLiteral("update wj set bh='' where id=?"), {a}));
    m_prompter->clear();
    m_workspace->selected = {a, b, c};
    m_prompter->answerYes();
    m_router->run(QString::fromLatin1(Cmd::FileDelete));
    QCOMPARE(m_prompter->messages(), QStringList{QStringLiteral("编号为空，禁止删除!")});
    QCOMPARE(count(QStringLiteral("select count(*) from wj")), qint64(1));
    QCOMPARE(count(QStringLiteral("select count(*) from wj where id=?"), {a}), qint64(1));
    // The refused record stays; the others are in the trash with their files.
    QCOMPARE(count(QStringLiteral("select count(*) from wjhs where id in (?,?)"), {b, c}), qint64(2));
    QCOMPARE(entries(store()), (QStringList{QStringLiteral("0000000001.bin"), QStringLiteral("0000000002.bin")}));
}

void EditPanelTest::rightsAreTestedByTheRouter()
{
    m_home->loginAs(QStringLiteral("clerk"), QStringLiteral("修改,文件属性"));
    QCOMPARE(m_router->run(QString::fromLatin1(Cmd::Add)), CommandRouter::Outcome::Denied);
    QCOMPARE(m_router->run(QString::fromLatin1(Cmd::TreeAddFile)), CommandRouter::Outcome::Denied);
    QCOMPARE(m_router->run(QString::fromLatin1(Cmd::FileSaveAs)), CommandRouter::Outcome::Denied);
    QCOMPARE(m_router->run(QString::fromLatin1(Cmd::Delete)), CommandRouter::Outcome::Denied);
    QCOMPARE(m_panel->mode(), EditPanel::Mode::Showing);
    QCOMPARE(m_denied.size(), 4);
    QVERIFY(m_prompter->shown().isEmpty());
}

void EditPanelTest::failedLogWriteIsShownAndAddStands()
{
    m_home->store().failNextStatements(1, QStringLiteral("insert into rz"));
    const qint64 id = addThroughPanel(writeSource(QStringLiteral("a.txt"), "a"), QStringLiteral("合同"));
    QVERIFY(id > 0);
    QCOMPARE(m_prompter->messages(),
             (QStringList{QStringLiteral("写出日志失败!"), QStringLiteral("0000000001 a.txt 保存成功!")}));
    QCOMPARE(count(QStringLiteral("select count(*) from wj")), qint64(1));
}

void EditPanelTest::deletionWindow()
{
    QList<qint64> ids;
    for (int i = 0; i < 3; ++i)
        ids << addThroughPanel(writeSource(QStringLiteral("f%1.bin").arg(i), pattern(15000, char('a' + i))),
                               QStringLiteral("合同"));
    QCOMPARE(entries(store()).size(), 3);
    DeleteProgressWindow w(m_panel->records());
    QCOMPARE(w.windowTitle(), QStringLiteral("正在删除文件..."));
    QCOMPARE(w.frameGeometry().size(), QSize(573, 67));
    QProgressBar* bar = w.findChild<QProgressBar*>(QStringLiteral("进度条1"));
    QVERIFY(bar);
    QCOMPARE(bar->geometry(), QRect(8, 8, 552, 24));
    // The window is up while the records go, one by one.
    QList<int> seen;
    connect(bar, &QProgressBar::valueChanged, this, [&](int v) { seen << v * 10 + (w.isVisible() ? 1 : 0); });
    const DeleteProgressWindow::Outcome out = w.run(ids);
    QCOMPARE(out.deleted, 3);
    QCOMPARE(seen, (QList<int>{0, 11, 21, 31}));
    QCOMPARE(count(QStringLiteral("select count(*) from wj")), qint64(0));
    QCOMPARE(count(QStringLiteral("select count(*) from wjhs")), qint64(3));
}

void EditPanelTest::deletionCancelledBetweenRecords_data()
{
    QTest::addColumn<QString>("way");
    QTest::newRow("取消") << "button";
    QTest::newRow("close box") << "close";
    QTest::newRow("Esc") << "esc";
}

void EditPanelTest::deletionCancelledBetweenRecords()
{
    QFETCH(QString, way);
    QList<qint64> ids;
    for (int i = 0; i < 5; ++i)
        ids << addThroughPanel(writeSource(QStringLiteral("f%1.txt").arg(i), "x" + QByteArray::number(i)),
                               QStringLiteral("合同"));
    QVERIFY(!ids.contains(-1));
    m_prompter->clear();
    m_workspace->selected = ids;

    // Between records, as the operator would: after the second record the
    // run is stopped the chosen way.
    bool checked = false;
    bool nested = false;
    QTimer hook;
    hook.setInterval(0);
    connect(&hook, &QTimer::timeout, this, [&] {
        auto* w = m_panel->findChild<DeleteProgressWindow*>();
        if (!w || !w->isVisible() || checked || w->progressBar()->value() < 2)
            return;
        checked = true;
        QCOMPARE(w->windowTitle(), QStringLiteral("正在删除文件..."));
        QCOMPARE(w->windowModality(), Qt::WindowModal);
        QCOMPARE(QApplication::activeModalWidget(), w);
        QVERIFY(LongRuns::instance().underWay());
        QCOMPARE(w->cancelButton()->text(), QStringLiteral("取消"));
        QCOMPARE(w->cancelButton()->objectName(), QStringLiteral("取消按钮"));
        QVERIFY(QRect(0, 0, 573, 67).contains(w->cancelButton()->geometry()));
        TestHome::grab(w, QStringLiteral("deletion-window"));
        // A second deletion does not start inside this one.
        m_router->run(QString::fromLatin1(Cmd::Delete));
        nested = !m_prompter->shown().isEmpty() && m_prompter->shown().size() > 1;
        if (way == QLatin1String("button"))
            QTest::mouseClick(w->cancelButton(), Qt::LeftButton);
        else if (way == QLatin1String("close"))
            w->close();
        else
            QTest::keyClick(w, Qt::Key_Escape);
        // Closing asks the run to stop; the window stays until it has.
        QVERIFY(w->isVisible());
    });
    hook.start();
    m_prompter->answerYes();  // 确定删除选择的 5 个文件吗 ?
    m_router->run(QString::fromLatin1(Cmd::Delete));
    hook.stop();
    QVERIFY(checked);
    QVERIFY(!nested);
    QCOMPARE(m_prompter->shown().size(), 1);
    QVERIFY(!LongRuns::instance().underWay());
    QVERIFY(!m_panel->findChild<DeleteProgressWindow*>());
    // The two records handled went, the rest stay.
    QCOMPARE(count(QStringLiteral("select count(*) from wj")), qint64(3));
    QCOMPARE(count(QStringLiteral("select count(*) from wj where id in (?,?)"), {ids.at(0), ids.at(1)}), qint64(0));
}

void EditPanelTest::failedGroupReadIsADatabaseFailure_data()
{
    QTest::addColumn<bool>("adding");
    QTest::addColumn<QString>("message");
    QTest::newRow("add") << true << QStringLiteral("准备上传失败! 错误代码: 02");
    QTest::newRow("modify") << false << QStringLiteral("修改文件失败!");
}

void EditPanelTest::failedGroupReadIsADatabaseFailure()
{
    QFETCH(bool, adding);
    QFETCH(QString, message);
    if (adding) {
        QCOMPARE(m_router->run(QString::fromLatin1(Cmd::Add)), CommandRouter::Outcome::Ran);
        m_prompter->answerText(writeSource(QStringLiteral("a.txt"), "a"));
        click(QStringLiteral("文件名称超级按钮"));
        m_nextGroup = QStringLiteral("合同");
        click(QStringLiteral("文件分组超级按钮"));
    } else {
        const qint64 id = addThroughPanel(writeSource(QStringLiteral("a.txt"), "a"), QStringLiteral("合同"));
        QVERIFY(id > 0);
        m_workspace->select(id);
        m_router->run(QString::fromLatin1(Cmd::Modify));
        QCOMPARE(m_panel->mode(), EditPanel::Mode::Modifying);
        typeText(unit<QLineEdit>(QStringLiteral("b2编辑框")), QStringLiteral("新"));
    }
    m_prompter->clear();
    const qint64 before = count(QStringLiteral("select count(*) from wj"));
    m_home->store().failNextStatements(1, QStringLiteral("from wjfz"));
    m_router->run(QString::fromLatin1(Cmd::Save));
    QCOMPARE(m_prompter->messages(), QStringList{message});
    QCOMPARE(m_prompter->shown().last().icon, Prompter::Icon::Critical);
    // The pending add or change stays for another try.
    QCOMPARE(m_panel->mode(), adding ? EditPanel::Mode::Adding : EditPanel::Mode::Modifying);
    QCOMPARE(count(QStringLiteral("select count(*) from wj")), before);
    QCOMPARE(count(QStringLiteral("select count(*) from wj where b2<>''")), qint64(0));
}

void EditPanelTest::failedTitleReadIsReported()
{
    DataStore& s = m_home->store();
    QVERIFY(s.execute(QStringLiteral("update lbsz set btm='合同方' where bh=6 and bm='wj'")));
    m_panel->reloadTitles();
    QCOMPARE(unit<QLabel>(QStringLiteral("b1标签"))->text(), QStringLiteral("合同方:"));
    QVERIFY(m_prompter->shown().isEmpty());
    QVERIFY(s.execute(QStringLiteral("update lbsz set btm='对方' where bh=6 and bm='wj'")));
    s.failNextStatements(1, QStringLiteral("from lbsz"));
    m_panel->reloadTitles();
    QCOMPARE(m_prompter->messages(), QStringList{SpareTitles::ReadFailed});
    QCOMPARE(m_prompter->shown().last().icon, Prompter::Icon::Critical);
    // The labels keep what they showed.
    QCOMPARE(unit<QLabel>(QStringLiteral("b1标签"))->text(), QStringLiteral("合同方:"));
}

void EditPanelTest::addInClosedProtectedGroupRefused()
{
    GroupTree tree(m_home->store(), m_home->context().protectedGroups);
    QVERIFY(tree.load());
    QVERIFY(tree.setPassword(tree.findPath(QStringLiteral("合同"))->id, {}, QStringLiteral("pw")));
    m_workspace->root = false;
    m_workspace->group = QStringLiteral("合同\\2026");
    QCOMPARE(m_router->run(QString::fromLatin1(Cmd::TreeAddFile)), CommandRouter::Outcome::Ran);
    QCOMPARE(m_prompter->messages(), QStringList{GroupTree::NotOpen});
    QCOMPARE(m_prompter->shown().last().icon, Prompter::Icon::Warning);
    QCOMPARE(m_panel->mode(), EditPanel::Mode::Showing);
    // Opened with its password, it takes files.
    QVERIFY(tree.open(tree.findPath(QStringLiteral("合同"))->id, QStringLiteral("pw")));
    m_prompter->clear();
    m_router->run(QString::fromLatin1(Cmd::TreeAddFile));
    QVERIFY(m_prompter->shown().isEmpty());
    QCOMPARE(m_panel->mode(), EditPanel::Mode::Adding);
    QCOMPARE(unit<QLineEdit>(QStringLiteral("分组编辑框"))->text(), QStringLiteral("合同\\2026"));
}

void EditPanelTest::propertiesOfVanishedRecordNameIt()
{
    const qint64 id = addThroughPanel(writeSource(QStringLiteral("合同书.pdf"), "p"), QStringLiteral("合同"));
    QVERIFY(id > 0);
    // The record goes behind the list's back before the row is chosen.
    QVERIFY(m_home->store().execute(QStringLiteral("delete from wj where id=?"), {id}));
    m_workspace->select(id);
    m_workspace->name = QStringLiteral("合同书");
    m_panel->showRecord(id);
    m_prompter->clear();
    m_prompter->answerNo();
    m_router->run(QString::fromLatin1(Cmd::FileProperties));
    QCOMPARE(m_prompter->lastText(), QStringLiteral("合同书 文件未找到,是否在列表中移除?"));
}

void EditPanelTest::propertiesWindow()
{
    DataStore& s = m_home->store();
    m_router->run(QString::fromLatin1(Cmd::FileProperties));
    QCOMPARE(m_prompter->lastText(), QStringLiteral("没有选择文件!"));

    QVERIFY(s.execute(QStringLiteral("update lbsz set btm='合同方' where bh=6 and bm='wj'")));
    const qint64 id =
        addThroughPanel(writeSource(QStringLiteral("合同书.pdf"), pattern(30000, 'p')), QStringLiteral("合同"));
    QVERIFY(id > 0);
    m_workspace->select(id);
    QCOMPARE(m_router->run(QString::fromLatin1(Cmd::FileProperties)), CommandRouter::Outcome::Ran);
    PropertiesWindow* w = m_panel->propertiesWindow();
    QVERIFY(w);
    QCOMPARE(w->windowTitle(), QStringLiteral("文件属性"));
    QCOMPARE(w->frameGeometry().size(), QSize(310, 470));
    auto* grid = w->findChild<QTableWidget*>(QStringLiteral("高级表格1"));
    QVERIFY(grid);
    QCOMPARE(grid->geometry(), QRect(0, 24, 304, 416));
    QVERIFY(w->findChild<QRadioButton*>(QStringLiteral("精简属性"))->isChecked());
    const int briefRows = grid->rowCount();
    QCOMPARE(briefRows, 5);  // the titled spare field is empty
    QCOMPARE(grid->item(0, 1)->text(), QStringLiteral("0000000001"));
    for (int i = 0; i < grid->rowCount(); ++i)
        QVERIFY(grid->item(i, 0)->text() != QStringLiteral("备用字段"));
    TestHome::grab(w, QStringLiteral("PropertiesWindow-brief"));

    QTest::mouseClick(w->findChild<QRadioButton*>(QStringLiteral("详细属性")), Qt::LeftButton);
    QVERIFY(w->isDetailed());
    QVERIFY(grid->rowCount() > briefRows);
    QStringList titles;
    for (int i = 0; i < grid->rowCount(); ++i)
        titles << grid->item(i, 0)->text();
    QVERIFY(titles.contains(QStringLiteral("合同方")));
    QVERIFY(!titles.contains(QStringLiteral("备用字段")));
    // The content's hash, as it was recorded while the file came in.
    const QTableWidgetItem* hash = grid->item(int(titles.indexOf(FileRecords::ContentHashTitle)), 1);
    QCOMPARE(hash->toolTip(), valueOf(s, QStringLiteral("select sha256 from wj where id=?"), {id}).toString());
    QCOMPARE(hash->toolTip().size(), 64);
    QCOMPARE(hash->text().split(QLatin1Char('\n')).size(), 4);
    QCOMPARE(hash->text().remove(QLatin1Char('\n')), hash->toolTip());
    TestHome::grab(w, QStringLiteral("PropertiesWindow-detailed"));

    // "打印" prints the grid (to a PDF file here).
    QTemporaryDir out;
    const QString pdf = out.filePath(QStringLiteral("props.pdf"));
    w->setPrintTarget(pdf);
    QAction* print = w->findChild<QAction*>(QStringLiteral("打印"));
    QVERIFY(print);
    QCOMPARE(print->toolTip(), QStringLiteral("打印属性页"));
    print->trigger();
    QVERIFY(readFile(pdf).startsWith("%PDF"));

    // The record is gone meanwhile.
    QVERIFY(s.execute(QStringLiteral("delete from wj where id=?"), {id}));
    m_prompter->clear();
    m_prompter->answerYes();
    const int reloads = m_workspace->listReloads;
    m_router->run(QString::fromLatin1(Cmd::FileProperties));
    QCOMPARE(m_prompter->lastText(), QStringLiteral("合同书 文件未找到,是否在列表中移除?"));
    QCOMPARE(m_workspace->listReloads, reloads + 1);
}

KV_REGISTER_TEST(EditPanelTest)
#include "EditPanelTest.moc"
