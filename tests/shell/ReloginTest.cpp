#include "common/ScriptedPrompter.h"
#include "common/TestHome.h"
#include "common/TestRegistry.h"
#include "settings/ui/ChangePasswordWindow.h"
#include "settings/ui/OperatorWindow.h"
#include "shell/Commands.h"
#include "shell/ui/LoginWindow.h"
#include "shell/ui/MainWindow.h"
#include "shell/ui/PermissionNotice.h"
#include "shell/ui/Session.h"
#include "store/MainSettings.h"
#include "store/Operators.h"
#include "store/PasswordHash.h"
#include "store/Rights.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include <functional>

namespace {

bool addOperator(DataStore& s, const QString& name, const QString& password, const QString& rights)
{
    const QString h = PasswordHash::hash(password);
    return s.execute(QStringLiteral("insert into czygl(yhm,mm,qrmm,zt,ms,qx) values (?,?,?,'可用','',?)"),
                     {name, h, h, rights});
}

// Acts on the next modal window of type T once it shows, as an operator
// would, while the code under test waits in that window's loop.
template <class T> void whenShown(std::function<void(T*)> act, bool* done)
{
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, act, done] {
        auto* w = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!w)
            return;
        timer->stop();
        timer->deleteLater();
        act(w);
        *done = true;
    });
    timer->start();
}

void press(QWidget* window, const QString& text)
{
    auto* bar = window->findChild<QToolBar*>(QStringLiteral("操作员工具条"));
    for (QAction* a : bar->actions())
        if (a->text() == text)
            QTest::mouseClick(bar->widgetForAction(a), Qt::LeftButton);
}

void logIn(LoginWindow* w, const QString& user, const QString& password)
{
    auto* users = w->findChild<QComboBox*>(QStringLiteral("组合框1"));
    users->setCurrentIndex(users->findText(user));
    QTest::keyClicks(w->findChild<QLineEdit*>(QStringLiteral("密码编辑框")), password);
    QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("登录按钮")), Qt::LeftButton);
}

struct Fixture {
    TestHome home;
    ScriptedPrompter prompter;
    Session session{home.context()};

    bool start()
    {
        if (!home.isValid())
            return false;
        (void)home.context().config.setValue(Config::GuideSection, Config::GuideKey, QStringLiteral("1"));
        if (auto s = MainSettings::read(home.store()))
            home.context().mainSettings = *s;
        session.start(std::make_unique<MainWindow>(home.context()));
        return session.window() && QTest::qWaitForWindowExposed(session.window());
    }

    // Through "权限管理": Clerk gets "搜索文件", and yes to logging in again.
    void changeClerkAndAskToLogInAgain(bool* driven)
    {
        whenShown<OperatorWindow>(
            [](OperatorWindow* w) {
                auto* list = w->findChild<QListWidget*>(QStringLiteral("超级列表框1"));
                QListWidgetItem* clerk = list->findItems(QStringLiteral("Clerk"), Qt::MatchExactly).value(0);
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(clerk).center());
                press(w, QStringLiteral("修改"));
                auto* rights = w->findChild<QListWidget*>(QStringLiteral("选择列表框1"));
                rights->setFocus();
                rights->setCurrentItem(rights->findItems(Rights::Search, Qt::MatchExactly).value(0));
                QTest::keyClick(rights, Qt::Key_Space);
                press(w, QStringLiteral("保存"));
            },
            driven);
        prompter.answerYes();
    }
};

}  // namespace

class ReloginTest : public QObject {
    Q_OBJECT
private slots:
    void yesOpensFreshMainWindowForTheNextOperator();
    void cancelledLoginEndsTheProgram();
    void changePasswordFromTheMenu();
};

