#pragma once

#include "archive/BatchModify.h"

#include <QDialog>
#include <QList>
#include <memory>

class DataStore;
class QComboBox;
class QDateEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

// Window "批量修改" (348 × 208): the scope (the selected records or every
// record of the list), the field by its title, the new value (a date for
// b13 … b15), "确定" runs the change as a job on its own thread with the bar
// "进度条1", "取消" closes the window or stops a run (nothing is then changed).
class BatchModifyWindow : public QDialog {
    Q_OBJECT
public:
    BatchModifyWindow(DataStore& store, const CurrentOperator& op, ProtectedGroups& open, const QList<qint64>& selected,
                      const QList<qint64>& all, QWidget* parent = nullptr);
    ~BatchModifyWindow() override;

    QComboBox* fieldBox() const { return m_field; }
    QComboBox* valueBox() const { return m_value; }
    QDateEdit* dateBox() const { return m_date; }
    bool changedAny() const { return m_changedAny; }
    void reject() override;

private:
    void fieldChosen(int index);
    void start();
    void finish();

    DataStore& m_store;
    const CurrentOperator& m_operator;
    ProtectedGroups& m_open;
    QList<qint64> m_selected, m_all;
    QList<BatchModify::Field> m_fields;
    QRadioButton* m_scopeSelected = nullptr;
    QRadioButton* m_scopeAll = nullptr;
    QComboBox* m_field = nullptr;
    QComboBox* m_value = nullptr;
    QDateEdit* m_date = nullptr;
    QProgressBar* m_bar = nullptr;
    QPushButton* m_ok = nullptr;
    std::unique_ptr<JobOf<BatchModify::Changed>> m_job;
    bool m_changedAny = false;
};
