#include "archive/Duplicates.h"

#include "archive/ProtectedGroups.h"

namespace Duplicates {

Result<Found> find(DataStore& store, const ProtectedGroups& open, const QString& sha256Hex)
{
    Found out;
    if (sha256Hex.isEmpty())
        return out;
    using Lookup = Result<std::optional<DuplicateRows::Holder>> (*)(DataStore&, const QString&);
    const struct {
        Lookup lookup;
        Found::Where where;
    } places[] = {{DuplicateRows::inRecords, Found::Where::Record},
                  {DuplicateRows::inTrash, Found::Where::Trash},
                  {DuplicateRows::inVersions, Found::Where::Version}};
    for (const auto& place : places) {
        const Result<std::optional<DuplicateRows::Holder>> found = place.lookup(store, sha256Hex);
        if (!found)
            return Result<Found>::fail(found.message(), found.detail());
        if (!found->has_value())
            continue;
        // A holder behind a closed protected group is not named; one in the
        // open is looked for in the places after it.
        if (open.isHidden(store, (*found)->group)) {
            out.where = Found::Where::Protected;
            continue;
        }
        out.where = place.where;
        out.holder = **found;
        return out;
    }
    return out;
}

QString text(const Found& found)
{
    const DuplicateRows::Holder& h = found.holder;
    switch (found.where) {
    case Found::Where::None:
        return {};
    case Found::Where::Protected:
        return InProtected;
    case Found::Where::Record:
        return QStringLiteral("该文件与已有文件内容相同: 文件编号 %1, 名称 %2, 分组 %3").arg(h.number, h.name, h.group);
    case Found::Where::Trash:
        return QStringLiteral("该文件与回收站中的文件内容相同: 文件编号 %1, 名称 %2, 原分组 %3")
            .arg(h.number, h.name, h.group);
    case Found::Where::Version:
        return QStringLiteral("该文件与%1文件的历史版本内容相同: 文件编号 %2 的第 %3 版, 名称 %4, 分组 %5")
            .arg(h.inTrash ? QStringLiteral("回收站中") : QStringLiteral("已有"), h.number, QString::number(h.version),
                 h.name, h.group);
    }
    return {};
}

QString question(const Found& found, const QString& fileName)
{
    const QString said = text(found);
    return (fileName.isEmpty() ? QString() : fileName + QStringLiteral("\r\n")) + said + QStringLiteral("\r\n")
        + Continue;
}

}  // namespace Duplicates
