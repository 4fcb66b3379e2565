#include "archive/FileRecords.h"

#include "archive/ExportGuard.h"
#include "archive/GroupPath.h"
#include "archive/ProtectedGroups.h"
#include "archive/Trash.h"
#include "archive/Versions.h"
#include "platform/Clock.h"
#include "platform/FileCopy.h"
#include "platform/PrivateFolder.h"
#include "platform/Progress.h"
#include "platform/Sha256.h"
#include "store/ColumnSettings.h"
#include "store/ContentIndex.h"
#include "store/CurrentOperator.h"
#include "store/DataStore.h"
#include "store/FileNumbering.h"
#include "store/LogWriter.h"
#include "store/RecordContent.h"
#include "store/RecordRows.h"
#include "store/SizeText.h"
#include "store/WjColumns.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace {

const QString kSpareTitle = QStringLiteral("备用字段");

// The wj columns a list setting may name; nothing else is read.
const QSet<QString>& knownColumns()
{
    return WjColumns::nameable();
}

}  // namespace

// New content for a record, read or staged before the transaction.
struct FileRecords::Incoming {
    QString type;
    qint64 size = 0;
    bool outside = false;
    QByteArray bytes;    // content held in the database
    QString stagedPath;  // content staged in the store folder
    QString sha256;      // of the content, computed from the one read that stores it
};

std::optional<Failure> FileRecords::prepareIncoming(const QString& sourcePath, Progress* progress, Incoming* in)
{
    const QFileInfo source(sourcePath);
    if (sourcePath.isEmpty() || !source.isFile() || !source.isReadable())
        return fail(PrepareFailed, QStringLiteral("cannot read %1").arg(sourcePath));
    in->type = splitFileName(sourcePath).second;
    in->outside = keptOutside(source.size());
    if (in->outside) {
        if (const Status folder = m_folder.ensureExists(); !folder)
            return fail(FolderFailed, folder.detail());
        // The size the file had when it was chosen is the size stored, or nothing.
        const StoreFolder::Stored staged = m_folder.stage(sourcePath, progress, source.size());
        if (!staged)
            return fail(staged.cancelled ? QStringLiteral("上传文件取消!") : PrepareFailed, staged.error,
                        staged.cancelled);
        in->stagedPath = staged.absolutePath;
        in->size = staged.bytes;
        in->sha256 = staged.sha256;
        return std::nullopt;
    }
    QFile f(sourcePath);
    if (!f.open(QIODevice::ReadOnly))
        return fail(PrepareFailed, f.errorString());
    in->bytes = f.read(m_sizeBound > 0 ? m_sizeBound : 0);
    // The file grew past the bound since it was chosen: refuse rather than cut it.
    if (!f.atEnd() || in->bytes.size() != source.size())
        return fail(PrepareFailed, QStringLiteral("%1 changed while being read").arg(sourcePath));
    in->size = in->bytes.size();
    in->sha256 = Sha256::of(in->bytes);
    return std::nullopt;
}

FileRecords::FileRecords(DataStore& store, StoreFolder folder, const CurrentOperator& op, qint64 sizeBound)
    : m_store(store), m_folder(std::move(folder)), m_operator(op), m_sizeBound(sizeBound)
{
}

QPair<QString, QString> FileRecords::splitFileName(const QString& fileName)
{
    const QString base = QFileInfo(fileName).fileName();
    const int dot = base.lastIndexOf(QLatin1Char('.'));
    // A leading dot alone (".profile") is a name, not a type.
    if (dot <= 0)
        return {base, QString()};
    return {base.left(dot), base.mid(dot + 1)};
}

Failure FileRecords::fail(const QString& message, const QString& detail, bool cancelled)
{
    // The system's text, with the cause where a clerk can act on it.
    return Failure{cancelled ? message : PrivateFolder::withCause(message, detail), detail, cancelled};
}

bool FileRecords::writeLog(const QString& content)
{
    LogWriter log(m_store, m_operator);
    return log.write(content);
}

