#pragma once

#include "archive/ExportGuard.h"
#include "platform/Result.h"

#include <QString>
#include <QStringList>
#include <functional>

class Progress;

// Export of a table of texts (the file list, the log) into a workbook: the
// refusals, the rows written through the workbook writer, and the place a
// workbook goes before the desktop's program opens it.
namespace WorkbookExport {

inline const QString NoColumnTitle = QStringLiteral("提示信息");
inline const QString NoColumn = QStringLiteral("没有选中列，不能进行导出操作。");
inline const QString EmptyList = QStringLiteral("当前列表为空，不能进行导出操作。");
inline const QString NoProgram =
    QStringLiteral("Excel 程序创建失败！可能没有安装Microsoft Office Excel 2000及以上版本。");
inline const QString TooManyRows = QStringLiteral("行数超过一个工作表能容纳的 1048576 行，不能进行导出操作。");
inline const QString WriteFailed = QStringLiteral("写入Excel文件失败!");
inline const QString SaveQuestion = QStringLiteral("没有能打开Excel文件的程序。要把导出的工作簿另存到别处吗?");
inline const QString SaveTitle = QStringLiteral("保存工作簿");
inline const QString SaveFilter = QStringLiteral("Excel 工作簿 (*.xlsx)");
inline const QString SaveFailed = QStringLiteral("保存工作簿失败!");
// The workbook was written, but others may still read it.
inline const QString NotPrivate = QStringLiteral("工作簿已写出，但未能设为仅本用户可读写。");

// "导出Excel -- " + progress + " ... 请等待..."
QString progressText(const QString& progress);

// What one export writes: rows of leading lines (a title, the headers),
// then `rows` rows whose cells cell(row, column) gives for each of
// `columns` columns.
struct Table {
    QList<QStringList> leading;
    qint64 rows = 0;
    int columns = 0;
    std::function<QString(qint64 row, int column)> cell;
    QString fontName;
    double columnWidth = 16;
};

// Writes table into a workbook at path (nothing there when it fails or is
// cancelled). progress gets the rows as range and each row written, and is
// asked between rows whether to stop. *cellsCut, when given, gets the
// number of cells cut to WorkbookWriter::MaxCellChars.
Status write(const Table& table, const QString& path, Progress* progress = nullptr, int* cellsCut = nullptr);
// "其中 <cells> 个单元格超过 32767 个字符，已截断"
QString cutText(int cells);

// A new path for a workbook in folder (a private folder, made when absent):
// baseName + "_" + the time + ".xlsx", never a file already there. A folder
// that is one of the archive's, or lies inside or above one, is refused
// (ExportGuard::FolderRefused) before anything is made.
Result<QString> newPath(const QString& folder, const QString& baseName, const ExportGuard& guard);

}  // namespace WorkbookExport
