#include "store/SqliteBackend.h"

#include "store/DataStore.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QtEndian>

std::unique_ptr<Backend> Backend::forLocation(const ArchiveLocation& location)
{
    if (location.isFile())
        return std::make_unique<SqliteBackend>();
    return nullptr;
}

Result<> SqliteBackend::open(QSqlDatabase& db, const ArchiveLocation& location, bool create) const
{
    const QString path = location.filePath();
    if (!create && !QFileInfo(path).isFile())
        return Result<>::fail(QString(), QStringLiteral("database file not found: %1").arg(path));
    // URI form so that a missing file is never created behind our back.
    const QUrl url = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
    db.setDatabaseName(url.toString(QUrl::FullyEncoded)
                       + (create ? QStringLiteral("?mode=rwc") : QStringLiteral("?mode=rw")));
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open())
        return Result<>::fail(QString(), db.lastError().text().trimmed());
    return {};
}

Result<> SqliteBackend::storageWhole(const ArchiveLocation& location) const
{
    const QString path = location.filePath();
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return Result<>::fail(QString(), QStringLiteral("cannot read %1").arg(path));
    const QByteArray header = f.read(100);
    const qint64 size = f.size();
    if (header.size() < 100 || !header.startsWith(QByteArrayLiteral("SQLite format 3\0")))
        return Result<>::fail(QString(), QStringLiteral("not an SQLite database"));
    const auto* h = reinterpret_cast<const uchar*>(header.constData());
    qint64 pageSize = qFromBigEndian<quint16>(h + 16);
    if (pageSize == 1)
        pageSize = 65536;
    if (pageSize < 512 || (pageSize & (pageSize - 1)) != 0)
        return Result<>::fail(QString(), QStringLiteral("bad page size"));
    if (size % pageSize != 0)
        return Result<>::fail(QString(), QStringLiteral("file size %1 is not a whole number of pages").arg(size));
    // The page count in the header is valid only when the change counter
    // and the "valid for" counter agree (every writer since 3.7.0 keeps them so).
    const quint32 changeCounter = qFromBigEndian<quint32>(h + 24);
    const quint32 pages = qFromBigEndian<quint32>(h + 28);
    const quint32 validFor = qFromBigEndian<quint32>(h + 92);
    if (pages != 0 && changeCounter == validFor && size < qint64(pages) * pageSize)
        return Result<>::fail(QString(),
                              QStringLiteral("truncated: %1 bytes of %2").arg(size).arg(qint64(pages) * pageSize));
    return {};
}

Result<> SqliteBackend::configure(DataStore& store) const
{
    // A rollback journal with full syncs: what a commit reports as done is on
    // disk, and the database file alone is always consistent, so copying the
    // Data folder while the connection is closed copies a whole archive.
    // Nothing is written before the file is known to be ours: the first
    // statement proves it is an SQLite database, and the journal mode (which
    // a database keeps in its file) is switched only on an archive of this
    // system or on a new, empty file, never on another program's database.
    QSqlQuery q(store.database());
    const auto failed = [&q] { return Result<>::fail(QString(), q.lastError().text().trimmed()); };
    if (!q.exec(QStringLiteral("select count(*) from sqlite_master")))
        return failed();
    q.finish();
    const char* pragmas[] = {
        "PRAGMA synchronous=FULL",
        "PRAGMA foreign_keys=OFF",
        "PRAGMA temp_store=MEMORY",
        "PRAGMA cache_size=-16000",
    };
    for (const char* p : pragmas) {
        if (!q.exec(QString::fromLatin1(p)))
            return failed();
    }
    if (!q.exec(QStringLiteral("PRAGMA journal_mode")) || !q.next())
        return failed();
    const bool rollbackJournal = q.value(0).toString().compare(QLatin1String("delete"), Qt::CaseInsensitive) == 0;
    q.finish();
    if (rollbackJournal)
        return {};
    if (!q.exec(
            QStringLiteral("select count(*), sum(name='wj'), sum(name='wjfz') from sqlite_master where type='table'"))
        || !q.next())
        return failed();
    const bool empty = q.value(0).toLongLong() == 0;
    const bool ours = q.value(1).toLongLong() > 0 && q.value(2).toLongLong() > 0;
    q.finish();
    if (!empty && !ours)
        return {};  // left as it is; the archive check refuses it
    // The switch needs the file to itself; while another connection reads it
    // (a backup's copy, a second window) it waits and may give up. The
    // archive stays whole in the mode it has, so the open goes on and a later
    // open switches it.
    if (!q.exec(QStringLiteral("PRAGMA journal_mode=DELETE")))
        qWarning("journal mode left as it is for now: %s", qPrintable(q.lastError().text().trimmed()));
    return {};
}

Result<int> SqliteBackend::schemaVersion(DataStore& store) const
{
    const Result<std::optional<QVariant>> v = store.scalar(QStringLiteral("PRAGMA user_version"));
    if (!v)
        return Result<int>::fail(QString(), QStringLiteral("user_version: ") + v.detail());
    return v->value_or(0).toInt();
}

