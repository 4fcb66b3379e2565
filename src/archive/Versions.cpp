#include "archive/Versions.h"

#include "archive/ArchiveCheck.h"
#include "archive/FileOpening.h"
#include "archive/ProtectedGroups.h"
#include "platform/Clock.h"
#include "platform/FileCopy.h"
#include "platform/PrivateFolder.h"
#include "platform/Sha256.h"
#include "store/ContentIndex.h"
#include "store/CurrentOperator.h"
#include "store/DataStore.h"
#include "store/LogWriter.h"
#include "store/RecordContent.h"
#include "store/RecordRows.h"
#include "store/SizeText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

namespace {

Failure failWith(const QString& message, const QString& detail)
{
    return Failure{PrivateFolder::withCause(message, detail), detail, false};
}

}  // namespace

QString Versions::restoreQuestion(int number)
{
    return QStringLiteral("确定要将版本 %1 恢复为当前版本吗? 当前内容将保存为新的历史版本。").arg(number);
}

QString Versions::versionTag(int number)
{
    return QStringLiteral("（版本 %1）").arg(number);
}

Versions::Versions(FileRecords& records) : m_records(records), m_store(records.store()), m_folder(records.storeFolder())
{
}

bool Versions::writeLog(const QString& line)
{
    return LogWriter(m_store, m_records.currentOperator()).write(line);
}

Result<bool> Versions::nameTaken(const QString& name)
{
    // A name a record, a record in the trash or a version names is not free.
    return RecordRows::keptPathInUse(m_store, m_folder.storedPath(name), m_folder.folder() + QLatin1Char('/') + name);
}

// ------------------------------------------------------- keeping content

Result<Versions::Keeping> Versions::prepare(const FileRecord& current, Progress* progress)
{
    Keeping k;
    k.current = current;
    const Result<QString> recorded = RecordContent::hash(m_store, current.id);
    if (!recorded)
        return Result<Keeping>::fail(QString(), recorded.detail());
    k.sha256 = recorded->toLower();

    if (current.keptPath.trimmed().isEmpty()) {
        const Result<bool> holds = RecordContent::holds(m_store, current.id);
        if (!holds)
            return Result<Keeping>::fail(QString(), holds.detail());
        if (!holds.value())
            return k;  // nothing stored to keep
        if (k.sha256.isEmpty()) {
            const Result<QByteArray> bytes = RecordContent::read(m_store, current.id);
            if (!bytes)
                return Result<Keeping>::fail(QString(), bytes.detail());
            k.sha256 = Sha256::of(bytes.value());
        }
        k.held = true;
        k.nothing = false;
        return k;
    }

    const QString path = m_folder.resolve(current.keptPath);
    const QFileInfo fi(path);
    if (!fi.isFile())
        return k;  // the file is gone: nothing left to keep
    if (k.sha256.isEmpty()) {
        k.sha256 = Sha256::ofFile(path);
        if (k.sha256.isEmpty())
            return Result<Keeping>::fail(QString(), QStringLiteral("cannot read %1").arg(path));
    }
    k.nothing = false;
    // A regular file directly in the store folder that no other record
    // names becomes the version's where it lies.
    const Result<bool> shared =
        RecordRows::keptPathShared(m_store, current.id, current.keptPath, path, m_folder.storedPath(fi.fileName()));
    if (!shared)
        return Result<Keeping>::fail(QString(), shared.detail());
    k.adoptable = !shared.value() && !fi.isSymLink() && QDir::cleanPath(fi.absolutePath()) == m_folder.folder();
    if (k.adoptable)
        return k;
    const Result<std::optional<VersionRows::Content>> there = VersionRows::content(m_store, k.sha256);
    if (!there)
        return Result<Keeping>::fail(QString(), there.detail());
    if (there->has_value())
        return k;  // stored already: nothing to copy
    const StoreFolder::Stored staged = m_folder.stage(path, progress, fi.size());
    if (!staged)
        return staged.cancelled ? Result<Keeping>::cancel() : Result<Keeping>::fail(QString(), staged.error);
    k.staged = staged.absolutePath;
    return k;
}

