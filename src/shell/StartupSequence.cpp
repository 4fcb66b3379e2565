#include "shell/StartupSequence.h"

#include "archive/StoreFolder.h"
#include "platform/InstanceLock.h"
#include "platform/Job.h"
#include "platform/Progress.h"
#include "platform/PrivateFolder.h"
#include "settings/ArchiveCare.h"
#include "shell/AppContext.h"
#include "store/ArchiveProbe.h"
#include "store/DataStore.h"
#include "store/Dictionary.h"
#include "store/LogWriter.h"
#include "store/Schema.h"
#include "store/StoreJob.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QtEndian>

Status StartupSequence::Host::runUpgrade(Job& upgrade)
{
    NoProgress quiet;
    return upgrade.runHere(quiet);
}

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

Status StartupSequence::fileLooksWhole(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return Status::fail(QString(), QStringLiteral("cannot read %1").arg(path));
    const QByteArray header = f.read(100);
    const qint64 size = f.size();
    if (header.size() < 100 || !header.startsWith(QByteArrayLiteral("SQLite format 3\0")))
        return Status::fail(QString(), QStringLiteral("not an SQLite database"));
    const auto* h = reinterpret_cast<const uchar*>(header.constData());
    qint64 pageSize = qFromBigEndian<quint16>(h + 16);
    if (pageSize == 1)
        pageSize = 65536;
    if (pageSize < 512 || (pageSize & (pageSize - 1)) != 0)
        return Status::fail(QString(), QStringLiteral("bad page size"));
    if (size % pageSize != 0)
        return Status::fail(QString(), QStringLiteral("file size %1 is not a whole number of pages").arg(size));
    // The page count in the header is valid only when the change counter
    // and the "valid for" counter agree (every writer since 3.7.0 keeps them so).
    const quint32 changeCounter = qFromBigEndian<quint32>(h + 24);
    const quint32 pages = qFromBigEndian<quint32>(h + 28);
    const quint32 validFor = qFromBigEndian<quint32>(h + 92);
    if (pages != 0 && changeCounter == validFor && size < qint64(pages) * pageSize)
        return Status::fail(QString(), QStringLiteral("truncated: %1 bytes of %2").arg(size).arg(qint64(pages) * pageSize));
    return {};
}

Status StartupSequence::openArchive(DataStore& store, const QString& path, Progress* progress,
                                    const std::function<QString(const QString& lj)>& keptFile)
{
    if (!store.open(path))
        return Status::fail(QString(), store.lastError());
    auto fail = [&](const QString& text) {
        store.close();
        return Status::fail(QString(), text);
    };
    if (const Status migrated = Schema::migrate(store, progress, keptFile); !migrated)
        return fail(migrated.detail());
    // Opening rolled back any hot journal; what is on disk now is the archive.
    if (const Status whole = fileLooksWhole(path); !whole)
        return fail(whole.detail());
    // Every table must answer, not only be named in the catalogue.
    if (const Status answers = ArchiveProbe::tablesAnswer(store); !answers)
        return fail(answers.detail());
    return {};
}

Status StartupSequence::readSettings()
{
    if (auto settings = MainSettings::read(m_store)) {
        m_context.mainSettings = *settings;
    } else if (const Status readable = ArchiveProbe::settingsReadable(m_store); !readable) {
        return readable;
    }
    // A missing row keeps the built-in default.
    if (auto types = Dictionary::read(m_store, Dictionary::FileTypes))
        m_context.fileTypes = *types;
    if (auto size = Dictionary::read(m_store, Dictionary::FileSize))
        m_context.fileSize = *size;
    return {};
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

QString StartupSequence::narrowFailedText(const QString& folder, const QString& detail)
{
    return QStringLiteral("启动检查：目录 %1 未能设为仅本用户可用（%2）").arg(folder, detail);
}

QStringList StartupSequence::lockPaths(const AppContext& context)
{
    const QString databaseFolder = QFileInfo(context.databasePath).absolutePath();
    QStringList paths{QDir(databaseFolder).filePath(InstanceLock::FileName)};
    const QString dataFolder = QDir::cleanPath(QFileInfo(context.home.dataFolder()).absoluteFilePath());
    if (QDir::cleanPath(databaseFolder) != dataFolder && QFileInfo(dataFolder).isDir())
        paths << QDir(dataFolder).filePath(InstanceLock::FileName);
    return paths;
}

bool StartupSequence::archiveReadOnly(const QString& databasePath)
{
    const QFileInfo file(databasePath);
    // The rollback journal is made beside the file: its folder must take it.
    return !file.isWritable() || !QFileInfo(file.absolutePath()).isWritable();
}

Status StartupSequence::takeLocks()
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
            m_context.instanceLocks.clear();
            return Status::fail(QString(), a.detail);
        }
        // A folder that takes no lock file cannot be written either: the
        // archive is read-only, and a second instance could change nothing.
        qWarning("no instance lock: %s", qPrintable(a.detail));
    }
    return {};
}

