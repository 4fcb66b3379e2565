#include "archive/ui/ImportRunsWindow.h"

#include "platform/Prompter.h"
#include "platform/ui/JobWindow.h"
#include "platform/ui/OuterSize.h"
#include "store/ImportRuns.h"
#include "store/LogWriter.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>

ImportRunsWindow::ImportRunsWindow(DataStore& store, BatchImport::UndoSetup setup, QWidget* parent)
    : QDialog(parent), m_store(store), m_setup(std::move(setup))
{
    setObjectName(Title);
    setWindowTitle(Title);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    OuterSize::fix(this, {520, 300});
    m_table = new QTableWidget(0, 4, this);
    m_table->setObjectName(QStringLiteral("导入表格"));
    m_table->setGeometry(8, 8, 496, 216);
    m_table->setHorizontalHeaderLabels(
        {QStringLiteral("导入时间"), QStringLiteral("操作员"), QStringLiteral("分组"), QStringLiteral("文件数")});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setColumnWidth(0, 140);
    m_table->setColumnWidth(1, 80);
    m_table->setColumnWidth(2, 170);
    m_undo = new QPushButton(QStringLiteral("撤销"), this);
    m_undo->setObjectName(QStringLiteral("撤销按钮"));
    m_undo->setGeometry(156, 232, 80, 24);
    auto* close = new QPushButton(QStringLiteral("关闭"), this);
    close->setObjectName(QStringLiteral("关闭按钮"));
    close->setGeometry(284, 232, 80, 24);
    close->setAutoDefault(false);
    connect(m_undo, &QPushButton::clicked, this, &ImportRunsWindow::undoChosen);
    connect(close, &QPushButton::clicked, this, &ImportRunsWindow::reject);
    reload();
}

void ImportRunsWindow::reload()
{
    m_table->setRowCount(0);
    m_runs.clear();
    const Result<QList<ImportRuns::Run>> latest = ImportRuns::latest(m_store, Latest, true);
    if (!latest) {
        prompter().message(QStringLiteral("读取导入记录失败! ") + latest.detail(), {}, Prompter::Icon::Critical);
        return;
    }
    for (const ImportRuns::Run& run : *latest) {
        // A closed protected group is not named, nor its run listed.
        if (m_setup.open.isHidden(m_store, run.group))
            continue;
        const int row = m_table->rowCount();
        m_table->insertRow(row);
        const QStringList cells{run.at, run.by, run.group, QString::number(run.added)};
        for (int c = 0; c < cells.size(); ++c)
            m_table->setItem(row, c, new QTableWidgetItem(cells.at(c)));
        m_runs << run.id;
    }
    if (!m_runs.isEmpty())
        m_table->selectRow(0);
    m_undo->setEnabled(!m_runs.isEmpty());
}

void ImportRunsWindow::undoChosen()
{
    const int row = m_table->currentRow();
    if (row < 0 || row >= m_runs.size()) {
        prompter().message(QStringLiteral("请选择要撤销的导入!"), {}, Prompter::Icon::Warning);
        return;
    }
    const int count = m_table->item(row, 3)->text().toInt();
    if (!prompter().question(BatchImport::undoQuestion(count), Title))
        return;
    BatchImport::UndoSetup setup = m_setup;
    setup.run = m_runs.at(row);
    undo(setup, this);
    reload();
}

bool ImportRunsWindow::undo(const BatchImport::UndoSetup& setup, QWidget* parent)
{
    JobOf<BatchImport::Undone> job(BatchImport::UndoWorking, BatchImport::undoJob(setup));
    // A stop keeps what was moved; the result says how far it got.
    const Status ran = JobWindow(job.title(), parent).run(job);
    Q_UNUSED(ran);
    const Result<BatchImport::Undone>& r = job.result();
    if (!r) {
        prompter().message(r.message(), {}, Prompter::Icon::Critical);
        return false;
    }
    if (r->logFailed)
        prompter().message(LogWriter::FailureMessage, {}, Prompter::Icon::Warning);
    prompter().message(r->message);
    return r->moved > 0;
}
