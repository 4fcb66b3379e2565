#pragma once

#include "shell/AppContext.h"
#include "store/DataStore.h"

#include <QTemporaryDir>
#include <memory>

// Setting up what a test needs through the program's own calls: a step
// that fails fails the test, with the step named.
#define KV_CHECK(step) kvCheck(static_cast<bool>(step), #step, __FILE__, __LINE__)
void kvCheck(bool ok, const char* step, const char* file, int line);

// The value a test reads back: the first column of the first row, an
// invalid QVariant when there is none. A read that fails says why in the
// test's output (and reads as no value, which the comparison then meets).
QVariant valueOf(DataStore& store, const QString& sql, const QVariantList& params = {});

// A fresh program folder in a temporary directory, laid out as --init-home
// does, with an AppContext logged in as Admin and an open DataStore on it.
class TestHome {
public:
    TestHome();
    bool isValid() const { return m_valid; }
    QString folder() const { return m_dir.path(); }
    QString databasePath() const { return m_context->archive.filePath(); }
    ArchiveLocation archive() const { return m_context->archive; }

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
