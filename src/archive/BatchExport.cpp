#include "archive/BatchExport.h"

#include "archive/ExportGuard.h"
#include "archive/FileOpening.h"
#include "archive/GroupPath.h"
#include "platform/FileCopy.h"
#include "platform/PrivateFolder.h"
#include "platform/Progress.h"
#include "platform/RealPath.h"
#include "store/DataStore.h"
#include "store/GroupRows.h"
#include "store/LogWriter.h"
#include "store/StoreJob.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <map>
#include <sys/stat.h>

namespace {

// The folders a run writes into, each made and checked once, with the names
// in each: those there before the run and those the run wrote, compared
// without case. A folder is known by what it is (device and inode), so two
// spellings of one folder (on a file system that ignores case) share names.
class TargetFolders {
public:
    struct Folder {
        QString path;                    // as it really is
        QHash<QString, QString> before;  // folded name -> name, of what was there before the run
        QSet<QString> written;           // folded names the run wrote
        QHash<QString, int> next;        // folded first name -> the first number not known to be taken
    };

    TargetFolders(QString root, const ExportGuard& guard, bool replaceExisting)
        : m_root(std::move(root)), m_guard(guard), m_replaceExisting(replaceExisting)
    {
    }

    // The folder at path, made when missing; null when it cannot be made or
    // is refused, with the cause in *error (*refused: it is the archive's;
    // *outside: it leads out of the chosen folder).
    Folder* open(const QString& path, QString* error, bool* refused, bool* outside)
    {
        if (Folder* known = m_byPath.value(path))
            return known;
        // Before anything is made, and again as it was made (a link on the
        // way may have led elsewhere): inside the chosen folder, outside
        // the archive's.
        auto placed = [&](const QString& p) {
            if (!RealPath::inside(p, m_root)) {
                *outside = true;
                *error = QStringLiteral("%1 leads outside %2").arg(path, m_root);
                return false;
            }
            if (m_guard.reaches(p)) {
                *refused = true;
                *error = QStringLiteral("%1 lies inside the archive's folders").arg(path);
                return false;
            }
            return true;
        };
        if (!placed(path))
            return nullptr;
        if (!QDir().mkpath(path)) {
            *error = QStringLiteral("cannot create %1").arg(path);
            return nullptr;
        }
        const QString real = QFileInfo(path).canonicalFilePath();
        struct stat st;
        if (real.isEmpty() || ::stat(QFile::encodeName(real).constData(), &st) != 0) {
            *error = QStringLiteral("cannot read %1").arg(path);
            return nullptr;
        }
        if (!placed(real))
            return nullptr;
        Folder& f = m_byIdentity[{quint64(st.st_dev), quint64(st.st_ino)}];
        if (f.path.isEmpty()) {
            f.path = real;
            const QStringList entries =
                QDir(real).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
            for (const QString& e : entries)
                f.before.insert(e.toCaseFolded(), e);
        }
        m_byPath.insert(path, &f);
        return &f;
    }

    // A name in f for a record's file that no other file there has, and
    // whether writing it replaces a file that was there before the run.
    QString freeName(Folder& f, const QString& name, const QString& type, FileCopy::Replace* replace) const
    {
        const QString first = FileOpening::safeFileName(name, type);
        const QString firstKey = first.toCaseFolded();
        // Every name is tried once at most: what is taken stays taken.
        for (int n = f.next.value(firstKey, 1);; ++n) {
            const QString candidate = n == 1 ? first : FileOpening::safeFileName(name, type, n);
            const QString key = candidate.toCaseFolded();
            if (f.written.contains(key))
                continue;
            const QFileInfo there(f.path + QLatin1Char('/') + candidate);
            const auto before = f.before.constFind(key);
            if (before == f.before.cend() && !there.exists() && !there.isSymLink()) {
                *replace = FileCopy::Replace::Never;
            } else if (m_replaceExisting && before != f.before.cend() && *before == candidate
                       && (!there.isDir() || there.isSymLink())) {
                *replace = FileCopy::Replace::Allowed;
            } else {
                continue;
            }
            f.next.insert(firstKey, n);
            return candidate;
        }
    }

