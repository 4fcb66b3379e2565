#include "platform/Job.h"

#include "platform/LongRuns.h"
#include "platform/Terminal.h"

#include <QMutexLocker>
#include <QSemaphore>
#include <QThread>

void JobContext::setRange(qint64 minimum, qint64 maximum)
{
    if (m_here) {
        m_here->setRange(minimum, maximum);
        return;
    }
    {
        QMutexLocker lock(&m_job.m_mutex);
        m_job.m_min = minimum;
        m_job.m_max = maximum;
        m_job.m_value = minimum;
    }
    m_job.report();
}

void JobContext::setValue(qint64 value)
{
    if (m_here) {
        m_here->setValue(value);
        return;
    }
    {
        QMutexLocker lock(&m_job.m_mutex);
        m_job.m_value = value;
    }
    m_job.report();
}

void JobContext::setItem(const QString& text)
{
    if (m_here)
        return;
    {
        QMutexLocker lock(&m_job.m_mutex);
        m_job.m_item = text;
    }
    m_job.report();
}

bool JobContext::cancelled() const
{
    return m_job.m_cancel.load() || (m_here && m_here->cancelled());
}

bool JobContext::onStartingThread(const std::function<void()>& f)
{
    if (m_here) {
        f();
        return true;
    }
    // The call outlives this frame when the job is cancelled while it
    // waits: the starting thread then finds it abandoned and leaves f alone.
    struct Call {
        QMutex mutex;
        std::function<void()> f;
        bool abandoned = false;
        QSemaphore done;
    };
    auto call = std::make_shared<Call>();
    call->f = f;
    QMetaObject::invokeMethod(
        &m_job,
        [call] {
            QMutexLocker lock(&call->mutex);
            if (call->abandoned)
                return;
            call->f();
            call->done.release();
        },
        Qt::QueuedConnection);
    while (!call->done.tryAcquire(1, 20)) {
        if (cancelled()) {
            QMutexLocker lock(&call->mutex);
            if (call->done.tryAcquire())
                return true;
            call->abandoned = true;
            return false;
        }
    }
    return true;
}

Job::Job(QString title, QObject* parent) : QObject(parent), m_title(std::move(title)) {}

Job::~Job()
{
    stopAndWait();
}

void Job::stopAndWait()
{
    if (!m_thread)
        return;
    m_cancel.store(true);
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    m_running = false;
    m_run.reset();
}

void Job::start()
{
    if (m_running || m_finished)
        return;
    m_running = true;
    m_cancel.store(false);
    // The exit's stop reaches the body through the same flag as "取消".
    if (m_longRun)
        m_run = std::make_unique<LongRun>(m_title, [this] {
            m_stoppedForExit = true;
            cancel();
        });
    m_thread = QThread::create([this] {
        JobContext context(*this, nullptr);
        m_status = work(context);
    });
    m_thread->setObjectName(m_title);
    connect(m_thread, &QThread::finished, this, &Job::ended);
    m_thread->start();
}

Status Job::runHere(Progress& progress)
{
    if (m_running || m_finished)
        return m_status;
    m_running = true;
    const LongRun run(m_title, [this] {
        m_stoppedForExit = true;
        cancel();
    });
    JobContext context(*this, &progress);
    m_status = work(context);
    m_running = false;
    m_finished = true;
    return m_status;
}

Status Job::runInTerminal(const QString& label, bool bytes)
{
    TerminalProgress bar(label, bytes);
    const Status status = runHere(bar);
    bar.clear();
    return status;
}

void Job::cancel()
{
    if (!m_running || m_cancel.exchange(true))
        return;
    emit cancelling();
}

void Job::report()
{
    // One delivery on its way at a time: a fast body does not flood the
    // starting thread with events, the window sees the latest figures.
    if (!m_posted.exchange(true))
        QMetaObject::invokeMethod(this, &Job::deliver, Qt::QueuedConnection);
}

void Job::deliver()
{
    m_posted.store(false);
    qint64 min = 0, max = 0, value = 0;
    QString item;
    {
        QMutexLocker lock(&m_mutex);
        min = m_min;
        max = m_max;
        value = m_value;
        item = m_item;
    }
    if (min != m_shownMin || max != m_shownMax) {
        m_shownMin = min;
        m_shownMax = max;
        emit rangeChanged(min, max);
    }
    if (value != m_shownValue) {
        m_shownValue = value;
        emit valueChanged(value);
    }
    if (item != m_shownItem) {
        m_shownItem = item;
        emit itemChanged(item);
    }
}

void Job::ended()
{
    if (!m_thread)
        return;
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    deliver();
    m_running = false;
    m_finished = true;
    // Before the result is shown: the exit may be waiting for the run to end.
    m_run.reset();
    emit finished();
}
