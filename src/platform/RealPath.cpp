#include "platform/RealPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace RealPath {

namespace {

struct Identity {
    dev_t device = 0;
    ino_t inode = 0;
    bool known = false;
    bool operator==(const Identity& o) const { return known && o.known && device == o.device && inode == o.inode; }
};

Identity identityOf(const QString& path)
{
    struct stat st;
    Identity id;
    if (::stat(QFile::encodeName(path).constData(), &st) == 0) {
        id.device = st.st_dev;
        id.inode = st.st_ino;
        id.known = true;
    }
    return id;
}

bool textInside(const QString& path, const QString& folder)
{
    if (folder == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    return path == folder || path.startsWith(folder + QLatin1Char('/'));
}

}  // namespace

QString resolve(const QString& path)
{
    QString rest;
    QString existing = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    // Up to the nearest part that exists; the missing tail holds no link.
    while (!QFileInfo::exists(existing) && !QFileInfo(existing).isSymLink()) {
        const QFileInfo fi(existing);
        const QString parent = fi.absolutePath();
        if (parent == existing)
            break;
        rest = rest.isEmpty() ? fi.fileName() : fi.fileName() + QLatin1Char('/') + rest;
        existing = parent;
    }
    QString real = QFileInfo(existing).canonicalFilePath();
    if (real.isEmpty())
        real = existing;  // a dangling link: its own place is as far as it goes
    return rest.isEmpty() ? real : QDir::cleanPath(real + QLatin1Char('/') + rest);
}

bool inside(const QString& path, const QString& folder)
{
    if (path.trimmed().isEmpty() || folder.trimmed().isEmpty())
        return false;
    const QString p = resolve(path);
    const QString f = resolve(folder);
    if (textInside(p, f))
        return true;
    const Identity target = identityOf(f);
    if (!target.known)
        return false;
    // The same folder reached another way (a bind mount, a second link):
    // some existing ancestor of the path is the folder itself.
    QString at = p;
    for (;;) {
        if (identityOf(at) == target)
            return true;
        const QString parent = QFileInfo(at).absolutePath();
        if (parent == at)
            return false;
        at = parent;
    }
}

bool overlap(const QString& a, const QString& b)
{
    return inside(a, b) || inside(b, a);
}

QString firstOverlap(const QString& path, const QStringList& folders)
{
    for (const QString& f : folders)
        if (!f.isEmpty() && overlap(path, f))
            return f;
    return {};
}

}
