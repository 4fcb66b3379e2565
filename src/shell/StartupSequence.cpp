#include "shell/StartupSequence.h"

#include "archive/StoreFolder.h"
#include "platform/InstanceLock.h"
#include "platform/PrivateFolder.h"
#include "shell/AppContext.h"
#include "store/DataStore.h"
#include "store/Dictionary.h"
#include "store/LogWriter.h"
#include "store/Schema.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QtEndian>

namespace {

void setWhy(QString* why, const QString& text)
{
    if (why)
        *why = text;
}

}  // namespace

StartupSequence::StartupSequence(AppContext& context, DataStore& store) : m_context(context), m_store(store)
{
}

bool StartupSequence::screenTooSmall(const QSize& screen)
{
    return screen.isValid() && (screen.width() < 1024 || screen.height() < 768);
}

QString StartupSequence::skinPath() const
{
    const QString path = m_context.home.skinPath(m_context.config);
    if (path.trimmed().compare(QStringLiteral("NO"), Qt::CaseInsensitive) == 0)
        return {};
    return path;
}

bool StartupSequence::fileLooksWhole(const QString& path, QString* why)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        setWhy(why, QStringLiteral("cannot read %1").arg(path));
        return false;
    }
    const QByteArray header = f.read(100);
    const qint64 size = f.size();
    if (header.size() < 100 || !header.startsWith(QByteArrayLiteral("SQLite format 3\0"))) {
        setWhy(why, QStringLiteral("not an SQLite database"));
        return false;
    }
    const auto* h = reinterpret_cast<const uchar*>(header.constData());
    qint64 pageSize = qFromBigEndian<quint16>(h + 16);
    if (pageSize == 1)
        pageSize = 65536;
    if (pageSize < 512 || (pageSize & (pageSize - 1)) != 0) {
        setWhy(why, QStringLiteral("bad page size"));
        return false;
    }
    if (size % pageSize != 0) {
        setWhy(why, QStringLiteral("file size %1 is not a whole number of pages").arg(size));
        return false;
    }
    // The page count in the header is valid only when the change counter
    // and the "valid for" counter agree (every writer since 3.7.0 keeps them so).
    const quint32 changeCounter = qFromBigEndian<quint32>(h + 24);
    const quint32 pages = qFromBigEndian<quint32>(h + 28);
    const quint32 validFor = qFromBigEndian<quint32>(h + 92);
    if (pages != 0 && changeCounter == validFor && size < qint64(pages) * pageSize) {
        setWhy(why, QStringLiteral("truncated: %1 bytes of %2").arg(size).arg(qint64(pages) * pageSize));
        return false;
    }
    return true;
}

bool StartupSequence::openArchive(DataStore& store, const QString& path, QString* why)
{
    if (!store.open(path)) {
        setWhy(why, store.lastError());
        return false;
    }
    auto fail = [&](const QString& text) {
        setWhy(why, text);
        store.close();
        return false;
    };
    QString error;
    if (!Schema::migrate(store, &error))
        return fail(error);
    // Opening rolled back any hot journal; what is on disk now is the archive.
    if (!fileLooksWhole(path, &error))
        return fail(error);
    // Every table must answer, not only be named in the catalogue.
    for (const QString& table : Schema::tableNames()) {
        // Table names are our own constants, never input.
        if (!store.query(QStringLiteral("select count(*) from %1").arg(table)))
            return fail(table + QStringLiteral(": ") + store.lastError());
    }
    return true;
}

bool StartupSequence::readSettings(QString* why)
{
    if (auto settings = MainSettings::read(m_store)) {
        m_context.mainSettings = *settings;
    } else if (!m_store.query(QStringLiteral("select id from zcbj where id=1"))) {
        setWhy(why, QStringLiteral("zcbj: ") + m_store.lastError());
        return false;
    }
    // A missing row keeps the built-in default.
    if (auto types = Dictionary::read(m_store, Dictionary::FileTypes))
        m_context.fileTypes = *types;
    if (auto size = Dictionary::read(m_store, Dictionary::FileSize))
        m_context.fileSize = *size;
    return true;
}

QString StartupSequence::sweepLogText(int removedStaging, int quarantined, const QString& quarantineFolder)
{
    QString text = QStringLiteral("启动清理：");
    if (removedStaging > 0)
        text += QStringLiteral("删除未完成的临时文件 %1 个").arg(removedStaging);
    if (quarantined > 0) {
        if (removedStaging > 0)
            text += QStringLiteral("，");
        text += QStringLiteral("无记录的存放文件 %1 个移至 %2").arg(quarantined).arg(quarantineFolder);
    }
    return text;
}

