#include "listing/ui/ExportExcelWindow.h"

#include "listing/FileListModel.h"
#include "listing/WorkbookExport.h"
#include "listing/ui/FileListViews.h"
#include "platform/Config.h"
#include "platform/PrivateFolder.h"
#include "platform/ProgramHome.h"
#include "platform/Prompter.h"
#include "platform/ui/OuterSize.h"

#include <QCheckBox>
#include <QPointer>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

namespace {

const QString kTitle = QStringLiteral("导出Excel");
// The rows the job reads from the list at a time.
constexpr qint64 kBlock = 2000;

}  // namespace

ExportExcelWindow::ExportExcelWindow(FileListViews& list, Config& config, QWidget* parent)
    : JobDialog(parent), m_list(list), m_config(config), m_folder(ProgramHome::extractionFolder()),
      m_opener(WorkbookHandover::desktopOpener())
{
    setObjectName(kTitle);
    setWindowTitle(kTitle);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    OuterSize::fix(this, {431, 355});

    m_columns = new QListWidget(this);
    m_columns->setObjectName(QStringLiteral("选择列表框1"));
    m_columns->setGeometry(8, 8, 408, 200);

    m_all = new QCheckBox(QStringLiteral("全部选中"), this);
    m_all->setObjectName(QStringLiteral("选择框1"));
    m_all->setGeometry(16, 224, 80, 24);
    m_keep = new QCheckBox(QStringLiteral("保存配置"), this);
    m_keep->setObjectName(QStringLiteral("选择框2"));
    m_keep->setGeometry(104, 224, 80, 24);
    m_start = new QPushButton(QStringLiteral("开始导出(&I)"), this);
    m_start->setObjectName(QStringLiteral("按钮1"));
    m_start->setGeometry(192, 224, 96, 24);
    m_close = new QPushButton(QStringLiteral("关闭(&C)"), this);
    m_close->setObjectName(QStringLiteral("按钮2"));
    m_close->setGeometry(312, 224, 96, 24);

    auto* currentLabel = new QLabel(QStringLiteral("当前进度："), this);
    currentLabel->setObjectName(QStringLiteral("标签1"));
    currentLabel->setGeometry(8, 256, 56, 32);
    currentLabel->setWordWrap(true);
    m_current = new QProgressBar(this);
    m_current->setObjectName(QStringLiteral("进度条1"));
    m_current->setGeometry(72, 264, 344, 16);
    m_current->setRange(0, 100);
    m_current->setValue(0);
    auto* overallLabel = new QLabel(QStringLiteral("总体进度："), this);
    overallLabel->setObjectName(QStringLiteral("标签2"));
    overallLabel->setGeometry(8, 288, 56, 32);
    overallLabel->setWordWrap(true);
    m_overall = new QProgressBar(this);
    m_overall->setObjectName(QStringLiteral("进度条2"));
    m_overall->setGeometry(72, 296, 344, 16);
    m_overall->setRange(0, 100);
    m_overall->setValue(0);
    setJobBar(m_overall);

    // The report list's columns in display order; the kept ones ticked.
    const QStringList kept = m_config.value(ConfigSection, ConfigKey).split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const FileListViews::Column& c : m_list.shownColumns()) {
        auto* item = new QListWidgetItem(c.header, m_columns);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
        item->setCheckState(kept.contains(c.field, Qt::CaseInsensitive) ? Qt::Checked : Qt::Unchecked);
        m_fields.append(c.field);
    }
    m_keep->setChecked(!kept.isEmpty());
    itemTicked();

    connect(m_all, &QCheckBox::clicked, this, &ExportExcelWindow::tickAll);
    connect(m_columns, &QListWidget::itemChanged, this, &ExportExcelWindow::itemTicked);
    connect(m_start, &QPushButton::clicked, this, &ExportExcelWindow::start);
    connect(m_close, &QPushButton::clicked, this, &ExportExcelWindow::reject);
}

ExportExcelWindow::~ExportExcelWindow() = default;

void ExportExcelWindow::tickAll(bool on)
{
    const QSignalBlocker block(m_columns);
    for (int i = 0; i < m_columns->count(); ++i)
        m_columns->item(i)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
}

void ExportExcelWindow::itemTicked()
{
    bool all = m_columns->count() > 0;
    for (int i = 0; i < m_columns->count() && all; ++i)
        all = m_columns->item(i)->checkState() == Qt::Checked;
    m_all->setChecked(all);
}

