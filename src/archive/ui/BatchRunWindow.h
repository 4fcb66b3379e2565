#pragma once

#include "platform/ui/JobDialog.h"

class Job;
class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;

// The window of a batch run over files (573 × 188): the status text
// "标签1", the bar "进度条1", the check box "选择框1" and the buttons
// "确定" (starts the run) and "取消" (stops a run after its current file,
// or closes the window). A run is a Job on its own thread: the bar and the
// status follow its signals, and the window stays modal over its parent,
// serving its events, until the job has ended. The job is registered with
// LongRuns, so the exit asks to stop it first.
class BatchRunWindow : public JobDialog {
    Q_OBJECT
public:
    struct Layout {
        QString title, status, check;
        int checkWidth = 136;
        bool checked = false;
        int okLeft = 179, cancelLeft = 307;
    };
    BatchRunWindow(const Layout& layout, QWidget* parent = nullptr);
    ~BatchRunWindow() override;

    QLabel* statusLabel() const { return m_status; }
    QProgressBar* bar() const { return m_bar; }
    QCheckBox* checkBox() const { return m_check; }
    QPushButton* okButton() const { return m_ok; }

protected:
    // Starts the run ("确定").
    virtual void start() = 0;
    // Starts `job` with the units locked; its item goes after the status
    // text. ended() hears its end, the units unlocked again.
    void runJob(Job& job);
    virtual void ended() = 0;
    // The bar's range before the job reports its own.
    using JobDialog::setBarRange;
    void setBarRange(qint64 maximum) { JobDialog::setBarRange(0, maximum); }

private:
    QLabel* m_status = nullptr;
    QProgressBar* m_bar = nullptr;
    QCheckBox* m_check = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    QString m_working;
};
