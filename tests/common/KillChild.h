#pragma once

#include <QString>
#include <functional>

// Work that must survive a crash at any moment: run it in a child process
// and kill the child (SIGKILL, nothing gets to clean up) part way.
namespace KillChild {

// Forks; the child runs `work` (which should not return) and the parent
// kills it after `delayMs` milliseconds. The caller closes its own database
// connections first, so the child shares none of them. True when the child
// was killed while working.
bool runAndKill(const std::function<void()>& work, int delayMs);

// Freezes a file or folder (nothing in it can be written, removed or
// renamed, not even by root: the immutable flag for root, the write bits
// for anybody else) or thaws it again. False when that is not possible here.
bool freeze(const QString& path, bool frozen);

}
