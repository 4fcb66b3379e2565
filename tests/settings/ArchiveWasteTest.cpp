// The space the care of the archive leaves: the quarantine folder and the
// Data-<date> folders kept beside Data by a restore or a rebuild are
// measured and removed, and nothing else ever is (not the Data folder, not a
// look-alike name, not what a link points to, not a kept copy holding the
// database in use); "全局参数" shows the space and removes it after a question.
#include "archive/StoreFolder.h"
#include "common/ScriptedPrompter.h"
#include "common/TestHome.h"
#include "common/TestInput.h"
#include "common/TestRegistry.h"
#include "settings/ArchiveCare.h"
#include "settings/ArchiveWaste.h"
#include "settings/ui/GlobalSettingsWindow.h"
#include "store/DataStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using TestInput::pattern;
using TestInput::readFile;
using TestInput::writeFile;

namespace {

QString put(const QString& folder, const QString& name, qint64 size)
{
    QDir().mkpath(folder);
    return writeFile(folder, name, pattern(size, 'w'));
}

// Beside the Data folder of home: a quarantine of 3000 bytes and two kept
// copies of 10000 + 2000 and 500 bytes, 15500 bytes in all.
void plantWaste(TestHome& home)
{
    const StoreFolder folder(home.context().home);
    const QString data = home.context().home.dataFolder();
    const QString beside = QFileInfo(data).absolutePath();
    QVERIFY(!put(folder.quarantineFolder(), QStringLiteral("0000000099.doc"), 3000).isEmpty());
    QVERIFY(!put(beside + QStringLiteral("/Data-20260101-120000"), QStringLiteral("files.dat"), 10000).isEmpty());
    QVERIFY(
        !put(beside + QStringLiteral("/Data-20260101-120000/Lf"), QStringLiteral("0000000001.pdf"), 2000).isEmpty());
    QVERIFY(!put(beside + QStringLiteral("/Data-20260101-120000-1"), QStringLiteral("files.dat"), 500).isEmpty());
}

}  // namespace

class ArchiveWasteTest : public QObject {
    Q_OBJECT
private slots:
    void measuresAndRemovesOnlyTheWaste();
    void settingsWindowAsksThenRemoves();
};

