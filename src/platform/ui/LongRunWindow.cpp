#include "platform/ui/LongRunWindow.h"
#include "platform/ui/OuterSize.h"

#include "platform/LongRuns.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QProgressBar>
#include <QPushButton>
#include <climits>

LongRunWindow::LongRunWindow(const QString& title, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(title);
    OuterSize::fix(this, {573, 67});
    // No help button: the window has nothing to explain.
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("进度条1"));
    m_bar->setGeometry(8, 8, 552, 24);
    m_bar->setTextVisible(true);

    m_cancelButton = new QPushButton(QStringLiteral("取消"), this);
    m_cancelButton->setObjectName(QStringLiteral("取消按钮"));
    m_cancelButton->setGeometry(246, 38, 80, 24);
    m_cancelButton->setAutoDefault(false);
    connect(m_cancelButton, &QPushButton::clicked, this, &LongRunWindow::requestCancel);
}

LongRunWindow::~LongRunWindow() = default;

void LongRunWindow::begin()
{
    if (m_run)
        return;
    m_cancel = false;
    m_cancelButton->setEnabled(true);
    m_run = std::make_unique<LongRun>(windowTitle());
    // Window-modal over the window the run belongs to: its toolbar, menus
    // and close box take no input until the run has ended.
    setWindowModality(parentWidget() ? Qt::WindowModal : Qt::ApplicationModal);
    show();
    raise();
    serveEvents();
}

void LongRunWindow::end()
{
    if (!m_run)
        return;
    hide();
    // The last thing: the exit may be waiting for the run to end.
    m_run.reset();
}

LongRunWindow::Ran LongRunWindow::runItems(qint64 count, const std::function<void(qint64)>& item)
{
    Ran ran;
    setRange(0, count);
    setValue(0);
    begin();
    for (qint64 i = 0; i < count; ++i) {
        if (cancelled()) {
            ran.cancelled = true;
            break;
        }
        item(i);
        ++ran.done;
        setValue(i + 1);
    }
    end();
    return ran;
}

void LongRunWindow::setRange(qint64 minimum, qint64 maximum)
{
    // The bar counts in int; a longer range is scaled down.
    m_scale = maximum > INT_MAX ? double(INT_MAX) / double(maximum) : 1.0;
    m_bar->setRange(int(double(minimum) * m_scale), int(double(maximum) * m_scale));
}

void LongRunWindow::setValue(qint64 value)
{
    m_bar->setValue(int(double(value) * m_scale));
    if (m_run)
        serveEvents();
}

bool LongRunWindow::cancelled() const
{
    // Between items the window serves its events, "取消" among them.
    if (m_run)
        serveEvents();
    return m_cancel || (m_run && m_run->stopRequested());
}

void LongRunWindow::requestCancel()
{
    if (!m_run || m_cancel)
        return;
    m_cancel = true;
    m_cancelButton->setEnabled(false);
    emit cancelRequested();
}

void LongRunWindow::reject()
{
    if (m_run) {
        requestCancel();
        return;
    }
    QDialog::reject();
}

void LongRunWindow::closeEvent(QCloseEvent* event)
{
    // The close box is "取消" while the run goes on; the window goes when
    // the run has stopped.
    if (m_run) {
        requestCancel();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void LongRunWindow::serveEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}
