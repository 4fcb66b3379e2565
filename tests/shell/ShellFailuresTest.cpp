#include "MainWindowFixture.h"
#include "common/ScriptedPrompter.h"
#include "common/TestHome.h"
#include "common/TestRegistry.h"
#include "platform/ui/QtPrompter.h"
#include "platform/ui/QtTranslations.h"
#include "platform/Config.h"
#include "settings/LoginService.h"
#include "shell/StartupSequence.h"
#include "shell/ui/LoginWindow.h"
#include "shell/ui/MainWindow.h"
#include "shell/ui/PermissionNotice.h"
#include "shell/ui/Startup.h"

#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QFile>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

// Failures that must reach the operator or stop the program, Config.ini
// that cannot be read, the permission notice's keyboard, and the texts of
// the dialogs the operator answers.
class ShellFailuresTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup();
    void undecodableConfigIsNeverRewritten_data();
    void undecodableConfigIsNeverRewritten();
    void readableConfigIsStillWritten();
    void failedUserReadIsReported();
    void mainWindowWithoutConnectionDoesNotGoOn();
    void mainWindowNeedsAReadyContext_data();
    void mainWindowNeedsAReadyContext();
    void noticeTakesEscape();
    void secondDenialDoesNotStackNotices();
    void prompterButtonsAreChinese();
    void qtDialogsAreChinese_data();
    void qtDialogsAreChinese();
};

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QList<MainWindow*> mainWindows()
{
    QList<MainWindow*> out;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* m = qobject_cast<MainWindow*>(w))
            out << m;
    return out;
}

QStringList buttonTexts(QWidget* box)
{
    QStringList texts;
    for (QPushButton* b : box->findChildren<QPushButton*>())
        texts << b->text();
    texts.sort();
    return texts;
}

}  // namespace

void ShellFailuresTest::cleanup()
{
    for (PermissionNotice* n = PermissionNotice::current(); n; n = PermissionNotice::current())
        n->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void ShellFailuresTest::undecodableConfigIsNeverRewritten_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QByteArray junk;
    for (int i = 0; i < 512; ++i)
        junk.append(char((i * 131 + 7) % 256));
    QTest::newRow("binary") << junk;
    // Latin-1 text with bytes that are neither UTF-8 nor GBK.
    QTest::newRow("latin-1 with 0xff") << QByteArray("[dl]\r\nyh=caf\xe9\xff\r\n[xd]\r\n");
}

void ShellFailuresTest::undecodableConfigIsNeverRewritten()
{
    QFETCH(QByteArray, bytes);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Config.ini"));
    QVERIFY(writeAll(path, bytes));
    Config config(path);
    QVERIFY(config.isUndecodable());
    // Read as empty: every key takes its default.
    QCOMPARE(config.value(Config::LoginSection, Config::LoginKey, QStringLiteral("Admin")), QStringLiteral("Admin"));

    const Status written = config.setValue(Config::LoginSection, Config::LoginKey, QStringLiteral("王五"));
    QVERIFY(!written);
    QVERIFY(!written.detail().isEmpty());
    QCOMPARE(readAll(path), bytes);
    // The setting holds for this run, also after reading the file again.
    QCOMPARE(config.value(Config::LoginSection, Config::LoginKey), QStringLiteral("王五"));
    QVERIFY(config.contains(Config::LoginSection, Config::LoginKey));
    config.reload();
    QCOMPARE(config.value(Config::LoginSection, Config::LoginKey), QStringLiteral("王五"));
    // The guide flag the same way.
    QVERIFY(!config.setValue(Config::GuideSection, Config::GuideKey, QStringLiteral("1")));
    QCOMPARE(readAll(path), bytes);
    QCOMPARE(config.value(Config::GuideSection, Config::GuideKey), QStringLiteral("1"));
    // A later run starts from the file as it is.
    QCOMPARE(Config(path).value(Config::LoginSection, Config::LoginKey, QStringLiteral("Admin")),
             QStringLiteral("Admin"));
}

void ShellFailuresTest::readableConfigIsStillWritten()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Config.ini"));
    const Result<QByteArray> encoded = Config::encodeGbk(QStringLiteral("[dl]\r\nyh=张三\r\n"));
    QVERIFY(writeAll(path, encoded.valueOr({})));
    QVERIFY(encoded.ok());
    Config config(path);
    QVERIFY(!config.isUndecodable());
    QVERIFY(config.setValue(Config::LoginSection, Config::LoginKey, QStringLiteral("王五")));
    QCOMPARE(Config(path).value(Config::LoginSection, Config::LoginKey), QStringLiteral("王五"));
}