void ArchiveWasteTest::measuresAndRemovesOnlyTheWaste()
{
    TestHome home;
    QVERIFY(home.isValid());
    plantWaste(home);
    const QString data = home.context().home.dataFolder();
    const QString beside = QFileInfo(data).absolutePath();
    // What is not waste: look-alike names, a link named as a kept copy, a
    // link inside a kept copy to a folder elsewhere.
    QTemporaryDir elsewhere;
    const QString precious = put(elsewhere.path(), QStringLiteral("precious.txt"), 700);
    QVERIFY(!put(beside + QStringLiteral("/Data-backup"), QStringLiteral("files.dat"), 100).isEmpty());
    QVERIFY(!put(beside + QStringLiteral("/Data-20260101-1200"), QStringLiteral("files.dat"), 100).isEmpty());
    QVERIFY(QFile::link(elsewhere.path(), beside + QStringLiteral("/Data-20260102-000000")));
    QVERIFY(QFile::link(elsewhere.path(), beside + QStringLiteral("/Data-20260101-120000-1/outside")));
    const ArchivePlace place = ArchivePlace::of(home.context().home, home.archive());

    const Result<ArchiveWaste::Waste> measured = ArchiveWaste::measure(place);
    QVERIFY2(measured, qPrintable(measured.detail()));
    QCOMPARE(measured->folders.size(), 3);
    struct stat st;
    QCOMPARE(::lstat(QFile::encodeName(beside + QStringLiteral("/Data-20260101-120000-1/outside")).constData(), &st),
             0);
    const qint64 link = qint64(st.st_size);
    QCOMPARE(measured->bytes, 3000 + 10000 + 2000 + 500 + link);  // the link counts as itself
    QCOMPARE(measured->files, qint64(5));

    const Result<ArchiveWaste::Waste> removed =
        ArchiveWaste::remove(place, home.store(), home.context().currentOperator);
    QVERIFY2(removed, qPrintable(removed.detail()));
    QCOMPARE(removed->bytes, measured->bytes);
    QCOMPARE(removed.message(), ArchiveWaste::Removed.arg(ArchiveWaste::spaceText(measured->bytes)));
    QVERIFY(!QFileInfo::exists(StoreFolder(home.context().home).quarantineFolder()));
    QVERIFY(!QFileInfo::exists(beside + QStringLiteral("/Data-20260101-120000")));
    QVERIFY(!QFileInfo::exists(beside + QStringLiteral("/Data-20260101-120000-1")));
    // The archive in use and everything that is not waste stay.
    QVERIFY(QFileInfo(home.databasePath()).isFile());
    QVERIFY(QFileInfo(home.context().home.storeFolder()).isDir());
    QVERIFY(QFileInfo::exists(beside + QStringLiteral("/Data-backup/files.dat")));
    QVERIFY(QFileInfo::exists(beside + QStringLiteral("/Data-20260101-1200/files.dat")));
    QVERIFY(QFileInfo(beside + QStringLiteral("/Data-20260102-000000")).isSymLink());
    QCOMPARE(readFile(precious), pattern(700, 'w'));
    QCOMPARE(valueOf(home.store(), QStringLiteral("select count(*) from rz where nr like ? and czy='Admin'"),
                     {ArchiveWaste::LogPrefix + QLatin1Char('%')})
                 .toInt(),
             1);
    const Result<ArchiveWaste::Waste> again = ArchiveWaste::measure(place);
    QVERIFY(again && again->isEmpty());

    // A kept copy that holds the database in use is no waste.
    ArchivePlace moved = place;
    moved.databasePath = put(beside + QStringLiteral("/Data-20260103-000000"), QStringLiteral("files.dat"), 100);
    const Result<ArchiveWaste::Waste> inUse = ArchiveWaste::measure(moved);
    QVERIFY(inUse && inUse->isEmpty());
    QVERIFY(ArchiveWaste::remove(moved, home.store(), home.context().currentOperator));
    QVERIFY(QFileInfo::exists(moved.databasePath));
}

void ArchiveWasteTest::settingsWindowAsksThenRemoves()
{
    TestHome home;
    QVERIFY(home.isValid());
    plantWaste(home);
    ScriptedPrompter prompter;
    GlobalSettingsWindow w(home.store(), ArchivePlace::of(home.context().home, home.archive()), {});
    w.setOperator(home.context().currentOperator);
    w.show();
    auto* label = w.findChild<QLabel*>(QStringLiteral("旧数据占用标签"));
    auto* button = w.findChild<QPushButton*>(QStringLiteral("清除旧数据按钮"));
    QVERIFY(label && button);
    const QString space = ArchiveWaste::spaceText(15500);
    QCOMPARE(label->text(), ArchiveWaste::SpaceLabel.arg(space));
    QVERIFY(button->isEnabled());
    TestHome::grab(&w, QStringLiteral("global-settings-waste"));

    const QString kept =
        QFileInfo(home.context().home.dataFolder()).absolutePath() + QStringLiteral("/Data-20260101-120000");
    prompter.answerNo();
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(prompter.lastText(), ArchiveWaste::Question.arg(space));
    QVERIFY(QFileInfo::exists(kept));

    prompter.answerYes();
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(prompter.messages().last(), ArchiveWaste::Removed.arg(space));
    QVERIFY(!QFileInfo::exists(kept));
    QVERIFY(!QFileInfo::exists(StoreFolder(home.context().home).quarantineFolder()));
    QVERIFY(QFileInfo(home.databasePath()).isFile());
    QCOMPARE(label->text(), ArchiveWaste::SpaceLabel.arg(QStringLiteral("无")));
    QVERIFY(!button->isEnabled());
    QCOMPARE(prompter.unexpected(), 0);
}

KV_REGISTER_TEST(ArchiveWasteTest)
#include "ArchiveWasteTest.moc"
