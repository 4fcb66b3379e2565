#include "store/RecordRows.h"

#include "store/DataStore.h"
#include "store/GroupRows.h"

namespace RecordRows {

namespace {

template <typename T> Result<T> readFailed(DataStore& store)
{
    return Result<T>::fail(QString(), QStringLiteral("wj: ") + store.lastError());
}

Status failed(DataStore& store)
{
    return Status::fail(QString(), QStringLiteral("wj: ") + store.lastError());
}

// One row changed, or the failure: the statement's, or no such record.
Status oneRow(DataStore& store, bool executed, qint64 id)
{
    if (!executed)
        return failed(store);
    if (store.rowsAffected() != 1)
        return Status::fail(QString(), QStringLiteral("record %1 not found").arg(id));
    return {};
}

Result<bool> anyCounted(const Result<std::optional<QVariant>>& n)
{
    if (!n)
        return Result<bool>::fail(QString(), QStringLiteral("wj: ") + n.detail());
    return n->value_or(0).toLongLong() > 0;
}

// Text for a column: never NULL, so that every text column reads '' when empty.
QVariant text(const QString& s)
{
    return s.isNull() ? QVariant(QString(QLatin1String(""))) : QVariant(s);
}

bool isSpare(const QString& column)
{
    for (int i = 0; i < WjColumns::SpareCount; ++i)
        if (column == WjColumns::spareColumn(i))
            return true;
    return false;
}

// Every column of wj but its content, the columns of a FileRecord.
const QString& recordColumns()
{
    static const QString columns = [] {
        QStringList c = WjColumns::all();
        c.removeAll(QStringLiteral("wj"));
        return c.join(QLatin1Char(','));
    }();
    return columns;
}

FileRecord recordFrom(const RecordSet& rs)
{
    FileRecord r;
    r.id = rs.number(QStringLiteral("id"));
    r.position = rs.number(QStringLiteral("xh"));
    r.number = rs.text(QStringLiteral("bh"));
    r.name = rs.text(QStringLiteral("mc"));
    r.group = rs.text(QStringLiteral("fz"));
    r.type = rs.text(QStringLiteral("lx"));
    r.sizeText = rs.text(QStringLiteral("dx"));
    r.size = rs.number(QStringLiteral("dxsz"));
    for (int i = 0; i < WjColumns::SpareCount; ++i)
        r.spare[i] = rs.text(WjColumns::spareColumn(i));
    r.storedBy = rs.text(QStringLiteral("scr"));
    r.storedAt = rs.text(QStringLiteral("scsj"));
    r.changedBy = rs.text(QStringLiteral("xgr"));
    r.changedAt = rs.text(QStringLiteral("xgsj"));
    r.remark = rs.text(QStringLiteral("bz"));
    r.viewCount = rs.number(QStringLiteral("ylcs"));
    r.keptPath = rs.text(QStringLiteral("lj"));
    return r;
}

// The id a new record takes: above every record's, those in the trash
// among them, so that a record moved back from the trash finds its id free.
const QString& newId()
{
    static const QString sql =
        QStringLiteral("(select max(coalesce((select max(id) from wj),0),coalesce((select max(id) from wjhs),0))+1)");
    return sql;
}

// The columns a copy takes over from its original (xh, bh, fz, ylcs, xgr and
// xgsj are its own).
const QString kCopiedColumns =
    QStringLiteral("mc,lx,dx,dxsz,b1,b2,b3,b4,b5,b6,b7,b8,b9,b10,b11,b12,b13,b14,b15,scr,scsj,bz,lj,wj");

}  // namespace

const QString& briefColumns()
{
    static const QString columns = QStringLiteral("id,bh,mc,fz,lx,lj,dxsz,sha256");
    return columns;
}

Brief briefFrom(const RecordSet& rs)
{
    Brief b;
    b.id = rs.number(0);
    b.number = rs.text(1);
    b.name = rs.text(2);
    b.group = rs.text(3);
    b.type = rs.text(4);
    b.keptPath = rs.text(5);
    b.size = rs.number(6);
    b.sha256 = rs.text(7);
    return b;
}

Result<std::optional<FileRecord>> read(DataStore& store, qint64 id)
{
    RecordSet rs =
        store.query(QStringLiteral("select ") + recordColumns() + QStringLiteral(" from wj where id=?"), {id});
    if (!rs)
        return readFailed<std::optional<FileRecord>>(store);
    if (rs.atEnd())
        return std::optional<FileRecord>();
    return std::optional<FileRecord>(recordFrom(rs));
}

Result<std::optional<Brief>> brief(DataStore& store, qint64 id)
{
    RecordSet rs =
        store.query(QStringLiteral("select ") + briefColumns() + QStringLiteral(" from wj where id=?"), {id});
    if (!rs)
        return readFailed<std::optional<Brief>>(store);
    if (rs.atEnd())
        return std::optional<Brief>();
    return std::optional<Brief>(briefFrom(rs));
}

Result<std::optional<QStringList>> texts(DataStore& store, qint64 id, const QStringList& columns)
{
    using Texts = Result<std::optional<QStringList>>;
    QStringList named;
    for (const QString& c : columns) {
        const QString known = WjColumns::canonical(c);
        if (known.isEmpty())
            return Texts::fail(QString(), QStringLiteral("wj has no column %1 to read").arg(c));
        named << known;
    }
    if (named.isEmpty())
        named << QStringLiteral("id");
    RecordSet rs = store.query(
        QStringLiteral("select ") + named.join(QLatin1Char(',')) + QStringLiteral(" from wj where id=?"), {id});
    if (!rs)
        return readFailed<std::optional<QStringList>>(store);
    if (rs.atEnd())
        return std::optional<QStringList>();
    QStringList out;
    for (int i = 0; i < columns.size(); ++i)
        out << rs.text(i);
    return std::optional<QStringList>(out);
}

Result<QList<Named>> sameName(DataStore& store, const QString& name, const QString& type, const QStringList& excluded)
{
    QString sql = QStringLiteral("select id,bh,mc,lx,fz,scsj from wj where mc=? and lx=?");
    QVariantList params{name, type};
    for (const QString& e : excluded) {
        const GroupRows::Condition hidden = GroupRows::withSubgroups(e);
        sql += QStringLiteral(" and not ") + hidden.sql;
        params += hidden.params;
    }
    RecordSet rs = store.query(sql + QStringLiteral(" order by id"), params);
    if (!rs)
        return readFailed<QList<Named>>(store);
    QList<Named> out;
    for (; !rs.atEnd(); rs.next())
        out.append({rs.number(0), rs.text(1), rs.text(2), rs.text(3), rs.text(4), rs.text(5)});
    return out;
}

Result<QList<qint64>> numbered(DataStore& store, const QString& number)
{
    RecordSet rs = store.query(QStringLiteral("select id from wj where bh=? order by id asc"), {number});
    if (!rs)
        return readFailed<QList<qint64>>(store);
    QList<qint64> ids;
    for (; !rs.atEnd(); rs.next())
        ids << rs.number(0);
    return ids;
}

Result<qint64> nextPosition(DataStore& store)
{
    const Result<std::optional<QVariant>> last =
        store.scalar(QStringLiteral("select xh from wj order by id desc limit 1"));
    if (!last)
        return Result<qint64>::fail(QString(), QStringLiteral("wj: ") + last.detail());
    return last->has_value() ? (*last)->toLongLong() + 1 : 1;
}

Result<qint64> insert(DataStore& store, const FileRecord& r)
{
    QVariantList params{r.position,   text(r.number),   text(r.name), text(r.group),
                        text(r.type), text(r.sizeText), r.size};
    for (int i = 0; i < WjColumns::SpareCount; ++i)
        params << text(r.spare.value(i));
    params << text(r.storedBy) << text(r.storedAt) << text(r.remark) << text(r.keptPath);
    // wj.wj holds nothing: held content goes to its own table.
    if (!store.execute(
            QStringLiteral(
                "insert into wj(id,xh,bh,mc,fz,lx,dx,dxsz,b1,b2,b3,b4,b5,b6,b7,b8,b9,b10,b11,b12,b13,b14,b15,"
                "scr,scsj,bz,lj,wj) values (")
                + newId() + QStringLiteral(",?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,NULL)"),
            params))
        return readFailed<qint64>(store);
    return store.lastInsertId();
}

Status change(DataStore& store, const FileRecord& r, bool withContent)
{
    QString sql = QStringLiteral("update wj set mc=?,fz=?");
    QVariantList params{text(r.name), text(r.group)};
    for (int i = 0; i < WjColumns::SpareCount; ++i) {
        sql += QStringLiteral(",%1=?").arg(WjColumns::spareColumn(i));
        params << text(r.spare.value(i));
    }
    sql += QStringLiteral(",xgr=?,xgsj=?,bz=?");
    params << text(r.changedBy) << text(r.changedAt) << text(r.remark);
    if (withContent) {
        sql += QStringLiteral(",lx=?,dx=?,dxsz=?,lj=?,wj=NULL");
        params << text(r.type) << text(r.sizeText) << r.size << text(r.keptPath);
    }
    sql += QStringLiteral(" where id=?");
    params << r.id;
    return oneRow(store, store.execute(sql, params), r.id);
}

Status remove(DataStore& store, qint64 id)
{
    return oneRow(store, store.execute(QStringLiteral("delete from wj where id=?"), {id}), id);
}

Result<qint64> copy(DataStore& store, qint64 from, qint64 position, const QString& number, const QString& group)
{
    const bool executed = store.execute(QStringLiteral("insert into wj(id,xh,bh,fz,") + kCopiedColumns
                                            + QStringLiteral(") select ") + newId() + QStringLiteral(",?,?,?,")
                                            + kCopiedColumns + QStringLiteral(" from wj where id=?"),
                                        {position, number, group, from});
    if (const Status one = oneRow(store, executed, from); !one)
        return Result<qint64>::fail(QString(), one.detail());
    return store.lastInsertId();
}

Status setNumber(DataStore& store, qint64 id, const QString& number, const QString& keptPath)
{
    return oneRow(store, store.execute(QStringLiteral("update wj set bh=?,lj=? where id=?"), {number, keptPath, id}),
                  id);
}

Status replaceMarker(DataStore& store, qint64 id, const QString& marker, const QString& number, const QString& keptPath)
{
    return oneRow(
        store,
        store.execute(QStringLiteral("update wj set bh=?,lj=? where id=? and bh=?"), {number, keptPath, id, marker}),
        id);
}

Status fillHash(DataStore& store, qint64 id, const QString& sha256Hex)
{
    if (!store.execute(QStringLiteral("update wj set sha256=coalesce(sha256,?) where id=?"), {sha256Hex, id}))
        return failed(store);
    return {};
}

Result<bool> keptPathInUse(DataStore& store, const QString& storedPath, const QString& folderPath)
{
    return anyCounted(store.scalar(QStringLiteral("select (select count(*) from wj where lj=? or lj=?)"
                                                  "+(select count(*) from wjhs where lj=? or lj=?)"
                                                  "+(select count(*) from bbnr where lj=? or lj=?)"),
                                   {storedPath, folderPath, storedPath, folderPath, storedPath, folderPath}));
}

Result<bool> keptPathShared(DataStore& store, qint64 id, const QString& lj, const QString& absolute,
                            const QString& stored)
{
    return anyCounted(
        store.scalar(QStringLiteral("select (select count(*) from wj where id<>? and (lj=? or lj=? or lj=?))"
                                    "+(select count(*) from wjhs where id<>? and (lj=? or lj=? or lj=?))"
                                    "+(select count(*) from bbnr where lj=? or lj=? or lj=?)"),
                     {id, lj, absolute, stored, id, lj, absolute, stored, lj, absolute, stored}));
}

Status eachKeptPath(DataStore& store, const std::function<void(const QString&)>& each)
{
    RecordSet rs =
        store.query(QStringLiteral("select lj from wj where lj<>'' union all select lj from wjhs where lj<>''"
                                   " union all select lj from bbnr where lj<>''"));
    if (!rs)
        return failed(store);
    for (; !rs.atEnd(); rs.next())
        each(rs.text(0));
    return {};
}

Status setSpare(DataStore& store, const QString& column, qint64 id, const QString& value)
{
    if (!isSpare(column))
        return Status::fail(QString(), QStringLiteral("%1 is not a spare field").arg(column));
    return oneRow(store, store.execute(QStringLiteral("update wj set %1=? where id=?").arg(column), {value, id}), id);
}

Result<QStringList> spareValues(DataStore& store, const QString& column, const QStringList& excluded)
{
    if (!isSpare(column))
        return Result<QStringList>::fail(QString(), QStringLiteral("%1 is not a spare field").arg(column));
    QString sql = QStringLiteral("select %1 from wj where %1<>''").arg(column);
    QVariantList params;
    for (const QString& e : excluded) {
        const GroupRows::Condition hidden = GroupRows::withSubgroups(e);
        sql += QStringLiteral(" and not ") + hidden.sql;
        params += hidden.params;
    }
    RecordSet rs = store.query(sql + QStringLiteral(" group by %1 order by %1").arg(column), params);
    if (!rs)
        return readFailed<QStringList>(store);
    QStringList out;
    for (; !rs.atEnd(); rs.next())
        out << rs.text(0);
    return out;
}

Status countView(DataStore& store, qint64 id)
{
    // One statement, so that two openings count two; a copied record starts
    // with no count at all.
    return oneRow(store, store.execute(QStringLiteral("update wj set ylcs=coalesce(ylcs,0)+1 where id=?"), {id}), id);
}

}  // namespace RecordRows
