#include "archive/ui/DeleteProgressWindow.h"

#include "archive/FileRecords.h"
#include "archive/RecordDeletion.h"
#include "platform/PrivateFolder.h"
#include "platform/Prompter.h"
#include "store/LogWriter.h"

#include <QProgressBar>

DeleteProgressWindow::DeleteProgressWindow(FileRecords& records, QWidget* parent)
    : JobWindow(QStringLiteral("正在删除文件..."), parent, Lines::BarOnly), m_records(records)
{
    progressBar()->reset();
}

DeleteProgressWindow::Outcome DeleteProgressWindow::run(const QList<qint64>& ids)
{
    bool logFailureShown = false;
    RecordDeletion::Told told = [&](const Result<StoredRecord>& r) {
        // A record without number is refused; anything else said here is a failure.
        if (!r.message().isEmpty())
            prompter().message(r.message(), {},
                               r.message() == FileRecords::DeleteNoNumber ? Prompter::Icon::Warning
                                                                          : Prompter::Icon::Critical);
        if (r.ok() && r->logFailed && !logFailureShown) {
            prompter().message(LogWriter::FailureMessage, {}, Prompter::Icon::Warning);
            logFailureShown = true;
        }
    };
    // The bar stands at the start before the window shows.
    progressBar()->setRange(0, int(ids.size()));
    progressBar()->setValue(0);
    JobOf<RecordDeletion::Outcome> job(windowTitle(),
                                       RecordDeletion::job(RecordDeletion::setupOf(m_records), ids, told));
    const Status ran = JobWindow::run(job);
    Outcome out;
    if (!ran) {
        // No connection of its own: nothing was deleted.
        prompter().message(PrivateFolder::withCause(FileRecords::DeleteRowFailed, ran.detail()), {},
                           Prompter::Icon::Critical);
        out.refused = int(ids.size());
        return out;
    }
    const RecordDeletion::Outcome& done = job.result().value();
    out.deleted = done.deleted;
    out.refused = done.refused;
    out.cancelled = done.cancelled;
    return out;
}
