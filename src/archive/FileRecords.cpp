#include "archive/FileRecords.h"

#include "archive/GroupPath.h"
#include "archive/ProtectedGroups.h"
#include "platform/Clock.h"
#include "platform/FileCopy.h"
#include "platform/PrivateFolder.h"
#include "platform/Progress.h"
#include "store/CurrentOperator.h"
#include "store/DataStore.h"
#include "store/FileNumbering.h"
#include "store/LogWriter.h"
#include "store/RecordContent.h"
#include "store/SizeText.h"
#include "store/WjColumns.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace {

const QString kSpareTitle = QStringLiteral("备用字段");

// Text for a column: never NULL, so that every text column reads '' when empty.
QVariant text(const QString& s)
{
    return s.isNull() ? QVariant(QString(QLatin1String(""))) : QVariant(s);
}

using WjColumns::spareColumn;

// The wj columns a list setting may name; nothing else enters a statement.
const QSet<QString>& knownColumns()
{
    return WjColumns::nameable();
}

FileRecord readRow(const RecordSet& rs)
{
    FileRecord r;
    r.id = rs.number(QStringLiteral("id"));
    r.xh = rs.number(QStringLiteral("xh"));
    r.bh = rs.text(QStringLiteral("bh"));
    r.mc = rs.text(QStringLiteral("mc"));
    r.fz = rs.text(QStringLiteral("fz"));
    r.lx = rs.text(QStringLiteral("lx"));
    r.dx = rs.text(QStringLiteral("dx"));
    r.dxsz = rs.number(QStringLiteral("dxsz"));
    for (int i = 0; i < 15; ++i)
        r.spare[i] = rs.text(spareColumn(i));
    r.scr = rs.text(QStringLiteral("scr"));
    r.scsj = rs.text(QStringLiteral("scsj"));
    r.xgr = rs.text(QStringLiteral("xgr"));
    r.xgsj = rs.text(QStringLiteral("xgsj"));
    r.bz = rs.text(QStringLiteral("bz"));
    r.ylcs = rs.number(QStringLiteral("ylcs"));
    r.lj = rs.text(QStringLiteral("lj"));
    return r;
}

const QString kRecordColumns = QStringLiteral(
    "id,xh,bh,mc,fz,lx,dx,dxsz,b1,b2,b3,b4,b5,b6,b7,b8,b9,b10,b11,b12,b13,b14,b15,"
    "scr,scsj,xgr,xgsj,bz,ylcs,lj");

}  // namespace

// New content for a record, read or staged before the transaction.
struct FileRecords::Incoming {
    QString type;
    qint64 size = 0;
    bool outside = false;
    QByteArray bytes;      // content held in the database
    QString stagedPath;    // content staged in the store folder
};

