#include "common/ScriptedPrompter.h"
#include "common/TestHome.h"
#include "common/TestRegistry.h"
#include "platform/ui/SkinLibrary.h"
#include "settings/LoginService.h"
#include "shell/ui/LoginWindow.h"
#include "shell/ui/LoginWindowPictures.h"
#include "store/PasswordHash.h"
#include "store/Rights.h"
#include "common/TestInput.h"

using TestInput::typeText;

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QScopeGuard>
#include <QFontInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

bool addOperator(DataStore& s, const QString& name, const QString& password, const QString& status,
                 const QString& rights = Rights::Add)
{
    const QString h = PasswordHash::hash(password);
    return s.execute(QStringLiteral("insert into czygl(yhm,mm,qrmm,zt,ms,qx) values (?,?,?,?,?,?)"),
                     {name, h, h, status, QString(), rights});
}

void writeConfig(TestHome& home, const QByteArray& bytes)
{
    QFile f(home.context().home.configPath());
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
    f.close();
    home.context().config.reload();
}

QStringList items(QComboBox* c)
{
    QStringList out;
    for (int i = 0; i < c->count(); ++i)
        out << c->itemText(i);
    return out;
}

// The window's units, found by their names as an operator's test sees them.
struct Units {
    explicit Units(QWidget* w)
        : users(w->findChild<QComboBox*>(QStringLiteral("组合框1"))),
          password(w->findChild<QLineEdit*>(QStringLiteral("密码编辑框"))),
          login(w->findChild<QPushButton*>(QStringLiteral("登录按钮"))),
          cancel(w->findChild<QPushButton*>(QStringLiteral("取消按钮"))),
          rule(w->findChild<QWidget*>(QStringLiteral("标签2"))),
          busy(w->findChild<QWidget*>(QStringLiteral("进度图片框")))
    {
    }
    bool ok() const { return users && password && login && cancel && rule && busy; }
    QComboBox* users;
    QLineEdit* password;
    QPushButton* login;
    QPushButton* cancel;
    QWidget* rule;
    QWidget* busy;
};

}  // namespace

class LoginWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void layout_data();
    void layout();
    void frameAndTexts();
    void fonts_data();
    void fonts();
    void tabOrder();
    void focusIsShownWhileTabbing_data();
    void focusIsShownWhileTabbing();
    void pictures();
    void userListOffersUsableOperatorsInOrder();
    void preselection_data();
    void preselection();
    void allStoppedGivesEmptyList();
    void wrongPasswordKeepsWindowOpen();
    void rightPasswordLogsIn();
    void passwordIsExact_data();
    void passwordIsExact();
    void adminWithEmptyPasswordByEnter();
    void escapeDoesNotClose();
    void accessKeys();
    void cancelEndsWithoutOperator();
    void stoppedOperatorIsRefusedEvenWhenAskedDirectly();
    void operatorStoppedWhileWindowOpen();
    void handOverShowsBusyPicture();
    void dragByBackground();
    void reloginReplacesOperator();
    void reloginCancelledKeepsOperator();
    void grabPicture();
};

void LoginWindowTest::init()
{
    QApplication::setStyle(QStringLiteral("Fusion"));
}

void LoginWindowTest::layout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("图片框1") << "图片框1"
                             << "" << QRect(0, 0, 448, 78);
    QTest::newRow("透明标签1") << "透明标签1"
                               << "图片框1" << QRect(32, 8, 136, 32);
    QTest::newRow("透明标签2") << "透明标签2"
                               << "图片框1" << QRect(136, 32, 208, 24);
    QTest::newRow("透明标签3") << "透明标签3"
                               << "图片框1" << QRect(368, 56, 64, 16);
    QTest::newRow("标签2") << "标签2"
                           << "" << QRect(0, 80, 440, 3);
    QTest::newRow("图形按钮1") << "图形按钮1"
                               << "" << QRect(96, 94, 30, 32);
    QTest::newRow("标签1") << "标签1"
                           << "" << QRect(128, 104, 56, 16);
    QTest::newRow("组合框1") << "组合框1"
                             << "" << QRect(189, 104, 154, 20);
    QTest::newRow("图形按钮2") << "图形按钮2"
                               << "" << QRect(97, 128, 27, 31);
    QTest::newRow("标签3") << "标签3"
                           << "" << QRect(128, 136, 56, 16);
    QTest::newRow("密码编辑框") << "密码编辑框"
                                << "" << QRect(189, 135, 154, 20);
    QTest::newRow("登录按钮") << "登录按钮"
                              << "" << QRect(130, 174, 89, 26);
    QTest::newRow("取消按钮") << "取消按钮"
                              << "" << QRect(247, 174, 89, 26);
    QTest::newRow("进度图片框") << "进度图片框"
                                << "" << QRect(339, 223, 88, 14);
}

