#include "MainWindowFixture.h"
#include "common/ScriptedPrompter.h"
#include "common/TestHome.h"
#include "common/TestRegistry.h"
#include "archive/ui/GroupNameDialog.h"
#include "listing/ui/ChooseColumnsWindow.h"
#include "listing/ui/RenameFieldsWindow.h"
#include "listing/ui/SortOrderWindow.h"
#include "platform/ui/OuterSize.h"
#include "platform/ui/SkinLibrary.h"
#include "shell/ui/AboutWindow.h"
#include "shell/ui/Banner.h"
#include "shell/ui/GuideWindow.h"
#include "shell/ui/LoginWindow.h"
#include "shell/ui/PermissionNotice.h"
#include "shell/ui/ToolbarLabel.h"
#include "listing/ui/FieldOptionsWindow.h"
#include "store/ui/OptionChooserDialog.h"

#include <QApplication>
#include <QGuiApplication>
#include <QWindow>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QAbstractTextDocumentLayout>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QPointer>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QTextLine>

#include <functional>
#include <memory>

// How the windows look: outer sizes, the password mask under every skin,
// the banner on a narrow screen, the About window's text box.
class WindowLookTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup();
    void fixedWindowsHaveTheirOuterSize_data();
    void fixedWindowsHaveTheirOuterSize();
    void guideOpensAtItsOuterSize();
    void outerSizeFollowsALaterFrame();
    void passwordShowsStarsUnderEverySkin_data();
    void passwordShowsStarsUnderEverySkin();
    void toolbarStaysReachableOnNarrowScreens_data();
    void toolbarStaysReachableOnNarrowScreens();
    void aboutTextKeepsClearOfItsBorder();
    void mainWindowToolbarOnSmallScreen();

private:
    ScriptedPrompter m_prompter;
};

namespace {

using Factory = std::function<QWidget*(TestHome&)>;

struct FixedWindow {
    const char* name;
    QSize outer;
    Factory make;
};

const QList<FixedWindow>& fixedWindows()
{
    static const QList<FixedWindow> list = {
        {"login", {446, 271}, [](TestHome& h) { return new LoginWindow(h.context(), h.store()); }},
        {"permission notice", {319, 127}, [](TestHome&) { return new PermissionNotice; }},
        {"about", {402, 269}, [](TestHome&) { return new AboutWindow; }},
        {"choose columns", {420, 375}, [](TestHome& h) { return new ChooseColumnsWindow(h.store()); }},
        {"sort order",
         {252, 352},
         [](TestHome& h) { return new SortOrderWindow(h.store(), h.context().mainSettings); }},
        {"rename fields", {317, 415}, [](TestHome& h) { return new RenameFieldsWindow(h.store()); }},
        {"field options", {348, 352}, [](TestHome& h) { return new FieldOptionsWindow(h.store()); }},
        {"option chooser", {220, 280}, [](TestHome&) { return new OptionChooserDialog({QStringLiteral("甲")}); }},
        {"group name",
         {351, 148},
         [](TestHome&) {
             return new GroupNameDialog(QStringLiteral("增加分组"), QString(),
                                        [](const QString&) { return GroupTree::Result{}; });
         }},
    };
    return list;
}

QStringList shippedSkins()
{
    return QDir(QStringLiteral(":/skins")).entryList({QStringLiteral("*.she")}, QDir::Files, QDir::Name);
}

}  // namespace

void WindowLookTest::cleanup()
{
    SkinLibrary::detach();
    setPrompter(nullptr);
}

void WindowLookTest::fixedWindowsHaveTheirOuterSize_data()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < fixedWindows().size(); ++i)
        QTest::newRow(fixedWindows().at(i).name) << i;
}

void WindowLookTest::fixedWindowsHaveTheirOuterSize()
{
    QFETCH(int, index);
    setPrompter(&m_prompter);
    TestHome home;
    QVERIFY(home.isValid());
    const FixedWindow& row = fixedWindows().at(index);
    std::unique_ptr<QWidget> w(row.make(home));
    w->setAttribute(Qt::WA_DeleteOnClose, false);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    // The test platform draws a frame; a window sized by its client area
    // would come out that much larger. A real window manager may tell the
    // frame a little after the window appeared.
    QTRY_VERIFY(!w->windowHandle()->frameMargins().isNull());
    const QMargins frame = w->windowHandle()->frameMargins();
    QTRY_COMPARE(w->size(), row.outer.shrunkBy(frame));
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        QCOMPARE(w->frameGeometry().size(), row.outer);
    QCOMPARE(w->minimumSize(), w->maximumSize());
    QCOMPARE(OuterSize::designed(w.get()), row.outer);
}

