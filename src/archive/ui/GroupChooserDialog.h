#pragma once

#include "archive/GroupTree.h"

#include <QDialog>
#include <optional>

class DataStore;
class ProtectedGroups;
class QTreeWidget;
class QTreeWidgetItem;

// Window "双击选择分组" / "双击选择目标分组": the group tree to pick a group by
// double-click. A closed protected group cannot be chosen until opened.
class GroupChooserDialog : public QDialog {
    Q_OBJECT
public:
    GroupChooserDialog(DataStore& store, ProtectedGroups& protectedGroups, const QString& caption,
                       QWidget* parent = nullptr);

    // The chosen group path, or nullopt when the window was closed (or the
    // tree could not be read, which the operator is told).
    static std::optional<QString> choose(DataStore& store, ProtectedGroups& protectedGroups, QWidget* parent = nullptr,
                                         const QString& caption = QStringLiteral("双击选择分组"));

    std::optional<QString> chosenPath() const { return m_chosen; }
    // How reading the tree went; choose() shows a failure rather than an
    // empty tree.
    const Status& loaded() const { return m_loaded; }
    QTreeWidget* tree() const { return m_tree; }

private:
    void onDoubleClicked(QTreeWidgetItem* item);

    DataStore& m_store;
    GroupTree m_groups;
    QTreeWidget* m_tree = nullptr;
    std::optional<QString> m_chosen;
    Status m_loaded;
};
