#include "platform/ui/BackgroundDrag.h"

#include <QMouseEvent>
#include <QWidget>

BackgroundDrag* BackgroundDrag::install(QWidget* window)
{
    return new BackgroundDrag(window);
}

BackgroundDrag::BackgroundDrag(QWidget* window) : QObject(window), m_window(window)
{
    window->installEventFilter(this);
}

bool BackgroundDrag::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_window)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (e->button() != Qt::LeftButton)
            return false;
        m_dragging = true;
        m_offset = e->globalPosition().toPoint() - m_window->frameGeometry().topLeft();
        return true;
    }
    case QEvent::MouseMove: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (!m_dragging || !(e->buttons() & Qt::LeftButton))
            return false;
        m_window->move(e->globalPosition().toPoint() - m_offset);
        return true;
    }
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            m_dragging = false;
        return false;
    default:
        return false;
    }
}
