#include "ViewerFixtures.h"
#include "archive/MediaRun.h"
#include "archive/ui/MediaPlayerWindow.h"
#include "archive/ui/ViewerWindows.h"
#include "common/KillChild.h"
#include "common/ScriptedPrompter.h"
#include "common/TestHome.h"
#include "common/TestInput.h"
#include "common/TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QSignalSpy>
#include <QTest>

using namespace ViewerFixtures;

// The media player: a group's run with its questions, a single record, the
// player's folder, and what the engine reports.
class MediaPlayerTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void groupRunAsksOnceForTextAndPlaysTheRest();
    void noToSearchQuestionDoesNothing();
    void groupWithoutRecordsSaysSo();
    void missingKeptMediaEndsRunOnNo();
    void singleRecord_data();
    void singleRecord();
    void folderThatCannotBeMadeIsReported();
    void unreadableFileOffersSystemPlayer();
    void folderEmptiedAtStartAndWhenClosed();
    void killedExtractionLeavesArchiveWhole();
    void windowLooks();

private:
    QString mediaFolder() const { return QDir(m_home->folder()).filePath(QStringLiteral("Mt/temp")); }
    std::unique_ptr<MediaPlayerWindow> makeWindow();
    int asked(const QString& part) const;
    // Lets the engine finish item index (played, failed, or its question answered).
    bool waitEnded(QSignalSpy& ended, int index);

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    QStringList m_handedOver;
};

void MediaPlayerTest::init()
{
    m_home = std::make_unique<TestHome>();
    QVERIFY(m_home->isValid());
    m_prompter = std::make_unique<ScriptedPrompter>();
    m_handedOver.clear();
    DataStore& s = m_home->store();
    const qint64 music = addGroup(s, QStringLiteral("音乐"));
    addGroup(s, QStringLiteral("私密"), music, QStringLiteral("hash"));
    QVERIFY(addRecord(s, QStringLiteral("音乐"), QStringLiteral("第一首"), QStringLiteral("wav"), wav(150)) > 0);
    QVERIFY(addRecord(s, QStringLiteral("音乐"), QStringLiteral("歌词"), QStringLiteral("txt"), "la la") > 0);
    QVERIFY(addRecord(s, QStringLiteral("音乐"), QStringLiteral("第二首"), QStringLiteral("WAV"), wav(150)) > 0);
    QVERIFY(addRecord(s, QStringLiteral("音乐\\私密"), QStringLiteral("秘密"), QStringLiteral("wav"), wav(100)) > 0);
}

void MediaPlayerTest::cleanup()
{
    m_prompter.reset();
    m_home.reset();
}

std::unique_ptr<MediaPlayerWindow> MediaPlayerTest::makeWindow()
{
    AppContext& c = m_home->context();
    auto w =
        std::make_unique<MediaPlayerWindow>(m_home->store(), StoreFolder(c.home), c.protectedGroups, mediaFolder());
    w->setOpener([this](const QString& path) {
        m_handedOver << path;
        return true;
    });
    return w;
}

int MediaPlayerTest::asked(const QString& part) const
{
    int n = 0;
    for (const QString& t : m_prompter->texts())
        n += t.contains(part) ? 1 : 0;
    return n;
}

bool MediaPlayerTest::waitEnded(QSignalSpy& ended, int index)
{
    return QTest::qWaitFor(
        [&] {
            for (const QList<QVariant>& args : ended)
                if (args.at(0).toInt() == index)
                    return true;
            return false;
        },
        15000);
}

