#pragma once

#include <QString>
#include <functional>

class ExportGuard;
class QWidget;

// Hands a written workbook to the program the desktop associates with
// .xlsx. When there is none, says so ("Excel 程序创建失败！…") and offers to
// save the workbook elsewhere, so the work is not lost; never into the
// archive's folders (guard).
namespace WorkbookHandover {

// What hands a file to the desktop; false when it could not.
using Opener = std::function<bool(const QString& path)>;
// QDesktopServices::openUrl on the file.
Opener desktopOpener();

// True when the workbook was opened or saved elsewhere.
bool handOver(const QString& path, const Opener& opener, const ExportGuard& guard);

}
