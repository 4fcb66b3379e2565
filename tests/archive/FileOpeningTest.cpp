#include "archive/FileOpening.h"
#include "archive/FileRecords.h"
#include "archive/ui/EditPanel.h"
#include "common/ScriptedPrompter.h"
#include "common/TestHome.h"
#include "common/TestRegistry.h"
#include "platform/Clock.h"
#include "store/DataStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

// "打开" through the edit panel's slot: the file written for the desktop,
// the view count and the log, the question for a kept file that is gone.
class FileOpeningTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void opensHeldAndKeptContentInFoldersOfTheirOwn();
    void twoOpeningsCountTwo();
    void flagLeavesCountButLogs();
    void nothingSelected();
    void closedProtectedGroupIsNeverOpened();
    void handOverFailureIsReportedAndNotCounted();
    void missingKeptFileKeptOnYes();
    void missingKeptFileGoesToDeleteOnNo();
    void unwritableExtractionFolderReported();
    void safeFileNames_data();
    void safeFileNames();
    void longNameShortenedTypeKept();

private:
    qint64 addRecord(const QString& fileName, const QByteArray& bytes, const QString& group = QStringLiteral("合同"));
    qint64 count(const QString& sql, const QVariantList& p = {})
    {
        return valueOf(m_home->store(), sql, p).toLongLong();
    }
    QString number(qint64 id)
    {
        return valueOf(m_home->store(), QStringLiteral("select bh from wj where id=?"), {id}).toString();
    }

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<QTemporaryDir> m_src;
    std::unique_ptr<QTemporaryDir> m_tmp;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<EditPanel> m_panel;
    QStringList m_opened;
    bool m_openerSucceeds = true;
    QList<qint64> m_deleteRequests;
    FixedClock m_clock{QDateTime(QDate(2026, 5, 6), QTime(8, 0, 0))};
};

void FileOpeningTest::init()
{
    setAppClock(&m_clock);
    m_home = std::make_unique<TestHome>();
    QVERIFY(m_home->isValid());
    m_src = std::make_unique<QTemporaryDir>();
    m_tmp = std::make_unique<QTemporaryDir>();
    DataStore& s = m_home->store();
    QVERIFY(s.execute(QStringLiteral("insert into wjfz(fxmid,xmmc,tpid,xztp,mm) values (0,'合同',0,0,'')")));
    m_prompter = std::make_unique<ScriptedPrompter>();
    AppContext& c = m_home->context();
    m_panel = std::make_unique<EditPanel>(s, StoreFolder(c.home), c.currentOperator, c.protectedGroups);
    m_panel->opening().setExtractionFolder(QDir(m_tmp->path()).filePath(QStringLiteral("kvtemp-test")));
    m_opened.clear();
    m_openerSucceeds = true;
    m_deleteRequests.clear();
    m_panel->setOpener([this](const QString& path) {
        m_opened << path;
        return m_openerSucceeds;
    });
    connect(m_panel.get(), &EditPanel::deleteRequested, this, [this](qint64 id) { m_deleteRequests << id; });
}

void FileOpeningTest::cleanup()
{
    if (m_prompter)
        QCOMPARE(m_prompter->unexpected(), 0);
    m_panel.reset();
    m_prompter.reset();
    m_home.reset();
    m_src.reset();
    m_tmp.reset();
    setAppClock(nullptr);
}

qint64 FileOpeningTest::addRecord(const QString& fileName, const QByteArray& bytes, const QString& group)
{
    const QString path = QDir(m_src->path()).filePath(fileName);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return -1;
    f.close();
    AppContext& c = m_home->context();
    // 10 KiB bound: small files are held in the database, big ones kept outside.
    FileRecords records(m_home->store(), StoreFolder(c.home), c.currentOperator, 10 * 1024);
    RecordFields fields;
    fields.name = FileRecords::splitFileName(fileName).first;
    fields.group = group;
    const Result<StoredRecord> r = records.add(fields, path);
    return r ? r->id : -1;
}

