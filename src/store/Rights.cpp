#include "store/Rights.h"

#include <QRegularExpression>

namespace Rights {

QStringList all()
{
    return {Add,       Modify,        Delete,     BatchImport, BatchExport,    BatchModify, Grouping,       SetPassword,
            Search,    ExportList,    OpenFile,   SaveAs,      BrowsePictures, PlayMedia,   GlobalSettings, Operators,
            SystemLog, ChooseColumns, SaveWidths, SortOrder,   Reposition,     Properties};
}

QStringList split(const QString& rightsText)
{
    static const QRegularExpression sep(QStringLiteral("[,，;；|\\s]+"));
    return rightsText.split(sep, Qt::SkipEmptyParts);
}

QString join(const QStringList& names)
{
    return names.join(QLatin1Char(','));
}

bool holds(const QString& rightsText, const QString& right)
{
    if (right.isEmpty())
        return true;
    return split(rightsText).contains(right);
}

}
