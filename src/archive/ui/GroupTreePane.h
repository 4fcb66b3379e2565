#pragma once

#include "archive/GroupTree.h"
#include "archive/FilterClause.h"
#include "archive/StoreFolder.h"

#include <QIcon>
#include <QPixmap>
#include <QSet>
#include <QTreeWidget>

class CurrentOperator;
class DataStore;
class ProtectedGroups;

// The group tree "树型框1": the root "文件服务器" and the groups of wjfz.
class GroupTreePane : public QTreeWidget {
    Q_OBJECT
public:
    // Each item keeps its group id (0 for the root) under this role.
    static constexpr int IdRole = Qt::UserRole;

    GroupTreePane(DataStore& store, const StoreFolder& storeFolder, ProtectedGroups& protectedGroups,
                  const CurrentOperator& op, QWidget* parent = nullptr);

    // Loads the tree from wjfz again, keeping the selection where it can.
    bool reload();
    // The selected group's path; empty for the root or no selection.
    QString selectedPath() const;
    bool isRootSelected() const;
    // The selected group's id; 0 for the root or no selection.
    qint64 selectedId() const;
    // Makes the group with this id (0: the root) the selected one, as a click does.
    bool selectGroup(qint64 id);
    QTreeWidgetItem* itemOf(qint64 id) const;

    GroupTree& groups() { return m_groups; }

    // The five 16 x 16 tree images (root, folder, open folder, padlock,
    // padlocked "A"), shared with the group chooser.
    static const QList<QPixmap>& images();
    static QIcon icon(int image, int selectedImage);
    // Fills a tree box with the root and every group of `groups`.
    static void fill(QTreeWidget* tree, const GroupTree& groups);
    // Asks for the password of each closed protected group that keeps the
    // group `id` closed, top down; true when the group is open now.
    static bool openWithPasswords(GroupTree& groups, qint64 id);

public slots:
    void addGroup();
    void renameGroup();
    void deleteGroup();
    void moveUp();
    void moveDown();
    void setPassword();
    void copyGroup();

signals:
    // The list should load this clause (selection changed to a group or the root).
    void filterChanged(const FilterClause& clause);
    // The operator right-clicked the tree: the main window opens menu "树".
    void menuRequested(const QPoint& globalPos);
    // Files were added to a group: the list should load again.
    void reloadListRequested();

private:
    void onCurrentChanged(QTreeWidgetItem* current);
    void onDoubleClicked(QTreeWidgetItem* item);
    // Hands the list the clause of a node; a refusal is shown when `speak`.
    void offerFilter(qint64 id, bool speak);
    QSet<QString> expandedPaths() const;
    void rebuild(qint64 selectId, const QSet<QString>& expanded);
    void move(int step);

    DataStore& m_store;
    StoreFolder m_storeFolder;
    ProtectedGroups& m_protectedGroups;
    const CurrentOperator& m_operator;
    GroupTree m_groups;
    bool m_quiet = false;
};
