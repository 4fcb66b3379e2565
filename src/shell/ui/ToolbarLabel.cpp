#include "shell/ui/ToolbarLabel.h"

#include <QMouseEvent>

ToolbarLabel::ToolbarLabel(const QString& name, const QString& caption, const QString& hint, const QString& command,
                           QWidget* parent)
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
    // White text straight on the banner, whatever skin is in use.
    setStyleSheet(QStringLiteral("QLabel { color: white; background: transparent; font-size: 14px; }"));
}

void ToolbarLabel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        event->accept();
        return;
    }
    QLabel::mousePressEvent(event);
}

void ToolbarLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        const bool fire = rect().contains(event->position().toPoint());
        event->accept();
        if (fire)
            emit activated(m_command, event->globalPosition().toPoint());
        return;
    }
    QLabel::mouseReleaseEvent(event);
}
