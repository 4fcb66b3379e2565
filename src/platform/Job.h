#pragma once

#include "platform/Progress.h"
#include "platform/Result.h"

#include <QMutex>
#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>

class Job;
class LongRun;
class QThread;

// What the body of a job reports to and asks: its range and position, the
// item it is on, and whether to stop. It is a Progress, so logic that takes
// one runs as a job unchanged. Used on the thread the body runs on.
class JobContext final : public Progress {
public:
    void setRange(qint64 minimum, qint64 maximum) override;
    void setValue(qint64 value) override;
    // The text of the item being handled ("正在… <name>").
    void setItem(const QString& text);
    // Asked between items: "取消", the exit, Ctrl-C.
    bool cancelled() const override;
    // Runs f on the thread that started the job (where its windows and
    // models live) and waits for it; false, and f not run, when the job is
    // cancelled before that thread got to it. Here and now for runHere().
    bool onStartingThread(const std::function<void()>& f);

private:
    friend class Job;
    JobContext(Job& job, Progress* here) : m_job(job), m_here(here) {}
    Job& m_job;
    Progress* m_here;
};

// A long run: its body goes on a worker thread, its progress and item come
// back as signals on the thread that started it, and it ends with one
// result, delivered there too (finished()). cancel() sets a flag the body
// reads between its items; a job under way is registered with LongRuns, so
// the program's exit asks to stop it and waits for its end.
//
// The body does everything it needs on its own thread: a body that works on
// the database opens its own connection there (store/StoreJob.h).
//
//   auto* job = new JobOf<int>(QStringLiteral("正在删除文件..."), body, this);
//   connect(job, &Job::finished, this, [job] { use(job->result()); });
//   job->start();
//
// The command line runs the same body on its own thread with runHere(),
// its bar on the terminal and Ctrl-C as the cancel (runInTerminal()).
class Job : public QObject {
    Q_OBJECT
public:
    explicit Job(QString title, QObject* parent = nullptr);
    // A job still under way is cancelled and waited for.
    ~Job() override;

    const QString& title() const { return m_title; }
    bool isRunning() const { return m_running; }
    bool isFinished() const { return m_finished; }
    // Whether a stop was asked for (by cancel() or by the exit).
    bool cancelRequested() const { return m_cancel.load(); }
    // Whether the program's exit asked for it (LongRuns::stopAll()).
    bool stoppedForExit() const { return m_stoppedForExit; }

    // Whether the job counts as a long run of the program (LongRuns), so
    // that the exit asks to stop it and no other run starts inside it: yes
    // unless set otherwise before start(). A short read behind a window
    // (a picture being decoded) is no such run; its owner stops it.
    void setLongRun(bool on) { m_longRun = on; }

    // Starts the body on a worker thread (once).
    void start();
    // Runs the body here and now, reporting to `progress` and stopping when
    // it is cancelled; no signal is sent.
    Status runHere(Progress& progress);
    // runHere() with a bar on the terminal (platform/Terminal.h); the first
    // Ctrl-C stops the body between items.
    Status runInTerminal(const QString& label, bool bytes = false);

    // How the job ended, as a Status (a typed job keeps its value too).
    const Status& status() const { return m_status; }

    // The last figures the job reported (as its signals said them).
    qint64 minimum() const { return m_shownMin; }
    qint64 maximum() const { return m_shownMax; }
    qint64 value() const { return m_shownValue; }
    const QString& item() const { return m_shownItem; }

public slots:
    // The body stops after its current item.
    void cancel();

signals:
    void rangeChanged(qint64 minimum, qint64 maximum);
    void valueChanged(qint64 value);
    void itemChanged(const QString& text);
    // A stop was asked for; the job ends at its next item.
    void cancelling();
    // The body has returned; status() (and a typed job's result()) say how.
    void finished();

protected:
    virtual Status work(JobContext& context) = 0;
    // Cancels a job under way and waits for its worker; a derived job calls
    // it in its destructor, before the members its body uses go.
    void stopAndWait();

private:
    friend class JobContext;
    void report();
    void deliver();
    void ended();

    QString m_title;
    std::atomic<bool> m_cancel{false};
    bool m_running = false;
    bool m_finished = false;
    bool m_stoppedForExit = false;
    bool m_longRun = true;
    QThread* m_thread = nullptr;
    std::unique_ptr<LongRun> m_run;
    Status m_status;

    // What the body reported, guarded by m_mutex, and whether a delivery
    // to the starting thread is already on its way.
    QMutex m_mutex;
    qint64 m_min = 0, m_max = 0, m_value = 0;
    QString m_item;
    std::atomic<bool> m_posted{false};

    qint64 m_shownMin = 0, m_shownMax = 0, m_shownValue = 0;
    QString m_shownItem;
};

// A job whose body returns Result<T> (Status for T = void).
template <typename T = void> class JobOf final : public Job {
public:
    using Body = std::function<Result<T>(JobContext&)>;
    JobOf(QString title, Body body, QObject* parent = nullptr) : Job(std::move(title), parent), m_body(std::move(body))
    {
    }
    ~JobOf() override { stopAndWait(); }

    // Valid once finished() was sent or runHere() returned.
    const Result<T>& result() const { return *m_result; }

private:
    Status work(JobContext& context) override
    {
        m_result.emplace(m_body(context));
        if constexpr (std::is_void_v<T>)
            return *m_result;
        else
            return m_result->ok() ? Status::success(m_result->message()) : Status(m_result->failure());
    }

    Body m_body;
    std::optional<Result<T>> m_result;
};
