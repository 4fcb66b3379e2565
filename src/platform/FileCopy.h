#pragma once

#include "platform/Result.h"

#include <QByteArray>
#include <QString>

class Progress;
class QFile;
class QIODevice;
class Sha256;

// Copies file contents in chunks, reporting to a Progress between chunks and
// stopping when it is cancelled. The whole file is never held in memory.
//
// Every write goes to a temporary file in the target's folder, which is
// flushed and synced to disk and only then renamed to the target, so the
// target is either absent (or, when replacing, unchanged) or complete. On a
// failure or a cancel the temporary file is removed.
namespace FileCopy {

inline constexpr qint64 ChunkSize = qint64(1) << 20;  // 1 MiB

enum class Replace {
    Never,   // an existing target makes the copy fail; nothing is touched
    Allowed  // an existing target is replaced in one step by the rename
};

// Whether each written file (and its folder entry) is synced to disk before
// the call returns. Without, the rename still keeps a failed or cancelled
// write from leaving a part of a file behind; the data reaches the disk
// when the system writes it back (copies out of the archive, which can be
// made again).
enum class Sync { Each, None };

// What a copy must have copied before its target takes its name: exactly
// `size` bytes (when >= 0) whose SHA-256 is `sha256` (hex digits, either
// case; when not empty). A source that yields more than `size` stops the
// copy at once. The hash is taken as the bytes pass (no second reading);
// a digest handed to the copy as well is the one it is taken with, and is
// read (so starts again) by the check.
struct Expect {
    qint64 size = -1;
    QString sha256;
};

// Why a copy's content was not what its Expect said.
enum class Mismatch { None, Size, Hash };

struct [[nodiscard]] Result {
    bool ok = false;
    bool cancelled = false;
    Mismatch mismatch = Mismatch::None;  // the content differed from the Expect; nothing was written
    qint64 bytes = 0;                    // bytes written
    QString error;                       // why it failed (for logs and tests; windows show their own texts)
    explicit operator bool() const { return ok; }
};

// Copies the file `source` to `target`. progress (optional) gets the range
// 0..size and the bytes done. digest (optional) is fed every byte copied, as
// it passes.
Result copy(const QString& source, const QString& target, Replace replace = Replace::Never,
            Progress* progress = nullptr, Sha256* digest = nullptr, Sync sync = Sync::Each, const Expect& expect = {});
// The same for a file already open for reading (from its current position;
// e.g. one opened without following links), which stays open.
Result copyOpen(QFile& in, const QString& target, Replace replace = Replace::Never, Progress* progress = nullptr,
                Sha256* digest = nullptr, Sync sync = Sync::Each, const Expect& expect = {});
// Copies what `in` (open for reading) yields to `target`; expectedSize, when
// known (>= 0), sets the progress range.
Result copyFrom(QIODevice& in, const QString& target, Replace replace = Replace::Never, Progress* progress = nullptr,
                qint64 expectedSize = -1, Sha256* digest = nullptr, Sync sync = Sync::Each, const Expect& expect = {});
// Writes `bytes` to `target` in chunks.
Result write(const QByteArray& bytes, const QString& target, Replace replace = Replace::Never,
             Progress* progress = nullptr, Sha256* digest = nullptr, Sync sync = Sync::Each, const Expect& expect = {});

// Renames `from` to `to` inside one file system, syncing the folder;
// with Replace::Never an existing `to` makes it fail and nothing changes.
// A failure carries the cause as its detail.
Status move(const QString& from, const QString& to, Replace replace = Replace::Never);

// Tells the system that `path` will be read soon, so that its reading can
// start now, beside other work (a run over many files asks a few files ahead).
void prefetch(const QString& path);

// The temporary name used while writing `target` (a short hidden file beside
// it, whatever the length of the target's name).
QString temporaryNameFor(const QString& target);
// True for the temporary files this namespace writes (they are never a target).
bool isTemporaryName(const QString& fileName);

}
