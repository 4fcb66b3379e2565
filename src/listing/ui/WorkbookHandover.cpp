#include "listing/ui/WorkbookHandover.h"

#include "archive/ExportGuard.h"
#include "listing/WorkbookExport.h"
#include "platform/FileCopy.h"
#include "platform/Prompter.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace WorkbookHandover {

Opener desktopOpener()
{
    return [](const QString& path) { return QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };
}

bool handOver(const QString& path, const Opener& opener, const ExportGuard& guard)
{
    if (opener && opener(path))
        return true;
    prompter().message(WorkbookExport::NoProgram, {}, Prompter::Icon::Critical);
    if (!prompter().question(WorkbookExport::SaveQuestion))
        return false;
    QString target = prompter().saveFile(WorkbookExport::SaveTitle,
                                         QDir::home().filePath(QFileInfo(path).fileName()),
                                         WorkbookExport::SaveFilter);
    if (target.isEmpty())
        return false;
    if (!target.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive))
        target += QStringLiteral(".xlsx");
    if (QFileInfo(target).absoluteFilePath() == QFileInfo(path).absoluteFilePath())
        return true;
    if (const Status allowed = guard.checkFile(target); !allowed) {
        prompter().message(allowed.message(), {}, Prompter::Icon::Warning);
        return false;
    }
    // The chooser asked before a file there is replaced.
    const FileCopy::Result copied = FileCopy::copy(path, target, FileCopy::Replace::Allowed);
    if (!copied) {
        prompter().message(WorkbookExport::SaveFailed, {}, Prompter::Icon::Critical);
        return false;
    }
    QFile::remove(path);
    return true;
}

}
