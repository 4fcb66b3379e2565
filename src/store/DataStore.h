#pragma once

#include "platform/Result.h"
#include "store/ArchiveLocation.h"
#include "store/RecordSet.h"

#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include <memory>
#include <optional>

// One connection to the archive database (a SQLite file), under its own
// connection name. Each window that works with the database holds one; each
// worker thread opens its own on the same path.
//
// Every value reaches SQL as a bound parameter: execute/query take the
// statement with "?" placeholders and the values in order (QString for text,
// QByteArray for bytes, numbers as numbers, a null QVariant for NULL).
// A failed statement returns false / an invalid RecordSet / a failed read;
// nothing throws, and no caller may drop what a statement returned.
struct StatementCache;
class Backend;

class DataStore {
public:
    static constexpr int MaxOpenRecordSets = 30;

    DataStore();
    ~DataStore();
    DataStore(const DataStore&) = delete;
    DataStore& operator=(const DataStore&) = delete;

    // Opens an existing archive for reading and writing; one that is not
    // there is not created.
    [[nodiscard]] bool open(const ArchiveLocation& location);
    // Lays out a new one when missing (used only when creating an archive).
    [[nodiscard]] bool create(const ArchiveLocation& location);
    // The same on a database file (on their way out: callers name an archive
    // by its location).
    [[nodiscard]] bool open(const QString& path, const QString& user = {}, const QString& password = {});
    [[nodiscard]] bool create(const QString& path);
    void close();
    bool isOpen() const;
    const ArchiveLocation& location() const { return m_location; }
    QString path() const { return m_location.filePath(); }
    // What the archive's kind of database does its own way; valid while open.
    const Backend& backend() const { return *m_backend; }
    QString connectionName() const { return m_name; }
    QSqlDatabase database() const;

    [[nodiscard]] bool execute(const QString& sql, const QVariantList& params = {});
    [[nodiscard]] RecordSet query(const QString& sql, const QVariantList& params = {});
    // The first column of the first row; std::nullopt when the query returns
    // no row (a NULL in a row that is there reads as an invalid QVariant); a
    // failure, with the driver's words as its detail, when the statement
    // failed. "No row" and "could not read" are never the same answer.
    [[nodiscard]] Result<std::optional<QVariant>> scalar(const QString& sql, const QVariantList& params = {});
    // Row id of the last insert on this connection.
    qint64 lastInsertId() const { return m_lastInsertId; }
    // Rows changed by the last execute.
    int rowsAffected() const { return m_rowsAffected; }

    [[nodiscard]] bool begin();
    [[nodiscard]] bool commit();
    [[nodiscard]] bool rollback();
    bool inTransaction() const { return m_transactionDepth > 0; }

    QString lastError() const { return m_lastError; }
    int openRecordSets() const { return *m_openRecordSets; }

    // Test hook: the next n statements fail as if the driver refused them
    // when their text contains `match` (empty matches every statement).
    void failNextStatements(int n, const QString& match = {});

private:
    friend class RecordSet;
    bool openWith(const ArchiveLocation& location, bool createIfMissing);
    bool injectedFailure(const QString& sql);

    QString m_name;
    ArchiveLocation m_location;
    std::unique_ptr<Backend> m_backend;
    QString m_lastError;
    qint64 m_lastInsertId = -1;
    int m_rowsAffected = 0;
    // Shared with the record sets so that one outliving the store is harmless.
    std::shared_ptr<int> m_openRecordSets = std::make_shared<int>(0);
    int m_transactionDepth = 0;
    int m_failCount = 0;
    QString m_failMatch;
    // Prepared statements kept for their next use on this connection.
    std::shared_ptr<StatementCache> m_statements;
    std::unique_ptr<QSqlQuery> prepared(const QString& sql, bool forwardOnly);
};

// Scoped transaction: rolls back unless commit() was called.
class Transaction {
public:
    explicit Transaction(DataStore& store) : m_store(store), m_active(store.begin()) {}
    ~Transaction()
    {
        if (m_active)
            rollbackOrWarn();
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    bool isActive() const { return m_active; }
    [[nodiscard]] bool commit()
    {
        if (!m_active)
            return false;
        m_active = false;
        return m_store.commit();
    }
    void rollback()
    {
        if (m_active) {
            m_active = false;
            rollbackOrWarn();
        }
    }

private:
    // No one waits on a rollback: one that fails is said in the program's
    // output with its cause (what was never committed is never kept).
    void rollbackOrWarn();
    DataStore& m_store;
    bool m_active;
};
