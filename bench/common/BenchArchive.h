// The large archives the benchmarks share: laid out once into a cache
// folder and kept there for later runs (made again when missing).
#pragma once

#include <QString>
#include <QVariantList>

#include <optional>

class DataStore;

namespace bench {

inline const QString kTop = QStringLiteral("档案室");
// A seventh of the archive: one of the seven years.
inline const QString kLargeGroup = kTop + QStringLiteral("\\2020");
// A small group: one record in a thousand.
inline const QString kSmallGroup = kTop + QStringLiteral("\\2021\\专项审计");
// Renamed back and forth: 15,000 records.
inline const QString kRenameGroup = kTop + QStringLiteral("\\2023\\档案迁移");
const int kRenameRecords = 15000;
// The same number of records stored one after the other (a batch import).
inline const QString kBatchGroup = kTop + QStringLiteral("\\2024\\批量导入");

// One name in RareEvery holds RareWord: a handful of hits in a million.
inline const QString RareWord = QStringLiteral("鲸鱼");
const int RareEvery = 100000;

struct Archive {
    QString folder;    // the program folder
    QString database;  // its database file
};

// Lays out n records into store. withContent: every second record holds
// 8 KB in the database (through the content table, as an add writes it).
bool generate(DataStore& store, int n, bool withContent);

// The cached archive cache/tag-n, laid out when missing.
std::optional<Archive> ensureArchive(const QString& cache, const QString& tag, int n, bool withContent);

// A new program folder at `folder` (whatever was there is removed) whose
// archive holds one top-level group and no records.
bool freshHome(const QString& folder, const QString& group);

// The statement with its values written in, for the sqlite3 shell.
QString literalSql(const QString& sql, const QVariantList& params);

}  // namespace bench
