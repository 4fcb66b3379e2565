#include "settings/ArchiveCare.h"

#include "platform/Clock.h"
#include "platform/FileCopy.h"
#include "platform/FolderTreeCopy.h"
#include "platform/InstanceLock.h"
#include "platform/PrivateFolder.h"
#include "platform/ProgramHome.h"
#include "platform/RealPath.h"
#include "platform/Sha256.h"
#include "platform/Job.h"
#include "platform/Progress.h"
#include "store/Backend.h"
#include "store/ContentCheckRows.h"
#include "store/DataStore.h"
#include "store/StoreJob.h"
#include "store/Schema.h"
#include "store/SizeText.h"

#include <QDir>
#include <QDirIterator>
#include <QHash>
#include <QSet>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <memory>
#include <optional>
#include <unistd.h>

ArchivePlace ArchivePlace::of(const ProgramHome& home, const ArchiveLocation& archive)
{
    ArchivePlace p;
    p.dataFolder = QDir::cleanPath(QFileInfo(home.dataFolder()).absoluteFilePath());
    const QString file = archive.filePath();
    p.databasePath = QDir::cleanPath(QFileInfo(file.isEmpty() ? home.defaultDatabasePath() : file).absoluteFilePath());
    p.archive = ArchiveLocation::file(p.databasePath);
    p.storeFolder = QDir::cleanPath(QFileInfo(home.storeFolder()).absoluteFilePath());
    return p;
}

