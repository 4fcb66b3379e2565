#include "archive/ui/GroupChooserDialog.h"
#include "platform/ui/OuterSize.h"

#include "archive/ui/GroupTreePane.h"
#include "platform/Prompter.h"
#include "platform/PrivateFolder.h"
#include "store/DataStore.h"

#include <QTreeWidget>

GroupChooserDialog::GroupChooserDialog(DataStore& store, ProtectedGroups& protectedGroups, const QString& caption,
                                       QWidget* parent)
    : QDialog(parent), m_store(store), m_groups(store, protectedGroups)
{
    setObjectName(QStringLiteral("双击选择分组"));
    setWindowTitle(caption);
    OuterSize::fix(this, {271, 337});

    m_tree = new QTreeWidget(this);
    m_tree->setObjectName(QStringLiteral("树型框1"));
    m_tree->setGeometry(0, 0, 264, 288);
    m_tree->setHeaderHidden(true);
    m_tree->setExpandsOnDoubleClick(false);
    m_loaded = m_groups.load();
    GroupTreePane::fill(m_tree, m_groups);
    m_tree->expandAll();
    m_tree->setCurrentItem(m_tree->topLevelItem(0));

    connect(m_tree, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item, int) { onDoubleClicked(item); });
}

void GroupChooserDialog::onDoubleClicked(QTreeWidgetItem* item)
{
    if (!item)
        return;
    const qint64 id = item->data(0, GroupTreePane::IdRole).toLongLong();
    const GroupTree::Node* n = m_groups.find(id);
    // The root is no group to file into.
    if (id == 0 || !n)
        return;
    if (m_groups.isClosed(id) && !GroupTreePane::openWithPasswords(m_groups, id))
        return;
    m_chosen = m_groups.find(id)->path();
    accept();
}

std::optional<QString> GroupChooserDialog::choose(DataStore& store, ProtectedGroups& protectedGroups, QWidget* parent,
                                                  const QString& caption)
{
    GroupChooserDialog dlg(store, protectedGroups, caption, parent);
    // A tree that cannot be read offers nothing to choose: say why instead.
    if (!dlg.loaded()) {
        prompter().message(PrivateFolder::withCause(dlg.loaded().message(), dlg.loaded().detail()), {},
                           Prompter::Icon::Warning);
        return std::nullopt;
    }
    dlg.exec();
    return dlg.chosenPath();
}
