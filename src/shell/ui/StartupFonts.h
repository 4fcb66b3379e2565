#pragma once

#include <QString>

namespace Startup {

// The Song face the windows ask for by name.
inline const QString SongFamily = QStringLiteral("宋体");

// Lets the Windows Song face names ("宋体", "SimSun", …) fall back to an
// installed Song-style CJK face. Safe to call more than once.
void installFontSubstitutes();

}
