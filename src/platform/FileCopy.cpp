#include "platform/FileCopy.h"

#include "platform/Job.h"
#include "platform/Progress.h"
#include "platform/Sha256.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileCopy {

namespace {

const QString kTempPrefix = QStringLiteral(".kvpart-");
const QString kTempSuffix = QStringLiteral(".part");

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool syncFolder(const QString& folder)
{
    const QByteArray path = QFile::encodeName(folder);
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// Moves the finished temporary file into place.
bool publish(const QString& temp, const QString& target, Replace replace, QString* error)
{
    const QByteArray from = QFile::encodeName(temp);
    const QByteArray to = QFile::encodeName(target);
    if (replace == Replace::Allowed) {
        if (std::rename(from.constData(), to.constData()) != 0) {
            *error = QStringLiteral("rename to %1: %2").arg(target, systemError());
            return false;
        }
        return true;
    }
    // Never replace: a hard link fails when the target exists, so an existing
    // file can never be overwritten, even by a racing writer.
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return true;
    }
    if (errno == EEXIST) {
        *error = QStringLiteral("%1 exists").arg(target);
        return false;
    }
    // File systems without hard links: check, then rename.
    struct stat st;
    if (::lstat(to.constData(), &st) == 0) {
        *error = QStringLiteral("%1 exists").arg(target);
        return false;
    }
    if (std::rename(from.constData(), to.constData()) != 0) {
        *error = QStringLiteral("rename to %1: %2").arg(target, systemError());
        return false;
    }
    return true;
}

}  // namespace

QString temporaryNameFor(const QString& target)
{
    // Never longer than ".kvpart-" + 10 + ".part": a target whose own name is
    // as long as the file system allows still gets a temporary name.
    const QFileInfo fi(target);
    const QString tag = QString::number(QRandomGenerator::global()->generate64() & 0xffffffffffffull, 36);
    return fi.absolutePath() + QLatin1Char('/') + kTempPrefix + tag + kTempSuffix;
}

void prefetch(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return;
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_WILLNEED);
    ::close(fd);
}

bool isTemporaryName(const QString& fileName)
{
    return fileName.startsWith(kTempPrefix) && fileName.endsWith(kTempSuffix);
}

