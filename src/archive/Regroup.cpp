#include "archive/Regroup.h"

#include "archive/GroupPath.h"
#include "platform/PrivateFolder.h"
#include "store/DataStore.h"
#include "store/LogWriter.h"

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

Result<Regroup::Moved> Regroup::moveRecords(const QList<qint64>& ids, const QString& target)
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
    for (const qint64 id : ids) {
        RecordSet rs = m_store.query(QStringLiteral("select bh,mc,lx,fz from wj where id=?"), {id});
        if (!rs)
            return failed(m_store.lastError());
        if (rs.atEnd())
            continue;
        const QString details = LogWriter::fileDetails(rs.text(0), rs.text(1), rs.text(2));
        const QString old = rs.text(3);
        rs.close();
        if (isClosed(closed, old))
            return Result<Moved>::fail(RecordsFailed, QStringLiteral("%1 is closed").arg(old));
        if (!m_store.execute(QStringLiteral("update wj set fz=? where id=?"), {target, id}) || m_store.rowsAffected() != 1)
            return failed(m_store.lastError());
        if (!log.write(recordLogText(details, old, target)))
            moved.logFailed = true;
        ++moved.count;
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
    const GroupPath::Condition exactly = GroupPath::exactly(source);
    if (!m_store.execute(QStringLiteral("update wj set fz=? where ") + exactly.sql, QVariantList{target} + exactly.params))
        return failed(m_store.lastError());
    Moved moved;
    moved.count = m_store.rowsAffected();
    LogWriter log(m_store, m_operator);
    moved.logFailed = !log.write(groupLogText(source, target));
    if (!tx.commit())
        return failed(m_store.lastError());
    return Result<Moved>(moved, groupDoneText(source, target));
}
