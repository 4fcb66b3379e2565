#include "settings/ArchiveCare.h"

#include "platform/Clock.h"
#include "platform/FileCopy.h"
#include "platform/FolderTreeCopy.h"
#include "platform/ProgramHome.h"
#include "platform/Progress.h"
#include "store/DataStore.h"
#include "store/Schema.h"
#include "store/SizeText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <sqlite3.h>

#include <algorithm>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

ArchivePlace ArchivePlace::of(const ProgramHome& home, const QString& databasePath)
{
    ArchivePlace p;
    p.dataFolder = QDir::cleanPath(QFileInfo(home.dataFolder()).absoluteFilePath());
    p.databasePath = QDir::cleanPath(QFileInfo(databasePath.isEmpty() ? home.defaultDatabasePath() : databasePath)
                                         .absoluteFilePath());
    p.storeFolder = QDir::cleanPath(QFileInfo(home.storeFolder()).absoluteFilePath());
    return p;
}

namespace ArchiveCare {

namespace {

struct SqliteCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Sqlite = std::unique_ptr<sqlite3, SqliteCloser>;

QString clean(const QString& path) { return QDir::cleanPath(QFileInfo(path).absoluteFilePath()); }

bool inside(const QString& path, const QString& folder)
{
    const QString p = clean(path);
    const QString f = clean(folder);
    return p == f || p.startsWith(f + QLatin1Char('/'));
}

Result<Sqlite> openSqlite(const QString& path, int flags)
{
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &raw, flags, nullptr);
    Sqlite db(raw);
    if (rc != SQLITE_OK)
        return Result<Sqlite>::fail(QString(), QStringLiteral("cannot open %1: %2")
                                                   .arg(path, QString::fromUtf8(raw ? sqlite3_errmsg(raw) : "")));
    sqlite3_busy_timeout(raw, 10000);
    // Whole-file reads (the copy, quick_check) go through the page cache
    // directly instead of a read() per page.
    sqlite3_exec(raw, "PRAGMA mmap_size=4294967296", nullptr, nullptr, nullptr);
    return Result<Sqlite>(std::move(db));
}

QString errorOf(sqlite3* db) { return QString::fromUtf8(sqlite3_errmsg(db)); }

// Rows of a one-column statement as text.
Result<QStringList> column(sqlite3* db, const char* sql)
{
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK)
        return Result<QStringList>::fail(QString(), errorOf(db));
    QStringList rows;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW)
        rows << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE)
        return Result<QStringList>::fail(QString(), errorOf(db));
    return rows;
}

// Where the kept file an lj value names lies inside a folder holding Lf.
QString keptFileIn(const QString& folder, const QString& lj)
{
    QString p = lj.trimmed();
    p.replace(QLatin1Char('\\'), QLatin1Char('/'));
    static const QString marker = QStringLiteral("/Data/Lf/");
    const QString probe = QLatin1Char('/') + p;
    const int at = probe.lastIndexOf(marker, -1, Qt::CaseInsensitive);
    if (at < 0)
        return {};
    return QDir(folder).filePath(StoreName + QLatin1Char('/') + probe.mid(at + marker.size()));
}

Status notABackup(const QString& why) { return Status::fail(NotABackup, why); }

// Hands one file's chunks on to the tree's bars.
class DatabaseBars final : public Progress {
public:
    DatabaseBars(TreeCopyProgress* tree, qint64 total) : m_tree(tree), m_total(total) {}
    void setRange(qint64, qint64 maximum) override { m_size = maximum; }
    void setValue(qint64 value) override
    {
        if (m_tree) {
            m_tree->setFile(value, m_size);
            m_tree->setTotal(value, m_total);
        }
    }
    bool cancelled() const override { return m_tree && m_tree->cancelled(); }

private:
    TreeCopyProgress* m_tree;
    qint64 m_total;
    qint64 m_size = 0;
};

