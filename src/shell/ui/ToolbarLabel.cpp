#include "shell/ui/ToolbarLabel.h"

#include <QMouseEvent>

ToolbarLabel::ToolbarLabel(const QString& name, const QString& caption, const QString& hint,
                           const QString& command, QWidget* parent)
    : QLabel(caption, parent), m_command(command)
{
    setObjectName(name);
    setToolTip(hint);
    setCursor(Qt::PointingHandCursor);
    setAlignment(Qt::AlignCenter);
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
    QFont f = font();
    f.setPixelSize(14);
    setFont(f);
    setHighlighted(false);
}

void ToolbarLabel::setHighlighted(bool on)
{
    // White text on the banner; pale gold while the pointer is over it.
    setStyleSheet(on ? QStringLiteral("QLabel { color: #FFD79D; background: transparent; font-size: 14px; }")
                     : QStringLiteral("QLabel { color: white; background: transparent; font-size: 14px; }"));
}

void ToolbarLabel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_pressed = true;
        event->accept();
        return;
    }
    QLabel::mousePressEvent(event);
}

void ToolbarLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        const bool fire = rect().contains(event->position().toPoint());
        m_pressed = false;
        event->accept();
        if (fire)
            emit activated(m_command, event->globalPosition().toPoint());
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

void ToolbarLabel::enterEvent(QEnterEvent* event)
{
    setHighlighted(true);
    QLabel::enterEvent(event);
}

void ToolbarLabel::leaveEvent(QEvent* event)
{
    setHighlighted(false);
    QLabel::leaveEvent(event);
}
