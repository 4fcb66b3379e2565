#include "settings/GlobalSettings.h"

#include "archive/Trash.h"
#include "store/ContentCheckRows.h"
#include "store/DataStore.h"
#include "store/Dictionary.h"
#include "store/MainSettings.h"
#include "store/SizeText.h"
#include "store/VersionRows.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

namespace GlobalSettings {

Result<QByteArray> readPicture(const QString& path)
{
    const QFileInfo fi(path);
    if (!fi.isFile())
        return Result<QByteArray>::fail(NotAPicture, QStringLiteral("%1 is not a file").arg(path));
    if (fi.size() > MaxPictureBytes)
        return Result<QByteArray>::fail(PictureTooLarge, QStringLiteral("%1 bytes").arg(fi.size()));
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return Result<QByteArray>::fail(NotAPicture, f.errorString());
    const QByteArray bytes = f.read(MaxPictureBytes + 1);
    if (bytes.size() > MaxPictureBytes)
        return Result<QByteArray>::fail(PictureTooLarge, QStringLiteral("grew while read"));
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    if (reader.read().isNull())
        return Result<QByteArray>::fail(NotAPicture, reader.errorString());
    return bytes;
}

Status savePersonal(DataStore& store, const MainSettings& s)
{
    if (const Status written = MainSettings::writePersonal(store, s); !written)
        return Status::fail(SaveFailed, written.detail());
    return Status::success(PersonalSaved);
}

QString typesToStore(bool unlimited, const QString& typed)
{
    if (unlimited)
        return Dictionary::AnyType;
    return Dictionary::allowedTypes(typed).join(QLatin1Char(','));
}

Result<QString> sizeToStore(const QString& typed)
{
    const QString t = typed.trimmed();
    if (t.isEmpty())
        return Result<QString>::fail(SizeRequired);
    bool ok = false;
    const double mb = t.toDouble(&ok);
    if (!ok || !(mb > 0) || mb > 1e6)
        return Result<QString>::fail(SizeNotANumber, t);
    return QString::number(mb, 'g', 12);
}

Result<UploadRules> saveUploadRules(DataStore& store, bool unlimited, const QString& types, const QString& size)
{
    Result<QString> mb = sizeToStore(size);
    if (!mb)
        return mb.failure();
    UploadRules rules{typesToStore(unlimited, types), *mb};
    if (rules.types.isEmpty())
        return Result<UploadRules>::fail(TypesRequired);
    Transaction tx(store);
    if (!tx.isActive() || !Dictionary::write(store, Dictionary::FileTypes, rules.types)
        || !Dictionary::write(store, Dictionary::FileSize, rules.size) || !tx.commit())
        return Result<UploadRules>::fail(SaveFailed, store.lastError());
    return Result<UploadRules>(rules, FileTypesSaved);
}

Status saveTrashDays(DataStore& store, int days)
{
    if (const Status saved = Trash::setRetentionDays(store, days); !saved)
        return Status::fail(saved.message().isEmpty() ? SaveFailed : saved.message(), saved.detail());
    return {};
}

Result<ArchiveSize> archiveSize(DataStore& store)
{
    ContentCheckRows rows(store);
    const Result<qint64> records = rows.recordedBytes();
    if (!records)
        return Result<ArchiveSize>::fail(QString(), records.detail());
    const Result<VersionRows::Totals> versions = VersionRows::totals(store);
    if (!versions)
        return Result<ArchiveSize>::fail(QString(), versions.detail());
    return ArchiveSize{*records, versions->versions, versions->bytes};
}

QString maintenanceTitle(const Result<ArchiveSize>& size)
{
    const QString title = QStringLiteral("数据维护");
    if (!size)
        return title;
    QString text = QStringLiteral("（档案内容 ") + sizeText(size->total());
    if (size->versions > 0)
        text += QStringLiteral("，含历史版本 %1 个 %2").arg(size->versions).arg(sizeText(size->versionBytes));
    return title + text + QStringLiteral("）");
}

Status clearViewCounts(DataStore& store)
{
    if (const Status cleared = MainSettings::clearViewCounts(store); !cleared)
        return Status::fail(QStringLiteral("阅览次数清零失败!"), cleared.detail());
    return Status::success(QStringLiteral("阅览次数已清零!"));
}

}
