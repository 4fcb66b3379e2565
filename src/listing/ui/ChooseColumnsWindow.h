#pragma once

#include "listing/ListColumns.h"

#include <QDialog>

class DataStore;
class QCheckBox;
class QListWidget;

// Window "选择显示列": which fields the list shows, and in which order.
// Accepted after the choice was written.
class ChooseColumnsWindow : public QDialog {
    Q_OBJECT
public:
    explicit ChooseColumnsWindow(DataStore& store, QWidget* parent = nullptr);

private:
    void fill(bool homeOrder);
    void move(int step);
    void tickAll(bool checked);
    void save();

    DataStore& m_store;
    QListWidget* m_list = nullptr;
    QCheckBox* m_multiLine = nullptr;
    QCheckBox* m_all = nullptr;
};
