#include "platform/InstanceLock.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

InstanceLock::~InstanceLock()
{
    if (m_fd >= 0)
        ::close(m_fd);  // releases the lock
}

InstanceLock::Attempt InstanceLock::acquire(const QString& path)
{
    Attempt a;
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        a.detail = QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return a;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int why = errno;
        a.held = why == EWOULDBLOCK;
        QByteArray holder(32, '\0');
        const ssize_t n = ::pread(fd, holder.data(), holder.size() - 1, 0);
        ::close(fd);
        a.detail = a.held ? QStringLiteral("%1 is held by process %2")
                                .arg(path, QString::fromLatin1(holder.left(qMax<ssize_t>(n, 0)).trimmed()))
                          : QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(why)));
        return a;
    }
    // For the curious: which process holds it. The lock is the flock, not
    // the text, so a pid that cannot be written costs nothing but the hint.
    const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
    if (::ftruncate(fd, 0) == 0)
        (void)!::pwrite(fd, pid.constData(), size_t(pid.size()), 0);
    a.lock = std::shared_ptr<InstanceLock>(new InstanceLock(path, fd));
    return a;
}
