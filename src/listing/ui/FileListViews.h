#pragma once

#include "listing/FilterClause.h"
#include "shell/Workspace.h"

#include <QObject>

class QListView;
class QTableView;
class QWidget;
struct AppContext;
class CommandRouter;
class DataStore;

// The report list "文件超级列表框" and the icon view "图标超级列表框" over the
// rows of the list query, and the statistics line.
class FileListViews : public QObject {
    Q_OBJECT
public:
    FileListViews(AppContext& context, DataStore& store, Workspace& workspace, QWidget* viewParent);
    ~FileListViews() override;

    QTableView* reportView() const { return m_report; }
    QListView* iconView() const { return m_icons; }

    // Registers the list-layout commands ("选择显示", "保存列宽", "排序方式", "调整位置").
    void registerCommands(CommandRouter& router);

    // Loads the rows of clause (closed protected groups are always left out).
    void load(const FilterClause& clause);
    // Loads the current clause again.
    void reload();
    FilterClause currentFilter() const { return m_filter; }

    QList<qint64> selectedIds() const;
    qint64 currentId() const;
    QList<Workspace::Column> shownColumns() const;

signals:
    // The statistics line for the status bar.
    void statisticsChanged(const QString& line);
    // The current row changed (-1: none).
    void currentRecordChanged(qint64 id);
    // Right click: the main window opens menu "文件" / "图标菜单".
    void reportMenuRequested(const QPoint& globalPos);
    void iconMenuRequested(const QPoint& globalPos);

private:
    AppContext& m_context;
    DataStore& m_store;
    Workspace& m_workspace;
    QTableView* m_report = nullptr;
    QListView* m_icons = nullptr;
    FilterClause m_filter;
};
