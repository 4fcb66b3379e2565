#include "archive/ui/BatchImportWindow.h"

#include "archive/Duplicates.h"
#include "archive/ui/ImportRunsWindow.h"
#include "platform/Prompter.h"
#include "store/Rights.h"
#include "store/LogWriter.h"

#include <QCheckBox>
#include <QLabel>

BatchImportWindow::BatchImportWindow(BatchImport::Setup setup, QWidget* parent)
    : BatchRunWindow(
        {BatchImport::WindowTitle, BatchImport::Working, QStringLiteral("检查重名文件"), 136, false, 179, 307}, parent),
      m_setup(std::move(setup))
{
    m_skipDuplicates = new QCheckBox(Duplicates::SkipBox, this);
    m_skipDuplicates->setObjectName(QStringLiteral("跳过相同内容"));
    m_skipDuplicates->setGeometry(8, 112, 164, 24);
}

BatchImportWindow::~BatchImportWindow() = default;

void BatchImportWindow::start()
{
    BatchImport::Setup run = m_setup;
    run.checkSameName = checkBox()->isChecked();
    // A file whose content is held already is left out, or asked about
    // here on the window's thread while the run waits.
    run.skipDuplicates = m_skipDuplicates->isChecked();
    run.askDuplicate = [](const QString& question) { return prompter().question(question); };
    m_skipDuplicates->setEnabled(false);
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
    m_skipDuplicates->setEnabled(true);
    m_importedAny = m_importedAny || m_outcome.imported > 0;
    statusLabel()->setText(BatchImport::summary(m_outcome));
    if (m_outcome.logFailed)
        prompter().message(LogWriter::FailureMessage, {}, Prompter::Icon::Warning);
    prompter().message(m_outcome.message, {},
                       m_outcome.kind == BatchImport::Outcome::Kind::Failed ? Prompter::Icon::Critical
                                                                            : Prompter::Icon::Information);
    // The end offers to take the run back: its records go to the trash.
    if (m_outcome.run >= 0 && m_outcome.imported > 0 && m_setup.op.holds(Rights::Delete)
        && prompter().question(BatchImport::undoOffer(m_outcome.imported), BatchImport::UndoTitle)) {
        BatchImport::UndoSetup undo{m_setup.archive, m_setup.folder,    m_setup.op,
                                    m_setup.open,    m_setup.sizeBound, m_outcome.run};
        m_undone = ImportRunsWindow::undo(undo, this);
    }
    emit runEnded();
    accept();
}
