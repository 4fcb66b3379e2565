#include "store/Dictionary.h"

#include "store/DataStore.h"

#include <QRegularExpression>

namespace Dictionary {

Result<std::optional<QString>> read(DataStore& store, const QString& name)
{
    const Result<std::optional<QVariant>> v = store.scalar(QStringLiteral("select nr from zdbh where xm=?"), {name});
    if (!v)
        return Result<std::optional<QString>>::fail(QString(), QStringLiteral("zdbh: ") + v.detail());
    if (!v->has_value())
        return std::optional<QString>();
    return std::optional<QString>((*v)->toString());
}

QString readOr(DataStore& store, const QString& name, const QString& fallback)
{
    const Result<std::optional<QString>> v = read(store, name);
    if (!v) {
        qWarning("%s not read: %s", qPrintable(name), qPrintable(v.detail()));
        return fallback;
    }
    return v->value_or(fallback);
}

bool write(DataStore& store, const QString& name, const QString& value)
{
    return store.execute(QStringLiteral("update zdbh set nr=? where xm=?"), {value, name}) && store.rowsAffected() == 1;
}

QStringList allowedTypes(const QString& value)
{
    if (value.trimmed().compare(AnyType, Qt::CaseInsensitive) == 0 || value.trimmed().isEmpty())
        return {};
    static const QRegularExpression sep(QStringLiteral("[,，;；|\\s]+"));
    QStringList out;
    for (QString t : value.split(sep, Qt::SkipEmptyParts)) {
        while (t.startsWith(QLatin1Char('.')) || t.startsWith(QLatin1Char('*')))
            t.remove(0, 1);
        if (!t.isEmpty() && !out.contains(t, Qt::CaseInsensitive))
            out << t.toLower();
    }
    return out;
}

bool typeAllowed(const QString& value, const QString& type)
{
    const QStringList allowed = allowedTypes(value);
    return allowed.isEmpty() || allowed.contains(type.toLower());
}

qint64 sizeBoundBytes(const QString& value)
{
    bool ok = false;
    const double mb = value.trimmed().toDouble(&ok);
    if (!ok || mb < 0)
        return 0;
    return static_cast<qint64>(mb * 1024.0 * 1024.0);
}

qint64 storedSizeBound(DataStore& store)
{
    return sizeBoundBytes(readOr(store, FileSize, DefaultFileSize));
}

}
