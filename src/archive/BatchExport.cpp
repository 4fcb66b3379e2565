#include "archive/BatchExport.h"

#include "archive/FileOpening.h"
#include "archive/GroupPath.h"
#include "platform/FileCopy.h"
#include "platform/PrivateFolder.h"
#include "platform/Progress.h"
#include "store/DataStore.h"
#include "store/LogWriter.h"
#include "store/RecordContent.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

QString BatchExport::confirmText(const QString& groupName, const QString& folder)
{
    return QStringLiteral("确认导出 ") + groupName + QStringLiteral(" 的文件到 ") + folder
        + QStringLiteral(" ? 如果有重名文件将被覆盖!");
}

QString BatchExport::doneText(int count, const QString& folder)
{
    return QString::number(count) + QStringLiteral(" 个文件已成功导出到 ") + folder;
}

QString BatchExport::logText(const QString& group, const QString& folder, int count)
{
    return LogWriter::BatchExported + group + QStringLiteral(" 至 ") + folder + QStringLiteral("，共 ")
        + QString::number(count) + QStringLiteral(" 个文件");
}

BatchExport::BatchExport(DataStore& store, StoreFolder folder, const CurrentOperator& op, ProtectedGroups open)
    : m_store(store), m_folder(std::move(folder)), m_operator(op), m_open(std::move(open))
{
}

QString BatchExport::targetPath(const QString& folder, const QString& group, const QString& name, const QString& type,
                                bool withSubfolders)
{
    QString path = QDir::cleanPath(folder);
    if (withSubfolders) {
        for (const QString& part : GroupPath::split(group))
            if (!part.trimmed().isEmpty())
                path += QLatin1Char('/') + FileOpening::safeFileName(part, QString());
    }
    return path + QLatin1Char('/') + FileOpening::safeFileName(name, type);
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
    const GroupPath::Condition within = GroupPath::withSubgroups(group);
    QString where = QStringLiteral(" where ") + within.sql;
    QVariantList params = within.params;
    for (const QString& c : std::as_const(closed)) {
        const GroupPath::Condition hidden = GroupPath::withSubgroups(c);
        where += QStringLiteral(" and not ") + hidden.sql;
        params += hidden.params;
    }
    const QVariant count = m_store.scalar(QStringLiteral("select count(*) from wj") + where, params);
    if (!count.isValid()) {
        writeFailed(m_store.lastError());
        return out;
    }
    progress.setRange(0, count.toLongLong());
    progress.setValue(0);

    QSet<QString> checkedFolders{root};
    RecordSet rs = m_store.query(QStringLiteral("select id,mc,fz,lx,lj from wj") + where + QStringLiteral(" order by id"),
                                 params);
    if (!rs) {
        writeFailed(m_store.lastError());
        return out;
    }
    for (; !rs.atEnd(); rs.next()) {
        if (progress.cancelled()) {
            failed(Outcome::Kind::Cancelled, Cancelled, QString());
            break;
        }
        const qint64 id = rs.number(0);
        const QString name = rs.text(1);
        const QString type = rs.text(3);
        const QString lj = rs.text(4);
        if (onFile)
            onFile(name);

        const QString target = targetPath(root, rs.text(2), name, type, withSubfolders);
        const QString dir = QFileInfo(target).absolutePath();
        if (!checkedFolders.contains(dir)) {
            // Made whole at once, then checked: a link on the way that leads
            // out of the chosen folder refuses the write.
            if (!QDir().mkpath(dir)) {
                writeFailed(QStringLiteral("cannot create %1").arg(dir));
                break;
            }
            const QString real = QFileInfo(dir).canonicalFilePath();
            if (real != root && !real.startsWith(root + QLatin1Char('/'))) {
                writeFailed(QStringLiteral("%1 leads outside %2").arg(dir, root));
                break;
            }
            checkedFolders.insert(dir);
        }

        FileCopy::Result written;
        if (!lj.isEmpty()) {
            const QString kept = m_folder.resolve(lj);
            if (!QFileInfo(kept).isFile()) {
                writeFailed(QStringLiteral("kept file %1 missing").arg(kept));
                break;
            }
            written = FileCopy::copy(kept, target, FileCopy::Replace::Allowed, nullptr, nullptr, FileCopy::Sync::None);
        } else {
            const Result<QByteArray> bytes = RecordContent::read(m_store, id);
            if (!bytes) {
                writeFailed(bytes.detail());
                break;
            }
            written = FileCopy::write(bytes.value(), target, FileCopy::Replace::Allowed, nullptr, nullptr, FileCopy::Sync::None);
        }
        if (!written) {
            writeFailed(written.error);
            break;
        }
        ++out.written;
        progress.setValue(out.written);
    }
    rs.close();

    LogWriter log(m_store, m_operator);
    out.logFailed = !log.write(logText(group, folder, out.written));
    if (out.kind == Outcome::Kind::Done)
        out.message = doneText(out.written, folder);
    return out;
}
