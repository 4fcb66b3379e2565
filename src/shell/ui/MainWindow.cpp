#include "shell/ui/MainWindow.h"

#include "archive/ContentIndexer.h"
#include "archive/Trash.h"
#include "archive/ui/BatchCommands.h"
#include "archive/ui/EditPanel.h"
#include "archive/ui/GroupTreePane.h"
#include "archive/ui/ViewerWindows.h"
#include "listing/FileListModel.h"
#include "listing/ui/FileListViews.h"
#include "platform/Clock.h"
#include "platform/LongRuns.h"
#include "platform/ui/JobDialog.h"
#include "platform/Prompter.h"
#include "shell/AppContext.h"
#include "shell/ClockLine.h"
#include "platform/ProgramHome.h"
#include "shell/Commands.h"
#include "shell/StartupSequence.h"
#include "shell/ui/AboutWindow.h"
#include "shell/ui/Banner.h"
#include "shell/ui/CommandTable.h"
#include "shell/ui/GuideWindow.h"
#include "shell/ui/PermissionNotice.h"
#include "store/Rights.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QProgressBar>
#include <QSplitter>
#include <QSplitterHandle>
#include <QStatusBar>
#include <QTableView>
#include <QVBoxLayout>

namespace {

// Whether the program's event loop runs (MainWindow::setEventLoopRunning).
bool g_eventLoopRunning = false;

// Design sizes of the panes (pixels at a 1024 × 768 window).
constexpr int TreeWidth = 248;
constexpr int PanelWidth = 640;
constexpr int PanelHeight = 232;
constexpr int IconViewWidth = 112;
constexpr int SplitterWidth = 5;

const QString LeftSplitterName = QStringLiteral("左竖分隔条");
const QString RightSplitterName = QStringLiteral("右竖分隔条");
const QString HorizontalSplitterName = QStringLiteral("横分隔条");

QSplitter* makeSplitter(Qt::Orientation orientation, QWidget* parent)
{
    auto* s = new QSplitter(orientation, parent);
    s->setHandleWidth(SplitterWidth);
    s->setChildrenCollapsible(false);
    s->setOpaqueResize(true);
    return s;
}

// Removes the folder into which files were extracted for opening. It lives
// in the shared temporary location under a predictable name, so a link put
// there in its place is removed as a link: what it points to is not ours.
void removeExtractionFolder(const QString& path)
{
    const QFileInfo info(path);
    if (info.isSymLink()) {
        QFile::remove(path);
        return;
    }
    if (info.isDir())
        QDir(path).removeRecursively();
}

}  // namespace

