#pragma once

#include <QObject>
#include <QPoint>

class QWidget;

// Lets the operator drag a window by pressing the left mouse button on its
// background (any press that no child control takes reaches the window).
class BackgroundDrag : public QObject {
    Q_OBJECT
public:
    // Installs dragging on window; the helper lives as long as the window.
    static BackgroundDrag* install(QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit BackgroundDrag(QWidget* window);

    QWidget* m_window;
    QPoint m_offset;
    bool m_dragging = false;
};