void LoginWindowTest::layout()
{
    QFETCH(QString, name);
    QFETCH(QString, parentName);
    QFETCH(QRect, geometry);
    TestHome home;
    QVERIFY(home.isValid());
    LoginWindow w(home.context(), home.store());
    w.show();
    auto* unit = w.findChild<QWidget*>(name);
    QVERIFY2(unit, qPrintable(name));
    QCOMPARE(unit->geometry(), geometry);
    if (parentName.isEmpty())
        QCOMPARE(unit->parentWidget(), &w);
    else
        QCOMPARE(unit->parentWidget()->objectName(), parentName);
}

void LoginWindowTest::frameAndTexts()
{
    TestHome home;
    LoginWindow w(home.context(), home.store());
    w.show();
    QCOMPARE(w.windowTitle(), QStringLiteral("系统登录"));
    // The designed size is the outer one, frame and title bar included.
    QCOMPARE(w.frameGeometry().size(), QSize(446, 271));
    QCOMPARE(w.minimumSize(), w.size());
    QCOMPARE(w.maximumSize(), w.size());
    const Qt::WindowFlags flags = w.windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    auto text = [&](const char* name) { return w.findChild<QLabel*>(QString::fromUtf8(name))->text(); };
    QCOMPARE(text("透明标签1"), QStringLiteral("欢迎使用..."));
    QCOMPARE(text("透明标签2"), QStringLiteral("Korvane文件管理系统"));
    QCOMPARE(text("透明标签3"), QStringLiteral("【单机版】"));
    QCOMPARE(text("标签1"), QStringLiteral("用户姓名"));
    QCOMPARE(text("标签3"), QStringLiteral("用户口令"));
    Units u(&w);
    QVERIFY(u.ok());
    QCOMPARE(u.login->text(), QStringLiteral("登录(&I)"));
    QCOMPARE(u.cancel->text(), QStringLiteral("取消(&X)"));
    QVERIFY(u.login->isDefault());
    QVERIFY(!u.cancel->autoDefault());
    QVERIFY(u.rule->isHidden());
    QVERIFY(u.busy->isHidden());
    QVERIFY(u.password->text().isEmpty());
    QCOMPARE(u.password->echoMode(), QLineEdit::Password);
    QCOMPARE(u.password->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, u.password), int('*'));
    QVERIFY(!u.users->isEditable());
    // Picture buttons are decorations only.
    QVERIFY(!w.findChild<QWidget*>(QStringLiteral("图形按钮1"))->isEnabled());
    QVERIFY(!w.findChild<QWidget*>(QStringLiteral("图形按钮2"))->isEnabled());
    QVERIFY(w.findChild<QTimer*>(QStringLiteral("时钟1")));
}

void LoginWindowTest::fonts_data()
{
    QTest::addColumn<QString>("skin");
    QTest::newRow("no skin") << QString();
    QTest::newRow("pixos") << QStringLiteral("pixos.she");
    QTest::newRow("moye") << QStringLiteral("moye.she");
}

