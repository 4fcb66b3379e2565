#pragma once

#include "platform/FileCopy.h"
#include "platform/Result.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class Progress;
class Sha256;

// What a folder-tree copy reports to: a status text, the current file's
// bytes (first bar) and the whole run's bytes (second bar), and whether the
// operator asked it to stop. The window "进度复制…" implements it.
class TreeCopyProgress {
public:
    virtual ~TreeCopyProgress() = default;
    virtual void setStatus(const QString& text) = 0;
    virtual void setFile(qint64 done, qint64 size) = 0;
    virtual void setTotal(qint64 done, qint64 total) = 0;
    virtual bool cancelled() const = 0;
};

// Copies a folder with all its sub-folders into a target folder, file by
// file in chunks the kernel copies (each file written under a temporary name
// and renamed when complete), stopping between chunks when cancelled.
namespace FolderTreeCopy {

inline const QString CountingText = QStringLiteral("正在统计所有文件/文件夹...");
inline const QString CreatingText = QStringLiteral("正在创建所需文件夹...");
inline const QString CopyingText = QStringLiteral("文件复制中...");
// "全部完成..." + files copied + "    失败:" + files failed + "个"
QString doneText(int copied, int failed);

struct Plan {
    QString source;
    QStringList folders;  // relative paths, parents before children
    struct File {
        QString relative;
        qint64 size = 0;
    };
    QList<File> files;
    qint64 bytes = 0;
};

struct Outcome {
    int copied = 0;
    int failed = 0;
    qint64 bytes = 0;
    QStringList failures;  // relative path: cause
};

// Walks source (status CountingText). Temporary files of FileCopy are left
// out; symbolic links are not followed.
Result<Plan> plan(const QString& source, TreeCopyProgress* progress = nullptr);

// Creates the folders (status CreatingText) and copies the files (status
// CopyingText) of plan into target. totalBefore/totalBytes place this copy
// inside a longer run on the second bar (totalBytes < 0: the plan's bytes).
// A file that cannot be copied is counted in failed and the copy goes on;
// a cancel stops it between chunks (the files copied so far stay).
// With a content check, every file is hashed as it is copied and the check
// hears of its relative path, size and SHA-256: a text it returns makes the
// file count as failed with that text as its cause.
// Each file goes to a temporary name and is renamed when complete; the
// target's file system is synced once at the end, before success is
// reported. fileCopied (optional) hears of each file copied, in turn.
using ContentCheck = std::function<QString(const QString& relative, qint64 bytes, const QString& sha256)>;
Result<Outcome> run(const Plan& plan, const QString& target, TreeCopyProgress* progress = nullptr,
                    FileCopy::Replace replace = FileCopy::Replace::Allowed, qint64 totalBefore = 0,
                    qint64 totalBytes = -1, const std::function<void(const QString&)>& fileCopied = {},
                    const ContentCheck& check = {});

// plan() then run(); shows doneText at the end.
Result<Outcome> copy(const QString& source, const QString& target, TreeCopyProgress* progress = nullptr,
                     FileCopy::Replace replace = FileCopy::Replace::Allowed);

// Copies one file the way run() does: to a temporary name beside target,
// renamed when complete, without a sync of its own (the caller syncs).
// The source is never reached through a link and must be a regular file (a
// pipe or a device is refused, never waited on). digest (optional) is fed
// every byte as it passes.
FileCopy::Result copyFile(const QString& source, const QString& target, FileCopy::Replace replace,
                          Progress* progress = nullptr, Sha256* digest = nullptr);

// Exchanges two folders of one file system in one step, so that a crash
// leaves each name holding one whole folder. Where the file system cannot
// exchange, it falls back to three renames.
Status exchange(const QString& a, const QString& b);

}
