#include "settings/ArchiveWaste.h"

#include "archive/StoreFolder.h"
#include "platform/RealPath.h"
#include "store/DataStore.h"
#include "store/LogWriter.h"
#include "store/SizeText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace ArchiveWaste {

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// A real folder: not a link to one, and there.
bool isRealFolder(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

struct Candidate {
    QString path;
    bool quarantine = false;
};

// The folders that are waste now, each checked to be none of the places in use.
QList<Candidate> candidates(const ArchivePlace& place)
{
    QList<Candidate> out;
    // Never the Data folder (or a folder above it), the store folder, or a
    // folder that holds the database in use.
    auto holdsNothingInUse = [&](const QString& path) {
        return !RealPath::inside(place.dataFolder, path) && !RealPath::overlap(path, place.storeFolder)
            && !RealPath::inside(place.databasePath, path);
    };

    const QFileInfo data(place.dataFolder);
    const QString quarantine = StoreFolder(data.absolutePath(), place.storeFolder).quarantineFolder();
    if (isRealFolder(quarantine) && holdsNothingInUse(quarantine))
        out.append({quarantine, true});

    const QDir beside(data.absolutePath());
    const QStringList names =
        beside.entryList(QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        if (!isKeptCopyName(data.fileName(), name))
            continue;
        const QString path = beside.filePath(name);
        // A kept copy lies beside the Data folder, never inside it.
        if (isRealFolder(path) && holdsNothingInUse(path) && !RealPath::inside(path, place.dataFolder))
            out.append({path, false});
    }
    return out;
}

struct Tally {
    qint64 bytes = 0;
    qint64 files = 0;
    QStringList errors;
};

// Walks the folder open as `fd` (closed here) at `where`, adding up what it
// holds; with `removing`, removes each entry on the way (a folder after
// what it holds). A link is counted and removed as itself, never followed;
// a folder on another file system than `device` is never entered.
void walk(int fd, const QString& where, dev_t device, bool removing, Tally& t)
{
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        t.errors << QStringLiteral("%1: %2").arg(where, systemError());
        ::close(fd);
        return;
    }
    // The names first: the folder is not changed while it is read.
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names.emplace_back(e->d_name);
        errno = 0;
    }
    if (errno != 0)
        t.errors << QStringLiteral("%1: %2").arg(where, systemError());
    const int at = ::dirfd(dir);
    for (const std::string& name : names) {
        const QString path = where + QLatin1Char('/') + QFile::decodeName(name.c_str());
        struct stat st;
        if (::fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT)
                t.errors << QStringLiteral("%1: %2").arg(path, systemError());
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            if (st.st_dev != device) {
                t.errors << QStringLiteral("%1: another file system, left alone").arg(path);
                continue;
            }
            const int sub = ::openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub < 0) {
                t.errors << QStringLiteral("%1: %2").arg(path, systemError());
                continue;
            }
            // A folder of ours that takes no removal (no write bit) is opened up.
            if (removing && st.st_uid == ::geteuid() && (st.st_mode & 0700) != 0700)
                ::fchmod(sub, (st.st_mode & 07777) | 0700);
            walk(sub, path, device, removing, t);
            if (removing && ::unlinkat(at, name.c_str(), AT_REMOVEDIR) != 0)
                t.errors << QStringLiteral("%1: %2").arg(path, systemError());
            continue;
        }
        if (removing && ::unlinkat(at, name.c_str(), 0) != 0) {
            t.errors << QStringLiteral("%1: %2").arg(path, systemError());
            continue;
        }
        t.bytes += qint64(st.st_size);
        ++t.files;
    }
    ::closedir(dir);
}

// Measures (or removes) the folder at `path`, which must be a real folder.
Tally walkFolder(const QString& path, bool removing)
{
    Tally t;
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        t.errors << QStringLiteral("%1: %2").arg(path, systemError());
        return t;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        t.errors << QStringLiteral("%1: %2").arg(path, systemError());
        ::close(fd);
        return t;
    }
    walk(fd, path, st.st_dev, removing, t);
    // rmdir never removes a link: one put in the folder's place stays.
    if (removing && t.errors.isEmpty() && ::rmdir(name.constData()) != 0)
        t.errors << QStringLiteral("%1: %2").arg(path, systemError());
    return t;
}

}  // namespace

bool isKeptCopyName(const QString& dataName, const QString& name)
{
    static const QString dated = QStringLiteral("-[0-9]{8}-[0-9]{6}(-[0-9]+)?");
    const QRegularExpression re(QLatin1Char('^') + QRegularExpression::escape(dataName) + dated + QLatin1Char('$'));
    return !dataName.isEmpty() && re.match(name).hasMatch();
}

Result<Waste> measure(const ArchivePlace& place)
{
    Waste waste;
    QStringList errors;
    for (const Candidate& c : candidates(place)) {
        const Tally t = walkFolder(c.path, false);
        errors << t.errors;
        waste.folders.append(Folder{c.path, c.quarantine, t.bytes, t.files});
        waste.bytes += t.bytes;
        waste.files += t.files;
    }
    if (!errors.isEmpty())
        return Result<Waste>::fail(MeasureFailed, errors.join(QLatin1Char('\n')));
    return waste;
}

Result<Waste> remove(const ArchivePlace& place, DataStore& store, const CurrentOperator& op)
{
    Waste removed;
    QStringList errors;
    QStringList logged;
    for (const Candidate& c : candidates(place)) {
        const Tally t = walkFolder(c.path, true);
        errors << t.errors;
        const bool gone = !QFileInfo::exists(c.path) && !QFileInfo(c.path).isSymLink();
        if (!gone && t.files == 0)
            continue;
        removed.folders.append(Folder{c.path, c.quarantine, t.bytes, t.files});
        removed.bytes += t.bytes;
        removed.files += t.files;
        logged << QStringLiteral("%1（%2 个文件，%3%4）")
                      .arg(QDir::toNativeSeparators(c.path))
                      .arg(t.files)
                      .arg(spaceText(t.bytes), gone ? QString() : QStringLiteral("，未删完"));
    }
    // A log line that cannot be written is said with what was removed.
    QString notLogged;
    if (!logged.isEmpty() && store.isOpen()
        && !LogWriter(store, op).write(LogPrefix + logged.join(QStringLiteral("，"))))
        notLogged = QLatin1Char('\n') + LogWriter::FailureMessage;
    if (!errors.isEmpty())
        return Result<Waste>::fail(RemoveFailed + notLogged, errors.join(QLatin1Char('\n')));
    if (removed.isEmpty())
        return Result<Waste>(removed, Nothing);
    return Result<Waste>(removed, Removed.arg(spaceText(removed.bytes)) + notLogged);
}

QString spaceText(qint64 bytes)
{
    constexpr qint64 GB = qint64(1024) * 1024 * 1024;
    if (bytes < GB)
        return sizeText(bytes);
    const qint64 hundredths = bytes / GB * 100 + bytes % GB * 100 / GB;
    return QStringLiteral("%1.%2GB").arg(hundredths / 100).arg(hundredths % 100, 2, 10, QLatin1Char('0'));
}

}
