#include "store/LogRows.h"

#include "store/Backend.h"
#include "store/DataStore.h"

#include <QVariantList>

namespace {

QString dayText(const QDate& d)
{
    return d.toString(QStringLiteral("yyyy-MM-dd"));
}

// A LIKE pattern that finds text anywhere, with '!' as the escape character.
QString anywhere(const QString& text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('!'), QLatin1String("!!"));
    escaped.replace(QLatin1Char('%'), QLatin1String("!%"));
    escaped.replace(QLatin1Char('_'), QLatin1String("!_"));
    return QLatin1Char('%') + escaped + QLatin1Char('%');
}

// " where …" with its values, for a statement on rz.
QString whereOf(const LogFilter& filter, QVariantList* params)
{
    QString w = QStringLiteral(" where ");
    if (!filter.operatorName.isEmpty()) {
        w += QStringLiteral("czy like ? escape '!' and ");
        params->append(anywhere(filter.operatorName));
    }
    if (!filter.content.isEmpty()) {
        w += QStringLiteral("nr like ? escape '!' and ");
        params->append(anywhere(filter.content));
    }
    // The time text sorts as time, so the day range is also a range of sj
    // that its index serves: from the first day's start to before the day
    // after the last.
    w += QStringLiteral("sj >= ? and sj < ? and substr(sj,1,10) between ? and ?");
    params->append(dayText(filter.first));
    params->append(dayText(filter.last.addDays(1)));
    params->append(dayText(filter.first));
    params->append(dayText(filter.last));
    return w;
}

}  // namespace

Result<LogRows::Extent> LogRows::extent(const LogFilter& filter)
{
    if (filter.isEmpty())
        return Extent{};
    QVariantList params;
    const QString sql = QStringLiteral("select count(*), min(id), max(id) from rz") + whereOf(filter, &params);
    RecordSet rs = m_store.query(sql, params);
    if (!rs)
        return Result<Extent>::fail(QString(), m_store.lastError());
    if (rs.atEnd())
        return Extent{};
    return Extent{rs.number(0), rs.number(1), rs.number(2)};
}

Result<QList<LogRows::Line>> LogRows::read(const LogFilter& filter, qint64 beforeId, int limit, qint64 firstId)
{
    QList<Line> lines;
    if (filter.isEmpty())
        return lines;
    QVariantList params;
    // Not through the index of sj: for a wide range it would sort every
    // line of the range for each chunk; the ids walk newest first as they are.
    QString sql =
        QStringLiteral("select id,sj,czy,nr from rz") + m_store.backend().noIndexHint() + whereOf(filter, &params);
    if (beforeId > 0) {
        sql += QStringLiteral(" and id < ?");
        params.append(beforeId);
    }
    if (firstId > 0) {
        sql += QStringLiteral(" and id >= ?");
        params.append(firstId);
    }
    sql += QStringLiteral(" order by id desc limit ?");
    params.append(limit);
    RecordSet rs = m_store.query(sql, params);
    if (!rs)
        return Result<QList<Line>>::fail(QString(), m_store.lastError());
    for (; !rs.atEnd(); rs.next())
        lines.append({rs.number(0), rs.text(1), rs.text(2), rs.text(3)});
    return lines;
}

Result<qint64> LogRows::removeDays(const QDate& first, const QDate& last)
{
    const LogFilter range{first, last, {}, {}};
    if (range.isEmpty())
        return qint64(0);
    QVariantList params;
    if (!m_store.execute(QStringLiteral("delete from rz") + whereOf(range, &params), params))
        return Result<qint64>::fail(QString(), m_store.lastError());
    return qint64(m_store.rowsAffected());
}
