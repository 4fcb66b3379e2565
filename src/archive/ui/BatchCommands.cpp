#include "archive/ui/BatchCommands.h"

#include "archive/BatchExport.h"
#include "archive/BatchImport.h"
#include "archive/ExportGuard.h"
#include "archive/FileRecords.h"
#include "archive/GroupPath.h"
#include "archive/Regroup.h"
#include "archive/ui/BatchExportWindow.h"
#include "archive/ui/BatchImportWindow.h"
#include "archive/ui/BatchModifyWindow.h"
#include "archive/ui/GroupChooserDialog.h"
#include "platform/Prompter.h"
#include "platform/ui/JobWindow.h"
#include "store/DataStore.h"
#include "store/Dictionary.h"
#include "store/LogWriter.h"

#include <QDir>

namespace {

// The name a message gives a group: its own name, "文件服务器" for the root.
QString groupName(const QString& path)
{
    const QStringList names = GroupPath::split(path);
    return names.isEmpty() ? QStringLiteral("文件服务器") : names.last();
}

}  // namespace

BatchCommands::BatchCommands(DataStore& store, const StoreFolder& storeFolder, ProtectedGroups& protectedGroups,
                             const CurrentOperator& op, QWidget* window)
    : QObject(window), m_store(store), m_storeFolder(storeFolder), m_protectedGroups(protectedGroups), m_operator(op),
      m_window(window)
{
}

QString BatchCommands::fileFilter(const QString& types) const
{
    const QStringList allowed = Dictionary::allowedTypes(types);
    if (allowed.isEmpty())
        return QStringLiteral("所有文件 (*)");
    QStringList patterns;
    for (const QString& t : allowed)
        patterns << QStringLiteral("*.") + t << QStringLiteral("*.") + t.toUpper();
    patterns.removeDuplicates();
    return QStringLiteral("文件 (%1)").arg(patterns.join(QLatin1Char(' ')));
}

void BatchCommands::importInto(const QString& group)
{
    if (group.isEmpty()) {
        prompter().message(BatchImport::NoGroup, {}, Prompter::Icon::Warning);
        return;
    }
    const QString types = Dictionary::readOr(m_store, Dictionary::FileTypes, Dictionary::AnyType);
    const QStringList files = prompter().openFiles(BatchImport::ChooseTitle, QDir::homePath(), fileFilter(types));
    if (files.isEmpty())
        return;
    runImport(group, BatchImport::into(group, files));
}

void BatchCommands::importDropped(const QString& group, const QStringList& paths)
{
    if (group.isEmpty())
        return;
    const QString types = Dictionary::readOr(m_store, Dictionary::FileTypes, Dictionary::AnyType);
    // A dropped folder comes in as a sub-group of its own, with its folders below it.
    const QList<BatchImport::Item> items = BatchImport::expandKeepingFolders(paths, group, types);
    if (items.isEmpty())
        return;
    runImport(group, items);
}

void BatchCommands::runImport(const QString& group, const QList<BatchImport::Item>& items)
{
    const QStringList files = BatchImport::filesOf(items);
    if (!prompter().question(
            BatchImport::confirmText(int(files.size()), groupName(group), BatchImport::totalBytes(files))))
        return;
    BatchImport::Setup setup{m_store.location(),
                             m_storeFolder,
                             m_operator,
                             m_protectedGroups,
                             Dictionary::storedSizeBound(m_store),
                             group,
                             items};
    BatchImportWindow w(std::move(setup), m_window);
    w.exec();
    if (w.outcome().groupsAdded)
        emit groupsChanged();
    if (w.importedAny())
        emit reloadListRequested();
}

void BatchCommands::exportGroup(const QString& group)
{
    const QString folder = prompter().chooseFolder(BatchExport::ChooseFolder);
    if (folder.isEmpty())
        return;
    // Refused before the question: an export into the archive's folders.
    if (const Status allowed = ExportGuard(m_store, m_storeFolder).checkFolder(folder); !allowed) {
        prompter().message(allowed.message(), {}, Prompter::Icon::Warning);
        return;
    }
    if (!prompter().question(BatchExport::confirmText(groupName(group), folder)))
        return;
    BatchExportWindow w(m_store, m_storeFolder, m_operator, m_protectedGroups, group, folder, m_window);
    w.exec();
}

void BatchCommands::modify(const QList<qint64>& selected, const QList<qint64>& all)
{
    BatchModifyWindow w(m_store, m_operator, m_protectedGroups, selected, all, m_window);
    w.exec();
    if (w.changedAny())
        emit reloadListRequested();
}

std::optional<QString> BatchCommands::chooseGroup()
{
    if (m_chooser)
        return m_chooser();
    return GroupChooserDialog::choose(m_store, m_protectedGroups, m_window);
}

void BatchCommands::moveRecords(const QList<qint64>& ids)
{
    if (ids.isEmpty()) {
        prompter().message(FileRecords::NothingSelected, {}, Prompter::Icon::Warning);
        return;
    }
    const std::optional<QString> target = chooseGroup();
    if (!target)
        return;
    if (!prompter().question(Regroup::ConfirmRecords))
        return;
    JobOf<Regroup::Moved> job(Regroup::RecordsTitle,
                              Regroup::recordsJob(m_store.location(), m_operator, m_protectedGroups, ids, *target));
    // A stop moves nothing and says nothing.
    if (!JobWindow(job.title(), m_window).run(job) && job.result().cancelled())
        return;
    showMoved(job.result());
}

void BatchCommands::moveGroupFiles(const QString& group)
{
    if (group.isEmpty()) {
        prompter().message(BatchImport::NoGroup, {}, Prompter::Icon::Warning);
        return;
    }
    const std::optional<QString> target = chooseGroup();
    if (!target)
        return;
    if (!prompter().question(Regroup::ConfirmGroup))
        return;
    JobOf<Regroup::Moved> job(Regroup::GroupTitle,
                              Regroup::groupJob(m_store.location(), m_operator, m_protectedGroups, group, *target));
    if (!JobWindow(job.title(), m_window).run(job) && job.result().cancelled())
        return;
    showMoved(job.result());
}

void BatchCommands::showMoved(const Result<Regroup::Moved>& moved)
{
    if (!moved) {
        prompter().message(moved.message(), {}, Prompter::Icon::Critical);
        return;
    }
    if (moved->logFailed)
        prompter().message(LogWriter::FailureMessage, {}, Prompter::Icon::Warning);
    prompter().message(moved.message());
    emit reloadListRequested();
}
