#include "store/SqliteBackend.h"

#include "store/DataStore.h"

// What the file list and the search ask of SQLite in its own words.

QString SqliteBackend::searchIndexCandidates() const
{
    return QStringLiteral("select rowid from %1 where %1 match ?").arg(searchIndexTable());
}

QString SqliteBackend::searchIndexPhrase(const QString& column, const QString& text) const
{
    // One quoted phrase on one column (a quote inside doubled), which the
    // trigram tokenizer matches as a substring.
    return QStringLiteral("{%1} : \"").arg(column) + QString(text).replace(QLatin1Char('"'), QStringLiteral("\"\""))
        + QLatin1Char('"');
}

QString SqliteBackend::dateTextCondition(const QString& column) const
{
    return column + QStringLiteral(" glob ?");
}

QString SqliteBackend::dateTextPattern() const
{
    return QStringLiteral("[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]*");
}

QString SqliteBackend::indexHint(const QString& index) const
{
    return QStringLiteral(" indexed by ") + index;
}

Result<bool> SqliteBackend::hasIndex(DataStore& store, const QString& index) const
{
    const Result<std::optional<QVariant>> present =
        store.scalar(QStringLiteral("select count(*) from sqlite_master where type='index' and name=?"), {index});
    if (!present)
        return present.failure();
    return present->value_or(0).toLongLong() > 0;
}

Result<bool> SqliteBackend::scansTable(DataStore& store, const QString& sql, const QVariantList& params,
                                       const QString& table) const
{
    RecordSet plan = store.query(QStringLiteral("explain query plan ") + sql, params);
    if (!plan)
        return Result<bool>::fail(QString(), store.lastError());
    const QString scan = QStringLiteral("SCAN ") + table;
    for (; !plan.atEnd(); plan.next())
        if (plan.text(3).startsWith(scan))
            return true;
    return false;
}
