#pragma once

#include <QString>

// Where an archive's database is. Today always a file on this machine
// (Data\wj.mdb); a database server is named by an address later. Code above
// the store names an archive by this value and asks the store to open it;
// only the file-based parts of the program (the Data folder, backup of the
// file, the instance lock) look at the file path, through filePath().
class ArchiveLocation {
public:
    enum class Kind { None, File };

    ArchiveLocation() = default;
    static ArchiveLocation file(const QString& path)
    {
        ArchiveLocation l;
        l.m_kind = path.isEmpty() ? Kind::None : Kind::File;
        l.m_path = path;
        return l;
    }

    Kind kind() const { return m_kind; }
    bool isValid() const { return m_kind != Kind::None; }
    bool isFile() const { return m_kind == Kind::File; }
    // The database file; empty when the archive is not a file.
    QString filePath() const { return m_kind == Kind::File ? m_path : QString(); }
    // How messages and the log name it.
    QString display() const { return m_path; }

    friend bool operator==(const ArchiveLocation& a, const ArchiveLocation& b)
    {
        return a.m_kind == b.m_kind && a.m_path == b.m_path;
    }

private:
    Kind m_kind = Kind::None;
    QString m_path;
};
