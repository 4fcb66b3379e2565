#include "listing/SavedConditions.h"

#include "store/DataStore.h"
#include "store/SavedConditionRows.h"

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

namespace {
Entry entryOf(const SavedConditionRows::Row& r)
{
    return Entry{r.id, r.name, r.user, r.creator};
}
}  // namespace

Result<QList<Entry>> visibleTo(DataStore& store, const QString& userName)
{
    const Result<QList<SavedConditionRows::Row>> rows = SavedConditionRows::usedBy(store, userName, PublicUser);
    if (!rows)
        return Result<QList<Entry>>::fail(QStringLiteral("读取条件失败!"), rows.detail());
    QList<Entry> out;
    for (const SavedConditionRows::Row& r : rows.value())
        out.append(entryOf(r));
    return out;
}

Result<Entry> entry(DataStore& store, qint64 id, const QString& userName)
{
    const Result<std::optional<SavedConditionRows::Row>> row =
        SavedConditionRows::find(store, id, userName, PublicUser);
    if (!row)
        return Result<Entry>::fail(QStringLiteral("读取条件失败!"), row.detail());
    if (!row->has_value())
        return Result<Entry>::fail(QStringLiteral("该条件已不存在!"), QStringLiteral("no condition %1").arg(id));
    return entryOf(**row);
}

Result<qint64> add(DataStore& store, const QString& name, bool isPublic, const QString& userName,
                   const QList<SearchConditions::Condition>& rows)
{
    if (const Status ok = checkInput(name, rows); !ok)
        return Result<qint64>::fail(ok.message(), ok.detail());
    const SavedConditionRows::Row row{0, name.trimmed(), isPublic ? PublicUser : userName, userName};
    const Result<qint64> id =
        SavedConditionRows::insert(store, row, SearchConditions::encodeRows(rows), SearchConditions::encodeSql(rows));
    if (!id)
        return Result<qint64>::fail(QStringLiteral("加入失败！"), id.detail());
    return Result<qint64>(id.value(), QStringLiteral("保存成功！"));
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
    const SavedConditionRows::Row row{id, name.trimmed(), isPublic ? PublicUser : userName, userName};
    const Result<int> changed = SavedConditionRows::update(store, row, SearchConditions::encodeRows(rows),
                                                           SearchConditions::encodeSql(rows), userName);
    if (!changed || changed.value() != 1)
        return Status::fail(QStringLiteral("加入失败！"),
                            changed ? QStringLiteral("tj %1 not changed").arg(id) : changed.detail());
    return Status::success(QStringLiteral("保存成功！"));
}

Result<QList<SearchConditions::Condition>> rows(DataStore& store, qint64 id, const QString& userName)
{
    using R = Result<QList<SearchConditions::Condition>>;
    const Result<Entry> e = entry(store, id, userName);
    if (!e)
        return R::fail(e.message(), e.detail());
    const Result<std::optional<QString>> nr = SavedConditionRows::content(store, id);
    if (!nr || !nr->has_value())
        return R::fail(QStringLiteral("读取条件失败!"), nr ? QStringLiteral("tj %1 is gone").arg(id) : nr.detail());
    const auto decoded = SearchConditions::decodeRows(**nr);
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
    const Result<int> gone = SavedConditionRows::remove(store, id, userName);
    if (!gone || gone.value() != 1)
        return Removal::Failed;
    return Removal::Removed;
}

}  // namespace SavedConditions
