#pragma once

#include "platform/Result.h"
#include "store/MainSettings.h"

#include <QByteArray>
#include <QString>

class DataStore;

// The settings of the window "全局参数" that live in the database: the
// main window's look and the view-count flag (zcbj), the upload rules (zdbh).
namespace GlobalSettings {

// The largest banner picture, in bytes.
inline constexpr qint64 MaxPictureBytes = 200 * 1024;
inline const QString PictureTooLarge = QStringLiteral("图片文件太大，不能大于200KB！");
inline const QString NotAPicture = QStringLiteral("不是图片文件，不能使用！");
inline const QString PersonalSaved = QStringLiteral("个性设置保存成功! 并且已经生效");
inline const QString FileTypesSaved = QStringLiteral("文件类型设置保存完成! 并且已经生效");
inline const QString SizeRequired = QStringLiteral("必须输入尺寸!");
inline const QString SizeNotANumber = QStringLiteral("尺寸必须是大于0的数字!");
inline const QString TypesRequired = QStringLiteral("请输入允许上传的文件类型!");
inline const QString SaveFailed = QStringLiteral("保存失败！");

// The bytes of a banner picture file: at most MaxPictureBytes and a
// picture Qt can read; otherwise PictureTooLarge / NotAPicture.
Result<QByteArray> readPicture(const QString& path);

// Writes the look and the flag of settings in one statement with the
// picture bound (ms, bjfs, bjys, wz, ylcs, bjtp of row 1).
Status savePersonal(DataStore& store, const MainSettings& settings);

// The stored form of a type list: "A" for no limit, otherwise the types
// without dots, lower case, once each, joined by ",".
QString typesToStore(bool unlimited, const QString& typed);
// The size in megabytes as stored: a positive number, decimals allowed.
Result<QString> sizeToStore(const QString& typed);

struct UploadRules {
    QString types;  // as stored
    QString size;   // as stored
};
// Checks and writes both rows in one transaction; the value is what was stored.
Result<UploadRules> saveUploadRules(DataStore& store, bool unlimited, const QString& types, const QString& size);

// Stores "回收站保留天数" (0 to Trash::MaxRetentionDays; 0 keeps records in
// the trash until it is emptied by hand).
Status saveTrashDays(DataStore& store, int days);

// What the archive's content takes: the records' (those in the trash among
// them) and the versions', each content of the versions once.
struct ArchiveSize {
    qint64 records = 0;       // bytes
    qint64 versions = 0;      // how many versions
    qint64 versionBytes = 0;  // bytes
    qint64 total() const { return records + versionBytes; }
};
Result<ArchiveSize> archiveSize(DataStore& store);
// The title of "数据维护" with the size: "数据维护（档案内容 12.00MB，含历史版本 3 个 1.00MB）".
QString maintenanceTitle(const Result<ArchiveSize>& size);

// Sets the view count of every record to 0.
Status clearViewCounts(DataStore& store);

}
