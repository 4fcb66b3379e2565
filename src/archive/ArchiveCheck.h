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
// Without repair nothing changes. With repair the kept files no record
// names are moved into the quarantine folder beside the store folder (never
// deleted) and a counter that lags behind the numbers in use is moved ahead,
// each with its log line; nothing else is touched.
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
        qint64 records = 0;      // records checked
        qint64 heldRecords = 0;  // of them with content in the database
        qint64 bytes = 0;        // content bytes read and hashed
        qint64 storeFiles = 0;   // files found in the store folder
        int quarantined = 0;     // orphans moved aside by a repair
        bool counterMoved = false;
        bool whole() const { return findings.isEmpty(); }
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