void LoginWindowTest::fonts()
{
    QFETCH(QString, skin);
    TestHome home;
    if (!skin.isEmpty())
        QVERIFY(SkinLibrary::attach(home.context().home.skinFolder() + QLatin1Char('/') + skin));
    auto detach = qScopeGuard([] { SkinLibrary::detach(); });
    LoginWindow w(home.context(), home.store());
    w.show();
    auto font = [&](const char* name) { return w.findChild<QWidget*>(QString::fromUtf8(name))->font(); };
    QCOMPARE(font("透明标签1").pixelSize(), 14);
    QVERIFY(!font("透明标签1").bold());
    QCOMPARE(font("透明标签2").pixelSize(), 24);
    QVERIFY(font("透明标签2").bold());
    QCOMPARE(font("组合框1").pixelSize(), 12);
    QCOMPARE(font("密码编辑框").pixelSize(), 12);
    // 宋体 falls back to an installed Song-style face.
    for (const char* name : {"透明标签1", "透明标签2", "组合框1", "密码编辑框"}) {
        QCOMPARE(font(name).family(), QStringLiteral("宋体"));
        const QString real = QFontInfo(font(name)).family();
        QVERIFY2(real.contains(QStringLiteral("Serif CJK")) || real.contains(QStringLiteral("Ming"))
                     || real.contains(QStringLiteral("Song")),
                 qPrintable(real));
    }
    // White on the banner.
    auto* title = w.findChild<QLabel*>(QStringLiteral("透明标签2"));
    QCOMPARE(title->palette().color(QPalette::WindowText), QColor(Qt::white));
    // The whole product name fits in its box.
    QVERIFY(QFontMetrics(title->font()).horizontalAdvance(title->text()) <= title->width());
    if (!skin.isEmpty())
        TestHome::grab(&w, QStringLiteral("login-window-") + QFileInfo(skin).baseName());
}

void LoginWindowTest::tabOrder()
{
    TestHome home;
    LoginWindow w(home.context(), home.store());
    w.show();
    Units u(&w);
    const QList<QWidget*> expected = {u.users, u.password, u.login, u.cancel};
    QList<QWidget*> chain;
    QWidget* at = u.users;
    do {
        if (at->isVisible() && at->isEnabled() && (at->focusPolicy() & Qt::TabFocus))
            chain << at;
        at = at->nextInFocusChain();
    } while (at != u.users && chain.size() < 10);
    QCOMPARE(chain, expected);
}

void LoginWindowTest::focusIsShownWhileTabbing_data()
{
    QTest::addColumn<QString>("skin");
    QTest::newRow("no skin") << QString();
    QTest::newRow("pixos") << QStringLiteral("pixos.she");
    QTest::newRow("qingshui") << QStringLiteral("qingshui.she");
    QTest::newRow("moye") << QStringLiteral("moye.she");
}

void LoginWindowTest::focusIsShownWhileTabbing()
{
    QFETCH(QString, skin);
    SkinLibrary::installBaseLook();  // the program's own look, as at start-up
    TestHome home;
    if (!skin.isEmpty())
        QVERIFY(SkinLibrary::attach(home.context().home.skinFolder() + QLatin1Char('/') + skin));
    auto detach = qScopeGuard([] { SkinLibrary::detach(); });
    LoginWindow w(home.context(), home.store());
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    Units u(&w);
    const QList<QWidget*> stops = {u.users, u.password, u.login, u.cancel};
    // Each stop as it looks holding the focus, and while another holds it.
    QList<QImage> on(stops.size()), off(stops.size());
    for (int step = 1; step <= stops.size(); ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        const int at = step % stops.size();
        QCOMPARE(QApplication::focusWidget(), stops.at(at));
        for (int i = 0; i < stops.size(); ++i)
            (i == at ? on : off)[i] = stops.at(i)->grab().toImage();
    }
    // A mark along the edges, more than the text cursor's dozen pixels.
    for (int i = 0; i < stops.size(); ++i) {
        int changed = 0;
        for (int y = 0; y < on[i].height(); ++y)
            for (int x = 0; x < on[i].width(); ++x)
                changed += on[i].pixel(x, y) != off[i].pixel(x, y);
        QVERIFY2(changed >= (on[i].width() + on[i].height()) / 2, qPrintable(stops.at(i)->objectName()));
    }
}

void LoginWindowTest::pictures()
{
    const QPixmap banner = LoginWindowPictures::banner();
    QCOMPARE(banner.size(), QSize(448, 78));
    // Blue: the blue channel dominates across the banner.
    const QImage img = banner.toImage();
    for (const QPoint& p : {QPoint(5, 5), QPoint(224, 40), QPoint(440, 70)}) {
        const QColor c = img.pixelColor(p);
        QVERIFY(c.blue() > c.red() + 40);
    }
    QCOMPARE(LoginWindowPictures::twoPersons().size(), QSize(32, 32));
    const QImage lock = LoginWindowPictures::padlock().toImage();
    QCOMPARE(lock.size(), QSize(32, 32));
    const QColor body = lock.pixelColor(10, 24);
    QVERIFY(body.red() > 180 && body.green() > 120 && body.blue() < 100);  // yellow
    LoginBusyPicture busy;
    busy.resize(88, 14);
    const QImage a = busy.grab().toImage();
    busy.advance();
    busy.advance();
    const QImage b = busy.grab().toImage();
    QVERIFY(a != b);  // it moves
}

