#include "store/MainSettings.h"

#include "store/DataStore.h"

std::optional<MainSettings> MainSettings::read(DataStore& store)
{
    RecordSet rs = store.query(QStringLiteral("select pxfs,ylcs,wz,ms,bjfs,bjys,bjtp from zcbj where id=1"));
    if (!rs || rs.atEnd())
        return std::nullopt;
    MainSettings s;
    s.sortClause = rs.text(0);
    s.countViewsOff = countViewsOffFrom(rs.number(1));
    s.bannerText = rs.text(2);
    s.displayMode = rs.number(3) == 2 ? 2 : 1;
    s.background = rs.number(4) == Picture ? Picture : Colour;
    s.bannerColour = static_cast<int>(rs.number(5));
    s.bannerPicture = rs.bytes(6);
    return s;
}

Result<bool> MainSettings::readCountViewsOff(DataStore& store)
{
    RecordSet rs = store.query(QStringLiteral("select ylcs from zcbj where id=1"));
    if (!rs)
        return Result<bool>::fail(QString(), store.lastError());
    if (rs.atEnd())
        return Result<bool>::fail(QString(), QStringLiteral("zcbj has no row 1"));
    return countViewsOffFrom(rs.number(0));
}

Status MainSettings::writePersonal(DataStore& store, const MainSettings& s)
{
    const bool picture = s.background == Picture;
    if (!store.execute(QStringLiteral("update zcbj set ms=?,bjfs=?,bjys=?,wz=?,ylcs=?,bjtp=? where id=1"),
                       {s.displayMode == 2 ? 2 : 1, picture ? int(Picture) : int(Colour), s.bannerColour, s.bannerText,
                        s.countViewsOff ? 1 : 0, s.bannerPicture}))
        return Status::fail(QString(), QStringLiteral("zcbj: ") + store.lastError());
    if (store.rowsAffected() != 1)
        return Status::fail(QString(), QStringLiteral("zcbj has no row 1"));
    return {};
}

Status MainSettings::clearViewCounts(DataStore& store)
{
    if (!store.execute(QStringLiteral("update wj set ylcs=0 where ylcs<>0")))
        return Status::fail(QString(), QStringLiteral("wj: ") + store.lastError());
    return {};
}
