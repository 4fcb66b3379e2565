#pragma once

#include "platform/Result.h"
#include "platform/ui/JobDialog.h"

class Job;
class QLabel;
class QProgressBar;
class QPushButton;

// The window of any Job (573 × 91): the item being handled "标签1", the bar
// "进度条1" and "取消" below them; a job that names no item takes the
// window without the item line (573 × 67: the bar at the top). It is modal
// over the window it belongs to while the job runs, and follows the job's
// signals, so it serves its events as any window does while the body works
// on its own thread. "取消", the close box and Esc stop the job after its
// current item; the window closes when the job has ended.
//
//   JobOf<Removed> job(QStringLiteral("正在删除文件..."), body);
//   JobWindow(job.title(), window()).run(job);
//   use(job.result());
class JobWindow : public JobDialog {
    Q_OBJECT
public:
    enum class Lines { ItemAndBar, BarOnly };
    explicit JobWindow(const QString& title, QWidget* parent = nullptr, Lines lines = Lines::ItemAndBar);

    // Null in a window without the item line.
    QLabel* itemLabel() const { return m_item; }
    QProgressBar* progressBar() const { return m_bar; }
    QPushButton* cancelButton() const { return m_cancelButton; }

    // Starts `job`, shows its progress and returns when it has ended, with
    // how it ended.
    Status run(Job& job);

private:
    QLabel* m_item = nullptr;
    QProgressBar* m_bar = nullptr;
    QPushButton* m_cancelButton = nullptr;
};
