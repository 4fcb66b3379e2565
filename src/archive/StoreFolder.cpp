#include "archive/StoreFolder.h"

#include "platform/PrivateFolder.h"
#include "platform/ProgramHome.h"
#include "platform/Sha256.h"
#include "store/DataStore.h"
#include "store/RecordRows.h"

#include <QDir>
#include <QHash>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>

#include <sys/stat.h>

namespace {

// Keeps a name part free of path separators and control characters.
QString safePart(const QString& s)
{
    QString out;
    out.reserve(s.size());
    for (const QChar c : s) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':')
            || c.category() == QChar::Other_Control)
            out += QLatin1Char('_');
        else
            out += c;
    }
    while (out.startsWith(QLatin1Char('.')))
        out.remove(0, 1);
    return out;
}

bool isAbsoluteText(const QString& p)
{
    if (p.startsWith(QLatin1Char('/')))
        return true;
    // A drive letter path from an archive made on Windows ("D:/…").
    return p.size() >= 3 && p.at(0).isLetter() && p.at(1) == QLatin1Char(':') && p.at(2) == QLatin1Char('/');
}

}  // namespace

StoreFolder::StoreFolder(const ProgramHome& home) : StoreFolder(home.folder(), home.storeFolder()) {}

StoreFolder::StoreFolder(QString programFolder, QString folder)
    : m_programFolder(QDir::cleanPath(QFileInfo(programFolder).absoluteFilePath())),
      m_folder(QDir::cleanPath(QFileInfo(folder).absoluteFilePath()))
{
}

QString StoreFolder::quarantineFolder() const
{
    return m_folder + QStringLiteral(".quarantine");
}

bool StoreFolder::isLeftoverName(const QString& fileName)
{
    // stage() names its files within FileCopy's temporary names.
    return FileCopy::isTemporaryName(fileName);
}

Status StoreFolder::ensureExists() const
{
    // An existing folder is taken as it is (a link to a folder on another
    // disk included); the start-up narrows it.
    const QFileInfo fi(m_folder);
    if (fi.isDir())
        return {};
    if (fi.exists() || fi.isSymLink())
        return Status::fail(QString(), QStringLiteral("%1 exists and is not a folder").arg(m_folder));
    // The Data folder, when it has to be made here, is the user's alone.
    const QString parent = fi.absolutePath();
    if (!QFileInfo(parent).exists()) {
        const Status made = PrivateFolder::ensure(parent);
        if (!made)
            return Status::fail(QString(), made.detail());
    }
    const Status made = PrivateFolder::ensure(m_folder);
    if (!made)
        return Status::fail(QString(), made.detail());
    return {};
}

Result<QString> StoreFolder::uniqueName(const QString& number, const QString& type, const NameTaken& taken) const
{
    QString base = safePart(number.trimmed());
    if (base.isEmpty())
        base = QStringLiteral("file");
    const QString ext = safePart(type.trimmed());
    const QDir dir(m_folder);
    for (int i = 0; i < MaxNameTries; ++i) {
        QString name = i == 0 ? base : base + QLatin1Char('-') + QString::number(i);
        if (!ext.isEmpty())
            name += QLatin1Char('.') + ext;
        const QFileInfo fi(dir.filePath(name));
        if (fi.exists() || fi.isSymLink())
            continue;
        if (taken) {
            const Result<bool> used = taken(name);
            if (!used)
                return Result<QString>::fail(used.message(), QStringLiteral("name lookup failed: ") + used.detail());
            if (used.value())
                continue;
        }
        return name;
    }
    return Result<QString>::fail(QString(),
                                 QStringLiteral("no free name for %1 after %2 tries").arg(base).arg(MaxNameTries));
}

QString StoreFolder::storedPath(const QString& name) const
{
    const QString absolute = QDir(m_folder).filePath(name);
    return QDir(m_programFolder).relativeFilePath(absolute);
}

QString StoreFolder::resolve(const QString& lj) const
{
    QString p = lj.trimmed();
    if (p.isEmpty())
        return {};
    p.replace(QLatin1Char('\\'), QLatin1Char('/'));
    // "\Data\Lf\x" in the old form is relative to the program folder.
    const bool rootedOnProgram = lj.trimmed().startsWith(QLatin1Char('\\'));
    if (!rootedOnProgram && isAbsoluteText(p)) {
        const QString clean = QDir::cleanPath(p);
        if (QFileInfo::exists(clean))
            return clean;
        // An archive that moved: a kept file named under its old store folder
        // is looked for in the store folder of this program folder.
        static const QString marker = QStringLiteral("/Data/Lf/");
        const int at = clean.lastIndexOf(marker, -1, Qt::CaseInsensitive);
        if (at >= 0) {
            const QString rest = clean.mid(at + marker.size());
            const QString here = QDir::cleanPath(m_folder + QLatin1Char('/') + rest);
            if (QFileInfo::exists(here))
                return here;
        }
        return clean;
    }
    while (p.startsWith(QLatin1Char('/')))
        p.remove(0, 1);
    return QDir::cleanPath(m_programFolder + QLatin1Char('/') + p);
}

