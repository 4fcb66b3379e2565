#include "platform/ui/FolderCopyWindow.h"

#include "platform/Prompter.h"
#include "platform/ui/OuterSize.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

namespace {

// The bars count in int: 0..1000 of the run.
int permille(qint64 done, qint64 total)
{
    if (total <= 0)
        return 0;
    return int(std::clamp<qint64>(done * 1000 / total, 0, 1000));
}

}  // namespace

FolderCopyWindow::FolderCopyWindow(QWidget* parent) : LongRunWindow(Caption, parent)
{
    setObjectName(QStringLiteral("进度复制"));
    OuterSize::fix(this, {462, 133});
    progressBar()->setGeometry(19, 16, 405, 24);
    progressBar()->setRange(0, 1000);
    progressBar()->setValue(0);
    m_total = new QProgressBar(this);
    m_total->setObjectName(QStringLiteral("进度条2"));
    m_total->setGeometry(19, 56, 405, 24);
    m_total->setRange(0, 1000);
    m_total->setValue(0);
    cancelButton()->hide();
}

Result<FolderTreeCopy::Outcome> FolderCopyWindow::copyFolder(const QString& source, const QString& target)
{
    begin();
    Result<FolderTreeCopy::Outcome> r = FolderTreeCopy::copy(source, target, this);
    end();
    return r;
}

void FolderCopyWindow::setStatus(const QString& text)
{
    setWindowTitle(text);
    if (isRunning())
        QCoreApplication::processEvents();
}

void FolderCopyWindow::setFile(qint64 done, qint64 size)
{
    LongRunWindow::setRange(0, 1000);
    LongRunWindow::setValue(size <= 0 ? 1000 : permille(done, size));
}

void FolderCopyWindow::setTotal(qint64 done, qint64 total)
{
    m_total->setValue(permille(done, total));
}

bool FolderCopyWindow::askToStop()
{
    if (!prompter().question(CloseQuestion, QStringLiteral("询问")))
        return false;
    requestCancel();
    return true;
}

void FolderCopyWindow::reject()
{
    if (isRunning()) {
        askToStop();
        return;
    }
    LongRunWindow::reject();
}

void FolderCopyWindow::closeEvent(QCloseEvent* event)
{
    if (isRunning()) {
        askToStop();
        event->ignore();
        return;
    }
    LongRunWindow::closeEvent(event);
}