MainWindow::MainWindow(AppContext& context, QWidget* parent)
    : QMainWindow(parent), m_context(context), m_router(&context.currentOperator)
{
    setWindowTitle(QStringLiteral("Korvane文件管理系统（单机版）"));
    resize(1024, 768);
    if (!m_store.open(context.archive))
        m_openFailure = m_store.lastError();
    // What instances that were killed extracted goes now; never another
    // running instance's.
    for (const QString& left : ProgramHome::abandonedExtractionFolders())
        removeExtractionFolder(left);

    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("centralWidget"));
    setCentralWidget(central);
    m_column = new QVBoxLayout(central);
    m_column->setContentsMargins(0, 0, 0, 0);
    m_column->setSpacing(0);

    m_banner = new Banner(central);
    m_column->addWidget(m_banner);

    auto* strip = new QLabel(central);
    strip->setObjectName(QStringLiteral("图片框2"));
    strip->setPixmap(QPixmap(QStringLiteral(":/mainwin/strip.png")));
    strip->setScaledContents(true);
    strip->setFixedHeight(16);
    strip->setMinimumWidth(1);
    m_strip = strip;
    m_column->addWidget(m_strip);

    const StoreFolder storeFolder(context.home);
    m_tree = new GroupTreePane(m_store, storeFolder, context.protectedGroups, context.currentOperator, central);
    m_panel = new EditPanel(m_store, storeFolder, context.currentOperator, context.protectedGroups, central);
    m_panel->setFileLimits(context.fileTypes, context.fileSize);
    m_list = new FileListViews(m_store, context.protectedGroups, context.mainSettings, central);
    m_viewers = new ViewerWindows(m_store, storeFolder, context.protectedGroups, context.home.mediaTempFolder(), this);
    m_batch = new BatchCommands(m_store, storeFolder, context.protectedGroups, context.currentOperator, this);
    // The panel's units sit at fixed places inside its design size.
    m_panel->setMinimumSize(m_panel->minimumSize().expandedTo(QSize(PanelWidth, PanelHeight)));
    m_tree->setToolTip(QStringLiteral("右键弹出操作菜单"));

    m_progress = new QProgressBar(central);
    m_progress->setObjectName(QStringLiteral("进度条1"));
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    m_progress->setFixedHeight(8);
    m_column->addWidget(m_progress);

    buildStatusBar();

    m_menus = new MainMenus(this);

    m_router.setDeniedHandler([this](const QString&) { PermissionNotice::showNotice(this); });
    CommandTable::wire(m_router, *this);

    connect(m_tree, &GroupTreePane::filterChanged, m_list, &FileListViews::load);
    connect(m_tree, &GroupTreePane::reloadListRequested, this, &MainWindow::reloadList);
    connect(m_panel, &EditPanel::reloadListRequested, this, &MainWindow::reloadList);
    connect(m_batch, &BatchCommands::reloadListRequested, this, &MainWindow::reloadList);
    connect(m_batch, &BatchCommands::groupsChanged, this, &MainWindow::reloadTree);
    // What adds or changes records (and so content) reloads the list.
    connect(m_tree, &GroupTreePane::reloadListRequested, this, &MainWindow::contentChanged);
    connect(m_panel, &EditPanel::reloadListRequested, this, &MainWindow::contentChanged);
    connect(m_batch, &BatchCommands::reloadListRequested, this, &MainWindow::contentChanged);
    connect(m_panel, &EditPanel::progressChanged, this, &MainWindow::setProgress);
    connect(m_list, &FileListViews::currentRecordChanged, m_panel, &EditPanel::showRecord);
    connect(m_list, &FileListViews::searchShown, m_tree, &GroupTreePane::listShowsOtherRows);
    connect(m_panel, &EditPanel::recordAdded, m_list, &FileListViews::selectWhenListed);
    connect(m_list, &FileListViews::statisticsChanged, this,
            [this](const QString& line) { m_statusPanes[1]->setText(line); });
    connect(m_tree, &GroupTreePane::menuRequested, this,
            [this](const QPoint& at) { popupMenu(MainMenus::Which::Tree, at); });
    connect(m_list, &FileListViews::reportMenuRequested, this,
            [this](const QPoint& at) { popupMenu(MainMenus::Which::File, at); });
    connect(m_list, &FileListViews::iconMenuRequested, this,
            [this](const QPoint& at) { popupMenu(MainMenus::Which::Icon, at); });
    connect(m_banner, &Banner::menuRequested, this,
            [this](const QPoint& at) { popupMenu(MainMenus::Which::View, at); });
    connect(m_banner, &Banner::commandRequested, this, [this](const QString& command, const QPoint& at) {
        m_popupPos = at;
        runCommand(command);
    });
    connect(m_menus, &MainMenus::commandChosen, this, [this](const QString& command) {
        m_popupPos = QCursor::pos();
        runCommand(command);
    });

    // The settings read at start, then the tree and the list. Without its
    // connection the window reads nothing; whoever created it sees that in
    // opened() and does not show it.
    m_banner->apply(context.mainSettings);
    arrange(context.mainSettings.displayMode == 2 ? 2 : 1);
    if (isReady()) {
        m_tree->reload();
        m_list->load(FilterClause::everything());
    }

    greet();
    refreshMenuEntries();

    m_clock = new QTimer(this);
    m_clock->setObjectName(QStringLiteral("时钟1"));
    m_clock->setInterval(1000);
    connect(m_clock, &QTimer::timeout, this, &MainWindow::tickClock);
    tickClock();
    if (isReady())
        m_clock->start();

    setWindowState(windowState() | Qt::WindowMaximized);
}

MainWindow::~MainWindow() = default;

Status MainWindow::opened() const
{
    if (isReady())
        return {};
    return Status::fail(StartupSequence::OpenFailedMessage,
                        m_openFailure.isEmpty() ? QStringLiteral("main window connection not open") : m_openFailure);
}

void MainWindow::buildStatusBar()
{
    auto* bar = new QStatusBar(this);
    bar->setObjectName(QStringLiteral("状态条1"));
    bar->setSizeGripEnabled(true);
    setStatusBar(bar);
    const int widths[4] = {150, 220, 200, 50};
    for (int i = 0; i < 4; ++i) {
        auto* pane = new QLabel(bar);
        pane->setObjectName(QStringLiteral("状态条1_%1").arg(i + 1));
        pane->setMinimumWidth(widths[i]);
        pane->setFrameShape(QFrame::Panel);
        pane->setFrameShadow(QFrame::Sunken);
        bar->addWidget(pane, i == 3 ? 1 : 0);
        m_statusPanes.append(pane);
    }
    m_indexPane = new QLabel(bar);
    m_indexPane->setObjectName(QStringLiteral("内容索引标签"));
    m_indexPane->setFrameShape(QFrame::Panel);
    m_indexPane->setFrameShadow(QFrame::Sunken);
    m_indexPane->hide();
    bar->addPermanentWidget(m_indexPane);
}

