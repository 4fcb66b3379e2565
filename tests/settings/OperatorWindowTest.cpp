#include "common/ScriptedPrompter.h"
#include "common/TestHome.h"
#include "common/TestInput.h"
#include "common/TestRegistry.h"
#include "platform/ui/OuterSize.h"
#include "settings/ui/ChangePasswordWindow.h"
#include "settings/ui/OperatorPictures.h"
#include "settings/ui/OperatorWindow.h"
#include "settings/LoginService.h"
#include "store/Operators.h"
#include "store/PasswordHash.h"
#include "store/Rights.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>

using TestInput::typeText;

namespace {

// Every line the program writes to its output while a test runs.
QStringList g_output;
void collect(QtMsgType, const QMessageLogContext&, const QString& text)
{
    g_output << text;
}

qint64 idOf(DataStore& s, const QString& name)
{
    const QVariant v = valueOf(s, QStringLiteral("select id from czygl where yhm=?"), {name});
    return v.isValid() ? v.toLongLong() : -1;
}

bool addOperator(DataStore& s, const QString& name, const QString& rights,
                 const QString& status = QStringLiteral("可用"))
{
    const QString h = PasswordHash::hash(QStringLiteral("pw"));
    return s.execute(QStringLiteral("insert into czygl(yhm,mm,qrmm,zt,ms,qx) values (?,?,?,?,'',?)"),
                     {name, h, h, status, rights});
}

// The window's units as the operator finds them.
struct Units {
    explicit Units(QWidget* w)
        : window(w), toolbar(w->findChild<QToolBar*>(QStringLiteral("操作员工具条"))),
          list(w->findChild<QListWidget*>(QStringLiteral("超级列表框1"))),
          frame(w->findChild<QGroupBox*>(QStringLiteral("分组框1"))),
          name(w->findChild<QLineEdit*>(QStringLiteral("用户名编辑框"))),
          password(w->findChild<QLineEdit*>(QStringLiteral("密码编辑框"))),
          repeated(w->findChild<QLineEdit*>(QStringLiteral("确认密码编辑框"))),
          status(w->findChild<QComboBox*>(QStringLiteral("状态组合框"))),
          description(w->findChild<QPlainTextEdit*>(QStringLiteral("描述编辑框"))),
          rights(w->findChild<QListWidget*>(QStringLiteral("选择列表框1"))),
          statusBar(w->findChild<QStatusBar*>(QStringLiteral("状态条1")))
    {
    }
    bool ok() const
    {
        return toolbar && list && frame && name && password && repeated && status && description && rights && statusBar;
    }
    void press(const QString& text) const
    {
        for (QAction* a : toolbar->actions())
            if (a->text() == text) {
                QTest::mouseClick(toolbar->widgetForAction(a), Qt::LeftButton);
                return;
            }
        QFAIL(qPrintable(QStringLiteral("no toolbar button ") + text));
    }
    QListWidgetItem* entry(const QString& user) const
    {
        const QList<QListWidgetItem*> found = list->findItems(user, Qt::MatchExactly);
        return found.size() == 1 ? found.first() : nullptr;
    }
    void choose(const QString& user) const
    {
        QListWidgetItem* item = entry(user);
        QVERIFY2(item, qPrintable(user));
        list->scrollToItem(item);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
        QCOMPARE(list->currentItem(), item);
    }
    // Ticks or unticks a right with the keyboard.
    void toggle(const QString& right) const
    {
        const QList<QListWidgetItem*> found = rights->findItems(right, Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        rights->setFocus();
        rights->setCurrentItem(found.first());
        QTest::keyClick(rights, Qt::Key_Space);
    }
    QStringList ticked() const
    {
        QStringList out;
        for (int i = 0; i < rights->count(); ++i)
            if (rights->item(i)->checkState() == Qt::Checked)
                out << rights->item(i)->text();
        return out;
    }
    QStringList users() const
    {
        QStringList out;
        for (int i = 0; i < list->count(); ++i)
            out << list->item(i)->text();
        return out;
    }
    QWidget* window;
    QToolBar* toolbar;
    QListWidget* list;
    QGroupBox* frame;
    QLineEdit* name;
    QLineEdit* password;
    QLineEdit* repeated;
    QComboBox* status;
    QPlainTextEdit* description;
    QListWidget* rights;
    QStatusBar* statusBar;
};

bool sameImage(const QIcon& icon, const QPixmap& pm)
{
    return icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32)
        == pm.toImage().convertToFormat(QImage::Format_ARGB32);
}

}  // namespace

class OperatorWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void layout_data();
    void layout();
    void toolbarRightsAndStatusBar();
    void pictures();
    void choosingShowsTheOperator();
    void addThroughTheWindow();
    void addRefusals_data();
    void addRefusals();
    void changeAsksForRelogin_data();
    void changeAsksForRelogin();
    void changeKeepsPasswordUnlessTyped();
    void stoppedOperatorStaysListedButIsNotOffered();
    void deleteAsksFirst();
    void dropLeavesTheRowAsItWas();
    void changePasswordLayout_data();
    void changePasswordLayout();
    void changePasswordThroughTheWindow();
    void changePasswordDifferentEntries();
    void grabPictures();
};

void OperatorWindowTest::init()
{
    QApplication::setStyle(QStringLiteral("Fusion"));
    g_output.clear();
    qInstallMessageHandler(collect);
}

void OperatorWindowTest::cleanup()
{
    qInstallMessageHandler(nullptr);
}

void OperatorWindowTest::layout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("操作员工具条") << "操作员工具条"
                                  << "操作员管理" << QRect(0, 0, 368, 24);
    QTest::newRow("超级列表框1") << "超级列表框1"
                                 << "操作员管理" << QRect(0, 40, 728, 152);
    QTest::newRow("分组框1") << "分组框1"
                             << "操作员管理" << QRect(0, 192, 728, 184);
    QTest::newRow("用户名编辑框") << "用户名编辑框"
                                  << "分组框1" << QRect(64, 16, 96, 20);
    QTest::newRow("密码编辑框") << "密码编辑框"
                                << "分组框1" << QRect(64, 40, 96, 20);
    QTest::newRow("确认密码编辑框") << "确认密码编辑框"
                                    << "分组框1" << QRect(64, 64, 96, 20);
    QTest::newRow("状态组合框") << "状态组合框"
                                << "分组框1" << QRect(64, 88, 96, 20);
    QTest::newRow("描述编辑框") << "描述编辑框"
                                << "分组框1" << QRect(64, 112, 96, 64);
    QTest::newRow("选择列表框1") << "选择列表框1"
                                 << "分组框1" << QRect(168, 16, 376, 160);
    QTest::newRow("状态条1") << "状态条1"
                             << "操作员管理" << QRect(0, 380, 599, 20);
    QTest::newRow("标签24") << "标签24"
                            << "分组框1" << QRect(8, 16, -1, -1);
    QTest::newRow("标签23") << "标签23"
                            << "分组框1" << QRect(8, 40, -1, -1);
    QTest::newRow("标签22") << "标签22"
                            << "分组框1" << QRect(8, 64, -1, -1);
    QTest::newRow("标签3") << "标签3"
                           << "分组框1" << QRect(8, 88, -1, -1);
    QTest::newRow("标签1") << "标签1"
                           << "分组框1" << QRect(8, 112, -1, -1);
}

void OperatorWindowTest::layout()
{
    QFETCH(QString, name);
    QFETCH(QString, parentName);
    QFETCH(QRect, geometry);
    TestHome home;
    OperatorWindow w(home.store(), home.context().currentOperator);
    QCOMPARE(OuterSize::designed(&w), QSize(737, 425));
    QCOMPARE(w.windowTitle(), QStringLiteral("操作员管理"));
    auto* unit = w.findChild<QWidget*>(name);
    QVERIFY2(unit, qPrintable(name));
    QCOMPARE(unit->parentWidget()->objectName(), parentName);
    if (geometry.width() < 0)
        QCOMPARE(unit->pos(), geometry.topLeft());
    else
        QCOMPARE(unit->geometry(), geometry);
}

