#pragma once

#include "store/Operators.h"

#include <QDialog>

class CurrentOperator;
class DataStore;
class QAction;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QStatusBar;
class QToolBar;

// Window "操作员管理": the operators as large icons, the chosen one's fields
// and rights below, and a toolbar to add, change, delete, save and drop.
class OperatorWindow : public QDialog {
    Q_OBJECT
public:
    enum class Mode { Browse, Adding, Changing };

    OperatorWindow(DataStore& store, const CurrentOperator& changedBy, QWidget* parent = nullptr);

    // Runs the window; true when, after a change, the operator asked to log
    // in again now.
    static bool manage(DataStore& store, const CurrentOperator& changedBy, QWidget* parent = nullptr);

    Mode mode() const { return m_mode; }
    bool reloginAsked() const { return m_relogin; }

public slots:
    void startAdd();
    void startChange();
    void save();
    void drop();
    void deleteChosen();
    // Reads the list and the status bar again, keeping id chosen when present.
    void reload(qint64 chosenId = -1);

signals:
    // Yes to "您现在就重新登录吗 ?"; the window closes.
    void reloginRequested();

private:
    void build();
    void showChosen();
    void setMode(Mode mode);
    void clearFields();
    qint64 chosenId() const;
    Operators::Edit edit() const;

    Operators m_operators;
    Mode m_mode = Mode::Browse;
    bool m_passwordTouched = false;
    bool m_relogin = false;

    QToolBar* m_toolbar = nullptr;
    QAction* m_add = nullptr;
    QAction* m_change = nullptr;
    QAction* m_delete = nullptr;
    QAction* m_save = nullptr;
    QAction* m_drop = nullptr;
    QAction* m_exit = nullptr;
    QListWidget* m_list = nullptr;
    QGroupBox* m_frame = nullptr;
    QLineEdit* m_name = nullptr;
    QLineEdit* m_password = nullptr;
    QLineEdit* m_repeated = nullptr;
    QComboBox* m_status = nullptr;
    QPlainTextEdit* m_description = nullptr;
    QListWidget* m_rights = nullptr;
    QStatusBar* m_statusBar = nullptr;
};
