#include "archive/BatchImport.h"

#include "archive/Duplicates.h"
#include "archive/FileRecords.h"
#include "archive/GroupPath.h"
#include "archive/GroupTree.h"
#include "archive/RecordDeletion.h"
#include "platform/Clock.h"
#include "platform/FileCopy.h"
#include "platform/PrivateFolder.h"
#include "platform/Progress.h"
#include "store/DataStore.h"
#include "store/Dictionary.h"
#include "store/ImportRuns.h"
#include "store/LogWriter.h"
#include "store/SizeText.h"
#include "store/StoreJob.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <algorithm>
#include <optional>

namespace {

// Every file below a folder, sorted by path; links are not followed.
QStringList filesBelow(const QString& folder)
{
    QStringList inside;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo f(it.next());
        if (!f.isSymLink())
            inside << f.absoluteFilePath();
    }
    std::sort(inside.begin(), inside.end());
    return inside;
}

bool typeTaken(const QString& allowedTypes, const QString& path)
{
    return allowedTypes.isEmpty() || Dictionary::typeAllowed(allowedTypes, FileRecords::splitFileName(path).second);
}

}  // namespace

QString BatchImport::confirmText(int count, const QString& groupName, qint64 totalBytes)
{
    return QStringLiteral("您选中了") + QString::number(count) + QStringLiteral("个文件,确认导入 ") + groupName
        + QStringLiteral(" 分组吗? 共:") + sizeText(totalBytes);
}

qint64 BatchImport::totalBytes(const QStringList& files)
{
    qint64 sum = 0;
    for (const QString& f : files)
        sum += QFileInfo(f).size();
    return sum;
}

QStringList BatchImport::expand(const QStringList& paths, const QString& allowedTypes)
{
    QStringList files;
    auto take = [&](const QString& path) {
        if (typeTaken(allowedTypes, path))
            files << path;
    };
    for (const QString& p : paths) {
        const QFileInfo fi(p);
        if (fi.isSymLink() && !fi.isFile())
            continue;
        if (fi.isFile()) {
            take(fi.absoluteFilePath());
            continue;
        }
        if (!fi.isDir())
            continue;
        for (const QString& f : filesBelow(fi.absoluteFilePath()))
            take(f);
    }
    files.removeDuplicates();
    return files;
}

QList<BatchImport::Item> BatchImport::into(const QString& group, const QStringList& files)
{
    QList<Item> items;
    items.reserve(files.size());
    for (const QString& f : files)
        items.append({f, group});
    return items;
}

QStringList BatchImport::filesOf(const QList<Item>& items)
{
    QStringList files;
    files.reserve(items.size());
    for (const Item& i : items)
        files << i.file;
    return files;
}

QList<BatchImport::Item> BatchImport::expandKeepingFolders(const QStringList& paths, const QString& group,
                                                           const QString& allowedTypes)
{
    QList<Item> items;
    QSet<QString> seen;
    auto take = [&](const QString& path, const QString& into) {
        if (!typeTaken(allowedTypes, path) || seen.contains(path))
            return;
        seen.insert(path);
        items.append({path, into});
    };
    for (const QString& p : paths) {
        const QFileInfo fi(p);
        if (fi.isSymLink() && !fi.isFile())
            continue;
        if (fi.isFile()) {
            take(fi.absoluteFilePath(), group);
            continue;
        }
        if (!fi.isDir())
            continue;
        const QString top = QDir::cleanPath(fi.absoluteFilePath());
        const QString topGroup = GroupPath::child(group, GroupTree::nameFromFolder(QFileInfo(top).fileName()));
        const QDir base(top);
        for (const QString& f : filesBelow(top)) {
            QString into = topGroup;
            const QString between = base.relativeFilePath(QFileInfo(f).absolutePath());
            for (const QString& name : between.split(QLatin1Char('/'), Qt::SkipEmptyParts))
                if (name != QLatin1String("."))
                    into = GroupPath::child(into, GroupTree::nameFromFolder(name));
            take(f, into);
        }
    }
    return items;
}

QString BatchImport::summary(const Outcome& out)
{
    const QString duplicates = out.duplicates > 0
        ? QStringLiteral(",") + Duplicates::SkipBox + QString::number(out.duplicates) + QStringLiteral("个")
        : QString();
    return QStringLiteral("文件总数:") + QString::number(out.total) + QStringLiteral("个,同名文件:")
        + QString::number(out.sameName) + QStringLiteral("个") + duplicates + QStringLiteral(",成功导入")
        + QString::number(out.imported) + QStringLiteral("个, 共: ") + sizeText(out.bytes);
}

