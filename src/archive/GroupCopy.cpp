#include "archive/GroupCopy.h"

#include "archive/GroupPath.h"
#include "archive/GroupTree.h"
#include "archive/ProtectedGroups.h"
#include "platform/PrivateFolder.h"
#include "platform/Progress.h"
#include "store/DataStore.h"
#include "store/FileNumbering.h"
#include "store/GroupRows.h"
#include "store/LogWriter.h"
#include "store/RecordContent.h"
#include "store/RecordRows.h"
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
    if (const Status rewritten = m_log.rewrite(m_logId, text); !rewritten) {
        qWarning("%s (not logged: %s)", qPrintable(text), qPrintable(rewritten.detail()));
        return false;
    }
    return true;
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
    return RecordRows::keptPathInUse(m_store, m_folder.storedPath(name), m_folder.folder() + QLatin1Char('/') + name);
}

JobOf<GroupCopy::Outcome>::Body GroupCopy::job(ArchiveLocation archive, StoreFolder folder, ProtectedGroups open,
                                               CurrentOperator op, QString source, QString target)
{
    return StoreJob::body<Outcome>(std::move(archive), [=](DataStore& store, JobContext& context) {
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
    const Result<QList<GroupPath::Group>> groups = GroupPath::groups(m_store);
    if (!groups) {
        fail(&out, Outcome::Kind::Failed, CopyFailed, groups.detail());
        return out;
    }
    bool targetExists = false;
    for (const GroupPath::Group& g : groups.value())
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
    const Result<QList<qint64>> marked = RecordRows::numbered(m_store, Marker);
    if (!marked) {
        fail(&out, Outcome::Kind::Failed, NumberDrawFailed, marked.detail());
        return out;
    }
    const QList<qint64>& leftovers = marked.value();
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
    const Result<QList<qint64>> own = GroupRows::fileIds(m_store, source, closed);
    if (!own) {
        fail(&out, Outcome::Kind::Failed, CopyFailed, own.detail());
        return out;
    }
    const QList<qint64>& originals = own.value();
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
        const QString line =
            last ? logText(source, target) : logText(source, target, Unfinished::Running, out.copied + 1);
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
        const Result<std::optional<RecordRows::Brief>> found = RecordRows::brief(m_store, id);
        if (!found || !found->has_value())
            return fail(out, Outcome::Kind::Failed, NumberDrawFailed,
                        found ? QStringLiteral("record %1 not found").arg(id) : found.detail());
        lj = (*found)->keptPath;
        type = (*found)->type;
    }
    if (!lj.isEmpty() && m_folder.contains(m_folder.resolve(lj))) {
        // An older copy shares its original's kept file: give it its own.
        const Result<bool> n = RecordRows::keptPathShared(m_store, id, lj, lj, lj);
        if (!n)
            return fail(out, Outcome::Kind::Failed, NumberDrawFailed, n.detail());
        shared = n.value();
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
    if (const Status renumbered = RecordRows::replaceMarker(m_store, id, Marker, *number, newLj); !renumbered)
        return undo(NumberWriteFailed, renumbered.detail());
    if (!tx.commit())
        return undo(NumberWriteFailed, m_store.lastError());
    return true;
}

bool GroupCopy::copyOne(qint64 id, const QString& target, Progress& progress, Outcome* out, const QString& logLine)
{
    QString lj, type;
    {
        const Result<std::optional<RecordRows::Brief>> found = RecordRows::brief(m_store, id);
        if (!found)
            return fail(out, Outcome::Kind::Failed, CopyFailed, found.detail());
        if (!found->has_value()) {  // gone meanwhile: nothing to copy
            --out->copied;          // counted by the caller; this one made none
            return true;
        }
        lj = (*found)->keptPath;
        type = (*found)->type;
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
    const Result<qint64> xh = RecordRows::nextPosition(m_store);
    if (!xh)
        return undo(CopyFailed, xh.detail());
    const Result<qint64> copied = RecordRows::copy(m_store, id, xh.value(), Marker, target);
    if (!copied)
        return undo(CopyFailed, copied.detail());
    const qint64 copyId = copied.value();
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
    if (const Status numbered = RecordRows::setNumber(m_store, copyId, *number, newLj); !numbered)
        return undo(NumberWriteFailed, numbered.detail());
    // The copy carries its original's recorded hash (so a damaged original
    // shows as damaged in both); one without gets the hash of the bytes copied.
    if (!stagedHash.isEmpty())
        if (const Status hashed = RecordRows::fillHash(m_store, copyId, stagedHash); !hashed)
            return undo(CopyFailed, hashed.detail());
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