void FileOpeningTest::opensHeldAndKeptContentInFoldersOfTheirOwn()
{
    const QByteArray small("held content");
    const QByteArray big(3 * 1024 * 1024 + 17, 'k');
    const qint64 held = addRecord(QStringLiteral("报告.txt"), small);
    // A second record of the same name, in another folder so it can be added.
    QDir(m_src->path()).mkdir(QStringLiteral("b"));
    const qint64 kept = addRecord(QStringLiteral("b/报告.txt"), big);
    QVERIFY(held > 0 && kept > 0);
    QVERIFY(!valueOf(m_home->store(), QStringLiteral("select lj from wj where id=?"), {kept}).toString().isEmpty());

    m_panel->openRecord(held);
    m_panel->openRecord(kept);
    QCOMPARE(m_prompter->shown().size(), 0);
    QCOMPARE(m_opened.size(), 2);
    QCOMPARE(QFileInfo(m_opened[0]).fileName(), QStringLiteral("报告.txt"));
    QCOMPARE(QFileInfo(m_opened[1]).fileName(), QStringLiteral("报告.txt"));
    QVERIFY(QFileInfo(m_opened[0]).absolutePath() != QFileInfo(m_opened[1]).absolutePath());
    QFile a(m_opened[0]), b(m_opened[1]);
    QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    QCOMPARE(a.readAll(), small);
    QCOMPARE(b.readAll(), big);

    // Only the operator may enter the folders or read the files.
    const QString base = m_panel->opening().extractionFolder();
    for (const QString& folder : {base, QFileInfo(m_opened[0]).absolutePath()}) {
        struct stat st;
        QCOMPARE(::lstat(QFile::encodeName(folder).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 07777), 0700);
    }
    QCOMPARE(int(QFileInfo(m_opened[0]).permissions() & (QFile::ReadOther | QFile::ReadGroup)), 0);

    // Opening again leaves the first file alone (it may still be open).
    QVERIFY(a.remove() || true);
    m_panel->openRecord(kept);
    QCOMPARE(m_opened.size(), 3);
    QVERIFY(m_opened[2] != m_opened[1]);
    QVERIFY(QFileInfo(m_opened[1]).isFile());

    QCOMPARE(count(QStringLiteral("select ylcs from wj where id=?"), {held}), qint64(1));
    QCOMPARE(count(QStringLiteral("select ylcs from wj where id=?"), {kept}), qint64(2));
    QCOMPARE(count(QStringLiteral("select count(*) from rz where nr=?"),
                   {QStringLiteral("阅览文件：") + number(kept) + QStringLiteral("，报告")}),
             qint64(2));
}

void FileOpeningTest::twoOpeningsCountTwo()
{
    const qint64 id = addRecord(QStringLiteral("a.txt"), "a");
    // A record copied with its group starts without a count.
    QVERIFY(m_home->store().execute(QStringLiteral("update wj set ylcs=NULL where id=?"), {id}));
    m_panel->openRecord(id);
    m_panel->openRecord(id);
    QCOMPARE(count(QStringLiteral("select ylcs from wj where id=?"), {id}), qint64(2));
    QCOMPARE(count(QStringLiteral("select count(*) from rz where nr like '阅览文件：%'")), qint64(2));
}

void FileOpeningTest::flagLeavesCountButLogs()
{
    const qint64 id = addRecord(QStringLiteral("a.txt"), "a");
    QVERIFY(m_home->store().execute(QStringLiteral("update zcbj set ylcs=1 where id=1")));
    m_panel->openRecord(id);
    QCOMPARE(m_opened.size(), 1);
    QCOMPARE(count(QStringLiteral("select coalesce(ylcs,0) from wj where id=?"), {id}), qint64(0));
    QCOMPARE(count(QStringLiteral("select count(*) from rz where nr=?"),
                   {QStringLiteral("阅览文件：") + number(id) + QStringLiteral("，a")}),
             qint64(1));
}

