#include "platform/WorkbookWriter.h"

#include "platform/FileCopy.h"

#include <QFile>
#include <QRegularExpression>

#include <xlsxwriter.h>

WorkbookWriter::WorkbookWriter() = default;

WorkbookWriter::~WorkbookWriter()
{
    discard();
}

QString WorkbookWriter::columnName(int column)
{
    QString name;
    for (int n = column + 1; n > 0; n = (n - 1) / 26)
        name.prepend(QChar(u'A' + (n - 1) % 26));
    return name;
}

Status WorkbookWriter::open(const QString& path, const QString& fontName)
{
    discard();
    m_target = path;
    m_temporary = FileCopy::temporaryNameFor(path);
    QFile::remove(m_temporary);
    lxw_workbook_options options = {};
    options.constant_memory = LXW_TRUE;
    options.use_zip64 = LXW_TRUE;
    const QByteArray name = QFile::encodeName(m_temporary);
    m_book = workbook_new_opt(name.constData(), &options);
    if (!m_book)
        return Status::fail(WriteFailed, QStringLiteral("workbook_new_opt failed for %1").arg(m_temporary));
    m_sheet = workbook_add_worksheet(m_book, nullptr);
    m_format = workbook_add_format(m_book);
    if (!m_sheet || !m_format) {
        discard();
        return Status::fail(WriteFailed, QStringLiteral("cannot add a worksheet"));
    }
    // Excel's own text format "@" (built-in number format 49).
    format_set_num_format_index(m_format, 49);
    if (!fontName.isEmpty())
        format_set_font_name(m_format, fontName.toUtf8().constData());
    m_row = 0;
    m_cut = 0;
    return {};
}

void WorkbookWriter::setColumns(int count, double width)
{
    if (!m_sheet || count <= 0)
        return;
    worksheet_set_column(m_sheet, 0, lxw_col_t(qMin(count, MaxColumns) - 1), width, m_format);
}

QString WorkbookWriter::escaped(const QString& text)
{
    // Spreadsheet programs read "_xHHHH_" in a cell's text as the character
    // HHHH; the writer itself turns only control characters into it. A text
    // that holds such a sequence keeps it by its "_" written as "_x005F_".
    if (!text.contains(QLatin1String("_x"), Qt::CaseInsensitive))
        return text;
    static const QRegularExpression encoded(QStringLiteral("_(?=[xX][0-9A-Fa-f]{4}_)"));
    QString out = text;
    out.replace(encoded, QStringLiteral("_x005F_"));
    return out;
}

Status WorkbookWriter::writeRow(const QStringList& cells)
{
    if (!m_sheet)
        return Status::fail(WriteFailed, QStringLiteral("no workbook open"));
    if (m_row >= MaxRows)
        return Status::fail(WriteFailed, QStringLiteral("more than %1 rows").arg(MaxRows));
    if (cells.size() > MaxColumns)
        return Status::fail(WriteFailed, QStringLiteral("more than %1 columns").arg(MaxColumns));
    for (int c = 0; c < cells.size(); ++c) {
        QString text = cells.at(c);
        if (text.size() > MaxCellChars) {
            text.truncate(MaxCellChars);
            if (text.back().isHighSurrogate())
                text.chop(1);
            ++m_cut;
        }
        const QByteArray utf8 = escaped(text).toUtf8();
        const lxw_error e = worksheet_write_string(m_sheet, lxw_row_t(m_row), lxw_col_t(c), utf8.constData(), m_format);
        if (e != LXW_NO_ERROR)
            return Status::fail(WriteFailed,
                                QStringLiteral("cell %1%2: %3")
                                    .arg(columnName(c))
                                    .arg(m_row + 1)
                                    .arg(QString::fromUtf8(lxw_strerror(e))));
    }
    ++m_row;
    return {};
}

Status WorkbookWriter::finish()
{
    if (!m_book)
        return Status::fail(WriteFailed, QStringLiteral("no workbook open"));
    lxw_workbook* book = m_book;
    m_book = nullptr;
    m_sheet = nullptr;
    m_format = nullptr;

    // workbook_close packs the sheet and frees the workbook, whatever its
    // outcome. It takes its time on a long sheet: a window runs the export
    // as a job, off its own thread.
    const lxw_error error = workbook_close(book);
    if (error != LXW_NO_ERROR) {
        QFile::remove(m_temporary);
        return Status::fail(WriteFailed,
                            QStringLiteral("%1: %2").arg(m_temporary, QString::fromUtf8(lxw_strerror(error))));
    }
    if (const Status moved = FileCopy::move(m_temporary, m_target, FileCopy::Replace::Allowed); !moved) {
        QFile::remove(m_temporary);
        return Status::fail(WriteFailed, moved.detail());
    }
    m_temporary.clear();
    return {};
}

void WorkbookWriter::discard()
{
    if (m_book) {
        // Closing is the only way to free it; what it wrote goes.
        workbook_close(m_book);
        m_book = nullptr;
        m_sheet = nullptr;
        m_format = nullptr;
    }
    if (!m_temporary.isEmpty()) {
        QFile::remove(m_temporary);
        m_temporary.clear();
    }
}
