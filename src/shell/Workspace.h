#pragma once

#include <QList>
#include <QString>

// What the main window offers the commands that live inside it: the
// selection of the file list and of the group tree, and the requests to
// reload them. The panes never see it (they take what they act on as slot
// parameters); the main window implements it; tests give a fake.
class Workspace {
public:
    struct Column {
        QString field;   // wj column
        QString header;  // header text
    };

    virtual ~Workspace() = default;

    // The ids of the selected list rows, in list order.
    virtual QList<qint64> selectedIds() const = 0;
    // The id of the list's current row; -1 when none.
    virtual qint64 currentId() const = 0;
    // The file name shown in the list's current row; empty when none.
    virtual QString currentName() const { return {}; }
    // The shown columns of the report list, in display order.
    virtual QList<Column> shownColumns() const = 0;
    // The group path selected in the tree; empty for the root "文件服务器".
    virtual QString selectedGroupPath() const = 0;
    virtual bool isRootSelected() const = 0;

    virtual void reloadList() = 0;
    virtual void reloadTree() = 0;
    // Position 0..100 of the thin progress bar; -1 hides it.
    virtual void setProgress(int percent) = 0;
};
