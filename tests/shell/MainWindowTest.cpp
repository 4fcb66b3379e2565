#include "MainWindowFixture.h"
#include "common/TestRegistry.h"

#include "archive/ui/EditPanel.h"
#include "archive/ui/GroupTreePane.h"
#include "listing/ui/FileListViews.h"
#include "platform/Clock.h"
#include "shell/ClockLine.h"
#include "shell/Commands.h"
#include "shell/ui/CommandTable.h"
#include "platform/ProgramHome.h"
#include "shell/ui/AboutWindow.h"
#include "shell/ui/Banner.h"
#include "shell/ui/GuideWindow.h"
#include "shell/ui/MainMenus.h"
#include "shell/ui/PermissionNotice.h"
#include "shell/ui/ToolbarLabel.h"

#include <QAction>
#include <QBuffer>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QProgressBar>
#include <QSignalSpy>
#include <QSplitter>
#include <QSplitterHandle>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

namespace {

using Outcome = CommandRouter::Outcome;

void rightClick(QWidget* w, QPoint at = QPoint(5, 5), Qt::KeyboardModifiers modifiers = {})
{
    QContextMenuEvent e(QContextMenuEvent::Mouse, at, w->mapToGlobal(at), modifiers);
    QApplication::sendEvent(w, &e);
}

QMenu* shownMenu()
{
    const auto menus = MainWindowFixture::shownWindows<QMenu>();
    return menus.size() == 1 ? menus.first() : nullptr;
}

void closeMenus()
{
    for (QMenu* m : MainWindowFixture::shownWindows<QMenu>())
        m->hide();
}

QRect geometryIn(QWidget* w, QWidget* ancestor)
{
    return QRect(w->mapTo(ancestor, QPoint(0, 0)), w->size());
}

// Points the per-user temporary folder (and with it the extraction folder)
// into a folder of the test's own for as long as it lives.
// The user's runtime folder, where the extraction folders are made.
class TempLocation {
public:
    TempLocation() : m_old(qgetenv("XDG_RUNTIME_DIR")) { qputenv("XDG_RUNTIME_DIR", m_dir.path().toLocal8Bit()); }
    ~TempLocation()
    {
        if (m_old.isEmpty())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", m_old);
    }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QByteArray m_old;
};

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void opensMaximisedWithCaption();
    void unitsAtDesignSize();
    void toolbarLabels_data();
    void toolbarLabels();
    void bannerFromSettings_data();
    void bannerFromSettings();
    void greetingAndStatistics();
    void searchWithoutRightShowsOnlyNotice();
    void commandsWithoutRightRunForEveryone();
    void settingsLabelPopsSettingsMenu();
    void rightClickOpensMenus();
    void groupingEntriesFollowTheRight();
    void displayModes();
    void resizeAndDragFillClientArea_data();
    void resizeAndDragFillClientArea();
    void savedModeAtRestart();
    void addedRecordStaysSelected();
    void menuModeSwitchKeepsDatabase();
    void exitAnsweredNo_data();
    void exitAnsweredNo();
    void exitAnsweredYes_data();
    void exitAnsweredYes();
    void exitRemovesALinkNotItsTarget();
    void clockRedrawnAcrossMidnight();
    void progressBar();
    void guideOfferedUntilFlagSet();
    void guideUntickedKeepsOffering();
    void guideFromMenuIgnoresFlag();
    void aboutFromToolbar();
    void renders();
    void rendersUnderSkins_data();
    void rendersUnderSkins();
};

void MainWindowTest::opensMaximisedWithCaption()
{
    TestHome home;
    QVERIFY(home.isValid());
    ScriptedPrompter prompter;
    MainWindow w(home.context());
    QVERIFY(w.isReady());
    QCOMPARE(w.windowTitle(), QStringLiteral("Korvane文件管理系统（单机版）"));
    QVERIFY(w.windowState() & Qt::WindowMaximized);
    // No menu bar: the menus exist only as popup menus.
    for (QMenuBar* bar : w.findChildren<QMenuBar*>())
        QVERIFY(bar->actions().isEmpty());
}

