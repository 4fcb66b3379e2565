#include "listing/WorkbookExport.h"

#include "archive/FileOpening.h"
#include "platform/Clock.h"
#include "platform/PrivateFolder.h"
#include "platform/Progress.h"
#include "platform/WorkbookWriter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

namespace WorkbookExport {

QString progressText(const QString& progress)
{
    return QStringLiteral("导出Excel -- ") + progress + QStringLiteral(" ... 请等待...");
}

QString cutText(int cells)
{
    return QStringLiteral("其中 %1 个单元格超过 %2 个字符，已截断").arg(cells).arg(WorkbookWriter::MaxCellChars);
}

Status write(const Table& table, const QString& path, Progress* progress, int* cellsCut)
{
    if (cellsCut)
        *cellsCut = 0;
    if (table.leading.size() + table.rows > WorkbookWriter::MaxRows)
        return Status::fail(TooManyRows, QStringLiteral("%1 rows").arg(table.leading.size() + table.rows));
    WorkbookWriter writer;
    if (const Status opened = writer.open(path, table.fontName); !opened)
        return Status::fail(WriteFailed, opened.detail());
    writer.setColumns(table.columns, table.columnWidth);
    for (const QStringList& line : table.leading)
        if (const Status s = writer.writeRow(line); !s)
            return Status::fail(WriteFailed, s.detail());

    if (progress) {
        progress->setRange(0, table.rows);
        progress->setValue(0);
    }
    // The window is served every few milliseconds, not after every row:
    // asking it costs more than writing a row.
    QElapsedTimer sinceServed;
    sinceServed.start();
    QStringList cells;
    for (qint64 r = 0; r < table.rows; ++r) {
        cells.clear();
        for (int c = 0; c < table.columns; ++c)
            cells.append(table.cell(r, c));
        if (const Status s = writer.writeRow(cells); !s)
            return Status::fail(WriteFailed, s.detail());
        if (progress && sinceServed.elapsed() >= 30) {
            sinceServed.restart();
            progress->setValue(r + 1);
            if (progress->cancelled())
                return Status::cancel();
        }
    }
    if (progress) {
        progress->setValue(table.rows);
        if (progress->cancelled())
            return Status::cancel();
    }
    if (const Status done = writer.finish(); !done)
        return Status::fail(PrivateFolder::withCause(WriteFailed, done.detail()), done.detail());
    if (cellsCut)
        *cellsCut = writer.cellsCut();
    return {};
}

Result<QString> newPath(const QString& folder, const QString& baseName, const ExportGuard& guard)
{
    if (const Status allowed = guard.checkFolder(folder); !allowed)
        return Result<QString>::fail(allowed.message(), allowed.detail());
    if (const Status made = PrivateFolder::ensure(folder); !made)
        return Result<QString>::fail(WriteFailed, made.detail());
    const QString stamp = appClock().now().toString(QStringLiteral("yyyyMMdd_hhmmss"));
    const QDir dir(folder);
    for (int n = 1; n < 1000; ++n) {
        const QString name = baseName + QLatin1Char('_') + stamp + (n > 1 ? QStringLiteral("_%1").arg(n) : QString());
        const QString path = dir.filePath(FileOpening::safeFileName(name, QStringLiteral("xlsx")));
        if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
            return path;
    }
    return Result<QString>::fail(WriteFailed, QStringLiteral("no free name in %1").arg(folder));
}

}  // namespace WorkbookExport
