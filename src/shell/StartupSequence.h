#pragma once

#include "platform/Result.h"
#include "store/ArchiveLocation.h"

#include <QSize>
#include <QString>
#include <functional>

struct AppContext;
class DataStore;
class Job;
class Progress;

// The steps between the program's start and the login window, in their
// order: the screen advice, the presence of the database file, the lock
// that keeps a second instance off the same Data folder (held in the
// AppContext for the run), the skin, the connection, the notice of a
// read-only archive, the sweep of the store folder, and the settings read
// at start into the AppContext.
// Nothing here shows anything: the host shows the advice and attaches the
// skin, and a failure comes back as the result with its message and title.
class ProgramHome;

class StartupSequence {
public:
    static inline const QString ScreenAdvice =
        QStringLiteral("建议：使用本系统的最佳屏幕分辨率为1024*768或更高，请重新调整。");
    static inline const QString DatabaseMissingMessage =
        QStringLiteral("启动失败：指定数据库未找到，重新安装本系统可修复此错误。");
    static inline const QString DatabaseMissingTitle = QStringLiteral("错误信息");
    static inline const QString OpenFailedMessage = QStringLiteral("打开数据库失败。");
    static inline const QString AlreadyRunningMessage =
        QStringLiteral("启动失败：本系统已在运行，同一数据目录不能同时由两个程序使用。请先关闭另一个程序。");
    static inline const QString UpgradeTitle = QStringLiteral("升级数据库");
    static inline const QString UpgradeText = QStringLiteral("正在整理数据库中的文件内容，请稍候...");
    static inline const QString ReadOnlyNotice = QStringLiteral("注意：数据库只读，本次运行中不能保存任何修改。");
    // The log line of a start-up that cleared what an interrupted run left.
    static QString sweepLogText(int removedStaging, int quarantined, const QString& quarantineFolder);
    // The log line of a start-up that could not make a folder of the
    // archive the user's alone.
    static QString narrowFailedText(const QString& folder, const QString& detail);

    enum class Outcome {
        Ready,             // connection open, settings read
        DatabaseMissing,   // the database file does not exist
        DatabaseUnusable,  // it exists but is not a readable archive
        AlreadyRunning,    // another instance works on the same Data folder
    };

    struct [[nodiscard]] Result {
        Outcome outcome = Outcome::Ready;
        QString message;  // what to show; empty when Ready
        QString title;
        QString detail;  // why, for the log / stderr
        bool ok() const { return outcome == Outcome::Ready; }
    };

    // What the sequence asks of the program around it.
    class Host {
    public:
        virtual ~Host() = default;
        virtual void advise(const QString& text) = 0;
        // path is never "NO" or empty.
        virtual void attachSkin(const QString& path) = 0;
        // Runs the upgrade of an archive written by an earlier version (a
        // job on a connection of its own; resumable, so it offers no
        // cancel) and returns how it ended. A host with windows shows its
        // progress while its thread keeps turning; by default it runs here,
        // showing nothing.
        virtual Status runUpgrade(Job& upgrade);
    };

    // store is the connection the login window goes on with.
    StartupSequence(AppContext& context, DataStore& store);

    Result run(const QSize& screen, Host& host);
    // run() leaves the sweep of the store folder to sweepOnOwnConnection(),
    // which the program runs on a worker while the login waits for the
    // operator (it is as long as the folder is large).
    void deferSweep() { m_deferSweep = true; }
    // The sweep a deferred run left, on a connection of its own to the
    // archive that run opened; false when there is nothing to sweep (the
    // archive is read-only, or no lock is held).
    bool sweepPending() const { return m_sweepPending; }
    static void sweepOnOwnConnection(const ProgramHome& home, const ArchiveLocation& archive);

    static bool screenTooSmall(const QSize& screen);
    // The skin to attach from Config.ini; empty when "NO".
    QString skinPath() const;

    // The lock files of a run on this archive: one in the database's folder
    // and one in the program's Data folder when that is another folder.
    static QStringList lockPaths(const AppContext& context);
    // True when the archive cannot be written (the file or its folder).
    static bool archiveReadOnly(const ArchiveLocation& archive);

    // Opens store on the archive and proves it is a whole archive of this
    // system: its storage whole (a database file no shorter than its header
    // says), every table present and readable, at a schema version this
    // build can migrate. A failure's detail says why.
    // keptFile finds the kept files whose hashes an older archive lacks.
    static Status openArchive(DataStore& store, const ArchiveLocation& archive, Progress* progress = nullptr,
                              const std::function<QString(const QString& lj)>& keptFile = {});

private:
    Status readSettings();
    // Takes the run's locks; fails when another instance holds one.
    Status takeLocks();
    // Clears the store folder of what an interrupted run left and logs it.
    static void sweepStoreFolder(const ProgramHome& home, DataStore& store);

    AppContext& m_context;
    DataStore& m_store;
    bool m_deferSweep = false;
    bool m_sweepPending = false;
};
