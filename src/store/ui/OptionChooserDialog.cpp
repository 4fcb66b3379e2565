#include "store/ui/OptionChooserDialog.h"

OptionChooserDialog::OptionChooserDialog(const QStringList&, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("双击选择项目"));
}

std::optional<QString> OptionChooserDialog::choose(const QStringList& options, QWidget* parent)
{
    OptionChooserDialog dlg(options, parent);
    dlg.exec();
    return dlg.chosen();
}
