#include "store/ImportRuns.h"

#include "store/DataStore.h"

namespace ImportRuns {

namespace {

Status failed(DataStore& store, const QString& what)
{
    return Status::fail(QString(), what + QStringLiteral(": ") + store.lastError());
}

const QString kRunColumns =
    QStringLiteral("select p.id,p.sj,p.czy,p.fz,(select count(*) from drjl d where d.pc=p.id),p.cx from drpc p");

Run runOf(const RecordSet& rs)
{
    Run r;
    r.id = rs.number(0);
    r.at = rs.text(1);
    r.by = rs.text(2);
    r.group = rs.text(3);
    r.added = int(rs.number(4));
    r.undone = rs.number(5) != 0;
    return r;
}

}  // namespace

Result<qint64> start(DataStore& store, const QString& at, const QString& by, const QString& group)
{
    if (!store.execute(QStringLiteral("insert into drpc(sj,czy,fz,sl,cx) values (?,?,?,0,0)"), {at, by, group}))
        return Result<qint64>::fail(QString(), QStringLiteral("import run: ") + store.lastError());
    return store.lastInsertId();
}

Status record(DataStore& store, qint64 run, qint64 id)
{
    if (!store.execute(QStringLiteral("insert or ignore into drjl(pc,wjid) values (?,?)"), {run, id}))
        return failed(store, QStringLiteral("import run record"));
    return {};
}

Status finish(DataStore& store, qint64 run, int added)
{
    if (!store.execute(QStringLiteral("update drpc set sl=? where id=?"), {added, run}))
        return failed(store, QStringLiteral("import run end"));
    return {};
}

Result<QList<Run>> latest(DataStore& store, int count, bool openOnly)
{
    RecordSet rs = openOnly
        ? store.query(kRunColumns
                          + QStringLiteral(" where p.cx=0 and exists (select 1 from drjl d where d.pc=p.id)"
                                           " order by p.id desc limit ?"),
                      {count})
        : store.query(kRunColumns + QStringLiteral(" order by p.id desc limit ?"), {count});
    if (!rs)
        return Result<QList<Run>>::fail(QString(), QStringLiteral("import runs: ") + store.lastError());
    QList<Run> runs;
    for (; !rs.atEnd(); rs.next())
        runs.append(runOf(rs));
    return runs;
}

Result<std::optional<Run>> read(DataStore& store, qint64 run)
{
    using Found = std::optional<Run>;
    RecordSet rs = store.query(kRunColumns + QStringLiteral(" where p.id=?"), {run});
    if (!rs)
        return Result<Found>::fail(QString(), QStringLiteral("import run: ") + store.lastError());
    if (rs.atEnd())
        return Found();
    return Found(runOf(rs));
}

Result<QList<qint64>> ids(DataStore& store, qint64 run)
{
    RecordSet rs = store.query(QStringLiteral("select wjid from drjl where pc=? order by wjid"), {run});
    if (!rs)
        return Result<QList<qint64>>::fail(QString(), QStringLiteral("import run records: ") + store.lastError());
    QList<qint64> out;
    for (; !rs.atEnd(); rs.next())
        out.append(rs.number(0));
    return out;
}

Result<QList<Present>> present(DataStore& store, qint64 run)
{
    RecordSet rs = store.query(
        QStringLiteral("select w.id,w.fz from drjl d join wj w on w.id=d.wjid where d.pc=? order by w.id"), {run});
    if (!rs)
        return Result<QList<Present>>::fail(QString(), QStringLiteral("import run records: ") + store.lastError());
    QList<Present> out;
    for (; !rs.atEnd(); rs.next())
        out.append({rs.number(0), rs.text(1)});
    return out;
}

Status markUndone(DataStore& store, qint64 run)
{
    if (!store.execute(QStringLiteral("update drpc set cx=1 where id=?"), {run}))
        return failed(store, QStringLiteral("import run undo"));
    return {};
}

}  // namespace ImportRuns