Result<bool> FileRecords::groupExists(const QString& path)
{
    if (path.trimmed().isEmpty())
        return false;
    const Result<QList<GroupPath::Group>> groups = GroupPath::groups(m_store);
    if (!groups)
        return Result<bool>::fail(QString(), groups.detail());
    for (const GroupPath::Group& g : groups.value())
        if (g.path == path)
            return true;
    return false;
}

Status FileRecords::checkFields(const RecordFields& fields, bool adding)
{
    if (fields.name.trimmed().isEmpty())
        return Status::fail(EmptyName);
    const Result<bool> exists = groupExists(fields.group);
    if (!exists)
        return Status::fail(adding ? PrepareFailed : ModifyFailed, exists.detail());
    if (!exists.value())
        return Status::fail(NoGroup);
    return {};
}

Result<QList<FileRecords::SameName>> FileRecords::sameName(const QString& name, const QString& type,
                                                           const ProtectedGroups& open)
{
    using Found = Result<QList<SameName>>;
    // The records of closed protected groups are never named, not even by
    // a question: without the group list every group counts as closed.
    QStringList closed;
    if (!open.readClosedPaths(m_store, &closed))
        return Found::fail(PrivateFolder::withCause(PrepareFailed, m_store.lastError()),
                           QStringLiteral("wjfz: ") + m_store.lastError());
    Found found = RecordRows::sameName(m_store, name, type, closed);
    if (!found)
        return Found::fail(PrivateFolder::withCause(PrepareFailed, found.detail()), found.detail());
    return found;
}

QString FileRecords::sameNameQuestion(const SameName& found)
{
    return QStringLiteral("系统中存在重名文件! 是否继续?\r\n")
        + LogWriter::fileDetails(found.number, found.name, found.type) + QStringLiteral(" 所属分组:\\") + found.group
        + QStringLiteral(" 上传时间:") + found.storedAt;
}

Result<bool> FileRecords::nameTaken(const QString& name)
{
    // A name that some record refers to is not free, even when its file is
    // missing. A lookup that fails is a failure, never "taken": on a damaged
    // archive every name would be taken and the search would never end.
    return RecordRows::keptPathInUse(m_store, m_folder.storedPath(name), m_folder.folder() + QLatin1Char('/') + name);
}

Result<bool> FileRecords::keptFileShared(const QString& lj, qint64 id)
{
    // Another record naming the same kept file keeps it alive (e.g. one
    // copied by an older program together with its path).
    const QString absolute = m_folder.resolve(lj);
    return RecordRows::keptPathShared(m_store, id, lj, absolute, m_folder.storedPath(QFileInfo(absolute).fileName()));
}

Result<std::optional<FileRecord>> FileRecords::read(qint64 id)
{
    return RecordRows::read(m_store, id);
}

Result<QByteArray> FileRecords::content(qint64 id)
{
    // Held content is read in one place, wherever the record's content lies.
    return RecordContent::read(m_store, id);
}

// ------------------------------------------------------------------- add

Result<StoredRecord> FileRecords::add(const RecordFields& fields, const QString& sourcePath, Progress* progress,
                                      const AddHooks& hooks)
{
    if (const Status checked = checkFields(fields, true); !checked)
        return fail(checked.message(), checked.detail());
    return addChecked(fields, sourcePath, LogWriter::FileAdded, QString(), progress, hooks);
}

