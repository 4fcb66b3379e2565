#include "shell/ui/Startup.h"

#include "platform/Job.h"
#include "platform/ui/QtPrompter.h"
#include "platform/ui/QtTranslations.h"
#include "shell/AppContext.h"
#include "platform/ProgramHome.h"
#include "store/HomeLayout.h"
#include "shell/StartupSequence.h"
#include "shell/ui/LoginWindow.h"
#include "shell/ui/MainWindow.h"
#include "shell/ui/Session.h"
#include "shell/ui/StartupFonts.h"
#include "platform/ui/SkinLibrary.h"
#include "store/DataStore.h"
#include "store/Schema.h"

#include <QApplication>
#include <QLocale>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QScreen>
#include <QTextStream>

#include <future>
#include <memory>
#include <optional>

namespace Startup {

namespace {

struct Options {
    QString home;
    QString initHome;
};

bool parse(const QStringList& args, Options* o, QString* error)
{
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if ((a == QLatin1String("--home") || a == QLatin1String("--init-home")) && i + 1 < args.size()) {
            (a == QLatin1String("--home") ? o->home : o->initHome) = args.at(++i);
        } else if (a.startsWith(QLatin1String("--home="))) {
            o->home = a.mid(7);
        } else if (a.startsWith(QLatin1String("--init-home="))) {
            o->initHome = a.mid(12);
        } else if (a.startsWith(QLatin1String("-platform")) || a.startsWith(QLatin1String("-style"))) {
            ++i;  // Qt's own options
        } else {
            *error = QStringLiteral("unknown argument: %1\nusage: korvane [--home DIR] | --init-home DIR").arg(a);
            return false;
        }
    }
    return true;
}

int initHome(int argc, char** argv, const QString& folder)
{
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    QTextStream out(stdout);
    const Status laidOut = HomeLayout::create(folder);
    if (!laidOut) {
        err << "korvane: " << laidOut.message() << Qt::endl;
        return 1;
    }
    out << "korvane: program folder laid out in " << ProgramHome(folder).folder() << Qt::endl;
    return 0;
}

// Shows the moving of an older archive's content while start-up waits for
// it: the text and a bar, once the job has named its range and half a
// second has gone (a quick upgrade shows nothing). The move is resumable,
// so it offers no cancel, and the close box and Esc do nothing: a killed
// program finishes it on the next start.
class UpgradeWindow final : public QDialog {
public:
    UpgradeWindow()
    {
        setWindowTitle(StartupSequence::UpgradeTitle);
        setWindowFlag(Qt::WindowContextHelpButtonHint, false);
        setWindowFlag(Qt::WindowCloseButtonHint, false);
        setWindowModality(Qt::ApplicationModal);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(new QLabel(StartupSequence::UpgradeText, this));
        m_bar = new QProgressBar(this);
        m_bar->setRange(0, 1000);
        m_bar->setValue(0);
        layout->addWidget(m_bar);
    }

    // Follows `job` until it has ended; the window's thread keeps turning.
    Status run(Job& job)
    {
        QEventLoop wait;
        connect(&job, &Job::rangeChanged, this, [this](qint64 minimum, qint64 maximum) {
            m_minimum = minimum;
            m_maximum = maximum;
            m_bar->setValue(0);
            showWhenDue();
        });
        connect(&job, &Job::valueChanged, this, [this](qint64 value) {
            if (m_maximum > m_minimum)
                m_bar->setValue(int((value - m_minimum) * 1000 / (m_maximum - m_minimum)));
        });
        connect(&job, &Job::finished, &wait, &QEventLoop::quit);
        QTimer::singleShot(ShowAfterMs, this, [this] {
            m_due = true;
            showWhenDue();
        });
        job.start();
        if (!job.isFinished())
            wait.exec();
        hide();
        return job.status();
    }

    void reject() override {}

protected:
    void closeEvent(QCloseEvent* event) override { event->ignore(); }

private:
    static constexpr int ShowAfterMs = 500;

    void showWhenDue()
    {
        if (!isVisible() && m_maximum > m_minimum && m_due)
            show();
    }

