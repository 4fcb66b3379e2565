#include "store/HomeLayout.h"

#include "platform/PrivateFolder.h"
#include "platform/ProgramHome.h"
#include "store/Schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace HomeLayout {

Status create(const QString& folder)
{
    const ProgramHome home(folder);
    if (QFileInfo::exists(home.defaultDatabasePath()))
        return Status::fail(QStringLiteral("%1 already holds a database (%2); nothing was changed.")
                                .arg(home.folder(), home.defaultDatabasePath()));
    QDir dir;
    if (!dir.mkpath(home.folder()) || !dir.mkpath(home.skinFolder()))
        return Status::fail(QStringLiteral("cannot create the folders under %1").arg(home.folder()));
    // The archive and the files kept beside it are the user's alone.
    for (const QString& own : {home.dataFolder(), home.storeFolder()})
        if (const Status made = PrivateFolder::ensure(own); !made)
            return Status::fail(QStringLiteral("cannot create %1: %2").arg(own, made.detail()), made.detail());
    for (const QString& skin : ProgramHome::shippedSkins()) {
        const QString target = home.skinFolder() + QLatin1Char('/') + skin;
        if (QFileInfo::exists(target))
            continue;
        if (!QFile::copy(QStringLiteral(":/skins/") + skin, target))
            return Status::fail(QStringLiteral("cannot write %1").arg(target));
        QFile::setPermissions(
            target, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    }
    if (const Status created = Schema::createDatabaseFile(home.defaultDatabasePath()); !created)
        return Status::fail(QStringLiteral("cannot create the database: %1").arg(created.detail()), created.detail());
    return {};
}

}  // namespace HomeLayout
