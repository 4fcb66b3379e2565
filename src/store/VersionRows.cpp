#include "store/VersionRows.h"

#include "store/DataStore.h"

#include <QSet>

namespace VersionRows {

namespace {

template <typename T> Result<T> readFailed(DataStore& store, const QString& what)
{
    return Result<T>::fail(QString(), what + QStringLiteral(": ") + store.lastError());
}

Status failed(DataStore& store, const QString& what)
{
    return Status::fail(QString(), what + QStringLiteral(": ") + store.lastError());
}

const QString kColumns = QStringLiteral("id,wjid,bbh,czy,sj,dx,sha256,mc,lx");

Version versionAt(const RecordSet& rs)
{
    Version v;
    v.id = rs.number(0);
    v.recordId = rs.number(1);
    v.number = int(rs.number(2));
    v.by = rs.text(3);
    v.at = rs.text(4);
    v.size = rs.number(5);
    v.sha256 = rs.text(6);
    v.name = rs.text(7);
    v.type = rs.text(8);
    return v;
}

}  // namespace

Result<Version> add(DataStore& store, const Version& v)
{
    const Result<std::optional<QVariant>> last =
        store.scalar(QStringLiteral("select coalesce(max(bbh),0) from wjbb where wjid=?"), {v.recordId});
    if (!last)
        return Result<Version>::fail(QString(), QStringLiteral("version number: ") + last.detail());
    Version out = v;
    out.number = int(last->value_or(0).toLongLong()) + 1;
    if (!store.execute(QStringLiteral("insert into wjbb(wjid,bbh,czy,sj,dx,sha256,mc,lx) values (?,?,?,?,?,?,?,?)"),
                       {out.recordId, out.number, out.by, out.at, out.size, out.sha256, out.name, out.type}))
        return readFailed<Version>(store, QStringLiteral("version insert"));
    out.id = store.lastInsertId();
    return out;
}

Result<std::optional<Content>> content(DataStore& store, const QString& sha256)
{
    using Out = Result<std::optional<Content>>;
    RecordSet rs = store.query(QStringLiteral("select sha256,dx,lj from bbnr where sha256=?"), {sha256});
    if (!rs)
        return readFailed<std::optional<Content>>(store, QStringLiteral("version content"));
    if (rs.atEnd())
        return Out(std::optional<Content>());
    return Out(std::optional<Content>(Content{rs.text(0), rs.number(1), rs.text(2)}));
}

Status storeBytes(DataStore& store, const QString& sha256, const QByteArray& bytes)
{
    // An empty content is still content: an empty blob, not NULL.
    if (!store.execute(QStringLiteral("insert or ignore into bbnr(sha256,dx,nr,lj) values (?,?,?,'')"),
                       {sha256, qint64(bytes.size()), QVariant(bytes.isNull() ? QByteArray("", 0) : bytes)}))
        return failed(store, QStringLiteral("version content"));
    return {};
}

Status storeHeldOf(DataStore& store, qint64 recordId, const QString& sha256, qint64 size)
{
    // Copied inside the database: the bytes never pass through here.
    if (!store.execute(QStringLiteral("insert or ignore into bbnr(sha256,dx,nr,lj)"
                                      " select ?,?,coalesce(nr,x''),'' from wjnr where id=?"),
                       {sha256, size, recordId}))
        return failed(store, QStringLiteral("version content"));
    // An archive part way through its content move still holds it in wj.wj.
    if (!store.execute(QStringLiteral("insert or ignore into bbnr(sha256,dx,nr,lj)"
                                      " select ?,?,wj,'' from wj where id=? and wj is not null"),
                       {sha256, size, recordId}))
        return failed(store, QStringLiteral("version content"));
    const Result<std::optional<Content>> there = content(store, sha256);
    if (!there)
        return Status(there.failure());
    if (!there->has_value())
        return Status::fail(QString(), QStringLiteral("record %1 holds no content").arg(recordId));
    return {};
}

Status storeKept(DataStore& store, const QString& sha256, qint64 size, const QString& keptPath)
{
    if (!store.execute(QStringLiteral("insert into bbnr(sha256,dx,nr,lj) values (?,?,null,?)"),
                       {sha256, size, keptPath}))
        return failed(store, QStringLiteral("version content"));
    return {};
}

Result<QList<Version>> list(DataStore& store, qint64 recordId)
{
    RecordSet rs = store.query(
        QStringLiteral("select ") + kColumns + QStringLiteral(" from wjbb where wjid=? order by bbh desc"), {recordId});
    if (!rs)
        return readFailed<QList<Version>>(store, QStringLiteral("versions"));
    QList<Version> out;
    for (; !rs.atEnd(); rs.next())
        out.append(versionAt(rs));
    return out;
}

Result<std::optional<Version>> read(DataStore& store, qint64 versionId)
{
    using Out = Result<std::optional<Version>>;
    RecordSet rs =
        store.query(QStringLiteral("select ") + kColumns + QStringLiteral(" from wjbb where id=?"), {versionId});
    if (!rs)
        return readFailed<std::optional<Version>>(store, QStringLiteral("version"));
    if (rs.atEnd())
        return Out(std::optional<Version>());
    return Out(std::optional<Version>(versionAt(rs)));
}

Result<QByteArray> bytes(DataStore& store, const QString& sha256)
{
    RecordSet rs = store.query(QStringLiteral("select nr from bbnr where sha256=? and nr is not null"), {sha256});
    if (!rs)
        return readFailed<QByteArray>(store, QStringLiteral("version content"));
    if (rs.atEnd())
        return Result<QByteArray>::fail(QString(), QStringLiteral("no inline content %1").arg(sha256));
    QByteArray b = rs.bytes(0);
    if (b.isNull())
        b = QByteArray("", 0);
    return b;
}

Result<QStringList> removeOf(DataStore& store, const QList<qint64>& recordIds)
{
    QSet<QString> seen;
    QStringList held;
    for (const qint64 id : recordIds) {
        {
            RecordSet rs = store.query(QStringLiteral("select distinct sha256 from wjbb where wjid=?"), {id});
            if (!rs)
                return readFailed<QStringList>(store, QStringLiteral("versions"));
            for (; !rs.atEnd(); rs.next()) {
                const QString sha = rs.text(0);
                if (!seen.contains(sha)) {
                    seen.insert(sha);
                    held << sha;
                }
            }
        }
        if (!store.execute(QStringLiteral("delete from wjbb where wjid=?"), {id}))
            return readFailed<QStringList>(store, QStringLiteral("version delete"));
    }
    return held;
}

Result<QStringList> purgeUnused(DataStore& store, const QStringList& among)
{
    struct Unused {
        QString sha256, keptPath;
    };
    QList<Unused> unused;
    if (among.isEmpty()) {
        RecordSet rs = store.query(QStringLiteral(
            "select sha256,lj from bbnr b where not exists (select 1 from wjbb v where v.sha256=b.sha256)"));
        if (!rs)
            return readFailed<QStringList>(store, QStringLiteral("version contents"));
        for (; !rs.atEnd(); rs.next())
            unused.append({rs.text(0), rs.text(1)});
    } else {
        for (const QString& sha : among) {
            RecordSet rs = store.query(QStringLiteral("select sha256,lj from bbnr b where sha256=?"
                                                      " and not exists (select 1 from wjbb v where v.sha256=b.sha256)"),
                                       {sha});
            if (!rs)
                return readFailed<QStringList>(store, QStringLiteral("version contents"));
            if (!rs.atEnd())
                unused.append({rs.text(0), rs.text(1)});
        }
    }
    QStringList files;
    for (const Unused& u : std::as_const(unused)) {
        if (!store.execute(QStringLiteral("delete from bbnr where sha256=?"), {u.sha256}))
            return readFailed<QStringList>(store, QStringLiteral("version content delete"));
        if (u.keptPath.trimmed().isEmpty())
            continue;
        // A file a record names is the record's, whatever bbnr said.
        const Result<std::optional<QVariant>> named = store.scalar(
            QStringLiteral("select (select count(*) from wj where lj=?) + (select count(*) from wjhs where lj=?)"),
            {u.keptPath, u.keptPath});
        if (!named)
            return Result<QStringList>::fail(QString(), QStringLiteral("kept file lookup: ") + named.detail());
        if (named->value_or(0).toLongLong() == 0)
            files << u.keptPath;
    }
    return files;
}

Result<QList<Version>> withoutContent(DataStore& store)
{
    RecordSet rs = store.query(
        QStringLiteral("select ") + kColumns
        + QStringLiteral(
            " from wjbb v where not exists (select 1 from bbnr b where b.sha256=v.sha256) order by wjid,bbh"));
    if (!rs)
        return readFailed<QList<Version>>(store, QStringLiteral("versions"));
    QList<Version> out;
    for (; !rs.atEnd(); rs.next())
        out.append(versionAt(rs));
    return out;
}

Result<Totals> totals(DataStore& store)
{
    RecordSet rs = store.query(QStringLiteral(
        "select (select count(*) from wjbb),(select count(*) from bbnr),(select coalesce(sum(dx),0) from bbnr)"));
    if (!rs || rs.atEnd())
        return readFailed<Totals>(store, QStringLiteral("versions"));
    return Totals{rs.number(0), rs.number(1), rs.number(2)};
}

}  // namespace VersionRows
