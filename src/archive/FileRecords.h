#pragma once

#include "archive/StoreFolder.h"
#include "platform/Result.h"
#include "store/RecordRows.h"
#include "store/WjColumns.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class CurrentOperator;
class DataStore;
class Progress;
class ProtectedGroups;

// FileRecord, one row of wj without its content: store/RecordRows.h.

// What a change of one record leaves: the record, its file number, and
// whether its log line could not be written ("写出日志失败!").
struct StoredRecord {
    qint64 id = -1;
    QString number;
    bool logFailed = false;
};

// What the operator fills in for a record.
struct RecordFields {
    QString name;   // mc
    QString group;  // fz
    QStringList spare = QStringList(WjColumns::SpareCount);
    QString remark;  // bz
};

// The single-record operations on wj: add, modify, delete, save out, and
// the reads behind the edit panel and the properties window.
//
// Content smaller than the size bound is kept in wj.wj; larger content is
// streamed into the store folder and wj.lj names it. Every change is whole
// or absent: the row, the number counter and the kept file change together
// or not at all. Results carry the message the window shows, on failure
// and on success (" 保存成功!", " 另存成功 !").
class FileRecords {
public:
    // The messages of the operations.
    static inline const QString EmptyName = QStringLiteral("文件名称不能为空!");
    static inline const QString NoGroup = QStringLiteral("未选择分组或选择分组无效!!");
    static inline const QString ConfirmAdd = QStringLiteral("确定要保存吗?");
    static inline const QString ConfirmAddTitle = QStringLiteral("新增保存");
    static inline const QString PrepareFailed = QStringLiteral("准备上传失败! 错误代码: 02");
    static inline const QString FolderFailed = QStringLiteral("创建目录失败!");
    static inline const QString InsertFailed = QStringLiteral("上传文件失败! 01");
    static inline const QString NumberingFailed = QStringLiteral("更换编号失败!");
    static inline const QString ModifyFailed = QStringLiteral("修改文件失败!");
    static inline const QString ModifyNoNumber = QStringLiteral("编号为空，禁止删除！");
    static inline const QString DeleteNoNumber = QStringLiteral("编号为空，禁止删除!");
    static inline const QString DeleteFileFailed = QStringLiteral("删除失败! 01");
    static inline const QString DeleteRowFailed = QStringLiteral("删除失败! 02");
    static inline const QString SaveOutFailed = QStringLiteral("下载文件失败! 错误代码: 01");
    static inline const QString SavedSuffix = QStringLiteral(" 保存成功!");
    static inline const QString SavedOutSuffix = QStringLiteral(" 另存成功 !");
    // The detailed properties' row with the content's SHA-256.
    static inline const QString ContentHashTitle = QStringLiteral("内容摘要(SHA-256)");
    static inline const QString NothingSelected =
        QStringLiteral("没有选中记录! Shift+光标键(或单击)连续多选;Ctrl+光标键(或单击)隔行多选;Ctrl+A 全选");

    using SameName = RecordRows::Named;

    // sizeBound: content of this many bytes or more goes to the store folder.
    FileRecords(DataStore& store, StoreFolder folder, const CurrentOperator& op, qint64 sizeBound);

    qint64 sizeBound() const { return m_sizeBound; }
    void setSizeBound(qint64 bytes) { m_sizeBound = bytes; }
    const StoreFolder& storeFolder() const { return m_folder; }
    // The connection and the operator the records are changed with (a job
    // opens a connection of its own to the same database).
    DataStore& store() const { return m_store; }
    const CurrentOperator& currentOperator() const { return m_operator; }
    // True when content of `bytes` goes into the store folder.
    bool keptOutside(qint64 bytes) const { return bytes >= m_sizeBound; }

    // Name and type of a file name: the type is what follows the last dot.
    static QPair<QString, QString> splitFileName(const QString& fileName);

