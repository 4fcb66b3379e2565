#include "platform/ui/JobWindow.h"
#include "platform/ui/OuterSize.h"

#include "platform/Job.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

JobWindow::JobWindow(const QString& title, QWidget* parent, Lines lines) : JobDialog(parent)
{
    setWindowTitle(title);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    // Without the item line everything moves up by its height.
    const int top = lines == Lines::ItemAndBar ? 24 : 0;
    OuterSize::fix(this, {573, 67 + top});
    if (lines == Lines::ItemAndBar) {
        m_item = new QLabel(this);
        m_item->setObjectName(QStringLiteral("标签1"));
        m_item->setGeometry(8, 8, 552, 20);
    }
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("进度条1"));
    m_bar->setGeometry(8, 8 + top, 552, 24);
    m_bar->setTextVisible(true);
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    setJobBar(m_bar);
    m_cancelButton = new QPushButton(QStringLiteral("取消"), this);
    m_cancelButton->setObjectName(QStringLiteral("取消按钮"));
    m_cancelButton->setGeometry(246, 38 + top, 80, 24);
    m_cancelButton->setAutoDefault(false);
    connect(m_cancelButton, &QPushButton::clicked, this, &JobWindow::reject);
}

Status JobWindow::run(Job& job)
{
    // A job runs once, and a window follows one at a time.
    if (isRunning() || job.isRunning() || job.isFinished())
        return job.status();
    m_cancelButton->setEnabled(true);
    follow(job);
    if (m_item)
        connect(&job, &Job::itemChanged, m_item, &QLabel::setText);
    connect(&job, &Job::cancelling, this, [this] { m_cancelButton->setEnabled(false); });
    connect(&job, &Job::finished, this, &QDialog::accept);
    // Window-modal over the window the job belongs to: its toolbar, menus
    // and close box take no input until the job has ended.
    setWindowModality(parentWidget() ? Qt::WindowModal : Qt::ApplicationModal);
    job.start();
    exec();
    unfollow();
    if (m_item)
        disconnect(&job, nullptr, m_item, nullptr);
    return job.status();
}
