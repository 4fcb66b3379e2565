#include "archive/ui/EditPanel.h"

#include "shell/AppContext.h"
#include "shell/CommandRouter.h"
#include "shell/Workspace.h"
#include "store/DataStore.h"

EditPanel::EditPanel(AppContext& context, DataStore& store, Workspace& workspace, QWidget* parent)
    : QFrame(parent), m_context(context), m_store(store), m_workspace(workspace)
{
    setObjectName(QStringLiteral("外形框1"));
    setFrameShape(QFrame::StyledPanel);
}

void EditPanel::registerCommands(CommandRouter&)
{
}

void EditPanel::showRecord(qint64)
{
}

void EditPanel::reloadTitles()
{
}
