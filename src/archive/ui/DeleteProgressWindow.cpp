#include "archive/ui/DeleteProgressWindow.h"
#include "platform/ui/OuterSize.h"

#include "archive/FileRecords.h"
#include "platform/Prompter.h"
#include "store/LogWriter.h"

DeleteProgressWindow::DeleteProgressWindow(FileRecords& records, QWidget* parent)
    : LongRunWindow(QStringLiteral("正在删除文件..."), parent), m_records(records)
{
}

DeleteProgressWindow::Outcome DeleteProgressWindow::run(const QList<qint64>& ids)
{
    Outcome out;
    bool logFailureShown = false;
    const Ran ran = runItems(ids.size(), [&](qint64 i) {
        const Result<StoredRecord> r = m_records.remove(ids.at(i));
        if (r.ok())
            ++out.deleted;
        else
            ++out.refused;
        // A record without number is refused; anything else said here is a failure.
        if (!r.message().isEmpty())
            prompter().message(r.message(), {},
                               r.message() == FileRecords::DeleteNoNumber ? Prompter::Icon::Warning
                                                                        : Prompter::Icon::Critical);
        if (r.ok() && r->logFailed && !logFailureShown) {
            prompter().message(LogWriter::FailureMessage, {}, Prompter::Icon::Warning);
            logFailureShown = true;
        }
    });
    out.cancelled = ran.cancelled;
    return out;
}
