#include "listing/ui/RenameFieldsWindow.h"

#include "shell/AppContext.h"
#include "store/DataStore.h"

RenameFieldsWindow::RenameFieldsWindow(AppContext& context, DataStore& store, QWidget* parent)
    : QDialog(parent), m_context(context), m_store(store)
{
    setWindowTitle(QStringLiteral("字段改名"));
}
