#pragma once

#include <QDialog>

class CurrentOperator;
class DataStore;
class QLineEdit;

// Window "修改口令": the current operator sets a new password of his own.
// The session goes on; the new password holds from the next login.
class ChangePasswordWindow : public QDialog {
    Q_OBJECT
public:
    ChangePasswordWindow(DataStore& store, const CurrentOperator& current, QWidget* parent = nullptr);

    static void changeOwn(DataStore& store, const CurrentOperator& current, QWidget* parent = nullptr);

private:
    void confirm();

    DataStore& m_store;
    const CurrentOperator& m_current;
    QLineEdit* m_password = nullptr;
    QLineEdit* m_repeated = nullptr;
};
