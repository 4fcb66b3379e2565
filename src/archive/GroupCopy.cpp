#include "archive/GroupCopy.h"

#include "archive/GroupPath.h"
#include "archive/GroupTree.h"
#include "archive/ProtectedGroups.h"
#include "archive/FilterClause.h"
#include "platform/PrivateFolder.h"
#include "platform/Progress.h"
#include "store/DataStore.h"
#include "store/FileNumbering.h"
#include "store/LogWriter.h"
#include "store/RecordContent.h"
#include "store/StoreJob.h"

namespace {

// Hands a file copy the run's cancel button but keeps the run's own bar
// (one step per record).
class CancelOnly final : public Progress {
public:
    explicit CancelOnly(Progress& outer) : m_outer(outer) {}
    void setRange(qint64, qint64) override {}
    void setValue(qint64) override {}
    bool cancelled() const override { return m_outer.cancelled(); }

private:
    Progress& m_outer;
};

// The columns a copy takes over from its original (xh, bh, fz, ylcs, xgr and
// xgsj are its own).
const QString kCopiedColumns = QStringLiteral(
    "mc,lx,dx,dxsz,b1,b2,b3,b4,b5,b6,b7,b8,b9,b10,b11,b12,b13,b14,b15,scr,scsj,bz,lj,wj");

}  // namespace

QString GroupCopy::confirmText(const QString& source, const QString& target)
{
    return QStringLiteral("即将复制 ") + source + QStringLiteral(" 里所有文件到 ") + target
        + QStringLiteral(" 里, 确定复制吗 ? \r\n根据文件数可能需要一些时间，复制过程中不要进行其他操作...");
}

QString GroupCopy::logText(const QString& source, const QString& target)
{
    return LogWriter::GroupCopied + source + QStringLiteral(" 到 目标分组 ") + target;
}

QString GroupCopy::logText(const QString& source, const QString& target, Unfinished how, int copied)
{
    const QString state = how == Unfinished::Cancelled ? QStringLiteral("已取消")
        : how == Unfinished::Failed                    ? QStringLiteral("未完成")
                                                       : QStringLiteral("进行中");
    return logText(source, target) + QStringLiteral(" (%1, 已复制 %2 个文件)").arg(state).arg(copied);
}

bool GroupCopy::writeLogLine(const QString& text)
{
    if (m_logId < 0) {
        if (!m_log.write(text))
            return false;
        m_logId = m_store.lastInsertId();
        return true;
    }
    return m_store.execute(QStringLiteral("update rz set nr=? where id=?"), {text, m_logId});
}

GroupCopy::GroupCopy(DataStore& store, StoreFolder folder, const ProtectedGroups& open, LogWriter& log)
    : m_store(store), m_folder(std::move(folder)), m_open(open), m_log(log)
{
}

bool GroupCopy::fail(Outcome* out, Outcome::Kind kind, const QString& message, const QString& detail)
{
    out->kind = kind;
    out->message = kind == Outcome::Kind::Cancelled ? message : PrivateFolder::withCause(message, detail);
    out->detail = detail;
    return false;
}

Result<bool> GroupCopy::nameTaken(const QString& name)
{
    // A name some record refers to is not free, even when its file is
    // missing; a lookup that fails is a failure, never "taken".
    const RecordSet rs = m_store.query(QStringLiteral("select count(*) from wj where lj=? or lj=?"),
                                       {m_folder.storedPath(name), m_folder.folder() + QLatin1Char('/') + name});
    if (!rs || rs.atEnd())
        return Result<bool>::fail(QString(), m_store.lastError());
    return rs.number(0) > 0;
}

JobOf<GroupCopy::Outcome>::Body GroupCopy::job(QString databasePath, StoreFolder folder, ProtectedGroups open,
                                               CurrentOperator op, QString source, QString target)
{
    return StoreJob::body<Outcome>(std::move(databasePath), [=](DataStore& store, JobContext& context) {
        LogWriter log(store, op);
        bool logFailed = false;
        log.setFailureHandler([&logFailed] { logFailed = true; });
        Outcome out = GroupCopy(store, folder, open, log).run(source, target, context);
        out.logFailed = logFailed;
        return Result<Outcome>(std::move(out));
    });
}

