#include "platform/ProgramHome.h"

#include "platform/Config.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <csignal>
#include <unistd.h>

ProgramHome::ProgramHome(QString folder) : m_folder(QDir::cleanPath(QFileInfo(folder).absoluteFilePath())) {}

QString ProgramHome::configPath() const
{
    return m_folder + QStringLiteral("/Config.ini");
}
QString ProgramHome::defaultDatabasePath() const
{
    return m_folder + QStringLiteral("/Data/files.dat");
}
QString ProgramHome::dataFolder() const
{
    return m_folder + QStringLiteral("/Data");
}
QString ProgramHome::storeFolder() const
{
    return m_folder + QStringLiteral("/Data/Lf");
}
QString ProgramHome::skinFolder() const
{
    return m_folder + QStringLiteral("/Hf");
}
QString ProgramHome::defaultSkinPath() const
{
    return m_folder + QStringLiteral("/Hf/pixos.she");
}
QString ProgramHome::mediaTempFolder() const
{
    return m_folder + QStringLiteral("/Mt/temp");
}

QString ProgramHome::databasePath(const Config& config) const
{
    const QString v = config.value(Config::DatabaseSection, Config::DatabaseKey);
    return v.isEmpty() ? defaultDatabasePath() : v;
}

QString ProgramHome::skinPath(const Config& config) const
{
    const QString v = config.value(Config::SkinSection, Config::SkinKey);
    return v.isEmpty() ? defaultSkinPath() : v;
}

namespace {

const QString kExtractionPrefix = QStringLiteral("kvtemp-");

// The user's own place for the extraction folders: the runtime folder (a
// tmpfs only the user may enter) or else the user's cache folder.
QString extractionBase()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QFileInfo r(runtime);
    QString base = !runtime.isEmpty() && r.isDir() && r.isWritable() && !r.isSymLink()
        ? runtime
        : QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.cache");
    return base + QStringLiteral("/korvane");
}

}  // namespace

QString ProgramHome::extractionFolder()
{
    // One folder for each running instance: two instances never write into,
    // nor remove, each other's files.
    return extractionBase() + QLatin1Char('/') + kExtractionPrefix + QString::number(::getpid());
}

QStringList ProgramHome::abandonedExtractionFolders()
{
    QStringList out;
    const QDir base(extractionBase());
    for (const QFileInfo& fi :
         base.entryInfoList({kExtractionPrefix + QLatin1Char('*')}, QDir::Dirs | QDir::NoSymLinks)) {
        bool ok = false;
        const qint64 pid = fi.fileName().mid(kExtractionPrefix.size()).toLongLong(&ok);
        if (!ok || pid <= 0 || pid == ::getpid())
            continue;
        // Still running (or not ours to ask): left alone.
        if (::kill(pid_t(pid), 0) == 0 || errno != ESRCH)
            continue;
        out << fi.absoluteFilePath();
    }
    return out;
}

QStringList ProgramHome::shippedSkins()
{
    return QDir(QStringLiteral(":/skins")).entryList({QStringLiteral("*.she")}, QDir::Files, QDir::Name);
}