void MediaPlayerTest::groupRunAsksOnceForTextAndPlaysTheRest()
{
    auto w = makeWindow();
    QSignalSpy started(w.get(), &MediaPlayerWindow::itemStarted);
    QSignalSpy ended(w.get(), &MediaPlayerWindow::itemEnded);
    m_prompter->answerYes();  // search the group
    m_prompter->answerYes();  // skip the text file
    // Without a sound device the engine may refuse the files: say no to
    // the system player each time.
    for (int i = 0; i < 4; ++i)
        m_prompter->answerNo();
    QVERIFY(w->playGroup(QStringLiteral("音乐"), QStringLiteral("音乐")));
    QCOMPARE(m_prompter->texts().value(0),
             QStringLiteral("系统自动搜索 音乐 里的媒体文件, 根据文件数量可能花费一些时间, 是否继续 ?"));
    QCOMPARE(m_prompter->texts().value(1), QStringLiteral("不支持的文件格式! 歌词.txt , 是否此文件跳过 ? "));
    QStringList names;
    for (const ViewedFile& f : w->playList())
        names << f.fullName();
    // The closed group's file is not part of the run.
    QCOMPARE(names, QStringList({"第一首.wav", "第二首.WAV"}));
    QCOMPARE(w->findChild<QListWidget*>(QStringLiteral("播放列表"))->count(), 2);
    QVERIFY(!started.isEmpty());
    const QString first = started.first().at(1).toString();
    QCOMPARE(TestInput::readFile(first), wav(150));
    QVERIFY(first.startsWith(mediaFolder()));
    QCOMPARE(QFileInfo(first).fileName(), QStringLiteral("第一首.wav"));

    QVERIFY(waitEnded(ended, 0));
    QTRY_VERIFY_WITH_TIMEOUT(started.size() >= 2, 15000);
    QCOMPARE(started.at(1).at(0).toInt(), 1);
    QVERIFY(waitEnded(ended, 1));
    // Asked once for the text file; whatever else the engine said is its
    // failure message or the offer of the system player.
    QCOMPARE(asked(QStringLiteral("不支持的文件格式!")), 1);
    for (const QString& t : m_prompter->texts().mid(2))
        QVERIFY2(t == MediaRun::PlayFailed || t == MediaRun::OpenFailed, qPrintable(t));
    for (const ScriptedPrompter::Shown& s : m_prompter->shown())
        if (s.text == MediaRun::OpenFailed)
            QCOMPARE(s.title, QStringLiteral("提示 "));
    QVERIFY(m_handedOver.isEmpty());
}

void MediaPlayerTest::noToSearchQuestionDoesNothing()
{
    auto w = makeWindow();
    m_prompter->answerNo();
    QVERIFY(!w->playGroup(QStringLiteral("音乐"), QStringLiteral("音乐")));
    QCOMPARE(m_prompter->shown().size(), 1);
    QVERIFY(!w->isVisible());
    QVERIFY(!QFileInfo::exists(mediaFolder()) || QDir(mediaFolder()).isEmpty());
}

void MediaPlayerTest::groupWithoutRecordsSaysSo()
{
    addGroup(m_home->store(), QStringLiteral("空"));
    auto w = makeWindow();
    m_prompter->answerYes();
    QVERIFY(!w->playGroup(QStringLiteral("空"), QStringLiteral("空")));
    QCOMPARE(m_prompter->messages(), QStringList{QStringLiteral("分组中没有文件!")});
    QCOMPARE(m_prompter->unexpected(), 0);
}

void MediaPlayerTest::missingKeptMediaEndsRunOnNo()
{
    DataStore& s = m_home->store();
    addGroup(s, QStringLiteral("视频"));
    addRecord(s, QStringLiteral("视频"), QStringLiteral("gone"), QStringLiteral("avi"),
              QByteArray(3 * 1024 * 1024, 'v'), QStringLiteral("Data/Lf/0000000077.avi"));
    addRecord(s, QStringLiteral("视频"), QStringLiteral("here"), QStringLiteral("wav"), wav(50));
    auto w = makeWindow();
    m_prompter->answerYes();
    m_prompter->answerNo();
    QVERIFY(!w->playGroup(QStringLiteral("视频"), QStringLiteral("视频")));
    QCOMPARE(m_prompter->texts().value(1), QStringLiteral("本地媒体文件不存在! 是否继续 ? size: 3.00M"));
    QVERIFY(w->playList().isEmpty());
    QCOMPARE(m_prompter->unexpected(), 0);

    // "是" goes on without it.
    m_prompter->clear();
    m_prompter->answerYes();
    m_prompter->answerYes();
    m_prompter->answerNo();
    QVERIFY(w->playGroup(QStringLiteral("视频"), QStringLiteral("视频")));
    QCOMPARE(w->playList().size(), 1);
    QCOMPARE(w->playList().first().name, QStringLiteral("here"));
    w->stop();
}

