#include "listing/ui/FileListViews.h"

#include "shell/AppContext.h"
#include "shell/CommandRouter.h"
#include "store/DataStore.h"

#include <QListView>
#include <QTableView>

FileListViews::FileListViews(AppContext& context, DataStore& store, Workspace& workspace, QWidget* viewParent)
    : QObject(viewParent), m_context(context), m_store(store), m_workspace(workspace)
{
    m_report = new QTableView(viewParent);
    m_report->setObjectName(QStringLiteral("文件超级列表框"));
    m_icons = new QListView(viewParent);
    m_icons->setObjectName(QStringLiteral("图标超级列表框"));
}

FileListViews::~FileListViews() = default;

void FileListViews::registerCommands(CommandRouter&)
{
}

void FileListViews::load(const FilterClause& clause)
{
    m_filter = clause;
}

void FileListViews::reload()
{
    load(m_filter);
}

QList<qint64> FileListViews::selectedIds() const
{
    return {};
}

qint64 FileListViews::currentId() const
{
    return -1;
}

QList<Workspace::Column> FileListViews::shownColumns() const
{
    return {};
}
