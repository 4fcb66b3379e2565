#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

// The status-bar clock line of the main window: " 今天是 " + date + weekday.
namespace ClockLine {

// "星期日" … "星期六" for the date's day of the week.
QString weekdayName(const QDate& date);
// The date as shown in the clock line, e.g. "2026年12月9日".
QString dateText(const QDate& date);
// " 今天是 2026年12月9日 星期三"
QString text(const QDateTime& now);

}  // namespace ClockLine
