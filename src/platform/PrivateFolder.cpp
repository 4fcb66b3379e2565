#include "platform/PrivateFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace PrivateFolder {

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

const QString kRefused = QStringLiteral("创建目录失败!");

}  // namespace

Status narrow(const QString& path)
{
    const QByteArray p = QFile::encodeName(path);
    struct stat st;
    if (::lstat(p.constData(), &st) != 0)
        return Status::fail(kRefused, QStringLiteral("%1: %2").arg(path, systemError()));
    if (S_ISLNK(st.st_mode) || !S_ISDIR(st.st_mode))
        return Status::fail(kRefused, QStringLiteral("%1 is not a folder").arg(path));
    if (st.st_uid != ::geteuid())
        return Status::fail(kRefused, QStringLiteral("%1 belongs to another user").arg(path));
    if ((st.st_mode & 07777) != 0700 && ::chmod(p.constData(), 0700) != 0)
        return Status::fail(kRefused, QStringLiteral("chmod %1: %2").arg(path, systemError()));
    return {};
}

Status ensure(const QString& path)
{
    const QByteArray p = QFile::encodeName(path);
    struct stat st;
    if (::lstat(p.constData(), &st) != 0) {
        const QString parent = QFileInfo(path).absolutePath();
        if (!QDir().mkpath(parent))
            return Status::fail(kRefused, QStringLiteral("cannot create %1").arg(parent));
        if (::mkdir(p.constData(), 0700) != 0 && errno != EEXIST)
            return Status::fail(kRefused, QStringLiteral("mkdir %1: %2").arg(path, systemError()));
    }
    return narrow(path);
}

Status restrictFile(const QString& path)
{
    if (::chmod(QFile::encodeName(path).constData(), 0600) != 0)
        return Status::fail(QString(), QStringLiteral("chmod %1: %2").arg(path, systemError()));
    return {};
}

QString plainCause(const QString& detail)
{
    const QString d = detail.toLower();
    if (d.contains(QLatin1String("disk is full")) || d.contains(QLatin1String("no space left"))
        || d.contains(QLatin1String("disk quota")))
        return QStringLiteral("磁盘空间不足");
    if (d.contains(QLatin1String("readonly database")) || d.contains(QLatin1String("read-only file system"))
        || d.contains(QLatin1String("read-only database")))
        return QStringLiteral("数据库只读");
    if (d.contains(QLatin1String("permission denied")) || d.contains(QLatin1String("access denied")))
        return QStringLiteral("没有写入权限");
    if (d.contains(QLatin1String("database is locked")) || d.contains(QLatin1String("database is busy")))
        return QStringLiteral("数据库正被占用");
    if (d.contains(QLatin1String("malformed")) || d.contains(QLatin1String("not a database"))
        || d.contains(QLatin1String("disk i/o error")) || d.contains(QLatin1String("input/output error")))
        return QStringLiteral("数据库或磁盘已损坏");
    return {};
}

QString withCause(const QString& message, const QString& detail)
{
    const QString cause = plainCause(detail);
    if (cause.isEmpty() || message.isEmpty() || message.contains(cause))
        return message;
    return message + QStringLiteral(" (") + cause + QLatin1Char(')');
}

}
