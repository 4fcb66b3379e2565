#include "common/TestRegistry.h"
#include "platform/ProgramHome.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <sys/wait.h>
#include <unistd.h>

class ProgramHomeTest : public QObject {
    Q_OBJECT
private slots:
    void eachInstanceExtractsIntoAFolderOfItsOwn();
};

void ProgramHomeTest::eachInstanceExtractsIntoAFolderOfItsOwn()
{
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    const QString mine = ProgramHome::extractionFolder();
    QVERIFY2(mine.startsWith(runtime.path() + QLatin1Char('/')), qPrintable(mine));
    QVERIFY(mine.endsWith(QLatin1Char('-') + QString::number(::getpid())));

    // A folder of an instance that is gone is abandoned; one of a running
    // process (init) and this instance's own are not.
    const pid_t gone = ::fork();
    if (gone == 0)
        ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    const QString base = QFileInfo(mine).absolutePath();
    for (const QString& pid : {QString::number(gone), QStringLiteral("1"), QString::number(::getpid())})
        QVERIFY(QDir().mkpath(base + QStringLiteral("/kvtemp-") + pid));
    QCOMPARE(ProgramHome::abandonedExtractionFolders(),
             QStringList{base + QStringLiteral("/kvtemp-") + QString::number(gone)});
}

KV_REGISTER_TEST(ProgramHomeTest)
#include "ProgramHomeTest.moc"