void MainWindowTest::unitsAtDesignSize()
{
    MainWindowFixture f;
    QVERIFY(f.build());
    QWidget* central = f.window->centralWidget();

    auto* banner = f.unit<Banner>(QStringLiteral("图片框1"));
    QVERIFY(banner);
    QCOMPARE(geometryIn(banner, central), QRect(0, 0, 1024, 56));
    auto* text = f.unit<QLabel>(QStringLiteral("透明标签1"));
    QVERIFY(text);
    QCOMPARE(text->parentWidget(), banner);
    QCOMPARE(text->geometry(), QRect(8, 8, 632, 40));
    QCOMPARE(text->font().pixelSize(), 24);
    QVERIFY(text->font().bold());
    QCOMPARE(banner->toolTip(), QStringLiteral("右键切换显示界面"));
    QCOMPARE(text->toolTip(), QStringLiteral("右键切换显示界面"));

    auto* strip = f.unit<QLabel>(QStringLiteral("图片框2"));
    QVERIFY(strip);
    QCOMPARE(geometryIn(strip, central).top(), 56);
    QCOMPARE(strip->height(), 16);
    QCOMPARE(strip->width(), 1024);

    auto* tree = f.unit<GroupTreePane>(QStringLiteral("树型框1"));
    auto* panel = f.unit<EditPanel>(QStringLiteral("外形框1"));
    auto* icons = f.unit<QListView>(QStringLiteral("图标超级列表框"));
    auto* report = f.unit<QTableView>(QStringLiteral("文件超级列表框"));
    QVERIFY(tree && panel && icons && report);
    QCOMPARE(tree->toolTip(), QStringLiteral("右键弹出操作菜单"));
    // Mode one at design size: the upper row as the design draws it.
    QCOMPARE(geometryIn(tree, central), QRect(0, 72, 248, 232));
    QCOMPARE(geometryIn(panel, central), QRect(253, 72, 640, 232));
    QCOMPARE(geometryIn(icons, central).left(), 898);
    QCOMPARE(geometryIn(icons, central).right(), 1023);
    QCOMPARE(geometryIn(report, central).top(), 72 + 232 + 5);

    for (const QString& name : {QStringLiteral("左竖分隔条"), QStringLiteral("右竖分隔条")}) {
        auto* h = f.unit<QSplitterHandle>(name);
        QVERIFY2(h, qPrintable(name));
        QCOMPARE(h->orientation(), Qt::Horizontal);
        QCOMPARE(h->width(), 5);
    }
    auto* h = f.unit<QSplitterHandle>(QStringLiteral("横分隔条"));
    QVERIFY(h);
    QCOMPARE(h->orientation(), Qt::Vertical);
    QCOMPARE(h->height(), 5);

    auto* progress = f.unit<QProgressBar>(QStringLiteral("进度条1"));
    QVERIFY(progress);
    QCOMPARE(progress->minimum(), 0);
    QCOMPARE(progress->maximum(), 100);
    QCOMPARE(progress->height(), 8);
    QCOMPARE(geometryIn(progress, central).bottom(), central->height() - 1);
    QCOMPARE(geometryIn(report, central).bottom() + 1, geometryIn(progress, central).top());

    auto* status = f.unit<QStatusBar>(QStringLiteral("状态条1"));
    QVERIFY(status);
    QCOMPARE(f.window->statusBar(), status);
    const int widths[4] = {150, 220, 200, 50};
    for (int i = 0; i < 4; ++i) {
        QVERIFY(f.window->statusPane(i));
        QCOMPARE(f.window->statusPane(i)->minimumWidth(), widths[i]);
        QCOMPARE(f.window->statusPane(i)->parentWidget(), status);
    }
}

void MainWindowTest::toolbarLabels_data()
{
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("left");
    QTest::addColumn<QString>("hint");
    QTest::addColumn<QString>("command");
    QTest::newRow("增加") << "增加透明标签"
                          << "增加" << 664 << "增加一个文件" << Cmd::Add;
    QTest::newRow("删除") << "删除透明标签"
                          << "删除" << 704 << "删除当前文件" << Cmd::Delete;
    QTest::newRow("修改") << "修改透明标签"
                          << "修改" << 744 << "修改当前文件" << Cmd::Modify;
    QTest::newRow("保存") << "保存透明标签"
                          << "保存" << 784 << "保存" << Cmd::Save;
    QTest::newRow("取消") << "取消透明标签"
                          << "取消" << 824 << "取消" << Cmd::Cancel;
    QTest::newRow("搜索") << "搜索透明标签"
                          << "搜索" << 864 << "搜索文件" << Cmd::Search;
    QTest::newRow("设置") << "设置透明标签"
                          << "设置" << 904 << "系统设置" << Cmd::SettingsMenu;
    QTest::newRow("关于") << "关于透明标签"
                          << "关于" << 944 << "关于本系统" << Cmd::About;
    QTest::newRow("退出") << "退出透明标签"
                          << "退出" << 984 << "退出系统" << Cmd::Exit;
}