BatchImport::BatchImport(DataStore& store, StoreFolder folder, CurrentOperator op, qint64 sizeBound,
                         ProtectedGroups open)
    : m_store(store), m_folder(std::move(folder)), m_operator(std::move(op)), m_sizeBound(sizeBound),
      m_open(std::move(open))
{
}

JobOf<BatchImport::Outcome>::Body BatchImport::job(Setup setup)
{
    const ArchiveLocation archive = setup.archive;
    return StoreJob::body<Outcome>(archive, [setup = std::move(setup)](DataStore& store, JobContext& context) {
        BatchImport import(store, setup.folder, setup.op, setup.sizeBound, setup.open);
        std::function<bool(const QString&)> ask;
        if (setup.askDuplicate)
            ask = [&context, &setup](const QString& question) {
                bool yes = false;
                // A cancel while the question waits answers no.
                return context.onStartingThread([&] { yes = setup.askDuplicate(question); }) && yes;
            };
        import.setDuplicates(setup.skipDuplicates, std::move(ask));
        return Result<Outcome>(import.run(setup.group, setup.items, setup.checkSameName, context,
                                          [&context](const QString& name) { context.setItem(name); }));
    });
}

BatchImport::Outcome BatchImport::run(const QString& group, const QStringList& files, bool checkSameName,
                                      Progress& progress, const std::function<void(const QString&)>& onFile)
{
    return run(group, into(group, files), checkSameName, progress, onFile);
}

