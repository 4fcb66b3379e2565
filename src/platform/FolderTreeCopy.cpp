#include "platform/FolderTreeCopy.h"

#include "platform/Progress.h"
#include "platform/Sha256.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace FolderTreeCopy {

namespace {

// Hands one file's chunks on to the tree's progress: the file's bar and the
// whole run's bar.
class FileBars final : public Progress {
public:
    FileBars(TreeCopyProgress* tree, qint64 before, qint64 total) : m_tree(tree), m_before(before), m_total(total) {}
    void setRange(qint64, qint64 maximum) override { m_size = maximum; }
    void setValue(qint64 value) override
    {
        if (!m_tree)
            return;
        m_tree->setFile(value, m_size);
        m_tree->setTotal(m_before + value, m_total);
    }
    bool cancelled() const override { return m_tree && m_tree->cancelled(); }

private:
    TreeCopyProgress* m_tree;
    qint64 m_before;
    qint64 m_total;
    qint64 m_size = 0;
};

// Copies one file to a temporary name beside target and renames it when
// complete, so target is never a half file. No sync here: run() syncs the
// target's file system once at its end, which lets the kernel write the
// files back together instead of one after the other.
}  // namespace

namespace {

QString errnoText(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// Writes all n bytes, going on after a short write; the cause of a failure
// is the errno of the write that failed (a short write sets none).
bool writeAll(int fd, const char* data, qint64 n, int* why)
{
    while (n > 0) {
        const ssize_t w = ::write(fd, data, size_t(n));
        if (w < 0) {
            if (errno == EINTR)
                continue;
            *why = errno;
            return false;
        }
        if (w == 0) {
            *why = ENOSPC;
            return false;
        }
        data += w;
        n -= w;
    }
    return true;
}

}  // namespace

FileCopy::Result copyFile(const QString& source, const QString& target, FileCopy::Replace replace, Progress* progress,
                          Sha256* digest)
{
    FileCopy::Result r;
    const QFileInfo targetInfo(target);
    if (replace == FileCopy::Replace::Never && (targetInfo.exists() || targetInfo.isSymLink())) {
        r.error = QStringLiteral("%1 exists").arg(target);
        return r;
    }
    // No link is followed and nothing but a regular file is read: a pipe
    // put in the way would otherwise hold the copy for ever.
    const int in = ::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (in < 0) {
        r.error = QStringLiteral("cannot open %1: %2").arg(source, errnoText(errno));
        return r;
    }
    struct stat st;
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        r.error = QStringLiteral("%1 is not a regular file").arg(source);
        ::close(in);
        return r;
    }
    const int flags = ::fcntl(in, F_GETFL);
    // Blocking reads only spare a retry loop; a file that stays non-blocking
    // reads the same bytes through the EAGAIN handling, so a refusal is left.
    if (flags >= 0)
        (void)!::fcntl(in, F_SETFL, flags & ~O_NONBLOCK);
    const QString temp = FileCopy::temporaryNameFor(target);
    const QByteArray tempName = QFile::encodeName(temp);
    const int out = ::open(tempName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        r.error = QStringLiteral("cannot create %1: %2").arg(temp, errnoText(errno));
        ::close(in);
        return r;
    }
    auto abandon = [&](const QString& why, bool cancelled) {
        ::close(in);
        ::close(out);
        ::unlink(tempName.constData());
        r.ok = false;
        r.cancelled = cancelled;
        r.error = why;
        return r;
    };
    const qint64 size = st.st_size;
    if (progress) {
        progress->setRange(0, size);
        progress->setValue(0);
    }
    // The kernel copies unless the bytes must pass by for the digest, or
    // it cannot copy between the two.
    bool kernelCopy = digest == nullptr;
    static thread_local QByteArray buffer(int(FileCopy::ChunkSize), Qt::Uninitialized);
    for (;;) {
        if (progress && progress->cancelled())
            return abandon(QStringLiteral("cancelled"), true);
        ssize_t n = -1;
        if (kernelCopy) {
            n = ::copy_file_range(in, nullptr, out, nullptr, size_t(4 * FileCopy::ChunkSize), 0);
            if (n < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
                kernelCopy = false;
                continue;
            }
            if (n < 0)
                return abandon(errnoText(errno), false);
        } else {
            n = ::read(in, buffer.data(), size_t(buffer.size()));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return abandon(errnoText(errno), false);
            }
            int why = 0;
            if (n > 0 && !writeAll(out, buffer.constData(), n, &why))
                return abandon(errnoText(why), false);
            if (n > 0 && digest)
                digest->add(buffer.constData(), n);
        }
        if (n == 0)
            break;
        r.bytes += n;
        if (progress)
            progress->setValue(r.bytes);
    }
    ::close(in);
    if (::close(out) != 0) {
        const int why = errno;
        ::unlink(tempName.constData());
        r.error = errnoText(why);
        return r;
    }
    if (::rename(tempName.constData(), QFile::encodeName(target).constData()) != 0) {
        r.error = errnoText(errno);
        ::unlink(tempName.constData());
        return r;
    }
    r.ok = true;
    return r;
}

QString doneText(int copied, int failed)
{
    return QStringLiteral("全部完成...%1    失败:%2个").arg(copied).arg(failed);
}