void MainWindow::purgeExpiredTrash()
{
    if (!isReady() || m_exiting || m_trashExpiry)
        return;
    // Every protected group is closed after a start: what the log says of
    // their records names none of them.
    auto* job = new JobOf<Trash::Outcome>(
        Trash::PurgeTitle,
        Trash::purgeExpiredJob({m_context.archive, StoreFolder(m_context.home), m_context.currentOperator, {}}), this);
    // Not a run that holds back the others: it stops between records when
    // the window goes.
    job->setLongRun(false);
    connect(job, &Job::finished, this, [job] {
        if (!job->status() && !job->status().cancelled())
            qWarning("trash expiry: %s %s", qUtf8Printable(job->status().message()),
                     qUtf8Printable(job->status().detail()));
    });
    m_trashExpiry = job;
    job->start();
}

void MainWindow::startContentIndex()
{
    if (!isReady() || m_exiting)
        return;
    purgeExpiredTrash();
    if (!m_indexer) {
        m_indexer =
            new ContentIndexRun({m_context.archive, StoreFolder(m_context.home), m_context.currentOperator}, this);
        connect(m_indexer, &ContentIndexRun::progressed, this, [this](qint64 done, qint64 total) {
            m_indexPane->setText(ContentIndexer::progressText(done, total));
            m_indexPane->setVisible(done < total);
        });
        connect(m_indexer, &ContentIndexRun::ended, this, [this](const Status& status) {
            m_indexPane->hide();
            if (!status && !status.cancelled())
                qWarning("content index: %s %s", qUtf8Printable(status.message()), qUtf8Printable(status.detail()));
        });
    }
    m_indexer->request();
}

void MainWindow::contentChanged()
{
    // Only once the catch-up was started after the login.
    if (m_indexer && !m_exiting)
        m_indexer->request();
}

QLabel* MainWindow::statusPane(int index) const
{
    return index >= 0 && index < m_statusPanes.size() ? m_statusPanes.at(index) : nullptr;
}

void MainWindow::popupSettingsMenu()
{
    popupMenu(MainMenus::Which::Settings, m_popupPos.isNull() ? QCursor::pos() : m_popupPos);
}

CommandRouter::Outcome MainWindow::runCommand(const QString& id)
{
    m_lastCommand = id;
    m_lastOutcome = CommandRouter::Outcome::Unknown;
    const CommandRouter::Outcome outcome = m_router.run(id);
    m_lastOutcome = outcome;
    return outcome;
}

void MainWindow::popupMenu(MainMenus::Which which, const QPoint& globalPos)
{
    if (which == MainMenus::Which::Tree)
        refreshMenuEntries();
    m_menus->popup(which, globalPos);
}

void MainWindow::refreshMenuEntries()
{
    // "调整分组" and "复制分组" stay hidden unless an operator who may arrange
    // groups opens the tree's menu with Shift held.
    m_menus->setGroupingEntriesVisible(m_tree->menuAskedWithShift()
                                       && m_context.currentOperator.holds(Rights::Grouping));
}

void MainWindow::greet()
{
    m_statusPanes[0]->setText(m_context.currentOperator.userName() + QStringLiteral(" 欢迎回来 "));
}

void MainWindow::operatorChanged()
{
    m_router.setOperator(&m_context.currentOperator);
    greet();
    refreshMenuEntries();
}

const CurrentOperator& MainWindow::currentOperator() const
{
    return m_context.currentOperator;
}

bool MainWindow::requestRelogin()
{
    if (m_exiting || !m_panel->leavePending())
        return false;
    emit reloginRequested();
    return true;
}

void MainWindow::closeForRelogin()
{
    m_exiting = true;
    m_clock->stop();
    if (m_indexer)
        m_indexer->stop();
    m_store.close();
    close();
}

void MainWindow::tickClock()
{
    m_statusPanes[2]->setText(ClockLine::text(appClock().now()));
}

// ---- layout ----