bool StoreFolder::contains(const QString& absolutePath) const
{
    const QString p = QDir::cleanPath(absolutePath);
    return p.startsWith(m_folder + QLatin1Char('/')) && p.size() > m_folder.size() + 1;
}

StoreFolder::Stored StoreFolder::storeWith(const std::function<FileCopy::Result(const QString&)>& write,
                                           const QString& number, const QString& type, const NameTaken& taken) const
{
    Stored s;
    if (const Status folder = ensureExists(); !folder) {
        s.error = folder.detail();
        return s;
    }
    // A name can be taken between the check and the rename only by another
    // writer; the rename never replaces, so try the next free name then.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const Result<QString> name = uniqueName(number, type, taken);
        if (!name) {
            s.error = name.detail();
            break;
        }
        s.name = name.value();
        s.absolutePath = QDir(m_folder).filePath(s.name);
        const FileCopy::Result r = write(s.absolutePath);
        if (r.ok) {
            // A kept file is the user's alone, or it is not kept.
            if (const Status restricted = PrivateFolder::restrictFile(s.absolutePath); !restricted) {
                QFile::remove(s.absolutePath);
                s.error = restricted.detail();
                return s;
            }
            s.ok = true;
            s.bytes = r.bytes;
            s.storedPath = storedPath(s.name);
            s.error.clear();
            return s;
        }
        s.error = r.error;
        s.cancelled = r.cancelled;
        if (r.cancelled || !QFileInfo::exists(s.absolutePath))
            break;
    }
    s.name.clear();
    s.absolutePath.clear();
    return s;
}

StoreFolder::Stored StoreFolder::store(const QString& source, const QString& number, const QString& type,
                                       Progress* progress, const NameTaken& taken) const
{
    QString hash;
    Stored s = storeWith(
        [&](const QString& target) {
            Sha256 digest;
            const FileCopy::Result r = FileCopy::copy(source, target, FileCopy::Replace::Never, progress, &digest);
            hash = digest.hex();
            return r;
        },
        number, type, taken);
    if (s)
        s.sha256 = hash;
    return s;
}

StoreFolder::Stored StoreFolder::storeBytes(const QByteArray& bytes, const QString& number, const QString& type,
                                            Progress* progress, const NameTaken& taken) const
{
    QString hash;
    Stored s = storeWith(
        [&](const QString& target) {
            Sha256 digest;
            const FileCopy::Result r = FileCopy::write(bytes, target, FileCopy::Replace::Never, progress, &digest);
            hash = digest.hex();
            return r;
        },
        number, type, taken);
    if (s)
        s.sha256 = hash;
    return s;
}

Status StoreFolder::remove(const QString& lj) const
{
    const QString path = resolve(lj);
    if (path.isEmpty() || !contains(path))
        return {};
    const QFileInfo fi(path);
    if (!fi.exists() && !fi.isSymLink())
        return {};
    if (fi.isDir())
        return Status::fail(QString(), QStringLiteral("%1 is a folder").arg(path));
    QFile file(path);
    if (!file.remove() && QFileInfo(path).exists())
        return Status::fail(QString(), QStringLiteral("cannot remove %1: %2").arg(path, file.errorString()));
    return {};
}

StoreFolder::Stored StoreFolder::stage(const QString& source, Progress* progress, qint64 expectedSize) const
{
    Stored s;
    if (const Status folder = ensureExists(); !folder) {
        s.error = folder.detail();
        return s;
    }
    if (expectedSize < 0)
        expectedSize = QFileInfo(source).size();
    const QString target =
        QDir(m_folder).filePath(QStringLiteral(".kvpart-staged-%1.part")
                                    .arg(QRandomGenerator::global()->generate64() & 0xffffffffffffull, 0, 36));
    Sha256 digest;
    const FileCopy::Result r = FileCopy::copy(source, target, FileCopy::Replace::Never, progress, &digest);
    s.ok = r.ok;
    s.cancelled = r.cancelled;
    s.bytes = r.bytes;
    s.error = r.error;
    if (!r.ok)
        return s;
    // The source changed while it was read: what is staged is not the file
    // that was chosen, and never stands for it.
    const qint64 staged = QFileInfo(target).size();
    if (r.bytes != expectedSize || staged != expectedSize) {
        QFile::remove(target);
        s.ok = false;
        s.error = QStringLiteral("%1 changed while being copied: %2 bytes copied of %3")
                      .arg(source)
                      .arg(r.bytes)
                      .arg(expectedSize);
        return s;
    }
    if (const Status restricted = PrivateFolder::restrictFile(target); !restricted) {
        QFile::remove(target);
        s.ok = false;
        s.error = restricted.detail();
        return s;
    }
    s.absolutePath = target;
    s.sha256 = digest.hex();
    return s;
}