void StartupSequence::sweepOnOwnConnection(const ProgramHome& home, const QString& databasePath)
{
    DataStore store;
    if (!store.open(databasePath)) {
        qWarning("store folder not swept: %s", qPrintable(store.lastError()));
        return;
    }
    sweepStoreFolder(home, store);
}

void StartupSequence::sweepStoreFolder(const ProgramHome& home, DataStore& store)
{
    const StoreFolder folder(home);
    const ::Result<StoreFolder::Swept> swept = folder.sweep(store);
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
    LogWriter(store, nobody).writeOrWarn(text);
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

    if (const Status locked = takeLocks(); !locked) {
        result.outcome = Outcome::AlreadyRunning;
        result.message = AlreadyRunningMessage;
        result.title = DatabaseMissingTitle;
        result.detail = locked.detail();
        return result;
    }

    // A restore killed part way may have left the archive that was in use
    // under a hidden name: it is kept under a dated one and said.
    if (const QStringList kept = ArchiveCare::keepRestoreLeftovers(
            ArchivePlace::of(m_context.home, m_context.databasePath));
        !kept.isEmpty())
        host.advise(ArchiveCare::leftoversKeptText(kept));

    const QString skin = skinPath();
    if (!skin.isEmpty())
        host.attachSkin(skin);

    // An archive of an earlier version is brought up to this one first, as
    // a job on a connection of its own that the host shows; the login's
    // connection opens it after (its own migrate then finds nothing to do).
    const StoreFolder keptFiles(m_context.home);
    const auto keptFile = [keptFiles](const QString& lj) { return keptFiles.resolve(lj); };
    JobOf<void> upgrade(UpgradeTitle, StoreJob::body<void>(m_context.databasePath, [keptFile](DataStore& store, JobContext& job) {
                            return Schema::migrate(store, &job, keptFile);
                        }));
    Status opened = host.runUpgrade(upgrade);
    if (opened)
        opened = openArchive(m_store, m_context.databasePath, nullptr, keptFile);
    if (opened)
        opened = readSettings();
    if (!opened) {
        m_store.close();
        m_context.instanceLocks.clear();
        result.outcome = Outcome::DatabaseUnusable;
        result.message = OpenFailedMessage;
        result.detail = opened.detail();
        return result;
    }

    if (archiveReadOnly(m_context.databasePath)) {
        host.advise(ReadOnlyNotice);
        return result;
    }
    // The archive's folders are the user's alone; with the lock held no
    // other run is writing, so what an interrupted run left can be cleared.
    // No one waits on this: what fails goes to the log with its cause.
    for (const QString& folder : {m_context.home.dataFolder(), m_context.home.storeFolder()}) {
        if (!QFileInfo(folder).isDir())
            continue;
        if (const Status narrowed = PrivateFolder::narrow(folder); !narrowed) {
            const CurrentOperator nobody;
            LogWriter(m_store, nobody).writeOrWarn(narrowFailedText(folder, narrowed.detail()));
        }
    }
    if (!m_context.instanceLocks.empty()) {
        if (m_deferSweep)
            m_sweepPending = true;
        else
            sweepStoreFolder(m_context.home, m_store);
    }
    return result;
}