void ShellFailuresTest::failedUserReadIsReported()
{
    ScriptedPrompter prompter;
    TestHome home;
    QVERIFY(home.isValid());
    QVERIFY(home.store().execute(QStringLiteral("alter table czygl rename to czygl_elsewhere")));
    LoginService service(home.store(), home.context().config);
    const Result<QStringList> names = service.userNames();
    QVERIFY(!names);
    QCOMPARE(names.message(), LoginService::ReadFailedMessage);
    QVERIFY(!names.detail().isEmpty());

    LoginWindow w(home.context(), home.store());
    QCOMPARE(prompter.messages(), QStringList{LoginService::ReadFailedMessage});
    QCOMPARE(w.findChild<QComboBox*>(QStringLiteral("组合框1"))->count(), 0);
    QVERIFY(!w.reloadUsers());
    QCOMPARE(prompter.messages().size(), 2);

    QVERIFY(home.store().execute(QStringLiteral("alter table czygl_elsewhere rename to czygl")));
    QVERIFY(w.reloadUsers());
    QVERIFY(w.findChild<QComboBox*>(QStringLiteral("组合框1"))->count() > 0);
    QCOMPARE(prompter.messages().size(), 2);
}

void ShellFailuresTest::mainWindowWithoutConnectionDoesNotGoOn()
{
    ScriptedPrompter prompter;
    TestHome home;
    QVERIFY(home.isValid());
    home.context().archive = ArchiveLocation::file(home.folder() + QStringLiteral("/Data/gone.dat"));
    QVERIFY(home.context().config.setValue(Config::GuideSection, Config::GuideKey, QStringLiteral("1")));

    {
        MainWindow w(home.context());
        QVERIFY(!w.isReady());
        const Status opened = w.opened();
        QVERIFY(!opened);
        QCOMPARE(opened.message(), StartupSequence::OpenFailedMessage);
        QVERIFY(!opened.detail().isEmpty());
        // It read nothing and runs no clock.
        QVERIFY(!w.findChild<QTimer*>(QStringLiteral("时钟1"))->isActive());
    }

    Result<std::unique_ptr<MainWindow>> window = Startup::openMainWindow(home.context());
    QVERIFY(!window);
    QCOMPARE(window.message(), StartupSequence::OpenFailedMessage);
    QVERIFY(mainWindows().isEmpty());
    // The window itself shows nothing; start-up reports the one message.
    QVERIFY(prompter.shown().isEmpty());
}

void ShellFailuresTest::mainWindowNeedsAReadyContext_data()
{
    QTest::addColumn<bool>("withPath");
    QTest::addColumn<bool>("withOperator");
    QTest::newRow("ready") << true << true;
    QTest::newRow("no database path") << false << true;
    QTest::newRow("nobody logged in") << true << false;
}

void ShellFailuresTest::mainWindowNeedsAReadyContext()
{
    QFETCH(bool, withPath);
    QFETCH(bool, withOperator);
    ScriptedPrompter prompter;
    TestHome home;
    QVERIFY(home.isValid());
    QVERIFY(home.context().config.setValue(Config::GuideSection, Config::GuideKey, QStringLiteral("1")));
    if (!withPath)
        home.context().archive = {};
    if (!withOperator)
        home.context().currentOperator = CurrentOperator();

    QCOMPARE(bool(home.context().readyForMainWindow()), withPath && withOperator);
    Result<std::unique_ptr<MainWindow>> window = Startup::openMainWindow(home.context());
    QCOMPARE(bool(window), withPath && withOperator);
    if (window)
        QVERIFY(window.value()->isReady());
    else
        QVERIFY(mainWindows().isEmpty());
}

