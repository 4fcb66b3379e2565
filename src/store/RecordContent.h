#pragma once

#include "platform/Result.h"

#include <QByteArray>

class DataStore;

// The content of a record held in the database. It lives in a table of its
// own, wjnr (one row per record whose content is held in the database, keyed
// by the record's id), so that the list, the statistics and every change of a
// row's other columns never touch content pages. wj.wj stays in the table for
// statements that name it, but holds nothing once an archive is migrated.
//
// Every reader and writer of held content goes through here. The writes run
// inside the caller's transaction, so a record and its content change
// together or not at all.
//
// Each record carries the SHA-256 of its content (wj.sha256, 64 hex digits),
// wherever the content lies: write() computes it from the bytes it stores,
// keep() records the one computed while a kept file was copied in, copy()
// hands it on with the content. NULL means none was recorded.
namespace RecordContent {

inline constexpr const char* Table = "wjnr";
inline constexpr const char* HashColumn = "sha256";

// The held content of record id. Fails when the record holds none (a kept
// file, or no such record) or the read failed. An archive whose content move
// has not finished yet still keeps some content in wj.wj; it is read there.
Result<QByteArray> read(DataStore& store, qint64 id);

// True when record id holds content in the database.
Result<bool> holds(DataStore& store, qint64 id);

// Stores (or replaces) the content of record id, with its hash.
Status write(DataStore& store, qint64 id, const QByteArray& bytes);
// The same with the hash the caller already computed from these bytes.
Status write(DataStore& store, qint64 id, const QByteArray& bytes, const QString& sha256Hex);

// Record id's content is a kept file whose SHA-256 is sha256Hex: drops any
// held content and records the hash.
Status keep(DataStore& store, qint64 id, const QString& sha256Hex);

// The recorded hash of record id; empty when none is recorded.
Result<QString> hash(DataStore& store, qint64 id);

// Removes the held content of record id (nothing to do when it has none).
Status remove(DataStore& store, qint64 id);

// Gives record `to` the held content of record `from` (none when `from` has
// none) and its recorded hash.
Status copy(DataStore& store, qint64 from, qint64 to);

}  // namespace RecordContent