void WindowLookTest::guideOpensAtItsOuterSize()
{
    TestHome home;
    GuideWindow w(home.context().config);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTRY_COMPARE(w.size(), QSize(503, 354).shrunkBy(w.windowHandle()->frameMargins()));
    // It stays resizable, and the operator's size is his.
    QVERIFY(w.minimumSize() != w.maximumSize());
    w.resize(600, 400);
    QTRY_COMPARE(w.size(), QSize(600, 400));
    QTest::qWait(50);
    QCOMPARE(w.size(), QSize(600, 400));
}

void WindowLookTest::outerSizeFollowsALaterFrame()
{
    // A window system may tell the frame only after the window is shown;
    // until it is shown the window has its outer size as client area.
    QWidget w;
    OuterSize::fix(&w, {300, 200});
    QCOMPARE(w.size(), QSize(300, 200));
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.frameGeometry().size(), QSize(300, 200));
    // A frameless window has nothing to take off.
    QWidget bare(nullptr, Qt::FramelessWindowHint);
    OuterSize::fix(&bare, {120, 80});
    bare.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bare));
    QCOMPARE(bare.size(), QSize(120, 80));
}

void WindowLookTest::passwordShowsStarsUnderEverySkin_data()
{
    QTest::addColumn<QString>("skin");
    QTest::newRow("no skin") << QString();
    for (const QString& skin : shippedSkins())
        QTest::newRow(qPrintable(skin)) << skin;
    // A skin of someone else's that names its own mask character.
    QTest::newRow("skin naming a mask") << QStringLiteral("own-mask");
}

void WindowLookTest::passwordShowsStarsUnderEverySkin()
{
    QFETCH(QString, skin);
    QVERIFY(!shippedSkins().isEmpty());
    SkinLibrary::installBaseLook();
    QTemporaryDir dir;
    if (skin == QLatin1String("own-mask")) {
        const QString path = dir.filePath(QStringLiteral("own.she"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("QLineEdit { lineedit-password-character: 9679; border: 1px solid red; }\n");
        f.close();
        QVERIFY(SkinLibrary::attach(path));
    } else if (!skin.isEmpty()) {
        QVERIFY(SkinLibrary::attach(QStringLiteral(":/skins/") + skin));
    }

    setPrompter(&m_prompter);
    TestHome home;
    QVERIFY(home.isValid());
    LoginWindow login(home.context(), home.store());
    login.show();
    auto* box = login.findChild<QLineEdit*>(QStringLiteral("密码编辑框"));
    QVERIFY(box);
    QTest::keyClicks(box, QStringLiteral("abc"));
    QCOMPARE(box->displayText(), QStringLiteral("***"));

    // Every other password box too, e.g. the prompter's input box.
    QLineEdit other;
    other.setEchoMode(QLineEdit::Password);
    other.setText(QStringLiteral("xy"));
    other.show();
    QCOMPARE(other.displayText(), QStringLiteral("**"));
}

void WindowLookTest::toolbarStaysReachableOnNarrowScreens_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("elided");
    QTest::newRow("design 1024") << 1024 << false;
    QTest::newRow("wide 1280") << 1280 << false;
    QTest::newRow("900") << 900 << false;
    QTest::newRow("800 x 600 screen") << 800 << true;
    QTest::newRow("640") << 640 << true;
}

void WindowLookTest::toolbarStaysReachableOnNarrowScreens()
{
    QFETCH(int, width);
    QFETCH(bool, elided);
    Banner banner;
    banner.resize(width, Banner::Height);
    banner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&banner));

    const QList<ToolbarLabel*> labels = banner.toolbarLabels();
    QCOMPARE(labels.size(), 9);
    // "退出" keeps its design distance from the right edge; the others keep
    // their 40-pixel pitch in front of it.
    QCOMPARE(labels.last()->geometry().right() + 1, width - (Banner::DesignWidth - 984 - 32));
    for (int i = 0; i < labels.size(); ++i) {
        QVERIFY2(banner.rect().contains(labels.at(i)->geometry()), qPrintable(labels.at(i)->objectName()));
        if (i > 0)
            QCOMPARE(labels.at(i)->x() - labels.at(i - 1)->x(), 40);
    }

    // The banner text ends before the toolbar, elided at a character.
    QLabel* text = banner.textLabel();
    QVERIFY(text->geometry().right() < labels.first()->x());
    QCOMPARE(banner.text(), Banner::designText());
    const QString shown = text->text();
    QCOMPARE(shown.endsWith(QChar(0x2026)), elided);
    if (elided)
        QVERIFY(Banner::designText().startsWith(shown.chopped(1)));
    else
        QCOMPARE(shown, Banner::designText());
    QVERIFY(QFontMetrics(text->font()).horizontalAdvance(shown) <= text->width());

    // The reachable toolbar still works at the narrow width.
    QString command;
    connect(&banner, &Banner::commandRequested, this, [&](const QString& c) { command = c; });
    QTest::mouseClick(labels.last(), Qt::LeftButton);
    QVERIFY(!command.isEmpty());
}

