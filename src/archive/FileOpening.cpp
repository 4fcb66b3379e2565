#include "archive/FileOpening.h"

#include "archive/ExportGuard.h"
#include "archive/ProtectedGroups.h"
#include "platform/PrivateFolder.h"
#include "store/CurrentOperator.h"
#include "store/DataStore.h"
#include "store/LogWriter.h"
#include "store/MainSettings.h"
#include "store/RecordContent.h"
#include "store/RecordRows.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// A part of a file name with every character a file system would read as
// something else, or refuse (FAT, exFAT, NTFS), replaced: separators,
// control characters, : * ? " < > |, runs of dots.
QString cleaned(const QString& part)
{
    static const QString refused = QStringLiteral(":*?\"<>|");
    QString out;
    out.reserve(part.size());
    for (const QChar c : part) {
        const char16_t u = c.unicode();
        if (u == u'/' || u == u'\\' || u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0) || refused.contains(c))
            out += QLatin1Char('_');
        else
            out += c;
    }
    while (out.contains(QLatin1String("..")))
        out.replace(QLatin1String(".."), QLatin1String("._"));
    return out.trimmed();
}

int encodedSize(const QString& s)
{
    return int(QFile::encodeName(s).size());
}

// s cut to at most maxBytes once encoded, never inside a surrogate pair.
QString cutTo(QString s, int maxBytes)
{
    while (!s.isEmpty() && encodedSize(s) > maxBytes) {
        s.chop(1);
        if (!s.isEmpty() && s.back().isHighSurrogate())
            s.chop(1);
    }
    return s;
}

// s without the dots and blanks at its end (Windows drops them, so two names
// would meet, and some programs cannot reach such a file).
QString withoutTrailingDots(QString s)
{
    while (!s.isEmpty() && (s.back() == QLatin1Char('.') || s.back().isSpace()))
        s.chop(1);
    return s;
}

// Whether Windows reserves a name starting with stem (before its first dot,
// blanks at the end ignored) for a device: CON, PRN, AUX, NUL, COM1–9, LPT1–9.
bool reservedStem(const QString& name)
{
    const QString stem = withoutTrailingDots(name.section(QLatin1Char('.'), 0, 0)).toUpper();
    static const QStringList devices = {QStringLiteral("CON"), QStringLiteral("PRN"),    QStringLiteral("AUX"),
                                        QStringLiteral("NUL"), QStringLiteral("CONIN$"), QStringLiteral("CONOUT$")};
    if (devices.contains(stem))
        return true;
    return stem.size() == 4 && (stem.startsWith(QLatin1String("COM")) || stem.startsWith(QLatin1String("LPT")))
        && stem.at(3) >= QLatin1Char('1') && stem.at(3) <= QLatin1Char('9');
}

}  // namespace

FileOpening::FileOpening(DataStore& store, StoreFolder folder, const CurrentOperator& op, const ProtectedGroups& open,
                         QString extractionFolder)
    : m_store(store), m_folder(std::move(folder)), m_operator(op), m_open(open),
      m_extraction(std::move(extractionFolder))
{
}

Result<FileRecord> FileOpening::find(qint64 id)
{
    if (id < 0)
        return Result<FileRecord>::fail(NothingSelected);
    FileRecords records(m_store, m_folder, m_operator, 0);
    const Result<std::optional<FileRecord>> read = records.read(id);
    if (!read)
        return Result<FileRecord>::fail(PrivateFolder::withCause(WriteFailed, read.detail()), read.detail());
    if (!read.value())
        return Result<FileRecord>::fail(NothingSelected, QStringLiteral("record %1 not found").arg(id));
    const FileRecord& r = *read.value();
    // A closed protected group hides its files from every command; without
    // the group list every group counts as closed.
    if (m_open.isHidden(m_store, r.group))
        return Result<FileRecord>::fail(NothingSelected, QStringLiteral("record %1 lies in a closed group").arg(id));
    return r;
}

bool FileOpening::keptFileMissing(const FileRecord& r) const
{
    if (r.keptPath.isEmpty())
        return false;
    return !QFileInfo(m_folder.resolve(r.keptPath)).isFile();
}

QString FileOpening::missingQuestion(const FileRecord& r)
{
    const double megabytes = double(r.size) / (1024.0 * 1024.0);
    return QStringLiteral("源文件: ") + r.keptPath + QStringLiteral(" Size: ") + QString::number(megabytes, 'f', 2)
        + QStringLiteral("M, 已经被移动或删除,是否保留此条文件记录?");
}

