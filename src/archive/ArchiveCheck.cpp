#include "archive/ArchiveCheck.h"

#include "archive/GroupPath.h"
#include "archive/ProtectedGroups.h"
#include "platform/FileCopy.h"
#include "platform/Progress.h"
#include "platform/Sha256.h"
#include "store/Backend.h"
#include "store/ContentCheckRows.h"
#include "store/CurrentOperator.h"
#include "store/DataStore.h"
#include "store/Dictionary.h"
#include "store/FileNumbering.h"
#include "store/LogWriter.h"
#include "store/VersionRows.h"

#include <QDir>
#include <QFile>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

QString ArchiveCheck::Finding::line() const
{
    return kind + QLatin1Char('\t') + where + QLatin1Char('\t') + detail;
}

int ArchiveCheck::Report::problems() const
{
    int n = 0;
    for (const Finding& f : findings)
        if (f.kind != Leftover)
            ++n;
    return n;
}

ArchiveCheck::ArchiveCheck(DataStore& store, StoreFolder folder, const ProtectedGroups& open)
    : m_store(store), m_folder(std::move(folder)), m_open(open)
{
}

namespace {

// What an entry that is not a regular file is, in the finding's words.
QString entryKind(mode_t mode)
{
    if (S_ISFIFO(mode))
        return QStringLiteral("命名管道 (FIFO)");
    if (S_ISLNK(mode))
        return QStringLiteral("符号链接");
    if (S_ISDIR(mode))
        return QStringLiteral("目录");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("设备文件");
    if (S_ISSOCK(mode))
        return QStringLiteral("套接字");
    return QStringLiteral("未知类型");
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

enum class Read { Hashed, Missing, NotRegular, Failed };

// Hashes a kept file; its size through *size. The file is looked at without
// following a link, opened without blocking (a FIFO would wait for a writer
// for ever) and read only when the open file is a regular one; otherwise
// *why says what it is, or why it cannot be read.
Read hashFile(const QString& path, QByteArray& chunk, QString* hex, qint64* size, QString* why)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st;
    if (::lstat(name.constData(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return Read::Missing;
        *why = systemError();
        return Read::Failed;
    }
    if (!S_ISREG(st.st_mode)) {
        *why = entryKind(st.st_mode);
        return Read::NotRegular;
    }
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ELOOP) {  // became a link since
            *why = entryKind(S_IFLNK);
            return Read::NotRegular;
        }
        if (errno == ENOENT)
            return Read::Missing;
        *why = systemError();
        return Read::Failed;
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    // What was opened, not what the name showed a moment before.
    if (::fstat(fd, &st) != 0) {
        *why = systemError();
        return Read::Failed;
    }
    if (!S_ISREG(st.st_mode)) {
        *why = entryKind(st.st_mode);
        return Read::NotRegular;
    }
    // A regular file: reading it blocks as reading does.
    if (const int flags = ::fcntl(fd, F_GETFL); flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    Sha256 h;
    *size = 0;
    for (;;) {
        const ssize_t n = ::read(fd, chunk.data(), size_t(chunk.size()));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *why = systemError();
            return Read::Failed;
        }
        if (n == 0)
            break;
        h.add(chunk.constData(), qint64(n));
        *size += n;
    }
    *hex = h.hex();
    return Read::Hashed;
}

}  // namespace

Result<ArchiveCheck::Report> ArchiveCheck::run(Progress& progress, const std::function<void(const Finding&)>& onFinding,
                                               bool repair, const CurrentOperator* op)
{
    using Out = Result<Report>;
    Report report;
    auto found = [&](const QString& kind, const QString& where, const QString& detail) {
        report.findings.append(Finding{kind, where, detail});
        if (onFinding)
            onFinding(report.findings.last());
    };
    auto failed = [&](const QString& what) {
        return Out::fail(QString(), what + QStringLiteral(": ") + m_store.lastError());
    };

    // The database file's own check, page by page.
    {
        const Result<QStringList> problems = m_store.backend().integrityCheck(m_store);
        if (!problems)
            found(DatabaseDamaged, m_store.location().display(), problems.detail());
        else
            for (const QString& p : *problems)
                found(DatabaseDamaged, m_store.location().display(), p);
    }

    QList<GroupPath::Group> groups;
    if (!GroupPath::loadGroups(m_store, &groups))
        return failed(QStringLiteral("wjfz"));
    QSet<QString> groupPaths;
    for (const GroupPath::Group& g : std::as_const(groups))
        groupPaths.insert(g.path);
    QStringList closed;
    if (!m_open.readClosedPaths(m_store, &closed))
        return failed(QStringLiteral("wjfz"));

    ContentCheckRows rows(m_store);
    const Result<qint64> total = rows.recordedBytes();
    if (!total)
        return Out::fail(QString(), QStringLiteral("wj: ") + total.detail());
    const Result<VersionRows::Totals> versionTotals = VersionRows::totals(m_store);
    if (!versionTotals)
        return Out::fail(QString(), QStringLiteral("bbnr: ") + versionTotals.detail());
    progress.setRange(0, *total + versionTotals->bytes);
    progress.setValue(0);

    // Every record with its held content, in one forward pass; the content
    // is hashed where the database hands it over, never copied.
    QSet<QString> named;  // kept files some record names, by absolute path
    {
        if (const Result<> started = rows.start(ContentCheckRows::Records::All); !started)
            return Out::fail(QString(), QStringLiteral("wj: ") + started.detail());
        QByteArray chunk(int(FileCopy::ChunkSize), Qt::Uninitialized);
        qint64 done = 0;
        ContentCheckRows::Row row;
        for (;;) {
            if (progress.cancelled())
                return Out::cancel();
            const ContentCheckRows::Step step = rows.next(&row);
            if (step == ContentCheckRows::Step::Done)
                break;
            if (step == ContentCheckRows::Step::Failed) {
                found(DatabaseDamaged, m_store.location().display(), rows.error());
                break;
            }
            ++report.records;
            const qint64 id = row.id;
            const QString& group = row.group;
            const qint64 size = row.size;
            const QString& lj = row.keptPath;
            const QString& recorded = row.sha256;
            const bool held = row.held;

            // A record of a closed protected group is named by id and group only.
            QString hiddenBy;
            for (const QString& c : std::as_const(closed))
                if (GroupPath::covers(c, group)) {
                    hiddenBy = c.isEmpty() ? QStringLiteral("文件服务器") : c;
                    break;
                }
            QString where = hiddenBy.isEmpty() ? QStringLiteral("id %1 %2 %3")
                                                     .arg(id)
                                                     .arg(LogWriter::fileDetails(row.number, row.name, row.type), group)
                                               : QStringLiteral("id %1 (加密分组 %2)").arg(id).arg(hiddenBy);
            if (row.trashed)
                where += QStringLiteral(" (回收站)");

            // A record in the trash may have lost its group: a restore makes it again.
            if (!row.trashed && !groupPaths.contains(group))
                found(NoSuchGroup, where,
                      group.isEmpty() ? QStringLiteral("分组为空") : QStringLiteral("没有这个分组"));

            QString actual;
            qint64 actualSize = -1;
            if (lj.trimmed().isEmpty()) {
                if (!held) {
                    found(ContentMissing, where, QStringLiteral("数据库中没有这个文件的内容"));
                } else {
                    ++report.heldRecords;
                    actualSize = row.content.size();
                    actual = Sha256::of(row.content.data(), actualSize);
                }
            } else {
                const QString path = m_folder.resolve(lj);
                named.insert(QDir::cleanPath(path));
                QString why;
                switch (hashFile(path, chunk, &actual, &actualSize, &why)) {
                case Read::Hashed:
                    break;
                case Read::Missing:
                    found(KeptFileMissing, where, path);
                    break;
                case Read::NotRegular:
                    found(KeptFileNotRegular, where, path + QStringLiteral("：") + why);
                    break;
                case Read::Failed:
                    found(KeptFileUnreadable, where, path + QStringLiteral("：") + why);
                    break;
                }
            }
            if (actualSize >= 0) {
                report.bytes += actualSize;
                if (actualSize != size)
                    found(SizeDiffers, where, QStringLiteral("记录 %1 字节，实有 %2 字节").arg(size).arg(actualSize));
                if (recorded.isEmpty())
                    found(NoHash, where, QStringLiteral("没有记录内容摘要"));
                else if (recorded.compare(actual, Qt::CaseInsensitive) != 0)
                    found(ContentDamaged, where, QStringLiteral("内容摘要不符"));
            }
            done += qMax<qint64>(size, 0);
            progress.setValue(done);
        }
    }

    // The contents of the versions, each once: its bytes hash to its
    // SHA-256 wherever they lie, and a kept file of one is named (never an
    // orphan); then every version has its content.
    {
        if (const Result<> started = rows.start(ContentCheckRows::Records::Versions); !started)
            return Out::fail(QString(), QStringLiteral("bbnr: ") + started.detail());
        QByteArray chunk(int(FileCopy::ChunkSize), Qt::Uninitialized);
        qint64 done = *total;
        ContentCheckRows::Row row;
        for (;;) {
            if (progress.cancelled())
                return Out::cancel();
            const ContentCheckRows::Step step = rows.next(&row);
            if (step == ContentCheckRows::Step::Done)
                break;
            if (step == ContentCheckRows::Step::Failed) {
                found(DatabaseDamaged, m_store.location().display(), rows.error());
                break;
            }
            ++report.versions;
            const QString where = QStringLiteral("历史版本 %1").arg(row.sha256.left(16));
            QString actual;
            qint64 actualSize = -1;
            if (row.keptPath.trimmed().isEmpty()) {
                if (!row.held) {
                    found(ContentMissing, where, QStringLiteral("数据库中没有这个版本的内容"));
                } else {
                    actualSize = row.content.size();
                    actual = Sha256::of(row.content.data(), actualSize);
                }
            } else {
                const QString path = m_folder.resolve(row.keptPath);
                named.insert(QDir::cleanPath(path));
                QString why;
                switch (hashFile(path, chunk, &actual, &actualSize, &why)) {
                case Read::Hashed:
                    break;
                case Read::Missing:
                    found(KeptFileMissing, where, path);
                    break;
                case Read::NotRegular:
                    found(KeptFileNotRegular, where, path + QStringLiteral("：") + why);
                    break;
                case Read::Failed:
                    found(KeptFileUnreadable, where, path + QStringLiteral("：") + why);
                    break;
                }
            }
            if (actualSize >= 0) {
                report.bytes += actualSize;
                if (actualSize != row.size)
                    found(SizeDiffers, where,
                          QStringLiteral("记录 %1 字节，实有 %2 字节").arg(row.size).arg(actualSize));
                else if (row.sha256.compare(actual, Qt::CaseInsensitive) != 0)
                    found(ContentDamaged, where, QStringLiteral("内容摘要不符"));
            }
            done += qMax<qint64>(row.size, 0);
            progress.setValue(done);
        }
        const Result<QList<VersionRows::Version>> orphans = VersionRows::withoutContent(m_store);
        if (!orphans)
            return Out::fail(QString(), QStringLiteral("wjbb: ") + orphans.detail());
        for (const VersionRows::Version& v : *orphans)
            found(ContentMissing, QStringLiteral("id %1 版本 %2").arg(v.recordId).arg(v.number),
                  QStringLiteral("没有这个版本的内容 %1").arg(v.sha256));
    }

    // Numbers: each at most once, and the counter ahead of every one.
    {
        const Result<QList<ContentCheckRows::Shared>> shared = rows.sharedNumbers();
        if (!shared)
            return Out::fail(QString(), QStringLiteral("wj: ") + shared.detail());
        for (const ContentCheckRows::Shared& n : *shared)
            found(DuplicateNumber, n.number, QStringLiteral("%1 个记录使用同一编号").arg(n.records));
    }
    const Result<std::optional<qint64>> highest = rows.highestNumber();
    if (!highest)
        return Out::fail(QString(), QStringLiteral("wj: ") + highest.detail());
    const Result<std::optional<QString>> counterText = Dictionary::read(m_store, Dictionary::FileNumber);
    if (!counterText)
        return Out::fail(QString(), counterText.detail());
    if (highest->has_value() && counterText->has_value()) {
        const qint64 top = **highest;
        const qint64 counter = (*counterText)->trimmed().toLongLong();
        if (counter <= top) {
            QString detail = QStringLiteral("计数器 %1，已用最大编号 %2").arg(counter).arg(FileNumbering::format(top));
            if (repair) {
                if (Dictionary::write(m_store, Dictionary::FileNumber, QString::number(top + 1))) {
                    report.counterMoved = true;
                    detail += QStringLiteral("；已改为 %1").arg(top + 1);
                    if (op)
                        LogWriter(m_store, *op)
                            .writeOrWarn(RepairLogPrefix
                                         + QStringLiteral("编号计数器由 %1 改为 %2").arg(counter).arg(top + 1));
                } else {
                    detail += QStringLiteral("；修改失败: ") + m_store.lastError();
                }
            }
            found(CounterBehind, QStringLiteral("文件编号"), detail);
        }
    }

    // Entries of the store folder that no record names, each looked at
    // without following it and never opened. Folders are left alone (an
    // older archive may keep its files below one).
    const QDir dir(m_folder.folder());
    if (dir.exists()) {
        const QStringList names =
            dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
        for (const QString& name : names) {
            const QString path = dir.filePath(name);
            struct stat st;
            if (::lstat(QFile::encodeName(path).constData(), &st) != 0 || S_ISDIR(st.st_mode))
                continue;
            ++report.storeFiles;
            if (named.contains(QDir::cleanPath(path)))
                continue;
            if (repair && progress.cancelled())
                return Out::cancel();
            if (StoreFolder::isLeftoverName(name)) {
                ++report.leftovers;
                QString detail = QStringLiteral("中断的运行留下的临时文件，%1 字节").arg(qint64(st.st_size));
                if (repair) {
                    if (::unlink(QFile::encodeName(path).constData()) == 0 || errno == ENOENT) {
                        ++report.leftoversRemoved;
                        detail += QStringLiteral("；已删除");
                    } else {
                        detail += QStringLiteral("；删除失败: ") + systemError();
                    }
                }
                found(Leftover, path, detail);
                continue;
            }
            const bool regular = S_ISREG(st.st_mode);
            QString detail = regular ? QStringLiteral("%1 字节").arg(qint64(st.st_size)) : entryKind(st.st_mode);
            if (repair) {
                const Result<QString> moved = m_folder.quarantine(name);
                if (moved) {
                    ++report.quarantined;
                    detail += QStringLiteral("；已移至 ") + moved.value();
                } else {
                    detail += QStringLiteral("；移动失败: ") + moved.detail();
                }
            }
            found(regular ? OrphanFile : StoreEntryNotRegular, path, detail);
        }
    }
    if (repair && report.leftoversRemoved > 0 && op)
        LogWriter(m_store, *op)
            .writeOrWarn(RepairLogPrefix + QStringLiteral("删除中断残留的临时文件 %1 个").arg(report.leftoversRemoved));
    if (repair && report.quarantined > 0 && op)
        LogWriter(m_store, *op)
            .writeOrWarn(RepairLogPrefix
                         + QStringLiteral("无记录的存放文件 %1 个移至 %2")
                               .arg(report.quarantined)
                               .arg(m_folder.quarantineFolder()));
    return report;
}