Status Versions::keep(Keeping& k)
{
    if (k.nothing)
        return {};
    const FileRecord& r = k.current;
    const Result<std::optional<VersionRows::Content>> there = VersionRows::content(m_store, k.sha256);
    if (!there)
        return Status(there.failure());
    if (!there->has_value()) {
        if (k.held) {
            if (const Status stored = VersionRows::storeHeldOf(m_store, r.id, k.sha256, r.size); !stored)
                return stored;
        } else if (k.adoptable) {
            const QString name = QFileInfo(m_folder.resolve(r.keptPath)).fileName();
            if (const Status stored = VersionRows::storeKept(m_store, k.sha256, r.size, m_folder.storedPath(name));
                !stored)
                return stored;
            k.adopted = true;
        } else if (!k.staged.isEmpty()) {
            const StoreFolder::Stored s =
                m_folder.place(k.staged, r.number, r.type, [this](const QString& n) { return nameTaken(n); });
            if (!s)
                return Status::fail(QString(), s.error);
            k.staged.clear();
            k.placed = s.absolutePath;
            if (const Status stored = VersionRows::storeKept(m_store, k.sha256, r.size, s.storedPath); !stored)
                return stored;
        } else {
            // Stored when prepared, gone since: keep nothing rather than guess.
            return Status::fail(QString(), QStringLiteral("version content %1 went away").arg(k.sha256));
        }
    }
    VersionRows::Version v;
    v.recordId = r.id;
    v.by = m_records.currentOperator().userName();
    v.at = appClock().nowText();
    v.size = r.size;
    v.sha256 = k.sha256;
    v.name = r.name;
    v.type = r.type;
    const Result<VersionRows::Version> added = VersionRows::add(m_store, v);
    if (!added)
        return Status(added.failure());
    return {};
}

void Versions::discard(Keeping& k)
{
    m_folder.discard(k.staged);
    k.staged.clear();
    if (!k.placed.isEmpty())
        QFile::remove(k.placed);
    k.placed.clear();
    k.adopted = false;
}

Status Versions::removeKeptFiles(const StoreFolder& folder, const QStringList& keptPaths)
{
    QStringList stayed;
    for (const QString& lj : keptPaths)
        if (const Status gone = folder.remove(lj); !gone)
            stayed << gone.detail();
    if (!stayed.isEmpty())
        return Status::fail(QString(), stayed.join(QLatin1Char('\n')));
    return {};
}

// ------------------------------------------------------------ the list

Result<QList<VersionRows::Version>> Versions::list(qint64 recordId)
{
    return VersionRows::list(m_store, recordId);
}

Result<Versions::Found> Versions::find(qint64 versionId, const QString& failure)
{
    using Out = Result<Found>;
    if (versionId < 0)
        return Out::fail(NoVersion);
    const Result<std::optional<VersionRows::Version>> v = VersionRows::read(m_store, versionId);
    if (!v)
        return failWith(failure, v.detail());
    if (!v->has_value())
        return Out::fail(NoVersion, QStringLiteral("version %1 not found").arg(versionId));
    const Result<std::optional<FileRecord>> r = m_records.read((*v)->recordId);
    if (!r)
        return failWith(failure, r.detail());
    if (!r->has_value())
        return Out::fail(NoVersion, QStringLiteral("record %1 not found").arg((*v)->recordId));
    if (m_open && m_open->isHidden(m_store, (*r)->group))
        return Out::fail(NoVersion, QStringLiteral("record %1 lies in a closed group").arg((*v)->recordId));
    const Result<std::optional<VersionRows::Content>> c = VersionRows::content(m_store, (*v)->sha256);
    if (!c)
        return failWith(failure, c.detail());
    const QString details = LogWriter::fileDetails((*r)->number, (*v)->name, (*v)->type) + versionTag((*v)->number);
    if (!c->has_value())
        return Out::fail(ExportedContent::damagedText(details, ArchiveCheck::ContentMissing),
                         QStringLiteral("no content %1").arg((*v)->sha256));
    return Found{**v, **r, **c};
}