void ReloginTest::yesOpensFreshMainWindowForTheNextOperator()
{
    Fixture f;
    QVERIFY(
        addOperator(f.home.store(), QStringLiteral("Clerk"), QStringLiteral("clerk-pw"), QStringLiteral("增加,修改")));
    f.home.context().protectedGroups.open(QStringLiteral("机密"));
    QVERIFY(f.start());
    QPointer<MainWindow> first = f.session.window();
    QSignalSpy replaced(&f.session, &Session::windowReplaced);
    QSignalSpy ended(&f.session, &Session::ended);

    bool changed = false, loggedIn = false;
    bool firstGoneAtLogin = false;
    f.changeClerkAndAskToLogInAgain(&changed);
    whenShown<LoginWindow>(
        [&](LoginWindow* w) {
            // The main window is closed while the login shows.
            firstGoneAtLogin = !first || !first->isVisible();
            QCOMPARE(w->windowTitle(), QStringLiteral("系统登录"));
            logIn(w, QStringLiteral("Clerk"), QStringLiteral("clerk-pw"));
        },
        &loggedIn);
    QCOMPARE(first->runCommand(QString::fromLatin1(Cmd::Operators)), CommandRouter::Outcome::Ran);
    QVERIFY(changed);
    QTRY_COMPARE_WITH_TIMEOUT(replaced.size(), 1, 20000);
    QVERIFY(loggedIn);
    QVERIFY(firstGoneAtLogin);
    QCOMPARE(ended.size(), 0);
    QVERIFY(!first);
    QCOMPARE(f.prompter.texts(), (QStringList{Operators::ChangedMessage, Operators::ReloginQuestion}));

    MainWindow* next = f.session.window();
    QVERIFY(next);
    QVERIFY(next->isVisible());
    QCOMPARE(f.home.context().currentOperator.userName(), QStringLiteral("Clerk"));
    QCOMPARE(f.home.context().currentOperator.rightsText(), QStringLiteral("增加,修改,搜索文件"));
    QCOMPARE(next->statusPane(0)->text(), QStringLiteral("Clerk 欢迎回来 "));
    // The groups opened for the one who left are closed for the next.
    QVERIFY(!f.home.context().protectedGroups.isOpen(QStringLiteral("机密")));
    // Clerk's rights apply: "权限管理" is refused, "搜索文件" is his now.
    QCOMPARE(next->runCommand(QString::fromLatin1(Cmd::Operators)), CommandRouter::Outcome::Denied);
    QVERIFY(PermissionNotice::current());
    PermissionNotice::current()->close();
    QVERIFY(next->router().allowed(QString::fromLatin1(Cmd::Search)));
    QVERIFY(!next->router().allowed(QString::fromLatin1(Cmd::Delete)));
    // The change was logged by Admin; the log goes on under Clerk's name.
    QCOMPARE(valueOf(f.home.store(), QStringLiteral("select czy from rz")).toString(), QStringLiteral("Admin"));
    QCOMPARE(f.home.context().config.value(Config::LoginSection, Config::LoginKey), QStringLiteral("Clerk"));
}

void ReloginTest::cancelledLoginEndsTheProgram()
{
    Fixture f;
    QVERIFY(addOperator(f.home.store(), QStringLiteral("Clerk"), QStringLiteral("pw"), QStringLiteral("增加")));
    QVERIFY(f.start());
    QPointer<MainWindow> first = f.session.window();
    QSignalSpy ended(&f.session, &Session::ended);
    bool changed = false, cancelled = false;
    f.changeClerkAndAskToLogInAgain(&changed);
    whenShown<LoginWindow>(
        [](LoginWindow* w) {
            QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("取消按钮")), Qt::LeftButton);
        },
        &cancelled);
    QCOMPARE(first->runCommand(QString::fromLatin1(Cmd::Operators)), CommandRouter::Outcome::Ran);
    QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 20000);
    QVERIFY(cancelled);
    QVERIFY(!first);
    QVERIFY(!f.session.window());
}

// "修改口令" needs no right; the session goes on.
void ReloginTest::changePasswordFromTheMenu()
{
    Fixture f;
    QVERIFY(addOperator(f.home.store(), QStringLiteral("Clerk"), QStringLiteral("old"), QStringLiteral("增加")));
    f.home.loginAs(QStringLiteral("Clerk"), QStringLiteral("增加"));
    QVERIFY(f.start());
    bool shown = false;
    whenShown<ChangePasswordWindow>(
        [](ChangePasswordWindow* w) {
            QCOMPARE(w->findChild<QLineEdit*>(QStringLiteral("编辑框1"))->text(), QStringLiteral("Clerk"));
            QTest::keyClicks(w->findChild<QLineEdit*>(QStringLiteral("编辑框2")), QStringLiteral("new"));
            QTest::keyClicks(w->findChild<QLineEdit*>(QStringLiteral("编辑框3")), QStringLiteral("new"));
            QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("按钮1")), Qt::LeftButton);
        },
        &shown);
    MainWindow* window = f.session.window();
    QCOMPARE(window->runCommand(QString::fromLatin1(Cmd::ChangePassword)), CommandRouter::Outcome::Ran);
    QVERIFY(shown);
    QCOMPARE(f.prompter.messages(), QStringList{Operators::OwnPasswordChangedMessage});
    QCOMPARE(f.session.window(), window);
    const QString hash = valueOf(f.home.store(), QStringLiteral("select mm from czygl where yhm='Clerk'")).toString();
    QVERIFY(PasswordHash::verify(hash, QStringLiteral("new")));
    QVERIFY(!PasswordHash::verify(hash, QStringLiteral("old")));
}

KV_REGISTER_TEST(ReloginTest)
#include "ReloginTest.moc"
