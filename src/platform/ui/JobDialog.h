#pragma once

#include <QDialog>

class Job;
class QProgressBar;

// The base of every window that follows a Job: while the job runs, "取消"
// (reject(), so Esc too) and the close box stop it after its current item
// and the window stays until it has ended; otherwise they close the window
// as any dialog. follow() puts the job's range and value on a bar, scaled
// down where they do not fit an int.
//
// While such a window is open modally (exec()), a modal run is under way
// (runUnderWay()): whoever must wait until the command that started it is
// back (the exit after a stopped run) asks here.
class JobDialog : public QDialog {
    Q_OBJECT
public:
    explicit JobDialog(QWidget* parent = nullptr);
    ~JobDialog() override;

    // Whether the job followed is under way.
    bool isRunning() const;

    // Esc and "取消": stops the job under way, else closes the window.
    void reject() override;
    int exec() override;

    // Whether a window following a job is open modally anywhere in the program.
    static bool runUnderWay();

protected:
    void closeEvent(QCloseEvent* event) override;

    // The bar the job's range and value go on (none at first).
    void setJobBar(QProgressBar* bar) { m_bar = bar; }
    // Follows `job`: its range and value on the job's bar, and it is the
    // job "取消" and the close box stop.
    void follow(Job& job);
    // Leaves the job alone: its signals reach the window no more.
    void unfollow();
    Job* followedJob() const { return m_job; }
    // What "取消", Esc and the close box do while the job runs: stop it.
    // A window that asks first overrides it.
    virtual void stopJob();

    void setBarRange(qint64 minimum, qint64 maximum);
    void setBarValue(qint64 value);

private:
    Job* m_job = nullptr;
    QProgressBar* m_bar = nullptr;
    double m_scale = 1.0;
};
