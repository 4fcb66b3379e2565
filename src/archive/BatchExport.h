#pragma once

#include "archive/ProtectedGroups.h"
#include "archive/StoreFolder.h"
#include "platform/Job.h"
#include "store/ArchiveLocation.h"
#include "store/CurrentOperator.h"

#include <QString>
#include <functional>

class DataStore;
class Progress;

// "批量导出": writes the files of a group and of its sub-groups into a
// folder, as name + "." + type, either all into the folder or each below
// the folder in the folders of its group path.
//
// The folder may not be one of the archive's own folders, lie inside one
// or hold one (ExportGuard); nothing is written then. Every part of a path
// written (each group name, each file name) is made a safe file name
// (FileOpening::safeFileName), and every folder used is checked to lie
// inside the chosen folder and outside the archive's folders, links and
// bind mounts included, before anything is written into it.
//
// Names stay unique in their folder, compared without case (the folder may
// be on FAT, exFAT or Windows): a name this run has written, or one that was
// there before and may not be replaced, gives "name (2).type", "name
// (3).type" … A file that was there before the run is replaced only with
// setReplaceExisting(true) (the window, whose question says so), never one
// the run wrote itself. Each file is written through a temporary file and a
// rename: a failed or cancelled write leaves the old file or nothing, never
// a part of one.
//
// Each record's content is checked as it is copied (ExportedContent): a
// damaged record is left out, the run goes on, and the outcome names it. So
// is a file that cannot be written (the folder or the stick refuses it).
// Records of closed protected groups are left out, and never named. One log
// line "批量导出：" per run.
class BatchExport {
public:
    static inline const QString WindowTitle = QStringLiteral("批量导出文件");
    static inline const QString ChooseFolder = QStringLiteral("请选择导出的文件目录:");
    static inline const QString Working = QStringLiteral("正在批量导出文件");
    static inline const QString Cancelled = QStringLiteral("导出文件取消!");
    static inline const QString WriteFailed = QStringLiteral("导出文件失败! 错误代码: 01");
    // The most damaged records the end message names one by one.
    static constexpr int DamagedShown = 10;

    // "确认导出 <group> 的文件到 <folder> ? 如果有重名文件将被覆盖!"
    static QString confirmText(const QString& groupName, const QString& folder);
    // "<n> 个文件已成功导出到 <folder>"
    static QString doneText(int count, const QString& folder);
    // The log line of a run (with the numbers of damaged records and of files
    // that could not be written, if any).
    static QString logText(const QString& group, const QString& folder, int count, int damaged = 0, int failed = 0);

    // A record whose content is not what the record says.
    struct Damaged {
        qint64 id = -1;
        QString details;  // number, name and type
        QString damage;   // what is wrong
        // "内容已损坏，未导出: <details>（<damage>）"
        QString text() const;
    };
    // The damaged records' lines of the end message (the first DamagedShown).
    static QString damagedText(const QList<Damaged>& damaged);

    // A record whose file could not be written (the folder refused the
    // name, a folder was in the way, the disk was full …).
    struct Unwritten {
        qint64 id = -1;
        QString details;  // number, name and type
        QString cause;    // in words, when known
        QString detail;   // the technical cause
    };
    // "写入失败，未导出: <details>（<cause>）" lines (the first DamagedShown).
    static QString failedText(const QList<Unwritten>& failed);

    struct Outcome {
        enum class Kind { Done, Cancelled, Failed };
        Kind kind = Kind::Done;
        int written = 0;             // files written
        QList<Damaged> damaged;      // records left out
        QList<Unwritten> unwritten;  // files that could not be written, left out
        bool logFailed = false;
        QString message;  // how the run ended (fullText() adds the records left out)
        QString detail;
        bool ok() const { return kind == Kind::Done; }
        // Whether every record was written.
        bool complete() const { return ok() && damaged.isEmpty() && unwritten.isEmpty(); }
        // message, then damagedText(damaged) and failedText(unwritten).
        QString fullText() const;
    };

    BatchExport(DataStore& store, StoreFolder folder, const CurrentOperator& op, ProtectedGroups open);

    // Whether files that were in the folders before the run may be replaced
    // by files of the same name (never at first).
    void setReplaceExisting(bool replace) { m_replaceExisting = replace; }

    // The folder below `folder` a record of `group` is written into.
    static QString folderFor(const QString& folder, const QString& group, bool withSubfolders);

    // Exports the records of `group` (and its sub-groups) into `folder`.
    Outcome run(const QString& group, const QString& folder, bool withSubfolders, Progress& progress,
                const std::function<void(const QString& name)>& onFile = {});

    // A run as a job needs: which archive, and what run() takes.
    struct Setup {
        ArchiveLocation archive;
        StoreFolder folder;
        CurrentOperator op;
        ProtectedGroups open;
        QString group;
        QString target;
        bool withSubfolders = false;
        bool replaceExisting = false;
    };
    // The run as the body of a Job, on a connection of its own opened on the
    // thread the job runs on; the job's item is the file being written.
    static JobOf<Outcome>::Body job(Setup setup);

private:
    DataStore& m_store;
    StoreFolder m_folder;
    const CurrentOperator& m_operator;
    ProtectedGroups m_open;
    bool m_replaceExisting = false;
};
