#pragma once

#include "store/Backend.h"

// An archive in one SQLite file (Data\wj.mdb): a rollback journal with full
// syncs, so that the file alone is always a whole archive.
class SqliteBackend final : public Backend {
public:
    QString driverName() const override { return QStringLiteral("QSQLITE"); }
    Result<> open(QSqlDatabase& db, const ArchiveLocation& location, bool create) const override;
    Result<> configure(DataStore& store) const override;
    Result<> widenCache(DataStore& store, int megabytes) const override;
    Result<> storageWhole(const ArchiveLocation& location) const override;
    QString beginStatement() const override { return QStringLiteral("BEGIN IMMEDIATE"); }

    Result<int> schemaVersion(DataStore& store) const override;
    Result<> setSchemaVersion(DataStore& store, int version) const override;
    Result<bool> hasTable(DataStore& store, const QString& table) const override;
    Result<bool> hasColumn(DataStore& store, const QString& table, const QString& column) const override;

    QString upsert(const QString& table, const QStringList& columns, const QStringList& key) const override;
    QString patternCondition(const QString& column) const override;
    QString prefixPattern(const QString& literalPrefix) const override;
    QString containsCondition(const QString& column) const override;
    QString idListCondition(const QString& column, bool within) const override;
    QVariant idListValue(const QList<qint64>& ids) const override;
    QString keyOrderedTable() const override { return QStringLiteral(" without rowid"); }

    QString searchIndexCreate(const QStringList& columns) const override;
    QStringList searchIndexTriggers(const QStringList& columns) const override;
    QString searchIndexTable() const override { return QStringLiteral("wj_ss"); }
    QString searchIndexCandidates() const override;
    QString searchIndexPhrase(const QString& column, const QString& text) const override;
    QString dateTextCondition(const QString& column) const override;
    QString dateTextPattern() const override;
    QString indexHint(const QString& index) const override;
    QString noIndexHint() const override { return QStringLiteral(" not indexed"); }
    Result<bool> hasIndex(DataStore& store, const QString& index) const override;
    Result<bool> scansTable(DataStore& store, const QString& sql, const QVariantList& params,
                            const QString& table) const override;

    std::unique_ptr<RowStream> rowStream(DataStore& store) const override;
    Result<QStringList> integrityCheck(DataStore& store, bool quick) const override;
    Result<> snapshot(const ArchiveLocation& from, const QString& toFile, const Advance& advance) const override;
    Result<> compact(DataStore& store, const std::function<bool()>& cancelled) const override;
};
