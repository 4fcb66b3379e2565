#pragma once

#include <QString>

class Config;

// The program folder (the executable's folder, or the one given by --home)
// and the paths the system keeps under it.
class ProgramHome {
public:
    explicit ProgramHome(QString folder);

    QString folder() const { return m_folder; }
    QString configPath() const;           // Config.ini
    QString defaultDatabasePath() const;  // Data/files.dat
    QString dataFolder() const;           // Data
    QString storeFolder() const;          // Data/Lf
    QString skinFolder() const;           // Hf
    QString defaultSkinPath() const;      // Hf/pixos.she
    QString mediaTempFolder() const;      // Mt/temp

    // The database path from Config.ini (section "date", key "db"), or the default.
    QString databasePath(const Config& config) const;
    // The skin path from Config.ini (section "HF", key "hf"), or the default; "NO" means none.
    QString skinPath(const Config& config) const;

    // The folder of this running instance into which files are extracted for
    // opening (0700, under the user's runtime or cache folder).
    static QString extractionFolder();
    // Extraction folders of instances that ended without removing theirs
    // (killed): their process is gone.
    static QStringList abandonedExtractionFolders();

    // Names of the skin files shipped with the program.
    static QStringList shippedSkins();

private:
    QString m_folder;
};