void MediaPlayerTest::singleRecord_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("plays");
    QTest::newRow("media") << QStringLiteral("第一首") << QString() << true;
    QTest::newRow("text") << QStringLiteral("歌词") << QStringLiteral("歌词 不支持的文件格式!") << false;
    QTest::newRow("closed group") << QStringLiteral("秘密") << QStringLiteral("没有选择记录!") << false;
}

void MediaPlayerTest::singleRecord()
{
    QFETCH(QString, name);
    QFETCH(QString, message);
    QFETCH(bool, plays);
    const qint64 id = valueOf(m_home->store(), QStringLiteral("select id from wj where mc=?"), {name}).toLongLong();
    auto w = makeWindow();
    m_prompter->answerNo();
    QCOMPARE(w->playRecord(id), plays);
    if (!plays)
        QCOMPARE(m_prompter->messages(), QStringList{message});
    else
        QCOMPARE(w->playList().size(), 1);
    w->close();
}

void MediaPlayerTest::folderThatCannotBeMadeIsReported()
{
    // "Mt" is a file, so "Mt/temp" cannot be made.
    QVERIFY(!TestInput::writeFile(m_home->folder(), QStringLiteral("Mt"), "x").isEmpty());
    const qint64 id = valueOf(m_home->store(), QStringLiteral("select id from wj where mc='第一首'")).toLongLong();
    auto w = makeWindow();
    QVERIFY(w->playRecord(id));
    QCOMPARE(m_prompter->messages().value(0).left(10), QStringLiteral("创建目录失败! 03"));
}

void MediaPlayerTest::unreadableFileOffersSystemPlayer()
{
    DataStore& s = m_home->store();
    addGroup(s, QStringLiteral("坏"));
    const qint64 id = addRecord(s, QStringLiteral("坏"), QStringLiteral("broken"), QStringLiteral("mp3"),
                                QByteArray("this is not sound at all"));
    auto w = makeWindow();
    QSignalSpy ended(w.get(), &MediaPlayerWindow::itemEnded);
    m_prompter->answerYes();
    QVERIFY(w->playRecord(id));
    QVERIFY(waitEnded(ended, 0));
    const QStringList texts = m_prompter->texts();
    QCOMPARE(texts.size(), 1);
    if (texts.first() == MediaRun::OpenFailed) {
        QCOMPARE(m_prompter->lastTitle(), QStringLiteral("提示 "));
        QCOMPARE(m_handedOver.size(), 1);
        QCOMPARE(QFileInfo(m_handedOver.first()).fileName(), QStringLiteral("broken.mp3"));
    } else {
        QCOMPARE(texts.first(), MediaRun::PlayFailed);
    }
}

void MediaPlayerTest::folderEmptiedAtStartAndWhenClosed()
{
    // Left by an earlier run that ended abruptly.
    QVERIFY(QDir().mkpath(mediaFolder() + QStringLiteral("/5")));
    QVERIFY(!TestInput::writeFile(mediaFolder() + QStringLiteral("/5"), QStringLiteral("old.wav"), "old").isEmpty());
    AppContext& c = m_home->context();
    QWidget owner;
    auto* viewers = new ViewerWindows(m_home->store(), StoreFolder(c.home), c.protectedGroups, mediaFolder(), &owner);
    QVERIFY(QDir(mediaFolder()).isEmpty());

    const qint64 id = valueOf(m_home->store(), QStringLiteral("select id from wj where mc='第一首'")).toLongLong();
    m_prompter->answerNo();
    m_prompter->answerNo();
    viewers->playRecord(id);
    MediaPlayerWindow* w = viewers->playerIfMade();
    QVERIFY(w);
    QVERIFY(!QDir(mediaFolder()).isEmpty());
    w->close();
    QVERIFY(QFileInfo(mediaFolder()).isDir());
    QVERIFY(QDir(mediaFolder()).isEmpty());
}

