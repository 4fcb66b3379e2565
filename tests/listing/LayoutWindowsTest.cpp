#include "common/ScriptedPrompter.h"
#include "common/TestHome.h"
#include "common/TestRegistry.h"
#include "ListFixtures.h"

#include "listing/FileListModel.h"
#include "listing/ListColumns.h"
#include "listing/ui/ChooseColumnsWindow.h"
#include "listing/ui/FileListViews.h"
#include "listing/ui/RenameFieldsWindow.h"
#include "listing/ui/RepositionWindow.h"
#include "listing/ui/SortOrderWindow.h"
#include "shell/AppContext.h"
#include "shell/CommandRouter.h"
#include "shell/Commands.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

namespace {

struct Fixture {
    explicit Fixture(TestHome& h)
        : home(h), router(&h.context().currentOperator),
          views(h.store(), h.context().protectedGroups, h.context().mainSettings, &window)
    {
        window.resize(1024, 768);
        views.reportView()->setGeometry(0, 0, 900, 300);
        views.iconView()->setGeometry(0, 320, 600, 300);
        wireList(router, views);
        window.show();
        (void)QTest::qWaitForWindowExposed(&window);
    }
    bool load()
    {
        views.load(FilterClause::everything());
        return views.waitUntilLoaded();
    }
    QList<qint64> ids() const
    {
        QList<qint64> out;
        for (int r = 0; r < views.model()->rowCount(); ++r)
            out << views.model()->idAt(r);
        return out;
    }
    void click(int row, Qt::KeyboardModifiers mods = {})
    {
        QTableView* v = views.reportView();
        const QRect r = v->visualRect(views.model()->index(row, 0));
        QTest::mouseClick(v->viewport(), Qt::LeftButton, mods, r.center());
    }
    // Runs a command whose window is modal; drive(w) operates the window.
    template <typename W> void runWithWindow(const char* command, std::function<void(W*)> drive)
    {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto* w = qobject_cast<W*>(QApplication::activeModalWidget());
            if (!w)
                return;
            seen = true;
            drive(w);
            if (w->isVisible())
                w->reject();
        });
        router.run(QString::fromLatin1(command));
        QVERIFY2(seen, command);
    }
    qint64 number(const QString& sql, const QVariantList& params = {})
    {
        return valueOf(home.store(), sql, params).toLongLong();
    }

    TestHome& home;
    FakeWorkspace workspace;
    CommandRouter router;
    QWidget window;
    FileListViews views;
};

QPushButton* button(QWidget* w, const char* name)
{
    auto* b = w->findChild<QPushButton*>(QString::fromUtf8(name));
    if (!b)
        qWarning() << "no button" << name;
    return b;
}

int rowOf(QListWidget* list, const QString& text)
{
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->text() == text)
            return i;
    return -1;
}

}  // namespace

class LayoutWindowsTest : public QObject {
    Q_OBJECT
private slots:
    void commandsAreRegistered();
    void selectionInListOrder();
    void commandsNeedASelection();
    void iconsCarryTheirNamesBelow();
    void iconLabelsNeverOverlap();
    void saveWidthsByHeaderText();
    void saveWidthsFailureChangesNothing();
    void chooseColumns();
    void chooseColumnsTickAllAsksFirst();
    void chooseColumnsAfterDraggedHeader();
    void chooseColumnsSaveFailure();
    void chooseColumnsResetAndCancel();
    void sortOrder();
    void sortOrderFailure();
    void repositionMovesAndRefusesAtEnds();
    void repositionFailures();
    void repositionUnderSortClause();
    void repositionWithSharedPositions();
    void iconSelectionWithoutColumns();
    void renameFields();
    void renameFieldsFailures();
    void grabViews();
};