void MainWindowTest::toolbarLabels()
{
    QFETCH(QString, unit);
    QFETCH(QString, caption);
    QFETCH(int, left);
    QFETCH(QString, hint);
    QFETCH(QString, command);
    MainWindowFixture f;
    QVERIFY(f.build());
    auto* label = f.unit<ToolbarLabel>(unit);
    QVERIFY(label);
    QCOMPARE(label->parentWidget()->objectName(), QStringLiteral("图片框1"));
    QCOMPARE(label->text(), caption);
    QCOMPARE(label->geometry(), QRect(left, 24, 32, 24));
    QCOMPARE(label->toolTip(), hint);
    QCOMPARE(label->cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(label->font().pixelSize(), 14);
    QCOMPARE(label->palette().color(QPalette::WindowText), QColor(Qt::white));

    f.stubForeignCommands();
    if (command == QLatin1String(Cmd::Exit))
        f.prompter.answerNo();
    // Pressing alone does nothing; the command runs on the release.
    QTest::mousePress(label, Qt::LeftButton);
    QVERIFY(f.window->lastCommand().isEmpty());
    QTest::mouseRelease(label, Qt::LeftButton);
    QCOMPARE(f.window->lastCommand(), command);
    QCOMPARE(f.window->lastOutcome(), Outcome::Ran);
    closeMenus();

    // The right button runs nothing.
    f.window->runCommand(QString());
    QTest::mouseClick(label, Qt::RightButton);
    QCOMPARE(f.window->lastCommand(), QString());
    closeMenus();
}

void MainWindowTest::bannerFromSettings_data()
{
    QTest::addColumn<int>("background");
    QTest::addColumn<bool>("withPicture");
    QTest::addColumn<int>("expected");  // Banner::Background
    QTest::newRow("colour") << int(MainSettings::Colour) << false << int(Banner::Background::Colour);
    QTest::newRow("picture") << int(MainSettings::Picture) << true << int(Banner::Background::Picture);
    QTest::newRow("picture missing") << int(MainSettings::Picture) << false << int(Banner::Background::Design);
}

void MainWindowTest::bannerFromSettings()
{
    QFETCH(int, background);
    QFETCH(bool, withPicture);
    QFETCH(int, expected);
    MainWindowFixture f;
    QVERIFY(f.home.isValid());
    QByteArray picture;
    if (withPicture) {
        QImage img(1024, 56, QImage::Format_RGB32);
        img.fill(QColor(0x11, 0x88, 0x22));
        QBuffer buf(&picture);
        buf.open(QIODevice::WriteOnly);
        img.save(&buf, "PNG");
    }
    QVERIFY(f.home.store().execute(QStringLiteral("update zcbj set wz=?,bjfs=?,bjys=?,bjtp=? where id=1"),
                                   {QStringLiteral("测试条幅 O'Neil"), background, 0xC04020, picture}));
    QVERIFY(f.build());
    auto* banner = f.unit<Banner>(QStringLiteral("图片框1"));
    QCOMPARE(f.unit<QLabel>(QStringLiteral("透明标签1"))->text(), QStringLiteral("测试条幅 O'Neil"));
    QCOMPARE(int(banner->background()), expected);
    const QColor corner = banner->grab().toImage().pixelColor(2, 2);
    if (expected == int(Banner::Background::Colour))
        QCOMPARE(corner, QColor(0xC0, 0x40, 0x20));
    else if (expected == int(Banner::Background::Picture))
        QCOMPARE(corner, QColor(0x11, 0x88, 0x22));
    else
        QVERIFY(qAbs(corner.blue() - 0xAE) < 12 && corner.red() < 0x40);  // the plain blue design picture

    // Settings changed at run time are taken at once.
    f.home.context().mainSettings.bannerText = QStringLiteral("新条幅");
    f.home.context().mainSettings.background = MainSettings::Colour;
    f.home.context().mainSettings.bannerColour = 0x102030;
    f.window->applyMainSettings();
    QCOMPARE(banner->text(), QStringLiteral("新条幅"));
    QCOMPARE(banner->grab().toImage().pixelColor(2, 2), QColor(0x10, 0x20, 0x30));
}

void MainWindowTest::greetingAndStatistics()
{
    MainWindowFixture f;
    QVERIFY(f.home.isValid());
    f.home.loginAs(QStringLiteral("张三"), QStringLiteral("增加"));
    QVERIFY(f.build());
    QCOMPARE(f.window->statusPane(0)->text(), QStringLiteral("张三 欢迎回来 "));
    emit f.window->list()->statisticsChanged(QStringLiteral(" 文件总数：3份  共：12KB"));
    QCOMPARE(f.window->statusPane(1)->text(), QStringLiteral(" 文件总数：3份  共：12KB"));
    QVERIFY(f.window->statusPane(2)->text().startsWith(QStringLiteral(" 今天是 ")));

    f.home.loginAs(QStringLiteral("李四"), QString());
    f.window->operatorChanged();
    QCOMPARE(f.window->statusPane(0)->text(), QStringLiteral("李四 欢迎回来 "));
}

void MainWindowTest::searchWithoutRightShowsOnlyNotice()
{
    MainWindowFixture f;
    QVERIFY(f.home.isValid());
    f.home.loginAs(QStringLiteral("clerk"), QStringLiteral("增加,修改,删除,批量修改"));
    QVERIFY(f.build());
    f.stubForeignCommands();
    const QWidgetList before = QApplication::topLevelWidgets();
    QVERIFY(MainWindowFixture::shownWindows<PermissionNotice>().isEmpty());

    QTest::mouseClick(f.unit<QWidget>(QStringLiteral("搜索透明标签")), Qt::LeftButton);
    QCOMPARE(f.window->lastCommand(), QString::fromLatin1(Cmd::Search));
    QCOMPARE(f.window->lastOutcome(), Outcome::Denied);
    QCOMPARE(MainWindowFixture::shownWindows<PermissionNotice>().size(), 1);
    QVERIFY(f.ran.isEmpty());
    // Nothing else: no message, no other new window.
    QVERIFY(f.prompter.shown().isEmpty());
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && !before.contains(w))
            QVERIFY2(qobject_cast<PermissionNotice*>(w), qPrintable(w->metaObject()->className()));

    // With the right the search is not refused.
    f.home.loginAs(QStringLiteral("clerk"), QStringLiteral("搜索文件"));
    QCOMPARE(f.window->runCommand(QString::fromLatin1(Cmd::Search)), Outcome::Ran);
    QCOMPARE(f.ran, QStringList{QString::fromLatin1(Cmd::Search)});
}

void MainWindowTest::commandsWithoutRightRunForEveryone()
{
    MainWindowFixture f;
    QVERIFY(f.home.isValid());
    f.home.loginAs(QStringLiteral("nobody"), QString());
    QVERIFY(f.build());
    f.stubForeignCommands();

    for (const QString& unit : {QStringLiteral("保存透明标签"), QStringLiteral("取消透明标签"),
                                QStringLiteral("关于透明标签"), QStringLiteral("退出透明标签")}) {
        if (unit == QStringLiteral("退出透明标签"))
            f.prompter.answerNo();
        QTest::mouseClick(f.unit<QWidget>(unit), Qt::LeftButton);
        QVERIFY2(f.window->lastOutcome() == Outcome::Ran, qPrintable(unit));
    }
    QCOMPARE(f.ran, (QStringList{QString::fromLatin1(Cmd::Save), QString::fromLatin1(Cmd::Cancel)}));
    QCOMPARE(MainWindowFixture::shownWindows<AboutWindow>().size(), 1);
    QCOMPARE(f.prompter.lastText(), QStringLiteral("确定退出本系统吗？"));
    QVERIFY(f.window->isVisible());

    // "修改口令" in menu "设置".
    QTest::mouseClick(f.unit<QWidget>(QStringLiteral("设置透明标签")), Qt::LeftButton);
    QMenu* menu = shownMenu();
    QVERIFY(menu);
    QCOMPARE(menu->objectName(), QStringLiteral("设置"));
    QAction* change = nullptr;
    for (QAction* a : menu->actions())
        if (a->text() == QStringLiteral("修改口令"))
            change = a;
    QVERIFY(change);
    change->trigger();
    QCOMPARE(f.window->lastCommand(), QString::fromLatin1(Cmd::ChangePassword));
    QCOMPARE(f.window->lastOutcome(), Outcome::Ran);
    QCOMPARE(f.ran.last(), QString::fromLatin1(Cmd::ChangePassword));
    QVERIFY(MainWindowFixture::shownWindows<PermissionNotice>().isEmpty());

    // Every right-free toolbar and menu command runs; every other is refused.
    for (const CommandTable::Entry& info : CommandTable::entries()) {
        const QString id = QString::fromLatin1(info.id);
        if (id == QLatin1String(Cmd::Exit))
            continue;
        const Outcome o = f.window->runCommand(id);
        QCOMPARE(o == Outcome::Denied, !info.right.isEmpty());
        closeMenus();
    }
}

