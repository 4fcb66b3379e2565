#include "archive/ui/DeleteProgressWindow.h"
#include "platform/ui/OuterSize.h"

#include "archive/FileRecords.h"
#include "platform/Prompter.h"
#include "store/LogWriter.h"

#include <QCoreApplication>
#include <QProgressBar>

DeleteProgressWindow::DeleteProgressWindow(FileRecords& records, QWidget* parent)
    : QDialog(parent), m_records(records)
{
    setWindowTitle(QStringLiteral("正在删除文件..."));
    OuterSize::fix(this, {573, 67});
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("进度条1"));
    m_bar->setGeometry(8, 8, 552, 24);
    m_bar->setTextVisible(true);
}

DeleteProgressWindow::Outcome DeleteProgressWindow::run(const QList<qint64>& ids)
{
    Outcome out;
    m_bar->setRange(0, int(ids.size()));
    m_bar->setValue(0);
    show();
    QCoreApplication::processEvents();
    bool logFailureShown = false;
    for (int i = 0; i < ids.size(); ++i) {
        const FileRecords::Result r = m_records.remove(ids.at(i));
        if (r.ok)
            ++out.deleted;
        else
            ++out.refused;
        if (!r.message.isEmpty())
            prompter().message(r.message);
        if (r.logFailed && !logFailureShown) {
            prompter().message(LogWriter::FailureMessage);
            logFailureShown = true;
        }
        m_bar->setValue(i + 1);
        QCoreApplication::processEvents();
    }
    hide();
    return out;
}
