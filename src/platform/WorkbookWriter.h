#pragma once

#include "platform/Result.h"

#include <QString>
#include <QStringList>

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

// Writes a real .xlsx workbook (one worksheet) row by row through
// libxlsxwriter in its constant-memory mode: each row goes to disk as it is
// written, so a long list costs little memory. Every cell carries the text
// number format "@", so a value arrives exactly as given (leading zeros,
// long digit strings, date-like texts).
//
// The workbook is written under a temporary name beside the target and
// renamed into place by finish(); a failed, cancelled or abandoned
// workbook leaves no file behind.
//
//   WorkbookWriter w;
//   if (Status s = w.open(path); !s) ...
//   w.writeRow({"编号", "名称"}); ...
//   Status done = w.finish();
class WorkbookWriter {
public:
    static inline const QString WriteFailed = QStringLiteral("写入工作簿失败!");
    static constexpr int MaxRows = 1048576;  // rows of one worksheet
    static constexpr int MaxColumns = 16384;
    static constexpr int MaxCellChars = 32767;  // characters one cell holds

    WorkbookWriter();
    ~WorkbookWriter();
    WorkbookWriter(const WorkbookWriter&) = delete;
    WorkbookWriter& operator=(const WorkbookWriter&) = delete;

    // Starts a workbook that finish() puts at `path`. fontName, when given,
    // is the font of every cell.
    Status open(const QString& path, const QString& fontName = {});
    // Writes the next row, from column A on. A text longer than a cell
    // holds is cut to MaxCellChars (cellsCut() counts them); a text holding
    // "_xHHHH_" reads back as it was given (escaped()). Fails past the
    // sheet's last row.
    Status writeRow(const QStringList& cells);
    int cellsCut() const { return m_cut; }
    // text with every "_" that begins "_xHHHH_" written "_x005F_", the way
    // a workbook's text keeps such a sequence literally.
    static QString escaped(const QString& text);
    // Gives columns 0..count-1 the text format and a width in characters,
    // so that what is typed there later stays text too.
    void setColumns(int count, double width);
    int rowsWritten() const { return m_row; }

    // Packs the workbook and renames it into place (replacing a file there).
    Status finish();
    // Drops the workbook under way and removes what was written.
    void discard();

    // A column's letters: 0 -> "A", 25 -> "Z", 26 -> "AA" …
    static QString columnName(int column);

private:
    lxw_workbook* m_book = nullptr;
    lxw_worksheet* m_sheet = nullptr;
    lxw_format* m_format = nullptr;
    QString m_target;
    QString m_temporary;
    int m_row = 0;
    int m_cut = 0;
};