GroupCopy::Outcome GroupCopy::run(const QString& source, const QString& target, Progress& progress)
{
    Outcome out;
    m_logId = -1;
    if (source.isEmpty()) {
        fail(&out, Outcome::Kind::Refused, GroupTree::NoGroupSelected, {});
        return out;
    }
    QList<GroupPath::Group> groups;
    if (!GroupPath::loadGroups(m_store, &groups)) {
        fail(&out, Outcome::Kind::Failed, CopyFailed, m_store.lastError());
        return out;
    }
    bool targetExists = false;
    for (const GroupPath::Group& g : std::as_const(groups))
        targetExists = targetExists || g.path == target;
    if (target.isEmpty() || !targetExists) {
        fail(&out, Outcome::Kind::Refused, NoTarget, {});
        return out;
    }
    QStringList closed;
    m_open.readClosedPaths(m_store, &closed);
    for (const QString& c : std::as_const(closed)) {
        if (GroupPath::covers(c, source) || GroupPath::covers(c, target)) {
            fail(&out, Outcome::Kind::Refused, GroupTree::NotOpen, {});
            return out;
        }
    }

    // Leftovers first, so that they are never copied with their marker.
    QList<qint64> leftovers;
    {
        RecordSet rs = m_store.query(QStringLiteral("select id from wj where bh=? order by id asc"), {Marker});
        if (!rs) {
            fail(&out, Outcome::Kind::Failed, NumberDrawFailed, m_store.lastError());
            return out;
        }
        for (; !rs.atEnd(); rs.next())
            leftovers << rs.number(0);
    }
    progress.setRange(0, leftovers.size());
    qint64 done = 0;
    for (qint64 id : std::as_const(leftovers)) {
        if (progress.cancelled()) {
            fail(&out, Outcome::Kind::Cancelled, Cancelled, {});
            return out;
        }
        if (!numberLeftover(id, progress, &out))
            return out;
        ++out.renumbered;
        progress.setValue(++done);
    }

    // The originals, read before the first copy: a target inside the source
    // never copies its own copies.
    const GroupPath::Condition own = GroupPath::withSubgroups(source);
    const FilterClause which = FilterClause::everything().andAlso(own.sql, own.params).excludingGroups(closed);
    QList<qint64> originals;
    {
        RecordSet rs = m_store.query(QStringLiteral("select id from wj") + which.where + QStringLiteral(" order by id asc"),
                                     which.params);
        if (!rs) {
            fail(&out, Outcome::Kind::Failed, CopyFailed, m_store.lastError());
            return out;
        }
        for (; !rs.atEnd(); rs.next())
            originals << rs.number(0);
    }
    progress.setRange(0, leftovers.size() + originals.size());
    progress.setValue(done);
    bool stopped = false;
    for (int i = 0; i < originals.size(); ++i) {
        if (progress.cancelled()) {
            fail(&out, Outcome::Kind::Cancelled, Cancelled, {});
            stopped = true;
            break;
        }
        const bool last = i + 1 == originals.size();
        const QString line = last ? logText(source, target)
                                  : logText(source, target, Unfinished::Running, out.copied + 1);
        if (!copyOne(originals.at(i), target, progress, &out, line)) {
            stopped = true;
            break;
        }
        ++out.copied;
        progress.setValue(++done);
    }
    if (stopped && out.copied > 0) {
        const Unfinished how = out.kind == Outcome::Kind::Cancelled ? Unfinished::Cancelled : Unfinished::Failed;
        writeLogLine(logText(source, target, how, out.copied));
    } else if (!stopped && out.copied > 0) {
        // Written already with the last copy; again only when that one was
        // gone by its turn (the same text otherwise).
        writeLogLine(logText(source, target));
    }
    if (!stopped) {
        out.kind = Outcome::Kind::Done;
        out.message = Succeeded;
    }
    return out;
}

bool GroupCopy::stageKeptFile(const QString& lj, Progress& progress, QString* staged, Outcome* out, QString* hash)
{
    CancelOnly sub(progress);
    const StoreFolder::Stored s = m_folder.stage(m_folder.resolve(lj), &sub);
    if (s.cancelled)
        return fail(out, Outcome::Kind::Cancelled, Cancelled, {});
    if (!s)
        return fail(out, Outcome::Kind::Failed, FileCopyFailed, s.error);
    *staged = s.absolutePath;
    if (hash)
        *hash = s.sha256;
    return true;
}

bool GroupCopy::numberLeftover(qint64 id, Progress& progress, Outcome* out)
{
    QString lj, type;
    bool shared = false;
    {
        RecordSet rs = m_store.query(QStringLiteral("select lj,lx from wj where id=?"), {id});
        if (!rs || rs.atEnd())
            return fail(out, Outcome::Kind::Failed, NumberDrawFailed, m_store.lastError());
        lj = rs.text(0);
        type = rs.text(1);
    }
    if (!lj.isEmpty() && m_folder.contains(m_folder.resolve(lj))) {
        // An older copy shares its original's kept file: give it its own.
        const Result<std::optional<QVariant>> n =
            m_store.scalar(QStringLiteral("select count(*) from wj where lj=? and id<>?"), {lj, id});
        if (!n)
            return fail(out, Outcome::Kind::Failed, NumberDrawFailed, n.detail());
        shared = n->value_or(0).toLongLong() > 0;
    }
    QString staged;
    if (shared && !stageKeptFile(lj, progress, &staged, out))
        return false;
    QString placedLj;
    auto undo = [&](const QString& message, const QString& detail) {
        QString why = detail;
        if (!placedLj.isEmpty()) {
            // A file that cannot go is a leftover the next start sets aside;
            // the failure names it.
            if (const Status removed = m_folder.remove(placedLj); !removed)
                why += QStringLiteral("; ") + removed.detail();
        } else {
            m_folder.discard(staged);
        }
        return fail(out, Outcome::Kind::Failed, message, why);
    };
    Transaction tx(m_store);
    if (!tx.isActive())
        return undo(NumberDrawFailed, m_store.lastError());
    const Result<QString> number = FileNumbering::draw(m_store);
    if (!number)
        return undo(NumberDrawFailed, number.detail());
    QString newLj = lj;
    if (!staged.isEmpty()) {
        const StoreFolder::Stored s =
            m_folder.place(staged, *number, type, [this](const QString& name) { return nameTaken(name); });
        if (!s)
            return undo(FileCopyFailed, s.error);
        placedLj = newLj = s.storedPath;
    }
    if (!m_store.execute(QStringLiteral("update wj set bh=?,lj=? where id=? and bh=?"), {*number, newLj, id, Marker})
        || m_store.rowsAffected() != 1)
        return undo(NumberWriteFailed, m_store.lastError());
    if (!tx.commit())
        return undo(NumberWriteFailed, m_store.lastError());
    return true;
}

