#include "settings/LogBook.h"

#include "listing/WorkbookExport.h"
#include "platform/PrivateFolder.h"
#include "platform/Progress.h"
#include "store/CurrentOperator.h"
#include "store/DataStore.h"
#include "store/LogWriter.h"

#include <QFile>

namespace LogBook {

namespace {

// A LIKE pattern that finds text anywhere, with '!' as the escape character.
QString anywhere(const QString& text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('!'), QLatin1String("!!"));
    escaped.replace(QLatin1Char('%'), QLatin1String("!%"));
    escaped.replace(QLatin1Char('_'), QLatin1String("!_"));
    return QLatin1Char('%') + escaped + QLatin1Char('%');
}

}  // namespace

QString dayText(const QDate& d)
{
    return d.toString(QStringLiteral("yyyy-MM-dd"));
}

QString deleteQuestion(const QDate& first, const QDate& last)
{
    return QStringLiteral("确定清除 ") + dayText(first) + QStringLiteral(" 至 ") + dayText(last)
        + QStringLiteral(" 的日志吗?");
}

QString exportTitle(const QDate& first, const QDate& last)
{
    return dayText(first) + QStringLiteral(" - ") + dayText(last) + QStringLiteral(" 操作日志");
}

QString Filter::where(QVariantList* params) const
{
    QString w = QStringLiteral(" where ");
    if (!operatorName.isEmpty()) {
        w += QStringLiteral("czy like ? escape '!' and ");
        params->append(anywhere(operatorName));
    }
    if (!content.isEmpty()) {
        w += QStringLiteral("nr like ? escape '!' and ");
        params->append(anywhere(content));
    }
    // The time text sorts as time, so the day range is also a range of sj
    // that its index serves: from the first day's start to before the day
    // after the last.
    w += QStringLiteral("sj >= ? and sj < ? and substr(sj,1,10) between ? and ?");
    params->append(dayText(first));
    params->append(dayText(last.addDays(1)));
    params->append(dayText(first));
    params->append(dayText(last));
    return w;
}

Result<Extent> extent(DataStore& store, const Filter& filter)
{
    if (filter.isEmpty())
        return Extent{};
    QVariantList params;
    const QString sql = QStringLiteral("select count(*), min(id), max(id) from rz") + filter.where(&params);
    RecordSet rs = store.query(sql, params);
    if (!rs)
        return Result<Extent>::fail(ReadFailed, store.lastError());
    if (rs.atEnd())
        return Extent{};
    return Extent{rs.number(0), rs.number(1), rs.number(2)};
}

Result<qint64> count(DataStore& store, const Filter& filter)
{
    const Result<Extent> e = extent(store, filter);
    if (!e)
        return Result<qint64>::fail(e.message(), e.detail());
    return e->lines;
}

Result<QList<Line>> read(DataStore& store, const Filter& filter, qint64 beforeId, int limit, qint64 firstId)
{
    QList<Line> lines;
    if (filter.isEmpty())
        return lines;
    QVariantList params;
    // Not through the index of sj: for a wide range it would sort every
    // line of the range for each chunk; the ids walk newest first as they are.
    QString sql = QStringLiteral("select id,sj,czy,nr from rz not indexed") + filter.where(&params);
    if (beforeId > 0) {
        sql += QStringLiteral(" and id < ?");
        params.append(beforeId);
    }
    if (firstId > 0) {
        sql += QStringLiteral(" and id >= ?");
        params.append(firstId);
    }
    sql += QStringLiteral(" order by id desc limit ?");
    params.append(limit);
    RecordSet rs = store.query(sql, params);
    if (!rs)
        return Result<QList<Line>>::fail(ReadFailed, store.lastError());
    for (; !rs.atEnd(); rs.next())
        lines.append({rs.number(0), rs.text(1), rs.text(2), rs.text(3)});
    return lines;
}

QStringList usableOperators(DataStore& store)
{
    QStringList names;
    RecordSet rs = store.query(QStringLiteral("select yhm from czygl where zt=? order by id"), {QStringLiteral("可用")});
    for (; !rs.atEnd(); rs.next())
        names.append(rs.text(0));
    return names;
}

Result<qint64> deleteRange(DataStore& store, const CurrentOperator& op, const QDate& first, const QDate& last)
{
    const Filter range{first, last, {}, {}};
    if (range.isEmpty())
        return qint64(0);
    Transaction tx(store);
    if (!tx.isActive())
        return Result<qint64>::fail(PrivateFolder::withCause(DeleteFailed, store.lastError()), store.lastError());
    QVariantList params;
    if (!store.execute(QStringLiteral("delete from rz") + range.where(&params), params))
        return Result<qint64>::fail(PrivateFolder::withCause(DeleteFailed, store.lastError()), store.lastError());
    const qint64 removed = store.rowsAffected();
    if (removed > 0) {
        LogWriter log(store, op);
        if (!log.write(DeletedPrefix + dayText(first) + QStringLiteral(" 至 ") + dayText(last)
                       + QStringLiteral("，共 %1 条").arg(removed)))
            return Result<qint64>::fail(PrivateFolder::withCause(DeleteFailed, store.lastError()), store.lastError());
    }
    if (!tx.commit())
        return Result<qint64>::fail(PrivateFolder::withCause(DeleteFailed, store.lastError()), store.lastError());
    return removed;
}

Status exportTo(DataStore& store, const Filter& filter, const QString& path, Progress* progress, int* cellsCut)
{
    if (cellsCut)
        *cellsCut = 0;
    const Result<Extent> span = extent(store, filter);
    if (!span)
        return Status::fail(span.message(), span.detail());
    if (span->lines == 0)
        return Status::fail(EmptyExport);

    // The lines are read in pages as the rows are written: the log is never
    // held whole.
    constexpr int Page = 2000;
    QList<Line> page;
    qint64 pageStart = 0;
    qint64 lastId = span->lastId + 1;
    QString readError;
    WorkbookExport::Table table;
    table.leading = {{exportTitle(filter.first, filter.last)}, Titles};
    table.rows = span->lines;
    table.columns = 3;
    table.fontName = FontName;
    table.columnWidth = 20;
    table.cell = [&](qint64 row, int column) -> QString {
        if (row - pageStart >= page.size()) {
            pageStart += page.size();
            Result<QList<Line>> next = read(store, filter, lastId, Page, span->firstId);
            if (!next)
                readError = next.detail();
            page = next ? std::move(next.value()) : QList<Line>{};
            if (!page.isEmpty())
                lastId = page.last().id;
        }
        const qint64 local = row - pageStart;
        if (local >= page.size())
            return {};  // lines removed meanwhile
        const Line& l = page.at(local);
        return column == 0 ? l.time : column == 1 ? l.operatorName : l.content;
    };
    int cut = 0;
    const Status written = WorkbookExport::write(table, path, progress, &cut);
    if (written && !readError.isEmpty()) {
        QFile::remove(path);
        return Status::fail(ReadFailed, readError);
    }
    if (written && cellsCut)
        *cellsCut = cut;
    return written;
}

}  // namespace LogBook