ExportedContent::Copied Versions::copyContent(const VersionRows::Content& content, const QString& target,
                                              FileCopy::Replace replace, Progress* progress)
{
    using Copied = ExportedContent::Copied;
    if (content.isKept()) {
        // Read as a record's kept file is: from the store folder itself,
        // never through a link, checked as it is copied.
        ExportedContent out(m_store, m_folder);
        return out.copy({-1, content.keptPath, content.size, content.sha256}, target, replace, progress);
    }
    Copied c;
    const Result<QByteArray> bytes = VersionRows::bytes(m_store, content.sha256);
    if (!bytes) {
        c.detail = bytes.detail();
        return c;
    }
    if (bytes->size() != content.size) {
        c.kind = Copied::Kind::Damaged;
        c.damage = ArchiveCheck::SizeDiffers;
        c.detail = QStringLiteral("%1 bytes held, %2 recorded").arg(bytes->size()).arg(content.size);
        return c;
    }
    const FileCopy::Result r = FileCopy::write(bytes.value(), target, replace, progress, nullptr, FileCopy::Sync::Each,
                                               FileCopy::Expect{content.size, content.sha256});
    c.bytes = r.bytes;
    c.detail = r.error;
    c.kind = r.ok                                ? Copied::Kind::Written
        : r.cancelled                            ? Copied::Kind::Cancelled
        : r.mismatch != FileCopy::Mismatch::None ? Copied::Kind::Damaged
                                                 : Copied::Kind::Failed;
    if (r.mismatch != FileCopy::Mismatch::None)
        c.damage = r.mismatch == FileCopy::Mismatch::Size ? ArchiveCheck::SizeDiffers : ArchiveCheck::ContentDamaged;
    return c;
}

// -------------------------------------------------------- make current