void WindowLookTest::aboutTextKeepsClearOfItsBorder()
{
    QPointer<AboutWindow> w = new AboutWindow;
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.data()));
    TestHome::grab(w.data(), QStringLiteral("about-window"));
    auto* box = w->findChild<QPlainTextEdit*>(QStringLiteral("编辑框1"));
    QVERIFY(box);
    QCOMPARE(box->geometry(), QRect(16, 184, 368, 40));
    const QTextBlock line = box->document()->lastBlock();
    QCOMPARE(line.text(), QStringLiteral(" 机关企事业信息化首选，文件资源管理更科学、更规范、更安全！"));
    QCOMPARE(line.layout()->lineCount(), 1);
    // Where the line is drawn, in the box's viewport (the box does not scroll).
    QVERIFY(box->verticalScrollBar()->value() == 0);
    // A plain-text box stacks its blocks from the document margin down.
    QAbstractTextDocumentLayout* layout = box->document()->documentLayout();
    const qreal margin = box->document()->documentMargin();
    qreal top = margin;
    for (QTextBlock b = box->document()->firstBlock(); b != line; b = b.next())
        top += layout->blockBoundingRect(b).height();
    const QTextLine textLine = line.layout()->lineAt(0);
    const QRectF drawn(textLine.x(), top, textLine.naturalTextWidth(), textLine.height());
    const QSize room = box->viewport()->size();
    const QString where = QStringLiteral("line %1,%2 %3x%4 in %5x%6")
                              .arg(drawn.left())
                              .arg(drawn.top())
                              .arg(drawn.width())
                              .arg(drawn.height())
                              .arg(room.width())
                              .arg(room.height());
    qInfo("%s", qPrintable(where));
    TestHome::grab(box, QStringLiteral("about-text-box"));
    // At least two pixels between the glyphs and the border on every side.
    QVERIFY2(drawn.left() >= 2 && drawn.top() >= 2, qPrintable(where));
    QVERIFY2(drawn.right() <= room.width() - 2, qPrintable(where));
    QVERIFY2(drawn.bottom() <= room.height() - 2, qPrintable(where));
    w->close();
}

void WindowLookTest::mainWindowToolbarOnSmallScreen()
{
    MainWindowFixture f;
    QVERIFY(f.home.isValid());
    QVERIFY(f.build());
    // An 800 × 600 screen: the window fits, and every toolbar label lies
    // inside it and answers a click.
    f.window->resize(800, 600);
    QTRY_COMPARE(f.window->width(), 800);
    f.stubForeignCommands();
    for (ToolbarLabel* label : f.window->banner()->toolbarLabels()) {
        const QRect inWindow(label->mapTo(f.window.get(), QPoint(0, 0)), label->size());
        QVERIFY2(f.window->rect().contains(inWindow), qPrintable(label->objectName()));
    }
    TestHome::grab(f.window->banner(), QStringLiteral("banner-800"));
    QTest::mouseClick(f.unit<QWidget>(QStringLiteral("保存透明标签")), Qt::LeftButton);
    QCOMPARE(f.window->lastCommand(), QString::fromLatin1(Cmd::Save));
}

KV_REGISTER_TEST(WindowLookTest)
#include "WindowLookTest.moc"
