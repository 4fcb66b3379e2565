#include "store/DataStore.h"

#include "store/Backend.h"

#include <unordered_map>
#include <vector>

#include <QAtomicInt>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QThread>
#include <QUrl>

namespace {
QAtomicInt g_connectionSerial;

QString describe(const QSqlError& e)
{
    return e.text().trimmed();
}
}

DataStore::DataStore() : m_name(QStringLiteral("kv-%1").arg(g_connectionSerial.fetchAndAddRelaxed(1))) {}

DataStore::~DataStore()
{
    close();
}

// Statements prepared once per connection and text: parsing them again for
// every record of a long run costs more than running them. A statement is
// handed out to one user at a time; a text in use twice at once is
// prepared a second time.
struct StatementCache {
    static constexpr int MaxKept = 256;
    std::unordered_map<QString, std::vector<std::unique_ptr<QSqlQuery>>> idle[2];  // [forwardOnly]
    int kept = 0;

    std::unique_ptr<QSqlQuery> take(const QString& sql, bool forwardOnly)
    {
        auto it = idle[forwardOnly].find(sql);
        if (it == idle[forwardOnly].end() || it->second.empty())
            return nullptr;
        std::unique_ptr<QSqlQuery> q = std::move(it->second.back());
        it->second.pop_back();
        --kept;
        return q;
    }
    void giveBack(const QString& sql, std::unique_ptr<QSqlQuery> q)
    {
        q->finish();
        if (kept >= MaxKept)
            return;
        idle[q->isForwardOnly()][sql].push_back(std::move(q));
        ++kept;
    }
};

QSqlDatabase DataStore::database() const
{
    return QSqlDatabase::database(m_name, false);
}

bool DataStore::open(const ArchiveLocation& location)
{
    return openWith(location, false);
}

bool DataStore::create(const ArchiveLocation& location)
{
    return openWith(location, true);
}

bool DataStore::open(const QString& path, const QString&, const QString&)
{
    return openWith(ArchiveLocation::file(path), false);
}

bool DataStore::create(const QString& path)
{
    return openWith(ArchiveLocation::file(path), true);
}

bool DataStore::openWith(const ArchiveLocation& location, bool createIfMissing)
{
    close();
    m_lastError.clear();
    std::unique_ptr<Backend> backend = Backend::forLocation(location);
    if (!backend) {
        m_lastError = QStringLiteral("no database serves this archive: %1").arg(location.display());
        return false;
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(backend->driverName(), m_name);
        const Result<> opened = backend->open(db, location, createIfMissing);
        if (!opened)
            m_lastError = opened.detail();
    }
    if (!m_lastError.isEmpty()) {
        QSqlDatabase::removeDatabase(m_name);
        return false;
    }
    m_backend = std::move(backend);
    m_location = location;
    m_statements = std::make_shared<StatementCache>();
    const Result<> configured = m_backend->configure(*this);
    if (!configured) {
        close();
        m_lastError = configured.detail();
        return false;
    }
    return true;
}

