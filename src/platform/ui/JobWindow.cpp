#include "platform/ui/JobWindow.h"
#include "platform/ui/OuterSize.h"

#include "platform/Job.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <climits>

JobWindow::JobWindow(const QString& title, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(title);
    OuterSize::fix(this, {573, 91});
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    m_item = new QLabel(this);
    m_item->setObjectName(QStringLiteral("标签1"));
    m_item->setGeometry(8, 8, 552, 20);
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("进度条1"));
    m_bar->setGeometry(8, 32, 552, 24);
    m_bar->setTextVisible(true);
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    m_cancelButton = new QPushButton(QStringLiteral("取消"), this);
    m_cancelButton->setObjectName(QStringLiteral("取消按钮"));
    m_cancelButton->setGeometry(246, 62, 80, 24);
    m_cancelButton->setAutoDefault(false);
    connect(m_cancelButton, &QPushButton::clicked, this, &JobWindow::reject);
}

bool JobWindow::isRunning() const
{
    return m_job && m_job->isRunning();
}

Status JobWindow::run(Job& job)
{
    // A job runs once, and a window follows one at a time.
    if (m_job || job.isRunning() || job.isFinished())
        return job.status();
    m_job = &job;
    m_cancelButton->setEnabled(true);
    connect(&job, &Job::rangeChanged, this, &JobWindow::setRange);
    connect(&job, &Job::valueChanged, this, &JobWindow::setValue);
    connect(&job, &Job::itemChanged, m_item, &QLabel::setText);
    connect(&job, &Job::cancelling, this, [this] { m_cancelButton->setEnabled(false); });
    connect(&job, &Job::finished, this, &QDialog::accept);
    // Window-modal over the window the job belongs to: its toolbar, menus
    // and close box take no input until the job has ended.
    setWindowModality(parentWidget() ? Qt::WindowModal : Qt::ApplicationModal);
    job.start();
    exec();
    disconnect(&job, nullptr, this, nullptr);
    disconnect(&job, nullptr, m_item, nullptr);
    m_job = nullptr;
    return job.status();
}

void JobWindow::setRange(qint64 minimum, qint64 maximum)
{
    // The bar counts in int; a longer range is scaled down.
    m_scale = maximum > INT_MAX ? double(INT_MAX) / double(maximum) : 1.0;
    m_bar->setRange(int(double(minimum) * m_scale), int(double(maximum) * m_scale));
}

void JobWindow::setValue(qint64 value)
{
    m_bar->setValue(int(double(value) * m_scale));
}

void JobWindow::reject()
{
    if (isRunning()) {
        m_job->cancel();
        return;
    }
    QDialog::reject();
}

void JobWindow::closeEvent(QCloseEvent* event)
{
    // The close box is "取消" while the job goes on; the window goes when
    // the job has stopped.
    if (isRunning()) {
        m_job->cancel();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}
