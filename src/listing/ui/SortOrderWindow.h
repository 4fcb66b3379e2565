#pragma once

#include "listing/ListColumns.h"

#include <QDialog>

struct MainSettings;
class DataStore;
class QTableWidget;

// Window "排序方式": a direction for each shown column. On "确定" the
// directions and the ordering clause (zcbj.pxfs) are written, the clause
// replaces the one in the main settings, and the window is accepted;
// whoever opened it loads the list again.
class SortOrderWindow : public QDialog {
    Q_OBJECT
public:
    SortOrderWindow(DataStore& store, MainSettings& settings, QWidget* parent = nullptr);

    // The clause saved by "确定" ("" for the manual order).
    QString savedClause() const { return m_clause; }

    static QString directionText(ListColumns::Direction d);

private:
    void save();

    MainSettings& m_settings;
    DataStore& m_store;
    QTableWidget* m_grid = nullptr;
    QList<ListColumns::SortRow> m_rows;
    QString m_clause;
};
