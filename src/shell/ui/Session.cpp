#include "shell/ui/Session.h"

#include "platform/Prompter.h"
#include "shell/AppContext.h"
#include "shell/StartupSequence.h"
#include "shell/ui/LoginWindow.h"
#include "shell/ui/MainWindow.h"
#include "shell/ui/Startup.h"
#include "store/DataStore.h"

#include <QApplication>

Session::Session(AppContext& context, QObject* parent) : QObject(parent), m_context(context) {}

Session::~Session() = default;

void Session::start(std::unique_ptr<MainWindow> window)
{
    adopt(std::move(window));
}

void Session::adopt(std::unique_ptr<MainWindow> window)
{
    m_window = std::move(window);
    if (!m_window)
        return;
    // Queued: the command that asked returns before its window goes.
    connect(m_window.get(), &MainWindow::reloginRequested, this, &Session::relogin, Qt::QueuedConnection);
    m_window->show();
}

void Session::relogin()
{
    if (!m_window)
        return;
    // Between the two main windows only the login shows.
    const bool quitOnClose = QApplication::quitOnLastWindowClosed();
    QApplication::setQuitOnLastWindowClosed(false);
    m_window->closeForRelogin();
    m_window.reset();
    // Groups opened with their password were opened for the operator who
    // leaves; the next one opens them again himself.
    m_context.protectedGroups.clear();

    std::unique_ptr<MainWindow> next;
    Failure failed{StartupSequence::OpenFailedMessage, QStringLiteral("no main window after the login")};
    DataStore store;
    if (!store.open(m_context.archive)) {
        failed.detail = store.lastError();
    } else {
        LoginWindow login(m_context, store);
        login.setHandOver([&] {
            Result<std::unique_ptr<MainWindow>> opened = Startup::openMainWindow(m_context);
            if (opened)
                next = std::move(opened).value();
            else
                failed = opened.failure();
        });
        const bool loggedIn = login.exec() == QDialog::Accepted;
        store.close();
        if (!loggedIn) {
            QApplication::setQuitOnLastWindowClosed(quitOnClose);
            emit ended();
            return;
        }
    }
    QApplication::setQuitOnLastWindowClosed(quitOnClose);
    if (!next) {
        if (!failed.detail.isEmpty())
            qWarning("korvane: %s", qUtf8Printable(failed.detail));
        prompter().message(failed.message, {}, Prompter::Icon::Critical);
        emit ended();
        return;
    }
    adopt(std::move(next));
    emit windowReplaced(m_window.get());
}
