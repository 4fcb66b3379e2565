// The integrity check never blocks on what lies in the store folder: a FIFO
// (or a link) where a kept file should be, or unnamed beside the kept files,
// is reported and never read. The check runs in a child process with a
// deadline, so a check that hangs fails the test instead of hanging it.
#include "archive/ArchiveCheck.h"
#include "archive/FileRecords.h"
#include "archive/ProtectedGroups.h"
#include "archive/StoreFolder.h"
#include "common/TestHome.h"
#include "common/TestInput.h"
#include "common/TestRegistry.h"
#include "platform/Progress.h"
#include "store/DataStore.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using TestInput::pattern;
using TestInput::readFile;
using TestInput::writeFile;

class CheckSpecialFilesTest : public QObject {
    Q_OBJECT
private slots:
    void fifoAndLinkAreFindingsNeverRead();
};

void CheckSpecialFilesTest::fifoAndLinkAreFindingsNeverRead()
{
    TestHome home;
    QVERIFY(home.isValid());
    DataStore& s = home.store();
    QVERIFY(s.execute(QStringLiteral("insert into wjfz(id,fxmid,xmmc) values (1,0,'合同')")));
    const StoreFolder folder(home.context().home);
    FileRecords records(s, folder, home.context().currentOperator, 4096);
    QTemporaryDir src;
    RecordFields f;
    f.name = QStringLiteral("大");
    f.group = QStringLiteral("合同");
    const auto added = records.add(f, writeFile(src.path(), QStringLiteral("b.pdf"), pattern(50000, 'b')));
    QVERIFY(added);
    const QString kept =
        folder.resolve(valueOf(s, QStringLiteral("select lj from wj where id=?"), {added->id}).toString());
    QVERIFY(folder.contains(kept));

    // The record's kept file is a FIFO now; beside it an unnamed FIFO and a
    // link to a FIFO elsewhere. Nobody ever writes to any of them.
    QVERIFY(QFile::remove(kept));
    QCOMPARE(::mkfifo(QFile::encodeName(kept).constData(), 0600), 0);
    const QString strayFifo = folder.folder() + QStringLiteral("/0000000077.doc");
    QCOMPARE(::mkfifo(QFile::encodeName(strayFifo).constData(), 0600), 0);
    const QString outside = src.filePath(QStringLiteral("pipe"));
    QCOMPARE(::mkfifo(QFile::encodeName(outside).constData(), 0600), 0);
    const QString strayLink = folder.folder() + QStringLiteral("/0000000078.doc");
    QVERIFY(QFile::link(outside, strayLink));

    const QString database = home.databasePath();
    const QString results = src.filePath(QStringLiteral("findings.txt"));
    s.close();
    const pid_t pid = ::fork();
    QVERIFY(pid >= 0);
    if (pid == 0) {
        DataStore store;
        if (!store.open(database))
            ::_exit(3);
        NoProgress progress;
        ProtectedGroups open;
        const auto r = ArchiveCheck(store, folder, open).run(progress);
        if (!r)
            ::_exit(4);
        QByteArray out = r->whole() ? "whole\n" : "not whole\n";
        for (const auto& finding : r->findings)
            out += finding.line().toUtf8() + '\n';
        ::_exit(writeFile(results, out).isEmpty() ? 5 : 0);
    }
    int status = 0;
    QElapsedTimer waited;
    waited.start();
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (waited.elapsed() > 30000) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            QFAIL("the check did not finish within 30 s: it blocks on a FIFO");
        }
        QTest::qWait(20);
    }
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);

    const QStringList lines = QString::fromUtf8(readFile(results)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY2(lines.value(0) == QLatin1String("not whole"), qPrintable(lines.join(QLatin1Char('\n'))));
    auto finding = [&](const QString& kind, const QString& path) {
        for (const QString& line : lines)
            if (line.startsWith(kind + QLatin1Char('\t')) && line.contains(path))
                return true;
        return false;
    };
    QVERIFY2(finding(ArchiveCheck::KeptFileNotRegular, kept), qPrintable(lines.join(QLatin1Char('\n'))));
    QVERIFY2(finding(ArchiveCheck::StoreEntryNotRegular, strayFifo), qPrintable(lines.join(QLatin1Char('\n'))));
    QVERIFY2(finding(ArchiveCheck::StoreEntryNotRegular, strayLink), qPrintable(lines.join(QLatin1Char('\n'))));
    QCOMPARE(lines.size(), 1 + 3);
    // Nothing was changed: the FIFOs and the link are where they were.
    struct stat st;
    QVERIFY(::lstat(QFile::encodeName(kept).constData(), &st) == 0 && S_ISFIFO(st.st_mode));
    QVERIFY(::lstat(QFile::encodeName(strayLink).constData(), &st) == 0 && S_ISLNK(st.st_mode));
}

KV_REGISTER_TEST(CheckSpecialFilesTest)
#include "CheckSpecialFilesTest.moc"
