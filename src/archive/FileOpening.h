#pragma once

#include "archive/FileRecords.h"
#include "archive/StoreFolder.h"
#include "platform/Result.h"

#include <QString>

class CurrentOperator;
class DataStore;
class Progress;
class ProtectedGroups;

// "打开": a record's content is written into the operator's private
// extraction folder, in a sub-folder of its own for each opening, as
// name + "." + type, and handed to the program the desktop associates with
// the type; the view is counted and logged.
//
// The steps are separate so that the window can ask its question between
// them: find() the record, keptFileMissing() (the question, then "是" keeps
// the record, "否" goes to the delete command), extract(), hand the file
// over, countView().
class FileOpening {
public:
    static inline const QString NothingSelected = QStringLiteral("没有选择记录!");
    static inline const QString WriteFailed = QStringLiteral("下载文件失败! 错误代码: 01");
    static inline const QString CountFailed = QStringLiteral("更新访问数失败");
    static inline const QString HandOverFailed = QStringLiteral("打开文件失败! 系统中没有能打开此类文件的程序: ");

    // The longest file name the extraction folder takes, in bytes of the
    // file system's encoding.
    static constexpr int MaxNameBytes = 255;

    FileOpening(DataStore& store, StoreFolder folder, const CurrentOperator& op, const ProtectedGroups& open,
                QString extractionFolder);

    QString extractionFolder() const { return m_extraction; }
    void setExtractionFolder(const QString& folder) { m_extraction = folder; }

    // The record to open. Fails with NothingSelected when id is none, when
    // the record is gone, or when it lies in a protected group that is not
    // open (such a record is never named, not even by its absence).
    Result<FileRecord> find(qint64 id);

    // True when the record's content is kept in the store folder and that
    // file is not there.
    bool keptFileMissing(const FileRecord& r) const;
    // "源文件: <lj> Size: <MB>M, 已经被移动或删除,是否保留此条文件记录?"
    static QString missingQuestion(const FileRecord& r);

    // Writes the content into a new sub-folder of the extraction folder
    // (only for this user); the path of the written file. Large kept files
    // are copied in chunks with progress. Content that is not what the
    // record says (ExportedContent) is refused with what is wrong with it;
    // so is an extraction folder inside the archive's folders.
    Result<QString> extract(const FileRecord& r, Progress* progress = nullptr);

    struct Viewed {
        bool counted = false;    // ylcs went up by one
        bool logFailed = false;  // "写出日志失败!"
    };
    // Counts the view (unless the main settings say "不记录文件阅览次数") and
    // writes the log line "阅览文件：<number>，<name>".
    Result<Viewed> countView(const FileRecord& r);

    // name + "." + type made safe for every file system (FAT and exFAT
    // sticks, Windows included): no "/", "\", ":", "*", "?", '"', "<", ">",
    // "|", "..", control characters, leading dot, trailing dot or blank, nor
    // a name Windows keeps for a device (CON, NUL, COM1 …, "_CON.txt"
    // instead); an over-long name is shortened and the type kept. Never empty. A number above 1 gives the further
    // names of a folder that holds the first: name + " (2)" + "." + type.
    static QString safeFileName(const QString& name, const QString& type, int number = 1);

private:
    Result<QString> newSubfolder(qint64 id);

    DataStore& m_store;
    StoreFolder m_folder;
    const CurrentOperator& m_operator;
    const ProtectedGroups& m_open;
    QString m_extraction;
};
