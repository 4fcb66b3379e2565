#include "settings/LogBook.h"

#include "listing/WorkbookExport.h"
#include "platform/PrivateFolder.h"
#include "platform/Progress.h"
#include "store/CurrentOperator.h"
#include "store/DataStore.h"
#include "store/LogWriter.h"
#include "store/Operators.h"

#include <QFile>

namespace LogBook {

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

Result<Extent> extent(DataStore& store, const Filter& filter)
{
    const Result<Extent> e = LogRows(store).extent(filter);
    if (!e)
        return Result<Extent>::fail(ReadFailed, e.detail());
    return e;
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
    Result<QList<Line>> lines = LogRows(store).read(filter, beforeId, limit, firstId);
    if (!lines)
        return Result<QList<Line>>::fail(ReadFailed, lines.detail());
    return lines;
}

QStringList usableOperators(DataStore& store)
{
    const Result<QStringList> names = Operators::usableNames(store);
    if (!names) {
        // The chooser then offers no name; the cause goes to the output.
        qWarning("%s: %s", qPrintable(names.message()), qPrintable(names.detail()));
        return {};
    }
    return *names;
}

Result<qint64> deleteRange(DataStore& store, const CurrentOperator& op, const QDate& first, const QDate& last)
{
    const Filter range{first, last, {}, {}};
    if (range.isEmpty())
        return qint64(0);
    Transaction tx(store);
    if (!tx.isActive())
        return Result<qint64>::fail(PrivateFolder::withCause(DeleteFailed, store.lastError()), store.lastError());
    const Result<qint64> gone = LogRows(store).removeDays(first, last);
    if (!gone)
        return Result<qint64>::fail(PrivateFolder::withCause(DeleteFailed, gone.detail()), gone.detail());
    const qint64 removed = *gone;
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