void FileOpeningTest::nothingSelected()
{
    m_panel->openRecord(-1);
    QCOMPARE(m_prompter->messages(), QStringList{QStringLiteral("没有选择记录!")});
    // A record deleted meanwhile is not there either.
    m_panel->openRecord(4242);
    QCOMPARE(m_prompter->messages().size(), 2);
    QCOMPARE(m_prompter->lastText(), QStringLiteral("没有选择记录!"));
    QVERIFY(m_opened.isEmpty());
}

void FileOpeningTest::closedProtectedGroupIsNeverOpened()
{
    DataStore& s = m_home->store();
    QVERIFY(s.execute(QStringLiteral("insert into wjfz(fxmid,xmmc,tpid,xztp,mm) values (0,'机密',0,0,'secret')")));
    const qint64 id = addRecord(QStringLiteral("x.txt"), "x", QStringLiteral("机密"));
    QVERIFY(id > 0);
    m_panel->openRecord(id);
    QCOMPARE(m_prompter->lastText(), QStringLiteral("没有选择记录!"));
    QVERIFY(m_opened.isEmpty());
    QVERIFY(!QFileInfo::exists(m_panel->opening().extractionFolder() + QStringLiteral("/%1-1").arg(id)));
    QCOMPARE(count(QStringLiteral("select coalesce(ylcs,0) from wj where id=?"), {id}), qint64(0));
    // Opened with its password, it opens.
    m_home->context().protectedGroups.open(QStringLiteral("机密"));
    m_panel->openRecord(id);
    QCOMPARE(m_opened.size(), 1);
}

void FileOpeningTest::handOverFailureIsReportedAndNotCounted()
{
    const qint64 id = addRecord(QStringLiteral("a.odd"), "a");
    m_openerSucceeds = false;
    m_panel->openRecord(id);
    QCOMPARE(m_opened.size(), 1);
    QCOMPARE(m_prompter->messages(), QStringList{FileOpening::HandOverFailed + m_opened.first()});
    QCOMPARE(count(QStringLiteral("select coalesce(ylcs,0) from wj where id=?"), {id}), qint64(0));
    QCOMPARE(count(QStringLiteral("select count(*) from rz where nr like '阅览文件：%'")), qint64(0));
}

void FileOpeningTest::missingKeptFileKeptOnYes()
{
    const qint64 id = addRecord(QStringLiteral("big.bin"), QByteArray(1024 * 1024, 'b'));
    const QString lj = valueOf(m_home->store(), QStringLiteral("select lj from wj where id=?"), {id}).toString();
    QVERIFY(QFile::remove(StoreFolder(m_home->context().home).resolve(lj)));
    m_prompter->answerYes();
    m_panel->openRecord(id);
    QCOMPARE(m_prompter->texts(),
             QStringList{QStringLiteral("源文件: ") + lj
                         + QStringLiteral(" Size: 1.00M, 已经被移动或删除,是否保留此条文件记录?")});
    QVERIFY(m_opened.isEmpty());
    QVERIFY(m_deleteRequests.isEmpty());
    QCOMPARE(count(QStringLiteral("select count(*) from wj where id=?"), {id}), qint64(1));
}

void FileOpeningTest::missingKeptFileGoesToDeleteOnNo()
{
    const qint64 id = addRecord(QStringLiteral("big.bin"), QByteArray(20 * 1024, 'b'));
    const QString lj = valueOf(m_home->store(), QStringLiteral("select lj from wj where id=?"), {id}).toString();
    QVERIFY(QFile::remove(StoreFolder(m_home->context().home).resolve(lj)));
    m_prompter->answerNo();
    m_panel->openRecord(id);
    // Nothing goes silently: the host's delete command takes it from here.
    QCOMPARE(m_deleteRequests, QList<qint64>{id});
    QCOMPARE(count(QStringLiteral("select count(*) from wj where id=?"), {id}), qint64(1));
    m_prompter->answerYes();  // 确定删除选择的 1 个文件吗 ?
    m_panel->deleteRecords(m_deleteRequests);
    QCOMPARE(m_prompter->lastText(), QStringLiteral("确定删除选择的 1 个文件吗 ? "));
    QCOMPARE(count(QStringLiteral("select count(*) from wj where id=?"), {id}), qint64(0));
    QCOMPARE(count(QStringLiteral("select count(*) from rz where nr like '删除文件：%'")), qint64(1));
}

