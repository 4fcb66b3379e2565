#pragma once

#include <QString>

// The ids of every command of the main window: toolbar labels, popup-menu
// entries and buttons. The command table (shell/ui/CommandTable.cpp) gives
// each its right and the slot that carries it out.
namespace Cmd {

// Toolbar
inline constexpr const char* Add = "add";
inline constexpr const char* Delete = "delete";
inline constexpr const char* Modify = "modify";
inline constexpr const char* Save = "save";
inline constexpr const char* Cancel = "cancel";
inline constexpr const char* Search = "search";
inline constexpr const char* SettingsMenu = "settingsMenu";
inline constexpr const char* About = "about";
inline constexpr const char* Exit = "exit";

// Menu "树"
inline constexpr const char* TreeAddFile = "tree.addFile";
inline constexpr const char* TreeAddGroup = "tree.addGroup";
inline constexpr const char* TreeRenameGroup = "tree.renameGroup";
inline constexpr const char* TreeDeleteGroup = "tree.deleteGroup";
inline constexpr const char* TreeBatchImport = "tree.batchImport";
inline constexpr const char* TreeBatchExport = "tree.batchExport";
inline constexpr const char* TreeBrowsePictures = "tree.browsePictures";
inline constexpr const char* TreePlayMedia = "tree.playMedia";
inline constexpr const char* TreeMoveGroupFiles = "tree.moveGroupFiles";
inline constexpr const char* TreeCopyGroup = "tree.copyGroup";
inline constexpr const char* TreeMoveUp = "tree.moveUp";
inline constexpr const char* TreeMoveDown = "tree.moveDown";
inline constexpr const char* TreeExpandAll = "tree.expandAll";
inline constexpr const char* TreeCollapseAll = "tree.collapseAll";
inline constexpr const char* TreeSetPassword = "tree.setPassword";

// Menu "文件"
inline constexpr const char* FileOpen = "file.open";
inline constexpr const char* FileSaveAs = "file.saveAs";
inline constexpr const char* FileDelete = "file.delete";
inline constexpr const char* FileTrash = "file.trash";
inline constexpr const char* FileBatchModify = "file.batchModify";
inline constexpr const char* FileMoveToGroup = "file.moveToGroup";
inline constexpr const char* FileExportExcel = "file.exportExcel";
inline constexpr const char* FileBrowsePictures = "file.browsePictures";
inline constexpr const char* FilePlayMedia = "file.playMedia";
inline constexpr const char* FileChooseColumns = "file.chooseColumns";
inline constexpr const char* FileSaveWidths = "file.saveWidths";
inline constexpr const char* FileSortOrder = "file.sortOrder";
inline constexpr const char* FileReposition = "file.reposition";
inline constexpr const char* FileProperties = "file.properties";

// Menu "设置"
inline constexpr const char* GlobalSettings = "settings.global";
inline constexpr const char* Operators = "settings.operators";
inline constexpr const char* ChangePassword = "settings.changePassword";
inline constexpr const char* SystemLog = "settings.log";
inline constexpr const char* Skins = "settings.skins";

// Menu "图标菜单"
inline constexpr const char* IconOpen = "icon.open";
inline constexpr const char* IconSaveAs = "icon.saveAs";

// Menu "界面" ("全局参数" there is GlobalSettings)
inline constexpr const char* ViewMode1 = "view.mode1";
inline constexpr const char* ViewMode2 = "view.mode2";
inline constexpr const char* ViewGuide = "view.guide";

}  // namespace Cmd
