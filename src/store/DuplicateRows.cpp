#include "store/DuplicateRows.h"

#include "store/DataStore.h"

namespace DuplicateRows {

namespace {

const QString kRecords = QStringLiteral("select id,bh,mc,fz from wj where sha256=? order by id limit 1");
const QString kTrash = QStringLiteral("select id,bh,mc,fz from wjhs where sha256=? order by id limit 1");
// A version's record is looked up by its id, in wj and else in the trash.
const QString kVersions =
    QStringLiteral("select b.wjid,coalesce(w.bh,h.bh),coalesce(w.mc,h.mc),coalesce(w.fz,h.fz),b.bbh,w.id is null"
                   " from wjbb b left join wj w on w.id=b.wjid left join wjhs h on h.id=b.wjid"
                   " where b.sha256=? and (w.id is not null or h.id is not null) order by b.id limit 1");

Result<std::optional<Holder>> first(DataStore& store, const QString& sql, const QString& sha256Hex, bool version)
{
    using Found = std::optional<Holder>;
    RecordSet rs = store.query(sql, {sha256Hex});
    if (!rs)
        return Result<Found>::fail(QString(), QStringLiteral("duplicate look-up: ") + store.lastError());
    if (rs.atEnd())
        return Found();
    Holder h;
    h.id = rs.number(0);
    h.number = rs.text(1);
    h.name = rs.text(2);
    h.group = rs.text(3);
    if (version) {
        h.version = int(rs.number(4));
        h.inTrash = rs.number(5) != 0;
    }
    return Found(h);
}

}  // namespace

Result<std::optional<Holder>> inRecords(DataStore& store, const QString& sha256Hex)
{
    return first(store, kRecords, sha256Hex, false);
}

Result<std::optional<Holder>> inTrash(DataStore& store, const QString& sha256Hex)
{
    return first(store, kTrash, sha256Hex, false);
}

Result<std::optional<Holder>> inVersions(DataStore& store, const QString& sha256Hex)
{
    return first(store, kVersions, sha256Hex, true);
}

QString recordsStatement()
{
    return kRecords;
}

QString trashStatement()
{
    return kTrash;
}

QString versionsStatement()
{
    return kVersions;
}

}  // namespace DuplicateRows
