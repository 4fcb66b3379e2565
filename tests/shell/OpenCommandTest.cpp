#include "MainWindowFixture.h"
#include "archive/FileOpening.h"
#include "archive/FileRecords.h"
#include "archive/ui/EditPanel.h"
#include "common/TestRegistry.h"
#include "listing/FileListModel.h"
#include "listing/ui/FileListViews.h"
#include "shell/ui/PermissionNotice.h"

#include <QDir>
#include <QFile>
#include <QListView>
#include <QPointer>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

// "打开" in the main window: from menu "文件", menu "图标菜单" and by a
// double-click on a row, each behind the right "打开文件"; a kept file that
// is gone leads to the delete command only with its right.
namespace {

// A double-click as the desktop delivers it: a click, then the second press.
void doubleClick(QAbstractItemView* view, const QPoint& at)
{
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

}  // namespace

class OpenCommandTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup();
    void doubleClickAndMenusOpen();
    void openNeedsItsRight();
    void missingKeptFileDeletedOnlyWithTheDeleteRight();

private:
    // Two records in group "合同": a small one held in the database and a
    // big one kept in the store folder. Returns their ids.
    QList<qint64> addRecords(MainWindowFixture& f);
    void prepare(MainWindowFixture& f);
    qint64 count(MainWindowFixture& f, const QString& sql, const QVariantList& p = {})
    {
        return valueOf(f.home.store(), sql, p).toLongLong();
    }

    std::unique_ptr<QTemporaryDir> m_tmp;
    QStringList m_opened;
};

void OpenCommandTest::cleanup()
{
    for (PermissionNotice* n = PermissionNotice::current(); n; n = PermissionNotice::current())
        n->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    m_opened.clear();
    m_tmp.reset();
}

QList<qint64> OpenCommandTest::addRecords(MainWindowFixture& f)
{
    m_tmp = std::make_unique<QTemporaryDir>();
    DataStore& s = f.home.store();
    if (!s.execute(QStringLiteral("insert into wjfz(fxmid,xmmc,tpid,xztp,mm) values (0,'合同',0,0,'')")))
        return {};
    AppContext& c = f.home.context();
    FileRecords records(s, StoreFolder(c.home), c.currentOperator, 10 * 1024);
    QList<qint64> ids;
    const QList<QPair<QString, QByteArray>> files = {{QStringLiteral("小.txt"), QByteArray("small")},
                                                     {QStringLiteral("大.bin"), QByteArray(64 * 1024, 'x')}};
    for (const auto& [name, bytes] : files) {
        const QString path = QDir(m_tmp->path()).filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return {};
        file.close();
        RecordFields fields;
        fields.name = FileRecords::splitFileName(name).first;
        fields.group = QStringLiteral("合同");
        const Result<StoredRecord> r = records.add(fields, path);
        if (!r)
            return {};
        ids << r->id;
    }
    return ids;
}

void OpenCommandTest::prepare(MainWindowFixture& f)
{
    EditPanel* panel = f.window->editPanel();
    panel->opening().setExtractionFolder(QDir(m_tmp->path()).filePath(QStringLiteral("kvtemp")));
    panel->setOpener([this](const QString& path) {
        m_opened << path;
        return true;
    });
    f.window->list()->reload();
    QVERIFY(f.window->list()->waitUntilLoaded());
}

void OpenCommandTest::doubleClickAndMenusOpen()
{
    MainWindowFixture f;
    QVERIFY(f.home.isValid());
    const QList<qint64> ids = addRecords(f);
    QCOMPARE(ids.size(), 2);
    QVERIFY(f.build());
    prepare(f);
    FileListViews* list = f.window->list();
    QCOMPARE(list->model()->rowCount(), 2);

    // A double-click on a row opens that row.
    QTableView* report = list->reportView();
    int row = -1;
    for (int i = 0; i < list->model()->rowCount(); ++i) {
        report->setCurrentIndex(list->model()->index(i, 0));
        if (list->currentId() == ids[1])
            row = i;
    }
    QVERIFY(row >= 0);
    report->setCurrentIndex(list->model()->index(1 - row, 0));
    const QRect cell = report->visualRect(list->model()->index(row, 0));
    QVERIFY(cell.isValid());
    doubleClick(report, cell.center());
    QTRY_COMPARE(m_opened.size(), 1);
    QCOMPARE(QFileInfo(m_opened[0]).fileName(), QStringLiteral("大.bin"));
    QCOMPARE(QFile(m_opened[0]).size(), qint64(64 * 1024));
    QCOMPARE(f.window->lastCommand(), QString::fromLatin1(Cmd::FileOpen));
    QCOMPARE(count(f, QStringLiteral("select ylcs from wj where id=?"), {ids[1]}), qint64(1));

    // "打开" of menu "文件" and of menu "图标菜单" open the current record.
    report->setCurrentIndex(list->model()->index(1 - row, 0));
    QCOMPARE(list->currentId(), ids[0]);
    QCOMPARE(f.window->runCommand(QString::fromLatin1(Cmd::FileOpen)), CommandRouter::Outcome::Ran);
    QCOMPARE(f.window->runCommand(QString::fromLatin1(Cmd::IconOpen)), CommandRouter::Outcome::Ran);
    QCOMPARE(m_opened.size(), 3);
    QCOMPARE(QFileInfo(m_opened[2]).fileName(), QStringLiteral("小.txt"));
    QCOMPARE(count(f, QStringLiteral("select ylcs from wj where id=?"), {ids[0]}), qint64(2));
    QCOMPARE(count(f, QStringLiteral("select count(*) from rz where nr like '阅览文件：%'")), qint64(3));
    QVERIFY(f.prompter.shown().isEmpty());
}

