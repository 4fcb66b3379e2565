#pragma once

#include "shell/CommandRouter.h"
#include "shell/Workspace.h"
#include "store/DataStore.h"

#include <QMainWindow>

struct AppContext;
class EditPanel;
class FileListViews;
class GroupTreePane;

// The main window "Korvane文件管理系统（单机版）". Holds its own connection,
// the panes, the menus and the command router.
class MainWindow : public QMainWindow, public Workspace {
    Q_OBJECT
public:
    explicit MainWindow(AppContext& context, QWidget* parent = nullptr);
    ~MainWindow() override;

    // False when the connection could not be opened.
    bool isReady() const { return m_store.isOpen(); }
    DataStore& store() { return m_store; }
    CommandRouter& router() { return m_router; }
    GroupTreePane* tree() const { return m_tree; }
    EditPanel* editPanel() const { return m_panel; }
    FileListViews* list() const { return m_list; }

    // Workspace
    QList<qint64> selectedIds() const override;
    qint64 currentId() const override;
    QList<Column> shownColumns() const override;
    QString selectedGroupPath() const override;
    bool isRootSelected() const override;
    void reloadList() override;
    void reloadTree() override;
    void setProgress(int percent) override;

private:
    AppContext& m_context;
    DataStore m_store;
    CommandRouter m_router;
    GroupTreePane* m_tree = nullptr;
    EditPanel* m_panel = nullptr;
    FileListViews* m_list = nullptr;
};