Result<StoredRecord> FileRecords::addChecked(const RecordFields& fields, const QString& sourcePath,
                                             const QString& logPrefix, const QString& logSuffix, Progress* progress,
                                             const AddHooks& hooks)
{
    Incoming in;
    if (auto refusedContent = prepareIncoming(sourcePath, progress, &in))
        return *refusedContent;
    // The caller looks at the content's hash before anything is written.
    if (hooks.admit && !hooks.admit(in.sha256)) {
        m_folder.discard(in.stagedPath);
        return Failure{QString(), QStringLiteral("not admitted"), true};
    }

    // From here on, whatever fails leaves neither a row nor a file.
    QString placed;
    auto undo = [&](const QString& message, const QString& detail) {
        if (!placed.isEmpty())
            QFile::remove(placed);
        m_folder.discard(in.stagedPath);
        return fail(message, detail);
    };

    Transaction tx(m_store);
    if (!tx.isActive())
        return undo(InsertFailed, m_store.lastError());

    const ::Result<QString> number = FileNumbering::draw(m_store);
    if (!number)
        return undo(NumberingFailed, number.detail());

    const Result<qint64> xh = RecordRows::nextPosition(m_store);
    if (!xh)
        return undo(InsertFailed, xh.detail());

    QString lj;
    if (in.outside) {
        const StoreFolder::Stored s =
            m_folder.place(in.stagedPath, *number, in.type, [this](const QString& n) { return nameTaken(n); });
        if (!s)
            return undo(PrepareFailed, s.error);
        in.stagedPath.clear();
        placed = s.absolutePath;
        lj = s.storedPath;
    }

    FileRecord row;
    row.position = xh.value();
    row.number = *number;
    row.name = fields.name;
    row.group = fields.group;
    row.type = in.type;
    row.sizeText = sizeText(in.size);
    row.size = in.size;
    row.spare = fields.spare;
    row.storedBy = m_operator.userName();
    row.storedAt = appClock().nowText();
    row.remark = fields.remark;
    row.keptPath = lj;
    // The row holds no content: held content goes to its own table, in this transaction.
    const Result<qint64> inserted = RecordRows::insert(m_store, row);
    if (!inserted)
        return undo(InsertFailed, inserted.detail());
    const qint64 id = inserted.value();
    {
        const Status held = in.outside ? RecordContent::keep(m_store, id, in.sha256)
                                       : RecordContent::write(m_store, id, in.bytes, in.sha256);
        if (!held)
            return undo(InsertFailed, held.detail());
    }
    in.bytes.clear();
    if (hooks.written)
        if (const Status also = hooks.written(id); !also)
            return undo(InsertFailed, also.detail());
    // The log line commits with the record (one sync instead of two); a log
    // line that cannot be written does not stop the add.
    const QString details = LogWriter::fileDetails(*number, fields.name, in.type);
    const bool logged = writeLog(logPrefix + details + logSuffix);
    if (!tx.commit())
        return undo(InsertFailed, m_store.lastError());

    return {StoredRecord{id, *number, !logged}, details + SavedSuffix};
}

// ---------------------------------------------------------------- modify