Result<Plan> plan(const QString& source, TreeCopyProgress* progress)
{
    if (progress)
        progress->setStatus(CountingText);
    const QFileInfo root(source);
    if (!root.isDir())
        return Result<Plan>::fail(QString(), QStringLiteral("%1 is not a folder").arg(source));
    Plan p;
    p.source = root.absoluteFilePath();
    const QDir base(p.source);
    QDirIterator it(p.source, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    int seen = 0;
    while (it.hasNext()) {
        it.next();
        const QFileInfo fi = it.fileInfo();
        if (fi.isSymLink())
            continue;
        const QString relative = base.relativeFilePath(fi.absoluteFilePath());
        if (fi.isDir()) {
            p.folders << relative;
        } else if (fi.isFile() && !FileCopy::isTemporaryName(fi.fileName())) {
            p.files.append({relative, fi.size()});
            p.bytes += fi.size();
        }
        if (progress && ++seen % 256 == 0 && progress->cancelled())
            return Result<Plan>::cancel();
    }
    // Parents before their children.
    std::sort(p.folders.begin(), p.folders.end(),
              [](const QString& a, const QString& b) { return a.count(QLatin1Char('/')) < b.count(QLatin1Char('/')); });
    return p;
}

Result<Outcome> run(const Plan& plan, const QString& target, TreeCopyProgress* progress, FileCopy::Replace replace,
                    qint64 totalBefore, qint64 totalBytes, const std::function<void(const QString&)>& fileCopied,
                    const ContentCheck& check)
{
    const qint64 total = totalBytes < 0 ? totalBefore + plan.bytes : totalBytes;
    if (progress)
        progress->setStatus(CreatingText);
    QDir to(target);
    if (!to.mkpath(QStringLiteral(".")))
        return Result<Outcome>::fail(QString(), QStringLiteral("cannot create %1").arg(target));
    for (const QString& folder : plan.folders) {
        if (!to.mkpath(folder))
            return Result<Outcome>::fail(QString(), QStringLiteral("cannot create %1").arg(to.filePath(folder)));
    }
    if (progress) {
        progress->setStatus(CopyingText);
        progress->setTotal(totalBefore, total);
    }
    Outcome out;
    qint64 done = totalBefore;
    for (const Plan::File& f : plan.files) {
        if (progress && progress->cancelled())
            return Result<Outcome>::cancel();
        FileBars bars(progress, done, total);
        Sha256 digest;
        FileCopy::Result r = copyFile(QDir(plan.source).filePath(f.relative), to.filePath(f.relative), replace, &bars,
                                      check ? &digest : nullptr);
        if (r.cancelled)
            return Result<Outcome>::cancel();
        if (r.ok && check) {
            if (const QString why = check(f.relative, r.bytes, digest.hex()); !why.isEmpty()) {
                r.ok = false;
                r.error = why;
            }
        }
        if (r.ok) {
            ++out.copied;
            out.bytes += r.bytes;
        } else {
            ++out.failed;
            out.failures << f.relative + QStringLiteral(": ") + r.error;
        }
        done += f.size;
        if (progress)
            progress->setTotal(done, total);
        if (fileCopied && r.ok)
            fileCopied(f.relative);
    }
    // Everything copied is on disk before the copy reports success.
    const int fd = ::open(QFile::encodeName(target).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool synced = fd >= 0 && ::syncfs(fd) == 0 && ::fsync(fd) == 0;
    if (fd >= 0)
        ::close(fd);
    if (!synced)
        return Result<Outcome>::fail(QString(), QStringLiteral("cannot sync %1").arg(target));
    return out;
}

Result<Outcome> copy(const QString& source, const QString& target, TreeCopyProgress* progress,
                     FileCopy::Replace replace)
{
    Result<Plan> p = plan(source, progress);
    if (!p)
        return p.failure();
    Result<Outcome> r = run(*p, target, progress, replace);
    if (r && progress)
        progress->setStatus(doneText(r->copied, r->failed));
    return r;
}

Status exchange(const QString& a, const QString& b)
{
    const QByteArray pa = QFile::encodeName(QFileInfo(a).absoluteFilePath());
    const QByteArray pb = QFile::encodeName(QFileInfo(b).absoluteFilePath());
#ifdef SYS_renameat2
    constexpr unsigned exchangeFlag = 2;  // RENAME_EXCHANGE
    if (::syscall(SYS_renameat2, AT_FDCWD, pa.constData(), AT_FDCWD, pb.constData(), exchangeFlag) == 0)
        return {};
    if (errno != EINVAL && errno != ENOSYS)
        return Status::fail(
            QString(),
            QStringLiteral("cannot exchange %1 and %2: %3").arg(a, b, QString::fromLocal8Bit(std::strerror(errno))));
#endif
    // Three renames through a name beside a.
    const QByteArray aside = pa + ".exchange";
    if (::rename(pa.constData(), aside.constData()) != 0)
        return Status::fail(
            QString(), QStringLiteral("cannot rename %1: %2").arg(a, QString::fromLocal8Bit(std::strerror(errno))));
    if (::rename(pb.constData(), pa.constData()) != 0) {
        QString why = QString::fromLocal8Bit(std::strerror(errno));
        // Put a back; should that fail too, the failure says where it is.
        if (::rename(aside.constData(), pa.constData()) != 0)
            why += QStringLiteral("; %1 is left as %2: %3")
                       .arg(a, QFile::decodeName(aside), QString::fromLocal8Bit(std::strerror(errno)));
        return Status::fail(QString(), QStringLiteral("cannot rename %1: %2").arg(b, why));
    }
    if (::rename(aside.constData(), pb.constData()) != 0)
        return Status::fail(
            QString(), QStringLiteral("cannot rename %1: %2").arg(a, QString::fromLocal8Bit(std::strerror(errno))));
    return {};
}

}