void OperatorWindowTest::toolbarRightsAndStatusBar()
{
    TestHome home;
    QVERIFY(addOperator(home.store(), QStringLiteral("Clerk"), Rights::Add));
    OperatorWindow w(home.store(), home.context().currentOperator);
    Units u(&w);
    QVERIFY(u.ok());
    QStringList buttons;
    for (QAction* a : u.toolbar->actions())
        buttons << (a->isSeparator() ? QStringLiteral("|") : a->text());
    QCOMPARE(buttons, (QStringList{"|", " 增加 ", "修改", "删除", "|", "保存", "放弃", "|", "退出"}));
    // Reachable by Tab, as every command of a window is.
    for (QAction* a : u.toolbar->actions())
        if (!a->isSeparator())
            QVERIFY(u.toolbar->widgetForAction(a)->focusPolicy() & Qt::TabFocus);
    QStringList rights;
    for (int i = 0; i < u.rights->count(); ++i)
        rights << u.rights->item(i)->text();
    QCOMPARE(rights, Rights::all());
    QCOMPARE(rights.size(), 22);
    QCOMPARE(rights.at(15), QStringLiteral("权限管理"));
    QCOMPARE(u.statusBar->currentMessage(), QStringLiteral(" 共有 2 个操作员。"));
    QCOMPARE(u.status->count(), 2);
    QCOMPARE(u.status->itemText(0), QStringLiteral("可用"));
    QCOMPARE(u.status->itemText(1), QStringLiteral("停用"));
    QCOMPARE(qobject_cast<QLabel*>(u.frame->findChild<QLabel*>(QStringLiteral("标签23")))->text(),
             QStringLiteral("密  　码:"));
    QCOMPARE(u.password->echoMode(), QLineEdit::Password);
    QCOMPARE(u.repeated->echoMode(), QLineEdit::Password);
    QCOMPARE(u.list->viewMode(), QListView::IconMode);
}

void OperatorWindowTest::pictures()
{
    TestHome home;
    QVERIFY(addOperator(home.store(), QStringLiteral("Resting"), Rights::Add, QStringLiteral("停用")));
    OperatorWindow w(home.store(), home.context().currentOperator);
    Units u(&w);
    QVERIFY(sameImage(u.entry(QStringLiteral("Admin"))->icon(), OperatorPictures::usable()));
    QVERIFY(sameImage(u.entry(QStringLiteral("Resting"))->icon(), OperatorPictures::stopped()));
    // The coloured person has colour; the stopped one is the same shape in grey.
    const QImage coloured = OperatorPictures::usable().toImage();
    const QImage grey = OperatorPictures::stopped().toImage();
    QCOMPARE(coloured.size(), QSize(32, 32));
    int colouredPixels = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const QColor c = coloured.pixelColor(x, y), g = grey.pixelColor(x, y);
            QCOMPARE(c.alpha() > 0, g.alpha() > 0);
            if (g.alpha() == 255)
                QVERIFY(g.hsvSaturation() < 16);
            if (c.alpha() == 255 && c.hsvSaturation() > 80)
                ++colouredPixels;
        }
    QVERIFY(colouredPixels > 100);
}

void OperatorWindowTest::choosingShowsTheOperator()
{
    TestHome home;
    QVERIFY(
        addOperator(home.store(), QStringLiteral("Clerk"), QStringLiteral("增加,搜索文件"), QStringLiteral("停用")));
    OperatorWindow w(home.store(), home.context().currentOperator);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    Units u(&w);
    u.choose(QStringLiteral("Clerk"));
    QCOMPARE(u.name->text(), QStringLiteral("Clerk"));
    QCOMPARE(u.status->currentText(), QStringLiteral("停用"));
    QCOMPARE(u.ticked(), (QStringList{"增加", "搜索文件"}));
    QVERIFY(u.password->text().isEmpty());
    QVERIFY(!u.frame->isEnabled());
    u.choose(QStringLiteral("Admin"));
    QCOMPARE(u.ticked(), Rights::all());
    QCOMPARE(u.description->toPlainText(), QStringLiteral("系统管理员"));
}

