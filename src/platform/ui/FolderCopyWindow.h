#pragma once

#include "platform/FolderTreeCopy.h"
#include "platform/Job.h"
#include "platform/ui/JobDialog.h"

#include <atomic>
#include <functional>

class QProgressBar;

// The window "进度复制…" of a folder-tree copy: 进度条1 follows the file
// being copied, 进度条2 the whole run; the status texts take the place of
// the caption. It has no button: closing it while the copy runs asks
// "正在复制文件中，是否强制关闭？", and "是" stops the copy after its
// current chunk.
//
// The copy is a Job: run() hands the work a TreeCopyProgress on the job's
// own thread and follows it.
class FolderCopyWindow : public JobDialog {
    Q_OBJECT
public:
    static inline const QString Caption = QStringLiteral("进度复制…");
    static inline const QString CloseQuestion = QStringLiteral("正在复制文件中，是否强制关闭？");

    explicit FolderCopyWindow(QWidget* parent = nullptr);
    ~FolderCopyWindow() override;

    QProgressBar* fileBar() const { return m_file; }
    QProgressBar* totalBar() const { return m_total; }

    // Runs work as a job with the window shown modally; work reports to the
    // progress it is handed, on the job's thread. Its last status stays in
    // the caption.
    template <typename T> Result<T> run(std::function<Result<T>(TreeCopyProgress&)> work)
    {
        JobOf<T> job(Caption, [this, work = std::move(work)](JobContext& context) {
            Relay relay(*this, context);
            return work(relay);
        });
        runShown(job);
        return job.result();
    }

    // Copies source into target as a job (FolderTreeCopy::copy).
    Result<FolderTreeCopy::Outcome> copyFolder(const QString& source, const QString& target);

protected:
    // The close question; "是" stops the copy.
    void stopJob() override;

private:
    // What the work on the job's thread reports to: the status and the
    // whole run go through the job, the file's bar is handed to the
    // window's thread, the latest figure at a time.
    class Relay final : public TreeCopyProgress {
    public:
        Relay(FolderCopyWindow& window, JobContext& context) : m_window(window), m_context(context) {}
        void setStatus(const QString& text) override { m_context.setItem(text); }
        void setFile(qint64 done, qint64 size) override;
        void setTotal(qint64 done, qint64 total) override;
        bool cancelled() const override { return m_context.cancelled(); }

    private:
        FolderCopyWindow& m_window;
        JobContext& m_context;
        bool m_ranged = false;
    };

    // Starts job and returns when it has ended.
    void runShown(Job& job);
    void postFile(int permille);

    QProgressBar* m_file = nullptr;
    QProgressBar* m_total = nullptr;
    std::atomic<int> m_fileValue{0};
    std::atomic<bool> m_filePosted{false};
};
