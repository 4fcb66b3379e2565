#pragma once

#include <QString>
#include <functional>
#include <optional>

class ExportGuard;
class QWidget;

// Hands a written workbook to the program the desktop associates with
// .xlsx. When there is none, says so ("Excel 程序创建失败！…") and offers to
// save the workbook elsewhere, so the work is not lost; never into the
// archive's folders (guard).
namespace WorkbookHandover {

// What hands a file to the desktop; false when it could not.
using Opener = std::function<bool(const QString& path)>;
// The program the desktop associates with workbooks: empty when there is
// none, nullopt when the desktop cannot say.
using Association = std::function<std::optional<QString>()>;
// What `xdg-mime query default` names for the workbook type (on desktops
// that have xdg-mime; nullopt elsewhere).
std::optional<QString> xdgAssociation();
// QDesktopServices::openUrl on the file, unless `association` says that no
// program takes workbooks: the desktop's opener then fails where Qt would
// report that it started.
Opener desktopOpener(Association association = xdgAssociation);

// True when the workbook was opened or saved elsewhere. When it could not be
// opened, the offer to save it elsewhere has "是" as its default button.
bool handOver(const QString& path, const Opener& opener, const ExportGuard& guard);

}
