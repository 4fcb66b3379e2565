#pragma once

#include "platform/FileCopy.h"
#include "platform/Result.h"

#include <QString>
#include <QStringList>
#include <functional>

class DataStore;
class ProgramHome;
class Progress;

// The store folder (Data/Lf under the program folder): the files whose
// content is kept outside the database.
//
// Each kept file has a name of its own, made from the record's file number
// and type ("0000000042.pdf"); when a file of that name is already there (a
// leftover), a suffix makes it unique ("0000000042-1.pdf"), so a file is
// never overwritten and two records never share one. Files are written to a
// temporary name in the folder and renamed when complete.
//
// A record's wj.lj holds the file's place relative to the program folder
// ("Data/Lf/0000000042.pdf"), so an archive moved together with its program
// folder keeps its files. Absolute paths, and paths with "\" from older
// archives, are still read.
class StoreFolder {
public:
    // Whether a name is already used (e.g. by a record); a failed lookup is a
    // failure, never "taken".
    using NameTaken = std::function<Result<bool>(const QString& name)>;
    // The most names tried for one file before giving up.
    static constexpr int MaxNameTries = 1000;

    explicit StoreFolder(const ProgramHome& home);
    // programFolder: the folder lj paths are relative to; folder: the store folder.
    StoreFolder(QString programFolder, QString folder);

    QString folder() const { return m_folder; }
    QString programFolder() const { return m_programFolder; }

    // The folder beside the store folder that takes kept files no record
    // names ("Data/Lf.quarantine"); only for the current user (0700), each
    // file moved into it 0600.
    QString quarantineFolder() const;

    // True for what a run that was killed part way leaves in the folder:
    // the temporary files of a copy (FileCopy's ".kvpart-*.part") and the
    // staged files of stage() (".kvpart-staged-*.part"). Never a kept file.
    static bool isLeftoverName(const QString& fileName);

    // Creates the folder when missing (and its parent, the Data folder, when
    // that is missing too), only for the current user (0700); false when it
    // is not there afterwards or belongs to someone else (the detail says why).
    Status ensureExists() const;

    // A free name for a record's file: number + "." + type, with "-1", "-2" …
    // before the type when that name is taken. `taken` (optional) may mark
    // further names as used (e.g. names other records refer to). Fails when
    // `taken` fails, or after MaxNameTries names.
    Result<QString> uniqueName(const QString& number, const QString& type, const NameTaken& taken = {}) const;

    // The lj value for a file of the folder named `name`.
    QString storedPath(const QString& name) const;
    // The absolute path an lj value refers to; empty for an empty lj.
    QString resolve(const QString& lj) const;
    // True when the absolute path lies inside the store folder.
    bool contains(const QString& absolutePath) const;

    struct Stored {
        bool ok = false;
        bool cancelled = false;
        QString name;        // file name inside the folder
        QString storedPath;  // the lj value
        QString absolutePath;
        qint64 bytes = 0;
        QString sha256;  // of the bytes written, as they streamed in (store, storeBytes, stage)
        QString error;
        explicit operator bool() const { return ok; }
    };
    // Copies `source` into the folder under a unique name for the record
    // (creating the folder when missing). Nothing remains on failure.
    Stored store(const QString& source, const QString& number, const QString& type, Progress* progress = nullptr,
                 const NameTaken& taken = {}) const;
    // The same for content held in memory.
    Stored storeBytes(const QByteArray& bytes, const QString& number, const QString& type, Progress* progress = nullptr,
                      const NameTaken& taken = {}) const;

    // In two steps, so that the slow copy happens before the record's number
    // is known: stage() copies `source` into a hidden file of the folder
    // (Stored::absolutePath, no name yet); place() gives the staged file its
    // unique name for the record; discard() removes a staged file.
    // expectedSize (>= 0) is the size the source had when it was chosen;
    // otherwise its size when the copy starts. A source that shrinks or
    // grows during the copy is refused: the staged size must equal it.
    Stored stage(const QString& source, Progress* progress = nullptr, qint64 expectedSize = -1) const;
    Stored place(const QString& stagedPath, const QString& number, const QString& type,
                 const NameTaken& taken = {}) const;
    void discard(const QString& stagedPath) const;

    // Removes the file lj refers to. A file that is already gone counts as
    // removed; a path outside the store folder is never touched (and counts
    // as removed: it is not ours). Fails only when the file stays.
    Status remove(const QString& lj) const;

    // What a sweep of the folder did.
    struct Swept {
        QStringList removedStaging;  // temporary and staged files removed
        QStringList quarantined;     // kept files no record names, moved aside
    };
    // Clears what an interrupted run left: removes the temporary and staged
    // files and moves every kept file that no record of wj, record in the
    // trash or version names (RecordRows::eachKeptPath) into the
    // quarantine folder (nothing is ever deleted there). Only safe while no
    // other program works on the archive. Nothing moves when wj cannot be read.
    Result<Swept> sweep(DataStore& store) const;

    // Moves the file `name` of the folder into the quarantine folder (never
    // over a file there: a suffix keeps both; a regular file is made 0600
    // there, anything else is moved as it is, never opened); the path it
    // now has.
    Result<QString> quarantine(const QString& name) const;

private:
    Stored storeWith(const std::function<FileCopy::Result(const QString& target)>& write, const QString& number,
                     const QString& type, const NameTaken& taken) const;

    QString m_programFolder;
    QString m_folder;
};
