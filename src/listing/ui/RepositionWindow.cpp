#include "listing/ui/RepositionWindow.h"
#include "platform/ui/OuterSize.h"

#include "listing/ui/FileListViews.h"

#include <QPushButton>

RepositionWindow::RepositionWindow(FileListViews& views, QWidget* parent) : QDialog(parent), m_views(views)
{
    setWindowTitle(QStringLiteral("调整位置"));
    OuterSize::fix(this, {197, 126});
    auto* up = new QPushButton(QStringLiteral("向上移动"), this);
    up->setObjectName(QStringLiteral("向上超级按钮"));
    up->setGeometry(24, 16, 136, 24);
    auto* down = new QPushButton(QStringLiteral("向下移动"), this);
    down->setObjectName(QStringLiteral("向下超级按钮"));
    down->setGeometry(24, 48, 136, 24);
    up->setAutoDefault(false);
    down->setAutoDefault(false);
    connect(up, &QPushButton::clicked, this, [this] { m_views.moveCurrent(-1); });
    connect(down, &QPushButton::clicked, this, [this] { m_views.moveCurrent(1); });
}
