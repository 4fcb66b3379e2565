#include "archive/ui/BatchRunWindow.h"
#include "platform/ui/OuterSize.h"

#include "platform/Job.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

BatchRunWindow::BatchRunWindow(const Layout& layout, QWidget* parent) : JobDialog(parent), m_working(layout.status)
{
    setObjectName(layout.title);
    setWindowTitle(layout.title);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    OuterSize::fix(this, {573, 188});

    m_status = new QLabel(layout.status, this);
    m_status->setObjectName(QStringLiteral("标签1"));
    m_status->setGeometry(8, 16, 552, 40);
    m_status->setWordWrap(true);
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("进度条1"));
    m_bar->setGeometry(8, 56, 552, 24);
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    setJobBar(m_bar);
    m_check = new QCheckBox(layout.check, this);
    m_check->setObjectName(QStringLiteral("选择框1"));
    m_check->setGeometry(8, 88, layout.checkWidth, 24);
    m_check->setChecked(layout.checked);
    m_ok = new QPushButton(QStringLiteral("确定"), this);
    m_ok->setObjectName(QStringLiteral("确定按钮"));
    m_ok->setGeometry(layout.okLeft, 104, 80, 24);
    m_cancel = new QPushButton(QStringLiteral("取消"), this);
    m_cancel->setObjectName(QStringLiteral("取消按钮"));
    m_cancel->setGeometry(layout.cancelLeft, 104, 80, 24);
    m_cancel->setAutoDefault(false);

    connect(m_ok, &QPushButton::clicked, this, [this] {
        if (!isRunning())
            start();
    });
    connect(m_cancel, &QPushButton::clicked, this, &BatchRunWindow::reject);
}

BatchRunWindow::~BatchRunWindow() = default;

void BatchRunWindow::runJob(Job& job)
{
    m_ok->setEnabled(false);
    m_check->setEnabled(false);
    follow(job);
    connect(&job, &Job::itemChanged, this,
            [this](const QString& item) { m_status->setText(m_working + QLatin1Char(' ') + item); });
    connect(&job, &Job::cancelling, this, [this] { m_cancel->setEnabled(false); });
    connect(&job, &Job::finished, this, [this] {
        unfollow();
        m_ok->setEnabled(true);
        m_check->setEnabled(true);
        m_cancel->setEnabled(true);
        ended();
    });
    job.start();
}
