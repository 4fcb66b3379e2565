#pragma once

#include <QString>
#include <QStringList>

// The command line: korvane-cli [--home DIR] [--user NAME] COMMAND [ARGS].
// Each command is one function in the table of Cli.cpp with the right it
// needs. Data goes to stdout, messages to stderr; the exit status is 0 on
// success, 1 when the work failed (or found the archive not whole) and 2 on
// bad usage.
namespace Cli {

inline constexpr int Ok = 0;
inline constexpr int Failed = 1;
inline constexpr int BadUsage = 2;

// args without the program name. programFolder: the folder used when no
// --home is given.
int run(const QStringList& args, const QString& programFolder);

}  // namespace Cli