void LoginWindowTest::userListOffersUsableOperatorsInOrder()
{
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(addOperator(s, QStringLiteral("张三"), QStringLiteral("1"), QStringLiteral("可用")));
    QVERIFY(addOperator(s, QStringLiteral("停用者"), QStringLiteral("1"), QStringLiteral("停用")));
    QVERIFY(addOperator(s, QStringLiteral("O'Brien"), QStringLiteral("1"), QStringLiteral("可用")));
    LoginWindow w(home.context(), s);
    Units u(&w);
    QCOMPARE(items(u.users), (QStringList{QStringLiteral("Admin"), QStringLiteral("张三"), QStringLiteral("O'Brien")}));
}

void LoginWindowTest::preselection_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<bool>("adminStopped");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no Config.ini") << QByteArray() << false << "Admin";
    QTest::newRow("stored name") << QByteArray("[dl]\nyh=Clerk\n") << false << "Clerk";
    QTest::newRow("stored name, GBK") << QByteArray("[dl]\r\nyh=\xd5\xc5\xc8\xfd\r\n") << false << "张三";
    QTest::newRow("stopped name") << QByteArray("[dl]\nyh=Gone\n") << false << "";
    QTest::newRow("unknown name") << QByteArray("[dl]\nyh=Nobody\n") << false << "";
    QTest::newRow("no key") << QByteArray("[dl]\n") << false << "Admin";
    QTest::newRow("Admin stopped") << QByteArray() << true << "";
    QTest::newRow("garbage") << QByteArray("\xff\xfe\x00\x01[[[\n==\n") << false << "Admin";
}

void LoginWindowTest::preselection()
{
    QFETCH(QByteArray, config);
    QFETCH(bool, adminStopped);
    QFETCH(QString, expected);
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(addOperator(s, QStringLiteral("Clerk"), QStringLiteral("c"), QStringLiteral("可用")));
    QVERIFY(addOperator(s, QStringLiteral("张三"), QStringLiteral("z"), QStringLiteral("可用")));
    QVERIFY(addOperator(s, QStringLiteral("Gone"), QStringLiteral("g"), QStringLiteral("停用")));
    if (adminStopped)
        QVERIFY(s.execute(QStringLiteral("update czygl set zt='停用' where yhm='Admin'")));
    if (!config.isEmpty())
        writeConfig(home, config);
    LoginWindow w(home.context(), s);
    Units u(&w);
    if (expected.isEmpty()) {
        QCOMPARE(u.users->currentIndex(), -1);
        QVERIFY(u.users->currentText().isEmpty());
    } else {
        QCOMPARE(u.users->currentText(), expected);
    }
    QVERIFY(u.password->text().isEmpty());
}

void LoginWindowTest::allStoppedGivesEmptyList()
{
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(addOperator(s, QStringLiteral("Clerk"), QString(), QStringLiteral("停用")));
    QVERIFY(s.execute(QStringLiteral("update czygl set zt='停用'")));
    home.context().currentOperator = CurrentOperator();
    ScriptedPrompter p;
    LoginWindow w(home.context(), s);
    w.show();
    Units u(&w);
    QCOMPARE(u.users->count(), 0);
    QTest::mouseClick(u.login, Qt::LeftButton);
    QCOMPARE(p.messages(), QStringList{QStringLiteral("请选择用户名进行登录。")});
    QVERIFY(w.isVisible());
    QCOMPARE(w.result(), 0);
    QVERIFY(!home.context().currentOperator.isLoggedIn());
}

void LoginWindowTest::wrongPasswordKeepsWindowOpen()
{
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(addOperator(s, QStringLiteral("Clerk"), QStringLiteral("right"), QStringLiteral("可用")));
    home.context().currentOperator = CurrentOperator();
    ScriptedPrompter p;
    LoginWindow w(home.context(), s);
    w.show();
    Units u(&w);
    u.users->setCurrentIndex(u.users->findText(QStringLiteral("Clerk")));
    QTest::keyClicks(u.password, QStringLiteral("wrong"));
    QTest::mouseClick(u.login, Qt::LeftButton);
    QCOMPARE(p.messages(), QStringList{LoginService::WrongPasswordMessage});
    QVERIFY(u.password->text().isEmpty());
    QVERIFY(w.isVisible());
    QCOMPARE(w.result(), 0);
    QVERIFY(!home.context().currentOperator.isLoggedIn());
    QVERIFY(!QFile::exists(home.context().home.configPath()));
    // The operator types again and gets in.
    QTest::keyClicks(u.password, QStringLiteral("right"));
    QTest::mouseClick(u.login, Qt::LeftButton);
    QCOMPARE(w.result(), int(QDialog::Accepted));
    QCOMPARE(home.context().currentOperator.userName(), QStringLiteral("Clerk"));
}