void MainWindowTest::settingsLabelPopsSettingsMenu()
{
    MainWindowFixture f;
    QVERIFY(f.build());
    auto* label = f.unit<QWidget>(QStringLiteral("设置透明标签"));
    QVERIFY(!shownMenu());
    QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(10, 10));
    QMenu* menu = shownMenu();
    QVERIFY(menu);
    QCOMPARE(menu->objectName(), QStringLiteral("设置"));
    // At the pointer (moved left only as far as the screen's edge needs).
    const QPoint at = label->mapToGlobal(QPoint(10, 10));
    QCOMPARE(menu->y(), at.y());
    QVERIFY(menu->x() <= at.x());
    QVERIFY(menu->x() + menu->width() >= qMin(at.x(), menu->screen()->geometry().right() - 1));
    menu->hide();
}

void MainWindowTest::rightClickOpensMenus()
{
    MainWindowFixture f;
    QVERIFY(f.build());

    struct Case {
        QWidget* target;
        QString menu;
    };
    const QList<Case> cases = {
        {f.unit<QWidget>(QStringLiteral("图片框1")), QStringLiteral("界面")},
        {f.unit<QWidget>(QStringLiteral("透明标签1")), QStringLiteral("界面")},
        {f.unit<QWidget>(QStringLiteral("增加透明标签")), QStringLiteral("界面")},
        {f.window->tree()->viewport(), QStringLiteral("树")},
    };
    for (const Case& c : cases) {
        QVERIFY(c.target);
        rightClick(c.target, QPoint(4, 6));
        QMenu* m = shownMenu();
        QVERIFY2(m, qPrintable(c.menu));
        QCOMPARE(m->objectName(), c.menu);
        QCOMPARE(m->pos(), c.target->mapToGlobal(QPoint(4, 6)));
        m->hide();
    }
    // The list views ask for their menus through their signals.
    emit f.window->list()->reportMenuRequested(QPoint(300, 400));
    QVERIFY(shownMenu());
    QCOMPARE(shownMenu()->objectName(), QStringLiteral("文件"));
    QCOMPARE(shownMenu()->pos(), QPoint(300, 400));
    closeMenus();
    emit f.window->list()->iconMenuRequested(QPoint(310, 410));
    QVERIFY(shownMenu());
    QCOMPARE(shownMenu()->objectName(), QStringLiteral("图标菜单"));
    closeMenus();
}

void MainWindowTest::groupingEntriesFollowTheRight()
{
    MainWindowFixture f;
    QVERIFY(f.home.isValid());
    f.home.loginAs(QStringLiteral("clerk"), QStringLiteral("增加,批量导入"));
    QVERIFY(f.build());
    QMenu* tree = f.window->menus()->menu(MainMenus::Which::Tree);
    auto visibleTexts = [tree] {
        QStringList out;
        for (QAction* a : tree->actions())
            if (a->isVisible())
                out << (a->isSeparator() ? QStringLiteral("-") : a->text());
        return out;
    };
    rightClick(f.window->tree()->viewport());
    QVERIFY(tree->isVisible());
    const QStringList without = visibleTexts();
    QVERIFY(!without.contains(QStringLiteral("调整分组")));
    QVERIFY(!without.contains(QStringLiteral("复制分组")));
    // No two separators in a row where the hidden ones were.
    QCOMPARE(without.mid(10, 3),
             (QStringList{QStringLiteral("播放媒体"), QStringLiteral("-"), QStringLiteral("分组上移")}));
    tree->hide();

    // Shift held: still nothing for an operator without "文件分组".
    rightClick(f.window->tree()->viewport(), QPoint(5, 5), Qt::ShiftModifier);
    QCOMPARE(visibleTexts(), without);
    tree->hide();

    // An operator who may arrange groups: hidden when the menu first opens,
    // and on every plain right click; shown only with Shift held.
    f.home.loginAs(QStringLiteral("arranger"), QStringLiteral("文件分组"));
    f.window->operatorChanged();
    for (QAction* a : f.window->menus()->groupingEntries())
        QVERIFY(!a->isVisible());
    rightClick(f.window->tree()->viewport());
    QCOMPARE(visibleTexts(), without);
    tree->hide();
    rightClick(f.window->tree()->viewport(), QPoint(5, 5), Qt::ShiftModifier);
    const QStringList with = visibleTexts();
    QCOMPARE(with.mid(11, 4),
             (QStringList{QStringLiteral("-"), QStringLiteral("调整分组"), QStringLiteral("复制分组"),
                          QStringLiteral("-")}));
    tree->hide();
    rightClick(f.window->tree()->viewport());
    QCOMPARE(visibleTexts(), without);
    tree->hide();
}

