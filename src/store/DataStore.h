#pragma once

#include "store/RecordSet.h"

#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include <memory>

// One connection to the archive database (a SQLite file), under its own
// connection name. Each window that works with the database holds one; each
// worker thread opens its own on the same path.
//
// Every value reaches SQL as a bound parameter: execute/query take the
// statement with "?" placeholders and the values in order (QString for text,
// QByteArray for bytes, numbers as numbers, a null QVariant for NULL).
// A failed statement returns false / an invalid RecordSet; nothing throws.
struct StatementCache;

class DataStore {
public:
    static constexpr int MaxOpenRecordSets = 30;

    DataStore();
    ~DataStore();
    DataStore(const DataStore&) = delete;
    DataStore& operator=(const DataStore&) = delete;

    // Opens an existing database file for reading and writing. A missing file
    // is not created. User and password are accepted for the connection
    // settings but SQLite has no use for them.
    bool open(const QString& path, const QString& user = {}, const QString& password = {});
    // Creates the file when missing (used only when laying out a new archive).
    bool create(const QString& path);
    void close();
    bool isOpen() const;
    QString path() const { return m_path; }
    QString connectionName() const { return m_name; }
    QSqlDatabase database() const;

    bool execute(const QString& sql, const QVariantList& params = {});
    RecordSet query(const QString& sql, const QVariantList& params = {});
    // First column of the first row, or an invalid QVariant when there is none.
    QVariant scalar(const QString& sql, const QVariantList& params = {});
    // Row id of the last insert on this connection.
    qint64 lastInsertId() const { return m_lastInsertId; }
    // Rows changed by the last execute.
    int rowsAffected() const { return m_rowsAffected; }

    bool begin();
    bool commit();
    bool rollback();
    bool inTransaction() const { return m_transactionDepth > 0; }

    QString lastError() const { return m_lastError; }
    int openRecordSets() const { return *m_openRecordSets; }

    // Test hook: the next n statements fail as if the driver refused them
    // when their text contains `match` (empty matches every statement).
    void failNextStatements(int n, const QString& match = {});

private:
    friend class RecordSet;
    bool openWith(const QString& path, bool createIfMissing);
    bool applySettings();
    bool injectedFailure(const QString& sql);

    QString m_name;
    QString m_path;
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
    ~Transaction() { if (m_active) m_store.rollback(); }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    bool isActive() const { return m_active; }
    bool commit() { if (!m_active) return false; m_active = false; return m_store.commit(); }
    void rollback() { if (m_active) { m_active = false; m_store.rollback(); } }
private:
    DataStore& m_store;
    bool m_active;
};
