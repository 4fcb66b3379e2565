#pragma once

#include "settings/LoginService.h"

#include <QDialog>
#include <QPoint>
#include <functional>
#include <memory>

struct AppContext;
class DataStore;
class QTimer;

namespace Ui {
class LoginWindow;
}

// The login window "系统登录". A successful login sets the AppContext's
// current operator and accepts the dialog; "取消(&X)" and the close box
// reject it. Esc does not close it; the background drags it.
class LoginWindow : public QDialog {
    Q_OBJECT
public:
    // store is the connection the start-up sequence opened.
    LoginWindow(AppContext& context, DataStore& store, QWidget* parent = nullptr);
    ~LoginWindow() override;

    // Run after a successful login while the busy picture shows (building
    // the main window); the dialog is accepted when it returns.
    void setHandOver(std::function<void()> handOver) { m_handOver = std::move(handOver); }

    // Shows the login window again on its own connection; a successful
    // login replaces the current operator. False when cancelled (the
    // operator stays as he was) or when the database cannot be opened.
    static bool relogin(AppContext& context, QWidget* parent = nullptr);

    // Fills the user list again from czygl. A failed read is reported and
    // leaves the list empty; false then.
    bool reloadUsers();

signals:
    void loggedIn(const QString& userName);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void applyLook();
    void attemptLogin();
    void finishHandOver();

    std::unique_ptr<Ui::LoginWindow> m_ui;
    AppContext& m_context;
    DataStore& m_store;
    LoginService m_service;
    QTimer* m_timer = nullptr;
    std::function<void()> m_handOver;
};
