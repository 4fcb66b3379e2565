#include "archive/ViewedFiles.h"

#include "archive/FilterClause.h"
#include "archive/GroupPath.h"
#include "archive/ProtectedGroups.h"
#include "store/DataStore.h"
#include "store/RecordContent.h"
#include "store/RecordSet.h"

#include <QFile>
#include <QFileInfo>

namespace {

const QString Columns = QStringLiteral("select id,mc,lx,fz,lj,dxsz from wj ");

ViewedFile fromRow(const RecordSet& rs)
{
    ViewedFile f;
    f.id = rs.number(0);
    f.name = rs.text(1);
    f.type = rs.text(2);
    f.group = rs.text(3);
    f.keptPath = rs.text(4);
    f.size = rs.number(5);
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
        QStringLiteral("jpg"), QStringLiteral("bmp"), QStringLiteral("gif"), QStringLiteral("ico"),
        QStringLiteral("cur"), QStringLiteral("jpeg"), QStringLiteral("png"), QStringLiteral("webp"),
        QStringLiteral("tif"), QStringLiteral("tiff"),
    };
    return types;
}

const QStringList& ViewedFiles::mediaTypes()
{
    static const QStringList types = {
        QStringLiteral("dvr-ms"), QStringLiteral("mid"),  QStringLiteral("rmi"),  QStringLiteral("midi"),
        QStringLiteral("mkv"),    QStringLiteral("mov"),  QStringLiteral("amr"),  QStringLiteral("qt"),
        QStringLiteral("rm"),     QStringLiteral("rmvb"), QStringLiteral("dat"),  QStringLiteral("asf"),
        QStringLiteral("wm"),     QStringLiteral("wma"),  QStringLiteral("wmv"),  QStringLiteral("wmd"),
        QStringLiteral("avi"),    QStringLiteral("ppcast"), QStringLiteral("xldap"), QStringLiteral("wav"),
        QStringLiteral("snd"),    QStringLiteral("au"),   QStringLiteral("aif"),  QStringLiteral("aifc"),
        QStringLiteral("aiff"),   QStringLiteral("mp3"),  QStringLiteral("mpeg"), QStringLiteral("mpg"),
        QStringLiteral("m1v"),    QStringLiteral("m2v"),  QStringLiteral("mod"),  QStringLiteral("mp2"),
        QStringLiteral("mpa"),    QStringLiteral("mpe"),  QStringLiteral("ifo"),  QStringLiteral("vob"),
    };
    return types;
}

bool ViewedFiles::isPicture(const QString& type) { return pictureTypes().contains(normalType(type)); }
bool ViewedFiles::isMedia(const QString& type) { return mediaTypes().contains(normalType(type)); }

ViewedFiles::ViewedFiles(DataStore& store, StoreFolder folder, const ProtectedGroups& open)
    : m_store(store), m_folder(std::move(folder)), m_open(open)
{
}

Result<ViewedFiles::Where> ViewedFiles::groupCondition(const QString& path)
{
    QStringList closed;
    if (!m_open.readClosedPaths(m_store, &closed))
        return Result<Where>::fail(ReadFailed, m_store.lastError());
    const GroupPath::Condition group = GroupPath::withSubgroups(path);
    const FilterClause c = FilterClause::everything().andAlso(group.sql, group.params).excludingGroups(closed);
    return Where{c.where, c.params};
}

Result<qint64> ViewedFiles::count(const QString& path)
{
    const Result<Where> where = groupCondition(path);
    if (!where)
        return Result<qint64>::fail(where.message(), where.detail());
    RecordSet rs = m_store.query(QStringLiteral("select count(id) from wj ") + where->sql, where->params);
    if (!rs || rs.atEnd())
        return Result<qint64>::fail(ReadFailed, m_store.lastError());
    return rs.number(0);
}

Result<QList<ViewedFile>> ViewedFiles::inGroup(const QString& path, const QStringList& types)
{
    const Result<Where> where = groupCondition(path);
    if (!where)
        return Result<QList<ViewedFile>>::fail(where.message(), where.detail());
    QString sql = Columns + where->sql;
    QVariantList params = where->params;
    if (!types.isEmpty()) {
        QStringList marks;
        for (const QString& t : types) {
            marks << QStringLiteral("?");
            params << normalType(t);
        }
        sql += QStringLiteral(" and lower(lx) in (") + marks.join(QLatin1Char(',')) + QLatin1Char(')');
    }
    sql += QStringLiteral(" order by id");
    RecordSet rs = m_store.query(sql, params);
    if (!rs)
        return Result<QList<ViewedFile>>::fail(ReadFailed, m_store.lastError());
    QList<ViewedFile> files;
    for (; !rs.atEnd(); rs.next())
        files << fromRow(rs);
    return files;
}

Result<ViewedFile> ViewedFiles::record(qint64 id)
{
    if (id < 0)
        return Result<ViewedFile>::fail(NothingSelected);
    RecordSet rs = m_store.query(Columns + QStringLiteral("where id=?"), {id});
    if (!rs)
        return Result<ViewedFile>::fail(ReadFailed, m_store.lastError());
    if (rs.atEnd())
        return Result<ViewedFile>::fail(NothingSelected, QStringLiteral("record %1 not found").arg(id));
    ViewedFile f = fromRow(rs);
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
