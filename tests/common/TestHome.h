#pragma once

#include "shell/AppContext.h"
#include "store/DataStore.h"

#include <QTemporaryDir>
#include <memory>

// A fresh program folder in a temporary directory, laid out as --init-home
// does, with an AppContext logged in as Admin and an open DataStore on it.
class TestHome {
public:
    TestHome();
    bool isValid() const { return m_valid; }
    QString folder() const { return m_dir.path(); }
    QString databasePath() const { return m_context->databasePath; }

    AppContext& context() { return *m_context; }
    DataStore& store() { return m_store; }

    // Logs in the given operator (user name and rights text).
    void loginAs(const QString& user, const QString& rightsText);

    // Saves a PNG of w under the test output folder and returns its path.
    static QString grab(class QWidget* w, const QString& name);

private:
    QTemporaryDir m_dir;
    std::unique_ptr<AppContext> m_context;
    DataStore m_store;
    bool m_valid = false;
};
