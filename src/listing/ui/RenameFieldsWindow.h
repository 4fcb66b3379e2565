#pragma once

#include <QDialog>

class DataStore;
class QTableWidget;

// Window "字段改名": new titles for the fifteen spare fields (lbsz.btm, and
// xx.xm of the same field).
class RenameFieldsWindow : public QDialog {
    Q_OBJECT
public:
    explicit RenameFieldsWindow(DataStore& store, QWidget* parent = nullptr);

signals:
    // Emitted after titles were saved, so open windows can show the new ones.
    void titlesChanged();

private:
    void save();

    DataStore& m_store;
    QTableWidget* m_grid = nullptr;
};
