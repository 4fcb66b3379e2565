// One file's road through the whole main window: a group is made, a small
// and a large file are added with the edit panel, listed, saved out byte for
// byte and deleted, with the database and the store folder checked at each step.
#include "archive/GroupTree.h"
#include "archive/ui/EditPanel.h"
#include "archive/ui/GroupTreePane.h"
#include "common/ScriptedPrompter.h"
#include "common/TestHome.h"
#include "common/TestRegistry.h"
#include "listing/ui/FileListViews.h"
#include "shell/Commands.h"
#include "shell/ui/MainWindow.h"
#include "common/TestInput.h"

using TestInput::pattern;
using TestInput::readFile;

#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

namespace {
bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QStringList storeFiles(const TestHome& home)
{
    return QDir(const_cast<TestHome&>(home).context().home.storeFolder())
        .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}
}

class EndToEndTest : public QObject {
    Q_OBJECT
private slots:
    void fileRoadThroughTheMainWindow_data();
    void fileRoadThroughTheMainWindow();
};

void EndToEndTest::fileRoadThroughTheMainWindow_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("inStoreFolder");
    QTest::newRow("kept in the database") << qint64(20 * 1024) << false;
    QTest::newRow("kept in the store folder") << qint64(3 * 1024 * 1024 + 17) << true;
}

void EndToEndTest::fileRoadThroughTheMainWindow()
{
    QFETCH(qint64, size);
    QFETCH(bool, inStoreFolder);

    TestHome home;
    QVERIFY(home.isValid());
    ScriptedPrompter p;
    QTemporaryDir outside;
    const QString source = outside.filePath(QStringLiteral("年度 报告.v2.pdf"));
    const QByteArray content = pattern(size, 5);
    QVERIFY(writeFile(source, content));

    MainWindow w(home.context());
    QVERIFY(w.isReady());
    w.resize(1024, 768);
    w.show();

    // A group, made through the tree and selected as a click does.
    QVERIFY(w.tree()->groups().add(0, QStringLiteral("合同")).ok());
    QVERIFY(w.tree()->reload());
    QVERIFY(w.tree()->selectGroup(1));
    QCOMPARE(w.selectedGroupPath(), QStringLiteral("合同"));

    // Add: the toolbar command, the file chooser, save with its confirmation.
    QCOMPARE(w.runCommand(QLatin1String(Cmd::Add)), CommandRouter::Outcome::Ran);
    w.editPanel()->setGroupChooser([] { return std::optional<QString>(QStringLiteral("合同")); });
    p.answerText(source);
    auto* chooseFile = w.editPanel()->findChild<QToolButton*>(QStringLiteral("文件名称超级按钮"));
    QVERIFY(chooseFile);
    QTest::mouseClick(chooseFile, Qt::LeftButton);
    auto* chooseGroup = w.editPanel()->findChild<QToolButton*>(QStringLiteral("文件分组超级按钮"));
    QVERIFY(chooseGroup);
    QTest::mouseClick(chooseGroup, Qt::LeftButton);
    p.answerYes();
    QCOMPARE(w.runCommand(QLatin1String(Cmd::Save)), CommandRouter::Outcome::Ran);
    QCOMPARE(p.unexpected(), 0);

    DataStore& s = home.store();
    QCOMPARE(valueOf(s, QStringLiteral("select count(*) from wj")).toInt(), 1);
    RecordSet row = s.query(
        QStringLiteral("select id,bh,mc,lx,fz,dxsz,lj,(select length(nr) from wjnr where wjnr.id=wj.id) from wj"));
    QVERIFY(!row.atEnd());
    const qint64 id = row.number(0);
    QCOMPARE(row.text(1), QStringLiteral("0000000001"));
    QCOMPARE(row.text(2), QStringLiteral("年度 报告.v2"));
    QCOMPARE(row.text(3), QStringLiteral("pdf"));
    QCOMPARE(row.text(4), QStringLiteral("合同"));
    QCOMPARE(row.number(5), size);
    QCOMPARE(row.text(6).isEmpty(), !inStoreFolder);
    QCOMPARE(storeFiles(home).size(), inStoreFolder ? 1 : 0);
    row.close();

    // Listed in the group's list.
    auto* report = w.list()->reportView();
    QTRY_COMPARE(report->model()->rowCount(), 1);
    report->selectRow(0);
    QTRY_COMPARE(w.selectedIds(), QList<qint64>{id});

    // Save as: the bytes written are the stored bytes.
    const QString target = outside.filePath(QStringLiteral("copy.pdf"));
    p.answerText(target);
    QCOMPARE(w.runCommand(QLatin1String(Cmd::FileSaveAs)), CommandRouter::Outcome::Ran);
    QCOMPARE(readFile(target), content);

    // Delete: the row goes into the trash, its content with it.
    const QStringList kept = storeFiles(home);
    p.answerYes();
    QCOMPARE(w.runCommand(QLatin1String(Cmd::FileDelete)), CommandRouter::Outcome::Ran);
    QTRY_COMPARE(valueOf(s, QStringLiteral("select count(*) from wj")).toInt(), 0);
    QCOMPARE(valueOf(s, QStringLiteral("select count(*) from wjhs")).toInt(), 1);
    QCOMPARE(storeFiles(home), kept);
    QTRY_COMPARE(report->model()->rowCount(), 0);
    QCOMPARE(p.unexpected(), 0);
    // Every change was logged.
    QCOMPARE(valueOf(s, QStringLiteral("select count(*) from rz where nr like '增加文件：%'")).toInt(), 1);
    QCOMPARE(valueOf(s, QStringLiteral("select count(*) from rz where nr like '导出文件：%'")).toInt(), 1);
    QCOMPARE(valueOf(s, QStringLiteral("select count(*) from rz where nr like '删除文件：%'")).toInt(), 1);
    TestHome::grab(&w, QStringLiteral("end-to-end-after"));
}

KV_REGISTER_TEST(EndToEndTest)
#include "EndToEndTest.moc"