    // The first check of a save (adding, or modifying): the name must not be
    // empty and the group must be one of wjfz. A group list that cannot be
    // read is a failure of the database, reported as such with its detail.
    Status checkFields(const RecordFields& fields, bool adding);
    // True when path names a group of wjfz; a failure when wjfz cannot be read.
    Result<bool> groupExists(const QString& path);
    // Records with this name and type, those of the protected groups that
    // are not open (and their sub-groups) left out.
    Result<QList<SameName>> sameName(const QString& name, const QString& type, const ProtectedGroups& open);
    static QString sameNameQuestion(const SameName& found);

    // What an add asks of its caller on the way: whether the content may go
    // in, once its SHA-256 is known (from the same read that stores it) and
    // before anything is written; false leaves nothing stored and the add
    // ends cancelled with an empty message. And what else goes into the
    // add's transaction once the record is written; a failure there undoes
    // the add.
    struct AddHooks {
        std::function<bool(const QString& sha256Hex)> admit;
        std::function<Status(qint64 id)> written;
    };

    // Stores the file at sourcePath as a new record of the group in fields.
    Result<StoredRecord> add(const RecordFields& fields, const QString& sourcePath, Progress* progress = nullptr,
                             const AddHooks& hooks = {});
    // The same without checkFields (a run that checked its fields once),
    // with the log line logPrefix + details + logSuffix. Inside a caller's
    // transaction it works in a savepoint of its own: a failure leaves the
    // caller's earlier records as they were.
    Result<StoredRecord> addChecked(const RecordFields& fields, const QString& sourcePath, const QString& logPrefix,
                                    const QString& logSuffix = {}, Progress* progress = nullptr,
                                    const AddHooks& hooks = {});
    // Rewrites the editable columns of record id; with a newSourcePath its
    // content is replaced by that file, else the content stays. With a new
    // source, an old kept file that cannot be removed refuses the modify
    // before anything changes. New content takes the old text out of the
    // content index in the same transaction: the record waits to be read again.
    // The content replaced becomes a version of the record in the same
    // transaction (archive/Versions.h); a new file identical to the current
    // content leaves the content as it is and makes no version.
    Result<StoredRecord> modify(qint64 id, const RecordFields& fields, const QString& newSourcePath = {},
                                Progress* progress = nullptr);
    // Moves record id into the trash (archive/Trash.h) with its log line;
    // its content and kept file stay for a restore. A record already gone
    // counts as done.
    Result<StoredRecord> remove(qint64 id);
    // Writes the stored bytes of record id to targetPath (replacing a file there).
    Result<StoredRecord> saveOut(qint64 id, const QString& targetPath, Progress* progress = nullptr);

    // The record, or nullopt when there is none; a failure when wj cannot be read.
    Result<std::optional<FileRecord>> read(qint64 id);
    // The stored content of a record held in the database (empty for a kept
    // file); a failure when the record is missing or wj cannot be read.
    Result<QByteArray> content(qint64 id);
    // The absolute path of a record's kept file; empty when it is held in the database.
    QString keptPath(const FileRecord& r) const { return m_folder.resolve(r.keptPath); }

    // The rows of the properties window: title and value of every titled
    // field ("备用字段" and empty titles left out); brief leaves out the
    // record's history and the untitled or empty spare fields.
    // nullopt when the record does not exist; a failure when the read failed.
    Result<std::optional<QList<QPair<QString, QString>>>> properties(qint64 id, bool detailed);

private:
    struct Incoming;
    // Reads (below the bound) or stages (from the bound up) the content of
    // sourcePath; the failure to show, or nullopt when in is ready.
    std::optional<Failure> prepareIncoming(const QString& sourcePath, Progress* progress, Incoming* in);
    static Failure fail(const QString& message, const QString& detail, bool cancelled = false);
    bool writeLog(const QString& content);
    Result<bool> nameTaken(const QString& name);
    Result<bool> keptFileShared(const QString& lj, qint64 id);

    DataStore& m_store;
    StoreFolder m_folder;
    const CurrentOperator& m_operator;
    qint64 m_sizeBound;
};
