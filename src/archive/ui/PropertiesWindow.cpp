#include "archive/ui/PropertiesWindow.h"
#include "platform/ui/OuterSize.h"

#include "archive/FileRecords.h"

#include <QAction>
#include <QHeaderView>
#include <QPrintDialog>
#include <QPrinter>
#include <QRadioButton>
#include <QTableWidget>
#include <QTextDocument>
#include <QToolBar>

PropertiesWindow::PropertiesWindow(FileRecords& records, qint64 id, QWidget* parent)
    : QDialog(parent), m_records(records), m_id(id)
{
    setWindowTitle(QStringLiteral("文件属性"));
    OuterSize::fix(this, {310, 470});

    m_brief = new QRadioButton(QStringLiteral("精简属性"), this);
    m_brief->setObjectName(QStringLiteral("精简属性"));
    m_brief->setGeometry(8, 0, 88, 24);
    m_detailed = new QRadioButton(QStringLiteral("详细属性"), this);
    m_detailed->setObjectName(QStringLiteral("详细属性"));
    m_detailed->setGeometry(96, 0, 88, 24);
    m_brief->setChecked(true);

    m_toolbar = new QToolBar(this);
    m_toolbar->setObjectName(QStringLiteral("工具条1"));
    m_toolbar->setGeometry(232, 0, 72, 24);
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    QAction* print = m_toolbar->addAction(QStringLiteral("打印"));
    print->setObjectName(QStringLiteral("打印"));
    print->setToolTip(QStringLiteral("打印属性页"));
    connect(print, &QAction::triggered, this, &PropertiesWindow::print);

    m_grid = new QTableWidget(this);
    m_grid->setObjectName(QStringLiteral("高级表格1"));
    m_grid->setGeometry(0, 24, 304, 416);
    m_grid->setColumnCount(2);
    m_grid->setHorizontalHeaderLabels({QStringLiteral("属性"), QStringLiteral("值")});
    m_grid->verticalHeader()->hide();
    m_grid->horizontalHeader()->setStretchLastSection(true);
    m_grid->setColumnWidth(0, 90);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setWordWrap(true);

    connect(m_brief, &QRadioButton::toggled, this, &PropertiesWindow::reload);
    reload();
}

bool PropertiesWindow::isDetailed() const
{
    return m_detailed->isChecked();
}

void PropertiesWindow::reload()
{
    const auto read = m_records.properties(m_id, isDetailed());
    m_grid->setRowCount(0);
    if (!read || !read.value())
        return;
    const auto& rows = read.value();
    m_grid->setRowCount(int(rows->size()));
    for (int i = 0; i < rows->size(); ++i) {
        m_grid->setItem(i, 0, new QTableWidgetItem(rows->at(i).first));
        QString value = rows->at(i).second;
        // 64 hex digits have no place to wrap: lines of 16, the whole on hover.
        if (rows->at(i).first == FileRecords::ContentHashTitle) {
            QStringList lines;
            for (qsizetype at = 0; at < value.size(); at += 16)
                lines << value.mid(at, 16);
            value = lines.join(QLatin1Char('\n'));
        }
        auto* item = new QTableWidgetItem(value);
        item->setToolTip(rows->at(i).second);
        m_grid->setItem(i, 1, item);
    }
    m_grid->resizeRowsToContents();
}

bool PropertiesWindow::printTo(QPrinter& printer)
{
    QString html = QStringLiteral("<h3>%1</h3><table border=1 cellspacing=0 cellpadding=4>")
                       .arg(QStringLiteral("文件属性").toHtmlEscaped());
    for (int i = 0; i < m_grid->rowCount(); ++i) {
        const QString name = m_grid->item(i, 0) ? m_grid->item(i, 0)->text() : QString();
        const QString value = m_grid->item(i, 1) ? m_grid->item(i, 1)->text() : QString();
        html += QStringLiteral("<tr><td>%1</td><td>%2</td></tr>").arg(name.toHtmlEscaped(), value.toHtmlEscaped());
    }
    html += QStringLiteral("</table>");
    QTextDocument doc;
    doc.setHtml(html);
    doc.print(&printer);
    return printer.printerState() != QPrinter::Error;
}

void PropertiesWindow::print()
{
    QPrinter printer(QPrinter::HighResolution);
    if (!m_printTarget.isEmpty()) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(m_printTarget);
        printTo(printer);
        return;
    }
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() == QDialog::Accepted)
        printTo(printer);
}