void OperatorWindowTest::addThroughTheWindow()
{
    TestHome home;
    DataStore& s = home.store();
    ScriptedPrompter p;
    OperatorWindow w(s, home.context().currentOperator);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    Units u(&w);
    u.press(QStringLiteral(" 增加 "));
    QCOMPARE(w.mode(), OperatorWindow::Mode::Adding);
    QVERIFY(u.name->text().isEmpty());
    QVERIFY(u.ticked().isEmpty());
    typeText(u.name, QStringLiteral(" 李四 "));
    typeText(u.password, QStringLiteral("Typed#Secret"));
    typeText(u.repeated, QStringLiteral("Typed#Secret"));
    typeText(u.description, QStringLiteral("档案室"));
    u.toggle(Rights::Search);
    u.toggle(Rights::Add);
    u.press(QStringLiteral("保存"));

    QCOMPARE(p.messages(), QStringList{Operators::AddedMessage});
    QCOMPARE(p.unexpected(), 0);
    QCOMPARE(w.mode(), OperatorWindow::Mode::Browse);
    QCOMPARE(u.users(), (QStringList{"Admin", "李四"}));
    QCOMPARE(u.statusBar->currentMessage(), QStringLiteral(" 共有 2 个操作员。"));
    QCOMPARE(u.list->currentItem()->text(), QStringLiteral("李四"));
    RecordSet rs = s.query(QStringLiteral("select mm,qrmm,zt,ms,qx from czygl where yhm='李四'"));
    QVERIFY(!rs.atEnd());
    QVERIFY(PasswordHash::verify(rs.text(0), QStringLiteral("Typed#Secret")));
    QCOMPARE(rs.text(1), rs.text(0));
    QCOMPARE(rs.text(2), QStringLiteral("可用"));
    QCOMPARE(rs.text(3), QStringLiteral("档案室"));
    QCOMPARE(rs.text(4), QStringLiteral("增加,搜索文件"));
    rs.close();

    // The new operator logs in with what was typed.
    LoginService login(s, home.context().config);
    QVERIFY(login.userNames()->contains(QStringLiteral("李四")));
    QVERIFY(login.login(QStringLiteral("李四"), QStringLiteral("Typed#Secret")).ok());
    // What was typed as a password is in neither table nor in the output.
    for (const QString& table : {QStringLiteral("czygl"), QStringLiteral("rz")})
        for (RecordSet all = s.query(QStringLiteral("select * from ") + table); !all.atEnd(); all.next())
            for (int i = 0; i < all.columnCount(); ++i)
                QVERIFY(!all.text(i).contains(QStringLiteral("Secret")));
    QVERIFY(!g_output.join(QLatin1Char('\n')).contains(QStringLiteral("Secret")));
    QVERIFY(!p.texts().join(QLatin1Char('\n')).contains(QStringLiteral("Secret")));
    QCOMPARE(valueOf(s, QStringLiteral("select nr from rz")).toString(),
             QStringLiteral("操作员管理：增加 李四，状态 可用，权限 增加,搜索文件"));
}

void OperatorWindowTest::addRefusals_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("repeated");
    QTest::addColumn<QString>("message");
    QTest::newRow("blank name") << "  "
                                << ""
                                << "" << Operators::EmptyNameMessage;
    QTest::newRow("duplicate") << "Admin"
                               << ""
                               << "" << Operators::duplicateMessage(QStringLiteral("Admin"));
    QTest::newRow("passwords differ") << "Clerk"
                                      << "abc"
                                      << "abd" << Operators::PasswordsDifferMessage;
}

void OperatorWindowTest::addRefusals()
{
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(QString, repeated);
    QFETCH(QString, message);
    TestHome home;
    ScriptedPrompter p;
    OperatorWindow w(home.store(), home.context().currentOperator);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    Units u(&w);
    u.press(QStringLiteral(" 增加 "));
    typeText(u.name, name);
    typeText(u.password, password);
    typeText(u.repeated, repeated);
    u.press(QStringLiteral("保存"));
    QCOMPARE(p.messages(), QStringList{message});
    // Nothing saved; the fields stay for another try.
    QCOMPARE(valueOf(home.store(), QStringLiteral("select count(*) from czygl")).toInt(), 1);
    QCOMPARE(w.mode(), OperatorWindow::Mode::Adding);
    QCOMPARE(u.name->text(), name);
    QCOMPARE(u.users(), QStringList{"Admin"});
}

void OperatorWindowTest::changeAsksForRelogin_data()
{
    QTest::addColumn<bool>("now");
    QTest::newRow("yes") << true;
    QTest::newRow("no") << false;
}

