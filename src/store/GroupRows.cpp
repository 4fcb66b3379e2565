#include "store/GroupRows.h"

#include "store/DataStore.h"

namespace GroupRows {

namespace {

template <typename T> Result<T> readFailed(DataStore& store, const QString& what)
{
    return Result<T>::fail(QString(), what + QStringLiteral(": ") + store.lastError());
}

Status failed(DataStore& store, const QString& what)
{
    return Status::fail(QString(), what + QStringLiteral(": ") + store.lastError());
}

// The files' statement: one text for each number of excluded groups and of types.
Condition filesQuery(const QString& path, const QStringList& excluded, const QStringList& lowerTypes)
{
    Condition c = within(path, excluded);
    c.sql.prepend(QStringLiteral("select ") + RecordRows::briefColumns() + QStringLiteral(" from wj"));
    if (!lowerTypes.isEmpty()) {
        QStringList marks;
        for (const QString& t : lowerTypes) {
            marks << QStringLiteral("?");
            c.params << t;
        }
        c.sql += QStringLiteral(" and lower(lx) in (") + marks.join(QLatin1Char(',')) + QLatin1Char(')');
    }
    c.sql += QStringLiteral(" order by id");
    return c;
}

}  // namespace

Condition exactly(const QString& path, const QString& column)
{
    return {QStringLiteral("(%1 = ?)").arg(column), {path}};
}

Condition withSubgroups(const QString& path, const QString& column)
{
    if (path.isEmpty())
        return {QStringLiteral("(1 = 1)"), {}};
    // One range of the binary order, so that the index on fz (with dxsz
    // beside it) answers with a single search: every path of the group or
    // below it lies in [path, path + "]"), "]" being the character after "\".
    // The range also holds names that merely begin with path ("AB", "A B"),
    // so inside it only path itself and what follows path + "\" count: every
    // text above path + "\" and below path + "]" begins with path + "\",
    // and no other does. No wildcard: "%", "_" and "\" in names mean themselves.
    return {QStringLiteral("(%1 >= ? and %1 < ? and (%1 = ? or %1 > ?))").arg(column),
            {path, path + QLatin1Char(']'), path, path + QLatin1Char('\\')}};
}

Condition within(const QString& path, const QStringList& excluded)
{
    Condition c = withSubgroups(path);
    c.sql.prepend(QStringLiteral(" where "));
    for (const QString& e : excluded) {
        const Condition hidden = withSubgroups(e);
        c.sql += QStringLiteral(" and not ") + hidden.sql;
        c.params += hidden.params;
    }
    return c;
}

Result<QList<Row>> all(DataStore& store)
{
    RecordSet rs = store.query(QStringLiteral("select id,fxmid,xmmc,tpid,xztp,mm from wjfz order by id asc"));
    if (!rs)
        return readFailed<QList<Row>>(store, QStringLiteral("wjfz"));
    QList<Row> rows;
    for (; !rs.atEnd(); rs.next()) {
        Row r;
        r.id = rs.number(0);
        r.parentId = rs.number(1);
        r.name = rs.text(2);
        r.image = static_cast<int>(rs.number(3));
        r.selectedImage = static_cast<int>(rs.number(4));
        r.passwordHash = rs.text(5);
        rows.append(r);
    }
    return rows;
}

Result<std::optional<QString>> password(DataStore& store, qint64 id)
{
    const Result<std::optional<QVariant>> mm = store.scalar(QStringLiteral("select mm from wjfz where id=?"), {id});
    if (!mm)
        return Result<std::optional<QString>>::fail(QString(), QStringLiteral("wjfz: ") + mm.detail());
    if (!mm->has_value())
        return std::optional<QString>();
    return std::optional<QString>((*mm)->toString());
}

Result<bool> anyProtected(DataStore& store)
{
    const Result<std::optional<QVariant>> count =
        store.scalar(QStringLiteral("select count(id) from wjfz where mm<>''"));
    if (!count)
        return Result<bool>::fail(QString(), QStringLiteral("wjfz: ") + count.detail());
    return count->value_or(0).toLongLong() != 0;
}

Status clear(DataStore& store)
{
    if (!store.execute(QStringLiteral("delete from wjfz")))
        return failed(store, QStringLiteral("wjfz"));
    return {};
}

Status insert(DataStore& store, const Row& row)
{
    if (!store.execute(QStringLiteral("insert into wjfz(id,fxmid,xmmc,tpid,xztp,mm) values (?,?,?,?,?,?)"),
                       {row.id, row.parentId, row.name, row.image, row.selectedImage, row.passwordHash}))
        return failed(store, QStringLiteral("wjfz"));
    return {};
}

Status setPassword(DataStore& store, qint64 id, const QString& passwordHash, int image, int selectedImage)
{
    if (!store.execute(QStringLiteral("update wjfz set mm=?,tpid=?,xztp=? where id=?"),
                       {passwordHash, image, selectedImage, id}))
        return failed(store, QStringLiteral("wjfz"));
    if (store.rowsAffected() != 1)
        return Status::fail(QString(), QStringLiteral("wjfz has no group %1").arg(id));
    return {};
}

Result<qint64> fileCount(DataStore& store, const QString& path, const QStringList& excluded)
{
    const Condition c = within(path, excluded);
    const Result<std::optional<QVariant>> n =
        store.scalar(QStringLiteral("select count(id) from wj") + c.sql, c.params);
    if (!n)
        return Result<qint64>::fail(QString(), QStringLiteral("wj: ") + n.detail());
    return n->value_or(0).toLongLong();
}

Status moveFiles(DataStore& store, const QString& oldPath, const QString& newPath)
{
    const Condition c = withSubgroups(oldPath);
    if (!store.execute(QStringLiteral("update wj set fz = ? || substr(fz, length(?) + 1) where ") + c.sql,
                       QVariantList{newPath, oldPath} + c.params))
        return failed(store, QStringLiteral("wj"));
    return {};
}

Result<QList<RecordRows::Brief>> files(DataStore& store, const QString& path, const QStringList& excluded,
                                       const QStringList& lowerTypes)
{
    const Condition q = filesQuery(path, excluded, lowerTypes);
    RecordSet rs = store.query(q.sql, q.params);
    if (!rs)
        return readFailed<QList<RecordRows::Brief>>(store, QStringLiteral("wj"));
    QList<RecordRows::Brief> out;
    for (; !rs.atEnd(); rs.next())
        out.append(RecordRows::briefFrom(rs));
    return out;
}

Status eachFile(DataStore& store, const QString& path, const QStringList& excluded,
                const std::function<bool(const RecordRows::Brief&)>& each)
{
    const Condition q = filesQuery(path, excluded, {});
    RecordSet rs = store.query(q.sql, q.params);
    if (!rs)
        return failed(store, QStringLiteral("wj"));
    for (; !rs.atEnd(); rs.next())
        if (!each(RecordRows::briefFrom(rs)))
            break;
    return {};
}

Result<QList<qint64>> fileIds(DataStore& store, const QString& path, const QStringList& excluded)
{
    const Condition c = within(path, excluded);
    RecordSet rs =
        store.query(QStringLiteral("select id from wj") + c.sql + QStringLiteral(" order by id asc"), c.params);
    if (!rs)
        return readFailed<QList<qint64>>(store, QStringLiteral("wj"));
    QList<qint64> ids;
    for (; !rs.atEnd(); rs.next())
        ids << rs.number(0);
    return ids;
}

}  // namespace GroupRows
