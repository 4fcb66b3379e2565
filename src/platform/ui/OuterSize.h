#pragma once

#include <QSize>

class QWidget;

// Window sizes are designed as outer sizes: frame and title bar included
// where the window has them. Qt sizes a window by its client area, and the
// frame the window system draws around it is known only once the window is
// on screen, so these helpers size the client area by the frame known so
// far and correct it whenever the frame becomes known or changes. A window
// without a frame gets the outer size as its client area.
namespace OuterSize {

// A fixed (not resizable) window of outer size outer.
void fix(QWidget* window, const QSize& outer);
// A resizable window that opens at outer size outer.
void resize(QWidget* window, const QSize& outer);

// The outer size a window was given here; invalid when none.
QSize designed(const QWidget* window);

}
