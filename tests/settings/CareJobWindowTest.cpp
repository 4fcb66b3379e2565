#include "common/ScriptedPrompter.h"
#include "common/TestHome.h"
#include "common/TestInput.h"
#include "common/TestRegistry.h"
#include "platform/ui/JobWindow.h"
#include "settings/ArchiveCare.h"
#include "settings/ui/GlobalSettingsWindow.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

using TestInput::pattern;
using TestInput::writeFile;

// The care of the archive in its job window: "取消" stops a backup part
// way and nothing of it is left behind.
class CareJobWindowTest : public QObject {
    Q_OBJECT
private slots:
    void cancelledBackupInTheWindowLeavesNoFolder();
};

void CareJobWindowTest::cancelledBackupInTheWindowLeavesNoFolder()
{
    TestHome home;
    QVERIFY(home.isValid());
    ScriptedPrompter prompter;
    QTemporaryDir out;
    const QString store = home.context().home.storeFolder();
    for (int i = 1; i <= 4; ++i) {
        const QString name = QStringLiteral("000000000%1.bin").arg(i);
        writeFile(store, name, pattern(24 * 1024 * 1024, char('a' + i)));
        QVERIFY(home.store().execute(QStringLiteral("insert into wj(mc, dxsz, lj) values(?, ?, ?)"),
                                     {name, 24 * 1024 * 1024, QStringLiteral("Data/Lf/") + name}));
    }
    GlobalSettingsWindow w(home.store(), ArchivePlace::of(home.context().home, home.archive()), {});
    w.show();
    const QString target = out.filePath(QStringLiteral("backup"));
    prompter.answerText(target);
    // "取消" as soon as the job's window is up.
    bool pressed = false;
    std::function<void()> press = [&] {
        auto* job = qobject_cast<JobWindow*>(QApplication::activeModalWidget());
        if (job && job->isRunning()) {
            QTest::mouseClick(job->cancelButton(), Qt::LeftButton);
            pressed = true;
            return;
        }
        QTimer::singleShot(1, press);
    };
    QTimer::singleShot(0, press);
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("备份按钮")), Qt::LeftButton);
    QVERIFY(pressed);
    QCOMPARE(prompter.lastText(), ArchiveCare::BackupCancelled);
    QCOMPARE(QDir(out.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    QCOMPARE(prompter.unexpected(), 0);
}

KV_REGISTER_TEST(CareJobWindowTest)
#include "CareJobWindowTest.moc"
