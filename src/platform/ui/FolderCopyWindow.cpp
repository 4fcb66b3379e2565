#include "platform/ui/FolderCopyWindow.h"

#include "platform/Prompter.h"
#include "platform/ui/OuterSize.h"

#include <QProgressBar>

#include <algorithm>

namespace {

// The bars count in int: 0..1000 of the run.
int permille(qint64 done, qint64 total)
{
    if (total <= 0)
        return 0;
    return int(std::clamp<qint64>(done * 1000 / total, 0, 1000));
}

QProgressBar* newBar(QWidget* parent, const QString& name, int top)
{
    auto* bar = new QProgressBar(parent);
    bar->setObjectName(name);
    bar->setGeometry(19, top, 405, 24);
    bar->setTextVisible(true);
    bar->setRange(0, 1000);
    bar->setValue(0);
    return bar;
}

}  // namespace

FolderCopyWindow::FolderCopyWindow(QWidget* parent) : JobDialog(parent)
{
    setObjectName(QStringLiteral("进度复制"));
    setWindowTitle(Caption);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    OuterSize::fix(this, {462, 133});
    m_file = newBar(this, QStringLiteral("进度条1"), 16);
    m_total = newBar(this, QStringLiteral("进度条2"), 56);
    setJobBar(m_total);
}

FolderCopyWindow::~FolderCopyWindow() = default;

Result<FolderTreeCopy::Outcome> FolderCopyWindow::copyFolder(const QString& source, const QString& target)
{
    return run<FolderTreeCopy::Outcome>(
        [source, target](TreeCopyProgress& progress) { return FolderTreeCopy::copy(source, target, &progress); });
}

void FolderCopyWindow::runShown(Job& job)
{
    follow(job);
    connect(&job, &Job::itemChanged, this, &QWidget::setWindowTitle);
    connect(&job, &Job::finished, this, &QDialog::accept);
    // Window-modal over the window it belongs to while the copy runs.
    setWindowModality(parentWidget() ? Qt::WindowModal : Qt::ApplicationModal);
    job.start();
    exec();
    unfollow();
}

void FolderCopyWindow::Relay::setFile(qint64 done, qint64 size)
{
    m_window.postFile(size <= 0 ? 1000 : permille(done, size));
}

void FolderCopyWindow::Relay::setTotal(qint64 done, qint64 total)
{
    if (!m_ranged) {
        m_context.setRange(0, 1000);
        m_ranged = true;
    }
    m_context.setValue(permille(done, total));
}

void FolderCopyWindow::postFile(int value)
{
    m_fileValue.store(value);
    // One hand-over on its way at a time; it shows the latest figure.
    if (!m_filePosted.exchange(true))
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_filePosted.store(false);
                m_file->setValue(m_fileValue.load());
            },
            Qt::QueuedConnection);
}

void FolderCopyWindow::stopJob()
{
    if (prompter().question(CloseQuestion, QStringLiteral("询问")))
        JobDialog::stopJob();
}
