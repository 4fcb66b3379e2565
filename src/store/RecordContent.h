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
namespace RecordContent {

inline constexpr const char* Table = "wjnr";

// The held content of record id. Fails when the record holds none (a kept
// file, or no such record) or the read failed. An archive whose content move
// has not finished yet still keeps some content in wj.wj; it is read there.
Result<QByteArray> read(DataStore& store, qint64 id);

// True when record id holds content in the database.
Result<bool> holds(DataStore& store, qint64 id);

// Stores (or replaces) the content of record id.
Status write(DataStore& store, qint64 id, const QByteArray& bytes);

// Removes the held content of record id (nothing to do when it has none).
Status remove(DataStore& store, qint64 id);

// Gives record `to` the held content of record `from` (none when `from` has none).
Status copy(DataStore& store, qint64 from, qint64 to);

}  // namespace RecordContent