namespace ArchiveCare {

namespace {

QString clean(const QString& path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// Whether two places overlap as they really are (links and bind mounts
// resolved), not as their text reads.
bool overlaps(const QString& a, const QString& b)
{
    return RealPath::overlap(a, b);
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

Status notABackup(const QString& why)
{
    return Status::fail(NotABackup, why);
}

// Copies the database at source to target as one consistent snapshot while
// other connections keep it open and may write; the bytes go onto the
// tree's bars as part of the whole run.
Status copyDatabase(const QString& source, const QString& target, TreeCopyProgress* progress, qint64 total)
{
    const ArchiveLocation from = ArchiveLocation::file(source);
    const std::unique_ptr<Backend> backend = Backend::forLocation(from);
    if (!backend)
        return Status::fail(QString(), QStringLiteral("no database serves %1").arg(source));
    const Backend::Advance advance = [progress, total](qint64 done, qint64 size) {
        if (!progress)
            return true;
        progress->setFile(done, size);
        progress->setTotal(done, total);
        return !progress->cancelled();
    };
    return backend->snapshot(from, target, advance);
}

// Whether a copy's database file is whole as its kind of database can tell
// without opening it (not some other file, not cut short).
Status storageWhole(const QString& dbPath)
{
    const ArchiveLocation copy = ArchiveLocation::file(dbPath);
    const std::unique_ptr<Backend> backend = Backend::forLocation(copy);
    return backend->storageWhole(copy);
}

// A copy's database opened to be checked; the open's failure is said
// as why the copy is no backup.
Status openCopy(DataStore& store, const QString& dbPath)
{
    if (!store.open(ArchiveLocation::file(dbPath)))
        return Status::fail(NotABackup, store.lastError());
    return {};
}

bool removeTree(const QString& path)
{
    const QFileInfo fi(path);
    if (fi.isDir() && !fi.isSymLink())
        return QDir(path).removeRecursively();
    return !fi.exists() || QFile::remove(path);
}

bool lexists(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

// A free name "<base>-yyyyMMdd-hhmmss[-n]".
QString datedName(const QString& base)
{
    const QString stem = base + QLatin1Char('-') + appClock().now().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    QString name = stem;
    for (int n = 1; lexists(name); ++n)
        name = stem + QLatin1Char('-') + QString::number(n);
    return name;
}

void syncFolder(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// The archive's copies are the user's alone, as the Data folder is: every
// folder 0700, every file 0600.
void makePrivate(const QString& folder)
{
    const auto folderMode = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    const auto fileMode = QFile::ReadOwner | QFile::WriteOwner;
    QFile::setPermissions(folder, folderMode);
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo fi = it.fileInfo();
        if (fi.isSymLink())
            continue;
        QFile::setPermissions(fi.absoluteFilePath(), fi.isDir() ? folderMode : fileMode);
    }
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
    return datedName(clean(dataFolder));
}

namespace {

// The database part of checkFolder: an SQLite file that passes the
// engine's quick check, holds every table and has no newer schema.
Status checkDatabase(const QString& dbPath)
{
    const QFileInfo db(dbPath);
    if (!db.isFile())
        return notABackup(QStringLiteral("no %1").arg(dbPath));
    if (const Status whole = storageWhole(dbPath); !whole)
        return notABackup(whole.detail());
    DataStore store;
    if (const Status opened = openCopy(store, dbPath); !opened)
        return opened;
    const Result<QStringList> check = store.backend().integrityCheck(store, true);
    if (!check)
        return notABackup(check.detail());
    if (!check->isEmpty())
        return notABackup(QStringLiteral("quick_check: %1").arg(check->join(QLatin1Char(' '))));
    for (const QString& t : Schema::tableNames()) {
        const Result<bool> there = store.backend().hasTable(store, t);
        if (!there)
            return notABackup(there.detail());
        if (!*there)
            return notABackup(QStringLiteral("table %1 is missing").arg(t));
    }
    const Result<int> version = Schema::version(store);
    if (!version)
        return notABackup(version.detail());
    if (*version > Schema::CurrentVersion)
        return notABackup(
            QStringLiteral("schema version %1 is newer than %2").arg(*version).arg(Schema::CurrentVersion));
    return {};
}

// The passes that name kept files: the records' and the versions'.
const ContentCheckRows::Records kKeptPasses[] = {ContentCheckRows::Records::Kept, ContentCheckRows::Records::Versions};

// How a finding names a content: a record by its number, a version's
// content by the start of its SHA-256.
QString numberOf(ContentCheckRows::Records pass, const ContentCheckRows::Row& row)
{
    return pass == ContentCheckRows::Records::Versions ? QStringLiteral("历史版本 ") + row.sha256.left(12) : row.number;
}

// The kept-file part of checkFolder: every kept file the database of folder
// names is in folder's Lf with its size.
Status checkKeptFiles(const QString& folder, TreeCopyProgress* progress)
{
    DataStore store;
    if (const Status opened = openCopy(store, QDir(folder).filePath(DatabaseName)); !opened)
        return opened;
    ContentCheckRows rows(store);
    qint64 seen = 0;
    // The records' kept files, then the versions'.
    for (const ContentCheckRows::Records pass : kKeptPasses) {
        if (const Status started = rows.start(pass); !started)
            return notABackup(started.detail());
        ContentCheckRows::Row row;
        for (;;) {
            const ContentCheckRows::Step step = rows.next(&row);
            if (step == ContentCheckRows::Step::Done)
                break;
            if (step == ContentCheckRows::Step::Failed)
                return notABackup(rows.error());
            if (row.keptPath.isEmpty())
                continue;  // a version held in the database
            const QString path = keptFileIn(folder, row.keptPath);
            const QFileInfo kept(path);
            if (path.isEmpty() || !kept.isFile())
                return notABackup(QStringLiteral("kept file %1 is missing").arg(row.keptPath));
            if (row.size > 0 && kept.size() != row.size)
                return notABackup(QStringLiteral("kept file %1 has %2 bytes, not %3")
                                      .arg(row.keptPath)
                                      .arg(kept.size())
                                      .arg(row.size));
            if (progress && ++seen % 256 == 0 && progress->cancelled())
                return Status::cancel();
        }
    }
    return {};
}

// What the database of a copy says one record's content must be.
struct Expected {
    qint64 id = 0;
    QString number;
    qint64 size = 0;
    QString sha256;
    QString describe() const { return QStringLiteral("编号 %1 (id %2)").arg(number).arg(id); }
};

// The kept files the database of folder names, by their path inside
// folder's Lf, with what each must be.
Result<QHash<QString, Expected>> expectedKeptFiles(const QString& folder)
{
    using Out = Result<QHash<QString, Expected>>;
    DataStore store;
    if (!store.open(ArchiveLocation::file(QDir(folder).filePath(DatabaseName))))
        return Out::fail(QString(), store.lastError());
    ContentCheckRows rows(store);
    const QDir lf(QDir(folder).filePath(StoreName));
    QHash<QString, Expected> out;
    for (const ContentCheckRows::Records pass : kKeptPasses) {
        if (const Status started = rows.start(pass); !started)
            return started.failure();
        ContentCheckRows::Row row;
        for (;;) {
            const ContentCheckRows::Step step = rows.next(&row);
            if (step == ContentCheckRows::Step::Done)
                break;
            if (step == ContentCheckRows::Step::Failed)
                return Out::fail(QString(), rows.error());
            if (row.keptPath.isEmpty())
                continue;
            const QString path = keptFileIn(folder, row.keptPath);
            if (!path.isEmpty())
                out.insert(QDir::cleanPath(lf.relativeFilePath(path)),
                           Expected{row.id, numberOf(pass, row), row.size, row.sha256});
        }
    }
    return out;
}

// The records of the database at dbPath whose content it holds itself and
// whose size or SHA-256 differs from what was recorded when it came in.
Result<QStringList> damagedHeldContent(const QString& dbPath)
{
    DataStore store;
    if (!store.open(ArchiveLocation::file(dbPath)))
        return Result<QStringList>::fail(QString(), store.lastError());
    ContentCheckRows rows(store);
    QStringList damaged;
    // The records' held content, then the versions' held in the database.
    for (const ContentCheckRows::Records pass :
         {ContentCheckRows::Records::Held, ContentCheckRows::Records::Versions}) {
        if (const Status started = rows.start(pass); !started)
            return started.failure();
        ContentCheckRows::Row row;
        for (;;) {
            const ContentCheckRows::Step step = rows.next(&row);
            if (step == ContentCheckRows::Step::Done)
                break;
            if (step == ContentCheckRows::Step::Failed)
                return Result<QStringList>::fail(QString(), rows.error());
            if (!row.held || !row.keptPath.isEmpty())
                continue;
            const Expected e{row.id, numberOf(pass, row), row.size, row.sha256};
            const qint64 size = row.content.size();
            if (size != e.size)
                damaged << e.describe() + QStringLiteral(": 记录 %1 字节, 实有 %2 字节").arg(e.size).arg(size);
            else if (!e.sha256.isEmpty()
                     && e.sha256.compare(Sha256::of(row.content.data(), size), Qt::CaseInsensitive) != 0)
                damaged << e.describe() + QStringLiteral(": 内容摘要不符");
        }
    }
    return damaged;
}

// Runs the database check beside the caller, on a connection of its own,
// while the caller goes on copying the store folder; with held content
// checked, the content the database holds is hashed there too.
class DatabaseCheck {
public:
    struct Outcome {
        Status status;
        QStringList damaged;
    };

    void start(const QString& dbPath, bool heldContent = false)
    {
        m_check = std::async(std::launch::async, [dbPath, heldContent] {
            Outcome out{checkDatabase(dbPath), {}};
            if (out.status && heldContent) {
                Result<QStringList> damaged = damagedHeldContent(dbPath);
                if (!damaged)
                    out.status = Status(damaged.failure());
                else
                    out.damaged = *damaged;
            }
            return out;
        });
    }
    // The outcome; waits for the check when it was started.
    Status finish()
    {
        if (m_check.valid())
            m_outcome = m_check.get();
        else if (!m_outcome)
            return notABackup(QStringLiteral("the database was not checked"));
        return m_outcome->status;
    }
    // Records of held content found damaged (after finish()).
    QStringList damaged() const { return m_outcome ? m_outcome->damaged : QStringList(); }

private:
    // A future of std::async waits for its check when it goes.
    std::future<Outcome> m_check;
    std::optional<Outcome> m_outcome;
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

// Marks a backup folder whose copy is under way: it is a part copy of the
// archive, never a backup, until the mark goes just before it takes its name.
const QString IncompleteMark = QStringLiteral(".korvane-incomplete");
const QString BackupStagingTag = QStringLiteral(".korvane-backup-");

bool isEmptyFolder(const QString& path)
{
    return QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot).isEmpty();
}

// Whether a leftover of a killed backup is only a part copy of the archive
// in use: it carries the incomplete mark, and every file of its store folder
// is there in the archive's, with the same size. Anything else in it (or a
// file the archive no longer has) makes it something to keep.
bool isPartCopyOf(const QString& leftover, const ArchivePlace& place)
{
    if (!QFileInfo(QDir(leftover).filePath(IncompleteMark)).isFile() || !QFileInfo(place.databasePath).isFile())
        return false;
    const QDir top(leftover);
    for (const QString& name : top.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        if (name != IncompleteMark && name != DatabaseName && name != StoreName && !FileCopy::isTemporaryName(name))
            return false;
    }
    const QString lf = top.filePath(StoreName);
    QDirIterator it(lf, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo fi = it.fileInfo();
        if (fi.isSymLink())
            return false;
        if (fi.isDir() || FileCopy::isTemporaryName(fi.fileName()))
            continue;
        const QFileInfo live(QDir(place.storeFolder).filePath(QDir(lf).relativeFilePath(fi.absoluteFilePath())));
        if (!fi.isFile() || !live.isFile() || live.isSymLink() || live.size() != fi.size())
            return false;
    }
    return true;
}

// Settles what killed backups left in folder (names beginning with prefix):
// an empty one or a part copy of the archive in use goes; anything else is
// kept under a dated name beside, which is said (the list returned).
QStringList settleBackupLeftovers(const QString& folder, const QString& prefix, const QString& keptBase,
                                  const ArchivePlace& place)
{
    QStringList kept;
    const QDir dir(folder);
    for (const QString& name :
         dir.entryList({prefix + QLatin1Char('*')}, QDir::Dirs | QDir::Hidden | QDir::NoSymLinks)) {
        const QString left = dir.filePath(name);
        if (isEmptyFolder(left) || isPartCopyOf(left, place)) {
            removeTree(left);
            continue;
        }
        const QString dated = datedName(keptBase);
        if (QFile::rename(left, dated))
            kept << dated;
        else
            kept << left;
    }
    return kept;
}

// Exchanges two names of one file system in one step; false (errno set)
// where the file system cannot.
bool exchangeNames(const QString& a, const QString& b)
{
#ifdef SYS_renameat2
    constexpr unsigned exchangeFlag = 2;  // RENAME_EXCHANGE
    return ::syscall(SYS_renameat2, AT_FDCWD, QFile::encodeName(a).constData(), AT_FDCWD,
                     QFile::encodeName(b).constData(), exchangeFlag)
        == 0;
#else
    errno = EINVAL;
    return false;
#endif
}

// Where a backup into the chosen folder goes. When the folder is free (not
// there, empty, or holding nothing but a backup) and not a mount point of
// its own, the new backup is made beside it and takes its place in one
// exchange of names, so the folder then holds files.dat and Lf directly.
// Otherwise (other files there, the root of a stick) it goes into a dated
// folder of its own inside, made under a hidden name and renamed once.
struct BackupWay {
    bool wholeFolder = false;
    QString target;   // the folder chosen, links resolved
    QString staging;  // where the copy is made
    QString final;    // the name the copy takes
};

BackupWay wayFor(const QString& chosen)
{
    BackupWay way;
    way.target = RealPath::resolve(chosen);
    const QFileInfo t(way.target);
    const QString parent = t.absolutePath();
    bool free = !lexists(way.target);
    if (!free && t.isDir() && !t.isSymLink()) {
        free = true;
        for (const QString& name :
             QDir(way.target).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
            if (name != DatabaseName && name != StoreName)
                free = false;
    }
    struct stat self, up;
    const bool ownMount = ::stat(QFile::encodeName(way.target).constData(), &self) == 0
        && ::stat(QFile::encodeName(parent).constData(), &up) == 0 && self.st_dev != up.st_dev;
    if (free && !ownMount && QFileInfo(parent).isWritable() && parent != way.target) {
        way.wholeFolder = true;
        way.staging =
            QDir(parent).filePath(QLatin1Char('.') + t.fileName() + BackupStagingTag + QString::number(::getpid()));
        way.final = way.target;
    } else {
        way.staging = QDir(way.target).filePath(BackupStagingTag + QString::number(::getpid()));
        way.final = datedName(QDir(way.target).filePath(QStringLiteral("备份")));
    }
    return way;
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
    const QStringList archive{place.dataFolder, place.storeFolder, QFileInfo(place.databasePath).absolutePath()};
    if (const QString hit = RealPath::firstOverlap(target, archive); !hit.isEmpty())
        return Result<qint64>::fail(QStringLiteral("备份目录不能是数据目录或其上下级目录!"),
                                    QStringLiteral("%1 and %2 overlap").arg(target, hit));
    if (!QDir().mkpath(QFileInfo(RealPath::resolve(target)).absolutePath()))
        return Result<qint64>::fail(BackupFailed, QStringLiteral("cannot create %1").arg(target));

    const BackupWay way = wayFor(target);
    if (!way.wholeFolder && !QDir().mkpath(way.target))
        return Result<qint64>::fail(BackupFailed, QStringLiteral("cannot create %1").arg(way.target));
    if (!way.wholeFolder && !QFileInfo(way.target).isDir())
        return Result<qint64>::fail(BackupFailed, QStringLiteral("%1 is not a folder").arg(way.target));

    // What killed backups left: a part copy goes, anything else is kept.
    QStringList keptLeftovers;
    if (way.wholeFolder) {
        const QFileInfo t(way.target);
        keptLeftovers = settleBackupLeftovers(t.absolutePath(), QLatin1Char('.') + t.fileName() + BackupStagingTag,
                                              way.target + QStringLiteral("-未完成的备份"), place);
    }
    if (QFileInfo(way.target).isDir())
        keptLeftovers += settleBackupLeftovers(way.target, BackupStagingTag,
                                               QDir(way.target).filePath(QStringLiteral("未完成的备份")), place);

    FolderTreeCopy::Plan plan;
    if (QFileInfo(place.storeFolder).isDir()) {
        Result<FolderTreeCopy::Plan> p = FolderTreeCopy::plan(place.storeFolder, progress);
        if (!p)
            return p.cancelled() ? Result<qint64>::cancel(BackupCancelled)
                                 : Result<qint64>::fail(BackupFailed, p.detail());
        plan = *p;
    } else {
        plan.source = place.storeFolder;
    }
    const qint64 dbBytes = QFileInfo(place.databasePath).size();
    const qint64 total = dbBytes + plan.bytes;

    // Everything is written into a folder of its own, marked incomplete
    // until verified; only then does it take its name.
    const QString staging = way.staging;
    auto failWith = [&](const Failure& f, const QString& message) {
        removeTree(staging);
        return Result<qint64>(Failure{f.cancelled ? BackupCancelled : PrivateFolder::withCause(message, f.detail),
                                      f.detail, f.cancelled});
    };
    if (lexists(staging) || !QDir().mkdir(staging))
        return Result<qint64>::fail(BackupFailed, QStringLiteral("cannot create %1").arg(staging));
    QFile::setPermissions(staging, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    {
        QFile mark(QDir(staging).filePath(IncompleteMark));
        if (!mark.open(QIODevice::WriteOnly))
            return failWith(Failure{{}, mark.errorString()}, BackupFailed);
    }

    if (progress)
        progress->setStatus(FolderTreeCopy::CopyingText);
    const Status db = copyDatabase(place.databasePath, QDir(staging).filePath(DatabaseName), progress, total);
    if (!db)
        return failWith(db.failure(), BackupFailed);
    qint64 bytes = QFileInfo(QDir(staging).filePath(DatabaseName)).size();
    DatabaseCheck dbCheck;
    dbCheck.start(QDir(staging).filePath(DatabaseName), true);

    // Every kept file is hashed as it is copied and compared with what its
    // record says: a damaged file is never taken for a good backup.
    Result<QHash<QString, Expected>> expected = expectedKeptFiles(staging);
    if (!expected)
        return failWith(expected.failure(), BackupFailed);
    QStringList damaged;
    QSet<QString> copiedKept;
    const FolderTreeCopy::ContentCheck check = [&](const QString& relative, qint64 size, const QString& sha) {
        const auto e = expected->constFind(QDir::cleanPath(relative));
        if (e == expected->constEnd())
            return QString();
        copiedKept.insert(e.key());
        QString why;
        if (size != e->size)
            why = e->describe() + QStringLiteral(": 记录 %1 字节, 实有 %2 字节").arg(e->size).arg(size);
        else if (!e->sha256.isEmpty() && e->sha256.compare(sha, Qt::CaseInsensitive) != 0)
            why = e->describe() + QStringLiteral(": 内容摘要不符");
        if (!why.isEmpty())
            damaged << why;
        return why;
    };
    if (!plan.source.isEmpty() && QFileInfo(plan.source).isDir()) {
        Result<FolderTreeCopy::Outcome> lf = FolderTreeCopy::run(plan, QDir(staging).filePath(StoreName), progress,
                                                                 FileCopy::Replace::Never, dbBytes, total, {}, check);
        if (!lf)
            return failWith(lf.failure(), BackupFailed);
        if (lf->failed > int(damaged.size()))
            return failWith(Failure{{}, lf->failures.join(QLatin1Char('\n'))}, BackupFailed);
        bytes += lf->bytes;
    } else {
        QDir().mkpath(QDir(staging).filePath(StoreName));
    }
    // A kept file that is gone, a link or not a file at all was never copied.
    for (auto e = expected->constBegin(); e != expected->constEnd(); ++e)
        if (!copiedKept.contains(e.key()))
            damaged << e->describe() + QStringLiteral(": 存放文件缺失或不是普通文件");
    const Status dbChecked = dbCheck.finish();
    damaged += dbCheck.damaged();
    if (!damaged.isEmpty()) {
        damaged.sort();
        return failWith(Failure{{}, damaged.join(QLatin1Char('\n'))},
                        BackupFailed + QStringLiteral(" 以下文件内容已损坏, 原有的备份未改动:\n")
                            + damaged.join(QLatin1Char('\n')));
    }
    if (!dbChecked)
        return failWith(dbChecked.failure(), BackupFailed);
    const Status verified = verifyStaged(staging, dbCheck, progress);
    if (!verified)
        return failWith(verified.failure(), BackupFailed);
    makePrivate(staging);
    if (!QFile::remove(QDir(staging).filePath(IncompleteMark)))
        return failWith(Failure{{}, QStringLiteral("cannot unmark %1").arg(staging)}, BackupFailed);
    if (!syncFileSystem(staging))
        return failWith(Failure{{}, QStringLiteral("cannot sync %1").arg(staging)}, BackupFailed);

    // One rename puts the new backup in place; the one it replaces stays
    // whole until then and goes only after.
    const QString parent = QFileInfo(way.final).absolutePath();
    QString place_ = way.final;
    bool exchanged = false;
    if (way.wholeFolder && lexists(way.final) && !isEmptyFolder(way.final)) {
        if (exchangeNames(staging, way.final)) {
            exchanged = true;
        } else {
            // No exchange on this file system: a dated folder of its own inside.
            place_ = datedName(QDir(way.final).filePath(QStringLiteral("备份")));
        }
    }
    if (!exchanged && ::rename(QFile::encodeName(staging).constData(), QFile::encodeName(place_).constData()) != 0)
        return failWith(
            Failure{
                {},
                QStringLiteral("cannot rename into %1: %2").arg(place_, QString::fromLocal8Bit(std::strerror(errno)))},
            BackupFailed);
    syncFolder(QFileInfo(place_).absolutePath());
    if (exchanged) {
        // The staging name holds the backup replaced.
        removeTree(staging);
        syncFolder(parent);
    }
    if (progress)
        progress->setStatus(FolderTreeCopy::doneText(int(plan.files.size()) + 1, 0));
    QString message = BackupDone;
    if (place_ != way.target)
        message += QStringLiteral("\n备份保存在: ") + QDir::toNativeSeparators(place_);
    if (!keptLeftovers.isEmpty())
        message += QStringLiteral("\n上次未完成的备份已保留在: ")
            + QDir::toNativeSeparators(keptLeftovers.join(QStringLiteral(", ")));
    return Result<qint64>(bytes, message);
}

QString restoreLeftoverPrefix(const ArchivePlace& place)
{
    return QFileInfo(place.dataFolder).fileName() + QStringLiteral(".restoring-");
}

QStringList keepRestoreLeftovers(const ArchivePlace& place)
{
    const QFileInfo data(place.dataFolder);
    QDir parent(data.absolutePath());
    QStringList kept;
    for (const QString& left : parent.entryList({restoreLeftoverPrefix(place) + QLatin1Char('*')},
                                                QDir::Dirs | QDir::Hidden | QDir::NoSymLinks)) {
        const QString path = parent.filePath(left);
        if (isEmptyFolder(path)) {
            QDir().rmdir(path);
            continue;
        }
        // Never deleted: it may be the archive that was in use.
        const QString dated = datedFolderBeside(place.dataFolder);
        kept << (QFile::rename(path, dated) ? dated : path);
    }
    if (!kept.isEmpty())
        syncFolder(parent.absolutePath());
    return kept;
}

QString leftoversKeptText(const QStringList& kept)
{
    QStringList shown;
    for (const QString& k : kept)
        shown << QDir::toNativeSeparators(k);
    return QStringLiteral("上次恢复数据库未完成, 当时的数据已保留在: ") + shown.join(QStringLiteral(", "));
}

Result<QString> prepareRestore(const ArchivePlace& place, const QString& source, TreeCopyProgress* progress)
{
    const QString src = RealPath::resolve(source);
    if (source.trimmed().isEmpty() || !QFileInfo(QDir(src).filePath(DatabaseName)).isFile())
        return Result<QString>::fail(NotABackup, QStringLiteral("no %1 in %2").arg(DatabaseName, source));
    if (overlaps(src, place.dataFolder) || overlaps(src, place.storeFolder))
        return Result<QString>::fail(NotABackup, QStringLiteral("%1 and %2 overlap").arg(src, place.dataFolder));
    if (clean(place.databasePath) != clean(QDir(place.dataFolder).filePath(DatabaseName)))
        return Result<QString>::fail(RestoreFailed,
                                     QStringLiteral("the database %1 lies outside the Data folder %2")
                                         .arg(place.databasePath, place.dataFolder));
    if (const Status whole = storageWhole(QDir(src).filePath(DatabaseName)); !whole)
        return Result<QString>::fail(NotABackup, whole.detail());

    // Leftovers of a restore that stopped part way are never deleted: one
    // may hold the archive that was in use. They are kept under dated names.
    const QStringList kept = keepRestoreLeftovers(place);

    QDir parent(QFileInfo(place.dataFolder).absolutePath());
    const QString staging = parent.filePath(restoreLeftoverPrefix(place) + QString::number(::getpid()));
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
    // A lock file that came with the backup is not part of the archive.
    plan->files.removeIf([](const FolderTreeCopy::Plan::File& f) { return f.relative == InstanceLock::FileName; });
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
        return failWith(Failure{{}, copied->failures.join(QLatin1Char('\n'))},
                        PrivateFolder::withCause(RestoreFailed, copied->failures.join(QLatin1Char('\n'))));
    if (!QFileInfo(QDir(staging).filePath(StoreName)).isDir())
        QDir().mkpath(QDir(staging).filePath(StoreName));
    const Status verified = verifyStaged(staging, dbCheck, progress);
    if (!verified)
        return failWith(verified.failure(), verified.message().isEmpty() ? RestoreFailed : verified.message());
    makePrivate(staging);
    syncFolder(staging);
    return Result<QString>(staging, kept.isEmpty() ? QString() : leftoversKeptText(kept));
}

Result<Swapped> swapIn(const ArchivePlace& place, const QString& prepared)
{
    // The prepared folder's lock is taken before it becomes the Data folder
    // and held from then on, so no other run finds the archive unlocked at
    // any moment of the swap; the caller's locks on the old Data go after.
    Swapped out;
    InstanceLock::Attempt lock = InstanceLock::acquire(QDir(prepared).filePath(InstanceLock::FileName));
    if (!lock.lock)
        return Result<Swapped>::fail(RestoreFailed, lock.detail);
    out.lock = lock.lock;
    if (!QFileInfo(place.dataFolder).exists()) {
        if (!QFile::rename(prepared, place.dataFolder))
            return Result<Swapped>::fail(RestoreFailed, QStringLiteral("cannot rename %1").arg(prepared));
        syncFolder(QFileInfo(place.dataFolder).absolutePath());
        return Result<Swapped>(out, RestoreDone);
    }
    const Status exchanged = FolderTreeCopy::exchange(prepared, place.dataFolder);
    if (!exchanged)
        return Result<Swapped>::fail(RestoreFailed, exchanged.detail());
    // The prepared name now holds the archive that was in use.
    syncFolder(QFileInfo(place.dataFolder).absolutePath());
    const QString kept = datedFolderBeside(place.dataFolder);
    out.kept = QFile::rename(prepared, kept) ? kept : prepared;
    syncFolder(QFileInfo(place.dataFolder).absolutePath());
    return Result<Swapped>(out,
                           RestoreDone + QStringLiteral("\n恢复前的数据保存在: ") + QDir::toNativeSeparators(out.kept));
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
    for (const QFileInfo& fi :
         lf.entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::Dirs | QDir::NoDotAndDotDot))
        removeTree(fi.absoluteFilePath());
    return Result<QString>(folder,
                           QStringLiteral("重建数据库完成! 重建前的数据已备份在: ") + QDir::toNativeSeparators(folder));
}

Result<Compacted> compact(DataStore& store, const std::function<bool()>& cancelled)
{
    Compacted c;
    c.before = QFileInfo(store.path()).size();
    if (const Status done = store.backend().compact(store, cancelled); !done)
        return done.cancelled() ? Result<Compacted>::cancel() : Result<Compacted>::fail(CompactFailed, done.detail());
    c.after = QFileInfo(store.path()).size();
    return Result<Compacted>(
        c, QStringLiteral("压缩优化数据库完成! 压缩前: %1, 压缩后: %2").arg(sizeText(c.before), sizeText(c.after)));
}

Restored finishRestore(const ArchivePlace& place, const QString& prepared, const Connections& connections)
{
    // Every connection goes before the exchange; the locks stay until the
    // new Data folder's own is held, and the old ones go with the reopen.
    if (connections.close)
        connections.close();
    Result<Swapped> swapped = swapIn(place, prepared);
    if (!swapped)
        QDir(prepared).removeRecursively();
    const bool reopened = connections.reopen ? connections.reopen(swapped ? swapped->lock : nullptr) : true;
    return Restored{std::move(swapped), reopened};
}

namespace {

// A copy's bars as a job's: the status is the job's item, the whole run's
// bytes its bar, and its cancel the copy's.
class JobCopyProgress final : public TreeCopyProgress {
public:
    explicit JobCopyProgress(JobContext& job) : m_job(job) {}
    void setStatus(const QString& text) override { m_job.setItem(text); }
    void setFile(qint64, qint64) override {}
    void setTotal(qint64 done, qint64 total) override
    {
        if (total != m_total) {
            m_total = total;
            m_job.setRange(0, total);
        }
        m_job.setValue(done);
    }
    bool cancelled() const override { return m_job.cancelled(); }

private:
    JobContext& m_job;
    qint64 m_total = -1;
};

}  // namespace

JobOf<qint64>::Body backupJob(ArchivePlace place, QString target)
{
    return [place = std::move(place), target = std::move(target)](JobContext& job) {
        JobCopyProgress progress(job);
        return backup(place, target, &progress);
    };
}

JobOf<QString>::Body prepareRestoreJob(ArchivePlace place, QString source)
{
    return [place = std::move(place), source = std::move(source)](JobContext& job) {
        JobCopyProgress progress(job);
        return prepareRestore(place, source, &progress);
    };
}

JobOf<QString>::Body rebuildJob(ArchivePlace place)
{
    const ArchiveLocation archive = place.archive;
    return StoreJob::body<QString>(archive, [place = std::move(place)](DataStore& store, JobContext& job) {
        JobCopyProgress progress(job);
        return rebuild(place, store, &progress);
    });
}

JobOf<Compacted>::Body compactJob(ArchiveLocation archive)
{
    return StoreJob::body<Compacted>(std::move(archive), [](DataStore& store, JobContext& job) {
        return compact(store, [&job] { return job.cancelled(); });
    });
}

}