void OperatorWindowTest::changeAsksForRelogin()
{
    QFETCH(bool, now);
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(addOperator(s, QStringLiteral("Clerk"), QStringLiteral("增加,修改")));
    ScriptedPrompter p;
    OperatorWindow w(s, home.context().currentOperator);
    QSignalSpy relogin(&w, &OperatorWindow::reloginRequested);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    Units u(&w);
    u.choose(QStringLiteral("Clerk"));
    u.press(QStringLiteral("修改"));
    QCOMPARE(w.mode(), OperatorWindow::Mode::Changing);
    QVERIFY(u.frame->isEnabled());
    QVERIFY(!u.list->isEnabled());
    u.toggle(Rights::Modify);
    u.toggle(Rights::SystemLog);
    u.name->selectAll();
    typeText(u.name, QStringLiteral("Clerk2"));
    if (now)
        p.answerYes();
    else
        p.answerNo();
    u.press(QStringLiteral("保存"));

    QCOMPARE(p.texts(), (QStringList{Operators::ChangedMessage, Operators::ReloginQuestion}));
    QCOMPARE(valueOf(s, QStringLiteral("select qx from czygl where yhm='Clerk2'")).toString(),
             QStringLiteral("增加,系统日志"));
    QCOMPARE(valueOf(s, QStringLiteral("select nr from rz")).toString(),
             QStringLiteral("操作员管理：修改 Clerk2，原名 Clerk，增加权限 系统日志，去掉权限 修改"));
    QCOMPARE(relogin.size(), now ? 1 : 0);
    QCOMPARE(w.reloginAsked(), now);
    QCOMPARE(w.isVisible(), !now);
    if (!now) {
        QCOMPARE(w.mode(), OperatorWindow::Mode::Browse);
        QCOMPARE(u.users(), (QStringList{"Admin", "Clerk2"}));
        // The rights in use stay until the next login.
        QCOMPARE(home.context().currentOperator.userName(), QStringLiteral("Admin"));
    }
}

void OperatorWindowTest::changeKeepsPasswordUnlessTyped()
{
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(addOperator(s, QStringLiteral("Clerk"), Rights::Add));
    const QString hash = valueOf(s, QStringLiteral("select mm from czygl where yhm='Clerk'")).toString();
    ScriptedPrompter p;
    OperatorWindow w(s, home.context().currentOperator);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    Units u(&w);
    u.choose(QStringLiteral("Clerk"));
    u.press(QStringLiteral("修改"));
    typeText(u.description, QStringLiteral("临时"));
    p.answerNo();
    u.press(QStringLiteral("保存"));
    QCOMPARE(valueOf(s, QStringLiteral("select mm from czygl where yhm='Clerk'")).toString(), hash);
    QCOMPARE(valueOf(s, QStringLiteral("select ms from czygl where yhm='Clerk'")).toString(), QStringLiteral("临时"));

    // Typed in one box only: the two differ and nothing changes.
    u.choose(QStringLiteral("Clerk"));
    u.press(QStringLiteral("修改"));
    typeText(u.password, QStringLiteral("new"));
    u.press(QStringLiteral("保存"));
    QCOMPARE(p.messages().last(), Operators::PasswordsDifferMessage);
    QCOMPARE(valueOf(s, QStringLiteral("select mm from czygl where yhm='Clerk'")).toString(), hash);
    typeText(u.repeated, QStringLiteral("new"));
    p.answerNo();
    u.press(QStringLiteral("保存"));
    QCOMPARE(p.messages().last(), Operators::ChangedMessage);
    LoginService login(s, home.context().config);
    QVERIFY(login.login(QStringLiteral("Clerk"), QStringLiteral("new")).ok());
    QVERIFY(!login.login(QStringLiteral("Clerk"), QStringLiteral("pw")).ok());
}

void OperatorWindowTest::stoppedOperatorStaysListedButIsNotOffered()
{
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(addOperator(s, QStringLiteral("Clerk"), Rights::Add));
    ScriptedPrompter p;
    OperatorWindow w(s, home.context().currentOperator);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    Units u(&w);
    u.choose(QStringLiteral("Clerk"));
    u.press(QStringLiteral("修改"));
    u.status->setFocus();
    u.status->setCurrentIndex(u.status->findText(QStringLiteral("停用")));
    p.answerNo();
    u.press(QStringLiteral("保存"));
    QCOMPARE(u.users(), (QStringList{"Admin", "Clerk"}));
    QVERIFY(sameImage(u.entry(QStringLiteral("Clerk"))->icon(), OperatorPictures::stopped()));
    QCOMPARE(u.statusBar->currentMessage(), QStringLiteral(" 共有 2 个操作员。"));
    LoginService login(s, home.context().config);
    QCOMPARE(*login.userNames(), QStringList{"Admin"});
    QVERIFY(!login.login(QStringLiteral("Clerk"), QStringLiteral("pw")).ok());
    QCOMPARE(valueOf(s, QStringLiteral("select nr from rz")).toString(),
             QStringLiteral("操作员管理：修改 Clerk，状态 可用 改为 停用"));
}