namespace {

// One step of a copy: writes the next piece into `out` and returns its
// size, 0 at the end, or -1 on failure (with *error set).
using Step = std::function<qint64(QFile& out, QString* error)>;

// digest: the one the steps feed, read for expect's hash (null when it names none).
Result writeThroughTemp(const QString& target, Replace replace, Progress* progress, qint64 expectedSize,
                        const Step& step, Sync sync, const Expect& expect, Sha256* digest)
{
    Result r;
    if (target.isEmpty()) {
        r.error = QStringLiteral("no target");
        return r;
    }
    const QFileInfo targetInfo(target);
    if (replace == Replace::Never && (targetInfo.exists() || targetInfo.isSymLink())) {
        r.error = QStringLiteral("%1 exists").arg(target);
        return r;
    }
    if (targetInfo.isDir()) {
        r.error = QStringLiteral("%1 is a folder").arg(target);
        return r;
    }

    const QString temp = temporaryNameFor(target);
    QFile out(temp);
    // Opened for reading too: a digest may read back what was written.
    if (!out.open(QIODevice::ReadWrite | QIODevice::NewOnly | QIODevice::Unbuffered)) {
        r.error = QStringLiteral("cannot create %1: %2").arg(temp, out.errorString());
        return r;
    }
    auto abandon = [&](const QString& why, bool cancelled) {
        out.close();
        QFile::remove(temp);
        r.ok = false;
        r.cancelled = cancelled;
        r.error = why;
        return r;
    };
    auto mismatched = [&](Mismatch what, const QString& why) {
        r = abandon(why, false);
        r.mismatch = what;
        return r;
    };

    if (progress) {
        progress->setRange(0, expectedSize >= 0 ? expectedSize : 0);
        progress->setValue(0);
    }
    for (;;) {
        if (progress && progress->cancelled())
            return abandon(QStringLiteral("cancelled"), true);
        QString why;
        const qint64 n = step(out, &why);
        if (n < 0)
            return abandon(why, false);
        if (n == 0)
            break;
        // A copy that is synced at the end starts writing each chunk back at
        // once, so the disk writes while the next chunk is read.
        if (sync == Sync::Each)
            ::sync_file_range(out.handle(), r.bytes, n, SYNC_FILE_RANGE_WRITE);
        r.bytes += n;
        if (expect.size >= 0 && r.bytes > expect.size)
            return mismatched(Mismatch::Size, QStringLiteral("more than the %1 bytes expected").arg(expect.size));
        if (progress)
            progress->setValue(r.bytes);
    }
    if (progress && progress->cancelled())
        return abandon(QStringLiteral("cancelled"), true);
    if (expect.size >= 0 && r.bytes != expect.size)
        return mismatched(Mismatch::Size,
                          QStringLiteral("%1 bytes instead of the %2 expected").arg(r.bytes).arg(expect.size));
    if (!expect.sha256.isEmpty() && (!digest || digest->hex().compare(expect.sha256, Qt::CaseInsensitive) != 0))
        return mismatched(Mismatch::Hash, QStringLiteral("SHA-256 differs from the one expected"));
    if (!out.flush())
        return abandon(QStringLiteral("flush failed: %1").arg(out.errorString()), false);
    if (sync == Sync::Each && ::fsync(out.handle()) != 0)
        return abandon(QStringLiteral("sync failed: %1").arg(systemError()), false);
    out.close();
    if (out.error() != QFileDevice::NoError)
        return abandon(QStringLiteral("close failed: %1").arg(out.errorString()), false);

    QString error;
    if (!publish(temp, target, replace, &error)) {
        QFile::remove(temp);
        r.error = error;
        return r;
    }
    if (sync == Sync::Each)
        syncFolder(targetInfo.absolutePath());
    r.ok = true;
    return r;
}

// Reads `in` through one reusable chunk buffer, feeding digest on the way.
Step deviceStep(QIODevice& in, std::shared_ptr<QByteArray> chunk, Sha256* digest)
{
    return [&in, chunk, digest](QFile& out, QString* error) -> qint64 {
        if (chunk->isEmpty())
            chunk->resize(ChunkSize);
        const qint64 n = in.read(chunk->data(), ChunkSize);
        if (n < 0) {
            *error = QStringLiteral("read failed: %1").arg(in.errorString());
            return -1;
        }
        if (digest)
            digest->add(chunk->constData(), n);
        qint64 done = 0;
        while (done < n) {
            const qint64 w = out.write(chunk->constData() + done, n - done);
            if (w <= 0) {
                *error = QStringLiteral("write failed: %1").arg(out.errorString());
                return -1;
            }
            done += w;
        }
        return n;
    };
}

// Hashes what the kernel copy wrote, read back from the target by a job of
// its own while the copy goes on: the digest is that of the bytes stored
// (the target is a private temporary file nobody else writes), the pages are
// still in memory, and the copy does not wait for the hash. The job is part
// of the copy, no long run of the program by itself.
class TargetHasher {
public:
    explicit TargetHasher(Sha256* digest) : m_digest(digest) {}
    ~TargetHasher() { finish(nullptr); }
    TargetHasher(const TargetHasher&) = delete;
    TargetHasher& operator=(const TargetHasher&) = delete;

    // The target's next n bytes are written.
    bool written(int targetFd, qint64 n, QString* error)
    {
        if (!m_job) {
            m_fd = ::dup(targetFd);
            if (m_fd < 0) {
                *error = QStringLiteral("hash: %1").arg(systemError());
                return false;
            }
            m_job = std::make_unique<JobOf<>>(QStringLiteral("hash"), [this](JobContext&) {
                run();
                return Status();
            });
            m_job->setLongRun(false);
            m_job->start();
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pending += n;
        m_wake.notify_one();
        return true;
    }

    // Waits until everything written is hashed; false when a read failed.
    bool finish(QString* error)
    {
        if (m_job) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_closing = true;
                m_wake.notify_one();
            }
            // Waits for the body, which ends once everything is hashed.
            m_job.reset();
            ::close(m_fd);
            m_fd = -1;
        }
        if (!m_ok && error)
            *error = QStringLiteral("hash read failed: %1").arg(m_error);
        return m_ok;
    }

private:
    void run()
    {
        QByteArray chunk(int(ChunkSize), Qt::Uninitialized);
        qint64 offset = 0;
        for (;;) {
            qint64 take = 0;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_wake.wait(lock, [this] { return m_pending > 0 || m_closing; });
                take = m_pending;
                m_pending = 0;
                if (take == 0)
                    return;  // closing, everything hashed
            }
            while (take > 0) {
                const ssize_t n = ::pread(m_fd, chunk.data(), size_t(qMin<qint64>(take, ChunkSize)), offset);
                if (n <= 0) {
                    m_ok = false;
                    m_error = n < 0 ? systemError() : QStringLiteral("short file");
                    std::lock_guard<std::mutex> lock(m_mutex);
                    m_closing = true;
                    return;
                }
                m_digest->add(chunk.constData(), n);
                offset += n;
                take -= n;
            }
        }
    }

    Sha256* m_digest;
    int m_fd = -1;
    std::unique_ptr<JobOf<>> m_job;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    qint64 m_pending = 0;
    bool m_closing = false;
    bool m_ok = true;  // written by the thread only before it ends
    QString m_error;
};

}  // namespace