// Copies the database at source to target as one consistent snapshot while
// other connections keep it open.
//
// With a rollback journal (the archive's mode) a read transaction holds
// SQLite's shared lock, under which no connection writes the file: the file
// is copied whole by the kernel while the lock is held (writers wait for it,
// as they would for the online backup's last step). In any other journal
// mode the online backup copies it a step of pages at a time; another
// connection's write between steps starts it again, and after a few
// restarts the rest goes in one step under the read lock.
Status copyDatabase(const QString& source, const QString& target, TreeCopyProgress* progress, qint64 total)
{
    Result<Sqlite> from = openSqlite(source, SQLITE_OPEN_READONLY);
    if (!from)
        return from.failure();
    Result<QStringList> journal = column(from->get(), "PRAGMA journal_mode");
    if (journal && journal->value(0).compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0) {
        if (sqlite3_exec(from->get(), "BEGIN; SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) != SQLITE_OK)
            return Status::fail(QString(), errorOf(from->get()));
        DatabaseBars bars(progress, total);
        const FileCopy::Result r = FolderTreeCopy::copyFile(source, target, FileCopy::Replace::Never, &bars);
        sqlite3_exec(from->get(), "COMMIT", nullptr, nullptr, nullptr);
        if (r.cancelled)
            return Status::cancel();
        if (!r.ok)
            return Status::fail(QString(), r.error);
        return {};
    }
    Result<Sqlite> to = openSqlite(target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (!to)
        return to.failure();
    // A new file under a hidden name that counts only once verified and
    // synced: it needs no journal and no syncs of its own.
    sqlite3_exec(to->get(), "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
    sqlite3_backup* b = sqlite3_backup_init(to->get(), "main", from->get(), "main");
    if (!b)
        return Status::fail(QString(), errorOf(to->get()));
    constexpr int PagesPerStep = 2048;
    int restarts = 0;
    int lastRemaining = -1;
    int rc = SQLITE_OK;
    qint64 pageSize = 4096;
    {
        Result<QStringList> ps = column(from->get(), "PRAGMA page_size");
        if (ps && !ps->isEmpty())
            pageSize = ps->first().toLongLong();
    }
    for (;;) {
        if (progress && progress->cancelled()) {
            sqlite3_backup_finish(b);
            return Status::cancel();
        }
        rc = sqlite3_backup_step(b, restarts >= 3 ? -1 : PagesPerStep);
        const int remaining = sqlite3_backup_remaining(b);
        const int count = sqlite3_backup_pagecount(b);
        if (lastRemaining >= 0 && remaining > lastRemaining)
            ++restarts;
        lastRemaining = remaining;
        if (progress) {
            const qint64 done = qint64(count - remaining) * pageSize;
            progress->setFile(done, qint64(count) * pageSize);
            progress->setTotal(done, total);
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
        return Status::fail(QString(), QString::fromUtf8(sqlite3_errstr(rc)));
    if (sqlite3_errcode(to->get()) != SQLITE_OK && sqlite3_errcode(to->get()) != SQLITE_DONE)
        return Status::fail(QString(), errorOf(to->get()));
    return {};
}

bool removeTree(const QString& path)
{
    const QFileInfo fi(path);
    if (fi.isDir() && !fi.isSymLink())
        return QDir(path).removeRecursively();
    return !fi.exists() || QFile::remove(path);
}

void syncFolder(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// The archive's copies are the user's alone, as the Data folder is.
void makePrivate(const QString& folder)
{
    const auto folderMode = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    QFile::setPermissions(folder, folderMode);
    QFile::setPermissions(QDir(folder).filePath(StoreName), folderMode);
    QFile::setPermissions(QDir(folder).filePath(DatabaseName), QFile::ReadOwner | QFile::WriteOwner);
}

bool syncFileSystem(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::syncfs(fd) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

QString datedFolderBeside(const QString& dataFolder)
{
    const QFileInfo data(clean(dataFolder));
    const QString base = data.absolutePath() + QLatin1Char('/') + data.fileName() + QLatin1Char('-')
        + appClock().now().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    QString name = base;
    for (int n = 1; QFileInfo::exists(name) || QFileInfo(name).isSymLink(); ++n)
        name = base + QLatin1Char('-') + QString::number(n);
    return name;
}

namespace {

// The database part of checkFolder: an SQLite file that passes quick_check,
// holds every table and has no newer schema.
Status checkDatabase(const QString& dbPath)
{
    const QFileInfo db(dbPath);
    if (!db.isFile())
        return notABackup(QStringLiteral("no %1").arg(dbPath));
    {
        QFile f(dbPath);
        if (!f.open(QIODevice::ReadOnly))
            return notABackup(f.errorString());
        if (f.read(16) != QByteArray("SQLite format 3\0", 16))
            return notABackup(QStringLiteral("%1 is not an SQLite database").arg(dbPath));
    }
    Result<Sqlite> opened = openSqlite(dbPath, SQLITE_OPEN_READONLY);
    if (!opened)
        return notABackup(opened.detail());
    sqlite3* h = opened->get();
    Result<QStringList> check = column(h, "PRAGMA quick_check");
    if (!check)
        return notABackup(check.detail());
    if (check->value(0) != QLatin1String("ok"))
        return notABackup(QStringLiteral("quick_check: %1").arg(check->join(QLatin1Char(' '))));
    Result<QStringList> tables = column(h, "select name from sqlite_master where type='table'");
    if (!tables)
        return notABackup(tables.detail());
    for (const QString& t : Schema::tableNames())
        if (!tables->contains(t))
            return notABackup(QStringLiteral("table %1 is missing").arg(t));
    Result<QStringList> version = column(h, "PRAGMA user_version");
    if (!version)
        return notABackup(version.detail());
    if (version->value(0).toInt() > Schema::CurrentVersion)
        return notABackup(QStringLiteral("schema version %1 is newer than %2")
                              .arg(version->value(0))
                              .arg(Schema::CurrentVersion));
    return {};
}

// The kept-file part of checkFolder: every kept file the database of folder
// names is in folder's Lf with its size.
Status checkKeptFiles(const QString& folder, TreeCopyProgress* progress)
{
    Result<Sqlite> opened = openSqlite(QDir(folder).filePath(DatabaseName), SQLITE_OPEN_READONLY);
    if (!opened)
        return notABackup(opened.detail());
    sqlite3* h = opened->get();
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(h, "select lj, dxsz from wj where lj <> ''", -1, &st, nullptr) != SQLITE_OK)
        return notABackup(errorOf(h));
    int rc;
    qint64 seen = 0;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        const QString lj = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        const qint64 size = sqlite3_column_int64(st, 1);
        const QString path = keptFileIn(folder, lj);
        const QFileInfo kept(path);
        if (path.isEmpty() || !kept.isFile()) {
            sqlite3_finalize(st);
            return notABackup(QStringLiteral("kept file %1 is missing").arg(lj));
        }
        if (size > 0 && kept.size() != size) {
            sqlite3_finalize(st);
            return notABackup(QStringLiteral("kept file %1 has %2 bytes, not %3").arg(lj).arg(kept.size()).arg(size));
        }
        if (progress && ++seen % 256 == 0 && progress->cancelled()) {
            sqlite3_finalize(st);
            return Status::cancel();
        }
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE)
        return notABackup(errorOf(h));
    return {};
}

// Runs the database check on a thread of its own while the caller goes on
// copying the store folder.
class DatabaseCheck {
public:
    void start(const QString& dbPath)
    {
        m_thread.reset(QThread::create([this, dbPath] { m_status = checkDatabase(dbPath); }));
        m_thread->start();
    }
    // The outcome; waits for the check when it was started.
    Status finish()
    {
        if (!m_thread)
            return notABackup(QStringLiteral("the database was not checked"));
        m_thread->wait();
        return m_status;
    }
    ~DatabaseCheck()
    {
        if (m_thread)
            m_thread->wait();
    }

private:
    std::unique_ptr<QThread> m_thread;
    Status m_status;
};

// A staged copy checked: its database (whose check began while the store
// folder was copied) and every kept file the database names.
Status verifyStaged(const QString& staging, DatabaseCheck& dbCheck, TreeCopyProgress* progress)
{
    if (progress)
        progress->setStatus(VerifyingText);
    const Status db = dbCheck.finish();
    if (!db)
        return db;
    return checkKeptFiles(staging, progress);
}

}  // namespace

Status checkFolder(const QString& folder, TreeCopyProgress* progress)
{
    if (progress)
        progress->setStatus(VerifyingText);
    const QString dbPath = QDir(folder).filePath(DatabaseName);
    if (!QFileInfo(dbPath).isFile())
        return notABackup(QStringLiteral("no %1 in %2").arg(DatabaseName, folder));
    const Status db = checkDatabase(dbPath);
    if (!db)
        return db;
    return checkKeptFiles(folder, progress);
}

Result<qint64> backup(const ArchivePlace& place, const QString& target, TreeCopyProgress* progress)
{
    if (target.trimmed().isEmpty())
        return Result<qint64>::fail(BackupFailed, QStringLiteral("no target folder"));
    if (inside(target, place.dataFolder) || inside(place.dataFolder, target))
        return Result<qint64>::fail(QStringLiteral("备份目录不能是数据目录或其上下级目录!"),
                                    QStringLiteral("%1 and %2 overlap").arg(target, place.dataFolder));
    if (!QDir().mkpath(target))
        return Result<qint64>::fail(BackupFailed, QStringLiteral("cannot create %1").arg(target));

    FolderTreeCopy::Plan plan;
    if (QFileInfo(place.storeFolder).isDir()) {
        Result<FolderTreeCopy::Plan> p = FolderTreeCopy::plan(place.storeFolder, progress);
        if (!p)
            return p.cancelled() ? Result<qint64>::cancel(BackupCancelled) : Result<qint64>::fail(BackupFailed, p.detail());
        plan = *p;
    } else {
        plan.source = place.storeFolder;
    }
    const qint64 dbBytes = QFileInfo(place.databasePath).size();
    const qint64 total = dbBytes + plan.bytes;

    // Everything is written under a hidden folder of target first and takes
    // its names only once verified.
    // A backup killed part way left its hidden folder behind: it goes now.
    const QString stagingPrefix = QStringLiteral(".korvane-backup-");
    for (const QString& left : QDir(target).entryList({stagingPrefix + QLatin1Char('*')}, QDir::Dirs | QDir::Hidden))
        removeTree(QDir(target).filePath(left));
    const QString staging = QDir(target).filePath(stagingPrefix + QString::number(::getpid()));
    auto failWith = [&](const Failure& f, const QString& message) {
        removeTree(staging);
        return Result<qint64>(Failure{f.cancelled ? BackupCancelled : message, f.detail, f.cancelled});
    };
    if (!QDir().mkpath(staging))
        return failWith(Failure{{}, QStringLiteral("cannot create %1").arg(staging)}, BackupFailed);

    if (progress)
        progress->setStatus(FolderTreeCopy::CopyingText);
    const Status db = copyDatabase(place.databasePath, QDir(staging).filePath(DatabaseName), progress, total);
    if (!db)
        return failWith(db.failure(), BackupFailed);
    qint64 bytes = QFileInfo(QDir(staging).filePath(DatabaseName)).size();
    DatabaseCheck dbCheck;
    dbCheck.start(QDir(staging).filePath(DatabaseName));

    if (!plan.source.isEmpty() && QFileInfo(plan.source).isDir()) {
        Result<FolderTreeCopy::Outcome> lf = FolderTreeCopy::run(plan, QDir(staging).filePath(StoreName), progress,
                                                                 FileCopy::Replace::Never, dbBytes, total);
        if (!lf)
            return failWith(lf.failure(), BackupFailed);
        if (lf->failed > 0)
            return failWith(Failure{{}, lf->failures.join(QLatin1Char('\n'))}, BackupFailed);
        bytes += lf->bytes;
    } else {
        QDir().mkpath(QDir(staging).filePath(StoreName));
    }

    const Status verified = verifyStaged(staging, dbCheck, progress);
    if (!verified)
        return failWith(verified.failure(), BackupFailed);
    makePrivate(staging);
    if (!syncFileSystem(staging))
        return failWith(Failure{{}, QStringLiteral("cannot sync %1").arg(staging)}, BackupFailed);

    // The new backup takes the names; one that was there goes only now.
    for (const QString& name : {DatabaseName, StoreName}) {
        const QString there = QDir(target).filePath(name);
        if (QFileInfo::exists(there) || QFileInfo(there).isSymLink()) {
            const QString old = QDir(staging).filePath(QStringLiteral("old-") + name);
            if (!QFile::rename(there, old))
                return failWith(Failure{{}, QStringLiteral("cannot move %1 aside").arg(there)}, BackupFailed);
        }
        if (!QFile::rename(QDir(staging).filePath(name), there))
            return failWith(Failure{{}, QStringLiteral("cannot rename into %1").arg(there)}, BackupFailed);
    }
    removeTree(staging);
    syncFolder(target);
    if (progress)
        progress->setStatus(FolderTreeCopy::doneText(int(plan.files.size()) + 1, 0));
    return Result<qint64>(bytes, BackupDone);
}

Result<QString> prepareRestore(const ArchivePlace& place, const QString& source, TreeCopyProgress* progress)
{
    const QString src = clean(source);
    if (source.trimmed().isEmpty() || !QFileInfo(QDir(src).filePath(DatabaseName)).isFile())
        return Result<QString>::fail(NotABackup, QStringLiteral("no %1 in %2").arg(DatabaseName, source));
    if (inside(src, place.dataFolder) || inside(place.dataFolder, src))
        return Result<QString>::fail(NotABackup, QStringLiteral("%1 and %2 overlap").arg(src, place.dataFolder));
    if (clean(place.databasePath) != clean(QDir(place.dataFolder).filePath(DatabaseName)))
        return Result<QString>::fail(RestoreFailed, QStringLiteral("the database %1 lies outside the Data folder %2")
                                                        .arg(place.databasePath, place.dataFolder));
    {
        QFile f(QDir(src).filePath(DatabaseName));
        if (!f.open(QIODevice::ReadOnly) || f.read(16) != QByteArray("SQLite format 3\0", 16))
            return Result<QString>::fail(NotABackup, QStringLiteral("%1 is not an SQLite database").arg(f.fileName()));
    }

    // Leftovers of a restore that stopped part way go first.
    const QFileInfo data(place.dataFolder);
    const QString prefix = data.fileName() + QStringLiteral(".restoring-");
    QDir parent(data.absolutePath());
    for (const QString& left : parent.entryList({prefix + QLatin1Char('*')}, QDir::Dirs | QDir::Hidden))
        removeTree(parent.filePath(left));

    const QString staging = parent.filePath(prefix + QString::number(::getpid()));
    auto failWith = [&](const Failure& f, const QString& message) {
        removeTree(staging);
        return Result<QString>(Failure{f.cancelled ? RestoreCancelled : message, f.detail, f.cancelled});
    };
    Result<FolderTreeCopy::Plan> plan = FolderTreeCopy::plan(src, progress);
    if (!plan)
        return failWith(plan.failure(), RestoreFailed);
    // The database first: its check runs while the store folder is copied.
    std::stable_partition(plan->files.begin(), plan->files.end(),
                          [](const FolderTreeCopy::Plan::File& f) { return f.relative == DatabaseName; });
    DatabaseCheck dbCheck;
    Result<FolderTreeCopy::Outcome> copied =
        FolderTreeCopy::run(*plan, staging, progress, FileCopy::Replace::Never, 0, -1, [&](const QString& relative) {
            if (relative == DatabaseName)
                dbCheck.start(QDir(staging).filePath(DatabaseName));
        });
    if (copied && progress)
        progress->setStatus(FolderTreeCopy::doneText(copied->copied, copied->failed));
    if (!copied)
        return failWith(copied.failure(), RestoreFailed);
    if (copied->failed > 0)
        return failWith(Failure{{}, copied->failures.join(QLatin1Char('\n'))}, RestoreFailed);
    if (!QFileInfo(QDir(staging).filePath(StoreName)).isDir())
        QDir().mkpath(QDir(staging).filePath(StoreName));
    const Status verified = verifyStaged(staging, dbCheck, progress);
    if (!verified)
        return failWith(verified.failure(), verified.message().isEmpty() ? RestoreFailed : verified.message());
    makePrivate(staging);
    syncFolder(staging);
    return Result<QString>(staging);
}

Result<QString> swapIn(const ArchivePlace& place, const QString& prepared)
{
    const QString kept = datedFolderBeside(place.dataFolder);
    if (!QFileInfo(place.dataFolder).exists()) {
        if (!QFile::rename(prepared, place.dataFolder))
            return Result<QString>::fail(RestoreFailed, QStringLiteral("cannot rename %1").arg(prepared));
        syncFolder(QFileInfo(place.dataFolder).absolutePath());
        return Result<QString>(QString(), RestoreDone);
    }
    const Status exchanged = FolderTreeCopy::exchange(prepared, place.dataFolder);
    if (!exchanged)
        return Result<QString>::fail(RestoreFailed, exchanged.detail());
    // The prepared name now holds the archive that was in use.
    if (!QFile::rename(prepared, kept)) {
        syncFolder(QFileInfo(place.dataFolder).absolutePath());
        return Result<QString>(prepared, RestoreDone + QStringLiteral("\n恢复前的数据保存在: ") + QDir::toNativeSeparators(prepared));
    }
    syncFolder(QFileInfo(place.dataFolder).absolutePath());
    return Result<QString>(kept, RestoreDone + QStringLiteral("\n恢复前的数据保存在: ") + QDir::toNativeSeparators(kept));
}

Result<QString> rebuild(const ArchivePlace& place, DataStore& store, TreeCopyProgress* progress)
{
    const QString folder = datedFolderBeside(place.dataFolder);
    Result<qint64> saved = backup(place, folder, progress);
    if (!saved) {
        QDir().rmdir(folder);
        return Result<QString>(Failure{saved.cancelled() ? saved.message() : RebuildFailed,
                                       saved.message() + QLatin1Char(' ') + saved.detail(), saved.cancelled()});
    }
    const Status emptied = Schema::rebuild(store);
    if (!emptied)
        return Result<QString>::fail(RebuildFailed, emptied.detail());
    // The kept files belonged to records that are gone; the backup has them.
    // One that cannot be removed stays as a leftover no record names.
    QDir lf(place.storeFolder);
    for (const QFileInfo& fi : lf.entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::Dirs | QDir::NoDotAndDotDot))
        removeTree(fi.absoluteFilePath());
    return Result<QString>(folder, QStringLiteral("重建数据库完成! 重建前的数据已备份在: ") + QDir::toNativeSeparators(folder));
}

Result<Compacted> compact(DataStore& store)
{
    Compacted c;
    c.before = QFileInfo(store.path()).size();
    if (!store.execute(QStringLiteral("VACUUM")))
        return Result<Compacted>::fail(CompactFailed, store.lastError());
    c.after = QFileInfo(store.path()).size();
    return Result<Compacted>(c, QStringLiteral("压缩优化数据库完成! 压缩前: %1, 压缩后: %2")
                                    .arg(sizeText(c.before), sizeText(c.after)));
}

}
