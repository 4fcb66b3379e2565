#include "archive/ui/BatchImportWindow.h"

#include "platform/Prompter.h"
#include "store/LogWriter.h"

#include <QCheckBox>
#include <QLabel>

BatchImportWindow::BatchImportWindow(BatchImport::Setup setup, QWidget* parent)
    : BatchRunWindow(
        {BatchImport::WindowTitle, BatchImport::Working, QStringLiteral("检查重名文件"), 136, false, 179, 307}, parent),
      m_setup(std::move(setup))
{
}

BatchImportWindow::~BatchImportWindow() = default;

void BatchImportWindow::start()
{
    BatchImport::Setup run = m_setup;
    run.checkSameName = checkBox()->isChecked();
    m_job = std::make_unique<JobOf<BatchImport::Outcome>>(windowTitle(), BatchImport::job(std::move(run)));
    setBarRange(m_setup.items.size());
    setBarValue(0);
    runJob(*m_job);
}

void BatchImportWindow::ended()
{
    const Result<BatchImport::Outcome>& result = m_job->result();
    if (result) {
        m_outcome = result.value();
    } else {
        // No connection: nothing was imported.
        m_outcome = BatchImport::Outcome();
        m_outcome.total = int(m_setup.items.size());
        m_outcome.kind = BatchImport::Outcome::Kind::Failed;
        m_outcome.message = BatchImport::InsertFailed + QStringLiteral("\r\n") + BatchImport::summary(m_outcome);
        m_outcome.detail = result.detail();
    }
    m_importedAny = m_importedAny || m_outcome.imported > 0;
    statusLabel()->setText(BatchImport::summary(m_outcome));
    if (m_outcome.logFailed)
        prompter().message(LogWriter::FailureMessage, {}, Prompter::Icon::Warning);
    prompter().message(m_outcome.message, {},
                       m_outcome.kind == BatchImport::Outcome::Kind::Failed ? Prompter::Icon::Critical
                                                                            : Prompter::Icon::Information);
    emit runEnded();
    accept();
}
