#include "archive/ui/GroupChooserDialog.h"

#include "shell/AppContext.h"
#include "store/DataStore.h"

GroupChooserDialog::GroupChooserDialog(AppContext& context, DataStore& store, const QString& caption, QWidget* parent)
    : QDialog(parent), m_context(context), m_store(store)
{
    setWindowTitle(caption);
}

std::optional<QString> GroupChooserDialog::choose(AppContext& context, DataStore& store, QWidget* parent,
                                                  const QString& caption)
{
    GroupChooserDialog dlg(context, store, caption, parent);
    dlg.exec();
    return dlg.chosenPath();
}
