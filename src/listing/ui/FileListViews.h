#pragma once

#include "archive/FilterClause.h"
#include "listing/ListQuery.h"

#include <QObject>
#include <QPointer>

class QListView;
class QTableView;
class QWidget;
class DataStore;
class FileIconModel;
class FileListLoader;
class FileListModel;
class ProtectedGroups;
class SearchWindow;
struct MainSettings;

// The report list "文件超级列表框" and the icon view "图标超级列表框" over the
// rows of the list query, and the statistics line.
class FileListViews : public QObject {
    Q_OBJECT
public:
    struct Column {
        QString field;   // wj column
        QString header;  // header text
    };

    // The closed protected groups are always left out of the list; the sort
    // clause comes from the main settings, which "排序方式" changes.
    FileListViews(DataStore& store, ProtectedGroups& protectedGroups, MainSettings& settings, QWidget* viewParent);
    ~FileListViews() override;

    QTableView* reportView() const { return m_report; }
    QListView* iconView() const { return m_icons; }
    FileListModel* model() const { return m_model; }
    FileListLoader* loader() const { return m_loader; }

    FilterClause currentFilter() const { return m_filter; }
    // Rewrites the statistics line for the current clause now.
    void updateStatistics();
    QString statisticsLine() const { return m_statistics; }
    // Serves events until the load under way has finished.
    bool waitUntilLoaded(int timeoutMs = 30000);

    QList<qint64> selectedIds() const;
    qint64 currentId() const;
    QList<Column> shownColumns() const;

    // Shows the no-selection message and returns false when no row is selected.
    bool requireSelection() const;
    static QString noSelectionMessage();

public slots:
    // Loads the rows of clause (closed protected groups are always left out).
    void load(const FilterClause& clause);
    // Loads the current clause again.
    void reload();
    // The next load selects the record id (a record just added).
    void selectWhenListed(qint64 id) { m_selectNext = id; }
    // Closes the loader's connections (before the archive is swapped).
    void closeConnections();

    // The list-layout commands ("选择显示", "保存列宽", "排序方式", "调整位置").
    void chooseColumns();
    void saveWidths();
    void chooseSortOrder();
    void reposition();
    // "搜索": opens the search window (its conditions kept from the last
    // search of this run); a search loads the list with its clause.
    void search(const QString& userName);
    // Moves the current record one row up (-1) or down (+1) in the manual
    // order, with the messages of "调整位置".
    void moveCurrent(int step);

signals:
    // The statistics line for the status bar.
    void statisticsChanged(const QString& line);
    // The current row changed (-1: none).
    void currentRecordChanged(qint64 id);
    // Right click: the main window opens menu "文件" / "图标菜单".
    void reportMenuRequested(const QPoint& globalPos);
    void iconMenuRequested(const QPoint& globalPos);
    // A row of the report list (fromIcons false) or an icon was double-clicked.
    void recordActivated(qint64 id, bool fromIcons);
    // The list shows the rows of a search.
    void searchShown();

private:
    void applyWidths();
    void rowsArrived(int rows);
    void takeStatistics(bool ok, const ListStatistics::Totals& totals);
    void reportCurrentChanged();
    void iconCurrentChanged();
    void selectRow(int row);
    QWidget* windowParent() const;

    DataStore& m_store;
    ProtectedGroups& m_protectedGroups;
    MainSettings& m_settings;
    QTableView* m_report = nullptr;
    QListView* m_icons = nullptr;
    FileListModel* m_model = nullptr;
    FileIconModel* m_iconModel = nullptr;
    FileListLoader* m_loader = nullptr;
    FilterClause m_filter;
    FilterClause m_visible;
    bool m_visibleOk = false;
    QString m_statistics;
    qint64 m_restoreId = -1;
    qint64 m_selectNext = -1;
    QString m_headerField;            // the column a header click sorts by (empty: the saved order)
    bool m_headerDescending = false;  // the row the next load selects, instead of the current one
    int m_searchedRows = 0;
    qint64 m_lastCurrent = -1;
    bool m_syncing = false;
    QPointer<SearchWindow> m_search;
    QString m_searchUser;
};
