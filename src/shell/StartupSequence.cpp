#include "shell/StartupSequence.h"

#include "archive/StoreFolder.h"
#include "platform/InstanceLock.h"
#include "platform/Job.h"
#include "platform/Progress.h"
#include "platform/PrivateFolder.h"
#include "settings/ArchiveCare.h"
#include "shell/AppContext.h"
#include "store/ArchiveProbe.h"
#include "store/Backend.h"
#include "store/DataStore.h"
#include "store/Dictionary.h"
#include "store/LogWriter.h"
#include "store/Schema.h"
#include "store/StoreJob.h"

#include <QDir>
#include <QFileInfo>

#include <utility>

Status StartupSequence::Host::runUpgrade(Job& upgrade)
{
    NoProgress quiet;
    return upgrade.runHere(quiet);
}

StartupSequence::StartupSequence(AppContext& context, DataStore& store) : m_context(context), m_store(store) {}

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

Status StartupSequence::openArchive(DataStore& store, const ArchiveLocation& archive, Progress* progress,
                                    const std::function<QString(const QString& lj)>& keptFile)
{
    if (!store.open(archive))
        return Status::fail(QString(), store.lastError());
    auto fail = [&](const QString& text) {
        store.close();
        return Status::fail(QString(), text);
    };
    if (const Status migrated = Schema::migrate(store, progress, keptFile); !migrated)
        return fail(migrated.detail());
    // Opening rolled back any hot journal; what is on disk now is the archive.
    if (const Status whole = store.backend().storageWhole(archive); !whole)
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
    // A missing row keeps the built-in default; a dictionary that cannot be
    // read is an archive that does not answer.
    for (auto [name, value] : {std::pair{Dictionary::FileTypes, &m_context.fileTypes},
                               std::pair{Dictionary::FileSize, &m_context.fileSize}}) {
        const ::Result<std::optional<QString>> read = Dictionary::read(m_store, name);
        if (!read)
            return Status::fail(QString(), read.detail());
        if (read->has_value())
            *value = **read;
    }
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
    const QString databaseFolder = QFileInfo(context.archive.filePath()).absolutePath();
    QStringList paths{QDir(databaseFolder).filePath(InstanceLock::FileName)};
    const QString dataFolder = QDir::cleanPath(QFileInfo(context.home.dataFolder()).absoluteFilePath());
    if (QDir::cleanPath(databaseFolder) != dataFolder && QFileInfo(dataFolder).isDir())
        paths << QDir(dataFolder).filePath(InstanceLock::FileName);
    return paths;
}

bool StartupSequence::archiveReadOnly(const ArchiveLocation& archive)
{
    if (!archive.isFile())
        return false;
    const QFileInfo file(archive.filePath());
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

void StartupSequence::sweepOnOwnConnection(const ProgramHome& home, const ArchiveLocation& archive)
{
    DataStore store;
    if (!store.open(archive)) {
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

    m_context.archive = ArchiveLocation::file(m_context.home.databasePath(m_context.config));
    if (!QFileInfo(m_context.archive.filePath()).isFile()) {
        result.outcome = Outcome::DatabaseMissing;
        result.message = DatabaseMissingMessage;
        result.title = DatabaseMissingTitle;
        result.detail = QStringLiteral("database file not found: %1").arg(m_context.archive.display());
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
    if (const QStringList kept = ArchiveCare::keepRestoreLeftovers(ArchivePlace::of(m_context.home, m_context.archive));
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
    JobOf<void> upgrade(UpgradeTitle,
                        StoreJob::body<void>(m_context.archive, [keptFile](DataStore& store, JobContext& job) {
                            return Schema::migrate(store, &job, keptFile);
                        }));
    Status opened = host.runUpgrade(upgrade);
    if (opened)
        opened = openArchive(m_store, m_context.archive, nullptr, keptFile);
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

    if (archiveReadOnly(m_context.archive)) {
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
