#pragma once

#include "archive/StoreFolder.h"
#include "platform/Result.h"

#include <QList>
#include <QString>
#include <functional>

class CurrentOperator;
class DataStore;
class Progress;
class ProtectedGroups;

// Answers "is the archive whole?": the database file's own integrity check;
// every record's content present (held in the database or as its kept
// file) with its recorded size and SHA-256; kept files that no record
// names; file numbers unique and the counter ahead of them; group paths of
// records that name no group.
//
// A kept file is opened without blocking and without following a link, and
// read only when it is a regular file: a FIFO, device, socket, link or
// folder where a kept file should be is a finding of its own kind, and one
// that lies in the store folder unnamed is one too, never read.
//
// What a run killed part way left in the store folder (the temporary and
// staged files, StoreFolder::isLeftoverName) is told apart from a real
// orphan: it is reported as Leftover, which does not make the archive "not
// whole"; the start-up sweep would remove it.
//
// Without repair nothing changes. With repair the leftovers are removed,
// the kept files no record names (and unnamed FIFOs, devices and links of
// the store folder, moved, never opened) are moved into the quarantine
// folder beside the store folder (never deleted) and a counter that lags
// behind the numbers in use is moved ahead, each with its log line;
// nothing else is touched. Repair is only safe while no other program works
// on the archive (the command line holds the archive's locks).
//
// The contents of the versions are checked as records' are, each once;
// their kept files are named, never orphans; a version whose content is
// gone is a finding.
//
// Records in the trash are checked as records are (their content and kept
// files are the archive's, never orphans); their group may be gone.
//
// Records of closed protected groups are checked too, but a finding about
// one names it only by its id and its closed group.
class ArchiveCheck {
public:
    // The kinds of finding, the first field of a finding's line.
    static inline const QString DatabaseDamaged = QStringLiteral("数据库损坏");
    static inline const QString ContentMissing = QStringLiteral("内容缺失");
    static inline const QString KeptFileMissing = QStringLiteral("存放文件缺失");
    static inline const QString KeptFileUnreadable = QStringLiteral("存放文件无法读取");
    static inline const QString SizeDiffers = QStringLiteral("大小不符");
    static inline const QString ContentDamaged = QStringLiteral("内容损坏");
    static inline const QString NoHash = QStringLiteral("没有内容摘要");
    static inline const QString OrphanFile = QStringLiteral("无记录的存放文件");
    // A FIFO, device, socket, link or folder where a record's kept file should be.
    static inline const QString KeptFileNotRegular = QStringLiteral("存放文件不是普通文件");
    // A FIFO, device, socket, link or folder in the store folder that no record names.
    static inline const QString StoreEntryNotRegular = QStringLiteral("存放目录中的特殊文件");
    // A temporary or staged file of a run killed part way: no fault of the archive.
    static inline const QString Leftover = QStringLiteral("中断残留");
    static inline const QString DuplicateNumber = QStringLiteral("编号重复");
    static inline const QString CounterBehind = QStringLiteral("编号计数器落后");
    static inline const QString NoSuchGroup = QStringLiteral("分组不存在");
    // The log line of a repair.
    static inline const QString RepairLogPrefix = QStringLiteral("完整性检查修复：");

    struct Finding {
        QString kind;    // one of the kinds above
        QString where;   // the record, file or number concerned
        QString detail;  // what was found (and what a repair did)
        // The finding's line: kind, where and detail separated by tabs.
        QString line() const;
    };

    struct Report {
        QList<Finding> findings;
        qint64 records = 0;        // records checked
        qint64 heldRecords = 0;    // of them with content in the database
        qint64 versions = 0;       // contents of versions checked, each once
        qint64 bytes = 0;          // content bytes read and hashed
        qint64 storeFiles = 0;     // entries found in the store folder (folders aside)
        int quarantined = 0;       // orphans moved aside by a repair
        int leftovers = 0;         // leftovers of a killed run found
        int leftoversRemoved = 0;  // of them removed by a repair
        bool counterMoved = false;
        // Findings that are faults of the archive (every kind but Leftover).
        int problems() const;
        bool whole() const { return problems() == 0; }
    };

    ArchiveCheck(DataStore& store, StoreFolder folder, const ProtectedGroups& open);

    // Runs the check; each finding goes to onFinding as soon as it is found
    // (and into the report). Progress runs over the bytes of content; a
    // cancel between records gives a cancelled result (a repair stops
    // between files, what it moved stays moved). A failure means the check
    // could not be carried out (the database cannot be read at all).
    Result<Report> run(Progress& progress, const std::function<void(const Finding&)>& onFinding = {},
                       bool repair = false, const CurrentOperator* op = nullptr);

private:
    DataStore& m_store;
    StoreFolder m_folder;
    const ProtectedGroups& m_open;
};
