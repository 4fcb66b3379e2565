#include "archive/ViewedFiles.h"

#include "archive/ProtectedGroups.h"
#include "store/DataStore.h"
#include "store/GroupRows.h"
#include "store/RecordContent.h"
#include "store/RecordRows.h"

#include <QFile>
#include <QFileInfo>

namespace {

ViewedFile fromRow(const RecordRows::Brief& r)
{
    ViewedFile f;
    f.id = r.id;
    f.name = r.name;
    f.type = r.type;
    f.group = r.group;
    f.keptPath = r.keptPath;
    f.size = r.size;
    return f;
}

QString normalType(const QString& type)
{
    QString t = type.trimmed().toLower();
    while (t.startsWith(QLatin1Char('.')))
        t.remove(0, 1);
    return t;
}

}  // namespace

QString ViewedFile::fullName() const
{
    return type.isEmpty() ? name : name + QLatin1Char('.') + type;
}

const QStringList& ViewedFiles::pictureTypes()
{
    static const QStringList types = {
        QStringLiteral("jpg"), QStringLiteral("bmp"),  QStringLiteral("gif"), QStringLiteral("ico"),
        QStringLiteral("cur"), QStringLiteral("jpeg"), QStringLiteral("png"), QStringLiteral("webp"),
        QStringLiteral("tif"), QStringLiteral("tiff"),
    };
    return types;
}

const QStringList& ViewedFiles::mediaTypes()
{
    static const QStringList types = {
        QStringLiteral("dvr-ms"), QStringLiteral("mid"),    QStringLiteral("rmi"),   QStringLiteral("midi"),
        QStringLiteral("mkv"),    QStringLiteral("mov"),    QStringLiteral("amr"),   QStringLiteral("qt"),
        QStringLiteral("rm"),     QStringLiteral("rmvb"),   QStringLiteral("dat"),   QStringLiteral("asf"),
        QStringLiteral("wm"),     QStringLiteral("wma"),    QStringLiteral("wmv"),   QStringLiteral("wmd"),
        QStringLiteral("avi"),    QStringLiteral("ppcast"), QStringLiteral("xldap"), QStringLiteral("wav"),
        QStringLiteral("snd"),    QStringLiteral("au"),     QStringLiteral("aif"),   QStringLiteral("aifc"),
        QStringLiteral("aiff"),   QStringLiteral("mp3"),    QStringLiteral("mpeg"),  QStringLiteral("mpg"),
        QStringLiteral("m1v"),    QStringLiteral("m2v"),    QStringLiteral("mod"),   QStringLiteral("mp2"),
        QStringLiteral("mpa"),    QStringLiteral("mpe"),    QStringLiteral("ifo"),   QStringLiteral("vob"),
    };
    return types;
}

bool ViewedFiles::isPicture(const QString& type)
{
    return pictureTypes().contains(normalType(type));
}
bool ViewedFiles::isMedia(const QString& type)
{
    return mediaTypes().contains(normalType(type));
}

ViewedFiles::ViewedFiles(DataStore& store, StoreFolder folder, const ProtectedGroups& open)
    : m_store(store), m_folder(std::move(folder)), m_open(open)
{
}

Result<QStringList> ViewedFiles::closedGroups()
{
    QStringList closed;
    if (!m_open.readClosedPaths(m_store, &closed))
        return Result<QStringList>::fail(ReadFailed, m_store.lastError());
    return closed;
}

Result<qint64> ViewedFiles::count(const QString& path)
{
    const Result<QStringList> closed = closedGroups();
    if (!closed)
        return Result<qint64>::fail(closed.message(), closed.detail());
    const Result<qint64> n = GroupRows::fileCount(m_store, path, closed.value());
    if (!n)
        return Result<qint64>::fail(ReadFailed, n.detail());
    return n;
}

Result<QList<ViewedFile>> ViewedFiles::inGroup(const QString& path, const QStringList& types)
{
    const Result<QStringList> closed = closedGroups();
    if (!closed)
        return Result<QList<ViewedFile>>::fail(closed.message(), closed.detail());
    QStringList lowerTypes;
    for (const QString& t : types)
        lowerTypes << normalType(t);
    const Result<QList<RecordRows::Brief>> rows = GroupRows::files(m_store, path, closed.value(), lowerTypes);
    if (!rows)
        return Result<QList<ViewedFile>>::fail(ReadFailed, rows.detail());
    QList<ViewedFile> files;
    files.reserve(rows->size());
    for (const RecordRows::Brief& r : rows.value())
        files << fromRow(r);
    return files;
}

Result<ViewedFile> ViewedFiles::record(qint64 id)
{
    if (id < 0)
        return Result<ViewedFile>::fail(NothingSelected);
    const Result<std::optional<RecordRows::Brief>> found = RecordRows::brief(m_store, id);
    if (!found)
        return Result<ViewedFile>::fail(ReadFailed, found.detail());
    if (!found->has_value())
        return Result<ViewedFile>::fail(NothingSelected, QStringLiteral("record %1 not found").arg(id));
    ViewedFile f = fromRow(**found);
    if (m_open.isHidden(m_store, f.group))
        return Result<ViewedFile>::fail(NothingSelected, QStringLiteral("record %1 lies in a closed group").arg(id));
    return f;
}

QString ViewedFiles::keptFile(const ViewedFile& f) const
{
    return f.keptPath.isEmpty() ? QString() : m_folder.resolve(f.keptPath);
}

bool ViewedFiles::keptFileMissing(const ViewedFile& f) const
{
    return !f.keptPath.isEmpty() && !QFileInfo(keptFile(f)).isFile();
}

Result<QByteArray> ViewedFiles::content(const ViewedFile& f)
{
    if (f.keptPath.isEmpty()) {
        Result<QByteArray> held = RecordContent::read(m_store, f.id);
        if (!held)
            return Result<QByteArray>::fail(ReadFailed, held.detail());
        return held;
    }
    QFile file(keptFile(f));
    if (!file.open(QIODevice::ReadOnly))
        return Result<QByteArray>::fail(ReadFailed, file.errorString());
    return file.readAll();
}

QString ViewedFiles::megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / (1024.0 * 1024.0), 'f', 2);
}