void LoginWindowTest::rightPasswordLogsIn()
{
    TestHome home;
    DataStore& s = home.store();
    const QString rights = Rights::join({Rights::Add, Rights::BatchModify});
    QVERIFY(addOperator(s, QStringLiteral("李四"), QStringLiteral("口令 9"), QStringLiteral("可用"), rights));
    writeConfig(home, QByteArray("; kept\n[date]\n[dl]\nyh=Admin\n[xd]\nqd=1\n"));
    home.context().currentOperator = CurrentOperator();
    ScriptedPrompter p;
    LoginWindow w(home.context(), s);
    QSignalSpy spy(&w, &LoginWindow::loggedIn);
    w.show();
    Units u(&w);
    QCOMPARE(u.users->currentText(), QStringLiteral("Admin"));
    u.users->setCurrentIndex(u.users->findText(QStringLiteral("李四")));
    typeText(u.password, QStringLiteral("口令 9"));
    QCOMPARE(u.password->text(), QStringLiteral("口令 9"));
    QTest::mouseClick(u.login, Qt::LeftButton);
    QVERIFY(p.shown().isEmpty());
    QCOMPARE(w.result(), int(QDialog::Accepted));
    QVERIFY(!w.isVisible());
    QCOMPARE(spy.count(), 1);
    const CurrentOperator& op = home.context().currentOperator;
    QCOMPARE(op.userName(), QStringLiteral("李四"));
    QCOMPARE(op.rightsText(), rights);
    QVERIFY(op.holds(Rights::Add));
    QVERIFY(!op.holds(Rights::Modify));
    // The name is kept for the next start, every other line as it was.
    QFile f(home.context().home.configPath());
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(f.readAll()), QStringLiteral("; kept\n[date]\n[dl]\nyh=李四\n[xd]\nqd=1\n"));
}

void LoginWindowTest::passwordIsExact_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("exact") << "Secret 1" << true;
    QTest::newRow("lower case") << "secret 1" << false;
    QTest::newRow("upper case") << "SECRET 1" << false;
    QTest::newRow("trailing blank") << "Secret 1 " << false;
    QTest::newRow("leading blank") << " Secret 1" << false;
    QTest::newRow("shorter") << "Secret" << false;
    QTest::newRow("empty") << "" << false;
}

void LoginWindowTest::passwordIsExact()
{
    QFETCH(QString, typed);
    QFETCH(bool, accepted);
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(addOperator(s, QStringLiteral("Clerk"), QStringLiteral("Secret 1"), QStringLiteral("可用")));
    writeConfig(home, "[dl]\nyh=Clerk\n");
    home.context().currentOperator = CurrentOperator();
    ScriptedPrompter p;
    LoginWindow w(home.context(), s);
    w.show();
    Units u(&w);
    QCOMPARE(u.users->currentText(), QStringLiteral("Clerk"));
    QTest::keyClicks(u.password, typed);
    QCOMPARE(u.password->text(), typed);
    QTest::mouseClick(u.login, Qt::LeftButton);
    QCOMPARE(w.result() == QDialog::Accepted, accepted);
    QCOMPARE(home.context().currentOperator.isLoggedIn(), accepted);
    QCOMPARE(p.messages().isEmpty(), accepted);
}

void LoginWindowTest::adminWithEmptyPasswordByEnter()
{
    TestHome home;
    home.context().currentOperator = CurrentOperator();
    ScriptedPrompter p;
    LoginWindow w(home.context(), home.store());
    w.show();
    Units u(&w);
    QCOMPARE(u.users->currentText(), QStringLiteral("Admin"));
    // Enter in the password box presses "登录(&I)".
    QTest::keyClick(u.password, Qt::Key_Return);
    QVERIFY(p.shown().isEmpty());
    QCOMPARE(w.result(), int(QDialog::Accepted));
    QCOMPARE(home.context().currentOperator.userName(), QStringLiteral("Admin"));
    QVERIFY(home.context().currentOperator.holds(Rights::Operators));
}

