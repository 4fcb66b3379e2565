#include "archive/ui/BatchExportWindow.h"

#include "platform/Prompter.h"
#include "store/DataStore.h"
#include "store/LogWriter.h"

#include <QCheckBox>

BatchExportWindow::BatchExportWindow(DataStore& store, const StoreFolder& folder, const CurrentOperator& op,
                                     const ProtectedGroups& open, const QString& group, const QString& target,
                                     QWidget* parent)
    : BatchRunWindow(
        {BatchExport::WindowTitle, BatchExport::Working, QStringLiteral("按文件分组创建下级目录"), 160, true, 251, 379},
        parent),
      m_archive(store.location()), m_folder(folder), m_operator(op), m_open(open), m_group(group), m_target(target)
{
}

BatchExportWindow::~BatchExportWindow() = default;

void BatchExportWindow::start()
{
    // The operator was told that files of the same name are replaced: those
    // that were there before, never one this run wrote.
    BatchExport::Setup run{m_archive, m_folder, m_operator, m_open, m_group, m_target, checkBox()->isChecked(), true};
    m_job = std::make_unique<JobOf<BatchExport::Outcome>>(windowTitle(), BatchExport::job(std::move(run)));
    runJob(*m_job);
}

void BatchExportWindow::ended()
{
    const Result<BatchExport::Outcome>& result = m_job->result();
    if (result) {
        m_outcome = result.value();
    } else {
        m_outcome = BatchExport::Outcome();
        m_outcome.kind = BatchExport::Outcome::Kind::Failed;
        m_outcome.message = result.message();
        m_outcome.detail = result.detail();
    }
    if (m_outcome.logFailed)
        prompter().message(LogWriter::FailureMessage, {}, Prompter::Icon::Warning);
    prompter().message(m_outcome.fullText(), {},
                       m_outcome.kind == BatchExport::Outcome::Kind::Failed               ? Prompter::Icon::Critical
                           : m_outcome.damaged.isEmpty() && m_outcome.unwritten.isEmpty() ? Prompter::Icon::Information
                                                                                          : Prompter::Icon::Warning);
    accept();
}
