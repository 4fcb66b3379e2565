#include "MainWindowFixture.h"
#include "archive/ui/MediaPlayerWindow.h"
#include "archive/ui/PictureBrowserWindow.h"
#include "archive/ui/ViewerWindows.h"
#include "common/TestRegistry.h"
#include "listing/FileListModel.h"
#include "listing/ui/FileListViews.h"
#include "archive/ui/GroupTreePane.h"
#include "shell/ui/PermissionNotice.h"
#include "store/RecordContent.h"

#include <QBuffer>
#include <QImage>
#include <QListWidget>
#include <QTableView>
#include <QTest>

// "浏览图片" and "播放媒体" of the tree menu and of the list menu "文件":
// each behind its right, each reaching the browser or the player with the
// tree's group or the list's record.
class ViewerCommandsTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup();
    void commandsNeedTheirRights_data();
    void commandsNeedTheirRights();
    void treeBrowsesSelectedGroup();
    void listBrowsesCurrentRecord();

private:
    // Group "相册" with a picture and a document; group "其他" with a picture.
    bool addRecords(MainWindowFixture& f);
    qint64 idOf(MainWindowFixture& f, const QString& name)
    {
        return valueOf(f.home.store(), QStringLiteral("select id from wj where mc=?"), {name}).toLongLong();
    }
};

void ViewerCommandsTest::cleanup()
{
    for (PermissionNotice* n = PermissionNotice::current(); n; n = PermissionNotice::current())
        n->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

bool ViewerCommandsTest::addRecords(MainWindowFixture& f)
{
    DataStore& s = f.home.store();
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    if (!s.execute(
            QStringLiteral("insert into wjfz(fxmid,xmmc,tpid,xztp,mm) values (0,'相册',0,0,''),(0,'其他',0,0,'')")))
        return false;
    const QList<QStringList> rows = {{"相册", "照片", "png"}, {"相册", "说明", "doc"}, {"其他", "远景", "png"}};
    for (const QStringList& r : rows) {
        if (!s.execute(QStringLiteral("insert into wj(bh,mc,fz,lx,dxsz) values ('0000000001',?,?,?,?)"),
                       {r[1], r[0], r[2], qint64(png.size())}))
            return false;
        const qint64 id = valueOf(s, QStringLiteral("select max(id) from wj")).toLongLong();
        if (!RecordContent::write(s, id, png))
            return false;
    }
    return true;
}

void ViewerCommandsTest::commandsNeedTheirRights_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("right");
    QTest::newRow("tree 浏览图片") << QString::fromLatin1(Cmd::TreeBrowsePictures) << QStringLiteral("浏览图片");
    QTest::newRow("tree 播放媒体") << QString::fromLatin1(Cmd::TreePlayMedia) << QStringLiteral("播放媒体");
    QTest::newRow("file 浏览图片") << QString::fromLatin1(Cmd::FileBrowsePictures) << QStringLiteral("浏览图片");
    QTest::newRow("file 播放媒体") << QString::fromLatin1(Cmd::FilePlayMedia) << QStringLiteral("播放媒体");
}

void ViewerCommandsTest::commandsNeedTheirRights()
{
    QFETCH(QString, command);
    QFETCH(QString, right);
    MainWindowFixture f;
    QVERIFY(f.home.isValid());
    QVERIFY(addRecords(f));
    f.home.loginAs(QStringLiteral("clerk"), QStringLiteral("增加"));
    QVERIFY(f.build());
    QCOMPARE(f.window->runCommand(command), CommandRouter::Outcome::Denied);
    QVERIFY(PermissionNotice::current());
    QVERIFY(!f.window->viewers()->browserIfMade());
    QVERIFY(!f.window->viewers()->playerIfMade());
    cleanup();

    f.home.loginAs(QStringLiteral("clerk"), right);
    // Whatever the command asks is answered no.
    for (int i = 0; i < 3; ++i)
        f.prompter.answerNo();
    QCOMPARE(f.window->runCommand(command), CommandRouter::Outcome::Ran);
    QVERIFY(!PermissionNotice::current());
    QVERIFY(f.window->viewers()->browserIfMade() || f.window->viewers()->playerIfMade());
}

void ViewerCommandsTest::treeBrowsesSelectedGroup()
{
    MainWindowFixture f;
    QVERIFY(f.home.isValid());
    QVERIFY(addRecords(f));
    QVERIFY(f.build());
    const qint64 album = valueOf(f.home.store(), QStringLiteral("select id from wjfz where xmmc='相册'")).toLongLong();
    QVERIFY(f.window->tree()->selectGroup(album));
    QCOMPARE(f.window->runCommand(QString::fromLatin1(Cmd::TreeBrowsePictures)), CommandRouter::Outcome::Ran);
    PictureBrowserWindow* b = f.window->viewers()->browserIfMade();
    QVERIFY(b && b->isVisible());
    QCOMPARE(b->pictures().size(), 1);
    QCOMPARE(b->listWindow()->list()->item(0)->text(), QStringLiteral("照片.png"));
    QTRY_COMPARE(b->shownIndex(), 0);

    // The root "文件服务器": every group's pictures.
    QVERIFY(f.window->tree()->selectGroup(0));
    QCOMPARE(f.window->runCommand(QString::fromLatin1(Cmd::TreeBrowsePictures)), CommandRouter::Outcome::Ran);
    QCOMPARE(b->pictures().size(), 2);
    QVERIFY(f.prompter.shown().isEmpty());
}

void ViewerCommandsTest::listBrowsesCurrentRecord()
{
    MainWindowFixture f;
    QVERIFY(f.home.isValid());
    QVERIFY(addRecords(f));
    QVERIFY(f.build());
    FileListViews* list = f.window->list();
    list->reload();
    QVERIFY(list->waitUntilLoaded());
    const qint64 far = idOf(f, QStringLiteral("远景"));
    for (int i = 0; i < list->model()->rowCount() && list->currentId() != far; ++i)
        list->reportView()->setCurrentIndex(list->model()->index(i, 0));
    QCOMPARE(list->currentId(), far);
    QCOMPARE(f.window->runCommand(QString::fromLatin1(Cmd::FileBrowsePictures)), CommandRouter::Outcome::Ran);
    PictureBrowserWindow* b = f.window->viewers()->browserIfMade();
    QVERIFY(b && b->isVisible());
    QCOMPARE(b->pictures().size(), 1);
    QCOMPARE(b->pictures().first().id, far);
    QCOMPARE(b->listGroup(), QStringLiteral("其他"));
    QVERIFY(f.prompter.shown().isEmpty());
}

KV_REGISTER_TEST(ViewerCommandsTest)
#include "ViewerCommandsTest.moc"
