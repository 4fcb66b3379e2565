#include "shell/Commands.h"

#include "store/Rights.h"

namespace Cmd {

const QList<Info>& all()
{
    static const QList<Info> table = {
        {Add, Rights::Add},
        {Delete, Rights::Delete},
        {Modify, Rights::Modify},
        {Save, {}},
        {Cancel, {}},
        {Search, Rights::Search},
        {SettingsMenu, {}},
        {About, {}},
        {Exit, {}},

        {TreeAddFile, Rights::Add},
        {TreeAddGroup, Rights::Grouping},
        {TreeRenameGroup, Rights::Grouping},
        {TreeDeleteGroup, Rights::Grouping},
        {TreeBatchImport, Rights::BatchImport},
        {TreeBatchExport, Rights::BatchExport},
        {TreeBrowsePictures, Rights::BrowsePictures},
        {TreePlayMedia, Rights::PlayMedia},
        {TreeMoveGroupFiles, {}},
        {TreeCopyGroup, {}},
        {TreeMoveUp, Rights::Grouping},
        {TreeMoveDown, Rights::Grouping},
        {TreeExpandAll, {}},
        {TreeCollapseAll, {}},
        {TreeSetPassword, Rights::SetPassword},

        {FileOpen, Rights::OpenFile},
        {FileSaveAs, Rights::SaveAs},
        {FileDelete, Rights::Delete},
        {FileBatchModify, Rights::BatchModify},
        {FileMoveToGroup, {}},
        {FileExportExcel, Rights::ExportList},
        {FileBrowsePictures, Rights::BrowsePictures},
        {FilePlayMedia, Rights::PlayMedia},
        {FileChooseColumns, Rights::ChooseColumns},
        {FileSaveWidths, Rights::SaveWidths},
        {FileSortOrder, Rights::SortOrder},
        {FileReposition, Rights::Reposition},
        {FileProperties, Rights::Properties},

        {GlobalSettings, Rights::GlobalSettings},
        {Operators, Rights::Operators},
        {ChangePassword, {}},
        {SystemLog, Rights::SystemLog},
        {Skins, {}},

        {IconOpen, Rights::OpenFile},
        {IconSaveAs, Rights::SaveAs},

        {ViewMode1, {}},
        {ViewMode2, {}},
        {ViewGuide, {}},
    };
    return table;
}

QString rightOf(const QString& id)
{
    for (const Info& i : all())
        if (id == QLatin1String(i.id))
            return i.right;
    return {};
}

bool isKnown(const QString& id)
{
    for (const Info& i : all())
        if (id == QLatin1String(i.id))
            return true;
    return false;
}

}  // namespace Cmd
