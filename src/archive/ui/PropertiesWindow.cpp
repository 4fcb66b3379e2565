#include "archive/ui/PropertiesWindow.h"
#include "platform/ui/OuterSize.h"

#include "archive/FileOpening.h"
#include "archive/FileRecords.h"
#include "archive/Versions.h"
#include "platform/ProgramHome.h"
#include "platform/Prompter.h"
#include "store/CurrentOperator.h"
#include "store/LogWriter.h"
#include "store/Rights.h"
#include "store/SizeText.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QPushButton>
#include <QUrl>
#include <QHeaderView>
#include <QPrintDialog>
#include <QPrinter>
#include <QRadioButton>
#include <QFontMetrics>
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
    m_brief->setGeometry(8, 0, 76, 24);
    m_detailed = new QRadioButton(QStringLiteral("详细属性"), this);
    m_detailed->setObjectName(QStringLiteral("详细属性"));
    m_detailed->setGeometry(84, 0, 76, 24);
    m_history = new QRadioButton(QStringLiteral("历史版本"), this);
    m_history->setObjectName(QStringLiteral("历史版本"));
    m_history->setGeometry(160, 0, 76, 24);
    m_brief->setChecked(true);

    m_toolbar = new QToolBar(this);
    m_toolbar->setObjectName(QStringLiteral("工具条1"));
    m_toolbar->setGeometry(240, 0, 64, 24);
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

    // "历史版本": the versions in place of the grid, and what to do with one.
    m_versions = new QTableWidget(this);
    m_versions->setObjectName(QStringLiteral("版本列表"));
    m_versions->setGeometry(0, 24, 304, 384);
    m_versions->setColumnCount(5);
    m_versions->setHorizontalHeaderLabels({QStringLiteral("版本"), QStringLiteral("修改人"), QStringLiteral("修改时间"),
                                           QStringLiteral("文件大小"), QStringLiteral("SHA-256")});
    m_versions->verticalHeader()->hide();
    // One line a version: number, operator, time and size in full within the
    // window's width, the hash by scrolling.
    const QFontMetrics metrics(m_versions->font());
    const auto fits = [&metrics](const QString& sample) { return metrics.horizontalAdvance(sample) + 12; };
    m_versions->setColumnWidth(0, fits(QStringLiteral("版本")));
    m_versions->setColumnWidth(1, fits(QStringLiteral("修改人")));
    m_versions->setColumnWidth(2, fits(QStringLiteral("2026-12-10 15:07:22")));
    m_versions->setColumnWidth(3, fits(QStringLiteral("1023BYTES")));
    m_versions->setWordWrap(false);
    m_versions->setColumnWidth(4, 160);
    m_versions->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_versions->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_versions->setSelectionMode(QAbstractItemView::SingleSelection);
    m_open = new QPushButton(QStringLiteral("打开"), this);
    m_open->setObjectName(QStringLiteral("打开版本按钮"));
    m_open->setGeometry(4, 412, 56, 24);
    m_save = new QPushButton(QStringLiteral("另存为"), this);
    m_save->setObjectName(QStringLiteral("另存版本按钮"));
    m_save->setGeometry(64, 412, 64, 24);
    m_restore = new QPushButton(QStringLiteral("恢复为当前版本"), this);
    m_restore->setObjectName(QStringLiteral("恢复版本按钮"));
    m_restore->setGeometry(132, 412, 112, 24);
    // Each with the right of the command it stands for.
    const CurrentOperator& op = m_records.currentOperator();
    m_open->setEnabled(op.holds(Rights::OpenFile));
    m_save->setEnabled(op.holds(Rights::SaveAs));
    m_restore->setEnabled(op.holds(Rights::Modify));
    connect(m_open, &QPushButton::clicked, this, &PropertiesWindow::openVersion);
    connect(m_save, &QPushButton::clicked, this, &PropertiesWindow::saveVersion);
    connect(m_restore, &QPushButton::clicked, this, &PropertiesWindow::restoreVersion);
    connect(m_versions, &QTableWidget::cellDoubleClicked, this, [this] {
        if (m_open->isEnabled())
            openVersion();
    });
    m_extraction = ProgramHome::extractionFolder();
    m_opener = [](const QString& path) { return QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };

    connect(m_brief, &QRadioButton::toggled, this, &PropertiesWindow::reload);
    connect(m_history, &QRadioButton::toggled, this, &PropertiesWindow::showMode);
    reload();
    showMode();
}