void MainWindowTest::displayModes()
{
    MainWindowFixture f;
    QVERIFY(f.build());
    QWidget* central = f.window->centralWidget();
    QWidget* tree = f.window->tree();
    QWidget* panel = f.window->editPanel();
    QWidget* icons = f.window->list()->iconView();
    QWidget* report = f.window->list()->reportView();
    QCOMPARE(f.window->displayMode(), 1);

    auto check = [&](int mode) {
        const QRect t = geometryIn(tree, central), p = geometryIn(panel, central), i = geometryIn(icons, central),
                    r = geometryIn(report, central);
        QVERIFY(tree->isVisible() && panel->isVisible() && icons->isVisible() && report->isVisible());
        QCOMPARE(p.top(), i.top());
        QVERIFY(p.right() < i.left());
        if (mode == 1) {
            QCOMPARE(t.top(), p.top());
            QVERIFY(t.right() < p.left());
            QCOMPARE(r.left(), 0);
            QCOMPARE(r.width(), central->width());
        } else {
            QCOMPARE(t.left(), 0);
            QCOMPARE(t.bottom(), r.bottom());
            QVERIFY(t.right() < r.left());
            QVERIFY(t.right() < p.left());
            QCOMPARE(r.right(), central->width() - 1);
        }
        QVERIFY(r.top() > p.bottom());
        // Handles named after the splitters, in their new places.
        for (const QString& name :
             {QStringLiteral("左竖分隔条"), QStringLiteral("右竖分隔条"), QStringLiteral("横分隔条")})
            QCOMPARE(f.window->findChildren<QSplitterHandle*>(name).size(), 1);
    };
    check(1);
    QCOMPARE(f.window->runCommand(QString::fromLatin1(Cmd::ViewMode2)), Outcome::Ran);
    QApplication::processEvents();
    QCOMPARE(f.window->displayMode(), 2);
    check(2);
    QCOMPARE(f.window->runCommand(QString::fromLatin1(Cmd::ViewMode1)), Outcome::Ran);
    QApplication::processEvents();
    QCOMPARE(f.window->displayMode(), 1);
    check(1);
    // The panes are the same widgets throughout.
    QCOMPARE(f.window->tree(), tree);
    QCOMPARE(f.window->list()->reportView(), report);
}

void MainWindowTest::resizeAndDragFillClientArea_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("mode one") << 1;
    QTest::newRow("mode two") << 2;
}

void MainWindowTest::resizeAndDragFillClientArea()
{
    QFETCH(int, mode);
    MainWindowFixture f;
    QVERIFY(f.build());
    f.window->setDisplayMode(mode);
    QWidget* central = f.window->centralWidget();
    QWidget* tree = f.window->tree();
    QWidget* panel = f.window->editPanel();
    QWidget* icons = f.window->list()->iconView();
    QWidget* report = f.window->list()->reportView();
    auto* progress = f.unit<QWidget>(QStringLiteral("进度条1"));

    auto fills = [&] {
        const QRect r = geometryIn(report, central), i = geometryIn(icons, central), t = geometryIn(tree, central);
        QCOMPARE(i.right(), central->width() - 1);
        QCOMPARE(r.right(), central->width() - 1);
        QCOMPARE(r.bottom() + 1, geometryIn(progress, central).top());
        QCOMPARE(t.left(), 0);
        QCOMPARE(t.top(), 72);
        QCOMPARE(geometryIn(progress, central).bottom(), central->height() - 1);
        QCOMPARE(f.window->statusBar()->geometry().top(), central->geometry().bottom() + 1);
    };
    fills();
    const int treeWidth = tree->width();
    const int panelWidth = panel->width();
    const int panelHeight = panel->height();

    f.window->resize(1400, 900);
    QTRY_COMPARE(f.window->width(), 1400);
    QApplication::processEvents();
    fills();
    // The banner spans the width and its toolbar keeps to the right edge.
    QCOMPARE(f.unit<QWidget>(QStringLiteral("图片框1"))->width(), central->width());
    QCOMPARE(f.unit<QWidget>(QStringLiteral("退出透明标签"))->x(), central->width() - 1024 + 984);
    QCOMPARE(f.unit<QWidget>(QStringLiteral("增加透明标签"))->x(), central->width() - 1024 + 664);
    // The extra room goes to the icon view and the report list.
    QCOMPARE(tree->width(), treeWidth);
    QCOMPARE(panel->width(), panelWidth);
    QCOMPARE(panel->height(), panelHeight);

    // Dragging the left splitter moves the border between tree and panel.
    auto* handle = f.unit<QSplitterHandle>(QStringLiteral("左竖分隔条"));
    QVERIFY(handle);
    const QPoint grip(2, handle->height() / 2);
    QTest::mousePress(handle, Qt::LeftButton, {}, grip);
    QTest::mouseMove(handle, grip + QPoint(60, 0));
    QTest::mouseRelease(handle, Qt::LeftButton, {}, grip + QPoint(60, 0));
    QApplication::processEvents();
    QCOMPARE(tree->width(), treeWidth + 60);
    fills();

    // And the horizontal one the border between the upper panes and the list.
    auto* across = f.unit<QSplitterHandle>(QStringLiteral("横分隔条"));
    const int reportHeight = report->height();
    const QPoint g2(across->width() / 2, 2);
    QTest::mousePress(across, Qt::LeftButton, {}, g2);
    QTest::mouseMove(across, g2 + QPoint(0, 40));
    QTest::mouseRelease(across, Qt::LeftButton, {}, g2 + QPoint(0, 40));
    QApplication::processEvents();
    QCOMPARE(report->height(), reportHeight - 40);
    QCOMPARE(panel->height(), panelHeight + 40);
    fills();
}

