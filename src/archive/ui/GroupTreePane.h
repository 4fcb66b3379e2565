#pragma once

#include "archive/GroupTree.h"
#include "archive/FilterClause.h"
#include "archive/StoreFolder.h"

#include <QIcon>
#include <QPixmap>
#include <QSet>
#include <QTreeWidget>

class CurrentOperator;
class QTimer;
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

    // Loads the tree from wjfz again, keeping the selection where it can; a
    // tree that cannot be read is said (and false).
    bool reload();
    // The selected group's path; empty for the root or no selection.
    QString selectedPath() const;
    bool isRootSelected() const;
    // The selected group's id; 0 for the root or no selection.
    qint64 selectedId() const;
    // Makes the group with this id (0: the root) the selected one, as a click
    // does; a refused group is refused at once and the selection goes back.
    bool selectGroup(qint64 id);
    QTreeWidgetItem* itemOf(qint64 id) const;

    GroupTree& groups() { return m_groups; }

    // Whether Shift was held when the operator last asked for the tree's
    // menu (the rarely used group entries are offered only then).
    bool menuAskedWithShift() const { return m_menuWithShift; }

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
    // The list shows other rows than the selected group's (a search): a
    // click on the selected group loads its own again.
    void listShowsOtherRows() { m_listElsewhere = true; }

signals:
    // The list should load this clause (selection changed to a group or the root).
    void filterChanged(const FilterClause& clause);
    // The operator right-clicked the tree: the main window opens menu "树".
    void menuRequested(const QPoint& globalPos);
    // Files were added to a group: the list should load again.
    void reloadListRequested();
    // Files or folders from the desktop were dropped on the group `path`.
    void filesDropped(const QString& path, const QStringList& localPaths);

protected:
    bool event(QEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    bool viewportEvent(QEvent* e) override;

private:
    // The group under pos that takes dropped files: a group (not the root)
    // that is not closed; 0 when none.
    qint64 dropTarget(const QPoint& pos) const;
    void noteMenuRequest(QEvent* e);
    void onCurrentChanged(QTreeWidgetItem* current);
    // Shows the pending refusal of a selected group and returns the
    // selection to the group whose files the list shows.
    void refuseSelection();
    void selectQuietly(qint64 id);
    void returnToAccepted();
    // The refusal of the selected group, shown unless the group is opened first.
    bool refuseClosed(qint64 id);
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
    bool m_menuWithShift = false;
    bool m_menuFromKeyboard = false;
    bool m_listElsewhere = false;
    QString m_acceptedPath;   // the group whose files the list was last handed (empty: the root)
    qint64 m_refusedId = -1;  // a selected group whose refusal is pending
    QString m_refusal;
    QTimer* m_refusalTimer = nullptr;
};
