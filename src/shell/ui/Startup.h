#pragma once

// The program's entry: command line, start-up sequence, login, main window.
namespace Startup {

// korvane [--home DIR] | --init-home DIR
int run(int argc, char** argv);

}
