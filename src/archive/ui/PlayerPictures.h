#pragma once

#include <QList>
#include <QPixmap>

// The eight 16 × 15 pictures of the browser's and the player's toolbars,
// drawn here: play, pause, stop, first, previous, next, last, eject.
namespace PlayerPictures {

enum Picture { Play, Pause, Stop, First, Previous, Next, Last, Eject, Count };

inline constexpr int Width = 16;
inline constexpr int Height = 15;

QPixmap picture(Picture which);
// All eight in the order above.
QList<QPixmap> all();

}
