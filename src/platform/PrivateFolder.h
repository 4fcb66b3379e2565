#pragma once

#include "platform/Result.h"

#include <QString>

// Folders that hold the archive's content or files taken out of it: only the
// user running the program may enter them (0700), and files written into
// them are readable by that user alone (0600).
namespace PrivateFolder {

// Creates `path` (and missing parents) when absent; makes it 0700 and checks
// that it is a real folder owned by the current user. A folder that is a
// symbolic link, or belongs to someone else, is refused.
Status ensure(const QString& path);
// Narrows an existing folder to 0700 when it belongs to the current user.
Status narrow(const QString& path);
// Makes a file readable and writable by its owner only (0600).
Status restrictFile(const QString& path);

// The cause of a failure in words a clerk understands, from the technical
// text of a driver or a file system ("database or disk is full",
// "No space left on device", "attempt to write a readonly database" …);
// empty when the cause is none of the known ones.
QString plainCause(const QString& detail);
// `message` with the plain cause of `detail` added, when there is one:
// "更换编号失败! (磁盘空间不足)".
QString withCause(const QString& message, const QString& detail);

}