Result<StoredRecord> Versions::makeCurrent(qint64 versionId, Progress* progress)
{
    using Out = Result<StoredRecord>;
    const Result<Found> found = find(versionId, RestoreFailed);
    if (!found)
        return found.failure();
    const VersionRows::Version& v = found->version;
    const FileRecord& r = found->record;
    const VersionRows::Content& c = found->content;
    const QString details = LogWriter::fileDetails(r.number, r.name, v.type);

    const Result<QString> current = RecordContent::hash(m_store, r.id);
    if (!current)
        return failWith(RestoreFailed, current.detail());
    if (current->compare(v.sha256, Qt::CaseInsensitive) == 0 && r.size == v.size)
        return Out::fail(SameAsCurrent);

    // The version's bytes, checked against its SHA-256 before anything changes.
    QString staged;
    QByteArray bytes;
    auto damaged = [&](const ExportedContent::Copied& copied) {
        return Out::fail(ExportedContent::damagedText(details + versionTag(v.number), copied.damage), copied.detail);
    };
    if (c.isKept()) {
        if (const Status folder = m_folder.ensureExists(); !folder)
            return failWith(RestoreFailed, folder.detail());
        staged = QDir(m_folder.folder())
                     .filePath(QStringLiteral(".kvpart-version-%1.part")
                                   .arg(QRandomGenerator::global()->generate64() & 0xffffffffffffull, 0, 36));
        const ExportedContent::Copied copied = copyContent(c, staged, FileCopy::Replace::Never, progress);
        if (copied.kind == ExportedContent::Copied::Kind::Damaged)
            return damaged(copied);
        if (copied.kind == ExportedContent::Copied::Kind::Cancelled)
            return Out::cancel();
        if (!copied.ok())
            return failWith(RestoreFailed, copied.detail);
        if (const Status restricted = PrivateFolder::restrictFile(staged); !restricted) {
            QFile::remove(staged);
            return failWith(RestoreFailed, restricted.detail());
        }
    } else {
        const Result<QByteArray> read = VersionRows::bytes(m_store, c.sha256);
        if (!read)
            return failWith(RestoreFailed, read.detail());
        bytes = read.value();
        if (bytes.size() != c.size || Sha256::of(bytes).compare(c.sha256, Qt::CaseInsensitive) != 0) {
            ExportedContent::Copied copied;
            copied.damage = bytes.size() != c.size ? ArchiveCheck::SizeDiffers : ArchiveCheck::ContentDamaged;
            copied.detail = QStringLiteral("inline content %1 differs").arg(c.sha256);
            return damaged(copied);
        }
    }

    const Result<Keeping> prepared = prepare(r, progress);
    if (!prepared) {
        m_folder.discard(staged);
        return prepared.cancelled() ? Out::cancel() : failWith(RestoreFailed, prepared.detail());
    }
    Keeping keeping = prepared.value();
    QString placed;
    auto undo = [&](const QString& detail) {
        if (!placed.isEmpty())
            QFile::remove(placed);
        m_folder.discard(staged);
        discard(keeping);
        return failWith(RestoreFailed, detail);
    };

    Transaction tx(m_store);
    if (!tx.isActive())
        return undo(m_store.lastError());
    if (const Status kept = keep(keeping); !kept)
        return undo(kept.detail());
    QString lj;
    if (c.isKept()) {
        const StoreFolder::Stored s =
            m_folder.place(staged, r.number, v.type, [this](const QString& n) { return nameTaken(n); });
        if (!s)
            return undo(s.error);
        staged.clear();
        placed = s.absolutePath;
        lj = s.storedPath;
    }
    FileRecord row = r;
    row.changedBy = m_records.currentOperator().userName();
    row.changedAt = appClock().nowText();
    row.type = v.type;
    row.size = c.size;
    row.sizeText = sizeText(c.size);
    row.keptPath = lj;
    if (const Status changed = RecordRows::change(m_store, row, true); !changed)
        return undo(changed.detail());
    const Status held = c.isKept() ? RecordContent::keep(m_store, r.id, v.sha256.toLower())
                                   : RecordContent::write(m_store, r.id, bytes);
    if (!held)
        return undo(held.detail());
    if (const Status unindexed = ContentIndex::remove(m_store, r.id); !unindexed)
        return undo(unindexed.detail());
    const bool logged = writeLog(RestoreLogPrefix + details + QStringLiteral("，版本 %1").arg(v.number));
    if (!tx.commit())
        return undo(m_store.lastError());

    const StoredRecord done{r.id, r.number, !logged};
    // The replaced kept file goes unless the new version took it over.
    if (!r.keptPath.isEmpty() && !keeping.adopted && m_folder.resolve(r.keptPath) != placed) {
        const QString absolute = m_folder.resolve(r.keptPath);
        const Result<bool> shared = RecordRows::keptPathShared(m_store, r.id, r.keptPath, absolute,
                                                               m_folder.storedPath(QFileInfo(absolute).fileName()));
        if (!shared)
            return {done, PrivateFolder::withCause(FileRecords::DeleteFileFailed, shared.detail())};
        if (!shared.value())
            if (const Status removed = m_folder.remove(r.keptPath); !removed)
                return {done, PrivateFolder::withCause(FileRecords::DeleteFileFailed, removed.detail())};
    }
    return {done, details + versionTag(v.number) + RestoredSuffix};
}

// ------------------------------------------------------ open, save out

