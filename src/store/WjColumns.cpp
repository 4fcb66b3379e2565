#include "store/WjColumns.h"

namespace WjColumns {

QString spareColumn(int index)
{
    return QStringLiteral("b%1").arg(index + 1);
}

const QStringList& all()
{
    static const QStringList columns = [] {
        QStringList c{QStringLiteral("id"), QStringLiteral("xh"), QStringLiteral("bh"), QStringLiteral("mc"),
                      QStringLiteral("fz"), QStringLiteral("lx"), QStringLiteral("dx"), QStringLiteral("dxsz")};
        for (int i = 0; i < SpareCount; ++i)
            c << spareColumn(i);
        c << QStringLiteral("scr") << QStringLiteral("scsj") << QStringLiteral("xgr") << QStringLiteral("xgsj")
          << QStringLiteral("bz") << QStringLiteral("ylcs") << QStringLiteral("lj") << QStringLiteral("wj")
          << QStringLiteral("sha256");
        return c;
    }();
    return columns;
}

const QSet<QString>& nameable()
{
    static const QSet<QString> columns = [] {
        QSet<QString> s(all().cbegin(), all().cend());
        s.remove(QStringLiteral("wj"));
        return s;
    }();
    return columns;
}

QString canonical(const QString& column)
{
    const QString c = column.trimmed().toLower();
    return nameable().contains(c) ? c : QString();
}

}  // namespace WjColumns
