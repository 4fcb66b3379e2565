#pragma once

#include "platform/Result.h"

#include <QDialog>

class Job;
class QLabel;
class QProgressBar;
class QPushButton;

// The window of any Job (573 × 91): the item being handled "标签1", the bar
// "进度条1" and "取消" below them. It is modal over the window it belongs to
// while the job runs, and follows the job's signals, so it serves its
// events as any window does while the body works on its own thread.
// "取消", the close box and Esc stop the job after its current item; the
// window closes when the job has ended.
//
//   JobOf<Removed> job(QStringLiteral("正在删除文件..."), body);
//   JobWindow(job.title(), window()).run(job);
//   use(job.result());
class JobWindow : public QDialog {
    Q_OBJECT
public:
    explicit JobWindow(const QString& title, QWidget* parent = nullptr);

    QLabel* itemLabel() const { return m_item; }
    QProgressBar* progressBar() const { return m_bar; }
    QPushButton* cancelButton() const { return m_cancelButton; }

    // Starts `job`, shows its progress and returns when it has ended, with
    // how it ended.
    Status run(Job& job);
    bool isRunning() const;

    // Esc: cancels the job under way, else closes the window.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void setRange(qint64 minimum, qint64 maximum);
    void setValue(qint64 value);

    QLabel* m_item = nullptr;
    QProgressBar* m_bar = nullptr;
    QPushButton* m_cancelButton = nullptr;
    Job* m_job = nullptr;
    double m_scale = 1.0;
};
