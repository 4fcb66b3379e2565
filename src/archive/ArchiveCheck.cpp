#include "archive/ArchiveCheck.h"

#include "archive/GroupPath.h"
#include "archive/ProtectedGroups.h"
#include "platform/FileCopy.h"
#include "platform/Progress.h"
#include "platform/Sha256.h"
#include "store/CurrentOperator.h"
#include "store/DataStore.h"
#include "store/Dictionary.h"
#include "store/FileNumbering.h"
#include "store/LogWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSqlDriver>

#include <memory>
#include <sqlite3.h>

QString ArchiveCheck::Finding::line() const
{
    return kind + QLatin1Char('\t') + where + QLatin1Char('\t') + detail;
}

ArchiveCheck::ArchiveCheck(DataStore& store, StoreFolder folder, const ProtectedGroups& open)
    : m_store(store), m_folder(std::move(folder)), m_open(open)
{
}

namespace {

sqlite3* handleOf(DataStore& store)
{
    const QVariant handle = store.database().driver()->handle();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
        return *static_cast<sqlite3* const*>(handle.constData());
    return nullptr;
}

QString textOf(sqlite3_stmt* stmt, int column)
{
    const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    return t ? QString::fromUtf8(t, sqlite3_column_bytes(stmt, column)) : QString();
}

// Hashes a kept file; its size through *size. False when it cannot be read.
bool hashFile(const QString& path, QByteArray& chunk, QString* hex, qint64* size)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    Sha256 h;
    *size = 0;
    for (;;) {
        const qint64 n = f.read(chunk.data(), chunk.size());
        if (n < 0)
            return false;
        if (n == 0)
            break;
        h.add(chunk.constData(), n);
        *size += n;
    }
    *hex = h.hex();
    return true;
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
    auto failed = [&](const QString& what) { return Out::fail(QString(), what + QStringLiteral(": ") + m_store.lastError()); };

