#include "archive/MediaRun.h"

#include "archive/FileOpening.h"
#include "platform/FileCopy.h"
#include "platform/PrivateFolder.h"
#include "store/CurrentOperator.h"
#include "store/LogWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QString MediaRun::searchQuestion(const QString& groupName)
{
    return QStringLiteral("系统自动搜索 ") + groupName
        + QStringLiteral(" 里的媒体文件, 根据文件数量可能花费一些时间, 是否继续 ?");
}

QString MediaRun::skipQuestion(const ViewedFile& f)
{
    return QStringLiteral("不支持的文件格式! ") + f.fullName() + QStringLiteral(" , 是否此文件跳过 ? ");
}

QString MediaRun::unsupportedMessage(const ViewedFile& f)
{
    return f.name + QStringLiteral(" 不支持的文件格式!");
}

QString MediaRun::missingQuestion(const ViewedFile& f)
{
    return QStringLiteral("本地媒体文件不存在! 是否继续 ? size: ") + ViewedFiles::megabytes(f.size) + QLatin1Char('M');
}

MediaRun::MediaRun(ViewedFiles& files, QString folder) : m_files(files), m_folder(std::move(folder)) {}

Result<QString> MediaRun::extract(const ViewedFile& f, Progress* progress)
{
    if (const Status made = PrivateFolder::ensure(m_folder); !made)
        return Result<QString>::fail(PrivateFolder::withCause(FolderFailed, made.detail()), made.detail());
    // A sub-folder per record: two records of one name never meet, and the
    // file keeps its own name for a program that shows it.
    const QDir base(m_folder);
    const QString sub = QString::number(f.id);
    const QString subPath = base.filePath(sub);
    if (QFileInfo(subPath).isSymLink())
        QFile::remove(subPath);
    if (!QFileInfo(subPath).isDir() && !base.mkdir(sub))
        return Result<QString>::fail(FolderFailed, QStringLiteral("cannot make %1").arg(subPath));
    const QString target = QDir(subPath).filePath(FileOpening::safeFileName(f.name, f.type));
    if (QFileInfo(target).isFile() && QFileInfo(target).size() == f.size && f.size > 0)
        return target;  // written earlier in this run

    FileCopy::Result written;
    if (!f.keptPath.isEmpty()) {
        const QString kept = m_files.keptFile(f);
        if (!QFileInfo(kept).isFile())
            return Result<QString>::fail(WriteFailed, QStringLiteral("kept file %1 missing").arg(kept));
        written = FileCopy::copy(kept, target, FileCopy::Replace::Allowed, progress);
    } else {
        const Result<QByteArray> bytes = m_files.content(f);
        if (!bytes)
            return Result<QString>::fail(WriteFailed, bytes.detail());
        written = FileCopy::write(bytes.value(), target, FileCopy::Replace::Allowed, progress);
    }
    if (!written) {
        QFile::remove(target);
        if (written.cancelled)
            return Result<QString>::cancel();
        return Result<QString>::fail(PrivateFolder::withCause(WriteFailed, written.error), written.error);
    }
    return target;
}

QString MediaRun::emptyFailedText(const QString& folder, const QString& detail)
{
    return QStringLiteral("清空媒体临时目录失败：%1（%2）").arg(folder, detail);
}

void MediaRun::emptyOrLog(DataStore& store, const QString& folder)
{
    if (const Status emptied = empty(folder); !emptied) {
        const CurrentOperator nobody;
        LogWriter(store, nobody).writeOrWarn(emptyFailedText(folder, emptied.detail()));
    }
}

Status MediaRun::empty(const QString& folder)
{
    const QFileInfo info(folder);
    if (info.isSymLink()) {
        if (!QFile::remove(folder))
            return Status::fail(QString(), QStringLiteral("cannot remove the link %1").arg(folder));
        return {};
    }
    if (!info.isDir())
        return {};
    QDir dir(folder);
    bool ok = true;
    const QFileInfoList entries =
        dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& e : entries) {
        if (e.isDir() && !e.isSymLink())
            ok = QDir(e.filePath()).removeRecursively() && ok;
        else
            ok = QFile::remove(e.filePath()) && ok;
    }
    if (!ok)
        return Status::fail(QString(), QStringLiteral("could not empty %1").arg(folder));
    return {};
}
