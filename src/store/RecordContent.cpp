#include "store/RecordContent.h"

#include "platform/Sha256.h"
#include "store/DataStore.h"

namespace RecordContent {

namespace {

Status failed(DataStore& store, const QString& what)
{
    return Status::fail(QString(), what + QStringLiteral(": ") + store.lastError());
}

}  // namespace

Result<QByteArray> read(DataStore& store, qint64 id)
{
    {
        RecordSet rs = store.query(QStringLiteral("select nr from wjnr where id=?"), {id});
        if (!rs)
            return Result<QByteArray>::fail(QString(), QStringLiteral("content read: ") + store.lastError());
        if (!rs.atEnd()) {
            // An empty content reads as empty bytes, never as a null array.
            QByteArray bytes = rs.bytes(0);
            if (bytes.isNull())
                bytes = QByteArray("", 0);
            return bytes;
        }
    }
    // Not moved yet: an archive part way through its content move.
    RecordSet rs = store.query(QStringLiteral("select wj from wj where id=? and wj is not null"), {id});
    if (!rs)
        return Result<QByteArray>::fail(QString(), QStringLiteral("content read: ") + store.lastError());
    if (rs.atEnd())
        return Result<QByteArray>::fail(QString(), QStringLiteral("record %1 holds no content").arg(id));
    QByteArray bytes = rs.bytes(0);
    if (bytes.isNull())
        bytes = QByteArray("", 0);
    return bytes;
}

Result<bool> holds(DataStore& store, qint64 id)
{
    const Result<std::optional<QVariant>> n = store.scalar(
        QStringLiteral(
            "select (select count(*) from wjnr where id=?) + (select count(*) from wj where id=? and wj is not null)"),
        {id, id});
    if (!n)
        return Result<bool>::fail(QString(), QStringLiteral("content check: ") + n.detail());
    return n->value_or(0).toLongLong() > 0;
}

Status write(DataStore& store, qint64 id, const QByteArray& bytes)
{
    return write(store, id, bytes, Sha256::of(bytes));
}

Status write(DataStore& store, qint64 id, const QByteArray& bytes, const QString& sha256Hex)
{
    // An empty content is still content: bound as an empty blob, not NULL.
    if (!store.execute(QStringLiteral("insert or replace into wjnr(id,nr) values (?,?)"),
                       {id, QVariant(bytes.isNull() ? QByteArray("", 0) : bytes)}))
        return failed(store, QStringLiteral("content write"));
    // Whatever an unfinished move left in the row goes with the old content.
    if (!store.execute(QStringLiteral("update wj set wj=null,sha256=? where id=?"), {sha256Hex, id}))
        return failed(store, QStringLiteral("content write"));
    return {};
}

Status keep(DataStore& store, qint64 id, const QString& sha256Hex)
{
    if (const Status gone = remove(store, id); !gone)
        return gone;
    if (!store.execute(QStringLiteral("update wj set sha256=? where id=?"),
                       {sha256Hex.isEmpty() ? QVariant() : QVariant(sha256Hex), id}))
        return failed(store, QStringLiteral("content hash"));
    return {};
}

Result<QString> hash(DataStore& store, qint64 id)
{
    RecordSet rs = store.query(QStringLiteral("select sha256 from wj where id=?"), {id});
    if (!rs)
        return Result<QString>::fail(QString(), QStringLiteral("content hash: ") + store.lastError());
    return rs.atEnd() ? QString() : rs.text(0);
}

Status remove(DataStore& store, qint64 id)
{
    if (!store.execute(QStringLiteral("delete from wjnr where id=?"), {id}))
        return failed(store, QStringLiteral("content delete"));
    if (!store.execute(QStringLiteral("update wj set wj=null where id=? and wj is not null"), {id}))
        return failed(store, QStringLiteral("content delete"));
    return {};
}

Status copy(DataStore& store, qint64 from, qint64 to)
{
    if (!store.execute(QStringLiteral("delete from wjnr where id=?"), {to}))
        return failed(store, QStringLiteral("content copy"));
    // From the content table, or from the row of an archive not yet moved.
    if (!store.execute(
            QStringLiteral("insert or replace into wjnr(id,nr) select ?,wj from wj where id=? and wj is not null"),
            {to, from})
        || !store.execute(QStringLiteral("insert or replace into wjnr(id,nr) select ?,nr from wjnr where id=?"),
                          {to, from}))
        return failed(store, QStringLiteral("content copy"));
    if (!store.execute(QStringLiteral("update wj set wj=null,sha256=(select sha256 from wj where id=?) where id=?"),
                       {from, to}))
        return failed(store, QStringLiteral("content copy"));
    return {};
}

}  // namespace RecordContent