    static void wrote(Folder& f, const QString& fileName) { f.written.insert(fileName.toCaseFolded()); }

private:
    QString m_root;
    const ExportGuard& m_guard;
    bool m_replaceExisting;
    QHash<QString, Folder*> m_byPath;
    std::map<std::pair<quint64, quint64>, Folder> m_byIdentity;  // stable addresses
};

}  // namespace

QString BatchExport::confirmText(const QString& groupName, const QString& folder)
{
    return QStringLiteral("确认导出 ") + groupName + QStringLiteral(" 的文件到 ") + folder
        + QStringLiteral(" ? 如果有重名文件将被覆盖!");
}

QString BatchExport::doneText(int count, const QString& folder)
{
    return QString::number(count) + QStringLiteral(" 个文件已成功导出到 ") + folder;
}

QString BatchExport::logText(const QString& group, const QString& folder, int count, int damaged, int failed)
{
    QString text = LogWriter::BatchExported + group + QStringLiteral(" 至 ") + folder + QStringLiteral("，共 ")
        + QString::number(count) + QStringLiteral(" 个文件");
    if (damaged > 0)
        text += QStringLiteral("，%1 个文件内容已损坏未导出").arg(damaged);
    if (failed > 0)
        text += QStringLiteral("，%1 个文件写入失败未导出").arg(failed);
    return text;
}

QString BatchExport::Damaged::text() const
{
    return ExportedContent::damagedText(details, damage);
}

QString BatchExport::damagedText(const QList<Damaged>& damaged)
{
    QStringList lines;
    for (qsizetype i = 0; i < damaged.size() && i < DamagedShown; ++i)
        lines << damaged.at(i).text();
    if (damaged.size() > DamagedShown)
        lines << QStringLiteral("…… 共 %1 个文件内容已损坏，未导出").arg(damaged.size());
    return lines.join(QStringLiteral("\r\n"));
}

QString BatchExport::failedText(const QList<Unwritten>& failed)
{
    QStringList lines;
    for (qsizetype i = 0; i < failed.size() && i < DamagedShown; ++i)
        lines << QStringLiteral("写入失败，未导出: ") + failed.at(i).details
                + (failed.at(i).cause.isEmpty() ? QString() : QStringLiteral("（%1）").arg(failed.at(i).cause));
    if (failed.size() > DamagedShown)
        lines << QStringLiteral("…… 共 %1 个文件写入失败，未导出").arg(failed.size());
    return lines.join(QStringLiteral("\r\n"));
}

QString BatchExport::Outcome::fullText() const
{
    QStringList parts{message};
    if (const QString d = damagedText(damaged); !d.isEmpty())
        parts << d;
    if (const QString f = failedText(unwritten); !f.isEmpty())
        parts << f;
    return parts.join(QStringLiteral("\r\n"));
}

BatchExport::BatchExport(DataStore& store, StoreFolder folder, const CurrentOperator& op, ProtectedGroups open)
    : m_store(store), m_folder(std::move(folder)), m_operator(op), m_open(std::move(open))
{
}

QString BatchExport::folderFor(const QString& folder, const QString& group, bool withSubfolders)
{
    QString path = QDir::cleanPath(folder);
    if (withSubfolders) {
        for (const QString& part : GroupPath::split(group))
            if (!part.trimmed().isEmpty())
                path += QLatin1Char('/') + FileOpening::safeFileName(part, QString());
    }
    return path;
}

JobOf<BatchExport::Outcome>::Body BatchExport::job(Setup setup)
{
    const ArchiveLocation archive = setup.archive;
    return StoreJob::body<Outcome>(archive, [setup = std::move(setup)](DataStore& store, JobContext& context) {
        BatchExport exporter(store, setup.folder, setup.op, setup.open);
        exporter.setReplaceExisting(setup.replaceExisting);
        return Result<Outcome>(exporter.run(setup.group, setup.target, setup.withSubfolders, context,
                                            [&context](const QString& name) { context.setItem(name); }));
    });
}