QString FileOpening::safeFileName(const QString& name, const QString& type, int number)
{
    // The type is what follows the last dot: it holds no dot of its own.
    QString t = cleaned(type).remove(QLatin1Char('.')).trimmed();
    t = cutTo(t, MaxNameBytes / 4).trimmed();
    const QString suffix = t.isEmpty() ? QString() : QLatin1Char('.') + t;
    const QString tag = number > 1 ? QStringLiteral(" (%1)").arg(number) : QString();
    QString n = cleaned(name);
    if (n.startsWith(QLatin1Char('.')))
        n.replace(0, 1, QLatin1Char('_'));
    if (reservedStem(n))
        n.prepend(QLatin1Char('_'));
    n = cutTo(n, MaxNameBytes - encodedSize(suffix) - encodedSize(tag)).trimmed();
    // What ends the whole name ends without a dot or blank.
    if (tag.isEmpty() && suffix.isEmpty())
        n = withoutTrailingDots(n);
    if (n.isEmpty())
        n = QStringLiteral("_");
    return n + tag + suffix;
}

Result<QString> FileOpening::newSubfolder(qint64 id)
{
    if (const Status allowed = ExportGuard(m_store, m_folder).checkFolder(m_extraction); !allowed)
        return Result<QString>::fail(allowed.message(), allowed.detail());
    if (const Status base = PrivateFolder::ensure(m_extraction); !base)
        return Result<QString>::fail(PrivateFolder::withCause(WriteFailed, base.detail()), base.detail());
    // A folder of its own for every opening: a file still open in another
    // program is never written over, and records of one name never meet.
    // mkdir fails on anything already there, a link included.
    const QDir base(m_extraction);
    for (int n = 1; n <= StoreFolder::MaxNameTries; ++n) {
        const QString name = QStringLiteral("%1-%2").arg(id).arg(n);
        if (base.exists(name) || QFileInfo(base.filePath(name)).isSymLink())
            continue;
        if (!base.mkdir(name))
            continue;
        const QString path = base.filePath(name);
        if (const Status narrowed = PrivateFolder::narrow(path); !narrowed)
            return Result<QString>::fail(WriteFailed, narrowed.detail());
        return path;
    }
    return Result<QString>::fail(WriteFailed, QStringLiteral("no free sub-folder in %1").arg(m_extraction));
}

Result<QString> FileOpening::extract(const FileRecord& r, Progress* progress)
{
    // A kept file that is gone is the window's question; one that is there
    // but not the record's content is refused by the copy.
    if (!r.keptPath.isEmpty() && !QFileInfo::exists(m_folder.resolve(r.keptPath)))
        return Result<QString>::fail(WriteFailed,
                                     QStringLiteral("kept file %1 missing").arg(m_folder.resolve(r.keptPath)));
    const Result<QString> hash = RecordContent::hash(m_store, r.id);
    if (!hash)
        return Result<QString>::fail(PrivateFolder::withCause(WriteFailed, hash.detail()), hash.detail());
    const Result<QString> folder = newSubfolder(r.id);
    if (!folder)
        return folder;
    const QString target = QDir(folder.value()).filePath(safeFileName(r.name, r.type));

    ExportedContent content(m_store, m_folder);
    const ExportedContent::Copied written =
        content.copy({r.id, r.keptPath, r.size, hash.value()}, target, FileCopy::Replace::Never, progress);
    if (!written.ok()) {
        QDir(folder.value()).removeRecursively();
        if (written.kind == ExportedContent::Copied::Kind::Cancelled)
            return Result<QString>::cancel();
        if (written.kind == ExportedContent::Copied::Kind::Damaged)
            return Result<QString>::fail(
                ExportedContent::damagedText(LogWriter::fileDetails(r.number, r.name, r.type), written.damage),
                written.detail);
        return Result<QString>::fail(PrivateFolder::withCause(WriteFailed, written.detail), written.detail);
    }
    if (const Status restricted = PrivateFolder::restrictFile(target); !restricted) {
        QDir(folder.value()).removeRecursively();
        return Result<QString>::fail(WriteFailed, restricted.detail());
    }
    return target;
}

Result<FileOpening::Viewed> FileOpening::countView(const FileRecord& r)
{
    const Result<bool> off = MainSettings::readCountViewsOff(m_store);
    if (!off)
        return Result<Viewed>::fail(PrivateFolder::withCause(CountFailed, off.detail()), off.detail());

    Viewed viewed;
    Transaction tx(m_store);
    if (!tx.isActive())
        return Result<Viewed>::fail(PrivateFolder::withCause(CountFailed, m_store.lastError()), m_store.lastError());
    if (!off.value()) {
        if (const Status counted = RecordRows::countView(m_store, r.id); !counted)
            return Result<Viewed>::fail(PrivateFolder::withCause(CountFailed, counted.detail()), counted.detail());
        viewed.counted = true;
    }
    LogWriter log(m_store, m_operator);
    viewed.logFailed = !log.write(LogWriter::FileViewed + r.number + QStringLiteral("，") + r.name);
    if (!tx.commit())
        return Result<Viewed>::fail(PrivateFolder::withCause(CountFailed, m_store.lastError()), m_store.lastError());
    return viewed;
}
