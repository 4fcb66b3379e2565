#include "platform/ProgramHome.h"

#include "platform/Config.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

ProgramHome::ProgramHome(QString folder) : m_folder(QDir::cleanPath(QFileInfo(folder).absoluteFilePath()))
{
}

QString ProgramHome::configPath() const { return m_folder + QStringLiteral("/Config.ini"); }
QString ProgramHome::defaultDatabasePath() const { return m_folder + QStringLiteral("/Data/files.dat"); }
QString ProgramHome::dataFolder() const { return m_folder + QStringLiteral("/Data"); }
QString ProgramHome::storeFolder() const { return m_folder + QStringLiteral("/Data/Lf"); }
QString ProgramHome::skinFolder() const { return m_folder + QStringLiteral("/Hf"); }
QString ProgramHome::defaultSkinPath() const { return m_folder + QStringLiteral("/Hf/pixos.she"); }
QString ProgramHome::mediaTempFolder() const { return m_folder + QStringLiteral("/Mt/temp"); }

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

QString ProgramHome::extractionFolder()
{
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = qEnvironmentVariable("USERNAME");
    const QString base = QStandardPaths::writableLocation(QStandardPaths::TempLocation);
    return base + QStringLiteral("/kvtemp") + (user.isEmpty() ? QString() : QLatin1Char('-') + user);
}

QStringList ProgramHome::shippedSkins()
{
    return QDir(QStringLiteral(":/skins")).entryList({QStringLiteral("*.she")}, QDir::Files, QDir::Name);
}
