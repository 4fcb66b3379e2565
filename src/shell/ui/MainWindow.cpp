#include "shell/ui/MainWindow.h"

#include "archive/ui/EditPanel.h"
#include "archive/ui/GroupTreePane.h"
#include "listing/ui/FileListViews.h"
#include "shell/AppContext.h"

#include <QListView>
#include <QTableView>

MainWindow::MainWindow(AppContext& context, QWidget* parent)
    : QMainWindow(parent), m_context(context), m_router(&context.currentOperator)
{
    setWindowTitle(QStringLiteral("Korvane文件管理系统（单机版）"));
    resize(1024, 768);
    m_store.open(context.databasePath);

    auto* central = new QWidget(this);
    setCentralWidget(central);
    m_tree = new GroupTreePane(context, m_store, *this, central);
    m_panel = new EditPanel(context, m_store, *this, central);
    m_list = new FileListViews(context, m_store, *this, central);

    m_tree->registerCommands(m_router);
    m_panel->registerCommands(m_router);
    m_list->registerCommands(m_router);

    connect(m_tree, &GroupTreePane::filterChanged, m_list, &FileListViews::load);
    connect(m_list, &FileListViews::currentRecordChanged, m_panel, &EditPanel::showRecord);

    m_tree->reload();
    m_list->load(FilterClause::everything());
}

MainWindow::~MainWindow() = default;

QList<qint64> MainWindow::selectedIds() const { return m_list->selectedIds(); }
qint64 MainWindow::currentId() const { return m_list->currentId(); }
QList<Workspace::Column> MainWindow::shownColumns() const { return m_list->shownColumns(); }
QString MainWindow::selectedGroupPath() const { return m_tree->selectedPath(); }
bool MainWindow::isRootSelected() const { return m_tree->isRootSelected(); }
void MainWindow::reloadList() { m_list->reload(); }
void MainWindow::reloadTree() { m_tree->reload(); }
void MainWindow::setProgress(int) {}