Result<StoredRecord> FileRecords::modify(qint64 id, const RecordFields& fields, const QString& newSourcePath,
                                         Progress* progress)
{
    const Result<std::optional<FileRecord>> found = read(id);
    if (!found)
        return fail(ModifyFailed, found.detail());
    if (!found.value())
        return fail(ModifyFailed, QStringLiteral("record %1 not found").arg(id));
    const std::optional<FileRecord>& old = found.value();
    if (old->number.trimmed().isEmpty())
        return fail(ModifyNoNumber, QString());
    if (const Status checked = checkFields(fields, false); !checked)
        return fail(checked.message(), checked.detail());

    bool replacing = !newSourcePath.isEmpty();
    // The old kept file goes after the commit: it must be removable before
    // anything changes, or the modify would leave it behind as an orphan.
    if (replacing && !old->keptPath.isEmpty()) {
        const QString kept = m_folder.resolve(old->keptPath);
        if (!kept.isEmpty() && m_folder.contains(kept) && QFileInfo::exists(kept)
            && (QFileInfo(kept).isDir() || !QFileInfo(QFileInfo(kept).absolutePath()).isWritable()))
            return fail(ModifyFailed, QStringLiteral("%1 cannot be removed: Permission denied").arg(kept));
    }
    Incoming in;
    if (replacing) {
        if (auto refusedContent = prepareIncoming(newSourcePath, progress, &in))
            return *refusedContent;
    }
    // The content being replaced becomes a version (archive/Versions.h).
    // New content identical to it stores nothing: the content stays, and
    // no version is made.
    Versions versions(*this);
    std::optional<Versions::Keeping> keeping;
    if (replacing) {
        const Result<Versions::Keeping> prepared = versions.prepare(*old, progress);
        if (!prepared) {
            m_folder.discard(in.stagedPath);
            return prepared.cancelled() ? fail(QStringLiteral("上传文件取消!"), QString(), true)
                                        : fail(ModifyFailed, prepared.detail());
        }
        Versions::Keeping k = prepared.value();
        const QString incoming = in.outside || !in.sha256.isEmpty() ? in.sha256 : Sha256::of(in.bytes);
        if (!k.nothing && k.sha256.compare(incoming, Qt::CaseInsensitive) == 0 && old->size == in.size) {
            versions.discard(k);
            m_folder.discard(in.stagedPath);
            in = Incoming();
            replacing = false;
        } else {
            keeping = std::move(k);
        }
    }

    QString placed;
    auto undo = [&](const QString& message, const QString& detail) {
        if (!placed.isEmpty())
            QFile::remove(placed);
        m_folder.discard(in.stagedPath);
        if (keeping)
            versions.discard(*keeping);
        return fail(message, detail);
    };

    Transaction tx(m_store);
    if (!tx.isActive())
        return undo(ModifyFailed, m_store.lastError());
    if (keeping)
        if (const Status kept = versions.keep(*keeping); !kept)
            return undo(ModifyFailed, kept.detail());

    QString lj;
    if (replacing && in.outside) {
        const StoreFolder::Stored s =
            m_folder.place(in.stagedPath, old->number, in.type, [this](const QString& n) { return nameTaken(n); });
        if (!s)
            return undo(PrepareFailed, s.error);
        in.stagedPath.clear();
        placed = s.absolutePath;
        lj = s.storedPath;
    }

    FileRecord row;
    row.id = id;
    row.name = fields.name;
    row.group = fields.group;
    row.spare = fields.spare;
    row.changedBy = m_operator.userName();
    row.changedAt = appClock().nowText();
    row.remark = fields.remark;
    if (replacing) {
        row.type = in.type;
        row.sizeText = sizeText(in.size);
        row.size = in.size;
        row.keptPath = lj;
    }
    if (const Status changed = RecordRows::change(m_store, row, replacing); !changed)
        return undo(ModifyFailed, changed.detail());
    if (replacing) {
        const Status held =
            in.outside ? RecordContent::keep(m_store, id, in.sha256) : RecordContent::write(m_store, id, in.bytes);
        if (!held)
            return undo(ModifyFailed, held.detail());
        // The old text goes with the old content: the record waits to be read again.
        if (const Status unindexed = ContentIndex::remove(m_store, id); !unindexed)
            return undo(ModifyFailed, unindexed.detail());
    }
    in.bytes.clear();
    const QString details = LogWriter::fileDetails(old->number, fields.name, replacing ? in.type : old->type);
    const bool logged = writeLog(LogWriter::FileModified + details);
    if (!tx.commit())
        return undo(ModifyFailed, m_store.lastError());

    const StoredRecord changed{id, old->number, !logged};
    // The old kept file goes only now that no record refers to it. Should it
    // stay after all, the record is changed but the window says so.
    // A kept file the new version took over stays where it is.
    if (replacing && !old->keptPath.isEmpty() && m_folder.resolve(old->keptPath) != placed
        && !(keeping && keeping->adopted)) {
        // Kept while it cannot be told whether another record names it.
        const Result<bool> shared = keptFileShared(old->keptPath, id);
        if (!shared)
            return {changed, PrivateFolder::withCause(DeleteFileFailed, shared.detail())};
        if (!shared.value())
            if (const Status removed = m_folder.remove(old->keptPath); !removed)
                return {changed, PrivateFolder::withCause(DeleteFileFailed, removed.detail())};
    }
    return {changed, details + SavedSuffix};
}

// ---------------------------------------------------------------- delete

Result<StoredRecord> FileRecords::remove(qint64 id)
{
    // Into the trash: the row moves whole, its content and kept file stay
    // (archive/Trash.h).
    bool logFailed = false;
    const Result<QList<Trash::Item>> moved = Trash::moveInChunk(m_store, m_operator, {id}, &logFailed);
    if (!moved)
        return fail(moved.message().isEmpty() ? DeleteRowFailed : moved.message(), moved.detail());
    const Trash::Item& item = moved->first();
    if (!item.done)
        return fail(item.message, item.detail);
    return StoredRecord{id, item.number, logFailed};
}

