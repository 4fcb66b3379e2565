#include "shell/ui/PermissionNotice.h"

PermissionNotice::PermissionNotice(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("PermissionNotice"));
    setWindowTitle(QStringLiteral(" Korvane文件管理系统"));
    setAttribute(Qt::WA_DeleteOnClose);
}

PermissionNotice* PermissionNotice::showNotice(QWidget* parent)
{
    auto* n = new PermissionNotice(parent);
    n->show();
    return n;
}