void MainWindowTest::addedRecordStaysSelected()
{
    MainWindowFixture f;
    QVERIFY(f.build());
    DataStore& s = f.window->store();
    QVERIFY(s.execute(QStringLiteral("insert into wjfz(id,fxmid,xmmc) values (1,0,'合同')")));
    for (const char* name : {"甲", "乙"})
        QVERIFY(s.execute(QStringLiteral("insert into wj(bh,mc,fz,lx) values('',?,'合同','txt')"),
                          {QString::fromUtf8(name)}));
    f.window->reloadTree();
    QVERIFY(f.window->tree()->selectGroup(1));
    QVERIFY(f.window->list()->waitUntilLoaded());
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("新.txt")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("new") == 3);
    file.close();
    f.prompter.answerText(file.fileName());
    f.window->runCommand(QString::fromLatin1(Cmd::TreeAddFile));
    QTest::mouseClick(f.unit<QWidget>(QStringLiteral("文件名称超级按钮")), Qt::LeftButton);
    f.prompter.answerYes();
    f.window->runCommand(QString::fromLatin1(Cmd::Save));
    QVERIFY(f.window->list()->waitUntilLoaded());
    const qint64 added = valueOf(s, QStringLiteral("select id from wj where mc='新'")).toLongLong();
    QVERIFY(added > 0);
    QTRY_COMPARE(f.window->list()->currentId(), added);
}

void MainWindowTest::savedModeAtRestart()
{
    TestHome home;
    QVERIFY(home.isValid());
    QVERIFY(home.store().execute(QStringLiteral("update zcbj set ms=2 where id=1")));
    ScriptedPrompter prompter;
    QVERIFY(home.context().config.setValue(Config::GuideSection, Config::GuideKey, QStringLiteral("1")));
    auto start = [&] {
        home.context().mainSettings = *MainSettings::read(home.store());
        return std::make_unique<MainWindow>(home.context());
    };
    auto w = start();
    QCOMPARE(w->displayMode(), 2);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    QMenu* view = w->menus()->menu(MainMenus::Which::View);
    view->actions().at(0)->trigger();  // "显示模式一"
    QCOMPARE(w->displayMode(), 1);
    w.reset();
    // A new start reads the saved mode again.
    w = start();
    QCOMPARE(w->displayMode(), 2);
}

void MainWindowTest::menuModeSwitchKeepsDatabase()
{
    MainWindowFixture f;
    QVERIFY(f.build());
    QCOMPARE(valueOf(f.home.store(), QStringLiteral("select ms from zcbj where id=1")).toInt(), 1);
    f.window->menus()->menu(MainMenus::Which::View)->actions().at(1)->trigger();  // "显示模式二"
    QCOMPARE(f.window->displayMode(), 2);
    QCOMPARE(valueOf(f.home.store(), QStringLiteral("select ms from zcbj where id=1")).toInt(), 1);
    QCOMPARE(f.home.context().mainSettings.displayMode, 1);
}

void MainWindowTest::exitAnsweredNo_data()
{
    QTest::addColumn<QString>("way");
    QTest::newRow("label") << "label";
    QTest::newRow("close box") << "close";
    QTest::newRow("Esc") << "esc";
}

static void askToExit(MainWindow* w, const QString& way)
{
    if (way == QLatin1String("label"))
        QTest::mouseClick(w->findChild<QWidget*>(QStringLiteral("退出透明标签")), Qt::LeftButton);
    else if (way == QLatin1String("close"))
        w->close();
    else
        QTest::keyClick(w->tree(), Qt::Key_Escape);
}

void MainWindowTest::exitAnsweredNo()
{
    QFETCH(QString, way);
    TempLocation temp;
    MainWindowFixture f;
    QVERIFY(f.build());
    const QString folder = ProgramHome::extractionFolder();
    QVERIFY(folder.startsWith(temp.path()));
    QVERIFY(QDir().mkpath(folder));
    QSignalSpy exited(f.window.get(), &MainWindow::exitConfirmed);

    f.prompter.answerNo();
    askToExit(f.window.get(), way);
    QCOMPARE(f.prompter.shown().size(), 1);
    QCOMPARE(f.prompter.shown().first().kind, ScriptedPrompter::Kind::Question);
    QCOMPARE(f.prompter.lastText(), QStringLiteral("确定退出本系统吗？"));
    QCOMPARE(f.prompter.lastTitle(), QStringLiteral("询问"));
    QVERIFY(f.window->isVisible());
    QVERIFY(f.window->isReady());
    QVERIFY(QDir(folder).exists());
    QCOMPARE(exited.count(), 0);
    QVERIFY(valueOf(f.window->store(), QStringLiteral("select count(*) from zcbj")).toInt() == 1);
}

void MainWindowTest::exitAnsweredYes_data()
{
    QTest::addColumn<QString>("way");
    QTest::addColumn<bool>("folderThere");
    QTest::newRow("label") << "label" << true;
    QTest::newRow("close box") << "close" << true;
    QTest::newRow("Esc") << "esc" << true;
    QTest::newRow("label, no folder") << "label" << false;
    QTest::newRow("close box, no folder") << "close" << false;
}

