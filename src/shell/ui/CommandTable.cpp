#include "shell/ui/CommandTable.h"

#include "archive/ExportGuard.h"
#include "archive/ui/BatchCommands.h"
#include "archive/ui/EditPanel.h"
#include "archive/ui/GroupTreePane.h"
#include "archive/ui/TrashWindow.h"
#include "archive/ui/ViewerWindows.h"
#include "listing/FileListModel.h"
#include "listing/ui/ExportExcelWindow.h"
#include "listing/ui/FieldOptionsWindow.h"
#include "listing/ui/FileListViews.h"
#include "platform/InstanceLock.h"
#include "settings/ui/ChangePasswordWindow.h"
#include "settings/ui/GlobalSettingsWindow.h"
#include "settings/ui/LogViewerWindow.h"
#include "settings/ui/OperatorWindow.h"
#include "settings/ui/SkinsWindow.h"
#include "shell/AppContext.h"
#include "shell/CommandRouter.h"
#include "shell/Commands.h"
#include "shell/StartupSequence.h"
#include "shell/ui/Banner.h"
#include "shell/ui/MainWindow.h"
#include "shell/ui/PermissionNotice.h"
#include "store/Rights.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QListView>
#include <QShortcut>
#include <QTableView>

namespace {

// What the record commands act on.
qint64 current(MainWindow& w)
{
    return w.list()->currentId();
}
QList<qint64> selected(MainWindow& w)
{
    return w.list()->selectedIds();
}
// The current record, or the first selected one.
qint64 currentOrFirst(MainWindow& w)
{
    const qint64 id = current(w);
    if (id >= 0)
        return id;
    const QList<qint64> ids = selected(w);
    return ids.isEmpty() ? -1 : ids.first();
}
// Every record of the list, once it has loaded.
QList<qint64> listed(MainWindow& w)
{
    w.list()->waitUntilLoaded();
    const FileListModel* m = w.list()->model();
    QList<qint64> ids;
    ids.reserve(m->rowCount());
    for (int row = 0; row < m->rowCount(); ++row)
        ids << m->idAt(row);
    return ids;
}
// The group the tree has selected; empty for the root.
QString selectedGroup(MainWindow& w)
{
    return w.tree()->isRootSelected() ? QString() : w.tree()->selectedPath();
}

// A window of the main window that stays while open: raised when it is
// there, made otherwise.
template <typename W, typename Make> void showOnce(MainWindow& w, Make make)
{
    if (W* open = w.findChild<W*>(QString(), Qt::FindDirectChildrenOnly); open && open->isVisible()) {
        open->raise();
        open->activateWindow();
        return;
    }
    W* window = make();
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowModality(Qt::WindowModal);
    window->show();
}

// The archive's folders, which no export writes into.
ExportGuard exportGuard(MainWindow& w)
{
    return ExportGuard(w.store(), StoreFolder(w.context().home));
}

void exportList(MainWindow& w)
{
    showOnce<ExportExcelWindow>(w, [&] {
        auto* window = new ExportExcelWindow(*w.list(), w.context().config, &w);
        window->setExportGuard(exportGuard(w));
        return window;
    });
}

void showLog(MainWindow& w)
{
    showOnce<LogViewerWindow>(w, [&] {
        auto* window = new LogViewerWindow(w.store(), w.context().currentOperator, &w);
        window->setExportGuard(exportGuard(w));
        window->setImportUndo(StoreFolder(w.context().home), &w.context().protectedGroups);
        return window;
    });
}

// The window "全局参数": what it saves applies to the main window at once;
// its "其他设置" buttons run their commands as the menus do (rights first).
void globalSettings(MainWindow& w)
{
    AppContext& c = w.context();
    GlobalSettingsWindow::ArchiveHooks hooks;
    // The locks stay held through a swap: the new Data folder's is taken
    // before it takes its name, the old ones go only after.
    hooks.close = [&w] { w.closeArchive(); };
    hooks.reopen = [&w, &c](std::shared_ptr<InstanceLock> lock) {
        if (lock) {
            c.instanceLocks.clear();
            c.instanceLocks.push_back(std::move(lock));
        }
        return w.reopenArchive();
    };
    hooks.reload = [&w] { w.showArchive(); };
    GlobalSettingsWindow s(w.store(), ArchivePlace::of(c.home, c.archive), hooks, &w);
    s.setOperator(c.currentOperator);
    s.setBannerWidth(w.banner()->width());
    QObject::connect(&s, &GlobalSettingsWindow::personalSaved, &w, [&w, &c](const MainSettings& saved) {
        c.mainSettings = saved;
        w.applyMainSettings();
    });
    QObject::connect(&s, &GlobalSettingsWindow::uploadRulesSaved, &w,
                     [&w, &c](const QString& types, const QString& size) {
                         c.fileTypes = types;
                         c.fileSize = size;
                         w.editPanel()->setFileLimits(types, size);
                     });
    QObject::connect(&s, &GlobalSettingsWindow::fieldOptionsRequested, &w, [&w, &s] {
        FieldOptionsWindow f(w.store(), &s);
        // New titles reach the edit panel and the list's headers at once.
        QObject::connect(&f, &FieldOptionsWindow::titlesChanged, &w, [&w] {
            w.editPanel()->reloadTitles();
            w.reloadList();
        });
        f.exec();
    });
    auto run = [&w](const char* id) { return [&w, id] { w.runCommand(QString::fromLatin1(id)); }; };
    QObject::connect(&s, &GlobalSettingsWindow::operatorsRequested, &w, run(Cmd::Operators));
    QObject::connect(&s, &GlobalSettingsWindow::changePasswordRequested, &w, run(Cmd::ChangePassword));
    QObject::connect(&s, &GlobalSettingsWindow::logRequested, &w, run(Cmd::SystemLog));
    QObject::connect(&s, &GlobalSettingsWindow::sortOrderRequested, &w, run(Cmd::FileSortOrder));
    s.exec();
}

// The window "回收站": its buttons ask for their own rights; records moved
// back show in the tree and the list at once.
void showTrash(MainWindow& w)
{
    showOnce<TrashWindow>(w, [&] {
        AppContext& c = w.context();
        auto* window = new TrashWindow(
            w.store(), Trash::Setup{c.archive, StoreFolder(c.home), c.currentOperator, c.protectedGroups}, &w);
        QObject::connect(window, &TrashWindow::restored, &w, [&w] {
            w.reloadTree();
            w.reloadList();
        });
        return window;
    });
}

void skins(MainWindow& w)
{
    SkinsWindow s(w.context().home.skinFolder(), w.context().config, &w);
    s.exec();
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
        {TreeBatchImport, Rights::BatchImport, [](MainWindow& w) { w.batch()->importInto(selectedGroup(w)); }},
        {TreeBatchExport, Rights::BatchExport, [](MainWindow& w) { w.batch()->exportGroup(selectedGroup(w)); }},
        {TreeBrowsePictures, Rights::BrowsePictures, [](MainWindow& w) { w.viewers()->browseGroup(selectedGroup(w)); }},
        {TreePlayMedia, Rights::PlayMedia, [](MainWindow& w) { w.viewers()->playGroup(selectedGroup(w)); }},
        {TreeMoveGroupFiles, Rights::Grouping, [](MainWindow& w) { w.batch()->moveGroupFiles(selectedGroup(w)); }},
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
        {FileTrash, {}, showTrash},
        {FileBatchModify, Rights::BatchModify, [](MainWindow& w) { w.batch()->modify(selected(w), listed(w)); }},
        {FileMoveToGroup, Rights::Modify, [](MainWindow& w) { w.batch()->moveRecords(selected(w)); }},
        {FileExportExcel, Rights::ExportList, exportList},
        {FileBrowsePictures, Rights::BrowsePictures,
         [](MainWindow& w) { w.viewers()->browseRecord(currentOrFirst(w)); }},
        {FilePlayMedia, Rights::PlayMedia, [](MainWindow& w) { w.viewers()->playRecord(currentOrFirst(w)); }},
        {FileChooseColumns, Rights::ChooseColumns, [](MainWindow& w) { w.list()->chooseColumns(); }},
        {FileSaveWidths, Rights::SaveWidths, [](MainWindow& w) { w.list()->saveWidths(); }},
        {FileSortOrder, Rights::SortOrder, [](MainWindow& w) { w.list()->chooseSortOrder(); }},
        {FileReposition, Rights::Reposition, [](MainWindow& w) { w.list()->reposition(); }},
        {FileProperties, Rights::Properties,
         [](MainWindow& w) { w.editPanel()->showProperties(current(w), w.currentName()); }},

        // Menu "设置"
        {GlobalSettings, Rights::GlobalSettings, globalSettings},
        {Cmd::Operators, Rights::Operators,
         [](MainWindow& w) {
             if (OperatorWindow::manage(w.store(), w.currentOperator(), &w))
                 w.requestRelogin();
         }},
        {ChangePassword,
         {},
         [](MainWindow& w) { ChangePasswordWindow::changeOwn(w.store(), w.currentOperator(), &w); }},
        {SystemLog, Rights::SystemLog, showLog},
        {Skins, {}, skins},

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

    // The keys of the views: Enter opens the row, Delete deletes the
    // selected rows (after the usual question), F2 renames the group.
    auto key = [w = &window](QWidget* on, const QKeySequence& k, const char* id) {
        auto* shortcut = new QShortcut(k, on);
        shortcut->setContext(Qt::WidgetShortcut);
        QObject::connect(shortcut, &QShortcut::activated, w, [w, id] { w->runCommand(QString::fromLatin1(id)); });
    };
    for (const QKeySequence& enter : {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}) {
        key(window.list()->reportView(), enter, Cmd::FileOpen);
        key(window.list()->iconView(), enter, Cmd::IconOpen);
    }
    key(window.list()->reportView(), QKeySequence(Qt::Key_Delete), Cmd::FileDelete);
    key(window.list()->iconView(), QKeySequence(Qt::Key_Delete), Cmd::FileDelete);
    key(window.tree(), QKeySequence(Qt::Key_F2), Cmd::TreeRenameGroup);
    // Shift+F10 opens a view's menu as the menu key does, at its current item.
    for (QAbstractItemView* view : std::initializer_list<QAbstractItemView*>{window.tree(), window.list()->reportView(),
                                                                             window.list()->iconView()}) {
        auto* shortcut = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), view);
        shortcut->setContext(Qt::WidgetShortcut);
        QObject::connect(shortcut, &QShortcut::activated, view, [view] {
            const QModelIndex at = view->currentIndex();
            const QPoint pos = at.isValid() ? view->visualRect(at).center() : view->viewport()->rect().center();
            QContextMenuEvent menu(QContextMenuEvent::Keyboard, pos, view->viewport()->mapToGlobal(pos));
            QCoreApplication::sendEvent(view, &menu);
        });
    }

    // A double-click on a list row opens it, as "打开" of the row's menu does.
    QObject::connect(window.list(), &FileListViews::recordActivated, &window, [w = &window](qint64, bool fromIcons) {
        w->runCommand(QString::fromLatin1(fromIcons ? Cmd::IconOpen : Cmd::FileOpen));
    });
    // Files dropped on a group are imported as "批量导入" imports: its right first.
    QObject::connect(window.tree(), &GroupTreePane::filesDropped, &window,
                     [r = &router, w = &window](const QString& group, const QStringList& paths) {
                         if (!r->allowed(QString::fromLatin1(Cmd::TreeBatchImport))) {
                             PermissionNotice::showNotice(w);
                             return;
                         }
                         w->batch()->importDropped(group, paths);
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
