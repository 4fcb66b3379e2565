#pragma once

#include "archive/ProtectedGroups.h"
#include "platform/Config.h"
#include "platform/Result.h"
#include "store/ArchiveLocation.h"
#include "store/CurrentOperator.h"
#include "store/MainSettings.h"
#include "platform/ProgramHome.h"

#include <memory>
#include <vector>

class InstanceLock;

// What the start-up sequence and the login establish for the whole run:
// the program folder and its Config.ini, the archive, the settings
// read at start, the current operator and the open protected groups.
// The main window holds it and hands each pane only the parts it needs.
struct AppContext {
    explicit AppContext(const QString& programFolder) : home(programFolder), config(home.configPath()) {}

    ProgramHome home;
    Config config;
    ArchiveLocation archive;
    CurrentOperator currentOperator;
    MainSettings mainSettings;
    QString fileTypes = QStringLiteral("A");  // zdbh '文件类型'
    QString fileSize = QStringLiteral("1");   // zdbh '文件尺寸' (megabytes)
    ProtectedGroups protectedGroups;
    // Held from the start-up to the end of the run: no second instance
    // works on the same Data folder.
    std::vector<std::shared_ptr<InstanceLock>> instanceLocks;

    // What the main window needs before it is built: the archive the
    // start-up sequence found and an operator from the login.
    Status readyForMainWindow() const
    {
        if (!archive.isValid())
            return Status::fail(QStringLiteral("打开数据库失败。"), QStringLiteral("start-up found no database path"));
        if (!currentOperator.isLoggedIn())
            return Status::fail(QString(), QStringLiteral("no operator logged in"));
        return {};
    }
};
