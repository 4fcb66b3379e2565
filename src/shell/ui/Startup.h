#pragma once

#include "platform/Result.h"

#include <memory>

struct AppContext;
class MainWindow;

// The program's entry: command line, start-up sequence, login, main window.
namespace Startup {

// korvane [--home DIR] | --init-home DIR
int run(int argc, char** argv);

// After the login: checks that the context is ready and builds the main
// window, which must have opened its connection. A failure carries the
// message to show ("打开数据库失败。") and the main window is not kept.
Result<std::unique_ptr<MainWindow>> openMainWindow(AppContext& context);

}
