#include "listing/SavedConditions.h"

#include "store/DataStore.h"

namespace SavedConditions {

namespace {

Status checkInput(const QString& name, const QList<SearchConditions::Condition>& rows)
{
    if (rows.isEmpty())
        return Status::fail(QStringLiteral("当前没有条件! "));
    if (name.trimmed().isEmpty())
        return Status::fail(QStringLiteral("名称不能为空!"));
    for (const SearchConditions::Condition& c : rows)
        if (const Status ok = SearchConditions::check(c); !ok)
            return ok;
    return {};
}

}  // namespace

Result<QList<Entry>> visibleTo(DataStore& store, const QString& userName)
{
    RecordSet rs = store.query(QStringLiteral("select id,mc,syr,cjr from tj where syr=? or syr=? order by id"),
                               {userName, PublicUser});
    if (!rs)
        return Result<QList<Entry>>::fail(QStringLiteral("读取条件失败!"), store.lastError());
    QList<Entry> out;
    for (; !rs.atEnd(); rs.next())
        out.append(Entry{rs.number(0), rs.text(1), rs.text(2), rs.text(3)});
    return out;
}

Result<Entry> entry(DataStore& store, qint64 id, const QString& userName)
{
    RecordSet rs = store.query(QStringLiteral("select id,mc,syr,cjr from tj where id=? and (syr=? or syr=?)"),
                               {id, userName, PublicUser});
    if (!rs)
        return Result<Entry>::fail(QStringLiteral("读取条件失败!"), store.lastError());
    if (rs.atEnd())
        return Result<Entry>::fail(QStringLiteral("该条件已不存在!"), QStringLiteral("no condition %1").arg(id));
    return Entry{rs.number(0), rs.text(1), rs.text(2), rs.text(3)};
}

Result<qint64> add(DataStore& store, const QString& name, bool isPublic, const QString& userName,
                   const QList<SearchConditions::Condition>& rows)
{
    if (const Status ok = checkInput(name, rows); !ok)
        return Result<qint64>::fail(ok.message(), ok.detail());
    if (!store.execute(QStringLiteral("insert into tj(syr,cjr,mc,nr,sq) values (?,?,?,?,?)"),
                       {isPublic ? PublicUser : userName, userName, name.trimmed(),
                        SearchConditions::encodeRows(rows), SearchConditions::encodeSql(rows)}))
        return Result<qint64>::fail(QStringLiteral("加入失败！"), store.lastError());
    return Result<qint64>(store.lastInsertId(), QStringLiteral("保存成功！"));
}

QString foreignMessage(const QString& creator)
{
    return QStringLiteral("您无权修改 ") + creator + QStringLiteral(" 创建的条件 , 请选择自己创建的条件! ");
}

Status update(DataStore& store, qint64 id, const QString& name, bool isPublic, const QString& userName,
              const QList<SearchConditions::Condition>& rows)
{
    if (const Status ok = checkInput(name, rows); !ok)
        return ok;
    const Result<Entry> e = entry(store, id, userName);
    if (!e)
        return Status::fail(e.message(), e.detail());
    if (e->creator != userName)
        return Status::fail(foreignMessage(e->creator));
    if (!store.execute(QStringLiteral("update tj set syr=?,cjr=?,mc=?,nr=?,sq=? where id=? and cjr=?"),
                       {isPublic ? PublicUser : userName, userName, name.trimmed(), SearchConditions::encodeRows(rows),
                        SearchConditions::encodeSql(rows), id, userName})
        || store.rowsAffected() != 1)
        return Status::fail(QStringLiteral("加入失败！"), store.lastError());
    return Status::success(QStringLiteral("保存成功！"));
}

Result<QList<SearchConditions::Condition>> rows(DataStore& store, qint64 id, const QString& userName)
{
    using R = Result<QList<SearchConditions::Condition>>;
    const Result<Entry> e = entry(store, id, userName);
    if (!e)
        return R::fail(e.message(), e.detail());
    const Result<std::optional<QVariant>> nr = store.scalar(QStringLiteral("select nr from tj where id=?"), {id});
    if (!nr || !nr->has_value())
        return R::fail(QStringLiteral("读取条件失败!"), nr ? QStringLiteral("tj %1 is gone").arg(id) : nr.detail());
    const auto decoded = SearchConditions::decodeRows((*nr)->toString());
    if (!decoded)
        return R::fail(QStringLiteral("条件内容无法识别，不能打开!"), QStringLiteral("malformed tj.nr of %1").arg(id));
    for (const SearchConditions::Condition& c : *decoded)
        if (const Status ok = SearchConditions::check(c); !ok)
            return R::fail(QStringLiteral("条件内容无法识别，不能打开!"), ok.detail());
    return *decoded;
}

Removal remove(DataStore& store, qint64 id, const QString& userName)
{
    const Result<Entry> e = entry(store, id, userName);
    if (!e)
        return Removal::Failed;
    if (e->creator != userName)
        return Removal::Foreign;
    if (!store.execute(QStringLiteral("delete from tj where id=? and cjr=?"), {id, userName}) || store.rowsAffected() != 1)
        return Removal::Failed;
    return Removal::Removed;
}

}  // namespace SavedConditions