void FileOpeningTest::unwritableExtractionFolderReported()
{
    const qint64 id = addRecord(QStringLiteral("a.txt"), "a");
    // A link in the folder's place is refused, and what it points to untouched.
    const QString elsewhere = QDir(m_tmp->path()).filePath(QStringLiteral("elsewhere"));
    QVERIFY(QDir().mkpath(elsewhere));
    const QString folder = m_panel->opening().extractionFolder();
    QVERIFY(QFile::link(elsewhere, folder));
    m_panel->openRecord(id);
    QCOMPARE(m_prompter->messages(), QStringList{QStringLiteral("下载文件失败! 错误代码: 01")});
    QVERIFY(m_opened.isEmpty());
    QVERIFY(QDir(elsewhere).isEmpty());
    QCOMPARE(count(QStringLiteral("select coalesce(ylcs,0) from wj where id=?"), {id}), qint64(0));
}

void FileOpeningTest::safeFileNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << QStringLiteral("报告") << QStringLiteral("doc") << QStringLiteral("报告.doc");
    QTest::newRow("no type") << QStringLiteral("readme") << QString() << QStringLiteral("readme");
    QTest::newRow("separators") << QStringLiteral("a/b\\c") << QStringLiteral("t/x") << QStringLiteral("a_b_c.t_x");
    QTest::newRow("parent") << QStringLiteral("..") << QStringLiteral("txt") << QStringLiteral("__.txt");
    QTest::newRow("dots inside") << QStringLiteral("a..b") << QStringLiteral("..") << QStringLiteral("a._b._");
    QTest::newRow("control") << QStringLiteral("a\nb\tc") << QStringLiteral("txt") << QStringLiteral("a_b_c.txt");
    QTest::newRow("hidden") << QStringLiteral(".profile") << QStringLiteral("txt") << QStringLiteral("_profile.txt");
    QTest::newRow("empty") << QString() << QStringLiteral("txt") << QStringLiteral("_.txt");
    QTest::newRow("refused on FAT") << QStringLiteral("a:b*?\"<>|") << QStringLiteral("t:x")
                                    << QStringLiteral("a_b______.t_x");
    QTest::newRow("trailing dot") << QStringLiteral("a. .") << QString() << QStringLiteral("a");
    QTest::newRow("device") << QStringLiteral("com1 ") << QStringLiteral("txt") << QStringLiteral("_com1.txt");
}

void FileOpeningTest::safeFileNames()
{
    QFETCH(QString, name);
    QFETCH(QString, type);
    QFETCH(QString, expected);
    QCOMPARE(FileOpening::safeFileName(name, type), expected);
}

void FileOpeningTest::longNameShortenedTypeKept()
{
    const QString name = QString(300, QChar(0x6587));  // three bytes each in UTF-8
    const QString safe = FileOpening::safeFileName(name, QStringLiteral("pdf"));
    QVERIFY(safe.endsWith(QStringLiteral(".pdf")));
    QVERIFY(QFile::encodeName(safe).size() <= FileOpening::MaxNameBytes);
    QVERIFY(safe.size() > 70);
    // The file system takes it.
    const QString path = QDir(m_tmp->path()).filePath(safe);
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
}

KV_REGISTER_TEST(FileOpeningTest)
#include "FileOpeningTest.moc"