void OperatorWindowTest::deleteAsksFirst()
{
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(addOperator(s, QStringLiteral("Clerk"), Rights::Add));
    ScriptedPrompter p;
    OperatorWindow w(s, home.context().currentOperator);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    Units u(&w);
    u.choose(QStringLiteral("Clerk"));
    p.answerNo();
    u.press(QStringLiteral("删除"));
    QCOMPARE(p.lastText(), QStringLiteral("确定删除[Clerk]吗？"));
    QVERIFY(idOf(s, QStringLiteral("Clerk")) > 0);
    p.answerYes();
    u.press(QStringLiteral("删除"));
    QCOMPARE(idOf(s, QStringLiteral("Clerk")), -1);
    QCOMPARE(u.users(), QStringList{"Admin"});
    QCOMPARE(u.statusBar->currentMessage(), QStringLiteral(" 共有 1 个操作员。"));
    QCOMPARE(valueOf(s, QStringLiteral("select nr from rz")).toString(), QStringLiteral("操作员管理：删除 Clerk"));
    // Admin, the last administrator, may not delete himself.
    p.clear();
    u.choose(QStringLiteral("Admin"));
    u.press(QStringLiteral("删除"));
    QCOMPARE(p.texts(), QStringList{Operators::LastAdministratorDeleteMessage});
}

void OperatorWindowTest::dropLeavesTheRowAsItWas()
{
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(addOperator(s, QStringLiteral("Clerk"), Rights::Add));
    ScriptedPrompter p;
    OperatorWindow w(s, home.context().currentOperator);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    Units u(&w);
    u.choose(QStringLiteral("Clerk"));
    u.press(QStringLiteral("修改"));
    u.name->selectAll();
    typeText(u.name, QStringLiteral("Changed"));
    u.toggle(Rights::Delete);
    u.press(QStringLiteral("放弃"));
    QCOMPARE(w.mode(), OperatorWindow::Mode::Browse);
    QCOMPARE(u.name->text(), QStringLiteral("Clerk"));
    QCOMPARE(u.ticked(), QStringList{Rights::Add});
    QCOMPARE(idOf(s, QStringLiteral("Changed")), -1);
    QVERIFY(p.shown().isEmpty());
    // "退出" closes the window.
    u.press(QStringLiteral("退出"));
    QVERIFY(!w.isVisible());
}

void OperatorWindowTest::changePasswordLayout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("编辑框1") << "编辑框1" << QRect(112, 24, 112, 20);
    QTest::newRow("编辑框2") << "编辑框2" << QRect(112, 56, 112, 20);
    QTest::newRow("编辑框3") << "编辑框3" << QRect(112, 88, 112, 20);
    QTest::newRow("按钮1") << "按钮1" << QRect(64, 136, 64, 24);
    QTest::newRow("按钮2") << "按钮2" << QRect(168, 136, 64, 24);
    QTest::newRow("标签1") << "标签1" << QRect(48, 24, -1, -1);
    QTest::newRow("标签2") << "标签2" << QRect(64, 56, -1, -1);
    QTest::newRow("标签3") << "标签3" << QRect(48, 88, -1, -1);
}

void OperatorWindowTest::changePasswordLayout()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    TestHome home;
    ChangePasswordWindow w(home.store(), home.context().currentOperator);
    QCOMPARE(OuterSize::designed(&w), QSize(287, 215));
    QCOMPARE(w.windowTitle(), QStringLiteral("修改口令"));
    auto* unit = w.findChild<QWidget*>(name);
    QVERIFY2(unit, qPrintable(name));
    if (geometry.width() < 0)
        QCOMPARE(unit->pos(), geometry.topLeft());
    else
        QCOMPARE(unit->geometry(), geometry);
    auto* user = w.findChild<QLineEdit*>(QStringLiteral("编辑框1"));
    QCOMPARE(user->text(), QStringLiteral("Admin"));
    QVERIFY(user->isReadOnly());
    QCOMPARE(w.findChild<QLineEdit*>(QStringLiteral("编辑框2"))->echoMode(), QLineEdit::Password);
    QCOMPARE(w.findChild<QLineEdit*>(QStringLiteral("编辑框3"))->echoMode(), QLineEdit::Password);
}