void LayoutWindowsTest::commandsAreRegistered()
{
    TestHome home;
    Fixture f(home);
    for (const char* id : {Cmd::FileChooseColumns, Cmd::FileSaveWidths, Cmd::FileSortOrder, Cmd::FileReposition})
        QVERIFY2(f.router.hasHandler(QString::fromLatin1(id)), id);
    QCOMPARE(f.views.reportView()->objectName(), QStringLiteral("文件超级列表框"));
    QCOMPARE(f.views.iconView()->objectName(), QStringLiteral("图标超级列表框"));
    QCOMPARE(f.views.reportView()->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(f.views.reportView()->selectionMode(), QAbstractItemView::ExtendedSelection);
    QVERIFY(f.views.reportView()->showGrid());
    QVERIFY(f.views.reportView()->horizontalHeader()->sectionsMovable());
    QVERIFY(f.views.reportView()->horizontalHeader()->sectionsClickable());
    // Large icons in equal cells, arranged in rows that wrap.
    QCOMPARE(f.views.iconView()->flow(), QListView::LeftToRight);
    QVERIFY(f.views.iconView()->isWrapping());
    QCOMPARE(f.views.iconView()->iconSize(), QSize(32, 32));
    QCOMPARE(f.views.iconView()->selectionMode(), QAbstractItemView::SingleSelection);
    QVERIFY(f.views.iconView()->wordWrap());
}

void LayoutWindowsTest::selectionInListOrder()
{
    TestHome home;
    QList<qint64> ids;
    for (int i = 0; i < 6; ++i)
        ids << addFile(home.store(), 10 - i, QStringLiteral("f%1").arg(i));
    std::reverse(ids.begin(), ids.end());  // listed by xh
    Fixture f(home);
    QVERIFY(f.load());
    QCOMPARE(f.ids(), ids);
    QSignalSpy current(&f.views, &FileListViews::currentRecordChanged);
    f.click(4);
    QCOMPARE(f.views.currentId(), ids[4]);
    QCOMPARE(current.last().at(0).toLongLong(), ids[4]);
    f.click(1, Qt::ControlModifier);
    QCOMPARE(f.views.selectedIds(), QList<qint64>({ids[1], ids[4]}));
    f.click(1);
    f.click(3, Qt::ShiftModifier);
    QCOMPARE(f.views.selectedIds(), QList<qint64>({ids[1], ids[2], ids[3]}));
    QTest::keyClick(f.views.reportView(), Qt::Key_Down, Qt::ShiftModifier);
    QCOMPARE(f.views.selectedIds(), QList<qint64>({ids[1], ids[2], ids[3], ids[4]}));
    QTest::keyClick(f.views.reportView(), Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(f.views.selectedIds(), ids);
    // Clicking an icon makes its record the current one.
    QListView* icons = f.views.iconView();
    icons->doItemsLayout();
    const QRect r = icons->visualRect(icons->model()->index(5, 0));
    QTest::mouseClick(icons->viewport(), Qt::LeftButton, {}, r.center());
    QCOMPARE(f.views.currentId(), ids[5]);
    QCOMPARE(f.views.selectedIds(), QList<qint64>({ids[5]}));
    // A reload keeps the current record.
    QVERIFY(f.load());
    QCOMPARE(f.views.currentId(), ids[5]);
}

void LayoutWindowsTest::iconsCarryTheirNamesBelow()
{
    TestHome home;
    for (int i = 0; i < 12; ++i)
        addFile(home.store(), i + 1, QStringLiteral("年度报告第%1号文件").arg(i), QStringLiteral("公司"), 100,
                i % 2 ? QStringLiteral("pdf") : QStringLiteral("txt"));
    Fixture f(home);
    QVERIFY(f.load());
    QListView* icons = f.views.iconView();
    icons->doItemsLayout();
    QCoreApplication::processEvents();
    // One cell per record, left to right, wrapping to the next row.
    const QRect first = icons->visualRect(icons->model()->index(0, 0));
    const QRect second = icons->visualRect(icons->model()->index(1, 0));
    QCOMPARE(second.top(), first.top());
    QCOMPARE(second.left() - first.left(), icons->gridSize().width());
    const QRect last = icons->visualRect(icons->model()->index(11, 0));
    QVERIFY(last.top() > first.top());
    // The icon sits above its name: the top half of the cell holds it.
    const QImage picture = icons->viewport()->grab(first).toImage();
    int marked = 0;
    for (int y = 0; y < picture.height() / 2; ++y)
        for (int x = 0; x < picture.width(); ++x)
            marked += picture.pixelColor(x, y) != icons->palette().color(QPalette::Base);
    QVERIFY(marked > 0);
    TestHome::grab(icons, "icon-view");
}

void LayoutWindowsTest::iconLabelsNeverOverlap()
{
    TestHome home;
    // Uniform item sizes once sized every cell after the last record's name.
    const QStringList names = {QStringLiteral("甲"), QStringLiteral("annual_report_final_version_2026_revised_copy"),
                               QStringLiteral("乙丙"), QStringLiteral("quarterly figures of the northern branch"),
                               QStringLiteral("二〇二六年度第一季度财务报告汇总表最终版本第三稿")};
    for (int i = 0; i < names.size(); ++i)
        addFile(home.store(), i + 1, names.at(i));
    Fixture f(home);
    QVERIFY(f.load());
    QListView* icons = f.views.iconView();
    icons->setGeometry(0, 320, 200, 300);  // two cells a row
    for (const int pixels : {0, 18}) {
        if (pixels > 0) {  // a skin's larger font, after the view was laid out
            QFont big = icons->font();
            big.setPixelSize(pixels);
            icons->setFont(big);
        }
        icons->doItemsLayout();
        const QSize grid = icons->gridSize();
        // Two lines of the name below the icon.
        QVERIFY(grid.height() >= icons->iconSize().height() + 2 * QFontMetrics(icons->font()).lineSpacing());
        QList<QRect> cells;
        for (int r = 0; r < names.size(); ++r) {
            const QRect cell = icons->visualRect(icons->model()->index(r, 0));
            QVERIFY2(cell.width() <= grid.width() && cell.height() <= grid.height(), qPrintable(names.at(r)));
            for (const QRect& other : std::as_const(cells))
                QVERIFY(!cell.intersects(other));
            cells << cell;
        }
        QVERIFY(cells.last().top() > cells.first().top());
    }
}

void LayoutWindowsTest::commandsNeedASelection()
{
    TestHome home;
    addFile(home.store(), 1, "a");
    Fixture f(home);
    QVERIFY(f.load());
    ScriptedPrompter p;
    QVERIFY(!f.views.requireSelection());
    QCOMPARE(p.messages(),
             QStringList({"没有选中记录! Shift+光标键(或单击)连续多选;Ctrl+光标键(或单击)隔行多选;Ctrl+A 全选"}));
    p.clear();
    QCOMPARE(f.router.run(QString::fromLatin1(Cmd::FileReposition)), CommandRouter::Outcome::Ran);
    QCOMPARE(p.messages(), QStringList({FileListViews::noSelectionMessage()}));
}

void LayoutWindowsTest::saveWidthsByHeaderText()
{
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(s.execute("update lbsz set xs=0"));
    QVERIFY(s.execute("update lbsz set xs=1,wz=1,lk=100 where bh=2"));
    QVERIFY(s.execute("update lbsz set xs=1,wz=2,lk=80,btm='同名' where bh=6"));
    QVERIFY(s.execute("update lbsz set xs=1,wz=3,lk=80,btm='同名' where bh=7"));
    addFile(s, 1, "a");
    Fixture f(home);
    QVERIFY(f.load());
    QHeaderView* header = f.views.reportView()->horizontalHeader();
    header->resizeSection(0, 250);
    header->resizeSection(1, 61);
    header->resizeSection(2, 133);
    // Dragged: b2 now left of b1, so b1 is written last.
    header->moveSection(2, 1);
    const auto shown = f.views.shownColumns();
    QCOMPARE(shown.at(1).field, QStringLiteral("b2"));
    ScriptedPrompter p;
    QCOMPARE(f.router.run(QString::fromLatin1(Cmd::FileSaveWidths)), CommandRouter::Outcome::Ran);
    QCOMPARE(p.messages(), QStringList({"保存列宽成功!"}));
    QCOMPARE(f.number("select lk from lbsz where bh=2"), 250);
    QCOMPARE(f.number("select lk from lbsz where bh=6"), 61);
    QCOMPARE(f.number("select lk from lbsz where bh=7"), 61);
    // Dragging changed no position.
    QCOMPARE(f.number("select wz from lbsz where bh=7"), 3);
    QCOMPARE(f.number("select lk from lbsz where bh=8"), 80);
    // The next load shows the saved widths.
    QVERIFY(f.load());
    QCOMPARE(f.views.reportView()->horizontalHeader()->sectionSize(0), 250);
}

void LayoutWindowsTest::saveWidthsFailureChangesNothing()
{
    TestHome home;
    DataStore& s = home.store();
    Fixture f(home);
    QVERIFY(f.load());
    QHeaderView* header = f.views.reportView()->horizontalHeader();
    QVERIFY(header->count() >= 3);
    for (int c = 0; c < header->count(); ++c)
        header->resizeSection(c, 55);
    const qint64 before = f.number("select sum(lk) from lbsz");
    ScriptedPrompter p;
    // The first updates pass, the one for 文件分组 is refused.
    QVERIFY(s.execute(
        "create trigger no_width before update of lk on lbsz when new.bh=3 begin select raise(abort,'refused'); end"));
    f.router.run(QString::fromLatin1(Cmd::FileSaveWidths));
    QCOMPARE(p.messages(), QStringList({"保存列宽失败!请退出重试"}));
    QCOMPARE(p.shown().last().icon, Prompter::Icon::Critical);
    QCOMPARE(f.number("select sum(lk) from lbsz"), before);
}

void LayoutWindowsTest::chooseColumns()
{
    TestHome home;
    DataStore& s = home.store();
    insertRecord(s, {{"xh", 1}, {"mc", "甲"}, {"bz", "备注文字"}, {"fz", "公司"}});
    Fixture f(home);
    QVERIFY(f.load());
    ScriptedPrompter p;
    f.runWithWindow<ChooseColumnsWindow>(Cmd::FileChooseColumns, [&](ChooseColumnsWindow* w) {
        QCOMPARE(w->windowTitle(), QStringLiteral("选择显示列"));
        QCOMPARE(w->frameGeometry().size(), QSize(420, 375));
        auto* list = w->findChild<QListWidget*>("选择列表框1");
        QVERIFY(list);
        QCOMPARE(list->geometry(), QRect(8, 40, 280, 296));
        QCOMPARE(list->count(), 26);
        // Untick 文件分组 with the space bar.
        list->setFocus();
        list->setCurrentRow(rowOf(list, "文件分组"));
        QTest::keyClick(list, Qt::Key_Space);
        QCOMPARE(list->item(rowOf(list, "文件分组"))->checkState(), Qt::Unchecked);
        // Tick 备注 and move it to the top.
        list->setCurrentRow(rowOf(list, "备注"));
        QTest::keyClick(list, Qt::Key_Space);
        while (list->currentRow() > 0)
            QTest::mouseClick(button(w, "向上移动按钮"), Qt::LeftButton);
        QCOMPARE(list->item(0)->text(), QStringLiteral("备注"));
        QTest::mouseClick(button(w, "向上移动按钮"), Qt::LeftButton);
        QCOMPARE(p.messages(), QStringList({"已到最前!"}));
        list->setCurrentRow(list->count() - 1);
        QTest::mouseClick(button(w, "向下移动按钮"), Qt::LeftButton);
        QCOMPARE(p.messages().last(), QStringLiteral("已到最后!"));
        QTest::mouseClick(button(w, "确定按钮"), Qt::LeftButton);
        QVERIFY(!w->isVisible());
    });
    QCOMPARE(f.number("select xs from lbsz where bh=3"), 0);
    QCOMPARE(f.number("select xs from lbsz where bh=25"), 1);
    QCOMPARE(f.number("select wz from lbsz where bh=25"), 1);
    // Every row got its list position.
    QCOMPARE(f.number("select count(distinct wz) from lbsz"), 26);
    QCOMPARE(f.number("select min(wz) from lbsz"), 1);
    QCOMPARE(f.number("select max(wz) from lbsz"), 26);
    // The list was loaded again with the new layout.
    QVERIFY(f.views.waitUntilLoaded());
    QCOMPARE(f.views.model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("备注"));
    QCOMPARE(f.views.model()->textAt(0, 0), QStringLiteral("备注文字"));
    for (const auto& c : f.views.shownColumns())
        QVERIFY(c.field != QLatin1String("fz"));
}

void LayoutWindowsTest::chooseColumnsAfterDraggedHeader()
{
    TestHome home;
    insertRecord(home.store(), {{"xh", 1}, {"mc", "甲"}, {"fz", "公司"}});
    Fixture f(home);
    QVERIFY(f.load());
    QHeaderView* header = f.views.reportView()->horizontalHeader();
    QVERIFY(header->count() >= 3);
    auto headers = [&] {
        QStringList out;
        for (const auto& c : f.views.shownColumns())
            out << c.header;
        return out;
    };
    const QStringList stored = headers();
    // The operator drags the first header to the far right: the view only.
    header->moveSection(0, header->count() - 1);
    QCOMPARE(headers().last(), stored.first());
    ScriptedPrompter p;
    f.runWithWindow<ChooseColumnsWindow>(Cmd::FileChooseColumns, [&](ChooseColumnsWindow* w) {
        QTest::mouseClick(button(w, "确定按钮"), Qt::LeftButton);
    });
    QVERIFY(f.views.waitUntilLoaded());
    // The layout loaded from lbsz is the stored one.
    QCOMPARE(headers(), stored);
    for (int c = 0; c < header->count(); ++c)
        QCOMPARE(header->visualIndex(c), c);
    // So does any later load.
    header->moveSection(1, 0);
    QVERIFY(f.load());
    QCOMPARE(headers(), stored);
    QVERIFY(p.shown().isEmpty());
}

void LayoutWindowsTest::chooseColumnsSaveFailure()
{
    TestHome home;
    DataStore& s = home.store();
    Fixture f(home);
    QVERIFY(f.load());
    ScriptedPrompter p;
    const qint64 before = f.number("select sum(wz*100+xs) from lbsz");
    f.runWithWindow<ChooseColumnsWindow>(Cmd::FileChooseColumns, [&](ChooseColumnsWindow* w) {
        auto* list = w->findChild<QListWidget*>("选择列表框1");
        list->setCurrentRow(1);
        QTest::mouseClick(button(w, "向上移动按钮"), Qt::LeftButton);
        s.failNextStatements(1, "update lbsz");
        QTest::mouseClick(button(w, "确定按钮"), Qt::LeftButton);
        QVERIFY(w->isVisible());
    });
    QCOMPARE(p.messages(), QStringList({"保存失败!请退出重试"}));
    QCOMPARE(p.shown().last().icon, Prompter::Icon::Critical);
    QCOMPARE(f.number("select sum(wz*100+xs) from lbsz"), before);
}

void LayoutWindowsTest::chooseColumnsTickAllAsksFirst()
{
    TestHome home;
    ScriptedPrompter p;
    ChooseColumnsWindow w(home.store());
    w.show();
    auto* list = w.findChild<QListWidget*>("选择列表框1");
    auto* all = w.findChild<QCheckBox*>("选择框1");
    QVERIFY(list && all);
    auto ticked = [list] {
        int n = 0;
        for (int i = 0; i < list->count(); ++i)
            n += list->item(i)->checkState() == Qt::Checked;
        return n;
    };
    const int before = ticked();
    QVERIFY(before < list->count());
    p.answerNo();
    QTest::mouseClick(all, Qt::LeftButton);
    QCOMPARE(p.shown().last().kind, ScriptedPrompter::Kind::Question);
    QCOMPARE(p.lastTitle(), QStringLiteral("提醒"));
    QCOMPARE(p.lastText(), QStringLiteral("您好：过多的显示列会影响数据刷新速度。\r\n\r\n确认全部选中吗？"));
    QVERIFY(!all->isChecked());
    QCOMPARE(ticked(), before);
    p.answerYes();
    QTest::mouseClick(all, Qt::LeftButton);
    QVERIFY(all->isChecked());
    QCOMPARE(ticked(), list->count());
    // Unticking the box keeps the ticks.
    QTest::mouseClick(all, Qt::LeftButton);
    QCOMPARE(ticked(), list->count());
    QCOMPARE(p.unexpected(), 0);
    TestHome::grab(&w, "choose-columns");
}

void LayoutWindowsTest::chooseColumnsResetAndCancel()
{
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(s.execute("update lbsz set wz=30-bh"));  // reversed
    ScriptedPrompter p;
    {
        ChooseColumnsWindow w(s);
        w.show();
        auto* list = w.findChild<QListWidget*>("选择列表框1");
        QCOMPARE(list->item(0)->text(), QStringLiteral("阅览次数"));  // bh 26 first
        QTest::mouseClick(button(&w, "全部复位按钮"), Qt::LeftButton);
        QCOMPARE(list->item(0)->text(), QStringLiteral("文件编号"));  // home order
        QCOMPARE(list->item(1)->text(), QStringLiteral("文件名称"));
        // "多行显示" lets the fields flow into several columns.
        QTest::mouseClick(w.findChild<QCheckBox*>("多行显示选择框"), Qt::LeftButton);
        QVERIFY(list->isWrapping());
        TestHome::grab(&w, "choose-columns-multiline");
        QTest::mouseClick(button(&w, "取消按钮"), Qt::LeftButton);
        QCOMPARE(w.result(), int(QDialog::Rejected));
    }
    QCOMPARE(valueOf(s, "select wz from lbsz where bh=26").toInt(), 4);
    QCOMPARE(p.shown().size(), 0);
}

namespace {
QComboBox* directionOf(QTableWidget* grid, const QString& header)
{
    for (int r = 0; r < grid->rowCount(); ++r)
        if (grid->item(r, 0)->text() == header)
            return qobject_cast<QComboBox*>(grid->cellWidget(r, 1));
    return nullptr;
}
}

void LayoutWindowsTest::sortOrder()
{
    TestHome home;
    DataStore& s = home.store();
    const qint64 small = insertRecord(s, {{"xh", 1}, {"mc", "乙"}, {"dx", "9.00KB"}, {"dxsz", 9216}});
    const qint64 large = insertRecord(s, {{"xh", 2}, {"mc", "乙"}, {"dx", "10.00KB"}, {"dxsz", 10240}});
    const qint64 first = insertRecord(s, {{"xh", 3}, {"mc", "甲"}, {"dx", "1BYTE"}, {"dxsz", 1}});
    Fixture f(home);
    QVERIFY(f.load());
    QCOMPARE(f.ids(), QList<qint64>({small, large, first}));
    ScriptedPrompter p;
    f.runWithWindow<SortOrderWindow>(Cmd::FileSortOrder, [&](SortOrderWindow* w) {
        QCOMPARE(w->windowTitle(), QStringLiteral("排序方式"));
        QCOMPARE(w->frameGeometry().size(), QSize(252, 352));
        QCOMPARE(w->findChild<QLabel*>("标签")->text(), QStringLiteral("数据显示方式，支持多字段、多方向排序。"));
        auto* grid = w->findChild<QTableWidget*>("高级表格1");
        QVERIFY(grid);
        QCOMPARE(grid->horizontalHeaderItem(0)->text(), QStringLiteral("排序字段"));
        QCOMPARE(grid->horizontalHeaderItem(1)->text(), QStringLiteral("排序方向"));
        // One row per shown column, in home order.
        QCOMPARE(grid->rowCount(), 7);
        QCOMPARE(grid->item(0, 0)->text(), QStringLiteral("文件编号"));
        QComboBox* size = directionOf(grid, "文件大小");
        QComboBox* name = directionOf(grid, "文件名称");
        QVERIFY(size && name);
        QCOMPARE(size->currentText(), QString());
        size->setCurrentIndex(size->findText("降序"));
        name->setCurrentIndex(name->findText("升序"));
        TestHome::grab(w, "sort-order");
        QTest::mouseClick(button(w, "确定按钮"), Qt::LeftButton);
        QVERIFY(!w->isVisible());
    });
    QCOMPARE(p.messages(), QStringList({"排序完成!"}));
    QCOMPARE(valueOf(s, "select pxfs from zcbj where id=1").toString(), QStringLiteral(" order by mc asc,dx desc"));
    QCOMPARE(f.number("select px from lbsz where bh=2"), ListColumns::Ascending);
    QCOMPARE(f.number("select px from lbsz where bh=5"), ListColumns::Descending);
    QCOMPARE(f.number("select count(*) from lbsz where px<>0"), 2);
    QCOMPARE(home.context().mainSettings.sortClause, QStringLiteral(" order by mc asc,dx desc"));
    QVERIFY(f.views.waitUntilLoaded());
    // "乙" < "甲" in code order; within 乙 the larger size first, by number.
    QCOMPARE(f.ids(), QList<qint64>({large, small, first}));

    // The window shows the saved directions; clearing them all brings back
    // the manual order.
    p.clear();
    f.runWithWindow<SortOrderWindow>(Cmd::FileSortOrder, [&](SortOrderWindow* w) {
        auto* grid = w->findChild<QTableWidget*>("高级表格1");
        QCOMPARE(directionOf(grid, "文件大小")->currentText(), QStringLiteral("降序"));
        QCOMPARE(directionOf(grid, "文件名称")->currentText(), QStringLiteral("升序"));
        directionOf(grid, "文件大小")->setCurrentIndex(0);
        directionOf(grid, "文件名称")->setCurrentIndex(0);
        QTest::mouseClick(button(w, "确定按钮"), Qt::LeftButton);
    });
    QCOMPARE(p.messages(), QStringList({"排序完成!"}));
    QCOMPARE(valueOf(s, "select pxfs from zcbj where id=1").toString(), QString());
    QCOMPARE(f.number("select count(*) from lbsz where px<>0"), 0);
    QVERIFY(f.views.waitUntilLoaded());
    QCOMPARE(f.ids(), QList<qint64>({small, large, first}));

    // Cancel writes nothing.
    p.clear();
    f.runWithWindow<SortOrderWindow>(Cmd::FileSortOrder, [&](SortOrderWindow* w) {
        auto* grid = w->findChild<QTableWidget*>("高级表格1");
        directionOf(grid, "文件名称")->setCurrentIndex(2);
        QTest::mouseClick(button(w, "取消按钮"), Qt::LeftButton);
    });
    QCOMPARE(p.shown().size(), 0);
    QCOMPARE(f.number("select count(*) from lbsz where px<>0"), 0);
}

void LayoutWindowsTest::sortOrderFailure()
{
    TestHome home;
    DataStore& s = home.store();
    ScriptedPrompter p;
    SortOrderWindow w(s, home.context().mainSettings);
    auto* grid = w.findChild<QTableWidget*>("高级表格1");
    directionOf(grid, "文件名称")->setCurrentIndex(1);
    s.failNextStatements(1, "update zcbj");
    QTest::mouseClick(button(&w, "确定按钮"), Qt::LeftButton);
    QCOMPARE(p.messages(), QStringList({"排序失败!请退出重试"}));
    QCOMPARE(p.shown().last().icon, Prompter::Icon::Critical);
    // Neither the directions nor the clause changed, in the database or in memory.
    QCOMPARE(valueOf(s, "select count(*) from lbsz where px<>0").toInt(), 0);
    QCOMPARE(valueOf(s, "select pxfs from zcbj").toString(), QString());
    QCOMPARE(home.context().mainSettings.sortClause, QString());
}

void LayoutWindowsTest::repositionMovesAndRefusesAtEnds()
{
    TestHome home;
    DataStore& s = home.store();
    const qint64 a = addFile(s, 10, "a");
    const qint64 b = addFile(s, 20, "b");
    const qint64 c = addFile(s, 30, "c");
    Fixture f(home);
    QVERIFY(f.load());
    f.click(0);
    ScriptedPrompter p;
    f.runWithWindow<RepositionWindow>(Cmd::FileReposition, [&](RepositionWindow* w) {
        QCOMPARE(w->windowTitle(), QStringLiteral("调整位置"));
        QCOMPARE(w->frameGeometry().size(), QSize(197, 126));
        QPushButton* up = button(w, "向上超级按钮");
        QPushButton* down = button(w, "向下超级按钮");
        QCOMPARE(up->text(), QStringLiteral("向上移动"));
        QCOMPARE(down->geometry(), QRect(24, 48, 136, 24));
        QTest::mouseClick(up, Qt::LeftButton);
        QCOMPARE(p.messages(), QStringList({"已到最前!"}));
        QCOMPARE(f.number("select xh from wj where id=?", {a}), 10);
        QTest::mouseClick(down, Qt::LeftButton);
        QCOMPARE(f.number("select xh from wj where id=?", {a}), 20);
        QCOMPARE(f.number("select xh from wj where id=?", {b}), 10);
        QCOMPARE(f.ids(), QList<qint64>({b, a, c}));
        QCOMPARE(f.views.currentId(), a);
        QTest::mouseClick(down, Qt::LeftButton);
        QCOMPARE(f.ids(), QList<qint64>({b, c, a}));
        QTest::mouseClick(down, Qt::LeftButton);
        QCOMPARE(p.messages().last(), QStringLiteral("已到最后!"));
        QCOMPARE(f.number("select xh from wj where id=?", {a}), 30);
        TestHome::grab(w, "reposition");
    });
    // The database holds the order the list showed.
    QVERIFY(f.load());
    QCOMPARE(f.ids(), QList<qint64>({b, c, a}));
}

void LayoutWindowsTest::repositionFailures()
{
    TestHome home;
    DataStore& s = home.store();
    const qint64 a = addFile(s, 10, "a");
    const qint64 b = addFile(s, 20, "b");
    Fixture f(home);
    QVERIFY(f.load());
    f.click(0);
    ScriptedPrompter p;
    s.failNextStatements(1, "update wj set xh");
    f.views.moveCurrent(1);
    QCOMPARE(p.messages(), QStringList({"调整失败! 01"}));
    QCOMPARE(p.shown().last().icon, Prompter::Icon::Critical);
    QCOMPARE(f.number("select xh from wj where id=?", {a}), 10);
    QCOMPARE(f.ids(), QList<qint64>({a, b}));
    // The second update refused: the first is undone too.
    QVERIFY(s.execute(QStringLiteral("create trigger no_move before update of xh on wj when new.id=%1"
                                     " begin select raise(abort,'refused'); end")
                          .arg(b)));
    f.views.moveCurrent(1);
    QCOMPARE(p.messages().last(), QStringLiteral("调整失败! 02"));
    QCOMPARE(p.shown().last().icon, Prompter::Icon::Critical);
    QCOMPARE(f.number("select xh from wj where id=?", {a}), 10);
    QCOMPARE(f.number("select xh from wj where id=?", {b}), 20);
    QCOMPARE(f.ids(), QList<qint64>({a, b}));
}

void LayoutWindowsTest::repositionUnderSortClause()
{
    TestHome home;
    DataStore& s = home.store();
    const qint64 a = addFile(s, 10, "b");
    const qint64 b = addFile(s, 20, "a");
    home.context().mainSettings.sortClause = " order by mc asc";
    Fixture f(home);
    QVERIFY(f.load());
    QCOMPARE(f.ids(), QList<qint64>({b, a}));
    f.click(0);
    f.views.moveCurrent(1);
    // Positions exchanged, but the rows keep following the sort clause.
    QCOMPARE(f.number("select xh from wj where id=?", {b}), 10);
    QCOMPARE(f.ids(), QList<qint64>({b, a}));
}

void LayoutWindowsTest::repositionWithSharedPositions()
{
    TestHome home;
    DataStore& s = home.store();
    // Copied records all carry xh 0 and list by id.
    const qint64 a = addFile(s, 5, "a");
    const qint64 b = addFile(s, 0, "b");
    const qint64 c = addFile(s, 0, "c");
    const qint64 d = addFile(s, 0, "d");
    Fixture f(home);
    QVERIFY(f.load());
    QCOMPARE(f.ids(), QList<qint64>({b, c, d, a}));
    f.click(2);
    ScriptedPrompter p;
    f.views.moveCurrent(-1);
    QCOMPARE(p.messages(), QStringList());
    QCOMPARE(f.ids(), QList<qint64>({b, d, c, a}));
    QCOMPARE(f.views.currentId(), d);
    QVERIFY(f.load());
    QCOMPARE(f.ids(), QList<qint64>({b, d, c, a}));
    QCOMPARE(f.number("select count(distinct xh) from wj"), 4);
}

void LayoutWindowsTest::iconSelectionWithoutColumns()
{
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(s.execute("update lbsz set xs=0"));
    const qint64 a = addFile(s, 1, "a");
    const qint64 b = addFile(s, 2, "b");
    Fixture f(home);
    QVERIFY(f.load());
    QListView* icons = f.views.iconView();
    icons->doItemsLayout();
    QTest::mouseClick(icons->viewport(), Qt::LeftButton, {}, icons->visualRect(icons->model()->index(0, 0)).center());
    QCOMPARE(f.views.selectedIds(), QList<qint64>({a}));
    QCOMPARE(f.views.currentId(), a);
    ScriptedPrompter p;
    f.views.moveCurrent(1);
    QCOMPARE(p.messages(), QStringList());
    QCOMPARE(f.ids(), QList<qint64>({b, a}));
    QCOMPARE(f.views.currentId(), a);
}

namespace {
void editTitle(QTableWidget* grid, int row, const QString& text)
{
    const QRect r = grid->visualRect(grid->model()->index(row, 1));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, r.center());
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, r.center());
    QLineEdit* editor = nullptr;
    for (QLineEdit* e : grid->viewport()->findChildren<QLineEdit*>())
        if (e->isVisible())
            editor = e;
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClick(editor, Qt::Key_Delete);
    // Chinese text arrives from the input method as one committed string.
    QInputMethodEvent typed;
    typed.setCommitString(text);
    QCoreApplication::sendEvent(editor, &typed);
    QTest::keyClick(editor, Qt::Key_Return);
}
}