void OpenCommandTest::openNeedsItsRight()
{
    MainWindowFixture f;
    QVERIFY(f.home.isValid());
    const QList<qint64> ids = addRecords(f);
    QCOMPARE(ids.size(), 2);
    f.home.loginAs(QStringLiteral("clerk"), QStringLiteral("增加"));
    QVERIFY(f.build());
    prepare(f);
    FileListViews* list = f.window->list();
    list->reportView()->setCurrentIndex(list->model()->index(0, 0));
    const QRect cell = list->reportView()->visualRect(list->model()->index(0, 0));
    doubleClick(list->reportView(), cell.center());
    QCOMPARE(f.window->lastOutcome(), CommandRouter::Outcome::Denied);
    QVERIFY(PermissionNotice::current());
    QVERIFY(m_opened.isEmpty());
    QCOMPARE(count(f, QStringLiteral("select count(*) from rz where nr like '阅览文件：%'")), qint64(0));
}

void OpenCommandTest::missingKeptFileDeletedOnlyWithTheDeleteRight()
{
    MainWindowFixture f;
    QVERIFY(f.home.isValid());
    const QList<qint64> ids = addRecords(f);
    QCOMPARE(ids.size(), 2);
    const QString lj = valueOf(f.home.store(), QStringLiteral("select lj from wj where id=?"), {ids[1]}).toString();
    QVERIFY(QFile::remove(StoreFolder(f.home.context().home).resolve(lj)));
    f.home.loginAs(QStringLiteral("clerk"), QStringLiteral("打开文件"));
    QVERIFY(f.build());
    prepare(f);
    FileListViews* list = f.window->list();
    for (int i = 0; i < list->model()->rowCount() && list->currentId() != ids[1]; ++i)
        list->reportView()->setCurrentIndex(list->model()->index(i, 0));
    QCOMPARE(list->currentId(), ids[1]);

    // "否" without the right "删除": the permission notice, the record stays.
    f.prompter.answerNo();
    QCOMPARE(f.window->runCommand(QString::fromLatin1(Cmd::FileOpen)), CommandRouter::Outcome::Ran);
    QCOMPARE(f.prompter.texts(),
             QStringList{FileOpening::missingQuestion(*f.window->editPanel()->records().read(ids[1]).value())});
    QVERIFY(PermissionNotice::current());
    QCOMPARE(count(f, QStringLiteral("select count(*) from wj where id=?"), {ids[1]}), qint64(1));
    QVERIFY(m_opened.isEmpty());
    cleanup();

    // With it: the delete command's question, then the record goes with its log line.
    f.home.loginAs(QStringLiteral("clerk"), QStringLiteral("打开文件,删除"));
    f.prompter.clear();
    f.prompter.answerNo();   // 是否保留此条文件记录?
    f.prompter.answerYes();  // 确定删除选择的 1 个文件吗 ?
    QCOMPARE(f.window->runCommand(QString::fromLatin1(Cmd::FileOpen)), CommandRouter::Outcome::Ran);
    QCOMPARE(f.prompter.texts().size(), 2);
    QCOMPARE(f.prompter.texts().at(1), QStringLiteral("确定删除选择的 1 个文件吗 ? "));
    QVERIFY(!PermissionNotice::current());
    QCOMPARE(count(f, QStringLiteral("select count(*) from wj where id=?"), {ids[1]}), qint64(0));
    QCOMPARE(count(f, QStringLiteral("select count(*) from rz where nr like '删除文件：%'")), qint64(1));
    QCOMPARE(count(f, QStringLiteral("select count(*) from wj")), qint64(1));
    QVERIFY(list->waitUntilLoaded());
    QCOMPARE(list->model()->rowCount(), 1);
}

KV_REGISTER_TEST(OpenCommandTest)
#include "OpenCommandTest.moc"