Result<QString> Versions::extract(qint64 versionId, const QString& extractionFolder, Progress* progress)
{
    const Result<Found> found = find(versionId, FileOpening::WriteFailed);
    if (!found)
        return found.failure();
    const VersionRows::Version& v = found->version;
    const FileRecord& r = found->record;
    if (const Status allowed = ExportGuard(m_store, m_folder).checkFolder(extractionFolder); !allowed)
        return Result<QString>::fail(allowed.message(), allowed.detail());
    if (const Status base = PrivateFolder::ensure(extractionFolder); !base)
        return failWith(FileOpening::WriteFailed, base.detail());
    // A folder of its own for every opening, as "打开" makes.
    const QDir base(extractionFolder);
    QString folder;
    for (int n = 1; n <= StoreFolder::MaxNameTries && folder.isEmpty(); ++n) {
        const QString name = QStringLiteral("%1-v%2-%3").arg(r.id).arg(v.number).arg(n);
        if (base.exists(name) || QFileInfo(base.filePath(name)).isSymLink() || !base.mkdir(name))
            continue;
        folder = base.filePath(name);
    }
    if (folder.isEmpty())
        return Result<QString>::fail(FileOpening::WriteFailed, QStringLiteral("no free sub-folder"));
    if (const Status narrowed = PrivateFolder::narrow(folder); !narrowed)
        return Result<QString>::fail(FileOpening::WriteFailed, narrowed.detail());
    const QString target = QDir(folder).filePath(FileOpening::safeFileName(v.name, v.type));
    const ExportedContent::Copied written = copyContent(found->content, target, FileCopy::Replace::Never, progress);
    if (!written.ok()) {
        QDir(folder).removeRecursively();
        if (written.kind == ExportedContent::Copied::Kind::Cancelled)
            return Result<QString>::cancel();
        if (written.kind == ExportedContent::Copied::Kind::Damaged)
            return Result<QString>::fail(
                ExportedContent::damagedText(LogWriter::fileDetails(r.number, v.name, v.type) + versionTag(v.number),
                                             written.damage),
                written.detail);
        return failWith(FileOpening::WriteFailed, written.detail);
    }
    if (const Status restricted = PrivateFolder::restrictFile(target); !restricted) {
        QDir(folder).removeRecursively();
        return Result<QString>::fail(FileOpening::WriteFailed, restricted.detail());
    }
    // Not counted as a view of the record: the record's content was not read.
    if (!writeLog(LogWriter::FileViewed + r.number + QStringLiteral("，") + v.name + versionTag(v.number)))
        return Result<QString>(target, LogWriter::FailureMessage);
    return target;
}

Result<StoredRecord> Versions::saveOut(qint64 versionId, const QString& targetPath, Progress* progress)
{
    using Out = Result<StoredRecord>;
    const Result<Found> found = find(versionId, FileRecords::SaveOutFailed);
    if (!found)
        return found.failure();
    const VersionRows::Version& v = found->version;
    const FileRecord& r = found->record;
    if (targetPath.isEmpty())
        return Out::fail(FileRecords::SaveOutFailed, QStringLiteral("no target"));
    if (const Status allowed = ExportGuard(m_store, m_folder).checkFile(targetPath); !allowed)
        return Out::fail(allowed.message(), allowed.detail());
    const QString details = LogWriter::fileDetails(r.number, v.name, v.type) + versionTag(v.number);
    const ExportedContent::Copied written =
        copyContent(found->content, targetPath, FileCopy::Replace::Allowed, progress);
    if (written.kind == ExportedContent::Copied::Kind::Damaged)
        return Out::fail(ExportedContent::damagedText(details, written.damage), written.detail);
    if (written.kind == ExportedContent::Copied::Kind::Cancelled)
        return Out::cancel();
    if (!written.ok())
        return failWith(FileRecords::SaveOutFailed, written.detail);
    const bool logged = writeLog(LogWriter::FileExported + details + QStringLiteral(" 至 ") + targetPath);
    return {StoredRecord{r.id, r.number, !logged}, details + FileRecords::SavedOutSuffix};
}
