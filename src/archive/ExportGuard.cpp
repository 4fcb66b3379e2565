#include "archive/ExportGuard.h"

#include "archive/ArchiveCheck.h"
#include "platform/RealPath.h"
#include "store/DataStore.h"
#include "store/RecordContent.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString absolute(const QString& path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

QStringList archiveFolders(const QString& databasePath, const QString& storeFolder, const QString& quarantine)
{
    QStringList folders;
    auto add = [&](const QString& f) {
        if (!f.isEmpty() && !folders.contains(f))
            folders << f;
    };
    // An archive without a database file of its own (none open) has no Data
    // folder to guard: the current folder is not it.
    if (!databasePath.trimmed().isEmpty())
        add(QFileInfo(absolute(databasePath)).absolutePath());
    add(QFileInfo(storeFolder).absolutePath());
    add(storeFolder);
    add(quarantine);
    return folders;
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// What a checked copy came to.
ExportedContent::Copied copiedAs(const FileCopy::Result& r)
{
    using Kind = ExportedContent::Copied::Kind;
    ExportedContent::Copied c;
    c.bytes = r.bytes;
    c.detail = r.error;
    c.kind = r.ok                                ? Kind::Written
        : r.cancelled                            ? Kind::Cancelled
        : r.mismatch != FileCopy::Mismatch::None ? Kind::Damaged
                                                 : Kind::Failed;
    if (r.mismatch != FileCopy::Mismatch::None)
        c.damage = r.mismatch == FileCopy::Mismatch::Size ? ArchiveCheck::SizeDiffers : ArchiveCheck::ContentDamaged;
    return c;
}

}  // namespace

// ------------------------------------------------------------------ places

// An archive that is not a file on this machine has no Data folder holding
// its database to guard; its store folder is guarded all the same.
ExportGuard::ExportGuard(const ArchiveLocation& archive, const StoreFolder& folder)
    : m_folders(archiveFolders(archive.filePath(), folder.folder(), folder.quarantineFolder()))
{
}

ExportGuard::ExportGuard(const DataStore& store, const StoreFolder& folder) : ExportGuard(store.location(), folder) {}

Status ExportGuard::checkFolder(const QString& target) const
{
    if (const QString hit = RealPath::firstOverlap(target, m_folders); !hit.isEmpty())
        return Status::fail(FolderRefused, QStringLiteral("%1 overlaps the archive's folder %2").arg(target, hit));
    return {};
}

Status ExportGuard::checkFile(const QString& target) const
{
    if (reaches(target))
        return Status::fail(FileRefused, QStringLiteral("%1 lies inside the archive's folders").arg(target));
    return {};
}

bool ExportGuard::reaches(const QString& path) const
{
    for (const QString& f : m_folders)
        if (RealPath::inside(path, f))
            return true;
    return false;
}

// ----------------------------------------------------------------- content

ExportedContent::ExportedContent(DataStore& store, StoreFolder folder) : m_store(store), m_folder(std::move(folder)) {}

ExportedContent::~ExportedContent()
{
    if (m_folderHandle >= 0)
        ::close(m_folderHandle);
}

QString ExportedContent::damagedText(const QString& details, const QString& damage)
{
    return DamagedPrefix + details + QStringLiteral("（") + damage + QStringLiteral("）");
}

ExportedContent::Copied ExportedContent::copy(const Source& source, const QString& target, FileCopy::Replace replace,
                                              Progress* progress, FileCopy::Sync sync)
{
    if (!source.keptPath.trimmed().isEmpty())
        return copyKept(source, target, replace, progress, sync);

    Copied c;
    const Result<QByteArray> bytes = RecordContent::read(m_store, source.id);
    if (!bytes) {
        // No content at all is damage; a database that cannot be read is not.
        const Result<bool> holds = RecordContent::holds(m_store, source.id);
        if (holds && !holds.value()) {
            c.kind = Copied::Kind::Damaged;
            c.damage = ArchiveCheck::ContentMissing;
        }
        c.detail = bytes.detail();
        return c;
    }
    if (bytes->size() != source.size) {
        c.kind = Copied::Kind::Damaged;
        c.damage = ArchiveCheck::SizeDiffers;
        c.detail = QStringLiteral("%1 bytes held, %2 recorded").arg(bytes->size()).arg(source.size);
        return c;
    }
    return copiedAs(FileCopy::write(bytes.value(), target, replace, progress, nullptr, sync,
                                    FileCopy::Expect{source.size, source.sha256}));
}

ExportedContent::Copied ExportedContent::copyKept(const Source& source, const QString& target,
                                                  FileCopy::Replace replace, Progress* progress, FileCopy::Sync sync)
{
    Copied c;
    auto damaged = [&](const QString& damage, const QString& detail) {
        c.kind = Copied::Kind::Damaged;
        c.damage = damage;
        c.detail = detail;
        return c;
    };
    // Only a file of the store folder itself, by its name there.
    const QString path = m_folder.resolve(source.keptPath);
    const QFileInfo fi(path);
    const QString name = fi.fileName();
    if (QDir::cleanPath(fi.absolutePath()) != m_folder.folder() || name.isEmpty() || name == QLatin1String("..")
        || name == QLatin1String("."))
        return damaged(KeptFileOutside, QStringLiteral("%1 is not in %2").arg(path, m_folder.folder()));

    if (m_folderHandle < 0) {
        // The store folder itself may be a link (to another disk): it is
        // taken as it is, what lies in it is not followed.
        m_folderHandle = ::open(QFile::encodeName(m_folder.folder()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (m_folderHandle < 0) {
            if (errno == ENOENT)
                return damaged(ArchiveCheck::KeptFileMissing,
                               QStringLiteral("no store folder %1").arg(m_folder.folder()));
            c.detail = QStringLiteral("cannot open %1: %2").arg(m_folder.folder(), systemError());
            return c;
        }
    }
    // Not through a link, and without waiting for a writer on a pipe.
    const int fd = ::openat(m_folderHandle, QFile::encodeName(name).constData(),
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        const QString why = QStringLiteral("%1: %2").arg(path, systemError());
        if (error == ELOOP)
            return damaged(KeptFileIsLink, why);
        if (error == ENOENT)
            return damaged(ArchiveCheck::KeptFileMissing, why);
        return damaged(ArchiveCheck::KeptFileUnreadable, why);
    }
    QFile in;
    if (!in.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return damaged(ArchiveCheck::KeptFileUnreadable, QStringLiteral("%1: %2").arg(path, in.errorString()));
    }
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return damaged(ArchiveCheck::KeptFileUnreadable, QStringLiteral("%1: %2").arg(path, systemError()));
    if (!S_ISREG(st.st_mode))
        return damaged(KeptFileNotRegular, QStringLiteral("%1 is not a regular file").arg(path));
    if (st.st_size != source.size)
        return damaged(
            ArchiveCheck::SizeDiffers,
            QStringLiteral("%1 holds %2 bytes, %3 recorded").arg(path).arg(qint64(st.st_size)).arg(source.size));
    // A regular file: reads block as they should.
    if (const int flags = ::fcntl(fd, F_GETFL); flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
        return damaged(ArchiveCheck::KeptFileUnreadable, QStringLiteral("%1: %2").arg(path, systemError()));

    return copiedAs(
        FileCopy::copyOpen(in, target, replace, progress, nullptr, sync, FileCopy::Expect{source.size, source.sha256}));
}
