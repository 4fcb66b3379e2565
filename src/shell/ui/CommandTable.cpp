#include "shell/ui/CommandTable.h"

#include "archive/ui/EditPanel.h"
#include "archive/ui/GroupTreePane.h"
#include "listing/ui/FileListViews.h"
#include "shell/CommandRouter.h"
#include "shell/Commands.h"
#include "shell/ui/MainWindow.h"
#include "shell/ui/PermissionNotice.h"
#include "store/Rights.h"

namespace {

// What the record commands act on.
qint64 current(MainWindow& w) { return w.list()->currentId(); }
QList<qint64> selected(MainWindow& w) { return w.list()->selectedIds(); }
// The current record, or the first selected one.
qint64 currentOrFirst(MainWindow& w)
{
    const qint64 id = current(w);
    if (id >= 0)
        return id;
    const QList<qint64> ids = selected(w);
    return ids.isEmpty() ? -1 : ids.first();
}
// The group the tree has selected; empty for the root.
QString selectedGroup(MainWindow& w)
{
    return w.tree()->isRootSelected() ? QString() : w.tree()->selectedPath();
}

}  // namespace

namespace CommandTable {

const QList<Entry>& entries()
{
    using namespace Cmd;
    static const QList<Entry> table = {
        // Toolbar
        {Add, Rights::Add, [](MainWindow& w) { w.editPanel()->startAdd(); }},
        {Delete, Rights::Delete, [](MainWindow& w) { w.editPanel()->deleteRecords(selected(w)); }},
        {Modify, Rights::Modify, [](MainWindow& w) { w.editPanel()->startModify(current(w)); }},
        {Save, {}, [](MainWindow& w) { w.editPanel()->save(); }},
        {Cancel, {}, [](MainWindow& w) { w.editPanel()->cancel(current(w)); }},
        {Search, Rights::Search, [](MainWindow& w) { w.list()->search(w.operatorName()); }},
        {SettingsMenu, {}, [](MainWindow& w) { w.popupSettingsMenu(); }},
        {About, {}, [](MainWindow& w) { w.showAbout(); }},
        {Exit, {}, [](MainWindow& w) { w.requestExit(); }},

        // Menu "树"
        {TreeAddFile, Rights::Add, [](MainWindow& w) { w.editPanel()->startAdd(selectedGroup(w)); }},
        {TreeAddGroup, Rights::Grouping, [](MainWindow& w) { w.tree()->addGroup(); }},
        {TreeRenameGroup, Rights::Grouping, [](MainWindow& w) { w.tree()->renameGroup(); }},
        {TreeDeleteGroup, Rights::Grouping, [](MainWindow& w) { w.tree()->deleteGroup(); }},
        {TreeBatchImport, Rights::BatchImport, nullptr},
        {TreeBatchExport, Rights::BatchExport, nullptr},
        {TreeBrowsePictures, Rights::BrowsePictures, nullptr},
        {TreePlayMedia, Rights::PlayMedia, nullptr},
        {TreeMoveGroupFiles, {}, nullptr},
        {TreeCopyGroup, {}, [](MainWindow& w) { w.tree()->copyGroup(); }},
        {TreeMoveUp, Rights::Grouping, [](MainWindow& w) { w.tree()->moveUp(); }},
        {TreeMoveDown, Rights::Grouping, [](MainWindow& w) { w.tree()->moveDown(); }},
        {TreeExpandAll, {}, [](MainWindow& w) { w.tree()->expandAll(); }},
        {TreeCollapseAll, {}, [](MainWindow& w) { w.tree()->collapseAll(); }},
        {TreeSetPassword, Rights::SetPassword, [](MainWindow& w) { w.tree()->setPassword(); }},

        // Menu "文件"
        {FileOpen, Rights::OpenFile, [](MainWindow& w) { w.editPanel()->openRecord(currentOrFirst(w)); }},
        {FileSaveAs, Rights::SaveAs, [](MainWindow& w) { w.editPanel()->saveAs(currentOrFirst(w)); }},
        {FileDelete, Rights::Delete, [](MainWindow& w) { w.editPanel()->deleteRecords(selected(w)); }},
        {FileBatchModify, Rights::BatchModify, nullptr},
        {FileMoveToGroup, {}, nullptr},
        {FileExportExcel, Rights::ExportList, nullptr},
        {FileBrowsePictures, Rights::BrowsePictures, nullptr},
        {FilePlayMedia, Rights::PlayMedia, nullptr},
        {FileChooseColumns, Rights::ChooseColumns, [](MainWindow& w) { w.list()->chooseColumns(); }},
        {FileSaveWidths, Rights::SaveWidths, [](MainWindow& w) { w.list()->saveWidths(); }},
        {FileSortOrder, Rights::SortOrder, [](MainWindow& w) { w.list()->chooseSortOrder(); }},
        {FileReposition, Rights::Reposition, [](MainWindow& w) { w.list()->reposition(); }},
        {FileProperties, Rights::Properties, [](MainWindow& w) { w.editPanel()->showProperties(current(w), w.currentName()); }},

        // Menu "设置"
        {GlobalSettings, Rights::GlobalSettings, nullptr},
        {Operators, Rights::Operators, nullptr},
        {ChangePassword, {}, nullptr},
        {SystemLog, Rights::SystemLog, nullptr},
        {Skins, {}, nullptr},

        // Menu "图标菜单"
        {IconOpen, Rights::OpenFile, [](MainWindow& w) { w.editPanel()->openRecord(currentOrFirst(w)); }},
        {IconSaveAs, Rights::SaveAs, [](MainWindow& w) { w.editPanel()->saveAs(currentOrFirst(w)); }},

        // Menu "界面" ("全局参数" there is GlobalSettings)
        {ViewMode1, {}, [](MainWindow& w) { w.setDisplayMode(1); }},
        {ViewMode2, {}, [](MainWindow& w) { w.setDisplayMode(2); }},
        {ViewGuide, {}, [](MainWindow& w) { w.showGuide(); }},
    };
    return table;
}

QString rightOf(const QString& id)
{
    for (const Entry& e : entries())
        if (id == QLatin1String(e.id))
            return e.right;
    return {};
}

void wire(CommandRouter& router, MainWindow& window)
{
    for (const Entry& e : entries()) {
        std::function<void()> handler;
        if (e.run)
            handler = [run = e.run, w = &window] { run(*w); };
        router.add(QString::fromLatin1(e.id), e.right, std::move(handler));
    }

    // A double-click on a list row opens it, as "打开" of the row's menu does.
    QObject::connect(window.list(), &FileListViews::recordActivated, &window, [w = &window](qint64, bool fromIcons) {
        w->runCommand(QString::fromLatin1(fromIcons ? Cmd::IconOpen : Cmd::FileOpen));
    });
    // An opened record whose kept file is gone, which the operator chose not
    // to keep, goes as "删除文件" would delete it: its right first.
    QObject::connect(window.editPanel(), &EditPanel::deleteRequested, &window, [r = &router, w = &window](qint64 id) {
        if (!r->allowed(QString::fromLatin1(Cmd::FileDelete))) {
            PermissionNotice::showNotice(w);
            return;
        }
        w->editPanel()->deleteRecords({id});
    });
}

}  // namespace CommandTable