void ShellFailuresTest::noticeTakesEscape()
{
    MainWindowFixture f;
    QVERIFY(f.home.isValid());
    f.home.loginAs(QStringLiteral("clerk"), QStringLiteral("增加"));
    QVERIFY(f.build());
    f.stubForeignCommands();
    f.window->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), f.window.get());

    QCOMPARE(f.window->runCommand(QString::fromLatin1(Cmd::Search)), CommandRouter::Outcome::Denied);
    QPointer<PermissionNotice> notice = PermissionNotice::current();
    QVERIFY(notice);
    // The notice has the keyboard, so Esc goes to it.
    QTRY_COMPARE(QApplication::activeWindow(), notice.data());
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : QApplication::activeWindow();
    QTest::keyClick(target, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!notice);
    QVERIFY(f.prompter.shown().isEmpty());
    QVERIFY(f.window->isVisible());

    // Esc that reaches the main window while a notice shows closes the
    // notice too, and asks nothing.
    QVERIFY(f.window->runCommand(QString::fromLatin1(Cmd::Search)) == CommandRouter::Outcome::Denied);
    notice = PermissionNotice::current();
    QVERIFY(notice);
    QTest::keyClick(f.window.get(), Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!notice);
    QVERIFY(f.prompter.shown().isEmpty());

    // Without a notice Esc is the exit question as before.
    f.prompter.answerNo();
    QTest::keyClick(f.window.get(), Qt::Key_Escape);
    QCOMPARE(f.prompter.lastText(), QStringLiteral("确定退出本系统吗？"));
}

void ShellFailuresTest::secondDenialDoesNotStackNotices()
{
    MainWindowFixture f;
    QVERIFY(f.home.isValid());
    f.home.loginAs(QStringLiteral("clerk"), QString());
    QVERIFY(f.build());
    f.stubForeignCommands();
    QCOMPARE(f.window->runCommand(QString::fromLatin1(Cmd::Search)), CommandRouter::Outcome::Denied);
    QPointer<PermissionNotice> first = PermissionNotice::current();
    QVERIFY(first);
    first->tick();
    first->tick();
    QCOMPARE(f.window->runCommand(QString::fromLatin1(Cmd::Add)), CommandRouter::Outcome::Denied);
    QCOMPARE(MainWindowFixture::shownWindows<PermissionNotice>().size(), 1);
    QCOMPARE(PermissionNotice::current(), first.data());
    // It counts its seconds again from the second denial.
    QCOMPARE(first->ticks(), 0);
    first->tick();
    first->tick();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(first);
    first->tick();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!first);
    QVERIFY(!PermissionNotice::current());
}

void ShellFailuresTest::prompterButtonsAreChinese()
{
    auto question = QtPrompter::questionBox(QStringLiteral("确定退出本系统吗？"), QStringLiteral("询问"));
    QCOMPARE(buttonTexts(question.get()), (QStringList{QStringLiteral("否(&N)"), QStringLiteral("是(&Y)")}));
    QCOMPARE(question->windowTitle(), QStringLiteral("询问"));
    // Esc answers no; Y and N answer as their buttons.
    QCOMPARE(question->escapeButton(), question->button(QMessageBox::No));
    question->show();
    QTest::keyClick(question.get(), Qt::Key_Y);
    QTRY_COMPARE(question->clickedButton(), question->button(QMessageBox::Yes));

    auto message = QtPrompter::messageBox(QStringLiteral("保存完成！"), {}, Prompter::Icon::Information);
    QCOMPARE(buttonTexts(message.get()), QStringList{QStringLiteral("确定")});

    auto input = QtPrompter::inputBox(QStringLiteral("请输入新的名称："), QStringLiteral("重命名"), QString(), false);
    input->show();
    QCOMPARE(buttonTexts(input.get()), (QStringList{QStringLiteral("取消"), QStringLiteral("确定")}));
    input->close();
}

void ShellFailuresTest::qtDialogsAreChinese_data()
{
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("english");
    QTest::addColumn<QString>("chinese");
    QTest::newRow("file dialog") << "QFileDialog"
                                 << "Look in:" << QStringLiteral("查找范围：");
    QTest::newRow("colour dialog") << "QColorDialog"
                                   << "Select Color" << QStringLiteral("选择颜色");
    QTest::newRow("print dialog") << "QPrintDialog"
                                  << "Print" << QStringLiteral("打印");
}

void ShellFailuresTest::qtDialogsAreChinese()
{
    QFETCH(QString, context);
    QFETCH(QString, english);
    QFETCH(QString, chinese);
    const Status installed = QtTranslations::install();
    QVERIFY2(installed, qPrintable(installed.detail()));
    QVERIFY(QtTranslations::install());
    QCOMPARE(QCoreApplication::translate(qPrintable(context), qPrintable(english)), chinese);
    QColorDialog colours;
    QCOMPARE(colours.windowTitle(), QStringLiteral("选择颜色"));
}

KV_REGISTER_TEST(ShellFailuresTest)
#include "ShellFailuresTest.moc"