void LoginWindowTest::escapeDoesNotClose()
{
    TestHome home;
    home.context().currentOperator = CurrentOperator();
    ScriptedPrompter p;
    LoginWindow w(home.context(), home.store());
    w.show();
    Units u(&w);
    QTest::keyClick(&w, Qt::Key_Escape);
    QTest::keyClick(u.password, Qt::Key_Escape);
    QTest::keyClick(u.users, Qt::Key_Escape);
    QVERIFY(w.isVisible());
    QCOMPARE(w.result(), 0);
    // Enter with the user list focused also logs in.
    QTest::keyClick(u.users, Qt::Key_Enter);
    QCOMPARE(w.result(), int(QDialog::Accepted));
}

void LoginWindowTest::accessKeys()
{
    TestHome home;
    LoginWindow w(home.context(), home.store());
    Units u(&w);
    QCOMPARE(u.login->shortcut(), QKeySequence(Qt::ALT | Qt::Key_I));
    QCOMPARE(u.cancel->shortcut(), QKeySequence(Qt::ALT | Qt::Key_X));
}

void LoginWindowTest::cancelEndsWithoutOperator()
{
    TestHome home;
    home.context().currentOperator = CurrentOperator();
    ScriptedPrompter p;
    LoginWindow w(home.context(), home.store());
    w.show();
    Units u(&w);
    QTest::mouseClick(u.cancel, Qt::LeftButton);
    QCOMPARE(w.result(), int(QDialog::Rejected));
    QVERIFY(!w.isVisible());
    QVERIFY(!home.context().currentOperator.isLoggedIn());
    // The close box ends it the same way.
    LoginWindow again(home.context(), home.store());
    again.show();
    QVERIFY(again.close());
    QCOMPARE(again.result(), int(QDialog::Rejected));
    QVERIFY(!home.context().currentOperator.isLoggedIn());
}

void LoginWindowTest::stoppedOperatorIsRefusedEvenWhenAskedDirectly()
{
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(addOperator(s, QStringLiteral("Gone"), QStringLiteral("pw"), QStringLiteral("停用")));
    QVERIFY(addOperator(s, QStringLiteral("Odd"), QStringLiteral("pw"), QString()));
    LoginService service(s, home.context().config);
    QVERIFY(!service.userNames().valueOr({}).contains(QStringLiteral("Gone")));
    auto r = service.login(QStringLiteral("Gone"), QStringLiteral("pw"));
    QCOMPARE(r.outcome, LoginService::Outcome::NotUsable);
    QVERIFY(!r.op.isLoggedIn());
    r = service.login(QStringLiteral("Odd"), QStringLiteral("pw"));
    QCOMPARE(r.outcome, LoginService::Outcome::NotUsable);
    r = service.login(QStringLiteral("Nobody"), QString());
    QCOMPARE(r.outcome, LoginService::Outcome::UnknownUser);
    // A quote in the name is only a character.
    r = service.login(QStringLiteral("x' or '1'='1"), QString());
    QCOMPARE(r.outcome, LoginService::Outcome::UnknownUser);
    QVERIFY(!QFile::exists(home.context().home.configPath()));
    // Only a stored hash opens the door: a password kept as plain text (or
    // none at all) was not written by this system.
    QVERIFY(s.execute(QStringLiteral("insert into czygl(yhm,mm,qrmm,zt,qx) values "
                                     "('Plain','pw','pw','可用','增加'),('Blank','','','可用','增加')")));
    QCOMPARE(service.login(QStringLiteral("Plain"), QStringLiteral("pw")).outcome,
             LoginService::Outcome::WrongPassword);
    QCOMPARE(service.login(QStringLiteral("Blank"), QString()).outcome, LoginService::Outcome::WrongPassword);
    // A failed read is a failure, not a login.
    s.failNextStatements(1, QStringLiteral("from czygl"));
    r = service.login(QStringLiteral("Admin"), QString());
    QCOMPARE(r.outcome, LoginService::Outcome::Failed);
}

