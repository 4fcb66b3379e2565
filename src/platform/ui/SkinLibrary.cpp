#include "platform/ui/SkinLibrary.h"

#include "platform/Config.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>

namespace SkinLibrary {

namespace {

QString g_attached;

// Skin files larger than this are not style sheets of ours.
constexpr qint64 MaxSkinBytes = 4 * 1024 * 1024;

QApplication* application()
{
    return qobject_cast<QApplication*>(QCoreApplication::instance());
}

}  // namespace

bool attach(const QString& path, const QString& password)
{
    // Our skins are plain style sheets; the password is part of the
    // library's calling convention and opens nothing here.
    Q_UNUSED(password);
    QApplication* app = application();
    if (!app || path.trimmed().isEmpty() || path.trimmed().compare(NoSkin, Qt::CaseInsensitive) == 0)
        return false;
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > MaxSkinBytes)
        return false;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        return false;
    // Skin files may be saved as UTF-8 or GBK, like Config.ini.
    app->setStyleSheet(Config::decode(bytes));
    g_attached = info.absoluteFilePath();
    return true;
}

void detach()
{
    if (QApplication* app = application())
        app->setStyleSheet(QString());
    g_attached.clear();
}

QString attachedPath()
{
    return g_attached;
}

}  // namespace SkinLibrary
