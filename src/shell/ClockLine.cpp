#include "shell/ClockLine.h"

namespace ClockLine {

QString weekdayName(const QDate& date)
{
    static const QString names[7] = {
        QStringLiteral("星期日"), QStringLiteral("星期一"), QStringLiteral("星期二"), QStringLiteral("星期三"),
        QStringLiteral("星期四"), QStringLiteral("星期五"), QStringLiteral("星期六"),
    };
    if (!date.isValid())
        return {};
    // QDate counts Monday as 1 and Sunday as 7; the names start on Sunday.
    return names[date.dayOfWeek() % 7];
}

QString dateText(const QDate& date)
{
    if (!date.isValid())
        return {};
    return QStringLiteral("%1年%2月%3日").arg(date.year()).arg(date.month()).arg(date.day());
}

QString text(const QDateTime& now)
{
    const QDate d = now.date();
    return QStringLiteral(" 今天是 ") + dateText(d) + QLatin1Char(' ') + weekdayName(d);
}

}  // namespace ClockLine
