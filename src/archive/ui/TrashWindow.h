#pragma once

#include "archive/Trash.h"

#include <QDialog>
#include <QList>

class DataStore;
class QLabel;
class QPushButton;
class QTableWidget;

// Window "回收站": the records in the trash the operator may see (those of
// closed protected groups never), newest first, with 文件编号, 文件名称,
// 原分组, 删除人, 删除时间 and 文件大小. "还原" moves the selected ones back
// into their groups (needs "增加"), "彻底删除" deletes them for good after
// its own question and "清空回收站" every one shown (both need "删除"); each
// runs as a job in the window "正在还原文件..." / "正在彻底删除文件..." with
// its bar and "取消".
class TrashWindow : public QDialog {
    Q_OBJECT
public:
    TrashWindow(DataStore& store, Trash::Setup setup, QWidget* parent = nullptr);

    QTableWidget* grid() const { return m_grid; }
    QPushButton* restoreButton() const { return m_restore; }
    QPushButton* purgeButton() const { return m_purge; }
    QPushButton* emptyButton() const { return m_empty; }
    // The ids of the rows shown, top down.
    QList<qint64> shownIds() const { return m_ids; }

public slots:
    void reload();
    void restoreSelected();
    void purgeSelected();
    void emptyTrash();

signals:
    // Records went back into wj (the list and the tree show them again).
    void restored();

private:
    QList<qint64> selectedIds() const;
    // Runs the job and says how it went; false when nothing was done.
    void runJob(bool restoring, const QList<qint64>& ids);

    DataStore& m_store;
    Trash::Setup m_setup;
    QTableWidget* m_grid = nullptr;
    QPushButton* m_restore = nullptr;
    QPushButton* m_purge = nullptr;
    QPushButton* m_empty = nullptr;
    QPushButton* m_close = nullptr;
    QLabel* m_status = nullptr;
    QList<qint64> m_ids;
};
