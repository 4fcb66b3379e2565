#pragma once

#include "archive/ProtectedGroups.h"
#include "platform/Result.h"
#include "shell/Config.h"
#include "shell/CurrentOperator.h"
#include "shell/MainSettings.h"
#include "shell/ProgramHome.h"

// What the start-up sequence and the login establish for the whole run:
// the program folder and its Config.ini, the database path, the settings
// read at start, the current operator and the open protected groups.
// The main window and its panes share one AppContext.
struct AppContext {
    explicit AppContext(const QString& programFolder)
        : home(programFolder), config(home.configPath()) {}

    ProgramHome home;
    Config config;
    QString databasePath;
    CurrentOperator currentOperator;
    MainSettings mainSettings;
    QString fileTypes = QStringLiteral("A"); // zdbh '文件类型'
    QString fileSize = QStringLiteral("1");   // zdbh '文件尺寸' (megabytes)
    ProtectedGroups protectedGroups;

    // What the main window needs before it is built: the database path the
    // start-up sequence found and an operator from the login.
    Status readyForMainWindow() const
    {
        if (databasePath.isEmpty())
            return Status::fail(QStringLiteral("打开数据库失败。"), QStringLiteral("start-up found no database path"));
        if (!currentOperator.isLoggedIn())
            return Status::fail(QString(), QStringLiteral("no operator logged in"));
        return {};
    }
};
