#include "archive/ui/BatchRunWindow.h"
#include "platform/ui/OuterSize.h"

#include "platform/LongRuns.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <climits>

BatchRunWindow::BatchRunWindow(const Layout& layout, QWidget* parent) : QDialog(parent)
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

void BatchRunWindow::beginRun()
{
    m_stop = false;
    m_run = std::make_unique<LongRun>(windowTitle());
    m_ok->setEnabled(false);
    m_check->setEnabled(false);
}

void BatchRunWindow::endRun()
{
    m_ok->setEnabled(true);
    m_check->setEnabled(true);
    m_cancel->setEnabled(true);
    // The last thing: the exit may be waiting for the run to end.
    m_run.reset();
}

bool BatchRunWindow::stopAsked() const
{
    return m_stop || (m_run && m_run->stopRequested());
}

void BatchRunWindow::setBarRange(qint64 maximum)
{
    m_scale = maximum > INT_MAX ? double(INT_MAX) / double(maximum) : 1.0;
    m_bar->setRange(0, int(double(maximum) * m_scale));
}

void BatchRunWindow::setBarValue(qint64 value)
{
    m_bar->setValue(int(double(value) * m_scale));
}

void BatchRunWindow::reject()
{
    // While a run goes on, "取消" stops it after its current file.
    if (isRunning()) {
        m_stop = true;
        m_cancel->setEnabled(false);
        stopping();
        return;
    }
    QDialog::reject();
}

void BatchRunWindow::closeEvent(QCloseEvent* event)
{
    if (isRunning()) {
        reject();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}
