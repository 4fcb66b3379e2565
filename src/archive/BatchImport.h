#pragma once

#include "archive/ProtectedGroups.h"
#include "archive/StoreFolder.h"
#include "platform/Job.h"
#include "store/ArchiveLocation.h"
#include "store/CurrentOperator.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

class DataStore;
class Progress;

// "批量导入": stores many files as new records of one group, each through
// the single add of FileRecords (its number, its kept file, its content),
// with one log line "批量增加：" per record.
//
// Records are whole or absent. For speed many records share one
// transaction (each in a savepoint of its own), committed at least every
// CommitIntervalMs and at the end; a record whose content goes to the store
// folder is committed at once, together with what came before it, so a
// crash loses at most the uncommitted tail and leaves no kept file that the
// start-up sweep would not set aside. The run works on the connection it is
// given; as a job (job()) it opens one of its own where the job runs.
class BatchImport {
public:
    static inline const QString WindowTitle = QStringLiteral("批量导入文件");
    static inline const QString ChooseTitle = QStringLiteral("请选择文件(按住Ctrl键,单击文件可多选，Ctrl+A键 全选)");
    static inline const QString Working = QStringLiteral("正在批量导入文件");
    static inline const QString InsertFailed = QStringLiteral("上传文件失败!");
    static inline const QString Cancelled = QStringLiteral("导入文件取消!");
    static inline const QString NoGroup = QStringLiteral("未选择分组或选择分组无效!!");
    static constexpr int CommitIntervalMs = 1000;

    // "您选中了n个文件,确认导入 <group> 分组吗? 共:<size text>"
    static QString confirmText(int count, const QString& groupName, qint64 totalBytes);
    // The sum of the sizes of the files.
    static qint64 totalBytes(const QStringList& files);
    // The files of dropped paths: a file as it is, a folder with every file
    // below it (sorted by path; links are not followed). With a type list
    // ('文件类型'), files of other types are left out.
    static QStringList expand(const QStringList& paths, const QString& allowedTypes = QString());

    // A file and the group it goes into.
    struct Item {
        QString file;
        QString group;
    };
    // Every file into group.
    static QList<Item> into(const QString& group, const QStringList& files);
    static QStringList filesOf(const QList<Item>& items);
    // The files of paths dropped on `group`, keeping their folders: a file
    // goes into group; a folder becomes the sub-group of group named after
    // it (GroupTree::nameFromFolder), each folder below it a sub-group of its
    // folder's group, and each file goes into the group of its folder. A
    // folder that brings no file makes no group. Order, links and types as
    // expand().
    static QList<Item> expandKeepingFolders(const QStringList& paths, const QString& group,
                                            const QString& allowedTypes = QString());

    struct Outcome {
        enum class Kind { Done, Cancelled, Failed };
        Kind kind = Kind::Done;
        int total = 0;       // files chosen
        int sameName = 0;    // left out as same-name files
        int imported = 0;    // records written (and committed)
        int duplicates = 0;  // left out as content already held (tick box, or answered no)
        // Files stored although their content was already held (no question
        // was asked): "<file name>: <who holds it>".
        QStringList duplicatesStored;
        qint64 run = -1;   // the run as recorded for its undo (drpc); -1: it added nothing
        qint64 bytes = 0;  // their size
        bool logFailed = false;
        bool groupsAdded = false;  // sub-groups were made: the tree changed
        QString message;           // what the window shows
        QString detail;
        bool ok() const { return kind == Kind::Done; }
    };
    // "文件总数:n个,同名文件:s个,成功导入k个, 共: <size text>", with
    // ",跳过内容相同的文件d个" after the same-name files when some were.
    static QString summary(const Outcome& out);

    BatchImport(DataStore& store, StoreFolder folder, CurrentOperator op, qint64 sizeBound, ProtectedGroups open);

    // A run as a job needs: which archive, and what run() takes.
    struct Setup {
        ArchiveLocation archive;
        StoreFolder folder;
        CurrentOperator op;
        ProtectedGroups open;
        qint64 sizeBound = 0;
        QString group;
        QList<Item> items;
        bool checkSameName = false;
        // Files whose content is already held are left out without asking.
        bool skipDuplicates = false;
        // Else asks, on the thread that started the job, whether to store
        // one (the question's text given); empty: they are stored and listed.
        std::function<bool(const QString& question)> askDuplicate = {};
    };
    // The run as the body of a Job, on a connection of its own opened on the
    // thread the job runs on; the job's item is the file being imported.
    static JobOf<Outcome>::Body job(Setup setup);

    // The interval between commits (tests shorten or lengthen it).
    void setCommitInterval(int ms) { m_commitMs = ms; }
    // What a run does with a file whose content is already held (also by a
    // file before it in the same run): skip leaves it out; else ask (may be
    // empty: stored and listed) is asked whether to store it. The batch so
    // far is committed before the question.
    void setDuplicates(bool skip, std::function<bool(const QString& question)> ask)
    {
        m_skipDuplicates = skip;
        m_askDuplicate = std::move(ask);
    }

    // "撤销本次导入": the records a run added that are still there go to
    // the trash, one record per step (RecordDeletion), those in a closed
    // protected group left as they are. The run counts as undone once every
    // record it added is gone; a log line says what was moved.
    static inline const QString UndoTitle = QStringLiteral("撤销本次导入");
    static inline const QString UndoWorking = QStringLiteral("正在撤销导入...");
    static inline const QString UndoLog = QStringLiteral("撤销导入：");
    struct UndoSetup {
        ArchiveLocation archive;
        StoreFolder folder;
        CurrentOperator op;
        ProtectedGroups open;
        qint64 sizeBound = 0;
        qint64 run = -1;
    };
    struct Undone {
        int moved = 0;    // records moved to the trash
        int refused = 0;  // records that could not go
        int kept = 0;     // left as they are in a closed protected group
        bool cancelled = false;
        bool logFailed = false;
        QString message;  // what the window shows
    };
    // "撤销本次导入将把本次导入的 n 个文件移入回收站, 确定吗?"
    static QString undoQuestion(int count);
    // The end's offer: "是否撤销本次导入? 本次导入的 n 个文件将移入回收站。"
    static QString undoOffer(int count);
    static JobOf<Undone>::Body undoJob(UndoSetup setup);

    // Imports `files` into `group`. progress gets the range 0..files and the
    // files handled; it is asked between files whether to stop. onFile (may be
    // empty) hears the name of each file before it is handled.
    Outcome run(const QString& group, const QStringList& files, bool checkSameName, Progress& progress,
                const std::function<void(const QString& fileName)>& onFile = {});
    // Imports each item into its group, `group` or one below it. The
    // sub-groups of group that are missing are made first, in one change of
    // the tree; when one cannot be made (or a group on the way is protected
    // and closed) nothing is made and nothing imported.
    Outcome run(const QString& group, const QList<Item>& items, bool checkSameName, Progress& progress,
                const std::function<void(const QString& fileName)>& onFile = {});

private:
    DataStore& m_store;
    StoreFolder m_folder;
    CurrentOperator m_operator;
    qint64 m_sizeBound;
    ProtectedGroups m_open;
    int m_commitMs = CommitIntervalMs;
    bool m_skipDuplicates = false;
    std::function<bool(const QString&)> m_askDuplicate;
};
