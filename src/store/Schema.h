#pragma once

#include "platform/Result.h"

#include <QString>
#include <QStringList>
#include <functional>

class DataStore;
class Progress;

// The archive's tables, their initial content and the migrations between
// schema versions (kept in PRAGMA user_version).
namespace Schema {

// 1: the nine tables with their first indexes.
// 2: held content gets its table wjnr; indexes for the list's questions.
// 3: every held content has moved from wj.wj into wjnr.
// 4: the search index wj_ss over wj's text fields, kept by triggers, and
//    the indexes of the search's date and size conditions.
// 5: every record carries the SHA-256 of its content (wj.sha256).
// 6: the text of each record's content (wjwb) and the index of its words
//    (wjsy), kept by store/ContentIndex.
// 7: positions beside wjsy's ids; the tokens of the searched fields (wjzs)
//    with the queue of records whose fields changed (wjzq), store/FieldTokens.
// 8: the trash (wjhs), versions of content (wjbb, bbnr), import runs (drpc,
//    drjl), and the index of content hashes.
inline constexpr int CurrentVersion = 8;

// The absolute path of the kept file a record's lj names (the store folder
// knows where lj values are relative to).
using KeptFileLocator = std::function<QString(const QString& lj)>;

// The full-text index of the search (FTS5, trigram tokenizer) over the
// text fields of wj, with wj as its content: its rowid is wj.id. Triggers
// on wj keep it in step with every insert, update and delete.
inline constexpr const char* SearchIndexTable = "wj_ss";
// The columns of wj the search index holds, in its column order.
const QStringList& searchIndexColumns();

// Records indexed per step (one transaction each) when an existing archive
// builds its search index.
inline constexpr int SearchIndexRows = 50000;

// Rows of content moved per step (one transaction each) when an archive
// moves its content out of wj.
inline constexpr int ContentMoveRows = 500;

// The nine tables, in creation order.
QStringList tableNames();

// Creates the tables and their initial content in an empty database.
Status createInitial(DataStore& store);

// Brings an existing archive to CurrentVersion. Fails (and changes nothing)
// when the file is not an archive of this system or is newer than this build.
// The content move runs in steps of ContentMoveRows rows, each committed on
// its own and reported to progress (which may cancel between steps): a move
// that is stopped or killed part way leaves an archive that opens and reads
// every content, and the next migrate() goes on where it stopped. The
// search index of an existing archive is built the same way, in steps of
// SearchIndexRows records; its triggers and the version come with the last
// step, so a build stopped part way goes on at the next migrate().
// The content hashes are filled in the same way, reading held content and,
// through keptFile, the kept files (without it, or for a kept file that
// cannot be read, a record stays without a hash; the integrity check says so).
Status migrate(DataStore& store, Progress* progress = nullptr, const KeptFileLocator& keptFile = {});

// The schema version of the open archive (PRAGMA user_version); a failure
// when it cannot be read.
Result<int> version(DataStore& store);

// Creates (once) the index that lets the list read a group in the order of
// `expression` (a sort expression of the list) without sorting the group
// first. Its name, or an empty text when none serves the expression.
Result<QString> ensureOrderIndex(DataStore& store, const QString& expression);
// The name of the order index for expression (whether or not it exists yet).
QString orderIndexName(const QString& expression);

// True when every table is present and readable.
bool isArchive(DataStore& store);

// Empties every table and restores the initial content, in one transaction.
Status rebuild(DataStore& store);

// Creates a new database file at path with the initial content.
Status createDatabaseFile(const QString& path);

// The rights every administrator starts with, joined as stored in czygl.qx.
QString allRightsText();

}
