#include "archive/ui/BatchExportWindow.h"

#include "platform/Prompter.h"
#include "store/LogWriter.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>

BatchExportWindow::BatchExportWindow(DataStore& store, const StoreFolder& folder, const CurrentOperator& op,
                                     const ProtectedGroups& open, const QString& group, const QString& target,
                                     QWidget* parent)
    : BatchRunWindow({BatchExport::WindowTitle, BatchExport::Working, QStringLiteral("按文件分组创建下级目录"), 160, true,
                      251, 379},
                     parent),
      m_store(store), m_folder(folder), m_operator(op), m_open(open), m_group(group), m_target(target)
{
}

void BatchExportWindow::start()
{
    beginRun();
    BatchExport run(m_store, m_folder, m_operator, m_open);
    // The operator was told that files of the same name are replaced: those
    // that were there before, never one this run wrote.
    run.setReplaceExisting(true);
    QElapsedTimer shown;
    shown.start();
    m_outcome = run.run(m_group, m_target, checkBox()->isChecked(), *this, [&](const QString& name) {
        // The status follows the run without costing it a repaint per file.
        if (shown.elapsed() >= 50) {
            statusLabel()->setText(BatchExport::Working + QLatin1Char(' ') + name);
            shown.restart();
        }
    });
    endRun();
    if (m_outcome.logFailed)
        prompter().message(LogWriter::FailureMessage, {}, Prompter::Icon::Warning);
    prompter().message(m_outcome.fullText(), {},
                       m_outcome.kind == BatchExport::Outcome::Kind::Failed ? Prompter::Icon::Critical
                       : m_outcome.damaged.isEmpty() && m_outcome.unwritten.isEmpty() ? Prompter::Icon::Information
                                                                                      : Prompter::Icon::Warning);
    accept();
}

void BatchExportWindow::setRange(qint64, qint64 maximum)
{
    setBarRange(maximum);
}

void BatchExportWindow::setValue(qint64 value)
{
    setBarValue(value);
}

bool BatchExportWindow::cancelled() const
{
    // Between files the window serves its events, "取消" among them (often
    // enough to stay responsive, not after every small file).
    static QElapsedTimer served;
    if (!served.isValid() || served.elapsed() >= 20) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        served.restart();
    }
    return stopAsked();
}
