#pragma once

#include "archive/StoreFolder.h"
#include "platform/FileCopy.h"
#include "platform/Result.h"
#include "store/ArchiveLocation.h"

#include <QString>
#include <QStringList>

class DataStore;
class Progress;

// What keeps an export (batch export, "另存为", "打开"'s extraction, a
// workbook or the log saved elsewhere) from harming the archive or handing
// out content that is not the record's.
//
// ExportGuard knows the archive's own folders: the Data folder (the
// database file's folder, and the store folder's parent), the store folder
// and its quarantine folder. They are compared as they really are (links,
// bind mounts and spellings resolved, RealPath): an export into one of them
// would write over the archive.
class ExportGuard {
public:
    static inline const QString FolderRefused = QStringLiteral("导出目录不能是数据目录或其上下级目录!");
    static inline const QString FileRefused = QStringLiteral("导出的文件不能保存到数据目录或存放目录中!");

    // None: guards nothing (a window not yet told the archive's folders).
    ExportGuard() = default;
    ExportGuard(const ArchiveLocation& archive, const StoreFolder& folder);
    ExportGuard(const DataStore& store, const StoreFolder& folder);

    // The archive's folders (absolute, each once).
    const QStringList& folders() const { return m_folders; }

    // A folder to export into: refused (FolderRefused) when it is one of the
    // archive's folders, lies inside one, or holds one.
    Status checkFolder(const QString& target) const;
    // A file to write: refused (FileRefused) when it lies inside one of them.
    Status checkFile(const QString& target) const;
    // True when path is one of the archive's folders or lies inside one.
    bool reaches(const QString& path) const;

private:
    QStringList m_folders;
};

// A record's content on its way out of the archive, written to a target
// only when it is what the record says: its recorded size (wj.dxsz) and
// SHA-256 (wj.sha256) are checked as the bytes are copied, before the
// target takes its name; a record without a recorded hash is checked by its
// size. A kept file is read only from the store folder itself, opened
// without following a link (and without waiting on a pipe), and only when it
// is a regular file. Content that fails is damage: nothing is written (no
// temporary file stays) and the copy says what is wrong.
class ExportedContent {
public:
    // How damage is named (with ArchiveCheck's words for the same findings).
    static inline const QString DamagedPrefix = QStringLiteral("内容已损坏，未导出: ");
    static inline const QString KeptFileIsLink = QStringLiteral("存放文件是链接");
    static inline const QString KeptFileNotRegular = QStringLiteral("存放文件不是普通文件");
    static inline const QString KeptFileOutside = QStringLiteral("存放文件不在存放目录中");

    struct Source {
        qint64 id = -1;
        QString keptPath;  // wj.lj; empty when the content is held in the database
        qint64 size = 0;   // wj.dxsz
        QString sha256;    // wj.sha256; empty when none is recorded
    };

    struct Copied {
        enum class Kind { Written, Damaged, Failed, Cancelled };
        Kind kind = Kind::Failed;
        qint64 bytes = 0;
        QString damage;  // Damaged: what is wrong with the content
        QString detail;  // the technical cause
        bool ok() const { return kind == Kind::Written; }
    };

    ExportedContent(DataStore& store, StoreFolder folder);
    ~ExportedContent();
    ExportedContent(const ExportedContent&) = delete;
    ExportedContent& operator=(const ExportedContent&) = delete;

    Copied copy(const Source& source, const QString& target, FileCopy::Replace replace, Progress* progress = nullptr,
                FileCopy::Sync sync = FileCopy::Sync::Each);

    // "内容已损坏，未导出: <number name.type>（<damage>）"
    static QString damagedText(const QString& details, const QString& damage);

private:
    Copied copyKept(const Source& source, const QString& target, FileCopy::Replace replace, Progress* progress,
                    FileCopy::Sync sync);

    DataStore& m_store;
    StoreFolder m_folder;
    int m_folderHandle = -1;  // the store folder, opened once
};