BatchExport::Outcome BatchExport::run(const QString& group, const QString& folder, bool withSubfolders,
                                      Progress& progress, const std::function<void(const QString&)>& onFile)
{
    Outcome out;
    auto failed = [&](Outcome::Kind kind, const QString& message, const QString& detail) {
        out.kind = kind;
        out.message = message;
        out.detail = detail;
    };
    auto writeFailed = [&](const QString& detail) {
        failed(Outcome::Kind::Failed, PrivateFolder::withCause(WriteFailed, detail), detail);
    };

    // Never into the archive itself, nor above it: nothing is written then.
    const ExportGuard guard(m_store, m_folder);
    if (const Status allowed = guard.checkFolder(folder); !allowed) {
        failed(Outcome::Kind::Failed, allowed.message(), allowed.detail());
        return out;
    }
    const QFileInfo rootInfo(folder);
    const QString root = rootInfo.canonicalFilePath();
    if (folder.isEmpty() || !rootInfo.isDir() || root.isEmpty()) {
        writeFailed(QStringLiteral("%1 is not a folder").arg(folder));
        return out;
    }

    // The records of the group and below it, the closed protected groups left out.
    QStringList closed;
    if (!m_open.readClosedPaths(m_store, &closed)) {
        writeFailed(m_store.lastError());
        return out;
    }
    const Result<qint64> count = GroupRows::fileCount(m_store, group, closed);
    if (!count) {
        writeFailed(count.detail());
        return out;
    }
    progress.setRange(0, count.value());
    progress.setValue(0);

    TargetFolders targets(root, guard, m_replaceExisting);
    ExportedContent content(m_store, m_folder);
    qint64 handled = 0;
    // Each record is written as it is read; returning false ends the run.
    const Status read = GroupRows::eachFile(m_store, group, closed, [&](const RecordRows::Brief& r) {
        if (progress.cancelled()) {
            failed(Outcome::Kind::Cancelled, Cancelled, QString());
            return false;
        }
        const qint64 id = r.id;
        const QString& name = r.name;
        const QString& type = r.type;
        if (onFile)
            onFile(name);

        // A file that cannot be written is left out and named, and the run
        // goes on; a folder leading out of the chosen one, or into the
        // archive, ends it.
        const QString details = LogWriter::fileDetails(r.number, name, type);
        QString why;
        bool refused = false;
        bool outside = false;
        TargetFolders::Folder* into = targets.open(folderFor(root, r.group, withSubfolders), &why, &refused, &outside);
        if (!into && refused) {
            failed(Outcome::Kind::Failed, ExportGuard::FolderRefused, why);
            return false;
        }
        if (!into && outside) {
            writeFailed(why);
            return false;
        }
        if (!into) {
            out.unwritten.append({id, details, PrivateFolder::plainCause(why), why});
            progress.setValue(++handled);
            return true;
        }
        FileCopy::Replace replace = FileCopy::Replace::Never;
        const QString fileName = targets.freeName(*into, name, type, &replace);
        const ExportedContent::Copied copied =
            content.copy({id, r.keptPath, r.size, r.sha256}, into->path + QLatin1Char('/') + fileName, replace, nullptr,
                         FileCopy::Sync::None);
        if (copied.kind == ExportedContent::Copied::Kind::Damaged) {
            out.damaged.append({id, details, copied.damage});
        } else if (copied.kind == ExportedContent::Copied::Kind::Cancelled) {
            failed(Outcome::Kind::Cancelled, Cancelled, QString());
            return false;
        } else if (!copied.ok()) {
            out.unwritten.append({id, details, PrivateFolder::plainCause(copied.detail), copied.detail});
        } else {
            TargetFolders::wrote(*into, fileName);
            ++out.written;
        }
        progress.setValue(++handled);
        return true;
    });
    if (!read) {
        writeFailed(read.detail());
        return out;
    }

    LogWriter log(m_store, m_operator);
    out.logFailed = !log.write(logText(group, folder, out.written, int(out.damaged.size()), int(out.unwritten.size())));
    if (out.kind == Outcome::Kind::Done)
        out.message = doneText(out.written, folder);
    return out;
}
