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
