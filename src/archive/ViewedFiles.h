#pragma once

#include "archive/StoreFolder.h"
#include "platform/Result.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class DataStore;
class ProtectedGroups;

// What the picture browser and the media player know of a record: enough to
// list it and to find its content, never the content itself.
struct ViewedFile {
    qint64 id = -1;
    QString name;      // mc
    QString type;      // lx
    QString group;     // fz
    QString keptPath;  // lj; empty when the content is held in the database
    qint64 size = 0;   // dxsz

    // name + "." + type, as the lists show it.
    QString fullName() const;
};

// Reads the records the browser and the player show: those of a group and
// its sub-groups, or a single one; files of a closed protected group are
// never read nor named. Content is read one record at a time.
class ViewedFiles {
public:
    static inline const QString NoFiles = QStringLiteral("分组中没有文件!");
    static inline const QString NothingSelected = QStringLiteral("没有选择记录!");
    static inline const QString ReadFailed = QStringLiteral("读取文件失败!");

    // The picture types the browser shows (compared without regard to case):
    // JPG, BMP, GIF, ICO and CUR, and beyond them JPEG, PNG, WEBP, TIF and TIFF.
    static const QStringList& pictureTypes();
    // The types the media player plays.
    static const QStringList& mediaTypes();
    static bool isPicture(const QString& type);
    static bool isMedia(const QString& type);

    ViewedFiles(DataStore& store, StoreFolder folder, const ProtectedGroups& open);

    // How many records lie in group path (and its sub-groups) outside closed
    // protected groups; the empty path is the root, every record.
    Result<qint64> count(const QString& path);
    // Those records in ascending id; with types given, only those whose
    // type is one of them (without regard to case).
    Result<QList<ViewedFile>> inGroup(const QString& path, const QStringList& types = {});
    // Record id; NothingSelected when there is none or it lies in a closed
    // protected group.
    Result<ViewedFile> record(qint64 id);

    // True when the content is kept in the store folder and that file is gone.
    bool keptFileMissing(const ViewedFile& f) const;
    // The absolute path of a kept file; empty for held content.
    QString keptFile(const ViewedFile& f) const;
    // The content held in the database (for a kept file: the file's bytes).
    Result<QByteArray> content(const ViewedFile& f);

    // The size in megabytes as the messages give it ("12.50").
    static QString megabytes(qint64 bytes);

private:
    // The closed protected groups, whose files are never read.
    Result<QStringList> closedGroups();

    DataStore& m_store;
    StoreFolder m_folder;
    const ProtectedGroups& m_open;
};