void PropertiesWindow::showMode()
{
    const bool history = m_history->isChecked();
    m_grid->setVisible(!history);
    for (QWidget* w : {static_cast<QWidget*>(m_versions), static_cast<QWidget*>(m_open), static_cast<QWidget*>(m_save),
                       static_cast<QWidget*>(m_restore)})
        w->setVisible(history);
    if (history)
        reloadVersions();
}

void PropertiesWindow::reloadVersions()
{
    m_versions->setRowCount(0);
    const Result<QList<VersionRows::Version>> listed = Versions(m_records).list(m_id);
    if (!listed) {
        prompter().message(listed.message().isEmpty() ? Versions::NoVersion : listed.message(), {},
                           Prompter::Icon::Warning);
        return;
    }
    m_versions->setRowCount(int(listed->size()));
    for (int i = 0; i < listed->size(); ++i) {
        const VersionRows::Version& v = listed->at(i);
        const QStringList texts{QString::number(v.number), v.by, v.at, sizeText(v.size), v.sha256};
        for (int c = 0; c < texts.size(); ++c) {
            auto* item = new QTableWidgetItem(texts.at(c));
            item->setToolTip(c == 4 ? v.sha256 : v.name + QLatin1Char('.') + v.type);
            if (c == 0)
                item->setData(Qt::UserRole, v.id);
            m_versions->setItem(i, c, item);
        }
    }
    if (m_versions->rowCount() > 0)
        m_versions->selectRow(0);
}

qint64 PropertiesWindow::selectedVersion() const
{
    const int row = m_versions->currentRow();
    const QTableWidgetItem* item = row >= 0 ? m_versions->item(row, 0) : nullptr;
    return item ? item->data(Qt::UserRole).toLongLong() : -1;
}

void PropertiesWindow::openVersion()
{
    const qint64 version = selectedVersion();
    const Result<QString> written = Versions(m_records).extract(version, m_extraction);
    if (!written) {
        if (!written.cancelled())
            prompter().message(written.message(), {}, Prompter::Icon::Critical);
        return;
    }
    if (!written.message().isEmpty())
        prompter().message(written.message(), {}, Prompter::Icon::Warning);
    if (!m_opener || !m_opener(written.value()))
        prompter().message(FileOpening::HandOverFailed + written.value(), {}, Prompter::Icon::Warning);
}

void PropertiesWindow::saveVersion()
{
    const qint64 version = selectedVersion();
    if (version < 0) {
        prompter().message(Versions::NoVersion, {}, Prompter::Icon::Warning);
        return;
    }
    const int row = m_versions->currentRow();
    const QString named = m_versions->item(row, 1)->toolTip();
    const QString type = named.section(QLatin1Char('.'), -1);
    const QString fileName = FileOpening::safeFileName(named.section(QLatin1Char('.'), 0, -2), type);
    const QString filter = QStringLiteral("文件 (*.%1)").arg(type.isEmpty() ? QStringLiteral("*") : type);
    const QString target =
        prompter().saveFile(QStringLiteral("请选择保存位置"), QDir(QDir::homePath()).filePath(fileName), filter);
    if (target.isEmpty())
        return;
    const Result<StoredRecord> saved = Versions(m_records).saveOut(version, target);
    if (!saved) {
        if (!saved.cancelled())
            prompter().message(saved.message(), {}, Prompter::Icon::Critical);
        return;
    }
    if (saved->logFailed)
        prompter().message(LogWriter::FailureMessage, {}, Prompter::Icon::Warning);
    prompter().message(saved.message());
}

void PropertiesWindow::restoreVersion()
{
    const qint64 version = selectedVersion();
    if (version < 0) {
        prompter().message(Versions::NoVersion, {}, Prompter::Icon::Warning);
        return;
    }
    const int number = m_versions->item(m_versions->currentRow(), 0)->text().toInt();
    if (!prompter().question(Versions::restoreQuestion(number), QStringLiteral("询问")))
        return;
    const Result<StoredRecord> restored = Versions(m_records).makeCurrent(version);
    if (!restored) {
        if (!restored.cancelled())
            prompter().message(restored.message(), {},
                               restored.message() == Versions::SameAsCurrent ? Prompter::Icon::Information
                                                                             : Prompter::Icon::Critical);
        return;
    }
    reload();
    reloadVersions();
    emit contentRestored(m_id);
    if (restored->logFailed)
        prompter().message(LogWriter::FailureMessage, {}, Prompter::Icon::Warning);
    prompter().message(restored.message());
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