void MediaPlayerTest::killedExtractionLeavesArchiveWhole()
{
    DataStore& s = m_home->store();
    const StoreFolder folder(m_home->context().home);
    QVERIFY(folder.ensureExists());
    const QByteArray film = TestInput::pattern(6 * 1024 * 1024 + 11, 'f');
    QVERIFY(!TestInput::writeFile(folder.folder(), QStringLiteral("0000000050.avi"), film).isEmpty());
    addGroup(s, QStringLiteral("影片"));
    addRecord(s, QStringLiteral("影片"), QStringLiteral("film"), QStringLiteral("avi"), film,
              folder.storedPath(QStringLiteral("0000000050.avi")));
    const qint64 records = valueOf(s, QStringLiteral("select count(*) from wj")).toLongLong();
    const QString db = m_home->databasePath();
    const QString media = mediaFolder();
    const ProtectedGroups& open = m_home->context().protectedGroups;
    for (int round = 0; round < 6; ++round) {
        s.close();
        QVERIFY(KillChild::runAndKill(
            [&] {
                DataStore child;
                if (!child.open(db))
                    return;
                ViewedFiles files(child, folder, open);
                MediaRun run(files, media);
                const Result<QList<ViewedFile>> all = files.inGroup(QString());
                for (;;) {
                    for (const ViewedFile& f : all.value())
                        (void)run.extract(f);
                    (void)MediaRun::empty(media);
                }
            },
            20 + 40 * round));
        QVERIFY(s.open(db));
        // The archive is as it was; what the run left goes at the next start.
        QCOMPARE(valueOf(s, QStringLiteral("select count(*) from wj")).toLongLong(), records);
        QCOMPARE(valueOf(s, QStringLiteral("pragma integrity_check")).toString(), QStringLiteral("ok"));
        QCOMPARE(TestInput::readFile(folder.resolve(QStringLiteral("Data/Lf/0000000050.avi"))), film);
        QVERIFY(MediaRun::empty(media));
        QVERIFY(!QFileInfo::exists(media) || QDir(media).isEmpty());
    }
    // And a run afterwards writes whole files.
    ViewedFiles files(s, folder, open);
    MediaRun run(files, media);
    const Result<ViewedFile> f =
        files.record(valueOf(s, QStringLiteral("select id from wj where mc='film'")).toLongLong());
    QVERIFY(f);
    const Result<QString> written = run.extract(f.value());
    QVERIFY2(written, qPrintable(written.detail()));
    QCOMPARE(TestInput::readFile(written.value()), film);
}

void MediaPlayerTest::windowLooks()
{
    auto w = makeWindow();
    const qint64 id = valueOf(m_home->store(), QStringLiteral("select id from wj where mc='第一首'")).toLongLong();
    m_prompter->answerNo();
    m_prompter->answerNo();
    QVERIFY(w->playRecord(id));
    QCOMPARE(w->windowTitle(), QStringLiteral("媒体播放器"));
    for (const char* name : {"视频框", "播放列表", "进度滑块", "上一个", "播放", "停止", "下一个", "音量滑块"})
        QVERIFY2(w->findChild<QWidget*>(QString::fromUtf8(name)), name);
    TestHome::grab(w.get(), QStringLiteral("MediaPlayerWindow"));
    w->close();
}

KV_REGISTER_TEST(MediaPlayerTest)
#include "MediaPlayerTest.moc"
