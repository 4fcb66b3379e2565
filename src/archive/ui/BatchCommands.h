#pragma once

#include "archive/BatchImport.h"
#include "archive/Regroup.h"
#include "archive/StoreFolder.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <functional>
#include <optional>

class CurrentOperator;
class DataStore;
class ProtectedGroups;
class QWidget;

// The batch commands of the tree's and the list's menus: import (also of
// files and folders dropped on a group), export, batch modify, and moving
// records to another group. The host tests the rights and hands each slot
// the group or the records it acts on.
class BatchCommands : public QObject {
    Q_OBJECT
public:
    BatchCommands(DataStore& store, const StoreFolder& storeFolder, ProtectedGroups& protectedGroups,
                  const CurrentOperator& op, QWidget* window);

    // "确定调整分组" and friends pick their group through this (tests stand in for the window).
    using GroupChooser = std::function<std::optional<QString>()>;
    void setGroupChooser(GroupChooser f) { m_chooser = std::move(f); }

public slots:
    // "批量导入": the files chosen in the multi-file dialog, into `group`.
    void importInto(const QString& group);
    // Files and folders dropped on `group`: a file goes into group, a folder
    // becomes a sub-group of it (made when missing) with its folders as
    // sub-groups below, each file going into the group of its folder.
    void importDropped(const QString& group, const QStringList& paths);
    // "批量导出" of `group` (empty: the root, every group).
    void exportGroup(const QString& group);
    // "批量修改" over the selected records or every record of the list.
    void modify(const QList<qint64>& selected, const QList<qint64>& all);
    // "调整文件所属分组".
    void moveRecords(const QList<qint64>& ids);
    // "调整分组": every record of exactly `group`.
    void moveGroupFiles(const QString& group);

signals:
    // Records changed: the list should load again.
    void reloadListRequested();
    // Groups were made: the tree should load again.
    void groupsChanged();

private:
    void runImport(const QString& group, const QList<BatchImport::Item>& items);
    std::optional<QString> chooseGroup();
    // Says how a move of records ended and asks for the list to be read again.
    void showMoved(const Result<Regroup::Moved>& moved);
    QString fileFilter(const QString& types) const;

    DataStore& m_store;
    StoreFolder m_storeFolder;
    ProtectedGroups& m_protectedGroups;
    const CurrentOperator& m_operator;
    QWidget* m_window;
    GroupChooser m_chooser;
};
