#include "store/SizeText.h"

#include <QLatin1Char>

namespace {

// value / unit with two decimals, cut: whole numbers throughout, so no
// floating-point step can round 1023.999 up to 1024.00.
QString cutTwoDecimals(qint64 value, qint64 unit, const char* suffix)
{
    const qint64 hundredths = value / unit * 100 + value % unit * 100 / unit;
    return QStringLiteral("%1.%2").arg(hundredths / 100).arg(hundredths % 100, 2, 10, QLatin1Char('0'))
        + QLatin1String(suffix);
}

}  // namespace

QString sizeText(qint64 bytes)
{
    constexpr qint64 KB = 1024;
    constexpr qint64 MB = 1024 * 1024;
    if (bytes < 0)
        bytes = 0;
    if (bytes < KB)
        return QString::number(bytes) + QStringLiteral("BYTE");
    if (bytes < MB)
        return cutTwoDecimals(bytes, KB, "KB");
    return cutTwoDecimals(bytes, MB, "MB");
}