void OperatorWindowTest::changePasswordThroughTheWindow()
{
    TestHome home;
    DataStore& s = home.store();
    ScriptedPrompter p;
    ChangePasswordWindow w(s, home.context().currentOperator);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    typeText(w.findChild<QLineEdit*>(QStringLiteral("编辑框2")), QStringLiteral("Brand-New"));
    typeText(w.findChild<QLineEdit*>(QStringLiteral("编辑框3")), QStringLiteral("Brand-New"));
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("按钮1")), Qt::LeftButton);
    QCOMPARE(p.messages(), QStringList{Operators::OwnPasswordChangedMessage});
    QCOMPARE(p.lastTitle(), QStringLiteral("OK"));
    QVERIFY(!w.isVisible());
    QCOMPARE(w.result(), int(QDialog::Accepted));
    // The session goes on; the next login takes the new password only.
    QCOMPARE(home.context().currentOperator.userName(), QStringLiteral("Admin"));
    LoginService login(s, home.context().config);
    QVERIFY(login.login(QStringLiteral("Admin"), QStringLiteral("Brand-New")).ok());
    QCOMPARE(login.login(QStringLiteral("Admin"), QString()).outcome, LoginService::Outcome::WrongPassword);
    QCOMPARE(valueOf(s, QStringLiteral("select nr from rz")).toString(), QStringLiteral("修改口令：Admin"));
    QVERIFY(!g_output.join(QLatin1Char('\n')).contains(QStringLiteral("Brand")));
    QCOMPARE(
        valueOf(s, QStringLiteral("select count(*) from czygl where mm like '%Brand%' or qrmm like '%Brand%'")).toInt(),
        0);
}

void OperatorWindowTest::changePasswordDifferentEntries()
{
    TestHome home;
    DataStore& s = home.store();
    const QString hash = valueOf(s, QStringLiteral("select mm from czygl where yhm='Admin'")).toString();
    ScriptedPrompter p;
    ChangePasswordWindow w(s, home.context().currentOperator);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    typeText(w.findChild<QLineEdit*>(QStringLiteral("编辑框2")), QStringLiteral("one"));
    typeText(w.findChild<QLineEdit*>(QStringLiteral("编辑框3")), QStringLiteral("two"));
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("按钮1")), Qt::LeftButton);
    QCOMPARE(p.messages(), QStringList{Operators::PasswordsDifferMessage});
    QVERIFY(w.isVisible());
    QCOMPARE(valueOf(s, QStringLiteral("select mm from czygl where yhm='Admin'")).toString(), hash);
    QCOMPARE(valueOf(s, QStringLiteral("select count(*) from rz")).toInt(), 0);
    // "取消" closes without a change.
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("按钮2")), Qt::LeftButton);
    QVERIFY(!w.isVisible());
    QCOMPARE(valueOf(s, QStringLiteral("select mm from czygl where yhm='Admin'")).toString(), hash);
}

void OperatorWindowTest::grabPictures()
{
    TestHome home;
    QVERIFY(addOperator(home.store(), QStringLiteral("张三"), Rights::Add));
    QVERIFY(addOperator(home.store(), QStringLiteral("Resting"), Rights::Add, QStringLiteral("停用")));
    OperatorWindow w(home.store(), home.context().currentOperator);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    Units(&w).choose(QStringLiteral("张三"));
    qInstallMessageHandler(nullptr);
    qInfo() << "operator window picture:" << TestHome::grab(&w, QStringLiteral("operator-window"));
    ChangePasswordWindow c(home.store(), home.context().currentOperator);
    c.show();
    QVERIFY(QTest::qWaitForWindowExposed(&c));
    qInfo() << "password window picture:" << TestHome::grab(&c, QStringLiteral("change-password-window"));
}

KV_REGISTER_TEST(OperatorWindowTest)
#include "OperatorWindowTest.moc"
