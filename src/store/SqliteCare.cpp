#include "store/SqliteBackend.h"

#include "platform/FolderTreeCopy.h"
#include "platform/Progress.h"
#include "store/DataStore.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QThread>

#include <sqlite3.h>

#include <memory>

// The engine's check, the consistent copy of the database file and VACUUM.

namespace {

struct SqliteCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Sqlite = std::unique_ptr<sqlite3, SqliteCloser>;

QString errorOf(sqlite3* db)
{
    return QString::fromUtf8(sqlite3_errmsg(db));
}

Result<Sqlite> openFile(const QString& path, int flags)
{
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &raw, flags, nullptr);
    Sqlite db(raw);
    if (rc != SQLITE_OK)
        return Result<Sqlite>::fail(
            QString(),
            QStringLiteral("cannot open %1: %2").arg(path, QString::fromUtf8(raw ? sqlite3_errmsg(raw) : "")));
    sqlite3_busy_timeout(raw, 10000);
    // The whole-file copy reads through the page cache directly instead of
    // a read() per page. A setting that does not take only costs speed.
    sqlite3_exec(raw, "PRAGMA mmap_size=4294967296", nullptr, nullptr, nullptr);
    return Result<Sqlite>(std::move(db));
}

// The first column of a one-row statement as text.
Result<QString> single(sqlite3* db, const char* sql)
{
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK)
        return Result<QString>::fail(QString(), errorOf(db));
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> owner(st, sqlite3_finalize);
    const int rc = sqlite3_step(st);
    if (rc == SQLITE_DONE)
        return QString();
    if (rc != SQLITE_ROW)
        return Result<QString>::fail(QString(), errorOf(db));
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
}

// Hands the file copy's chunks on as bytes of the snapshot.
class CopyAdvance final : public Progress {
public:
    explicit CopyAdvance(const Backend::Advance& advance) : m_advance(advance) {}
    void setRange(qint64, qint64 maximum) override { m_size = maximum; }
    void setValue(qint64 value) override
    {
        if (m_advance && !m_advance(value, m_size))
            m_stop = true;
    }
    bool cancelled() const override { return m_stop; }

private:
    const Backend::Advance& m_advance;
    qint64 m_size = 0;
    bool m_stop = false;
};

sqlite3* handleOf(DataStore& store)
{
    const QVariant handle = store.database().driver()->handle();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
        return *static_cast<sqlite3* const*>(handle.constData());
    return nullptr;
}

}  // namespace

Result<QStringList> SqliteBackend::integrityCheck(DataStore& store, bool quick) const
{
    RecordSet rs = store.query(quick ? QStringLiteral("PRAGMA quick_check") : QStringLiteral("PRAGMA integrity_check"));
    if (!rs)
        return Result<QStringList>::fail(QString(), store.lastError());
    QStringList problems;
    for (; !rs.atEnd(); rs.next())
        if (rs.text(0) != QLatin1String("ok"))
            problems << rs.text(0);
    return problems;
}

// With a rollback journal (the archive's mode) a read transaction holds
// SQLite's shared lock, under which no connection writes the file: the file
// is copied whole by the kernel while the lock is held (writers wait for it,
// as they would for the online backup's last step). In any other journal
// mode the online backup copies it a step of pages at a time; another
// connection's write between steps starts it again, and after a few
// restarts the rest goes in one step under the read lock.
Result<> SqliteBackend::snapshot(const ArchiveLocation& from, const QString& toFile, const Advance& advance) const
{
    const QString source = from.filePath();
    Result<Sqlite> in = openFile(source, SQLITE_OPEN_READONLY);
    if (!in)
        return in.failure();
    const Result<QString> journal = single(in->get(), "PRAGMA journal_mode");
    if (journal && journal->compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0) {
        if (sqlite3_exec(in->get(), "BEGIN; SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr)
            != SQLITE_OK)
            return Result<>::fail(QString(), errorOf(in->get()));
        CopyAdvance bars(advance);
        const FileCopy::Result r = FolderTreeCopy::copyFile(source, toFile, FileCopy::Replace::Never, &bars);
        // Ending the read transaction gives the lock back; closing would too.
        sqlite3_exec(in->get(), "COMMIT", nullptr, nullptr, nullptr);
        if (r.cancelled)
            return Result<>::cancel();
        if (!r.ok)
            return Result<>::fail(QString(), r.error);
        return {};
    }
    Result<Sqlite> out = openFile(toFile, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (!out)
        return out.failure();
    // A new file under a hidden name that counts only once verified and
    // synced: it needs no journal and no syncs of its own (settings that do
    // not take only cost speed).
    sqlite3_exec(out->get(), "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
    sqlite3_backup* b = sqlite3_backup_init(out->get(), "main", in->get(), "main");
    if (!b)
        return Result<>::fail(QString(), errorOf(out->get()));
    constexpr int PagesPerStep = 2048;
    int restarts = 0;
    int lastRemaining = -1;
    int rc = SQLITE_OK;
    qint64 pageSize = 4096;
    if (const Result<QString> ps = single(in->get(), "PRAGMA page_size"); ps && !ps->isEmpty())
        pageSize = ps->toLongLong();
    for (;;) {
        rc = sqlite3_backup_step(b, restarts >= 3 ? -1 : PagesPerStep);
        const int remaining = sqlite3_backup_remaining(b);
        const int count = sqlite3_backup_pagecount(b);
        if (lastRemaining >= 0 && remaining > lastRemaining)
            ++restarts;
        lastRemaining = remaining;
        if (advance && !advance(qint64(count - remaining) * pageSize, qint64(count) * pageSize)) {
            sqlite3_backup_finish(b);
            return Result<>::cancel();
        }
        if (rc == SQLITE_DONE)
            break;
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
            QThread::msleep(20);
            continue;
        }
        if (rc != SQLITE_OK)
            break;
    }
    sqlite3_backup_finish(b);
    if (rc != SQLITE_DONE)
        return Result<>::fail(QString(), QString::fromUtf8(sqlite3_errstr(rc)));
    if (sqlite3_errcode(out->get()) != SQLITE_OK && sqlite3_errcode(out->get()) != SQLITE_DONE)
        return Result<>::fail(QString(), errorOf(out->get()));
    return {};
}

Result<> SqliteBackend::compact(DataStore& store, const std::function<bool()>& cancelled) const
{
    // SQLite asks the handler every few thousand steps of the rebuild; a
    // true makes VACUUM stop and roll back, the file left as it was.
    sqlite3* db = handleOf(store);
    struct Watch {
        const std::function<bool()>* cancelled;
        bool stopped = false;
    } watch{&cancelled};
    if (db && cancelled)
        sqlite3_progress_handler(
            db, 10000,
            [](void* p) -> int {
                auto* w = static_cast<Watch*>(p);
                w->stopped = w->stopped || (*w->cancelled)();
                return w->stopped ? 1 : 0;
            },
            &watch);
    const bool ok = store.execute(QStringLiteral("VACUUM"));
    if (db && cancelled)
        sqlite3_progress_handler(db, 0, nullptr, nullptr);
    if (watch.stopped)
        return Result<>::cancel();
    if (!ok)
        return Result<>::fail(QString(), store.lastError());
    return {};
}