void LayoutWindowsTest::renameFields()
{
    TestHome home;
    DataStore& s = home.store();
    ScriptedPrompter p;
    RenameFieldsWindow w(s);
    w.show();
    (void)QTest::qWaitForWindowExposed(&w);
    QCOMPARE(w.windowTitle(), QStringLiteral("字段改名"));
    QCOMPARE(w.frameGeometry().size(), QSize(317, 415));
    QCOMPARE(w.findChild<QLabel*>("标签9")->text(), QStringLiteral("新名称建议 4个汉字(双击进行修改)"));
    auto* grid = w.findChild<QTableWidget*>("高级表格1");
    QVERIFY(grid);
    QCOMPARE(grid->rowCount(), 15);
    QCOMPARE(grid->columnCount(), 3);
    QCOMPARE(grid->horizontalHeaderItem(1)->text(), QStringLiteral("自定义名称"));
    QCOMPARE(grid->item(0, 0)->text(), QStringLiteral("b1"));
    QCOMPARE(grid->item(14, 1)->text(), QStringLiteral("备用字段"));
    editTitle(grid, 0, "部门");
    editTitle(grid, 13, "归档日期");
    editTitle(grid, 2, "一二三四五六七八九十一二三四五六七八九十多余");
    QCOMPARE(grid->item(0, 1)->text(), QStringLiteral("部门"));
    QSignalSpy changed(&w, &RenameFieldsWindow::titlesChanged);

    // "no" writes nothing.
    p.answerNo();
    QTest::mouseClick(button(&w, "保存按钮"), Qt::LeftButton);
    QCOMPARE(p.lastText(), QStringLiteral("确定保存吗 ?"));
    QCOMPARE(valueOf(s, "select btm from lbsz where bh=6").toString(), QStringLiteral("备用字段"));
    QCOMPARE(changed.size(), 0);

    p.answerYes();
    QTest::mouseClick(button(&w, "保存按钮"), Qt::LeftButton);
    QCOMPARE(p.messages(), QStringList({"修改完成!"}));
    QCOMPARE(changed.size(), 1);
    QCOMPARE(valueOf(s, "select btm from lbsz where bh=6").toString(), QStringLiteral("部门"));
    QCOMPARE(valueOf(s, "select xm from xx where bh=6").toString(), QStringLiteral("部门"));
    QCOMPARE(valueOf(s, "select btm from lbsz where bh=19").toString(), QStringLiteral("归档日期"));
    QCOMPARE(valueOf(s, "select btm from lbsz where bh=8").toString(),
             QStringLiteral("一二三四五六七八九十一二三四五六七八九十"));
    QCOMPARE(valueOf(s, "select xm from xx where bh=8").toString(),
             QStringLiteral("一二三四五六七八九十一二三四五六七八九十"));
    QCOMPARE(valueOf(s, "select count(*) from lbsz where bh between 6 and 20 and btm='备用字段'").toInt(), 12);
    // Only the spare fields were touched.
    QCOMPARE(valueOf(s, "select btm from lbsz where bh=2").toString(), QStringLiteral("文件名称"));
    TestHome::grab(&w, "rename-fields");

    // A new window shows the saved titles; an emptied title goes back to 备用字段.
    RenameFieldsWindow again(s);
    again.show();
    (void)QTest::qWaitForWindowExposed(&again);
    auto* grid2 = again.findChild<QTableWidget*>("高级表格1");
    QCOMPARE(grid2->item(0, 1)->text(), QStringLiteral("部门"));
    editTitle(grid2, 0, "");
    p.answerYes();
    QTest::mouseClick(button(&again, "保存按钮"), Qt::LeftButton);
    QCOMPARE(valueOf(s, "select btm from lbsz where bh=6").toString(), QStringLiteral("备用字段"));
    QCOMPARE(grid2->item(0, 1)->text(), QStringLiteral("备用字段"));
    QCOMPARE(p.unexpected(), 0);
}