// -------------------------------------------------------------- save out

Result<StoredRecord> FileRecords::saveOut(qint64 id, const QString& targetPath, Progress* progress)
{
    const Result<std::optional<RecordRows::Brief>> found = RecordRows::brief(m_store, id);
    if (!found || !found->has_value())
        return fail(SaveOutFailed, found ? QStringLiteral("record %1 not found").arg(id) : found.detail());
    const RecordRows::Brief& r = **found;
    const QString mc = r.name;
    const QString lx = r.type;
    const ExportedContent::Source source{id, r.keptPath, r.size, r.sha256};
    const QString bh = r.number;
    if (targetPath.isEmpty())
        return fail(SaveOutFailed, QStringLiteral("no target"));
    // Never into the archive itself: the Data folder, the store folder.
    if (const Status allowed = ExportGuard(m_store, m_folder).checkFile(targetPath); !allowed)
        return Failure{allowed.message(), allowed.detail()};
    if (!source.keptPath.isEmpty() && !QFileInfo::exists(m_folder.resolve(source.keptPath)))
        return fail(SaveOutFailed, QStringLiteral("kept file %1 missing").arg(m_folder.resolve(source.keptPath)));

    ExportedContent content(m_store, m_folder);
    const ExportedContent::Copied written = content.copy(source, targetPath, FileCopy::Replace::Allowed, progress);
    if (written.kind == ExportedContent::Copied::Kind::Damaged)
        return Failure{ExportedContent::damagedText(LogWriter::fileDetails(bh, mc, lx), written.damage),
                       written.detail};
    if (!written.ok()) {
        const bool cancelled = written.kind == ExportedContent::Copied::Kind::Cancelled;
        return fail(cancelled ? QString() : SaveOutFailed, written.detail, cancelled);
    }

    const QString details = LogWriter::fileDetails(bh, mc, lx);
    const bool logged = writeLog(LogWriter::FileExported + details + QStringLiteral(" 至 ") + targetPath);
    return {StoredRecord{id, bh, !logged}, details + SavedOutSuffix};
}

// ------------------------------------------------------------ properties

Result<std::optional<QList<QPair<QString, QString>>>> FileRecords::properties(qint64 id, bool detailed)
{
    using Rows = std::optional<QList<QPair<QString, QString>>>;
    const Result<QList<ColumnSettings::Row>> titles = ColumnSettings::titledFields(m_store, kSpareTitle);
    if (!titles)
        return Failure{QString(), titles.detail()};
    struct Field {
        QString title, column;
        int number;
    };
    QList<Field> wanted;
    for (const ColumnSettings::Row& t : titles.value()) {
        const QString column = t.field.trimmed().toLower();
        if (!knownColumns().contains(column))
            continue;
        wanted.append({t.title, column, t.bh});
    }

    QStringList columns{QStringLiteral("lj"), QString::fromLatin1(RecordContent::HashColumn)};
    for (const Field& f : wanted)
        columns << f.column;
    const Result<std::optional<QStringList>> values = RecordRows::texts(m_store, id, columns);
    if (!values)
        return Failure{QString(), values.detail()};
    if (!values->has_value())
        return Rows();
    const QStringList& value = **values;

    // The brief view: number, name, group, type, size and the filled spare fields.
    QList<QPair<QString, QString>> rows;
    for (int i = 0; i < wanted.size(); ++i) {
        const Field& f = wanted.at(i);
        const QString& text = value.at(i + 2);
        const bool spare = f.number >= WjColumns::FirstSpareBh && f.number <= WjColumns::LastSpareBh;
        if (!detailed && !(f.number >= 1 && f.number <= 5) && !(spare && !text.isEmpty()))
            continue;
        rows.append({f.title, text});
    }
    if (detailed) {
        const QString& lj = value.at(0);
        rows.append({QStringLiteral("存放位置"), lj.isEmpty() ? QStringLiteral("数据库") : m_folder.resolve(lj)});
        rows.append({ContentHashTitle, value.at(1)});
    }
    return Rows(std::move(rows));
}
