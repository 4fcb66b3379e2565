#include "settings/SkinFolder.h"

#include "platform/Config.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// A skin's file name: one plain name of the folder, nothing that reaches
// outside it.
bool plainName(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
        && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) && !name.contains(QChar(0))
        && name.trimmed() == name;
}

}  // namespace

QStringList SkinFolder::names() const
{
    QStringList out;
    const QDir dir(m_folder);
    for (const QFileInfo& fi :
         dir.entryInfoList({QLatin1Char('*') + Suffix}, QDir::Files, QDir::Name | QDir::IgnoreCase))
        out << fi.fileName();
    return out;
}

QString SkinFolder::pathOf(const QString& name) const
{
    if (!plainName(name) || !names().contains(name))
        return {};
    return QDir(m_folder).filePath(name);
}

Status SkinFolder::remove(const QString& name) const
{
    const QString path = pathOf(name);
    if (path.isEmpty())
        return Status::fail(RemoveFailed, QStringLiteral("no skin %1").arg(name));
    QFile f(path);
    if (!f.remove())
        return Status::fail(RemoveFailed, f.errorString());
    return {};
}

Result<QString> SkinFolder::rename(const QString& name, const QString& newName) const
{
    const QString from = pathOf(name);
    QString stem = newName.trimmed();
    if (stem.endsWith(Suffix, Qt::CaseInsensitive))
        stem.chop(Suffix.size());
    const QString target = stem + Suffix;
    if (from.isEmpty() || stem.isEmpty() || !plainName(target))
        return Result<QString>::fail(RenameFailed, QStringLiteral("unusable name %1").arg(newName));
    if (target == name)
        return Result<QString>(target);
    const QString to = QDir(m_folder).filePath(target);
    // Never onto an existing file: the kernel refuses in the same step.
    const QByteArray a = QFile::encodeName(from);
    const QByteArray b = QFile::encodeName(to);
#ifdef SYS_renameat2
    constexpr unsigned noReplace = 1;  // RENAME_NOREPLACE
    if (::syscall(SYS_renameat2, AT_FDCWD, a.constData(), AT_FDCWD, b.constData(), noReplace) == 0)
        return Result<QString>(target);
    if (errno != EINVAL && errno != ENOSYS)
        return Result<QString>::fail(RenameFailed, QString::fromLocal8Bit(std::strerror(errno)));
#endif
    if (QFileInfo::exists(to) || QFileInfo(to).isSymLink())
        return Result<QString>::fail(RenameFailed, QStringLiteral("%1 exists").arg(target));
    if (::rename(a.constData(), b.constData()) != 0)
        return Result<QString>::fail(RenameFailed, QString::fromLocal8Bit(std::strerror(errno)));
    return Result<QString>(target);
}

Status SkinFolder::keep(Config& config, const QString& value)
{
    const Status s = config.setValue(Config::SkinSection, Config::SkinKey, value);
    if (!s)
        return Status::fail(SaveFailed, s.detail());
    return Status::success(Saved);
}
