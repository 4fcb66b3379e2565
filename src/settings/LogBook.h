#pragma once

#include "platform/Result.h"
#include "store/LogRows.h"

#include <QDate>
#include <QList>
#include <QString>

class CurrentOperator;
class DataStore;
class Progress;

// The operation log (table rz) as the log viewer reads, exports and prunes it.
namespace LogBook {

inline const QString DeletedPrefix = QStringLiteral("删除日志：");
inline const QString EmptyExport = QStringLiteral("当前列表为空! 不能进行导出操作");
inline const QString EmptyPrint = QStringLiteral("当前内容为空，不能进行导出操作。");
inline const QString DeleteTitle = QStringLiteral(" 提示");
inline const QString DeleteDone = QStringLiteral("清除日志成功!");
inline const QString DeleteFailed = QStringLiteral("删除日志失败!");
inline const QString ReadFailed = QStringLiteral("读取日志失败!");
inline const QString FontName = QStringLiteral("宋体");
inline const QStringList Titles = {QStringLiteral("操作时间"), QStringLiteral("操作员"), QStringLiteral("操作内容")};

// "确定清除 " + first + " 至 " + last + " 的日志吗?"
QString deleteQuestion(const QDate& first, const QDate& last);
// first + " - " + last + " 操作日志"
QString exportTitle(const QDate& first, const QDate& last);
// Dates as the statements and texts write them: yyyy-MM-dd.
QString dayText(const QDate& d);

// Which lines: the days first..last (by the first ten characters of sj),
// and, when not empty, an operator and a content that occur anywhere in
// czy and nr (matched as typed: "%" and "_" stand for themselves).
using Filter = LogFilter;
using Line = LogRows::Line;
// How many lines the filter holds and the span of their ids.
using Extent = LogRows::Extent;
Result<Extent> extent(DataStore& store, const Filter& filter);
// Number of lines the filter holds.
Result<qint64> count(DataStore& store, const Filter& filter);
// Up to `limit` lines, newest first, of those older than beforeId (0: from
// the newest) and not older than firstId (0: no bound). The lines are
// walked in the order of their ids, which needs no sorting however many
// the filter holds; firstId (from extent()) keeps the walk inside the
// filter's span.
Result<QList<Line>> read(DataStore& store, const Filter& filter, qint64 beforeId, int limit, qint64 firstId = 0);

// The user names of the operators that may log in (czygl.zt '可用').
QStringList usableOperators(DataStore& store);

// Deletes the lines of the days first..last and writes one line of its own
// ("删除日志：" + the range + the number removed) when any went; all or
// nothing. The number of lines removed.
Result<qint64> deleteRange(DataStore& store, const CurrentOperator& op, const QDate& first, const QDate& last);

// Writes the lines of the filter into a workbook at path: the title line,
// the three titles, then every line newest first, in the font "宋体".
// *cellsCut, when given, gets the number of cells cut to the characters a
// cell holds (as WorkbookExport::write counts them).
Status exportTo(DataStore& store, const Filter& filter, const QString& path, Progress* progress = nullptr,
                int* cellsCut = nullptr);

}  // namespace LogBook
