#include "shell/ui/StartupFonts.h"

#include <QFont>
#include <QStringList>

namespace Startup {

void installFontSubstitutes()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    // The Song faces whose metrics the windows were drawn for come first.
    const QStringList songFaces = {
        QStringLiteral("AR PL UMing CN"),    QStringLiteral("AR PL SungtiL GB"),    QStringLiteral("Noto Serif CJK SC"),
        QStringLiteral("Noto Serif CJK TC"), QStringLiteral("Source Han Serif SC"), QStringLiteral("WenQuanYi Zen Hei"),
        QStringLiteral("Noto Sans CJK SC"),
    };
    for (const char* name : {"宋体", "SimSun", "NSimSun", "新宋体"})
        QFont::insertSubstitutions(QString::fromUtf8(name), songFaces);
}

}