BatchImport::Outcome BatchImport::run(const QString& group, const QList<Item>& items, bool checkSameName,
                                      Progress& progress, const std::function<void(const QString&)>& onFile)
{
    Outcome out;
    out.total = int(items.size());
    progress.setRange(0, items.size());
    progress.setValue(0);
    auto failed = [&](Outcome::Kind kind, const QString& message, const QString& detail) {
        out.kind = kind;
        out.message = message;
        out.detail = detail;
    };

    // The groups the files go into, group's own first.
    QStringList groups{group};
    QSet<QString> seen{group};
    QList<QStringList> below;
    const int depth = int(GroupPath::split(group).size());
    for (const Item& i : items) {
        if (seen.contains(i.group))
            continue;
        seen.insert(i.group);
        groups << i.group;
        if (GroupPath::covers(group, i.group))
            below << GroupPath::split(i.group).mid(depth);
    }
    if (!below.isEmpty()) {
        GroupTree tree(m_store, m_open);
        if (const Status loaded = tree.load(); !loaded) {
            failed(Outcome::Kind::Failed, PrivateFolder::withCause(InsertFailed, loaded.detail()), loaded.detail());
            return out;
        }
        const GroupTree::Node* node = tree.findPath(group);
        if (!node || node->isRoot()) {
            failed(Outcome::Kind::Failed, NoGroup, QStringLiteral("%1 not found").arg(group));
            return out;
        }
        const GroupTree::Result made = tree.addPaths(node->id, below);
        if (!made) {
            failed(Outcome::Kind::Failed, made.message.isEmpty() ? InsertFailed : made.message,
                   made.kind == GroupTree::Result::Kind::Failed ? m_store.lastError() : QString());
            return out;
        }
        out.groupsAdded = made.kind == GroupTree::Result::Kind::Done;
    }

    FileRecords records(m_store, m_folder, m_operator, m_sizeBound);
    RecordFields fields;
    fields.name = QStringLiteral("-");  // each record's own name is set below
    for (const QString& g : std::as_const(groups)) {
        fields.group = g;
        if (const Status checked = records.checkFields(fields, true); !checked) {
            failed(Outcome::Kind::Failed,
                   checked.message() == FileRecords::NoGroup ? NoGroup
                                                             : PrivateFolder::withCause(InsertFailed, checked.detail()),
                   checked.detail());
            return out;
        }
    }
    // Nothing goes into a closed protected group (nor below one).
    QStringList closed;
    if (!m_open.readClosedPaths(m_store, &closed)) {
        failed(Outcome::Kind::Failed, PrivateFolder::withCause(InsertFailed, m_store.lastError()), m_store.lastError());
        return out;
    }
    for (const QString& c : std::as_const(closed))
        for (const QString& g : std::as_const(groups))
            if (GroupPath::covers(c, g)) {
                failed(Outcome::Kind::Failed, NoGroup, QStringLiteral("%1 is closed").arg(g));
                return out;
            }

    qint64 run = -1;
    bool runCommitted = false;
    std::optional<Transaction> batch;
    QElapsedTimer since;
    int pendingRecords = 0;
    qint64 pendingBytes = 0;
    // Commits the records written since the last commit. When the commit
    // fails they are gone again.
    auto commit = [&]() -> bool {
        if (!batch)
            return true;
        const bool ok = batch->commit();
        batch.reset();
        if (!ok) {
            out.imported -= pendingRecords;
            out.bytes -= pendingBytes;
        }
        pendingRecords = 0;
        pendingBytes = 0;
        if (ok)
            runCommitted = run >= 0;
        else if (!runCommitted)
            run = -1;
        return ok;
    };

    // The file under way, and what its duplicate check decided.
    QString current;
    enum class Verdict { Store, Skip, Fail } verdict = Verdict::Store;
    QString verdictDetail;
    FileRecords::AddHooks hooks;
    hooks.admit = [&](const QString& sha256) {
        verdict = Verdict::Store;
        const Result<Duplicates::Found> found = Duplicates::find(m_store, m_open, sha256);
        if (!found) {
            verdict = Verdict::Fail;
            verdictDetail = found.detail();
            return false;
        }
        if (!found->any())
            return true;
        if (m_skipDuplicates) {
            verdict = Verdict::Skip;
            return false;
        }
        if (!m_askDuplicate) {
            out.duplicatesStored << current + QStringLiteral(": ") + Duplicates::text(*found);
            return true;
        }
        // No write lock is held while the operator thinks.
        if (!commit()) {
            verdict = Verdict::Fail;
            verdictDetail = m_store.lastError();
            return false;
        }
        if (m_askDuplicate(Duplicates::question(*found, current)))
            return true;
        verdict = Verdict::Skip;
        return false;
    };
    // The run is written with its first record, each record it adds in that
    // record's own transaction.
    bool runStartedHere = false;
    hooks.written = [&](qint64 id) -> Status {
        runStartedHere = false;
        if (run < 0) {
            const Result<qint64> started =
                ImportRuns::start(m_store, appClock().nowText(), m_operator.userName(), group);
            if (!started)
                return Status::fail(QString(), started.detail());
            run = started.value();
            runStartedHere = true;
        }
        return ImportRuns::record(m_store, run, id);
    };

    // Files held in the database are read a little ahead of their turn, so
    // that reading from a cold disk overlaps with storing the ones before.
    constexpr int ReadAhead = 32;
    auto readAhead = [&](int i) {
        if (i < items.size() && !records.keptOutside(QFileInfo(items.at(i).file).size()))
            FileCopy::prefetch(items.at(i).file);
    };
    for (int i = 0; i < ReadAhead; ++i)
        readAhead(i);
    for (int i = 0; i < items.size(); ++i) {
        readAhead(i + ReadAhead);
        // A large file is read while the one before it is written out.
        if (i + 1 < items.size() && records.keptOutside(QFileInfo(items.at(i + 1).file).size()))
            FileCopy::prefetch(items.at(i + 1).file);
        if (progress.cancelled()) {
            failed(Outcome::Kind::Cancelled, Cancelled, QString());
            break;
        }
        const QString& path = items.at(i).file;
        const QFileInfo fi(path);
        const auto [name, type] = FileRecords::splitFileName(path);
        if (onFile)
            onFile(fi.fileName());

        if (checkSameName) {
            const Result<QList<FileRecords::SameName>> same = records.sameName(name, type, m_open);
            if (!same) {
                failed(Outcome::Kind::Failed, PrivateFolder::withCause(InsertFailed, same.detail()), same.detail());
                break;
            }
            if (!same->isEmpty()) {
                ++out.sameName;
                progress.setValue(i + 1);
                continue;
            }
        }

        // Content for the store folder is copied outside the batch (the copy
        // may take long) and committed on its own.
        const bool kept = records.keptOutside(fi.size());
        if (kept && !commit()) {
            failed(Outcome::Kind::Failed, PrivateFolder::withCause(InsertFailed, m_store.lastError()),
                   m_store.lastError());
            break;
        }
        if (!kept && !batch) {
            batch.emplace(m_store);
            if (!batch->isActive()) {
                batch.reset();
                failed(Outcome::Kind::Failed, PrivateFolder::withCause(InsertFailed, m_store.lastError()),
                       m_store.lastError());
                break;
            }
            since.start();
        }

        fields.name = name;
        fields.group = items.at(i).group;
        current = fi.fileName();
        const Result<StoredRecord> added = records.addChecked(fields, path, LogWriter::BatchAdded,
                                                              QStringLiteral("，分组:") + fields.group, nullptr, hooks);
        if (!added && added.cancelled() && verdict == Verdict::Skip) {
            ++out.duplicates;
            progress.setValue(i + 1);
            continue;
        }
        if (!added && verdict == Verdict::Fail) {
            failed(Outcome::Kind::Failed, PrivateFolder::withCause(InsertFailed, verdictDetail), verdictDetail);
            break;
        }
        if (!added) {
            if (runStartedHere)
                run = -1;
            failed(Outcome::Kind::Failed, PrivateFolder::withCause(InsertFailed, added.detail()), added.detail());
            break;
        }
        ++out.imported;
        out.bytes += fi.size();
        out.logFailed = out.logFailed || added->logFailed;
        if (!batch)
            runCommitted = run >= 0;
        if (batch) {
            ++pendingRecords;
            pendingBytes += fi.size();
            // A file that grew past the bound since it was looked at went to
            // the store folder after all: it is committed at once.
            const bool grown = records.keptOutside(QFileInfo(path).size());
            if ((grown || since.elapsed() >= m_commitMs) && !commit()) {
                failed(Outcome::Kind::Failed, PrivateFolder::withCause(InsertFailed, m_store.lastError()),
                       m_store.lastError());
                break;
            }
        }
        progress.setValue(i + 1);
    }
    if (!commit() && out.kind == Outcome::Kind::Done)
        failed(Outcome::Kind::Failed, PrivateFolder::withCause(InsertFailed, m_store.lastError()), m_store.lastError());
    // The run's count; its records are named already, so a count that
    // cannot be written loses nothing.
    if (run >= 0) {
        const Status counted = ImportRuns::finish(m_store, run, out.imported);
        Q_UNUSED(counted);
    }
    out.run = run;

    if (out.kind == Outcome::Kind::Done)
        out.message = summary(out);
    else
        out.message += QStringLiteral("\r\n") + summary(out);
    return out;
}

