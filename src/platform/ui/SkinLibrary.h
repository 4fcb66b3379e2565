#pragma once

#include <QString>
#include <QFont>

// Skins: a ".she" file is a Qt style sheet that is applied to the whole
// application. Attaching a skin that is missing or unreadable changes
// nothing and reports nothing; the windows keep the look they have.
namespace SkinLibrary {

// The fixed password every skin file is opened with.
inline const QString Password = QStringLiteral("pkzt3857");
// The value that stands for "no skin" in Config.ini.
inline const QString NoSkin = QStringLiteral("NO");

// Makes the application's own style the base every skin is drawn over:
// the platform look, except that password boxes always mask with "*".
// Idempotent; attach() calls it too, the program calls it at start so that
// running without a skin looks the same.
void installBaseLook();
// The interface font installBaseLook sets for the whole application.
QFont interfaceFont();

// Applies the skin file at path to the application. True when it was
// applied; false (and nothing changed) for "NO", an empty path, or a file
// that is missing or cannot be read.
bool attach(const QString& path, const QString& password = Password);
// Removes the skin; the windows return to the platform look.
void detach();
// The file of the skin attached now; empty when none.
QString attachedPath();

}