void MainWindowTest::exitAnsweredYes()
{
    QFETCH(QString, way);
    QFETCH(bool, folderThere);
    TempLocation temp;
    MainWindowFixture f;
    QVERIFY(f.build());
    const QString folder = ProgramHome::extractionFolder();
    QVERIFY(folder.startsWith(temp.path()));
    if (folderThere) {
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/sub")));
        QFile file(folder + QStringLiteral("/sub/extracted.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("x");
    }
    QSignalSpy exited(f.window.get(), &MainWindow::exitConfirmed);
    f.prompter.answerYes();
    askToExit(f.window.get(), way);
    QCOMPARE(f.prompter.shown().size(), 1);
    QCOMPARE(exited.count(), 1);
    QVERIFY(!QFileInfo::exists(folder));
    QVERIFY(!f.window->isReady());
    QVERIFY(!f.window->isVisible());
    // The rest of the temporary location is left alone.
    QVERIFY(QDir(temp.path()).exists());
}

void MainWindowTest::exitRemovesALinkNotItsTarget()
{
    TempLocation temp;
    QTemporaryDir elsewhere;
    QFile precious(elsewhere.filePath(QStringLiteral("precious.txt")));
    QVERIFY(precious.open(QIODevice::WriteOnly));
    precious.write("keep");
    precious.close();
    MainWindowFixture f;
    QVERIFY(f.build());
    const QString folder = ProgramHome::extractionFolder();
    QVERIFY(QDir().mkpath(QFileInfo(folder).absolutePath()));
    QVERIFY(QFile::link(elsewhere.path(), folder));
    f.prompter.answerYes();
    QTest::mouseClick(f.unit<QWidget>(QStringLiteral("退出透明标签")), Qt::LeftButton);
    QVERIFY(!f.window->isVisible());
    QVERIFY(!QFileInfo(folder).isSymLink());
    QVERIFY(!QFileInfo::exists(folder));
    QVERIFY(QFileInfo::exists(precious.fileName()));
}

void MainWindowTest::clockRedrawnAcrossMidnight()
{
    FixedClock clock(QDateTime(QDate(2026, 12, 12), QTime(23, 59, 59)));
    setAppClock(&clock);
    struct Restore {
        ~Restore() { setAppClock(nullptr); }
    } restore;
    MainWindowFixture f;
    QVERIFY(f.build());
    QLabel* pane = f.window->statusPane(2);
    QCOMPARE(pane->text(), QStringLiteral(" 今天是 2026年12月12日 星期六"));
    auto* timer = f.window->findChild<QTimer*>(QStringLiteral("时钟1"));
    QVERIFY(timer);
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), 1000);
    clock.advance(1);
    f.window->tickClock();
    QCOMPARE(pane->text(), QStringLiteral(" 今天是 2026年12月13日 星期日"));
    // And the timer itself redraws it.
    clock.set(QDateTime(QDate(2026, 12, 14), QTime(0, 0, 0)));
    QTRY_COMPARE_WITH_TIMEOUT(pane->text(), QStringLiteral(" 今天是 2026年12月14日 星期一"), 3000);
}

void MainWindowTest::progressBar()
{
    MainWindowFixture f;
    QVERIFY(f.build());
    auto* bar = f.unit<QProgressBar>(QStringLiteral("进度条1"));
    Workspace& ws = *f.window;
    ws.setProgress(40);
    QCOMPARE(bar->value(), 40);
    QVERIFY(bar->isVisible());
    ws.setProgress(150);
    QCOMPARE(bar->value(), 100);
    ws.setProgress(-1);
    QVERIFY(!bar->isVisible());
    ws.setProgress(0);
    QVERIFY(bar->isVisible());
    QCOMPARE(bar->value(), 0);
}

void MainWindowTest::guideOfferedUntilFlagSet()
{
    TestHome home;
    QVERIFY(home.isValid());
    QVERIFY(!QFileInfo::exists(home.context().home.configPath()));
    ScriptedPrompter prompter;
    auto start = [&] {
        home.context().mainSettings = *MainSettings::read(home.store());
        auto w = std::make_unique<MainWindow>(home.context());
        w->setWindowState(Qt::WindowNoState);
        w->show();
        w->activateWindow();
        return w;
    };
    auto w = start();
    // A fresh installation offers the guide once the window is activated.
    QTRY_COMPARE(MainWindowFixture::shownWindows<GuideWindow>().size(), 1);
    GuideWindow* guide = MainWindowFixture::shownWindows<GuideWindow>().first();
    // A second activation does not offer it again.
    guide->close();
    QApplication::processEvents();
    w->activateWindow();
    QApplication::setActiveWindow(w.get());
    QTest::qWait(20);
    QCOMPARE(MainWindowFixture::shownWindows<GuideWindow>().size(), 0);
    w.reset();

    w = start();
    QTRY_COMPARE(MainWindowFixture::shownWindows<GuideWindow>().size(), 1);
    guide = MainWindowFixture::shownWindows<GuideWindow>().first();
    auto* box = guide->findChild<QCheckBox*>(QStringLiteral("选择框1"));
    QVERIFY(box);
    QVERIFY(!box->isChecked());
    QTest::mouseClick(box, Qt::LeftButton);
    QVERIFY(box->isChecked());
    QTest::mouseClick(guide->findChild<QWidget*>(QStringLiteral("确定按钮")), Qt::LeftButton);
    QTRY_COMPARE(MainWindowFixture::shownWindows<GuideWindow>().size(), 0);
    Config written(home.context().home.configPath());
    QCOMPARE(written.value(QStringLiteral("xd"), QStringLiteral("qd")), QStringLiteral("1"));
    w.reset();

    // Later logins no longer offer it.
    w = start();
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    QTest::qWait(20);
    QCOMPARE(MainWindowFixture::shownWindows<GuideWindow>().size(), 0);
    QVERIFY(prompter.shown().isEmpty());
}

