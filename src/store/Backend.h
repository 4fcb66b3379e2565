#pragma once

#include "platform/Result.h"
#include "store/ArchiveLocation.h"

#include <QByteArrayView>
#include <QSqlDatabase>
#include <QString>
#include <QList>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

#include <functional>
#include <memory>

class DataStore;
class JobContext;

// A statement's rows read one at a time straight from the database engine,
// without a QVariant per value: the list of a million records and the check
// read through it. A value read stays valid until the next step.
class RowStream {
public:
    enum class Step { Row, Done, Interrupted, Failed };

    virtual ~RowStream() = default;
    // Prepares the statement with its values bound in order (as DataStore does).
    [[nodiscard]] virtual Result<> start(const QByteArray& sql, const QVariantList& params) = 0;
    // Runs the statement of the last start() again from its beginning with
    // new values, without preparing it again (one statement many times over).
    [[nodiscard]] virtual Result<> rerun(const QVariantList& params) = 0;
    [[nodiscard]] virtual Step step() = 0;
    virtual qint64 integer(int column) const = 0;
    virtual QByteArrayView text(int column) const = 0;  // UTF-8
    virtual QByteArrayView blob(int column) const = 0;
    virtual bool isNull(int column) const = 0;
    virtual QString error() const = 0;
    // While a statement works without handing over a row, `interrupt` is asked
    // every few thousand engine steps; returning true ends the step with
    // Step::Interrupted. An empty function stops asking.
    virtual void watch(std::function<bool()> interrupt) = 0;
};

// What one kind of database does its own way. DataStore and the table classes
// hold one and ask it; nothing above the store sees it. SQLite (a file) is the
// one kind today; a database server goes beside it without code above the
// store changing.
class Backend {
public:
    virtual ~Backend() = default;
    // The backend for a location; nullptr when no backend serves its kind.
    static std::unique_ptr<Backend> forLocation(const ArchiveLocation& location);

    // The Qt SQL driver.
    virtual QString driverName() const = 0;
    // Opens `db` (already added with driverName()) on the location. An archive
    // that is not there is never created unless `create`.
    [[nodiscard]] virtual Result<> open(QSqlDatabase& db, const ArchiveLocation& location, bool create) const = 0;
    // Whether the archive's storage is whole as far as can be told without
    // opening it (SQLite: a database file no shorter than its header says; a
    // truncated copy or a file that is not SQLite fails).
    [[nodiscard]] virtual Result<> storageWhole(const ArchiveLocation& location) const = 0;
    // The connection's settings once open: durability, journal, caches.
    [[nodiscard]] virtual Result<> configure(DataStore& store) const = 0;
    // Lets the connection keep up to `megabytes` of the database's pages in
    // memory (a long write touching many pages, e.g. the content index's
    // catch-up, then writes each page once per transaction).
    [[nodiscard]] virtual Result<> widenCache(DataStore& store, int megabytes) const = 0;
    // Starts a transaction that takes the write lock at once.
    virtual QString beginStatement() const = 0;

    // The schema's version, kept by the database itself (0 on a new one).
    [[nodiscard]] virtual Result<int> schemaVersion(DataStore& store) const = 0;
    [[nodiscard]] virtual Result<> setSchemaVersion(DataStore& store, int version) const = 0;
    [[nodiscard]] virtual Result<bool> hasTable(DataStore& store, const QString& table) const = 0;
    [[nodiscard]] virtual Result<bool> hasColumn(DataStore& store, const QString& table,
                                                 const QString& column) const = 0;

    // A statement that writes a row, replacing the one with the same key.
    virtual QString upsert(const QString& table, const QStringList& columns, const QStringList& key) const = 0;
    // A condition that `column` matches a bound name pattern in which `*`
    // stands for any run of characters and every other character for itself,
    // case-sensitively; and that pattern for a literal prefix.
    virtual QString patternCondition(const QString& column) const = 0;
    virtual QString prefixPattern(const QString& literalPrefix) const = 0;
    // A condition that text `column` holds the bound text somewhere, exactly
    // as it is (no pattern characters, no case folding).
    virtual QString containsCondition(const QString& column) const = 0;
    // A condition that integer `column` is (within) or is not (!within) one
    // of a list of ids bound as ONE value, idListValue() of the ids: the
    // statement's text stays the same whatever the number of ids.
    virtual QString idListCondition(const QString& column, bool within) const = 0;
    virtual QVariant idListValue(const QList<qint64>& ids) const = 0;
    // The words after a table's definition that keep its rows in the order
    // of its primary key alone, without a row number of their own (empty
    // where the engine offers no such choice).
    virtual QString keyOrderedTable() const = 0;

    // The full-text index over wj's searched fields: its table (filled from
    // the rows already there by the schema's own resumable step, with rowid
    // as the record's id), the triggers that then keep it in step with wj
    // (both idempotent), and the table's name.
    virtual QString searchIndexCreate(const QStringList& columns) const = 0;
    virtual QStringList searchIndexTriggers(const QStringList& columns) const = 0;
    virtual QString searchIndexTable() const = 0;
    // A query of the ids of the records the index names for one bound value
    // of searchIndexPhrase(): those whose `column` holds `text` (three
    // characters or more) somewhere, case folded, so never fewer than hold it.
    virtual QString searchIndexCandidates() const = 0;
    virtual QString searchIndexPhrase(const QString& column, const QString& text) const = 0;

    // A condition that `column` begins with a date written yyyy-MM-dd, the
    // pattern bound as the value dateTextPattern().
    virtual QString dateTextCondition(const QString& column) const = 0;
    virtual QString dateTextPattern() const = 0;
    // The words after a table's name in FROM that make the statement read
    // it along index `index` (empty where the engine takes no such hint).
    virtual QString indexHint(const QString& index) const = 0;
    // The words after a table's name in FROM that make the statement walk
    // the table in its own key order without any index (empty where the
    // engine takes no such hint).
    virtual QString noIndexHint() const = 0;
    [[nodiscard]] virtual Result<bool> hasIndex(DataStore& store, const QString& index) const = 0;
    // Whether the engine's plan for the statement reads the whole of `table`
    // row by row (no index narrows it).
    [[nodiscard]] virtual Result<bool> scansTable(DataStore& store, const QString& sql, const QVariantList& params,
                                                  const QString& table) const = 0;

    // Reading a long result fast, on this connection.
    virtual std::unique_ptr<RowStream> rowStream(DataStore& store) const = 0;
    // The engine's own check of the database: the problems it finds (none
    // when whole). A quick check leaves out the slower cross-checks.
    [[nodiscard]] virtual Result<QStringList> integrityCheck(DataStore& store, bool quick = false) const = 0;
    // How far a long run of the engine has come, in bytes; returning false
    // asks it to stop (it then ends with a cancelled result).
    using Advance = std::function<bool(qint64 done, qint64 total)>;
    // A consistent copy of the whole database into a new file, taken while
    // others keep working; `advance` (may be empty) hears of the bytes copied.
    [[nodiscard]] virtual Result<> snapshot(const ArchiveLocation& from, const QString& toFile,
                                            const Advance& advance) const = 0;
    // Gives the space of removed rows back to the file system; `cancelled`
    // (may be empty) is asked now and then, and a true stops it with nothing
    // changed.
    [[nodiscard]] virtual Result<> compact(DataStore& store, const std::function<bool()>& cancelled) const = 0;
};
