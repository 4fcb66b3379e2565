#include "platform/ui/JobDialog.h"

#include "platform/Job.h"

#include <QCloseEvent>
#include <QProgressBar>
#include <climits>

namespace {

// The windows following a job that are open modally just now.
int g_modalRuns = 0;

}  // namespace

JobDialog::JobDialog(QWidget* parent) : QDialog(parent) {}

JobDialog::~JobDialog() = default;

bool JobDialog::isRunning() const
{
    return m_job && m_job->isRunning();
}

bool JobDialog::runUnderWay()
{
    return g_modalRuns > 0;
}

int JobDialog::exec()
{
    ++g_modalRuns;
    const int r = QDialog::exec();
    --g_modalRuns;
    return r;
}

void JobDialog::follow(Job& job)
{
    unfollow();
    m_job = &job;
    connect(&job, &Job::rangeChanged, this, &JobDialog::setBarRange);
    connect(&job, &Job::valueChanged, this, &JobDialog::setBarValue);
    // A job that goes is followed no more.
    connect(&job, &Job::destroyed, this, [this] { m_job = nullptr; });
}

void JobDialog::unfollow()
{
    if (m_job)
        disconnect(m_job, nullptr, this, nullptr);
    m_job = nullptr;
}

void JobDialog::setBarRange(qint64 minimum, qint64 maximum)
{
    if (!m_bar)
        return;
    // The bar counts in int; a longer range is scaled down.
    m_scale = maximum > INT_MAX ? double(INT_MAX) / double(maximum) : 1.0;
    m_bar->setRange(int(double(minimum) * m_scale), int(double(maximum) * m_scale));
}

void JobDialog::setBarValue(qint64 value)
{
    if (m_bar)
        m_bar->setValue(int(double(value) * m_scale));
}

void JobDialog::stopJob()
{
    if (isRunning())
        m_job->cancel();
}

void JobDialog::reject()
{
    if (isRunning()) {
        stopJob();
        return;
    }
    QDialog::reject();
}

void JobDialog::closeEvent(QCloseEvent* event)
{
    // The close box is "取消" while the job goes on; the window goes when
    // the job has stopped.
    if (isRunning()) {
        stopJob();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}