void LoginWindowTest::operatorStoppedWhileWindowOpen()
{
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(addOperator(s, QStringLiteral("Clerk"), QStringLiteral("pw"), QStringLiteral("可用")));
    home.context().currentOperator = CurrentOperator();
    ScriptedPrompter p;
    LoginWindow w(home.context(), s);
    w.show();
    Units u(&w);
    u.users->setCurrentIndex(u.users->findText(QStringLiteral("Clerk")));
    QVERIFY(s.execute(QStringLiteral("update czygl set zt='停用' where yhm='Clerk'")));
    QTest::keyClicks(u.password, QStringLiteral("pw"));
    QTest::mouseClick(u.login, Qt::LeftButton);
    QCOMPARE(p.messages(), QStringList{LoginService::NotUsableMessage});
    QVERIFY(w.isVisible());
    QVERIFY(!home.context().currentOperator.isLoggedIn());
    QCOMPARE(items(u.users), QStringList{QStringLiteral("Admin")});
}

void LoginWindowTest::handOverShowsBusyPicture()
{
    TestHome home;
    home.context().currentOperator = CurrentOperator();
    ScriptedPrompter p;
    LoginWindow w(home.context(), home.store());
    bool busyDuringHandOver = false;
    bool ruleDuringHandOver = false;
    int handOvers = 0;
    Units u(&w);
    w.setHandOver([&] {
        ++handOvers;
        busyDuringHandOver = u.busy->isVisible();
        ruleDuringHandOver = u.rule->isVisible();
    });
    w.show();
    QTest::mouseClick(u.login, Qt::LeftButton);
    // The operator is known at once; the window closes once the hand-over ran.
    QCOMPARE(home.context().currentOperator.userName(), QStringLiteral("Admin"));
    QVERIFY(u.busy->isVisible());
    QVERIFY(!u.login->isEnabled());
    QTRY_COMPARE(w.result(), int(QDialog::Accepted));
    QCOMPARE(handOvers, 1);
    QVERIFY(busyDuringHandOver);
    QVERIFY(ruleDuringHandOver);
}

void LoginWindowTest::dragByBackground()
{
    TestHome home;
    LoginWindow w(home.context(), home.store());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QPoint background(30, 220);
    QCOMPARE(w.childAt(background), nullptr);
    const QPoint before = w.pos();
    QTest::mousePress(&w, Qt::LeftButton, {}, background);
    QTest::mouseMove(&w, background + QPoint(40, 25));
    QTest::mouseRelease(&w, Qt::LeftButton, {}, background + QPoint(40, 25));
    QCOMPARE(w.pos(), before + QPoint(40, 25));
}

void LoginWindowTest::reloginReplacesOperator()
{
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(addOperator(s, QStringLiteral("Clerk"), QStringLiteral("pw"), QStringLiteral("可用"), Rights::Search));
    ScriptedPrompter p;
    bool driven = false;
    QTimer::singleShot(0, [&] {
        auto* w = qobject_cast<LoginWindow*>(QApplication::activeModalWidget());
        if (!w)
            return;
        driven = true;
        Units u(w);
        u.users->setCurrentIndex(u.users->findText(QStringLiteral("Clerk")));
        QTest::keyClicks(u.password, QStringLiteral("pw"));
        QTest::mouseClick(u.login, Qt::LeftButton);
    });
    QVERIFY(LoginWindow::relogin(home.context()));
    QVERIFY(driven);
    QCOMPARE(home.context().currentOperator.userName(), QStringLiteral("Clerk"));
    QCOMPARE(home.context().currentOperator.rightsText(), Rights::Search);
}

void LoginWindowTest::reloginCancelledKeepsOperator()
{
    TestHome home;
    ScriptedPrompter p;
    QTimer::singleShot(0, [&] {
        if (auto* w = qobject_cast<LoginWindow*>(QApplication::activeModalWidget()))
            QTest::mouseClick(Units(w).cancel, Qt::LeftButton);
    });
    QVERIFY(!LoginWindow::relogin(home.context()));
    QCOMPARE(home.context().currentOperator.userName(), QStringLiteral("Admin"));
}

void LoginWindowTest::grabPicture()
{
    TestHome home;
    LoginWindow w(home.context(), home.store());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QString path = TestHome::grab(&w, QStringLiteral("login-window"));
    QVERIFY(QFile::exists(path));
    qInfo() << "login window picture:" << path;
}

KV_REGISTER_TEST(LoginWindowTest)
#include "LoginWindowTest.moc"