void DataStore::close()
{
    if (!QSqlDatabase::contains(m_name))
        return;
    m_statements.reset();
    {
        QSqlDatabase db = database();
        if (db.isOpen()) {
            if (m_transactionDepth > 0) {
                QSqlQuery q(db);
                q.exec(QStringLiteral("ROLLBACK"));
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(m_name);
    m_backend.reset();
    m_transactionDepth = 0;
    m_openRecordSets = std::make_shared<int>(0);
}

bool DataStore::isOpen() const
{
    return QSqlDatabase::contains(m_name) && database().isOpen();
}

void DataStore::failNextStatements(int n, const QString& match)
{
    m_failCount = n;
    m_failMatch = match;
}

bool DataStore::injectedFailure(const QString& sql)
{
    if (m_failCount <= 0)
        return false;
    if (!m_failMatch.isEmpty() && !sql.contains(m_failMatch, Qt::CaseInsensitive))
        return false;
    --m_failCount;
    m_lastError = QStringLiteral("injected failure");
    return true;
}

static void bindAll(QSqlQuery& q, const QVariantList& params)
{
    for (int i = 0; i < params.size(); ++i) {
        const QVariant& v = params.at(i);
        // An empty QByteArray must still bind as an empty blob, not NULL.
        if (v.typeId() == QMetaType::QByteArray && !v.isNull() && v.toByteArray().isNull())
            q.bindValue(i, QVariant(QByteArray("", 0)));
        else
            q.bindValue(i, v);
    }
}

bool DataStore::execute(const QString& sql, const QVariantList& params)
{
    m_rowsAffected = 0;
    if (!isOpen()) {
        m_lastError = QStringLiteral("connection is closed");
        return false;
    }
    if (injectedFailure(sql))
        return false;
    std::unique_ptr<QSqlQuery> owned = prepared(sql, true);
    if (!owned)
        return false;
    QSqlQuery& q = *owned;
    bindAll(q, params);
    if (!q.exec()) {
        m_lastError = describe(q.lastError());
        return false;
    }
    // Any result rows are read and thrown away.
    while (q.isSelect() && q.next()) {}
    m_rowsAffected = q.numRowsAffected();
    QVariant id = q.lastInsertId();
    if (id.isValid())
        m_lastInsertId = id.toLongLong();
    if (m_statements)
        m_statements->giveBack(sql, std::move(owned));
    return true;
}

std::unique_ptr<QSqlQuery> DataStore::prepared(const QString& sql, bool forwardOnly)
{
    if (m_statements)
        if (std::unique_ptr<QSqlQuery> q = m_statements->take(sql, forwardOnly))
            return q;
    auto q = std::make_unique<QSqlQuery>(database());
    q->setForwardOnly(forwardOnly);
    if (!q->prepare(sql)) {
        m_lastError = describe(q->lastError());
        return nullptr;
    }
    return q;
}

RecordSet DataStore::query(const QString& sql, const QVariantList& params)
{
    if (!isOpen()) {
        m_lastError = QStringLiteral("connection is closed");
        return {};
    }
    if (*m_openRecordSets >= MaxOpenRecordSets) {
        m_lastError = QStringLiteral("too many open record sets");
        return {};
    }
    if (injectedFailure(sql))
        return {};
    std::unique_ptr<QSqlQuery> q = prepared(sql, false);
    if (!q)
        return {};
    bindAll(*q, params);
    if (!q->exec()) {
        m_lastError = describe(q->lastError());
        return {};
    }
    if (!q->isSelect()) {
        m_lastError = QStringLiteral("not a query");
        return {};
    }
    return RecordSet(std::move(q), m_openRecordSets, m_statements, sql);
}

Result<std::optional<QVariant>> DataStore::scalar(const QString& sql, const QVariantList& params)
{
    RecordSet rs = query(sql, params);
    if (!rs)
        return Result<std::optional<QVariant>>::fail(QString(), m_lastError);
    if (rs.atEnd())
        return std::optional<QVariant>();
    return std::optional<QVariant>(rs.value(0));
}

bool DataStore::begin()
{
    const QString sql = m_transactionDepth == 0 ? m_backend->beginStatement()
                                                : QStringLiteral("SAVEPOINT kv_sp%1").arg(m_transactionDepth);
    if (!execute(sql))
        return false;
    ++m_transactionDepth;
    return true;
}

bool DataStore::commit()
{
    if (m_transactionDepth <= 0)
        return false;
    const int level = m_transactionDepth - 1;
    const QString sql = level == 0 ? QStringLiteral("COMMIT") : QStringLiteral("RELEASE SAVEPOINT kv_sp%1").arg(level);
    if (!execute(sql)) {
        // A commit that fails leaves nothing half done.
        const QString why = m_lastError;
        if (!rollback())
            m_lastError = why + QStringLiteral("; rollback: ") + m_lastError;
        else
            m_lastError = why;
        return false;
    }
    --m_transactionDepth;
    return true;
}

bool DataStore::rollback()
{
    if (m_transactionDepth <= 0)
        return false;
    const int level = m_transactionDepth - 1;
    --m_transactionDepth;
    QSqlQuery q(database());
    const bool done = level == 0 ? q.exec(QStringLiteral("ROLLBACK"))
                                 : q.exec(QStringLiteral("ROLLBACK TO SAVEPOINT kv_sp%1").arg(level))
            && q.exec(QStringLiteral("RELEASE SAVEPOINT kv_sp%1").arg(level));
    if (!done)
        m_lastError = describe(q.lastError());
    return done;
}

void Transaction::rollbackOrWarn()
{
    if (!m_store.rollback())
        qWarning("rollback failed on %s: %s", qPrintable(m_store.location().display()),
                 qPrintable(m_store.lastError()));
}

// ---------------------------------------------------------------- RecordSet

RecordSet::RecordSet(std::unique_ptr<QSqlQuery> query, std::weak_ptr<int> openCounter,
                     std::weak_ptr<StatementCache> cache, QString sql)
    : m_query(std::move(query)), m_openCounter(std::move(openCounter)), m_cache(std::move(cache)), m_sql(std::move(sql))
{
    if (auto n = m_openCounter.lock())
        ++*n;
    m_atEnd = !m_query->first();
}

RecordSet::RecordSet(RecordSet&& o) noexcept
    : m_query(std::move(o.m_query)), m_openCounter(std::move(o.m_openCounter)), m_cache(std::move(o.m_cache)),
      m_sql(std::move(o.m_sql)), m_atEnd(o.m_atEnd)
{
    o.m_atEnd = true;
}

RecordSet& RecordSet::operator=(RecordSet&& o) noexcept
{
    if (this != &o) {
        close();
        m_query = std::move(o.m_query);
        m_openCounter = std::move(o.m_openCounter);
        m_cache = std::move(o.m_cache);
        m_sql = std::move(o.m_sql);
        m_atEnd = o.m_atEnd;
        o.m_atEnd = true;
    }
    return *this;
}

RecordSet::~RecordSet()
{
    close();
}

bool RecordSet::atEnd() const
{
    return !m_query || m_atEnd;
}

bool RecordSet::next()
{
    if (!m_query || m_atEnd)
        return false;
    m_atEnd = !m_query->next();
    return !m_atEnd;
}

bool RecordSet::first()
{
    if (!m_query)
        return false;
    m_atEnd = !m_query->first();
    return !m_atEnd;
}

bool RecordSet::last()
{
    if (!m_query)
        return false;
    m_atEnd = !m_query->last();
    return !m_atEnd;
}

QVariant RecordSet::value(int position) const
{
    if (atEnd())
        return {};
    return m_query->value(position);
}

QVariant RecordSet::value(const QString& column) const
{
    if (atEnd())
        return {};
    return m_query->value(column);
}

int RecordSet::columnCount() const
{
    return m_query ? m_query->record().count() : 0;
}

void RecordSet::close()
{
    if (!m_query)
        return;
    if (auto n = m_openCounter.lock()) {
        m_query->finish();
        if (*n > 0)
            --*n;
    }
    if (auto cache = m_cache.lock())
        cache->giveBack(m_sql, std::move(m_query));
    m_query.reset();
    m_openCounter.reset();
    m_cache.reset();
    m_atEnd = true;
}