void LayoutWindowsTest::renameFieldsFailures()
{
    TestHome home;
    DataStore& s = home.store();
    ScriptedPrompter p;
    RenameFieldsWindow w(s);
    w.show();
    (void)QTest::qWaitForWindowExposed(&w);
    auto* grid = w.findChild<QTableWidget*>("高级表格1");
    editTitle(grid, 0, "部门");
    editTitle(grid, 1, "密级");
    QSignalSpy changed(&w, &RenameFieldsWindow::titlesChanged);

    // The option list of b2 refuses: everything stays as it was.
    QVERIFY(
        s.execute("create trigger no_xx before update on xx when new.bh=7 begin select raise(abort,'refused'); end"));
    p.answerYes();
    QTest::mouseClick(button(&w, "保存按钮"), Qt::LeftButton);
    QCOMPARE(p.messages(), QStringList({"修改失败，错误代码：1"}));
    QCOMPARE(p.shown().last().icon, Prompter::Icon::Critical);
    QCOMPARE(valueOf(s, "select btm from lbsz where bh=6").toString(), QStringLiteral("备用字段"));
    QCOMPARE(valueOf(s, "select xm from xx where bh=6").toString(), QStringLiteral("备用字段"));
    QVERIFY(s.execute("drop trigger no_xx"));

    p.clear();
    s.failNextStatements(1, "update lbsz set btm");
    p.answerYes();
    QTest::mouseClick(button(&w, "保存按钮"), Qt::LeftButton);
    QCOMPARE(p.messages(), QStringList({"修改失败，错误代码：0"}));
    QCOMPARE(p.shown().last().icon, Prompter::Icon::Critical);
    QCOMPARE(valueOf(s, "select count(*) from lbsz where btm='部门'").toInt(), 0);
    QCOMPARE(changed.size(), 0);
}