QStringList StartupSequence::lockPaths(const AppContext& context)
{
    const QString databaseFolder = QFileInfo(context.databasePath).absolutePath();
    QStringList paths{QDir(databaseFolder).filePath(QStringLiteral(".korvane.lock"))};
    const QString dataFolder = QDir::cleanPath(QFileInfo(context.home.dataFolder()).absoluteFilePath());
    if (QDir::cleanPath(databaseFolder) != dataFolder && QFileInfo(dataFolder).isDir())
        paths << QDir(dataFolder).filePath(QStringLiteral(".korvane.lock"));
    return paths;
}

bool StartupSequence::archiveReadOnly(const QString& databasePath)
{
    const QFileInfo file(databasePath);
    // The rollback journal is made beside the file: its folder must take it.
    return !file.isWritable() || !QFileInfo(file.absolutePath()).isWritable();
}

bool StartupSequence::takeLocks(QString* why)
{
    m_context.instanceLocks.clear();
    for (const QString& path : lockPaths(m_context)) {
        // The lock goes with the process that holds it, so one left by a run
        // that was killed is no lock at all.
        InstanceLock::Attempt a = InstanceLock::acquire(path);
        if (a.lock) {
            m_context.instanceLocks.push_back(std::move(a.lock));
            continue;
        }
        if (a.held) {
            setWhy(why, a.detail);
            m_context.instanceLocks.clear();
            return false;
        }
        // A folder that takes no lock file cannot be written either: the
        // archive is read-only, and a second instance could change nothing.
        qWarning("no instance lock: %s", qPrintable(a.detail));
    }
    return true;
}

void StartupSequence::sweepStoreFolder()
{
    const StoreFolder folder(m_context.home);
    const ::Result<StoreFolder::Swept> swept = folder.sweep(m_store);
    if (!swept) {
        qWarning("store folder not swept: %s", qPrintable(swept.detail()));
        return;
    }
    const int removed = int(swept->removedStaging.size());
    const int moved = int(swept->quarantined.size());
    if (removed == 0 && moved == 0)
        return;
    const QString text = sweepLogText(removed, moved, folder.quarantineFolder());
    qInfo("%s: %s", qPrintable(text), qPrintable(swept->quarantined.join(QLatin1Char(' '))));
    const CurrentOperator nobody;
    LogWriter(m_store, nobody).write(text);
}

StartupSequence::Result StartupSequence::run(const QSize& screen, Host& host)
{
    Result result;
    if (screenTooSmall(screen))
        host.advise(ScreenAdvice);

    m_context.databasePath = m_context.home.databasePath(m_context.config);
    if (!QFileInfo(m_context.databasePath).isFile()) {
        result.outcome = Outcome::DatabaseMissing;
        result.message = DatabaseMissingMessage;
        result.title = DatabaseMissingTitle;
        result.detail = QStringLiteral("database file not found: %1").arg(m_context.databasePath);
        return result;
    }

    QString why;
    if (!takeLocks(&why)) {
        result.outcome = Outcome::AlreadyRunning;
        result.message = AlreadyRunningMessage;
        result.title = DatabaseMissingTitle;
        result.detail = why;
        return result;
    }

    const QString skin = skinPath();
    if (!skin.isEmpty())
        host.attachSkin(skin);

    if (!openArchive(m_store, m_context.databasePath, &why) || !readSettings(&why)) {
        m_store.close();
        m_context.instanceLocks.clear();
        result.outcome = Outcome::DatabaseUnusable;
        result.message = OpenFailedMessage;
        result.detail = why;
        return result;
    }

    if (archiveReadOnly(m_context.databasePath)) {
        host.advise(ReadOnlyNotice);
        return result;
    }
    // The archive's folders are the user's alone; with the lock held no
    // other run is writing, so what an interrupted run left can be cleared.
    const QString dataFolder = m_context.home.dataFolder();
    if (QFileInfo(dataFolder).isDir())
        PrivateFolder::narrow(dataFolder).ok();
    if (QFileInfo(m_context.home.storeFolder()).isDir())
        PrivateFolder::narrow(m_context.home.storeFolder()).ok();
    if (!m_context.instanceLocks.empty())
        sweepStoreFolder();
    return result;
}