bool GroupCopy::copyOne(qint64 id, const QString& target, Progress& progress, Outcome* out,
                        const QString& logLine)
{
    QString lj, type;
    {
        RecordSet rs = m_store.query(QStringLiteral("select lj,lx from wj where id=?"), {id});
        if (!rs)
            return fail(out, Outcome::Kind::Failed, CopyFailed, m_store.lastError());
        if (rs.atEnd()) { // gone meanwhile: nothing to copy
            --out->copied; // counted by the caller; this one made none
            return true;
        }
        lj = rs.text(0);
        type = rs.text(1);
    }
    // The slow part first, outside the transaction: the kept file's content
    // goes to a staged file of the store folder. A file elsewhere is not
    // ours (removing a record never touches it), so the copy refers to it too.
    QString staged, stagedHash;
    if (!lj.isEmpty() && m_folder.contains(m_folder.resolve(lj))
        && !stageKeptFile(lj, progress, &staged, out, &stagedHash))
        return false;
    QString placedLj;
    auto undo = [&](const QString& message, const QString& detail) {
        QString why = detail;
        if (!placedLj.isEmpty()) {
            // A file that cannot go is a leftover the next start sets aside;
            // the failure names it.
            if (const Status removed = m_folder.remove(placedLj); !removed)
                why += QStringLiteral("; ") + removed.detail();
        } else {
            m_folder.discard(staged);
        }
        return fail(out, Outcome::Kind::Failed, message, why);
    };
    Transaction tx(m_store);
    if (!tx.isActive())
        return undo(CopyFailed, m_store.lastError());
    // A new record's place in the list follows the last one stored.
    const Result<std::optional<QVariant>> lastXh = m_store.scalar(QStringLiteral("select xh from wj order by id desc limit 1"));
    if (!lastXh)
        return undo(CopyFailed, lastXh.detail());
    const qint64 xh = lastXh->has_value() ? (*lastXh)->toLongLong() + 1 : 1;
    if (!m_store.execute(QStringLiteral("insert into wj(xh,bh,fz,") + kCopiedColumns + QStringLiteral(") select ?,?,?,")
                             + kCopiedColumns + QStringLiteral(" from wj where id=?"),
                         {xh, Marker, target, id})
        || m_store.rowsAffected() != 1)
        return undo(CopyFailed, m_store.lastError());
    const qint64 copyId = m_store.lastInsertId();
    if (const Status held = RecordContent::copy(m_store, id, copyId); !held)
        return undo(CopyFailed, held.detail());
    const Result<QString> number = FileNumbering::draw(m_store);
    if (!number)
        return undo(NumberDrawFailed, number.detail());
    QString newLj = lj;
    if (!staged.isEmpty()) {
        const StoreFolder::Stored s =
            m_folder.place(staged, *number, type, [this](const QString& name) { return nameTaken(name); });
        if (!s)
            return undo(FileCopyFailed, s.error);
        placedLj = newLj = s.storedPath;
    }
    if (!m_store.execute(QStringLiteral("update wj set bh=?,lj=? where id=?"), {*number, newLj, copyId})
        || m_store.rowsAffected() != 1)
        return undo(NumberWriteFailed, m_store.lastError());
    // The copy carries its original's recorded hash (so a damaged original
    // shows as damaged in both); one without gets the hash of the bytes copied.
    if (!stagedHash.isEmpty()
        && !m_store.execute(QStringLiteral("update wj set sha256=coalesce(sha256,?) where id=?"), {stagedHash, copyId}))
        return undo(CopyFailed, m_store.lastError());
    // The log line commits with the copy it counts; a line that cannot be
    // written does not stop the copy.
    const qint64 logIdBefore = m_logId;
    {
        Transaction logStep(m_store);
        if (!logStep.isActive() || !writeLogLine(logLine) || !logStep.commit())
            m_logId = logIdBefore;
    }
    if (!tx.commit()) {
        m_logId = logIdBefore;
        return undo(NumberWriteFailed, m_store.lastError());
    }
    return true;
}
