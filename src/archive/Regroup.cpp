#include "archive/Regroup.h"

#include "archive/GroupPath.h"
#include "platform/PrivateFolder.h"
#include "platform/Progress.h"
#include "store/DataStore.h"
#include "store/LogWriter.h"
#include "store/RecordRows.h"
#include "store/RegroupRows.h"
#include "store/StoreJob.h"

QString Regroup::groupDoneText(const QString& oldPath, const QString& newPath)
{
    return QStringLiteral("批量调整完成! 原分组: ") + oldPath + QStringLiteral(" 新分组: ") + newPath;
}

QString Regroup::recordLogText(const QString& details, const QString& oldPath, const QString& newPath)
{
    return LogWriter::FilesRegrouped + details + QStringLiteral("，原分组:") + oldPath + QStringLiteral(" 到 新分组:")
        + newPath;
}

QString Regroup::groupLogText(const QString& oldPath, const QString& newPath)
{
    return LogWriter::GroupRegrouped + oldPath + QStringLiteral(" 新分组: ") + newPath;
}

Regroup::Regroup(DataStore& store, const CurrentOperator& op, ProtectedGroups open)
    : m_store(store), m_operator(op), m_open(std::move(open))
{
}

bool Regroup::isClosed(const QStringList& closed, const QString& path) const
{
    for (const QString& c : closed)
        if (GroupPath::covers(c, path))
            return true;
    return false;
}

Status Regroup::checkGroup(const QString& path, const QString& message)
{
    QList<GroupPath::Group> groups;
    if (!GroupPath::loadGroups(m_store, &groups))
        return Status::fail(PrivateFolder::withCause(message, m_store.lastError()), m_store.lastError());
    for (const GroupPath::Group& g : std::as_const(groups))
        if (!path.isEmpty() && g.path == path)
            return {};
    return Status::fail(message, QStringLiteral("no group %1").arg(path));
}

Result<Regroup::Moved> Regroup::moveRecords(const QList<qint64>& ids, const QString& target, Progress* progress)
{
    auto failed = [&](const QString& detail) {
        return Result<Moved>::fail(PrivateFolder::withCause(RecordsFailed, detail), detail);
    };
    if (const Status g = checkGroup(target, RecordsFailed); !g)
        return g.failure();
    QStringList closed;
    if (!m_open.readClosedPaths(m_store, &closed))
        return failed(m_store.lastError());
    if (isClosed(closed, target))
        return Result<Moved>::fail(RecordsFailed, QStringLiteral("%1 is closed").arg(target));

    Transaction tx(m_store);
    if (!tx.isActive())
        return failed(m_store.lastError());
    LogWriter log(m_store, m_operator);
    Moved moved;
    if (progress) {
        progress->setRange(0, ids.size());
        progress->setValue(0);
    }
    for (qsizetype i = 0; i < ids.size(); ++i) {
        // A stop leaves every record where it was: the transaction goes.
        if (progress && progress->cancelled())
            return Result<Moved>::cancel();
        const qint64 id = ids.at(i);
        const Result<std::optional<RecordRows::Brief>> read = RecordRows::brief(m_store, id);
        if (!read)
            return failed(read.detail());
        if (!read.value())
            continue;
        const RecordRows::Brief& r = *read.value();
        const QString details = LogWriter::fileDetails(r.number, r.name, r.type);
        if (isClosed(closed, r.group))
            return Result<Moved>::fail(RecordsFailed, QStringLiteral("%1 is closed").arg(r.group));
        if (const Status set = RegroupRows::setGroup(m_store, id, target); !set)
            return failed(set.detail());
        if (!log.write(recordLogText(details, r.group, target)))
            moved.logFailed = true;
        ++moved.count;
        if (progress)
            progress->setValue(i + 1);
    }
    if (!tx.commit())
        return failed(m_store.lastError());
    return Result<Moved>(moved, RecordsDone);
}

Result<Regroup::Moved> Regroup::moveGroupFiles(const QString& source, const QString& target)
{
    auto failed = [&](const QString& detail) {
        return Result<Moved>::fail(PrivateFolder::withCause(GroupFailed, detail), detail);
    };
    if (const Status g = checkGroup(source, GroupFailed); !g)
        return g.failure();
    if (const Status g = checkGroup(target, GroupFailed); !g)
        return g.failure();
    QStringList closed;
    if (!m_open.readClosedPaths(m_store, &closed))
        return failed(m_store.lastError());
    if (isClosed(closed, source) || isClosed(closed, target))
        return Result<Moved>::fail(GroupFailed, QStringLiteral("a closed group"));

    Transaction tx(m_store);
    if (!tx.isActive())
        return failed(m_store.lastError());
    const Result<qint64> count = RegroupRows::moveGroup(m_store, source, target);
    if (!count)
        return failed(count.detail());
    Moved moved;
    moved.count = int(count.value());
    LogWriter log(m_store, m_operator);
    moved.logFailed = !log.write(groupLogText(source, target));
    if (!tx.commit())
        return failed(m_store.lastError());
    return Result<Moved>(moved, groupDoneText(source, target));
}

JobOf<Regroup::Moved>::Body Regroup::recordsJob(ArchiveLocation archive, CurrentOperator op, ProtectedGroups open,
                                                QList<qint64> ids, QString target)
{
    return StoreJob::body<Moved>(std::move(archive),
                                 [op = std::move(op), open = std::move(open), ids = std::move(ids),
                                  target = std::move(target)](DataStore& store, JobContext& context) {
                                     return Regroup(store, op, open).moveRecords(ids, target, &context);
                                 });
}

JobOf<Regroup::Moved>::Body Regroup::groupJob(ArchiveLocation archive, CurrentOperator op, ProtectedGroups open,
                                              QString source, QString target)
{
    return StoreJob::body<Moved>(std::move(archive),
                                 [op = std::move(op), open = std::move(open), source = std::move(source),
                                  target = std::move(target)](DataStore& store, JobContext&) {
                                     return Regroup(store, op, open).moveGroupFiles(source, target);
                                 });
}
