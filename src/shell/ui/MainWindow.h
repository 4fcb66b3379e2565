#pragma once

#include "platform/Result.h"
#include "shell/CommandRouter.h"
#include "shell/Workspace.h"
#include "shell/ui/MainMenus.h"
#include "store/DataStore.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>

struct AppContext;
class AboutWindow;
class Banner;
class BatchCommands;
class ContentIndexRun;
class Job;
class EditPanel;
class FileListViews;
class GroupTreePane;
class GuideWindow;
class QLabel;
class QProgressBar;
class QSplitter;
class QVBoxLayout;
class ViewerWindows;

// The main window "Korvane文件管理系统（单机版）". Holds its own connection,
// the panes, the menus and the command router; the command table wires each
// command to the pane slot that carries it out.
class MainWindow : public QMainWindow, public Workspace {
    Q_OBJECT
public:
    explicit MainWindow(AppContext& context, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The program's event loop runs for the main window (start-up says so
    // as it enters it): the exit, once confirmed, ends that loop.
    static void setEventLoopRunning(bool running);

    // False when the connection could not be opened; the window then loaded
    // nothing and must not be shown.
    bool isReady() const { return m_store.isOpen(); }
    // The same as a result: "打开数据库失败。" with the driver's words.
    Status opened() const;
    DataStore& store() { return m_store; }
    AppContext& context() { return m_context; }
    CommandRouter& router() { return m_router; }
    GroupTreePane* tree() const { return m_tree; }
    EditPanel* editPanel() const { return m_panel; }
    FileListViews* list() const { return m_list; }
    // The picture browser and the media player.
    ViewerWindows* viewers() const { return m_viewers; }
    BatchCommands* batch() const { return m_batch; }
    Banner* banner() const { return m_banner; }
    MainMenus* menus() const { return m_menus; }
    QProgressBar* progressBar() const { return m_progress; }
    // Status-bar panes 0..3 (150, 220, 200 and 50 pixels): greeting,
    // statistics line, clock line, free.
    QLabel* statusPane(int index) const;
    // The user name of the current operator.
    QString operatorName() const;

    // Workspace
    QList<qint64> selectedIds() const override;
    qint64 currentId() const override;
    QString currentName() const override;
    QList<Column> shownColumns() const override;
    QString selectedGroupPath() const override;
    bool isRootSelected() const override;
    void reloadList() override;
    void reloadTree() override;
    void setProgress(int percent) override;

    // Around a swap of the archive (restore): every connection of the window
    // and of its workers is closed, then opened again on the archive now at
    // the path (the workers' when they next load).
    void closeArchive();
    bool reopenArchive();
    // The tree, list and edit panel read the archive again (after a rebuild).
    void showArchive();

    // Runs a command through the router: rights test, then its handler.
    CommandRouter::Outcome runCommand(const QString& id);
    QString lastCommand() const { return m_lastCommand; }
    CommandRouter::Outcome lastOutcome() const { return m_lastOutcome; }

    // Arranges the panes for display mode 1 or 2 (this run only; the saved
    // mode changes only through the global settings).
    void setDisplayMode(int mode);
    int displayMode() const { return m_displayMode; }
    // Takes the banner and display mode from AppContext::mainSettings again
    // (after the global settings were saved).
    void applyMainSettings();
    // The current operator changed (re-login): greeting and menu entries.
    void operatorChanged();
    const CurrentOperator& currentOperator() const;
    // The operator asked to log in again: a pending edit is offered for
    // saving first, then reloginRequested is emitted. False when he kept it.
    bool requestRelogin();
    // Closes the window for a re-login: no exit question, the connection
    // closes, the program goes on.
    void closeForRelogin();

    // Starts the content index's catch-up in the background (after the
    // login); from then on every add, change, import and group copy starts
    // it again when it is not running. Its progress shows in the status bar
    // ("内容索引 n/N"), hidden when it is done.
    void startContentIndex();
    ContentIndexRun* contentIndex() const { return m_indexer; }
    // Once after the login: the records kept in the trash longer than
    // "回收站保留天数" are purged by a job in the background, with a log line.
    void purgeExpiredTrash();
    Job* trashExpiry() const { return m_trashExpiry; }
    QLabel* contentIndexPane() const { return m_indexPane; }

    // Pops menu "设置" up where the last command came from.
    void popupSettingsMenu();

    // Writes the clock line (the one-second timer calls it).
    void tickClock();
    // The exit question; on yes removes the extraction folder, closes the
    // connection and ends the program. True when the operator said yes.
    // While a long run is under way it asks to stop the run instead, and the
    // program ends once the run has stopped.
    bool requestExit();

    // The guide when its flag is not set; the guide regardless; About.
    GuideWindow* offerGuide();
    GuideWindow* showGuide();
    AboutWindow* showAbout();

signals:
    // The operator confirmed the exit; the connection is closed.
    void exitConfirmed();
    // The operator wants to log in again now.
    void reloginRequested();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildStatusBar();
    void arrange(int mode);
    void greet();
    void refreshMenuEntries();
    void popupMenu(MainMenus::Which which, const QPoint& globalPos);
    void exitAfterRuns();
    void closeDown();
    void contentChanged();

    AppContext& m_context;
    DataStore m_store;
    CommandRouter m_router;
    GroupTreePane* m_tree = nullptr;
    EditPanel* m_panel = nullptr;
    FileListViews* m_list = nullptr;
    ViewerWindows* m_viewers = nullptr;
    BatchCommands* m_batch = nullptr;

    Banner* m_banner = nullptr;
    QWidget* m_strip = nullptr;
    QVBoxLayout* m_column = nullptr;
    QWidget* m_paneArea = nullptr;
    QProgressBar* m_progress = nullptr;
    QList<QLabel*> m_statusPanes;
    QLabel* m_indexPane = nullptr;
    ContentIndexRun* m_indexer = nullptr;
    Job* m_trashExpiry = nullptr;
    MainMenus* m_menus = nullptr;
    QTimer* m_clock = nullptr;
    int m_displayMode = 1;
    QPoint m_popupPos;
    QString m_lastCommand;
    CommandRouter::Outcome m_lastOutcome = CommandRouter::Outcome::Unknown;
    bool m_guideOffered = false;
    bool m_exiting = false;
    bool m_inClose = false;
    bool m_exitAfterRuns = false;
    QString m_openFailure;
    QPointer<GuideWindow> m_guide;
    QPointer<AboutWindow> m_about;
};
