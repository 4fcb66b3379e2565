#include "listing/ui/WorkbookHandover.h"

#include "archive/ExportGuard.h"
#include "listing/WorkbookExport.h"
#include "platform/FileCopy.h"
#include "platform/Prompter.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace WorkbookHandover {

std::optional<QString> xdgAssociation()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    const QString program = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (program.isEmpty())
        return std::nullopt;
    QProcess query;
    query.start(program,
                {QStringLiteral("query"), QStringLiteral("default"),
                 QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.sheet")});
    if (!query.waitForFinished(5000)) {
        query.kill();
        query.waitForFinished(1000);
        return std::nullopt;
    }
    if (query.exitStatus() != QProcess::NormalExit || query.exitCode() != 0)
        return QString();
    return QString::fromLocal8Bit(query.readAllStandardOutput()).trimmed();
#else
    return std::nullopt;
#endif
}

Opener desktopOpener(Association association)
{
    return [association](const QString& path) {
        if (association) {
            if (const std::optional<QString> program = association(); program && program->isEmpty())
                return false;
        }
        return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    };
}

bool handOver(const QString& path, const Opener& opener, const ExportGuard& guard)
{
    if (opener && opener(path))
        return true;
    prompter().message(WorkbookExport::NoProgram, {}, Prompter::Icon::Critical);
    if (!prompter().questionYesDefault(WorkbookExport::SaveQuestion))
        return false;
    QString target = prompter().saveFile(WorkbookExport::SaveTitle, QDir::home().filePath(QFileInfo(path).fileName()),
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
