#pragma once

#include <QString>
#include <QStringList>

class DataStore;

// The archive's tables, their initial content and the migrations between
// schema versions (kept in PRAGMA user_version).
namespace Schema {

inline constexpr int CurrentVersion = 1;

// The nine tables, in creation order.
QStringList tableNames();

// Creates the tables and their initial content in an empty database.
bool createInitial(DataStore& store, QString* error = nullptr);

// Brings an existing archive to CurrentVersion. Fails (and changes nothing)
// when the file is not an archive of this system or is newer than this build.
bool migrate(DataStore& store, QString* error = nullptr);

// True when every table is present and readable.
bool isArchive(DataStore& store);

// Empties every table and restores the initial content, in one transaction.
bool rebuild(DataStore& store, QString* error = nullptr);

// Creates a new database file at path with the initial content.
bool createDatabaseFile(const QString& path, QString* error = nullptr);

// The rights every administrator starts with, joined as stored in czygl.qx.
QString allRightsText();

}