void MainWindowTest::guideUntickedKeepsOffering()
{
    TestHome home;
    QVERIFY(home.isValid());
    ScriptedPrompter prompter;
    for (int round = 0; round < 2; ++round) {
        home.context().mainSettings = *MainSettings::read(home.store());
        MainWindow w(home.context());
        w.setWindowState(Qt::WindowNoState);
        w.show();
        w.activateWindow();
        QTRY_COMPARE(MainWindowFixture::shownWindows<GuideWindow>().size(), 1);
        GuideWindow* guide = MainWindowFixture::shownWindows<GuideWindow>().first();
        QTest::mouseClick(guide->findChild<QWidget*>(QStringLiteral("确定按钮")), Qt::LeftButton);
        QTRY_COMPARE(MainWindowFixture::shownWindows<GuideWindow>().size(), 0);
        QVERIFY(!GuideWindow::isSuppressed(Config(home.context().home.configPath())));
    }
}

void MainWindowTest::guideFromMenuIgnoresFlag()
{
    MainWindowFixture f;
    QVERIFY(f.build(true));  // flag set
    QVERIFY(GuideWindow::isSuppressed(f.home.context().config));
    QMenu* view = f.window->menus()->menu(MainMenus::Which::View);
    QAction* how = view->actions().last();
    QCOMPARE(how->text(), QStringLiteral("如何开始?"));
    how->trigger();
    QCOMPARE(MainWindowFixture::shownWindows<GuideWindow>().size(), 1);
    QCOMPARE(MainWindowFixture::shownWindows<GuideWindow>().first()->windowTitle(), QStringLiteral("如何开始？"));
    // A second request brings the same window forward.
    how->trigger();
    QCOMPARE(MainWindowFixture::shownWindows<GuideWindow>().size(), 1);
}

void MainWindowTest::aboutFromToolbar()
{
    MainWindowFixture f;
    QVERIFY(f.build());
    QTest::mouseClick(f.unit<QWidget>(QStringLiteral("关于透明标签")), Qt::LeftButton);
    QCOMPARE(MainWindowFixture::shownWindows<AboutWindow>().size(), 1);
    AboutWindow* about = MainWindowFixture::shownWindows<AboutWindow>().first();
    QPointer<AboutWindow> alive(about);
    QTest::keyClick(about, Qt::Key_Escape);
    QTRY_VERIFY(!alive);  // closed and destroyed
    QVERIFY(f.window->isVisible());
    QVERIFY(f.prompter.shown().isEmpty());
}

void MainWindowTest::renders()
{
    MainWindowFixture f;
    QVERIFY(f.build());
    emit f.window->list()->statisticsChanged(QStringLiteral(" 文件总数：0份  共：0BYTE"));
    QVERIFY(!TestHome::grab(f.window.get(), QStringLiteral("mainwindow-mode1")).isEmpty());
    f.window->setDisplayMode(2);
    QApplication::processEvents();
    QVERIFY(!TestHome::grab(f.window.get(), QStringLiteral("mainwindow-mode2")).isEmpty());
    f.window->setDisplayMode(1);
    f.window->resize(1280, 860);
    QApplication::processEvents();
    QVERIFY(!TestHome::grab(f.window.get(), QStringLiteral("mainwindow-mode1-wide")).isEmpty());

    f.window->operatorChanged();  // Admin: grouping entries shown
    const QStringList names = {QStringLiteral("tree"), QStringLiteral("file"), QStringLiteral("settings"),
                               QStringLiteral("icon"), QStringLiteral("view")};
    const auto all = MainMenus::allMenus();
    for (int i = 0; i < all.size(); ++i) {
        QMenu* m = f.window->menus()->menu(all.at(i));
        m->popup(QPoint(100, 100));
        QVERIFY(QTest::qWaitForWindowExposed(m));
        if (!m->actions().isEmpty())
            m->setActiveAction(m->actions().at(m->actions().size() > 2 ? 2 : 0));
        QVERIFY(!TestHome::grab(m, QStringLiteral("menu-") + names.at(i)).isEmpty());
        m->hide();
    }
    GuideWindow* guide = f.window->showGuide();
    QVERIFY(QTest::qWaitForWindowExposed(guide));
    QVERIFY(!TestHome::grab(guide, QStringLiteral("guide")).isEmpty());
    AboutWindow* about = f.window->showAbout();
    QVERIFY(QTest::qWaitForWindowExposed(about));
    QVERIFY(!TestHome::grab(about, QStringLiteral("about")).isEmpty());
}

void MainWindowTest::rendersUnderSkins_data()
{
    QTest::addColumn<QString>("skin");
    for (const QString& skin : QDir(QStringLiteral(":/skins")).entryList({QStringLiteral("*.she")}))
        QTest::newRow(qPrintable(skin)) << skin;
}

void MainWindowTest::rendersUnderSkins()
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
    // The banner keeps its colour and white text under every skin.
    auto* banner = f.unit<Banner>(QStringLiteral("图片框1"));
    const QImage img = banner->grab().toImage();
    QCOMPARE(img.pixelColor(2, 2), QColor(0x2B, 0x5F, 0xAE));
    QCOMPARE(f.unit<QLabel>(QStringLiteral("透明标签1"))->font().pixelSize(), 24);
    QCOMPARE(f.unit<QLabel>(QStringLiteral("增加透明标签"))->palette().color(QPalette::WindowText), QColor(Qt::white));
    TestHome::grab(f.window.get(), QStringLiteral("mainwindow-") + QFileInfo(skin).baseName());
}

KV_REGISTER_TEST(MainWindowTest)
#include "MainWindowTest.moc"
