#pragma once

#include "platform/Result.h"

#include <QString>

// Qt's own texts (file, print and colour dialogs, standard buttons, context
// menus of edit boxes) in Chinese, from Qt's translation catalogue.
namespace QtTranslations {

// The catalogue loaded: Qt's base module in simplified Chinese.
inline const QString Catalogue = QStringLiteral("qtbase_zh_CN");

// Loads the catalogue from Qt's translation folder (or, when a copy ships
// there, the program folder's "translations") and installs it in the
// application. Installing twice keeps one. A failure says where it looked;
// the dialogs then stay in English.
Status install(const QString& programFolder = {});

}