Result<> SqliteBackend::setSchemaVersion(DataStore& store, int version) const
{
    // PRAGMA takes no bound parameter; the version is our own integer.
    if (!store.execute(QStringLiteral("PRAGMA user_version=%1").arg(version)))
        return Result<>::fail(QString(), QStringLiteral("user_version: ") + store.lastError());
    return {};
}

Result<bool> SqliteBackend::hasTable(DataStore& store, const QString& table) const
{
    const Result<std::optional<QVariant>> v = store.scalar(
        QStringLiteral("select count(*) from sqlite_master where type in ('table','view') and name=?"), {table});
    if (!v)
        return Result<bool>::fail(QString(), v.detail());
    return v->value_or(0).toLongLong() > 0;
}

Result<bool> SqliteBackend::hasColumn(DataStore& store, const QString& table, const QString& column) const
{
    const Result<std::optional<QVariant>> v =
        store.scalar(QStringLiteral("select count(*) from pragma_table_info(?) where name=?"), {table, column});
    if (!v)
        return Result<bool>::fail(QString(), v.detail());
    return v->value_or(0).toLongLong() > 0;
}

QString SqliteBackend::upsert(const QString& table, const QStringList& columns, const QStringList&) const
{
    QStringList marks;
    for (qsizetype i = 0; i < columns.size(); ++i)
        marks << QStringLiteral("?");
    return QStringLiteral("insert or replace into %1(%2) values (%3)")
        .arg(table, columns.join(QLatin1Char(',')), marks.join(QLatin1Char(',')));
}

QString SqliteBackend::patternCondition(const QString& column) const
{
    return column + QStringLiteral(" glob ?");
}

QString SqliteBackend::containsCondition(const QString& column) const
{
    return QStringLiteral("instr(") + column + QStringLiteral(", ?) > 0");
}

QString SqliteBackend::idListCondition(const QString& column, bool within) const
{
    // json_each reads the array into rows of one column: "in" over it is a
    // lookup per id, never a pass over the table.
    return column + (within ? QStringLiteral(" in") : QStringLiteral(" not in"))
        + QStringLiteral(" (select value from json_each(?))");
}

QVariant SqliteBackend::idListValue(const QList<qint64>& ids) const
{
    QByteArray text;
    text.reserve(ids.size() * 8 + 2);
    text.append('[');
    for (qsizetype i = 0; i < ids.size(); ++i) {
        if (i > 0)
            text.append(',');
        text.append(QByteArray::number(ids.at(i)));
    }
    text.append(']');
    return QString::fromLatin1(text);
}

Result<> SqliteBackend::widenCache(DataStore& store, int megabytes) const
{
    QSqlQuery q(store.database());
    if (!q.exec(QStringLiteral("PRAGMA cache_size=-%1").arg(qMax(1, megabytes) * 1024)))
        return Result<>::fail(QString(), q.lastError().text().trimmed());
    return {};
}

QString SqliteBackend::prefixPattern(const QString& literalPrefix) const
{
    // glob's own special characters stand for themselves inside brackets.
    QString out;
    out.reserve(literalPrefix.size() + 8);
    for (const QChar c : literalPrefix) {
        if (c == QLatin1Char('*') || c == QLatin1Char('?') || c == QLatin1Char('['))
            out += QLatin1Char('[') + c + QLatin1Char(']');
        else
            out += c;
    }
    return out + QLatin1Char('*');
}

QString SqliteBackend::searchIndexCreate(const QStringList& columns) const
{
    return QStringLiteral("create virtual table if not exists %1 using fts5(%2, content='wj', content_rowid='id',"
                          " tokenize='trigram')")
        .arg(searchIndexTable(), columns.join(QLatin1Char(',')));
}

QStringList SqliteBackend::searchIndexTriggers(const QStringList& columns) const
{
    const QString t = searchIndexTable();
    const auto prefixed = [&columns](const QString& prefix) {
        QStringList out;
        for (const QString& c : columns)
            out << prefix + c;
        return out.join(QLatin1Char(','));
    };
    const QString cols = prefixed({});
    const QString add =
        QStringLiteral("insert into %1(rowid,%2) values (new.id,%3);").arg(t, cols, prefixed(QStringLiteral("new.")));
    const QString remove = QStringLiteral("insert into %1(%1,rowid,%2) values ('delete',old.id,%3);")
                               .arg(t, cols, prefixed(QStringLiteral("old.")));
    // A record's old values leave the index before its new ones go in; an
    // update that touches none of the indexed fields leaves it alone.
    return {
        QStringLiteral("create trigger if not exists wj_ss_ai after insert on wj begin %1 end").arg(add),
        QStringLiteral("create trigger if not exists wj_ss_ad after delete on wj begin %1 end").arg(remove),
        QStringLiteral("create trigger if not exists wj_ss_au after update of id,%1 on wj begin %2 %3 end")
            .arg(cols, remove, add),
    };
}
