#include "MainWindowFixture.h"
#include "common/TestRegistry.h"

#include "shell/Commands.h"
#include "shell/ui/CommandTable.h"
#include "shell/ui/MainMenus.h"
#include "shell/ui/PermissionNotice.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QStyle>
#include <QListView>
#include <QTableView>
#include "archive/ui/GroupTreePane.h"
#include "listing/ui/FileListViews.h"

namespace {

using Outcome = CommandRouter::Outcome;

// One row of a menu as the operator sees it: text ("-" for a separator),
// the command, the right it needs, whether it carries an icon.
struct Row {
    QString text;
    QString command;
    QString right;
    bool icon;
};

Row sep()
{
    return {QStringLiteral("-"), {}, {}, false};
}
Row row(const char* text, const char* command, const char* right, bool icon)
{
    return {QString::fromUtf8(text), QString::fromLatin1(command), QString::fromUtf8(right), icon};
}

QList<Row> expected(const QString& menu)
{
    if (menu == QStringLiteral("树"))
        return {row("当前分组中增加文件", Cmd::TreeAddFile, "增加", true),
                sep(),
                row("增加分组", Cmd::TreeAddGroup, "文件分组", true),
                row("修改分组", Cmd::TreeRenameGroup, "文件分组", false),
                row("删除分组", Cmd::TreeDeleteGroup, "文件分组", true),
                sep(),
                row("批量导入", Cmd::TreeBatchImport, "批量导入", true),
                row("批量导出", Cmd::TreeBatchExport, "批量导出", true),
                sep(),
                row("浏览图片", Cmd::TreeBrowsePictures, "浏览图片", true),
                row("播放媒体", Cmd::TreePlayMedia, "播放媒体", true),
                sep(),
                row("调整分组", Cmd::TreeMoveGroupFiles, "文件分组", false),
                row("复制分组", Cmd::TreeCopyGroup, "", true),
                sep(),
                row("分组上移", Cmd::TreeMoveUp, "文件分组", true),
                row("分组下移", Cmd::TreeMoveDown, "文件分组", true),
                sep(),
                row("全部展开", Cmd::TreeExpandAll, "", false),
                row("全部收缩", Cmd::TreeCollapseAll, "", false),
                sep(),
                row("设置密码", Cmd::TreeSetPassword, "设置密码", true)};
    if (menu == QStringLiteral("文件"))
        return {row("打开", Cmd::FileOpen, "打开文件", true),
                row("另存为...", Cmd::FileSaveAs, "文件另存", true),
                row("删除文件", Cmd::FileDelete, "删除", true),
                row("回收站", Cmd::FileTrash, "", false),
                row("批量修改", Cmd::FileBatchModify, "批量修改", false),
                row("调整文件所属分组", Cmd::FileMoveToGroup, "修改", false),
                row("导出列表到Excel文件", Cmd::FileExportExcel, "导出列表", true),
                sep(),
                row("浏览图片", Cmd::FileBrowsePictures, "浏览图片", true),
                row("播放媒体", Cmd::FilePlayMedia, "播放媒体", true),
                sep(),
                row("选择显示", Cmd::FileChooseColumns, "选择显示", true),
                row("保存列宽", Cmd::FileSaveWidths, "保存列宽", false),
                sep(),
                row("排序方式", Cmd::FileSortOrder, "排序方式", true),
                row("调整位置", Cmd::FileReposition, "调整位置", true),
                sep(),
                row("文件属性", Cmd::FileProperties, "文件属性", true)};
    if (menu == QStringLiteral("设置"))
        return {row("全局参数", Cmd::GlobalSettings, "全局参数", true),
                sep(),
                row("权限管理", Cmd::Operators, "权限管理", true),
                row("修改口令", Cmd::ChangePassword, "", false),
                sep(),
                row("系统日志", Cmd::SystemLog, "系统日志", true),
                sep(),
                row("智能换肤", Cmd::Skins, "", true)};
    if (menu == QStringLiteral("图标菜单"))
        return {row("打开", Cmd::IconOpen, "打开文件", true), row("另存为...", Cmd::IconSaveAs, "文件另存", true)};
    if (menu == QStringLiteral("界面"))
        return {row("显示模式一", Cmd::ViewMode1, "", false),
                row("显示模式二", Cmd::ViewMode2, "", false),
                sep(),
                row("全局参数", Cmd::GlobalSettings, "全局参数", true),
                sep(),
                row("如何开始?", Cmd::ViewGuide, "", false)};
    return {};
}

const QStringList menuNames = {QStringLiteral("树"), QStringLiteral("文件"), QStringLiteral("设置"),
                               QStringLiteral("图标菜单"), QStringLiteral("界面")};

}  // namespace

class MainMenusTest : public QObject {
    Q_OBJECT
private slots:
    void entriesInOrder_data();
    void entriesInOrder();
    void iconsOnTwentyEightEntries();
    void hiddenEntriesOfTree();
    void entriesReachTheirCommands_data();
    void entriesReachTheirCommands();
    void keysReachTheirCommands();
    void drawnInThePalette();
    void lookKeptUnderEverySkin_data();
    void lookKeptUnderEverySkin();
};