StoreFolder::Stored StoreFolder::place(const QString& stagedPath, const QString& number, const QString& type,
                                       const NameTaken& taken) const
{
    Stored s;
    s.bytes = QFileInfo(stagedPath).size();
    for (int attempt = 0; attempt < 5; ++attempt) {
        const Result<QString> name = uniqueName(number, type, taken);
        if (!name) {
            s.error = name.detail();
            break;
        }
        s.name = name.value();
        s.absolutePath = QDir(m_folder).filePath(s.name);
        const Status moved = FileCopy::move(stagedPath, s.absolutePath, FileCopy::Replace::Never);
        if (moved) {
            s.ok = true;
            s.storedPath = storedPath(s.name);
            s.error.clear();
            return s;
        }
        s.error = moved.detail();
        if (!QFileInfo::exists(stagedPath))
            break;
    }
    s.name.clear();
    s.absolutePath.clear();
    return s;
}

void StoreFolder::discard(const QString& stagedPath) const
{
    if (!stagedPath.isEmpty() && contains(stagedPath))
        QFile::remove(stagedPath);
}

Result<StoreFolder::Swept> StoreFolder::sweep(DataStore& store) const
{
    Swept swept;
    const QDir dir(m_folder);
    if (!dir.exists())
        return swept;

    // The folder first: with nothing in it (or only what a run left while
    // storing) no record needs to be read.
    const QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    QHash<QString, bool> present;  // file name -> named by a record
    present.reserve(entries.size());
    QFileInfoList leftovers;
    for (const QFileInfo& fi : entries) {
        if (isLeftoverName(fi.fileName()))
            leftovers << fi;
        else
            present.insert(fi.fileName(), false);
    }
    auto removeLeftovers = [&] {
        for (const QFileInfo& fi : std::as_const(leftovers))
            if (QFile::remove(fi.absoluteFilePath()))
                swept.removedStaging << fi.fileName();
    };
    if (present.isEmpty()) {
        removeLeftovers();
        return swept;
    }

    // A record names one of them when its path ends in that name and
    // resolves into this folder; only those paths are resolved.
    const QString here = QDir::cleanPath(dir.absolutePath());
    const Status read = RecordRows::eachKeptPath(store, [&](const QString& lj) {
        const qsizetype cut = qMax(lj.lastIndexOf(QLatin1Char('/')), lj.lastIndexOf(QLatin1Char('\\')));
        const auto it = present.find(lj.mid(cut + 1).trimmed());
        if (it == present.end() || it.value())
            return;
        const QString path = resolve(lj);
        if (!path.isEmpty() && QFileInfo(QDir::cleanPath(path)).absolutePath() == here)
            it.value() = true;
    });
    if (!read)
        return Result<Swept>::fail(QString(), read.detail());

    // Nothing moves before the records were read.
    removeLeftovers();
    QStringList strays;
    for (auto it = present.cbegin(); it != present.cend(); ++it)
        if (!it.value())
            strays << it.key();
    strays.sort();
    if (strays.isEmpty())
        return swept;

    for (const QString& name : std::as_const(strays)) {
        if (const Result<QString> moved = quarantine(name); !moved)
            return Result<Swept>::fail(QString(), moved.detail());
        swept.quarantined << name;
    }
    return swept;
}

Result<QString> StoreFolder::quarantine(const QString& name) const
{
    const QString aside = quarantineFolder();
    const Status made = PrivateFolder::ensure(aside);
    if (!made)
        return Result<QString>::fail(QString(), made.detail());
    // Never over something already set aside: a suffix keeps both.
    QString target = QDir(aside).filePath(name);
    for (int i = 1; QFileInfo(target).exists() || QFileInfo(target).isSymLink(); ++i) {
        if (i > MaxNameTries)
            return Result<QString>::fail(QString(), QStringLiteral("no free name in %1 for %2").arg(aside, name));
        target = QDir(aside).filePath(name + QLatin1Char('.') + QString::number(i));
    }
    if (const Status moved = FileCopy::move(QDir(m_folder).filePath(name), target, FileCopy::Replace::Never); !moved)
        return Result<QString>::fail(QString(), moved.detail());
    // Set aside, it stays the user's alone; a link or a FIFO is never
    // followed (chmod would change what a link points to).
    struct stat st;
    if (::lstat(QFile::encodeName(target).constData(), &st) == 0 && S_ISREG(st.st_mode))
        if (const Status restricted = PrivateFolder::restrictFile(target); !restricted)
            return Result<QString>::fail(QString(),
                                         QStringLiteral("set aside as %1, but %2").arg(target, restricted.detail()));
    return target;
}
