#include "store/SqliteBackend.h"

#include "store/DataStore.h"

#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

namespace {

// How many steps of SQLite's machine pass between two looks at the watcher
// (a few tens of microseconds).
constexpr int ProgressSteps = 20000;

bool bindValue(sqlite3_stmt* stmt, int position, const QVariant& v)
{
    if (v.isNull())
        return sqlite3_bind_null(stmt, position) == SQLITE_OK;
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Bool:
        return sqlite3_bind_int64(stmt, position, v.toLongLong()) == SQLITE_OK;
    case QMetaType::Double:
        return sqlite3_bind_double(stmt, position, v.toDouble()) == SQLITE_OK;
    case QMetaType::QByteArray: {
        const QByteArray b = v.toByteArray();
        return sqlite3_bind_blob64(stmt, position, b.constData(), sqlite3_uint64(b.size()), SQLITE_TRANSIENT)
            == SQLITE_OK;
    }
    default: {
        const QByteArray t = v.toString().toUtf8();
        return sqlite3_bind_text64(stmt, position, t.constData(), sqlite3_uint64(t.size()), SQLITE_TRANSIENT,
                                   SQLITE_UTF8)
            == SQLITE_OK;
    }
    }
}

// The rows straight from the connection's own sqlite3 handle: one pass,
// forward only, each value read where SQLite keeps it.
class SqliteRowStream final : public RowStream {
public:
    explicit SqliteRowStream(sqlite3* db) : m_db(db) {}
    ~SqliteRowStream() override
    {
        if (m_interrupt)
            sqlite3_progress_handler(m_db, 0, nullptr, nullptr);
        sqlite3_finalize(m_stmt);
    }

    Result<> start(const QByteArray& sql, const QVariantList& params) override
    {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.constData(), int(sql.size()), &m_stmt, nullptr) != SQLITE_OK)
            return failed();
        for (int i = 0; i < params.size(); ++i)
            if (!bindValue(m_stmt, i + 1, params.at(i)))
                return failed();
        return {};
    }

    Result<> rerun(const QVariantList& params) override
    {
        if (!m_stmt)
            return Result<>::fail(QString(), QStringLiteral("no statement to run again"));
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
        for (int i = 0; i < params.size(); ++i)
            if (!bindValue(m_stmt, i + 1, params.at(i)))
                return failed();
        return {};
    }

    Step step() override
    {
        if (!m_stmt)
            return Step::Failed;
        switch (sqlite3_step(m_stmt)) {
        case SQLITE_ROW:
            return Step::Row;
        case SQLITE_DONE:
            return Step::Done;
        case SQLITE_INTERRUPT:
            return Step::Interrupted;
        default:
            return Step::Failed;
        }
    }

    qint64 integer(int column) const override { return sqlite3_column_int64(m_stmt, column); }
    QByteArrayView text(int column) const override
    {
        const char* t = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
        return QByteArrayView(t, t ? sqlite3_column_bytes(m_stmt, column) : 0);
    }
    QByteArrayView blob(int column) const override
    {
        const char* b = static_cast<const char*>(sqlite3_column_blob(m_stmt, column));
        return QByteArrayView(b, b ? sqlite3_column_bytes(m_stmt, column) : 0);
    }
    bool isNull(int column) const override { return sqlite3_column_type(m_stmt, column) == SQLITE_NULL; }
    QString error() const override { return QString::fromUtf8(sqlite3_errmsg(m_db)); }

    void watch(std::function<bool()> interrupt) override
    {
        m_interrupt = std::move(interrupt);
        if (m_interrupt)
            sqlite3_progress_handler(
                m_db, ProgressSteps,
                [](void* self) { return static_cast<SqliteRowStream*>(self)->m_interrupt() ? 1 : 0; }, this);
        else
            sqlite3_progress_handler(m_db, 0, nullptr, nullptr);
    }

private:
    Result<> failed() const { return Result<>::fail(QString(), error()); }

    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
    std::function<bool()> m_interrupt;
};

}  // namespace

std::unique_ptr<RowStream> SqliteBackend::rowStream(DataStore& store) const
{
    const QVariant handle = store.database().driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    sqlite3* db = *static_cast<sqlite3* const*>(handle.constData());
    if (!db)
        return nullptr;
    return std::make_unique<SqliteRowStream>(db);
}