void MainMenusTest::entriesInOrder_data()
{
    QTest::addColumn<QString>("menu");
    for (const QString& m : menuNames)
        QTest::newRow(qPrintable(m)) << m;
}

void MainMenusTest::entriesInOrder()
{
    QFETCH(QString, menu);
    MainWindowFixture f;
    QVERIFY(f.build());
    QMenu* m = f.window->menus()->menu(menu);
    QVERIFY(m);
    QCOMPARE(m->objectName(), menu);
    QCOMPARE(f.window->findChild<QMenu*>(menu), m);
    QCOMPARE(f.window->findChild<MainMenus*>(QStringLiteral("超级菜单1")), f.window->menus());
    const QList<Row> rows = expected(menu);
    const QList<QAction*> actions = m->actions();
    QCOMPARE(actions.size(), rows.size());
    for (int i = 0; i < rows.size(); ++i) {
        const Row& r = rows.at(i);
        QAction* a = actions.at(i);
        const QString where = QStringLiteral("%1 #%2 %3").arg(menu).arg(i).arg(r.text);
        if (r.text == QStringLiteral("-")) {
            QVERIFY2(a->isSeparator(), qPrintable(where));
            continue;
        }
        QVERIFY2(!a->isSeparator(), qPrintable(where));
        QCOMPARE(a->text(), r.text);
        QCOMPARE(MainMenus::commandOf(a), r.command);
        QCOMPARE(CommandTable::rightOf(MainMenus::commandOf(a)), r.right);
        // No shortcut, none disabled or ticked, no submenus.
        QVERIFY(a->shortcut().isEmpty());
        // (An entry hidden when the menu first opens reads as disabled while hidden.)
        QVERIFY(a->isEnabled() || !a->isVisible());
        QVERIFY(!a->isCheckable());
        QVERIFY(!a->menu());
        QVERIFY(!a->text().contains(QLatin1Char('&')));
    }
}

void MainMenusTest::iconsOnTwentyEightEntries()
{
    MainWindowFixture f;
    QVERIFY(f.build());
    int withIcon = 0;
    int entries = 0;
    for (const QString& menu : menuNames) {
        const QList<Row> rows = expected(menu);
        const QList<QAction*> actions = f.window->menus()->menu(menu)->actions();
        for (int i = 0; i < rows.size(); ++i) {
            QAction* a = actions.at(i);
            if (a->isSeparator()) {
                QVERIFY(a->icon().isNull());
                continue;
            }
            ++entries;
            QCOMPARE(!a->icon().isNull(), rows.at(i).icon);
            if (!a->icon().isNull()) {
                ++withIcon;
                const QPixmap pm = a->icon().pixmap(QSize(16, 16));
                QCOMPARE(pm.size(), QSize(16, 15));
                // Something is drawn on it.
                const QImage img = pm.toImage();
                int opaque = 0;
                for (int y = 0; y < img.height(); ++y)
                    for (int x = 0; x < img.width(); ++x)
                        opaque += qAlpha(img.pixel(x, y)) > 0;
                QVERIFY2(opaque > 20, qPrintable(a->text()));
            }
        }
    }
    QCOMPARE(entries, 40);
    QCOMPARE(withIcon, 28);
    // The style gives menus a 16-pixel icon column.
    QMenu* m = f.window->menus()->menu(QStringLiteral("文件"));
    QCOMPARE(m->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, m), 16);
}

void MainMenusTest::hiddenEntriesOfTree()
{
    MainWindowFixture f;
    QVERIFY(f.home.isValid());
    f.home.loginAs(QStringLiteral("clerk"), QStringLiteral("增加,删除"));
    QVERIFY(f.build());
    const QList<QAction*> actions = f.window->menus()->menu(QStringLiteral("树"))->actions();
    QVERIFY(actions.at(11)->isSeparator());
    QCOMPARE(actions.at(12)->text(), QStringLiteral("调整分组"));
    QCOMPARE(actions.at(13)->text(), QStringLiteral("复制分组"));
    for (int i = 0; i < actions.size(); ++i)
        QCOMPARE(actions.at(i)->isVisible(), i < 11 || i > 13);
    QCOMPARE(f.window->menus()->groupingEntries(), actions.mid(11, 3));
}

void MainMenusTest::entriesReachTheirCommands_data()
{
    QTest::addColumn<QString>("menu");
    for (const QString& m : menuNames)
        QTest::newRow(qPrintable(m)) << m;
}