    QProgressBar* m_bar = nullptr;
    bool m_due = false;
    qint64 m_minimum = 0;
    qint64 m_maximum = 0;
};

class UiHost final : public StartupSequence::Host {
public:
    void advise(const QString& text) override { prompter().message(text, {}, Prompter::Icon::Information); }
    void attachSkin(const QString& path) override { SkinLibrary::attach(path, SkinLibrary::Password); }
    Status runUpgrade(Job& upgrade) override { return UpgradeWindow().run(upgrade); }
};

void report(const Failure& failure)
{
    if (!failure.detail.isEmpty())
        QTextStream(stderr) << "korvane: " << failure.detail << Qt::endl;
    if (!failure.message.isEmpty())
        prompter().message(failure.message, {}, Prompter::Icon::Critical);
}

}  // namespace

Result<std::unique_ptr<MainWindow>> openMainWindow(AppContext& context)
{
    if (const Status ready = context.readyForMainWindow(); !ready)
        return ready.failure();
    auto window = std::make_unique<MainWindow>(context);
    if (const Status opened = window->opened(); !opened)
        return opened.failure();
    return window;
}

int run(int argc, char** argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    Options options;
    QString error;
    if (!parse(args, &options, &error)) {
        QTextStream(stderr) << error << Qt::endl;
        return 2;
    }
    if (!options.initHome.isEmpty())
        return initHome(argc, argv, options.initHome);

    // Dates, numbers and Qt's own dialogs in Chinese, and so for the
    // programs started from here (the desktop's file chooser among them).
    if (!qEnvironmentVariable("LANG").startsWith(QLatin1String("zh")))
        qputenv("LANG", "zh_CN.UTF-8");
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    QApplication app(argc, argv);
    installFontSubstitutes();
    SkinLibrary::installBaseLook();
    QtPrompter qtPrompter;
    setPrompter(&qtPrompter);
    const QString folder = options.home.isEmpty() ? QCoreApplication::applicationDirPath() : options.home;
    // Qt's own dialogs in Chinese; without the catalogue they stay English.
    if (const Status translated = QtTranslations::install(folder); !translated)
        QTextStream(stderr) << "korvane: " << translated.detail() << Qt::endl;
    AppContext context(folder);

    // The login window's connection; the main window opens its own.
    DataStore loginStore;
    UiHost host;
    QSize screen;
    if (QScreen* s = QGuiApplication::primaryScreen())
        screen = s->size();
    StartupSequence sequence(context, loginStore);
    sequence.deferSweep();
    const StartupSequence::Result started = sequence.run(screen, host);
    if (!started.ok()) {
        if (!started.detail.isEmpty())
            QTextStream(stderr) << "korvane: " << started.detail << Qt::endl;
        prompter().message(started.message, started.title, Prompter::Icon::Critical);
        return 1;
    }

    // The store folder is swept while the operator logs in; the main
    // window, which stores files there, waits for the sweep to end.
    std::future<void> sweep;
    if (sequence.sweepPending())
        sweep = std::async(std::launch::async, [home = context.home, archive = context.archive] {
            StartupSequence::sweepOnOwnConnection(home, archive);
        });
    std::unique_ptr<MainWindow> window;
    std::optional<Failure> failed;
    {
        LoginWindow login(context, loginStore);
        login.setHandOver([&] {
            if (sweep.valid())
                sweep.wait();
            Result<std::unique_ptr<MainWindow>> opened = openMainWindow(context);
            if (opened)
                window = std::move(opened).value();
            else
                failed = opened.failure();
        });
        if (login.exec() != QDialog::Accepted)
            return 0;
    }
    loginStore.close();
    if (failed || !window) {
        // Nothing works without the main window's connection: end the
        // program after saying so.
        report(failed.value_or(Failure{StartupSequence::OpenFailedMessage, QStringLiteral("no main window")}));
        return 1;
    }
    // A re-login replaces the main window; cancelling it ends the program.
    Session session(context);
    QObject::connect(&session, &Session::ended, &app, [] { QCoreApplication::exit(0); });
    // After each login the content index catches up in the background.
    QObject::connect(&session, &Session::windowReplaced, &app, [](MainWindow* next) { next->startContentIndex(); });
    session.start(std::move(window));
    if (MainWindow* shown = session.window())
        shown->startContentIndex();
    MainWindow::setEventLoopRunning(true);
    return app.exec();
}

}  // namespace Startup
