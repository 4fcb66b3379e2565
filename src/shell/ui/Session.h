#pragma once

#include <QObject>
#include <memory>

struct AppContext;
class MainWindow;

// The main window of the operator logged in. When he asks to log in again
// the window closes, the login window "系统登录" shows, and a successful
// login opens a fresh main window for the new current operator.
class Session : public QObject {
    Q_OBJECT
public:
    explicit Session(AppContext& context, QObject* parent = nullptr);
    ~Session() override;

    // Takes and shows the main window of the login at start-up.
    void start(std::unique_ptr<MainWindow> window);
    MainWindow* window() const { return m_window.get(); }

public slots:
    // Closes the main window and shows the login again. Cancelling the
    // login, or a main window that cannot open, ends the session.
    void relogin();

signals:
    // The main window has been replaced after a re-login.
    void windowReplaced(MainWindow* window);
    // No main window is left: the program ends.
    void ended();

private:
    void adopt(std::unique_ptr<MainWindow> window);

    AppContext& m_context;
    std::unique_ptr<MainWindow> m_window;
};
