#pragma once

#include "archive/ExportGuard.h"
#include "archive/FileRecords.h"
#include "archive/StoreFolder.h"
#include "platform/Result.h"
#include "store/VersionRows.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class DataStore;
class Progress;
class ProtectedGroups;

// The versions of a record's content. When "修改" gives a record new
// content, the content it had becomes a version (VersionRows): in the same
// transaction as the change, its bytes stored once per SHA-256. Content the
// database holds is copied inside the database; a kept file of the store
// folder becomes the version's file where it lies (nothing is copied or
// renamed, so a kill at any point leaves it named by the record or by the
// version); only a kept file another record names too, or one outside the
// store folder, is copied.
//
// From the properties window a version is opened (written into the
// extraction folder as "打开" does), saved out ("另存为") or made the
// current content again, which keeps the replaced content as a version in
// its turn. Content leaving the archive is checked against its recorded
// size and SHA-256 as it is copied (ExportedContent).
class Versions {
public:
    static inline const QString NoVersion = QStringLiteral("没有选择版本!");
    static inline const QString SameAsCurrent = QStringLiteral("该版本与当前文件内容相同!");
    static inline const QString RestoreFailed = QStringLiteral("恢复版本失败!");
    static inline const QString RestoredSuffix = QStringLiteral(" 已恢复为当前版本!");
    // "确定要将版本 n 恢复为当前版本吗? 当前内容将保存为新的历史版本。"
    static QString restoreQuestion(int number);
    // The log line of a restore: this, the record, "，版本 n".
    static inline const QString RestoreLogPrefix = QStringLiteral("恢复文件版本：");
    // "（版本 n）", after the record in a log line or a message.
    static QString versionTag(int number);

    explicit Versions(FileRecords& records);

    // With groups set, a version of a record in a closed protected group is
    // never found (NoVersion).
    void setProtectedGroups(const ProtectedGroups* open) { m_open = open; }

    // How a record's current content becomes a version: prepare() before
    // the transaction (hashes content without a recorded SHA-256, copies a
    // kept file that cannot become the version's), keep() inside it,
    // discard() when the change is given up.
    struct Keeping {
        bool nothing = true;  // no content to keep (none recorded, or its file gone)
        FileRecord current;
        QString sha256;
        bool held = false;       // content held in the database
        bool adoptable = false;  // the kept file can become the version's where it lies
        QString staged;          // a copy of the kept file, staged
        // After keep():
        bool adopted = false;  // the record's kept file now belongs to the version
        QString placed;        // where the staged copy was placed
    };
    Result<Keeping> prepare(const FileRecord& current, Progress* progress = nullptr);
    Status keep(Keeping& keeping);
    void discard(Keeping& keeping);

    // The versions of record id, newest first.
    Result<QList<VersionRows::Version>> list(qint64 recordId);

    // Makes version id the record's content: the current content becomes a
    // version, the version's bytes (checked) the record's, with its type
    // and size; the content index reads the record again. A log line.
    Result<StoredRecord> makeCurrent(qint64 versionId, Progress* progress = nullptr);
    // Writes version id into a new sub-folder of extractionFolder (only for
    // this user) as name.type; the path written. A log line.
    Result<QString> extract(qint64 versionId, const QString& extractionFolder, Progress* progress = nullptr);
    // Writes version id to targetPath (replacing a file there). A log line.
    Result<StoredRecord> saveOut(qint64 versionId, const QString& targetPath, Progress* progress = nullptr);

    // Removes the kept files purgeUnused handed back (after its commit); the
    // ones that could not go are named in the failure.
    static Status removeKeptFiles(const StoreFolder& folder, const QStringList& keptPaths);

private:
    struct Found {
        VersionRows::Version version;
        FileRecord record;
        VersionRows::Content content;
    };
    Result<Found> find(qint64 versionId, const QString& failure);
    ExportedContent::Copied copyContent(const VersionRows::Content& content, const QString& target,
                                        FileCopy::Replace replace, Progress* progress);
    Result<bool> nameTaken(const QString& name);
    bool writeLog(const QString& line);

    FileRecords& m_records;
    DataStore& m_store;
    StoreFolder m_folder;
    const ProtectedGroups* m_open = nullptr;
};