void MainMenusTest::entriesReachTheirCommands()
{
    QFETCH(QString, menu);
    MainWindowFixture f;
    QVERIFY(f.home.isValid());
    f.home.loginAs(QStringLiteral("nobody"), QString());
    QVERIFY(f.build());
    f.stubForeignCommands();
    const QList<Row> rows = expected(menu);
    const QList<QAction*> actions = f.window->menus()->menu(menu)->actions();
    for (int i = 0; i < rows.size(); ++i) {
        const Row& r = rows.at(i);
        if (r.text == QStringLiteral("-"))
            continue;
        for (const QString& rights : {QString(), r.right}) {
            f.home.loginAs(QStringLiteral("nobody"), rights);
            for (PermissionNotice* n : MainWindowFixture::shownWindows<PermissionNotice>())
                n->close();
            QApplication::processEvents();
            actions.at(i)->trigger();
            QCOMPARE(f.window->lastCommand(), r.command);
            const bool refused = !r.right.isEmpty() && rights.isEmpty();
            QCOMPARE(f.window->lastOutcome(), refused ? Outcome::Denied : Outcome::Ran);
            QCOMPARE(MainWindowFixture::shownWindows<PermissionNotice>().size(), refused ? 1 : 0);
            for (QMenu* m : MainWindowFixture::shownWindows<QMenu>())
                m->hide();
        }
    }
    QVERIFY(f.prompter.shown().isEmpty());
}

void MainMenusTest::keysReachTheirCommands()
{
    MainWindowFixture f;
    QVERIFY(f.build());
    f.stubForeignCommands();
    QTableView* report = f.window->list()->reportView();
    const QList<std::pair<QWidget*, std::pair<int, const char*>>> keys = {
        {report, {Qt::Key_Return, Cmd::FileOpen}},
        {report, {Qt::Key_Delete, Cmd::FileDelete}},
        {f.window->list()->iconView(), {Qt::Key_Enter, Cmd::IconOpen}},
        {f.window->tree(), {Qt::Key_F2, Cmd::TreeRenameGroup}},
    };
    for (const auto& [on, key] : keys) {
        on->setFocus();
        QTest::keyClick(on, Qt::Key(key.first));
        QCOMPARE(f.ran.value(f.ran.size() - 1), QString::fromLatin1(key.second));
    }
    // Shift+F10 opens the tree's menu as the menu key does.
    QTest::keyClick(f.window->tree(), Qt::Key_F10, Qt::ShiftModifier);
    QTRY_VERIFY(f.window->menus()->menu(QStringLiteral("树"))->isVisible());
}

void MainMenusTest::drawnInThePalette()
{
    MainWindowFixture f;
    QVERIFY(f.build());
    const QList<QColor> palette = MainMenus::palette();
    QCOMPARE(palette,
             (QList<QColor>{QColor(227, 239, 255), QColor(136, 174, 228), QColor(255, 244, 204), QColor(255, 215, 157),
                            QColor(249, 248, 247), QColor(255, 238, 194)}));
    QMenu* m = f.window->menus()->menu(QStringLiteral("设置"));
    m->popup(QPoint(50, 50));
    QVERIFY(QTest::qWaitForWindowExposed(m));
    m->setActiveAction(m->actions().at(0));
    const QImage img = m->grab().toImage();
    m->hide();
    // Frame, icon column (light at its left edge), background right of the text.
    QCOMPARE(img.pixelColor(0, img.height() / 2), palette.at(1));
    const QColor column = img.pixelColor(1, img.height() - 4);
    QVERIFY2(qAbs(column.red() - 227) < 8 && qAbs(column.blue() - 255) < 4, qPrintable(column.name()));
    QCOMPARE(img.pixelColor(img.width() - 4, img.height() - 4), palette.at(4));
    // The selected first entry is painted in the gold tones.
    const QRect first = m->actionGeometry(m->actions().at(0));
    const QColor sel = img.pixelColor(first.right() - 6, first.center().y());
    QVERIFY2(sel.red() == 255 && sel.green() >= 238 && sel.blue() >= 194 && sel.blue() <= 204, qPrintable(sel.name()));
}

void MainMenusTest::lookKeptUnderEverySkin_data()
{
    QTest::addColumn<QString>("skin");
    for (const QString& skin : QDir(QStringLiteral(":/skins")).entryList({QStringLiteral("*.she")}))
        QTest::newRow(qPrintable(skin)) << skin;
}

void MainMenusTest::lookKeptUnderEverySkin()
{
    QFETCH(QString, skin);
    QFile file(QStringLiteral(":/skins/") + skin);
    QVERIFY(file.open(QIODevice::ReadOnly));
    struct Restore {
        ~Restore() { qApp->setStyleSheet(QString()); }
    } restore;
    qApp->setStyleSheet(QString::fromUtf8(file.readAll()));
    MainWindowFixture f;
    QVERIFY(f.build());
    QMenu* m = f.window->menus()->menu(QStringLiteral("文件"));
    m->popup(QPoint(40, 40));
    QVERIFY(QTest::qWaitForWindowExposed(m));
    const QImage img = m->grab().toImage();
    TestHome::grab(m, QStringLiteral("menu-file-") + QFileInfo(skin).baseName());
    m->hide();
    const QColor column = img.pixelColor(1, img.height() - 4);
    QVERIFY2(qAbs(column.red() - 227) < 8 && qAbs(column.blue() - 255) < 4, qPrintable(column.name()));
    QCOMPARE(img.pixelColor(img.width() - 4, img.height() - 4), MainMenus::palette().at(4));
    QCOMPARE(m->actions().at(0)->icon().pixmap(QSize(16, 16)).size(), QSize(16, 15));
}

KV_REGISTER_TEST(MainMenusTest)
#include "MainMenusTest.moc"