// ------------------------------------------------------------------ undo

QString BatchImport::undoQuestion(int count)
{
    return QStringLiteral("撤销本次导入将把本次导入的 ") + QString::number(count)
        + QStringLiteral(" 个文件移入回收站, 确定吗?");
}

QString BatchImport::undoOffer(int count)
{
    return QStringLiteral("是否撤销本次导入? 本次导入的 ") + QString::number(count)
        + QStringLiteral(" 个文件将移入回收站。");
}

JobOf<BatchImport::Undone>::Body BatchImport::undoJob(UndoSetup setup)
{
    const ArchiveLocation archive = setup.archive;
    return StoreJob::body<Undone>(archive, [setup = std::move(setup)](DataStore& store, JobContext& context) {
        using R = Result<Undone>;
        Undone out;
        const Result<std::optional<ImportRuns::Run>> found = ImportRuns::read(store, setup.run);
        if (!found)
            return R::fail(PrivateFolder::withCause(FileRecords::DeleteRowFailed, found.detail()), found.detail());
        if (!found->has_value() || (*found)->undone) {
            out.message = QStringLiteral("本次导入已撤销!");
            return R(out);
        }
        const Result<QList<ImportRuns::Present>> present = ImportRuns::present(store, setup.run);
        if (!present)
            return R::fail(PrivateFolder::withCause(FileRecords::DeleteRowFailed, present.detail()), present.detail());
        QList<qint64> ids;
        for (const ImportRuns::Present& p : *present) {
            // Nothing in a closed protected group is changed until it is opened.
            if (setup.open.isHidden(store, p.group))
                ++out.kept;
            else
                ids << p.id;
        }
        FileRecords records(store, setup.folder, setup.op, setup.sizeBound);
        const Result<RecordDeletion::Outcome> deleted = RecordDeletion::run(records, ids, context);
        if (!deleted)
            return R::fail(deleted.message(), deleted.detail());
        out.moved = deleted->deleted;
        out.refused = deleted->refused;
        out.cancelled = deleted->cancelled;
        if (!out.cancelled && out.refused == 0 && out.kept == 0) {
            if (const Status marked = ImportRuns::markUndone(store, setup.run); !marked)
                return R::fail(PrivateFolder::withCause(FileRecords::DeleteRowFailed, marked.detail()),
                               marked.detail());
        }
        LogWriter log(store, setup.op);
        out.logFailed =
            !log.write(UndoLog + (*found)->at + QStringLiteral(" 导入分组 ") + (*found)->group
                       + QStringLiteral(" 的文件，移入回收站 ") + QString::number(out.moved) + QStringLiteral(" 个"));
        out.message =
            QStringLiteral("已撤销导入: ") + QString::number(out.moved) + QStringLiteral(" 个文件已移入回收站");
        if (out.refused > 0)
            out.message += QStringLiteral(", ") + QString::number(out.refused) + QStringLiteral(" 个文件未能移入");
        if (out.kept > 0)
            out.message +=
                QStringLiteral(", 保护分组中的 ") + QString::number(out.kept) + QStringLiteral(" 个文件未动");
        if (out.cancelled)
            out.message += QStringLiteral(" (已取消)");
        return R(out);
    });
}
