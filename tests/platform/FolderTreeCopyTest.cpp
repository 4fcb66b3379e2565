#include "common/TestInput.h"
#include "common/TestRegistry.h"
#include "platform/FileCopy.h"
#include "platform/FolderTreeCopy.h"
#include "platform/PrivateFolder.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

class FolderTreeCopyTest : public QObject {
    Q_OBJECT
private slots:
    void fullDiskIsSaidAsSuch();
};

// A copy onto a small file system of its own (a tmpfs, in a mount namespace
// of a child process) that fills up part way.
void FolderTreeCopyTest::fullDiskIsSaidAsSuch()
{
    QTemporaryDir dir;
    const QString source =
        TestInput::writeFile(dir.path(), QStringLiteral("big.bin"), TestInput::pattern(4 << 20, 'f'));
    const QString small = dir.filePath(QStringLiteral("small"));
    QVERIFY(QDir().mkpath(small));
    int pipeFds[2];
    QVERIFY(::pipe(pipeFds) == 0);
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        ::close(pipeFds[0]);
        QByteArray said = "-";
        if (::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0
            && ::mount("kvfull", QFile::encodeName(small).constData(), "tmpfs", 0, "size=1m") == 0) {
            const FileCopy::Result r =
                FolderTreeCopy::copyFile(source, small + QStringLiteral("/big.bin"), FileCopy::Replace::Never);
            said = r.ok ? QByteArray("ok") : r.error.toUtf8();
        }
        (void)!::write(pipeFds[1], said.constData(), size_t(said.size()));
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    QByteArray said;
    char buffer[512];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        said.append(buffer, n);
    ::close(pipeFds[0]);
    ::waitpid(child, nullptr, 0);
    if (said == "-")
        QSKIP("no file system of its own can be mounted here");
    QCOMPARE(PrivateFolder::plainCause(QString::fromUtf8(said)), QStringLiteral("磁盘空间不足"));
}

KV_REGISTER_TEST(FolderTreeCopyTest)
#include "FolderTreeCopyTest.moc"