std::optional<FileRecords::Result> FileRecords::prepareIncoming(const QString& sourcePath, Progress* progress,
                                                                Incoming* in)
{
    const QFileInfo source(sourcePath);
    if (sourcePath.isEmpty() || !source.isFile() || !source.isReadable())
        return fail(PrepareFailed, QStringLiteral("cannot read %1").arg(sourcePath));
    in->type = splitFileName(sourcePath).second;
    in->outside = keptOutside(source.size());
    if (in->outside) {
        QString why;
        if (!m_folder.ensureExists(&why))
            return fail(FolderFailed, why);
        // The size the file had when it was chosen is the size stored, or nothing.
        const StoreFolder::Stored staged = m_folder.stage(sourcePath, progress, source.size());
        if (!staged)
            return fail(staged.cancelled ? QStringLiteral("上传文件取消!") : PrepareFailed, staged.error,
                        staged.cancelled);
        in->stagedPath = staged.absolutePath;
        in->size = staged.bytes;
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
    return std::nullopt;
}

FileRecords::FileRecords(DataStore& store, StoreFolder folder, const CurrentOperator& op, qint64 sizeBound)
    : m_store(store), m_folder(std::move(folder)), m_operator(op), m_sizeBound(sizeBound)
{
}

QString FileRecords::sizeText(qint64 bytes)
{
    return ::sizeText(bytes);
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

FileRecords::Result FileRecords::fail(const QString& message, const QString& detail, bool cancelled)
{
    Result r;
    r.ok = false;
    r.cancelled = cancelled;
    // The system's text, with the cause where a clerk can act on it.
    r.message = cancelled ? message : PrivateFolder::withCause(message, detail);
    r.detail = detail;
    return r;
}

bool FileRecords::writeLog(const QString& content)
{
    LogWriter log(m_store, m_operator);
    return log.write(content);
}

bool FileRecords::groupExists(const QString& path, bool* readOk)
{
    if (readOk)
        *readOk = true;
    if (path.trimmed().isEmpty())
        return false;
    QList<GroupPath::Group> groups;
    if (!GroupPath::loadGroups(m_store, &groups)) {
        if (readOk)
            *readOk = false;
        return false;
    }
    for (const GroupPath::Group& g : groups)
        if (g.path == path)
            return true;
    return false;
}

Status FileRecords::checkFields(const RecordFields& fields, bool adding)
{
    if (fields.name.trimmed().isEmpty())
        return Status::fail(EmptyName);
    bool readOk = true;
    if (!groupExists(fields.group, &readOk)) {
        if (!readOk)
            return Status::fail(adding ? PrepareFailed : ModifyFailed, m_store.lastError());
        return Status::fail(NoGroup);
    }
    return {};
}

Result<QList<FileRecords::SameName>> FileRecords::sameName(const QString& name, const QString& type,
                                                          const ProtectedGroups& open)
{
    using Found = ::Result<QList<SameName>>;
    // The records of closed protected groups are never named, not even by
    // a question: without the group list every group counts as closed.
    QStringList closed;
    if (!open.readClosedPaths(m_store, &closed))
        return Found::fail(PrivateFolder::withCause(PrepareFailed, m_store.lastError()),
                           QStringLiteral("wjfz: ") + m_store.lastError());
    QString sql = QStringLiteral("select id,bh,mc,lx,fz,scsj from wj where mc=? and lx=?");
    QVariantList params{name, type};
    for (const QString& c : std::as_const(closed)) {
        const GroupPath::Condition hidden = GroupPath::withSubgroups(c);
        sql += QStringLiteral(" and not ") + hidden.sql;
        params += hidden.params;
    }
    RecordSet rs = m_store.query(sql + QStringLiteral(" order by id"), params);
    if (!rs)
        return Found::fail(PrivateFolder::withCause(PrepareFailed, m_store.lastError()), m_store.lastError());
    QList<SameName> out;
    for (; !rs.atEnd(); rs.next())
        out.append({rs.number(0), rs.text(1), rs.text(2), rs.text(3), rs.text(4), rs.text(5)});
    return out;
}

QString FileRecords::sameNameQuestion(const SameName& found)
{
    return QStringLiteral("系统中存在重名文件! 是否继续?\r\n") + LogWriter::fileDetails(found.bh, found.mc, found.lx)
        + QStringLiteral(" 所属分组:\\") + found.fz + QStringLiteral(" 上传时间:") + found.scsj;
}

Result<bool> FileRecords::nameTaken(const QString& name)
{
    // A name that some record refers to is not free, even when its file is
    // missing. A lookup that fails is a failure, never "taken": on a damaged
    // archive every name would be taken and the search would never end.
    const RecordSet rs = m_store.query(QStringLiteral("select count(*) from wj where lj=? or lj=?"),
                                       {m_folder.storedPath(name), m_folder.folder() + QLatin1Char('/') + name});
    if (!rs || rs.atEnd())
        return ::Result<bool>::fail(QString(), m_store.lastError());
    return rs.number(0) > 0;
}

bool FileRecords::keptFileShared(const QString& lj, qint64 id)
{
    // Another record naming the same kept file keeps it alive (e.g. one
    // copied by an older program together with its path).
    const QString absolute = m_folder.resolve(lj);
    const QVariant n = m_store.scalar(QStringLiteral("select count(*) from wj where id<>? and (lj=? or lj=? or lj=?)"),
                                      {id, lj, absolute, m_folder.storedPath(QFileInfo(absolute).fileName())});
    return !n.isValid() || n.toLongLong() > 0;
}

std::optional<FileRecord> FileRecords::read(qint64 id, bool* ok)
{
    RecordSet rs = m_store.query(QStringLiteral("select ") + kRecordColumns + QStringLiteral(" from wj where id=?"), {id});
    if (ok)
        *ok = rs.isValid();
    if (!rs || rs.atEnd())
        return std::nullopt;
    return readRow(rs);
}

QByteArray FileRecords::content(qint64 id, bool* ok)
{
    ::Result<QByteArray> bytes = RecordContent::read(m_store, id);
    if (ok)
        *ok = bytes.ok();
    return bytes ? std::move(bytes).value() : QByteArray();
}

// ------------------------------------------------------------------- add

FileRecords::Result FileRecords::add(const RecordFields& fields, const QString& sourcePath, Progress* progress)
{
    if (const Status checked = checkFields(fields, true); !checked)
        return fail(checked.message(), checked.detail());

    Incoming in;
    if (auto refusedContent = prepareIncoming(sourcePath, progress, &in))
        return *refusedContent;

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

    const QVariant lastXh = m_store.scalar(QStringLiteral("select xh from wj order by id desc limit 1"));
    const qint64 xh = lastXh.isValid() ? lastXh.toLongLong() + 1 : 1;

    QString lj;
    if (in.outside) {
        const StoreFolder::Stored s = m_folder.place(in.stagedPath, *number, in.type,
                                                     [this](const QString& n) { return nameTaken(n); });
        if (!s)
            return undo(PrepareFailed, s.error);
        in.stagedPath.clear();
        placed = s.absolutePath;
        lj = s.storedPath;
    }

    const QString now = appClock().nowText();
    const QString dx = sizeText(in.size);
    QVariantList params{xh, text(*number), text(fields.name), text(fields.group), text(in.type), text(dx), in.size};
    for (int i = 0; i < 15; ++i)
        params << text(fields.spare.value(i));
    params << text(m_operator.userName()) << text(now) << text(fields.remark) << text(lj);
    // wj.wj holds nothing: held content goes to its own table, in this transaction.
    if (!m_store.execute(QStringLiteral(
            "insert into wj(xh,bh,mc,fz,lx,dx,dxsz,b1,b2,b3,b4,b5,b6,b7,b8,b9,b10,b11,b12,b13,b14,b15,"
            "scr,scsj,bz,lj,wj) values (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,NULL)"),
            params))
        return undo(InsertFailed, m_store.lastError());
    const qint64 id = m_store.lastInsertId();
    if (!in.outside) {
        const Status held = RecordContent::write(m_store, id, in.bytes);
        if (!held)
            return undo(InsertFailed, held.detail());
    }
    in.bytes.clear();
    // The log line commits with the record (one sync instead of two); a log
    // line that cannot be written does not stop the add.
    const QString details = LogWriter::fileDetails(*number, fields.name, in.type);
    const bool logged = writeLog(LogWriter::FileAdded + details);
    if (!tx.commit())
        return undo(InsertFailed, m_store.lastError());

    Result r;
    r.ok = true;
    r.id = id;
    r.number = *number;
    r.logFailed = !logged;
    r.message = details + SavedSuffix;
    return r;
}

// ---------------------------------------------------------------- modify

FileRecords::Result FileRecords::modify(qint64 id, const RecordFields& fields, const QString& newSourcePath,
                                        Progress* progress)
{
    bool readOk = false;
    const std::optional<FileRecord> old = read(id, &readOk);
    if (!old)
        return fail(ModifyFailed, readOk ? QStringLiteral("record %1 not found").arg(id) : m_store.lastError());
    if (old->bh.trimmed().isEmpty())
        return fail(ModifyNoNumber, QString());
    if (const Status checked = checkFields(fields, false); !checked)
        return fail(checked.message(), checked.detail());

    const bool replacing = !newSourcePath.isEmpty();
    // The old kept file goes after the commit: it must be removable before
    // anything changes, or the modify would leave it behind as an orphan.
    if (replacing && !old->lj.isEmpty()) {
        const QString kept = m_folder.resolve(old->lj);
        if (!kept.isEmpty() && m_folder.contains(kept) && QFileInfo::exists(kept)
            && (QFileInfo(kept).isDir() || !QFileInfo(QFileInfo(kept).absolutePath()).isWritable()))
            return fail(ModifyFailed, QStringLiteral("%1 cannot be removed: Permission denied").arg(kept));
    }
    Incoming in;
    if (replacing) {
        if (auto refusedContent = prepareIncoming(newSourcePath, progress, &in))
            return *refusedContent;
    }

    QString placed;
    auto undo = [&](const QString& message, const QString& detail) {
        if (!placed.isEmpty())
            QFile::remove(placed);
        m_folder.discard(in.stagedPath);
        return fail(message, detail);
    };

    Transaction tx(m_store);
    if (!tx.isActive())
        return undo(ModifyFailed, m_store.lastError());

    QString lj;
    if (replacing && in.outside) {
        const StoreFolder::Stored s = m_folder.place(in.stagedPath, old->bh, in.type,
                                                     [this](const QString& n) { return nameTaken(n); });
        if (!s)
            return undo(PrepareFailed, s.error);
        in.stagedPath.clear();
        placed = s.absolutePath;
        lj = s.storedPath;
    }

    const QString now = appClock().nowText();
    QString sql = QStringLiteral("update wj set mc=?,fz=?");
    QVariantList params{text(fields.name), text(fields.group)};
    for (int i = 0; i < 15; ++i) {
        sql += QStringLiteral(",%1=?").arg(spareColumn(i));
        params << text(fields.spare.value(i));
    }
    sql += QStringLiteral(",xgr=?,xgsj=?,bz=?");
    params << text(m_operator.userName()) << text(now) << text(fields.remark);
    if (replacing) {
        sql += QStringLiteral(",lx=?,dx=?,dxsz=?,lj=?,wj=NULL");
        params << text(in.type) << text(sizeText(in.size)) << in.size << text(lj);
    }
    sql += QStringLiteral(" where id=?");
    params << id;
    if (!m_store.execute(sql, params) || m_store.rowsAffected() != 1)
        return undo(ModifyFailed, m_store.lastError());
    if (replacing) {
        const Status held = in.outside ? RecordContent::remove(m_store, id) : RecordContent::write(m_store, id, in.bytes);
        if (!held)
            return undo(ModifyFailed, held.detail());
    }
    in.bytes.clear();
    const QString details = LogWriter::fileDetails(old->bh, fields.name, replacing ? in.type : old->lx);
    const bool logged = writeLog(LogWriter::FileModified + details);
    if (!tx.commit())
        return undo(ModifyFailed, m_store.lastError());

    Result r;
    r.ok = true;
    r.id = id;
    r.number = old->bh;
    r.logFailed = !logged;
    r.message = details + SavedSuffix;
    // The old kept file goes only now that no record refers to it. Should it
    // stay after all, the record is changed but the window says so.
    QString why;
    if (replacing && !old->lj.isEmpty() && m_folder.resolve(old->lj) != placed && !keptFileShared(old->lj, id)
        && !m_folder.remove(old->lj, &why)) {
        r.message = PrivateFolder::withCause(DeleteFileFailed, why);
        r.detail = why;
    }
    return r;
}

// ---------------------------------------------------------------- delete

FileRecords::Result FileRecords::remove(qint64 id)
{
    RecordSet rs = m_store.query(QStringLiteral("select lj,bh,mc,lx from wj where id=?"), {id});
    if (!rs)
        return fail(DeleteRowFailed, m_store.lastError());
    if (rs.atEnd()) {
        // Already gone: nothing to do.
        Result r;
        r.ok = true;
        r.id = id;
        return r;
    }
    const QString lj = rs.text(0);
    const QString bh = rs.text(1);
    const QString details = LogWriter::fileDetails(bh, rs.text(2), rs.text(3));
    rs.close();
    if (bh.trimmed().isEmpty())
        return fail(DeleteNoNumber, QString());

    // The kept file must be removable before the record goes, so that no
    // record ever loses its content and a deleted record leaves no file.
    const QString kept = m_folder.resolve(lj);
    const bool ownsFile = !kept.isEmpty() && m_folder.contains(kept) && QFileInfo::exists(kept);
    if (ownsFile && (QFileInfo(kept).isDir() || !QFileInfo(QFileInfo(kept).absolutePath()).isWritable()))
        return fail(DeleteFileFailed, QStringLiteral("%1 cannot be removed").arg(kept));

    Transaction tx(m_store);
    if (!tx.isActive())
        return fail(DeleteRowFailed, m_store.lastError());
    if (!m_store.execute(QStringLiteral("delete from wj where id=?"), {id}) || m_store.rowsAffected() != 1)
        return fail(DeleteRowFailed, m_store.lastError());
    if (const Status gone = RecordContent::remove(m_store, id); !gone)
        return fail(DeleteRowFailed, gone.detail());
    const bool logged = writeLog(LogWriter::FileDeleted + details);
    if (!tx.commit())
        return fail(DeleteRowFailed, m_store.lastError());

    Result r;
    r.ok = true;
    r.id = id;
    r.number = bh;
    QString why;
    if (!lj.isEmpty() && !keptFileShared(lj, id) && !m_folder.remove(lj, &why)) {
        // The record is gone; its file stays as a leftover, which no later
        // record overwrites.
        r.message = PrivateFolder::withCause(DeleteFileFailed, why);
        r.detail = why;
    }
    r.logFailed = !logged;
    return r;
}

// -------------------------------------------------------------- save out

FileRecords::Result FileRecords::saveOut(qint64 id, const QString& targetPath, Progress* progress)
{
    RecordSet rs = m_store.query(QStringLiteral("select mc,lx,dx,dxsz,lj,bh from wj where id=?"), {id});
    if (!rs || rs.atEnd())
        return fail(SaveOutFailed, rs ? QStringLiteral("record %1 not found").arg(id) : m_store.lastError());
    const QString mc = rs.text(0);
    const QString lx = rs.text(1);
    const QString lj = rs.text(4);
    const QString bh = rs.text(5);
    rs.close();
    if (targetPath.isEmpty())
        return fail(SaveOutFailed, QStringLiteral("no target"));
    // Never over the archive itself: the database file or a kept file.
    const QString target = QFileInfo(targetPath).absoluteFilePath();
    const QString targetReal = QFileInfo(target).canonicalFilePath();
    const QString database = QFileInfo(m_store.path()).canonicalFilePath();
    const QString folderReal = QFileInfo(m_folder.folder()).canonicalFilePath();
    if ((!targetReal.isEmpty() && targetReal == database) || m_folder.contains(QDir::cleanPath(target))
        || (!folderReal.isEmpty() && QFileInfo(QFileInfo(target).absolutePath()).canonicalFilePath() == folderReal))
        return fail(SaveOutFailed, QStringLiteral("%1 belongs to the archive").arg(targetPath));

    FileCopy::Result written;
    if (!lj.isEmpty()) {
        const QString kept = m_folder.resolve(lj);
        if (!QFileInfo(kept).isFile())
            return fail(SaveOutFailed, QStringLiteral("kept file %1 missing").arg(kept));
        written = FileCopy::copy(kept, targetPath, FileCopy::Replace::Allowed, progress);
    } else {
        bool ok = false;
        const QByteArray bytes = content(id, &ok);
        if (!ok)
            return fail(SaveOutFailed, m_store.lastError());
        written = FileCopy::write(bytes, targetPath, FileCopy::Replace::Allowed, progress);
    }
    if (!written)
        return fail(written.cancelled ? QString() : SaveOutFailed, written.error, written.cancelled);

    Result r;
    r.ok = true;
    r.id = id;
    r.number = bh;
    const QString details = LogWriter::fileDetails(bh, mc, lx);
    r.logFailed = !writeLog(LogWriter::FileExported + details + QStringLiteral(" 至 ") + targetPath);
    r.message = details + SavedOutSuffix;
    return r;
}

// ------------------------------------------------------------ properties

std::optional<QList<QPair<QString, QString>>> FileRecords::properties(qint64 id, bool detailed, bool* ok)
{
    if (ok)
        *ok = false;
    RecordSet titles = m_store.query(QStringLiteral(
        "select btm,zdm,bh from lbsz where bm='wj' and btm<>? and btm<>'' order by bh"), {kSpareTitle});
    if (!titles)
        return std::nullopt;
    struct Field {
        QString title, column;
        int number;
    };
    QList<Field> wanted;
    for (; !titles.atEnd(); titles.next()) {
        const QString column = titles.text(1).trimmed().toLower();
        if (!knownColumns().contains(column))
            continue;
        wanted.append({titles.text(0), column, int(titles.number(2))});
    }
    titles.close();

    QStringList columns{QStringLiteral("lj")};
    for (const Field& f : wanted)
        columns << f.column;
    RecordSet rs = m_store.query(QStringLiteral("select ") + columns.join(QLatin1Char(',')) + QStringLiteral(" from wj where id=?"),
                                 {id});
    if (!rs)
        return std::nullopt;
    if (ok)
        *ok = true;
    if (rs.atEnd())
        return std::nullopt;

    // The brief view: number, name, group, type, size and the filled spare fields.
    QList<QPair<QString, QString>> rows;
    for (int i = 0; i < wanted.size(); ++i) {
        const Field& f = wanted.at(i);
        const QString value = rs.text(i + 1);
        const bool spare = f.number >= 6 && f.number <= 20;
        if (!detailed && !(f.number >= 1 && f.number <= 5) && !(spare && !value.isEmpty()))
            continue;
        rows.append({f.title, value});
    }
    if (detailed) {
        const QString lj = rs.text(0);
        rows.append({QStringLiteral("存放位置"), lj.isEmpty() ? QStringLiteral("数据库") : m_folder.resolve(lj)});
    }
    return rows;
}