void LayoutWindowsTest::grabViews()
{
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(s.execute("update lbsz set btm='部门',xs=1,wz=8,lk=70 where bh=6"));
    const QStringList types{"doc", "pdf", "jpg", "xls", "txt", "mp3"};
    for (int i = 0; i < 40; ++i)
        insertRecord(s,
                     {{"xh", i},
                      {"bh", QString::number(i + 1).rightJustified(10, '0')},
                      {"mc", QStringLiteral("关于第%1季度工作安排的通知").arg(i % 4 + 1)},
                      {"fz", "公司\\办公室"},
                      {"lx", types.at(i % types.size())},
                      {"dx", "12.50KB"},
                      {"dxsz", 12800},
                      {"b1", "办公室"},
                      {"scr", "Admin"},
                      {"scsj", "2024-03-05 09:12:33"}});
    Fixture f(home);
    QVERIFY(f.load());
    f.click(2);
    f.click(4, Qt::ControlModifier);
    // Another widget takes the focus: the selection stays visible.
    f.views.iconView()->setFocus();
    QCoreApplication::processEvents();
    QCOMPARE(f.views.selectedIds().size(), 2);
    TestHome::grab(&f.window, "file-list-views");
    QCOMPARE(f.views.statisticsLine(), QStringLiteral(" 文件总数：40份  共：500.00KB"));
}

KV_REGISTER_TEST(LayoutWindowsTest)
#include "LayoutWindowsTest.moc"