void MainWindow::arrange(int mode)
{
    QWidget* central = centralWidget();
    QWidget* tree = m_tree;
    QWidget* panel = m_panel;
    QWidget* icons = m_list->iconView();
    QWidget* report = m_list->reportView();
    const int width = qMax(centralWidget()->width(), TreeWidth + PanelWidth + IconViewWidth + 2 * SplitterWidth);
    const int rest = qMax(100, centralWidget()->height() - Banner::Height - 16 - 8 - PanelHeight - SplitterWidth);

    QSplitter* top = nullptr;
    if (mode == 2) {
        // Mode two: the tree runs down the whole left side; the panel and the
        // icon view above the report list on the right.
        auto* outer = makeSplitter(Qt::Horizontal, central);
        auto* right = makeSplitter(Qt::Vertical, outer);
        auto* upper = makeSplitter(Qt::Horizontal, right);
        outer->addWidget(tree);
        outer->addWidget(right);
        right->addWidget(upper);
        right->addWidget(report);
        upper->addWidget(panel);
        upper->addWidget(icons);
        outer->handle(1)->setObjectName(LeftSplitterName);
        right->handle(1)->setObjectName(HorizontalSplitterName);
        upper->handle(1)->setObjectName(RightSplitterName);
        outer->setStretchFactor(0, 0);
        outer->setStretchFactor(1, 1);
        right->setStretchFactor(0, 0);
        right->setStretchFactor(1, 1);
        upper->setStretchFactor(0, 0);
        upper->setStretchFactor(1, 1);
        outer->setSizes({TreeWidth, width - TreeWidth - SplitterWidth});
        right->setSizes({PanelHeight, rest});
        upper->setSizes({PanelWidth, width - TreeWidth - PanelWidth - 2 * SplitterWidth});
        top = outer;
    } else {
        // Mode one: tree, panel and icon view side by side above the report
        // list, which spans the whole width.
        auto* outer = makeSplitter(Qt::Vertical, central);
        auto* upper = makeSplitter(Qt::Horizontal, outer);
        outer->addWidget(upper);
        outer->addWidget(report);
        upper->addWidget(tree);
        upper->addWidget(panel);
        upper->addWidget(icons);
        upper->handle(1)->setObjectName(LeftSplitterName);
        upper->handle(2)->setObjectName(RightSplitterName);
        outer->handle(1)->setObjectName(HorizontalSplitterName);
        upper->setStretchFactor(0, 0);
        upper->setStretchFactor(1, 0);
        upper->setStretchFactor(2, 1);
        outer->setStretchFactor(0, 0);
        outer->setStretchFactor(1, 1);
        upper->setSizes({TreeWidth, PanelWidth, width - TreeWidth - PanelWidth - 2 * SplitterWidth});
        outer->setSizes({PanelHeight, rest});
        top = outer;
    }
    top->setObjectName(QStringLiteral("paneArea"));

    QWidget* old = m_paneArea;
    if (old) {
        const int at = m_column->indexOf(old);
        m_column->removeWidget(old);
        m_column->insertWidget(at, top, 1);
        // The panes live in the new splitters now; the old ones are empty.
        delete old;
    } else {
        m_column->insertWidget(m_column->indexOf(m_strip) + 1, top, 1);
    }
    m_paneArea = top;
    for (QWidget* w : {tree, panel, icons, report})
        w->show();
    top->show();
    // Lay the new arrangement out now rather than on the next event round.
    m_column->activate();
    m_displayMode = mode;
}

void MainWindow::setDisplayMode(int mode)
{
    mode = mode == 2 ? 2 : 1;
    if (mode == m_displayMode && m_paneArea)
        return;
    arrange(mode);
}

void MainWindow::applyMainSettings()
{
    m_banner->apply(m_context.mainSettings);
    setDisplayMode(m_context.mainSettings.displayMode);
}

// ---- Workspace ----

QList<qint64> MainWindow::selectedIds() const
{
    return m_list->selectedIds();
}
qint64 MainWindow::currentId() const
{
    return m_list->currentId();
}
QString MainWindow::currentName() const
{
    const int row = m_list->model()->rowOfId(m_list->currentId());
    return row >= 0 ? m_list->model()->nameAt(row) : QString();
}
QList<Workspace::Column> MainWindow::shownColumns() const
{
    QList<Column> out;
    for (const FileListViews::Column& c : m_list->shownColumns())
        out.append({c.field, c.header});
    return out;
}
QString MainWindow::selectedGroupPath() const
{
    return m_tree->selectedPath();
}
bool MainWindow::isRootSelected() const
{
    return m_tree->isRootSelected();
}
void MainWindow::reloadList()
{
    m_list->reload();
}

void MainWindow::closeArchive()
{
    // The catch-up's connection goes too; it starts again on the archive reopened.
    if (m_indexer)
        m_indexer->stop();
    m_indexPane->hide();
    m_list->closeConnections();
    m_store.close();
}