namespace {

// The digest the steps feed: the caller's, or one of the copy's own when
// only the check needs it.
Sha256* digestFor(Sha256* given, const Expect& expect, std::unique_ptr<Sha256>& own)
{
    if (given || expect.sha256.isEmpty())
        return given;
    own = std::make_unique<Sha256>();
    return own.get();
}

}  // namespace

Result copyFrom(QIODevice& in, const QString& target, Replace replace, Progress* progress, qint64 expectedSize,
                Sha256* digest, Sync sync, const Expect& expect)
{
    if (!in.isOpen() || !in.isReadable()) {
        Result r;
        r.error = QStringLiteral("source not readable");
        return r;
    }
    std::unique_ptr<Sha256> own;
    digest = digestFor(digest, expect, own);
    return writeThroughTemp(target, replace, progress, expectedSize,
                            deviceStep(in, std::make_shared<QByteArray>(), digest), sync, expect, digest);
}

Result copy(const QString& source, const QString& target, Replace replace, Progress* progress, Sha256* digest,
            Sync sync, const Expect& expect)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        Result r;
        r.error = QStringLiteral("cannot open %1: %2").arg(source, in.errorString());
        return r;
    }
    if (QFileInfo::exists(target) && QFileInfo(source).canonicalFilePath() == QFileInfo(target).canonicalFilePath()) {
        Result r;
        r.error = QStringLiteral("source and target are the same file");
        return r;
    }
    return copyOpen(in, target, replace, progress, digest, sync, expect);
}

Result copyOpen(QFile& in, const QString& target, Replace replace, Progress* progress, Sha256* digest, Sync sync,
                const Expect& expect)
{
    if (!in.isOpen() || !in.isReadable() || in.handle() < 0) {
        Result r;
        r.error = QStringLiteral("source not readable");
        return r;
    }
    std::unique_ptr<Sha256> own;
    digest = digestFor(digest, expect, own);
    // File to file: the kernel copies each chunk (copy_file_range), so the
    // bytes never pass through this process; a digest is taken from the
    // target as it is written. Where the kernel copy is not supported, the
    // copy goes through a chunk buffer that feeds the digest itself.
    bool kernelCopy = true;
    TargetHasher hasher(digest);
    Step buffered = deviceStep(in, std::make_shared<QByteArray>(), digest);
    Step step = [&](QFile& out, QString* error) -> qint64 {
        if (kernelCopy) {
            const ssize_t n = ::copy_file_range(in.handle(), nullptr, out.handle(), nullptr, size_t(ChunkSize), 0);
            if (n > 0)
                return digest && !hasher.written(out.handle(), n, error) ? -1 : n;
            if (n == 0)
                return digest && !hasher.finish(error) ? -1 : 0;
            if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP && errno != EBADF) {
                *error = QStringLiteral("copy failed: %1").arg(systemError());
                return -1;
            }
            // Unsupported here: the file positions are where the last
            // successful chunk left them, so the buffered copy continues
            // (after the bytes copied so far are hashed, in order).
            kernelCopy = false;
            if (digest && !hasher.finish(error))
                return -1;
        }
        return buffered(out, error);
    };
    return writeThroughTemp(target, replace, progress, in.size(), step, sync, expect, digest);
}

Status move(const QString& from, const QString& to, Replace replace)
{
    QString why;
    if (!publish(from, to, replace, &why))
        return Status::fail(QString(), why);
    syncFolder(QFileInfo(to).absolutePath());
    return {};
}

Result write(const QByteArray& bytes, const QString& target, Replace replace, Progress* progress, Sha256* digest,
             Sync sync, const Expect& expect)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return copyFrom(buffer, target, replace, progress, bytes.size(), digest, sync, expect);
}

}
