#include "store/FieldOptions.h"

#include "store/DataStore.h"

namespace FieldOptions {

Result<QList<Field>> fields(DataStore& store)
{
    QList<Field> out;
    RecordSet rs = store.query(QStringLiteral("select xm,bh from xx order by id asc"));
    if (!rs.isValid())
        return Result<QList<Field>>::fail(QString(), store.lastError());
    for (; !rs.atEnd(); rs.next())
        out.append({rs.text(0), static_cast<int>(rs.number(1))});
    return out;
}

Result<QStringList> options(DataStore& store, int number)
{
    RecordSet rs = store.query(QStringLiteral("select nr from xx where bh=?"), {number});
    if (!rs.isValid())
        return Result<QStringList>::fail(QString(), store.lastError());
    if (rs.atEnd())
        return QStringList();
    return splitOptions(rs.text(0));
}

bool save(DataStore& store, int number, const QStringList& opts)
{
    return store.execute(QStringLiteral("update xx set nr=? where bh=?"), {joinOptions(opts), number})
        && store.rowsAffected() == 1;
}

QString joinOptions(const QStringList& opts)
{
    QStringList cleaned;
    for (const QString& o : opts)
        cleaned << cleanOption(o);
    return cleaned.join(Separator);
}

QStringList splitOptions(const QString& stored)
{
    if (stored.isEmpty())
        return {};
    return stored.split(Separator);
}

QString cleanOption(const QString& typed)
{
    QString s;
    s.reserve(typed.size());
    for (QChar c : typed)
        if (c.category() != QChar::Other_Control)
            s.append(c);
    return s;
}

}