bool MainWindow::reopenArchive()
{
    // The workers' connections went with closeArchive; each opens again at
    // its next load.
    return m_store.isOpen() || m_store.open(m_context.archive);
}

void MainWindow::showArchive()
{
    m_list->closeConnections();
    m_panel->showRecord(0);
    reloadTree();
    reloadList();
    contentChanged();
}
QString MainWindow::operatorName() const
{
    return m_context.currentOperator.userName();
}
void MainWindow::reloadTree()
{
    m_tree->reload();
}

void MainWindow::setProgress(int percent)
{
    if (percent < 0) {
        m_progress->setValue(0);
        m_progress->hide();
        return;
    }
    m_progress->setValue(qBound(0, percent, 100));
    m_progress->show();
}

// ---- guide, About, exit ----

GuideWindow* MainWindow::offerGuide()
{
    if (m_guide)
        return m_guide;
    m_guide = GuideWindow::offer(m_context.config, this);
    return m_guide;
}

GuideWindow* MainWindow::showGuide()
{
    if (m_guide) {
        m_guide->raise();
        m_guide->activateWindow();
        return m_guide;
    }
    m_guide = GuideWindow::showGuide(m_context.config, this);
    return m_guide;
}

AboutWindow* MainWindow::showAbout()
{
    if (m_about) {
        m_about->raise();
        m_about->activateWindow();
        return m_about;
    }
    m_about = AboutWindow::showAbout(this);
    return m_about;
}

void MainWindow::setEventLoopRunning(bool running)
{
    g_eventLoopRunning = running;
}

bool MainWindow::requestExit()
{
    if (m_exiting)
        return true;
    LongRuns& runs = LongRuns::instance();
    if (runs.underWay()) {
        // A run stops only between two of its items; the exit follows once
        // it has stopped, so nothing is left half done.
        if (m_exitAfterRuns)
            return false;
        if (!prompter().question(LongRuns::stopQuestion(runs.title()), QStringLiteral("询问")))
            return false;
        m_exitAfterRuns = true;
        connect(&runs, &LongRuns::allEnded, this, &MainWindow::exitAfterRuns,
                Qt::ConnectionType(Qt::QueuedConnection | Qt::UniqueConnection));
        runs.stopAll();
        return false;
    }
    if (!prompter().question(QStringLiteral("确定退出本系统吗？"), QStringLiteral("询问")))
        return false;
    // A pending add or change is offered for saving, as on every other way
    // out of it; a save that fails keeps the window.
    if (!m_panel->leavePending())
        return false;
    closeDown();
    return true;
}

void MainWindow::exitAfterRuns()
{
    if (!m_exitAfterRuns || m_exiting || LongRuns::instance().underWay())
        return;
    // Wait until the command that ran is back and its windows are closed.
    if (QApplication::activeModalWidget() || JobDialog::runUnderWay()) {
        QTimer::singleShot(50, this, &MainWindow::exitAfterRuns);
        return;
    }
    m_exitAfterRuns = false;
    if (!m_panel->leavePending())
        return;
    closeDown();
}

void MainWindow::closeDown()
{
    m_exiting = true;
    m_clock->stop();
    // The catch-up stops between two files; what it wrote is whole.
    if (m_indexer)
        m_indexer->stop();
    // Files extracted for opening go with the program; a folder that is not
    // there is no reason to stay.
    removeExtractionFolder(ProgramHome::extractionFolder());
    m_store.close();
    emit exitConfirmed();
    if (!m_inClose)
        close();
    // Ends the program's event loop; other windows (guide, notices) may
    // still be open, so closing this one alone need not end it.
    if (g_eventLoopRunning)
        QCoreApplication::exit(0);
}

bool MainWindow::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate && !m_guideOffered && isReady()) {
        m_guideOffered = true;
        QTimer::singleShot(0, this, [this] {
            if (!m_exiting)
                offerGuide();
        });
    }
    return QMainWindow::event(e);
}

void MainWindow::closeEvent(QCloseEvent* e)
{
    if (m_exiting) {
        e->accept();
        return;
    }
    m_inClose = true;
    const bool yes = requestExit();
    m_inClose = false;
    if (yes)
        e->accept();
    else
        e->ignore();
}

void MainWindow::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
        e->accept();
        // Esc is the notice's while it shows, wherever the keyboard was.
        if (PermissionNotice* notice = PermissionNotice::current()) {
            notice->close();
            return;
        }
        requestExit();
        return;
    }
    QMainWindow::keyPressEvent(e);
}