void ExportExcelWindow::start()
{
    if (isRunning())
        return;
    QList<int> ticked;
    QStringList fields;
    QStringList headers;
    for (int i = 0; i < m_columns->count(); ++i) {
        if (m_columns->item(i)->checkState() != Qt::Checked)
            continue;
        ticked.append(i);
        fields.append(m_fields.at(i));
        headers.append(m_columns->item(i)->text());
    }
    if (ticked.isEmpty()) {
        prompter().message(WorkbookExport::NoColumn, WorkbookExport::NoColumnTitle, Prompter::Icon::Information);
        return;
    }
    if (m_keep->isChecked()) {
        if (const Status kept = m_config.setValue(ConfigSection, ConfigKey, fields.join(QLatin1Char(','))); !kept)
            prompter().message(QStringLiteral("保存配置失败!"), {}, Prompter::Icon::Warning);
    }
    m_list.waitUntilLoaded();
    FileListModel* model = m_list.model();
    const int rows = model->rowCount();
    if (rows == 0) {
        prompter().message(WorkbookExport::EmptyList, {}, Prompter::Icon::Information);
        return;
    }
    // The model's column of each ticked field.
    QList<int> modelColumns;
    for (const QString& f : std::as_const(fields)) {
        int found = -1;
        for (int c = 0; c < model->columns().size() && found < 0; ++c)
            if (model->columns().at(c).field.compare(f, Qt::CaseInsensitive) == 0)
                found = c;
        modelColumns.append(found);
    }
    const Result<QString> path = WorkbookExport::newPath(m_folder, kTitle, m_guard);
    if (!path) {
        prompter().message(path.message(), {}, Prompter::Icon::Critical);
        return;
    }

    // The list lives on this thread: the job reads it here, a block of rows
    // at a time, and writes them on its own.
    const QPointer<FileListModel> source(model);
    auto body = [source, modelColumns, headers, rows, path = path.value()](JobContext& job) -> Result<int> {
        qint64 first = 0;
        QList<QStringList> block;
        WorkbookExport::Table table;
        table.leading = {headers};
        table.rows = rows;
        table.columns = int(modelColumns.size());
        table.cell = [&](qint64 row, int column) {
            if (row < first || row >= first + block.size()) {
                first = row;
                block.clear();
                job.onStartingThread([&] {
                    for (qint64 r = row; source && r < qMin<qint64>(row + kBlock, rows); ++r) {
                        QStringList cells;
                        for (const int c : modelColumns)
                            cells.append(c < 0 ? QString() : source->textAt(int(r), c));
                        block.append(cells);
                    }
                });
            }
            return block.value(row - first).value(column);
        };
        int cut = 0;
        if (const Status written = WorkbookExport::write(table, path, &job, &cut); !written)
            return Result<int>(written.failure());
        return cut;
    };

    m_total = rows;
    m_path = path.value();
    m_start->setEnabled(false);
    m_columns->setEnabled(false);
    m_all->setEnabled(false);
    m_keep->setEnabled(false);
    m_job = std::make_unique<JobOf<int>>(kTitle, body);
    follow(*m_job);
    connect(m_job.get(), &Job::rangeChanged, this, &ExportExcelWindow::rangeShown);
    connect(m_job.get(), &Job::valueChanged, this, &ExportExcelWindow::valueShown);
    connect(m_job.get(), &Job::finished, this, &ExportExcelWindow::finish);
    setBarRange(0, rows);
    rangeShown();
    setBarValue(0);
    valueShown(0);
    m_job->start();
}

void ExportExcelWindow::finish()
{
    const Result<int>& written = m_job->result();
    const Result<QString> path(m_path);
    const int cut = written.valueOr(0);
    setWindowTitle(kTitle);
    m_start->setEnabled(true);
    m_columns->setEnabled(true);
    m_all->setEnabled(true);
    m_keep->setEnabled(true);
    if (!written) {
        m_current->setValue(0);
        m_overall->setValue(0);
        if (!written.cancelled())
            prompter().message(written.message(), {}, Prompter::Icon::Critical);
        return;
    }
    m_current->setValue(m_current->maximum());
    m_overall->setValue(m_overall->maximum());
    if (const Status restricted = PrivateFolder::restrictFile(path.value()); !restricted)
        prompter().message(PrivateFolder::withCause(WorkbookExport::NotPrivate, restricted.detail()), {},
                           Prompter::Icon::Warning);
    m_lastWorkbook = path.value();
    if (cut > 0)
        prompter().message(WorkbookExport::cutText(cut), {}, Prompter::Icon::Warning);
    WorkbookHandover::handOver(path.value(), m_opener, m_guard);
}

void ExportExcelWindow::rangeShown()
{
    m_overall->setValue(0);
    m_current->setRange(0, 100);
    m_current->setValue(0);
}

void ExportExcelWindow::valueShown(qint64 value)
{
    // The overall bar counts rows; the current one each hundredth of them.
    const qint64 step = qMax<qint64>(1, m_total / 100);
    m_current->setValue(value >= m_total ? 100 : int((value % step) * 100 / step));
    const int percent = m_total > 0 ? int(value * 100 / m_total) : 100;
    setWindowTitle(WorkbookExport::progressText(QStringLiteral("%1%").arg(percent)));
}
