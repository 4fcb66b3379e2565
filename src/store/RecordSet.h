#pragma once

#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <memory>

class DataStore;
struct StatementCache;

// Read-only result of one query, positioned on its first row.
// An invalid RecordSet (query failed) is at end and reads nothing.
class RecordSet {
public:
    RecordSet() = default;
    RecordSet(RecordSet&&) noexcept;
    RecordSet& operator=(RecordSet&&) noexcept;
    RecordSet(const RecordSet&) = delete;
    RecordSet& operator=(const RecordSet&) = delete;
    ~RecordSet();

    bool isValid() const { return m_query != nullptr; }
    explicit operator bool() const { return isValid(); }

    bool atEnd() const;
    bool next();
    bool first();
    bool last();

    // Reads a column of the current row; NULL reads as an invalid QVariant,
    // which toString()/toLongLong()/toByteArray() turn into empty text, 0, empty bytes.
    QVariant value(int position) const;
    QVariant value(const QString& column) const;
    QString text(int position) const { return value(position).toString(); }
    QString text(const QString& column) const { return value(column).toString(); }
    qint64 number(int position) const { return value(position).toLongLong(); }
    qint64 number(const QString& column) const { return value(column).toLongLong(); }
    QByteArray bytes(int position) const { return value(position).toByteArray(); }
    QByteArray bytes(const QString& column) const { return value(column).toByteArray(); }
    int columnCount() const;

    void close();

private:
    friend class DataStore;
    RecordSet(std::unique_ptr<QSqlQuery> query, std::weak_ptr<int> openCounter, std::weak_ptr<StatementCache> cache,
              QString sql);

    std::unique_ptr<QSqlQuery> m_query;
    std::weak_ptr<int> m_openCounter;
    // Where the statement goes back when the set is closed (for its next use).
    std::weak_ptr<StatementCache> m_cache;
    QString m_sql;
    bool m_atEnd = true;
};