    // The database file's own check, page by page.
    {
        RecordSet rs = m_store.query(QStringLiteral("PRAGMA integrity_check"));
        if (!rs)
            found(DatabaseDamaged, m_store.path(), m_store.lastError());
        for (; rs && !rs.atEnd(); rs.next())
            if (rs.text(0) != QLatin1String("ok"))
                found(DatabaseDamaged, m_store.path(), rs.text(0));
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

    const QVariant total = m_store.scalar(QStringLiteral("select coalesce(sum(dxsz),0) from wj"));
    if (!total.isValid())
        return failed(QStringLiteral("wj"));
    progress.setRange(0, total.toLongLong());
    progress.setValue(0);

    // Every record with its held content, in one forward pass; the content
    // is hashed where SQLite holds it, never copied.
    sqlite3* db = handleOf(m_store);
    if (!db)
        return Out::fail(QString(), QStringLiteral("no SQLite handle"));
    QSet<QString> named;  // kept files some record names, by absolute path
    {
        const QByteArray sql = QByteArrayLiteral(
            "select w.id,w.bh,w.mc,w.lx,w.fz,w.dxsz,w.lj,w.sha256,n.id is not null,n.nr"
            " from wj w left join wjnr n on n.id=w.id order by w.id");
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &stmt, nullptr) != SQLITE_OK)
            return Out::fail(QString(), QStringLiteral("wj: ") + QString::fromUtf8(sqlite3_errmsg(db)));
        const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> owner(stmt, sqlite3_finalize);
        QByteArray chunk(int(FileCopy::ChunkSize), Qt::Uninitialized);
        qint64 done = 0;
        for (;;) {
            if (progress.cancelled())
                return Out::cancel();
            const int rc = sqlite3_step(stmt);
            if (rc == SQLITE_DONE)
                break;
            if (rc != SQLITE_ROW) {
                found(DatabaseDamaged, m_store.path(), QString::fromUtf8(sqlite3_errmsg(db)));
                break;
            }
            ++report.records;
            const qint64 id = sqlite3_column_int64(stmt, 0);
            const QString group = textOf(stmt, 4);
            const qint64 size = sqlite3_column_int64(stmt, 5);
            const QString lj = textOf(stmt, 6);
            const QString recorded = textOf(stmt, 7);
            const bool held = sqlite3_column_int(stmt, 8) != 0;

            // A record of a closed protected group is named by id and group only.
            QString hiddenBy;
            for (const QString& c : std::as_const(closed))
                if (GroupPath::covers(c, group)) {
                    hiddenBy = c.isEmpty() ? QStringLiteral("文件服务器") : c;
                    break;
                }
            const QString where = hiddenBy.isEmpty()
                ? QStringLiteral("id %1 %2 %3").arg(id).arg(LogWriter::fileDetails(textOf(stmt, 1), textOf(stmt, 2), textOf(stmt, 3)), group)
                : QStringLiteral("id %1 (加密分组 %2)").arg(id).arg(hiddenBy);

            if (!groupPaths.contains(group))
                found(NoSuchGroup, where, group.isEmpty() ? QStringLiteral("分组为空") : QStringLiteral("没有这个分组"));

            QString actual;
            qint64 actualSize = -1;
            if (lj.trimmed().isEmpty()) {
                if (!held) {
                    found(ContentMissing, where, QStringLiteral("数据库中没有这个文件的内容"));
                } else {
                    ++report.heldRecords;
                    const void* bytes = sqlite3_column_blob(stmt, 9);
                    actualSize = sqlite3_column_bytes(stmt, 9);
                    actual = Sha256::of(static_cast<const char*>(bytes), actualSize);
                }
            } else {
                const QString path = m_folder.resolve(lj);
                named.insert(QDir::cleanPath(path));
                const QFileInfo fi(path);
                if (!fi.exists())
                    found(KeptFileMissing, where, path);
                else if (!hashFile(path, chunk, &actual, &actualSize))
                    found(KeptFileUnreadable, where, path);
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

    // Numbers: each at most once, and the counter ahead of every one.
    {
        RecordSet rs = m_store.query(QStringLiteral(
            "select bh,count(*) from wj where bh<>'' group by bh having count(*)>1 order by bh"));
        if (!rs)
            return failed(QStringLiteral("wj"));
        for (; !rs.atEnd(); rs.next())
            found(DuplicateNumber, rs.text(0), QStringLiteral("%1 个记录使用同一编号").arg(rs.number(1)));
    }
    const QVariant highest = m_store.scalar(QStringLiteral(
        "select max(bh) from wj where length(bh)=10 and bh not glob '*[^0-9]*'"));
    const auto counterText = Dictionary::read(m_store, Dictionary::FileNumber);
    if (highest.isValid() && !highest.isNull() && counterText) {
        const qint64 top = highest.toString().toLongLong();
        const qint64 counter = counterText->trimmed().toLongLong();
        if (counter <= top) {
            QString detail = QStringLiteral("计数器 %1，已用最大编号 %2").arg(counter).arg(FileNumbering::format(top));
            if (repair) {
                if (Dictionary::write(m_store, Dictionary::FileNumber, QString::number(top + 1))) {
                    report.counterMoved = true;
                    detail += QStringLiteral("；已改为 %1").arg(top + 1);
                    if (op)
                        LogWriter(m_store, *op).write(RepairLogPrefix + QStringLiteral("编号计数器由 %1 改为 %2").arg(counter).arg(top + 1));
                } else {
                    detail += QStringLiteral("；修改失败: ") + m_store.lastError();
                }
            }
            found(CounterBehind, QStringLiteral("文件编号"), detail);
        }
    }

    // Files of the store folder that no record names.
    const QDir dir(m_folder.folder());
    if (dir.exists()) {
        const QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
        report.storeFiles = entries.size();
        for (const QFileInfo& fi : entries) {
            if (named.contains(QDir::cleanPath(fi.absoluteFilePath())))
                continue;
            if (repair && progress.cancelled())
                return Out::cancel();
            QString detail = QStringLiteral("%1 字节").arg(fi.size());
            if (repair) {
                const Result<QString> moved = m_folder.quarantine(fi.fileName());
                if (moved) {
                    ++report.quarantined;
                    detail += QStringLiteral("；已移至 ") + moved.value();
                } else {
                    detail += QStringLiteral("；移动失败: ") + moved.detail();
                }
            }
            found(OrphanFile, fi.absoluteFilePath(), detail);
        }
    }
    if (repair && report.quarantined > 0 && op)
        LogWriter(m_store, *op).write(RepairLogPrefix + QStringLiteral("无记录的存放文件 %1 个移至 %2")
                                                            .arg(report.quarantined).arg(m_folder.quarantineFolder()));
    return report;
}
