#include "shell/ui/PermissionNotice.h"
#include "platform/ui/OuterSize.h"
#include "platform/ui/BackgroundDrag.h"

#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QRadialGradient>
#include <QScreen>
#include <QTimer>
#include <QToolButton>

PermissionNotice::PermissionNotice(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("PermissionNotice"));
    setWindowTitle(QStringLiteral(" Korvane文件管理系统"));
    BackgroundDrag::install(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                   | Qt::WindowStaysOnTopHint);
    OuterSize::fix(this, {319, 127});

    // Units: geometry relative to the client area.
    m_icon = new QToolButton(this);
    m_icon->setObjectName(QStringLiteral("图形按钮1"));
    m_icon->setGeometry(40, 24, 32, 32);
    QIcon icon;
    icon.addPixmap(infoIcon(), QIcon::Normal);
    icon.addPixmap(infoIcon(), QIcon::Disabled);
    m_icon->setIcon(icon);
    m_icon->setIconSize(QSize(32, 32));
    m_icon->setAutoRaise(true);
    m_icon->setEnabled(false);
    m_icon->setFocusPolicy(Qt::NoFocus);

    m_label = new QLabel(Text, this);
    m_label->setObjectName(QStringLiteral("标签1"));
    m_label->setGeometry(96, 24, 160, 32);
    // As a widget style sheet, so that a skin's font rules leave it alone.
    m_label->setStyleSheet(QStringLiteral("font-size: 16px;"));

    // Nothing inside takes the keyboard; the notice itself does.
    setFocusPolicy(Qt::StrongFocus);

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("时钟1"));
    m_timer->setInterval(1000);
    connect(m_timer, &QTimer::timeout, this, &PermissionNotice::tick);

    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
}

namespace {
QPointer<PermissionNotice> g_current;
}

PermissionNotice* PermissionNotice::current()
{
    return g_current && g_current->isVisible() ? g_current.data() : nullptr;
}

PermissionNotice* PermissionNotice::showNotice(QWidget* parent)
{
    PermissionNotice* n = current();
    if (!n) {
        n = new PermissionNotice(parent);
        g_current = n;
        n->show();
    } else {
        n->m_ticks = 0;
        n->m_timer->start();
    }
    n->raise();
    n->activateWindow();
    n->setFocus(Qt::ActiveWindowFocusReason);
    return n;
}

QPixmap PermissionNotice::infoIcon()
{
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient g(QPointF(12, 10), 20);
    g.setColorAt(0.0, QColor(0x6F, 0xB1, 0xFF));
    g.setColorAt(1.0, QColor(0x14, 0x5D, 0xC8));
    p.setPen(QPen(QColor(0x0D, 0x45, 0x9A), 1));
    p.setBrush(g);
    p.drawEllipse(QRectF(1.5, 1.5, 29, 29));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(16, 9.5), 2.4, 2.4);
    p.drawRoundedRect(QRectF(13.8, 13.5, 4.4, 12.5), 1.2, 1.2);
    return pm;
}

void PermissionNotice::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    m_ticks = 0;
    m_timer->start();
}

void PermissionNotice::tick()
{
    if (++m_ticks >= TicksBeforeClosing) {
        m_timer->stop();
        close();
    }
}

void PermissionNotice::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        close();
        return;
    }
    QDialog::keyPressEvent(event);
}
