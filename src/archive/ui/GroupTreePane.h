#pragma once

#include "listing/FilterClause.h"

#include <QTreeWidget>

struct AppContext;
class CommandRouter;
class DataStore;
class Workspace;

// The group tree "树型框1": the root "文件服务器" and the groups of wjfz.
class GroupTreePane : public QTreeWidget {
    Q_OBJECT
public:
    GroupTreePane(AppContext& context, DataStore& store, Workspace& workspace, QWidget* parent = nullptr);

    // Registers the handlers of the tree's commands (menu "树").
    void registerCommands(CommandRouter& router);
    // Loads the tree from wjfz again, keeping the selection where it can.
    bool reload();
    // The selected group's path; empty for the root or no selection.
    QString selectedPath() const;
    bool isRootSelected() const;

signals:
    // The list should load this clause (selection changed to a group or the root).
    void filterChanged(const FilterClause& clause);
    // The operator right-clicked the tree: the main window opens menu "树".
    void menuRequested(const QPoint& globalPos);

private:
    AppContext& m_context;
    DataStore& m_store;
    Workspace& m_workspace;
};
