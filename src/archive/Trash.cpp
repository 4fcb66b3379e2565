#include "archive/Trash.h"

#include "archive/FileRecords.h"
#include "archive/GroupPath.h"
#include "archive/GroupTree.h"
#include "platform/Clock.h"
#include "store/DataStore.h"
#include "store/Dictionary.h"
#include "store/LogWriter.h"
#include "store/RecordRows.h"
#include "store/StoreJob.h"
#include "store/VersionRows.h"

#include <QFileInfo>
#include <QSet>

namespace Trash {

namespace {

using Chunk = std::function<Result<QList<Item>>(const QList<qint64>&)>;

bool hiddenBy(const QStringList& closed, const QString& group)
{
    for (const QString& c : closed)
        if (GroupPath::covers(c, group))
            return true;
    return false;
}

QString detailsOf(const Entry& e)
{
    return LogWriter::fileDetails(e.number, e.name, e.type);
}

// The records chunk by chunk, each chunk whole or not at all; a chunk that
// fails goes again one record at a time, so that one record that cannot
// move holds back none of the others.
Result<Outcome> runChunks(const QList<qint64>& ids, JobContext& context, const Chunk& chunk)
{
    Outcome out;
    context.setRange(0, ids.size());
    context.setValue(0);
    for (qsizetype at = 0; at < ids.size(); at += ChunkSize) {
        if (context.cancelled()) {
            out.cancelled = true;
            break;
        }
        const QList<qint64> part = ids.mid(at, ChunkSize);
        QList<Item> items;
        if (Result<QList<Item>> whole = chunk(part); whole) {
            items = *whole;
        } else {
            for (const qint64 id : part) {
                Result<QList<Item>> one = part.size() == 1 ? whole : chunk({id});
                if (one)
                    items += *one;
                else
                    items << Item{id, QString(), false, one.message(), one.detail()};
            }
        }
        for (const Item& item : std::as_const(items)) {
            if (item.done) {
                ++out.done;
            } else {
                ++out.refused;
                out.refusedItems << item;
            }
        }
        context.setValue(at + part.size());
    }
    return out;
}

Result<QList<Item>> failedChunk(const QString& message, const QString& detail)
{
    return Result<QList<Item>>::fail(message, detail);
}

Result<QList<Item>> restoreChunk(DataStore& store, const Setup& setup, ProtectedGroups& open, const QList<qint64>& ids,
                                 bool* logFailed)
{
    QStringList closed;
    if (!open.readClosedPaths(store, &closed))
        return failedChunk(RestoreFailed, QStringLiteral("wjfz: ") + store.lastError());
    QList<std::optional<Entry>> entries;
    QSet<QString> groups;
    for (const qint64 id : ids) {
        Result<std::optional<Entry>> e = TrashRows::entry(store, id);
        if (!e)
            return failedChunk(RestoreFailed, e.detail());
        entries << *e;
        if (e->has_value() && !hiddenBy(closed, (*e)->group) && !(*e)->group.isEmpty())
            groups.insert((*e)->group);
    }

    // A group gone meanwhile is made again (in its own transaction, as the
    // group tree writes itself); one that cannot be made keeps its records
    // in the trash.
    QList<GroupPath::Group> present;
    if (!GroupPath::loadGroups(store, &present))
        return failedChunk(RestoreFailed, QStringLiteral("wjfz: ") + store.lastError());
    for (const GroupPath::Group& g : std::as_const(present))
        groups.remove(g.path);
    QHash<QString, QString> unmade;  // group -> why
    if (!groups.isEmpty()) {
        GroupTree tree(store, open);
        if (const Status loaded = tree.load(); !loaded)
            return failedChunk(RestoreFailed, loaded.detail());
        for (const QString& g : std::as_const(groups)) {
            const GroupTree::Result made = tree.addPaths(0, {GroupPath::split(g)});
            if (!made)
                unmade.insert(g, made.message.isEmpty() ? GroupTree::SaveFailed : made.message);
        }
    }

    QList<Item> items;
    Transaction tx(store);
    if (!tx.isActive())
        return failedChunk(RestoreFailed, store.lastError());
    LogWriter log(store, setup.op);
    bool unlogged = false;
    for (qsizetype i = 0; i < ids.size(); ++i) {
        const std::optional<Entry>& e = entries.at(i);
        if (!e) {
            items << Item{ids.at(i), QString(), false, NotInTrash, QString()};
            continue;
        }
        if (hiddenBy(closed, e->group)) {
            items << Item{e->id, QString(), false, GroupTree::NotOpen, QString()};
            continue;
        }
        if (unmade.contains(e->group)) {
            items << Item{e->id, e->number, false, unmade.value(e->group), e->group};
            continue;
        }
        const Result<bool> moved = TrashRows::moveOut(store, e->id);
        if (!moved)
            return failedChunk(RestoreFailed, moved.detail());
        if (!*moved) {
            items << Item{e->id, e->number, false, NotInTrash, QString()};
            continue;
        }
        if (!log.write(RestoredPrefix + detailsOf(*e) + RestoredSuffix))
            unlogged = true;
        items << Item{e->id, e->number, true, QString(), QString()};
    }
    if (!tx.commit())
        return failedChunk(RestoreFailed, store.lastError());
    *logFailed = *logFailed || unlogged;
    return items;
}

// Purges ids; withHidden also those of closed protected groups, whose log
// lines name nothing (*hidden counts them).
Result<QList<Item>> purgeChunk(DataStore& store, const Setup& setup, const QList<qint64>& ids, bool withHidden,
                               int* hidden)
{
    QStringList closed;
    if (!setup.open.readClosedPaths(store, &closed))
        return failedChunk(PurgeFailed, QStringLiteral("wjfz: ") + store.lastError());
    QList<Item> items;
    QList<Entry> purged;
    QStringList versionHashes, versionFiles;
    int hiddenHere = 0;
    {
        Transaction tx(store);
        if (!tx.isActive())
            return failedChunk(PurgeFailed, store.lastError());
        LogWriter log(store, setup.op);
        for (const qint64 id : ids) {
            const Result<std::optional<Entry>> e = TrashRows::entry(store, id);
            if (!e)
                return failedChunk(PurgeFailed, e.detail());
            if (!e->has_value()) {
                items << Item{id, QString(), true, QString(), QString()};  // already gone
                continue;
            }
            const bool isHidden = hiddenBy(closed, (*e)->group);
            if (isHidden && !withHidden) {
                items << Item{id, QString(), false, GroupTree::NotOpen, QString()};
                continue;
            }
            // The record's versions go with it; their bytes once no version holds them.
            const Result<QStringList> versions = VersionRows::removeOf(store, {id});
            if (!versions)
                return failedChunk(PurgeFailed, versions.detail());
            versionHashes += *versions;
            const Result<bool> gone = TrashRows::purge(store, id);
            if (!gone)
                return failedChunk(PurgeFailed, gone.detail());
            if (isHidden)
                ++hiddenHere;
            else
                log.writeOrWarn(PurgedPrefix + detailsOf(**e) + PurgedSuffix);
            purged << **e;
            items << Item{id, isHidden ? QString() : (*e)->number, true, QString(), QString()};
        }
        if (!versionHashes.isEmpty()) {
            const Result<QStringList> unused = VersionRows::purgeUnused(store, versionHashes);
            if (!unused)
                return failedChunk(PurgeFailed, unused.detail());
            versionFiles = *unused;
        }
        if (!tx.commit())
            return failedChunk(PurgeFailed, store.lastError());
    }
    for (const QString& lj : std::as_const(versionFiles))
        if (const Status removed = setup.folder.remove(lj); !removed)
            qWarning("version file left after purge: %s", qPrintable(removed.detail()));
    if (hidden)
        *hidden += hiddenHere;
    // The rows are gone; their kept files follow unless another record, a
    // record in the trash or a version still names them. One that cannot
    // go stays behind as a file no record names, for the sweep.
    for (const Entry& e : std::as_const(purged)) {
        if (e.keptPath.isEmpty())
            continue;
        const QString absolute = setup.folder.resolve(e.keptPath);
        const Result<bool> shared = RecordRows::keptPathShared(store, e.id, e.keptPath, absolute,
                                                               setup.folder.storedPath(QFileInfo(absolute).fileName()));
        if (shared && !*shared)
            if (const Status removed = setup.folder.remove(e.keptPath); !removed)
                qWarning("kept file left after purge: %s", qPrintable(removed.detail()));
    }
    return items;
}

}  // namespace

int retentionDays(DataStore& store)
{
    const Result<std::optional<QString>> stored = Dictionary::read(store, RetentionName);
    if (!stored || !stored->has_value())
        return DefaultRetentionDays;
    bool ok = false;
    const int days = (*stored)->trimmed().toInt(&ok);
    return ok && days >= 0 ? qMin(days, MaxRetentionDays) : DefaultRetentionDays;
}

Status setRetentionDays(DataStore& store, int days)
{
    if (days < 0 || days > MaxRetentionDays)
        return Status::fail(QStringLiteral("保留天数必须是 0 到 %1 之间的整数!").arg(MaxRetentionDays));
    return TrashRows::writeSetting(store, RetentionName, QString::number(days));
}

Result<QList<Entry>> visible(DataStore& store, const ProtectedGroups& open, qint64 limit, qint64 offset)
{
    return TrashRows::list(store, open.closedPaths(store), limit, offset);
}

Result<qint64> visibleCount(DataStore& store, const ProtectedGroups& open)
{
    return TrashRows::count(store, open.closedPaths(store));
}

Result<QList<qint64>> numbered(DataStore& store, const ProtectedGroups& open, const QStringList& numbers,
                               QStringList* missing)
{
    const QStringList closed = open.closedPaths(store);
    QList<qint64> out;
    for (const QString& number : numbers) {
        const Result<QList<qint64>> ids = TrashRows::numbered(store, number);
        if (!ids)
            return Result<QList<qint64>>::fail(QString(), ids.detail());
        bool any = false;
        for (const qint64 id : *ids) {
            const Result<std::optional<Entry>> e = TrashRows::entry(store, id);
            if (!e)
                return Result<QList<qint64>>::fail(QString(), e.detail());
            if (e->has_value() && !hiddenBy(closed, (*e)->group) && !out.contains(id)) {
                out << id;
                any = true;
            }
        }
        // A number held only in a closed group reads as not there at all.
        if (!any && missing)
            *missing << number;
    }
    return out;
}

Result<QList<Item>> moveInChunk(DataStore& store, const CurrentOperator& op, const QList<qint64>& ids, bool* logFailed)
{
    Transaction tx(store);
    if (!tx.isActive())
        return failedChunk(FileRecords::DeleteRowFailed, store.lastError());
    const QString at = appClock().nowText();
    LogWriter log(store, op);
    QList<Item> items;
    bool unlogged = false;
    for (const qint64 id : ids) {
        const Result<std::optional<RecordRows::Brief>> found = RecordRows::brief(store, id);
        if (!found)
            return failedChunk(FileRecords::DeleteRowFailed, found.detail());
        if (!found->has_value()) {
            items << Item{id, QString(), true, QString(), QString()};  // already gone
            continue;
        }
        const RecordRows::Brief& b = **found;
        if (b.number.trimmed().isEmpty()) {
            items << Item{id, QString(), false, FileRecords::DeleteNoNumber, QString()};
            continue;
        }
        const Result<bool> moved = TrashRows::moveIn(store, id, op.userName(), at);
        if (!moved)
            return failedChunk(FileRecords::DeleteRowFailed, moved.detail());
        if (!log.write(LogWriter::FileDeleted + LogWriter::fileDetails(b.number, b.name, b.type) + MovedInSuffix))
            unlogged = true;
        items << Item{id, b.number, true, QString(), QString()};
    }
    if (!tx.commit())
        return failedChunk(FileRecords::DeleteRowFailed, store.lastError());
    if (logFailed)
        *logFailed = *logFailed || unlogged;
    return items;
}

Result<Outcome> restore(DataStore& store, const Setup& setup, const QList<qint64>& ids, JobContext& context)
{
    ProtectedGroups open = setup.open;
    bool logFailed = false;
    Result<Outcome> out = runChunks(
        ids, context, [&](const QList<qint64>& part) { return restoreChunk(store, setup, open, part, &logFailed); });
    if (out)
        out->logFailed = logFailed;
    return out;
}

Result<Outcome> purge(DataStore& store, const Setup& setup, const QList<qint64>& ids, JobContext& context)
{
    return runChunks(ids, context,
                     [&](const QList<qint64>& part) { return purgeChunk(store, setup, part, false, nullptr); });
}

Result<Outcome> purgeExpired(DataStore& store, const Setup& setup, int days, JobContext& context)
{
    if (days <= 0)
        return Outcome{};
    const QString before = Clock::timeText(appClock().now().addDays(-days));
    const Result<QList<qint64>> ids = TrashRows::movedBefore(store, before);
    if (!ids)
        return Result<Outcome>::fail(PurgeFailed, ids.detail());
    if (ids->isEmpty())
        return Outcome{};
    int hidden = 0;
    Result<Outcome> out = runChunks(
        *ids, context, [&](const QList<qint64>& part) { return purgeChunk(store, setup, part, true, &hidden); });
    if (out && out->done > 0)
        LogWriter(store, setup.op).writeOrWarn(expiredLogText(out->done, days));
    return out;
}

QString expiredLogText(int purged, int days)
{
    return QStringLiteral("回收站：%1 个文件保留超过 %2 天，已彻底删除").arg(purged).arg(days);
}

JobOf<Outcome>::Body restoreJob(Setup setup, QList<qint64> ids)
{
    const ArchiveLocation archive = setup.archive;
    return StoreJob::body<Outcome>(
        archive, [setup = std::move(setup), ids = std::move(ids)](DataStore& store, JobContext& context) {
            return restore(store, setup, ids, context);
        });
}

JobOf<Outcome>::Body purgeJob(Setup setup, QList<qint64> ids)
{
    const ArchiveLocation archive = setup.archive;
    return StoreJob::body<Outcome>(
        archive, [setup = std::move(setup), ids = std::move(ids)](DataStore& store, JobContext& context) {
            return purge(store, setup, ids, context);
        });
}

JobOf<Outcome>::Body purgeExpiredJob(Setup setup, int days)
{
    const ArchiveLocation archive = setup.archive;
    return StoreJob::body<Outcome>(archive, [setup = std::move(setup), days](DataStore& store, JobContext& context) {
        return purgeExpired(store, setup, days < 0 ? retentionDays(store) : days, context);
    });
}

}  // namespace Trash
