#include "archive/ui/GroupTreePane.h"

#include "shell/AppContext.h"
#include "shell/CommandRouter.h"
#include "shell/Workspace.h"
#include "store/DataStore.h"

GroupTreePane::GroupTreePane(AppContext& context, DataStore& store, Workspace& workspace, QWidget* parent)
    : QTreeWidget(parent), m_context(context), m_store(store), m_workspace(workspace)
{
    setObjectName(QStringLiteral("树型框1"));
    setHeaderHidden(true);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { emit menuRequested(viewport()->mapToGlobal(p)); });
}

void GroupTreePane::registerCommands(CommandRouter&)
{
}

bool GroupTreePane::reload()
{
    return true;
}

QString GroupTreePane::selectedPath() const
{
    return {};
}

bool GroupTreePane::isRootSelected() const
{
    return true;
}
