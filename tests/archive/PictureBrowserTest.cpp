#include "ViewerFixtures.h"
#include "archive/PictureCursor.h"
#include "archive/ui/PictureBrowserWindow.h"
#include "archive/ui/PlayerPictures.h"
#include "common/ScriptedPrompter.h"
#include "common/TestHome.h"
#include "common/TestInput.h"
#include "common/TestRegistry.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

using namespace ViewerFixtures;

// The picture browser: which pictures a group lists, stepping through them
// with the buttons and the slide show, a record picked from the list.
class PictureBrowserTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void groupListsItsPicturesAndSubgroups();
    void openedProtectedGroupIsListed();
    void groupOfDocumentsGivesEmptyList();
    void groupWithoutRecordsSaysSo();
    void navigationStopsAtBothEnds();
    void pictureFitsKeepingProportions();
    void keptPictureIsReadFromStoreFolder();
    void choosingListRowShowsIt();
    void animatedGifMoves();
    void slideShowOrders_data();
    void slideShowOrders();
    void slideShowUsesInterval();
    void closingStopsSlideShow();
    void recordFromListAsksWhenGroupChanges_data();
    void recordFromListAsksWhenGroupChanges();
    void recordThatIsNoPicture();
    void cursorSteps_data();
    void cursorSteps();
    void windowsLook();

private:
    QToolButton* button(const QString& barName, const QString& tip);
    bool waitShown(int index);
    QStringList listed() const;

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<PictureBrowserWindow> m_window;
    QHash<QString, qint64> m_ids;
};

void PictureBrowserTest::init()
{
    m_home = std::make_unique<TestHome>();
    QVERIFY(m_home->isValid());
    DataStore& s = m_home->store();
    const qint64 album = addGroup(s, QStringLiteral("相册"));
    addGroup(s, QStringLiteral("旅行"), album);
    addGroup(s, QStringLiteral("私密"), album, QStringLiteral("hash"));
    addGroup(s, QStringLiteral("相册X"));
    addGroup(s, QStringLiteral("文书"));
    m_ids.clear();
    m_ids["a"] = addRecord(s, QStringLiteral("相册"), QStringLiteral("a"), QStringLiteral("JPG"),
                           picture(40, 30, Qt::red, "JPG"));
    m_ids["doc"] = addRecord(s, QStringLiteral("相册"), QStringLiteral("说明"), QStringLiteral("doc"), "words");
    m_ids["b"] = addRecord(s, QStringLiteral("相册\\旅行"), QStringLiteral("b"), QStringLiteral("Png"),
                           picture(30, 40, Qt::green));
    m_ids["hidden"] = addRecord(s, QStringLiteral("相册\\私密"), QStringLiteral("secret"), QStringLiteral("png"),
                                picture(10, 10, Qt::black));
    m_ids["c"] = addRecord(s, QStringLiteral("相册"), QStringLiteral("c"), QStringLiteral("bmp"),
                           picture(20, 20, Qt::blue, "BMP"));
    m_ids["other"] =
        addRecord(s, QStringLiteral("相册X"), QStringLiteral("x"), QStringLiteral("png"), picture(10, 10, Qt::gray));
    m_ids["letter"] = addRecord(s, QStringLiteral("文书"), QStringLiteral("letter"), QStringLiteral("txt"), "dear");
    for (auto it = m_ids.cbegin(); it != m_ids.cend(); ++it)
        QVERIFY2(it.value() > 0, qPrintable(it.key()));
    m_prompter = std::make_unique<ScriptedPrompter>();
    AppContext& c = m_home->context();
    m_window = std::make_unique<PictureBrowserWindow>(s, StoreFolder(c.home), c.protectedGroups);
}

void PictureBrowserTest::cleanup()
{
    if (m_prompter)
        QCOMPARE(m_prompter->unexpected(), 0);
    m_window.reset();
    m_prompter.reset();
    m_home.reset();
}

QToolButton* PictureBrowserTest::button(const QString& barName, const QString& tip)
{
    auto* bar = m_window->findChild<QToolBar*>(barName);
    if (!bar)
        return nullptr;
    for (QAction* a : bar->actions())
        if (a->toolTip() == tip)
            return qobject_cast<QToolButton*>(bar->widgetForAction(a));
    return nullptr;
}

bool PictureBrowserTest::waitShown(int index)
{
    return QTest::qWaitFor([&] { return m_window->shownIndex() == index && m_window->currentIndex() == index; }, 5000);
}

QStringList PictureBrowserTest::listed() const
{
    QStringList rows;
    QListWidget* list = m_window->listWindow()->list();
    for (int i = 0; i < list->count(); ++i)
        rows << list->item(i)->text();
    return rows;
}

void PictureBrowserTest::groupListsItsPicturesAndSubgroups()
{
    QVERIFY(m_window->browseGroup(QStringLiteral("相册")));
    // The sub-group's picture is there; the closed group's, the document
    // and the look-alike group "相册X" are not; types of any case count.
    QCOMPARE(listed(), QStringList({"a.JPG", "b.Png", "c.bmp"}));
    QVERIFY(m_window->isVisible());
    QVERIFY(m_window->listWindow()->isVisible());
    QCOMPARE(m_window->currentIndex(), 0);
    QVERIFY(waitShown(0));
    QCOMPARE(m_window->shownPicture().size(), QSize(40, 30));
    QVERIFY(m_prompter->shown().isEmpty());
}

void PictureBrowserTest::openedProtectedGroupIsListed()
{
    m_home->context().protectedGroups.open(QStringLiteral("相册\\私密"));
    QVERIFY(m_window->browseGroup(QStringLiteral("相册")));
    QCOMPARE(listed(), QStringList({"a.JPG", "b.Png", "secret.png", "c.bmp"}));
    // The root lists every group's pictures.
    QVERIFY(m_window->browseGroup(QString()));
    QCOMPARE(listed().size(), 5);
}

void PictureBrowserTest::groupOfDocumentsGivesEmptyList()
{
    QVERIFY(m_window->browseGroup(QStringLiteral("文书")));
    QVERIFY(listed().isEmpty());
    QCOMPARE(m_window->currentIndex(), -1);
    QVERIFY(m_prompter->shown().isEmpty());
    // Nothing to step to; the slide show does not start.
    QVERIFY(!button(QStringLiteral("图片工具条"), QStringLiteral("下一张"))->isEnabled());
    button(QStringLiteral("播放工具条"), QStringLiteral("自动播放"))->click();
    QVERIFY(!m_window->isSliding());
}

void PictureBrowserTest::groupWithoutRecordsSaysSo()
{
    addGroup(m_home->store(), QStringLiteral("空"));
    QVERIFY(!m_window->browseGroup(QStringLiteral("空")));
    QCOMPARE(m_prompter->messages(), QStringList{QStringLiteral("分组中没有文件!")});
    // A closed group's files count as none.
    m_prompter->clear();
    QVERIFY(!m_window->browseGroup(QStringLiteral("相册\\私密")));
    QCOMPARE(m_prompter->messages(), QStringList{QStringLiteral("分组中没有文件!")});
    QVERIFY(!m_window->isVisible());
}

void PictureBrowserTest::navigationStopsAtBothEnds()
{
    QVERIFY(m_window->browseGroup(QStringLiteral("相册")));
    const QString bar = QStringLiteral("图片工具条");
    QToolButton* first = button(bar, QStringLiteral("第一张"));
    QToolButton* previous = button(bar, QStringLiteral("上一张"));
    QToolButton* next = button(bar, QStringLiteral("下一张"));
    QToolButton* last = button(bar, QStringLiteral("末一张"));
    QVERIFY(first && previous && next && last);
    QVERIFY(!first->isEnabled() && !previous->isEnabled());
    QTest::mouseClick(next, Qt::LeftButton);
    QCOMPARE(m_window->currentIndex(), 1);
    QVERIFY(waitShown(1));
    QCOMPARE(m_window->shownPicture().size(), QSize(30, 40));
    QTest::mouseClick(last, Qt::LeftButton);
    QCOMPARE(m_window->currentIndex(), 2);
    QVERIFY(!next->isEnabled() && !last->isEnabled());
    m_window->next();
    QCOMPARE(m_window->currentIndex(), 2);
    QTest::mouseClick(previous, Qt::LeftButton);
    QCOMPARE(m_window->currentIndex(), 1);
    QTest::mouseClick(first, Qt::LeftButton);
    QCOMPARE(m_window->currentIndex(), 0);
    m_window->previous();
    QCOMPARE(m_window->currentIndex(), 0);
    QCOMPARE(m_window->listWindow()->list()->currentRow(), 0);
    QVERIFY(waitShown(0));
}

void PictureBrowserTest::pictureFitsKeepingProportions()
{
    DataStore& s = m_home->store();
    addGroup(s, QStringLiteral("大图"));
    addRecord(s, QStringLiteral("大图"), QStringLiteral("wide"), QStringLiteral("png"), picture(2200, 416, Qt::red));
    addRecord(s, QStringLiteral("大图"), QStringLiteral("tall"), QStringLiteral("jpg"),
              picture(300, 1664, Qt::blue, "JPG"));
    QVERIFY(m_window->browseGroup(QStringLiteral("大图")));
    QVERIFY(waitShown(0));
    QCOMPARE(m_window->shownPicture().size(), QSize(550, 104));
    m_window->next();
    QVERIFY(waitShown(1));
    QCOMPARE(m_window->shownPicture().size(), QSize(75, 416));
}

void PictureBrowserTest::keptPictureIsReadFromStoreFolder()
{
    DataStore& s = m_home->store();
    const QString lf = StoreFolder(m_home->context().home).folder();
    QVERIFY(QDir().mkpath(lf));
    QVERIFY(!TestInput::writeFile(lf, QStringLiteral("0000000099.png"), picture(64, 48, Qt::yellow)).isEmpty());
    addGroup(s, QStringLiteral("存放"));
    addRecord(s, QStringLiteral("存放"), QStringLiteral("big"), QStringLiteral("png"), picture(64, 48, Qt::yellow),
              QStringLiteral("Data/Lf/0000000099.png"));
    QVERIFY(m_window->browseGroup(QStringLiteral("存放")));
    QVERIFY(waitShown(0));
    QCOMPARE(m_window->shownPicture().size(), QSize(64, 48));
    QCOMPARE(m_window->shownPicture().toImage().pixelColor(10, 10), QColor(Qt::yellow));
}

void PictureBrowserTest::choosingListRowShowsIt()
{
    QVERIFY(m_window->browseGroup(QStringLiteral("相册")));
    QListWidget* list = m_window->listWindow()->list();
    QCOMPARE(list->objectName(), QStringLiteral("超级列表框1"));
    const QRect row = list->visualItemRect(list->item(2));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
    QCOMPARE(m_window->currentIndex(), 2);
    QVERIFY(waitShown(2));
    QCOMPARE(m_window->shownPicture().size(), QSize(20, 20));
}

void PictureBrowserTest::animatedGifMoves()
{
    // A 1 × 1 GIF of two frames (red, then blue), 0.1 s each, looping.
    auto frame = [](char pixel) {
        return QByteArray("\x21\xF9\x04\x00\x0A\x00\x00\x00", 8)          // 0.1 s
            + QByteArray("\x2C\x00\x00\x00\x00\x01\x00\x01\x00\x00", 10)  // 1 × 1 at 0, 0
            + QByteArray("\x02\x02", 2) + QByteArray(1, pixel) + QByteArray("\x01\x00", 2);
    };
    const QByteArray gif = QByteArray("GIF89a\x01\x00\x01\x00\x80\x00\x00", 13)
        + QByteArray("\xFF\x00\x00\x00\x00\xFF", 6) + QByteArray("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19)
        + frame('\x44') + frame('\x4C') + QByteArray("\x3B", 1);
    DataStore& s = m_home->store();
    addGroup(s, QStringLiteral("动图"));
    addRecord(s, QStringLiteral("动图"), QStringLiteral("blink"), QStringLiteral("GIF"), gif);
    QVERIFY(m_window->browseGroup(QStringLiteral("动图")));
    QVERIFY(waitShown(0));
    QVERIFY(m_window->isAnimated());
    QSet<QRgb> colours;
    QTRY_VERIFY_WITH_TIMEOUT((colours << m_window->shownPicture().toImage().pixel(0, 0), colours.size() == 2), 3000);
    // Another picture stops it.
    QVERIFY(m_window->browseGroup(QStringLiteral("相册")));
    QVERIFY(!m_window->isAnimated());
}

void PictureBrowserTest::slideShowOrders_data()
{
    QTest::addColumn<QString>("radio");
    QTest::addColumn<QList<int>>("draws");
    QTest::addColumn<QList<int>>("expected");
    QTest::newRow("顺序") << QStringLiteral("单选框1") << QList<int>{} << QList<int>{1, 2, 0, 1};
    QTest::newRow("逆序") << QStringLiteral("单选框2") << QList<int>{} << QList<int>{2, 1, 0, 2};
    // Draws among the pictures other than the current one.
    QTest::newRow("随机") << QStringLiteral("单选框3") << QList<int>{1, 0, 0, 1} << QList<int>{2, 0, 1, 2};
}

void PictureBrowserTest::slideShowOrders()
{
    QFETCH(QString, radio);
    QFETCH(QList<int>, draws);
    QFETCH(QList<int>, expected);
    QVERIFY(m_window->browseGroup(QStringLiteral("相册")));
    QList<int> queue = draws;
    m_window->setRandom([&queue](int) { return queue.isEmpty() ? 0 : queue.takeFirst(); });
    auto* order = m_window->findChild<QRadioButton*>(radio);
    QVERIFY(order);
    QVERIFY(m_window->findChild<QRadioButton*>(QStringLiteral("单选框1"))->isChecked());
    QTest::mouseClick(order, Qt::LeftButton);
    QVERIFY(order->isChecked());
    QTest::mouseClick(button(QStringLiteral("播放工具条"), QStringLiteral("自动播放")), Qt::LeftButton);
    QVERIFY(m_window->isSliding());
    QList<int> seen;
    for (int i = 0; i < expected.size(); ++i) {
        // The timer's tick, without waiting for it.
        m_window->slideStep();
        seen << m_window->currentIndex();
    }
    QCOMPARE(seen, expected);
    QTest::mouseClick(button(QStringLiteral("播放工具条"), QStringLiteral("自动播放")), Qt::LeftButton);
    QVERIFY(!m_window->isSliding());
}

void PictureBrowserTest::slideShowUsesInterval()
{
    QVERIFY(m_window->browseGroup(QStringLiteral("相册")));
    auto* interval = m_window->findChild<QLineEdit*>(QStringLiteral("编辑框1"));
    QCOMPARE(interval->text(), QStringLiteral("2000"));
    QToolButton* slide = button(QStringLiteral("播放工具条"), QStringLiteral("自动播放"));
    QTest::mouseClick(slide, Qt::LeftButton);
    QCOMPARE(m_window->slideTimer()->interval(), 2000);
    QCOMPARE(m_window->slideTimer()->objectName(), QStringLiteral("时钟1"));
    QTest::mouseClick(slide, Qt::LeftButton);

    interval->selectAll();
    QTest::keyClicks(interval, QStringLiteral("150"));
    QTest::mouseClick(slide, Qt::LeftButton);
    QCOMPARE(m_window->slideTimer()->interval(), 150);
    // The real timer moves on by itself.
    QTRY_COMPARE_WITH_TIMEOUT(m_window->currentIndex(), 1, 3000);
    QTest::mouseClick(slide, Qt::LeftButton);

    // An emptied box falls back to two seconds.
    interval->clear();
    QTest::mouseClick(slide, Qt::LeftButton);
    QCOMPARE(m_window->slideTimer()->interval(), 2000);
    QCOMPARE(interval->text(), QStringLiteral("2000"));
}

void PictureBrowserTest::closingStopsSlideShow()
{
    QVERIFY(m_window->browseGroup(QStringLiteral("相册")));
    m_window->setSliding(true);
    QVERIFY(m_window->isSliding());
    m_window->close();
    QVERIFY(!m_window->isSliding());
    QVERIFY(!m_window->listWindow()->isVisible());
}

void PictureBrowserTest::recordFromListAsksWhenGroupChanges_data()
{
    QTest::addColumn<bool>("keep");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("是 keeps the list") << true << QStringList({"a.JPG", "b.Png", "c.bmp", "x.png"});
    QTest::newRow("否 starts a new one") << false << QStringList({"x.png"});
}

void PictureBrowserTest::recordFromListAsksWhenGroupChanges()
{
    QFETCH(bool, keep);
    QFETCH(QStringList, rows);
    // Of the same group: no question, the record is shown.
    QVERIFY(m_window->browseRecord(m_ids["c"]));
    QCOMPARE(listed(), QStringList{"c.bmp"});
    QCOMPARE(m_window->listGroup(), QStringLiteral("相册"));
    QVERIFY(m_window->browseRecord(m_ids["a"]));
    QCOMPARE(listed(), QStringList({"c.bmp", "a.JPG"}));
    QCOMPARE(m_window->currentIndex(), 1);
    QVERIFY(m_prompter->shown().isEmpty());

    QVERIFY(m_window->browseGroup(QStringLiteral("相册")));
    keep ? m_prompter->answerYes() : m_prompter->answerNo();
    QVERIFY(m_window->browseRecord(m_ids["other"]));
    QCOMPARE(m_prompter->texts(), QStringList{QStringLiteral("分组将改变,是否保留当前图片列表?")});
    QCOMPARE(listed(), rows);
    QCOMPARE(listed().at(m_window->currentIndex()), QStringLiteral("x.png"));
    QVERIFY(waitShown(m_window->currentIndex()));
}

void PictureBrowserTest::recordThatIsNoPicture()
{
    QVERIFY(!m_window->browseRecord(m_ids["doc"]));
    QCOMPARE(m_prompter->messages(), QStringList{QStringLiteral("说明 不支持的文件格式!")});
    m_prompter->clear();
    // A closed group's record is never named.
    QVERIFY(!m_window->browseRecord(m_ids["hidden"]));
    QCOMPARE(m_prompter->messages(), QStringList{QStringLiteral("没有选择记录!")});
    m_prompter->clear();
    QVERIFY(!m_window->browseRecord(-1));
    QCOMPARE(m_prompter->messages(), QStringList{QStringLiteral("没有选择记录!")});
}

void PictureBrowserTest::cursorSteps_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("order");
    QTest::addColumn<int>("draw");
    QTest::addColumn<int>("expected");
    QTest::newRow("forward wraps") << 3 << 2 << int(PictureCursor::Order::Forward) << 0 << 0;
    QTest::newRow("backward wraps") << 3 << 0 << int(PictureCursor::Order::Backward) << 0 << 2;
    QTest::newRow("random skips current") << 3 << 1 << int(PictureCursor::Order::Random) << 1 << 2;
    QTest::newRow("random below current") << 3 << 1 << int(PictureCursor::Order::Random) << 0 << 0;
    QTest::newRow("random of one") << 1 << 0 << int(PictureCursor::Order::Random) << 0 << 0;
    QTest::newRow("random out of range") << 4 << 0 << int(PictureCursor::Order::Random) << 99 << 1;
}

void PictureBrowserTest::cursorSteps()
{
    QFETCH(int, count);
    QFETCH(int, start);
    QFETCH(int, order);
    QFETCH(int, draw);
    QFETCH(int, expected);
    PictureCursor cursor([draw](int) { return draw; });
    cursor.reset(count);
    QVERIFY(cursor.moveTo(start));
    QVERIFY(cursor.step(PictureCursor::Order(order)));
    QCOMPARE(cursor.index(), expected);
    PictureCursor empty;
    empty.reset(0);
    QVERIFY(!empty.step(PictureCursor::Order::Forward));
    QCOMPARE(empty.index(), -1);
}

void PictureBrowserTest::windowsLook()
{
    QVERIFY(m_window->browseGroup(QStringLiteral("相册")));
    QVERIFY(waitShown(0));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("图片浏览器"));
    QCOMPARE(m_window->listWindow()->windowTitle(), QStringLiteral("图片列表"));
    const QList<QPair<QString, QRect>> units = {
        {QStringLiteral("图片工具条"), QRect(0, 0, 160, 24)}, {QStringLiteral("播放工具条"), QRect(176, 0, 24, 24)},
        {QStringLiteral("标签1"), QRect(216, 0, 64, 24)},     {QStringLiteral("编辑框1"), QRect(280, 2, 40, 20)},
        {QStringLiteral("单选框1"), QRect(328, 0, 48, 24)},   {QStringLiteral("单选框2"), QRect(376, 0, 48, 24)},
        {QStringLiteral("单选框3"), QRect(424, 0, 48, 24)},   {QStringLiteral("媒体工具条"), QRect(504, 0, 24, 24)},
        {QStringLiteral("图片框1"), QRect(0, 24, 550, 416)},
    };
    for (const auto& [name, place] : units) {
        auto* w = m_window->findChild<QWidget*>(name);
        QVERIFY2(w, qPrintable(name));
        QCOMPARE(w->geometry(), place);
    }
    QCOMPARE(m_window->listWindow()->list()->geometry(), QRect(0, 0, 144, 448));
    QCOMPARE(m_window->findChild<QLabel*>(QStringLiteral("标签1"))->text(), QStringLiteral("间隔(毫秒)"));
    for (const QPixmap& pm : PlayerPictures::all())
        QCOMPARE(pm.size(), QSize(16, 15));
    QSignalSpy media(m_window.get(), &PictureBrowserWindow::mediaPlayerRequested);
    button(QStringLiteral("媒体工具条"), QStringLiteral("媒体播放器"))->click();
    QCOMPARE(media.size(), 1);
    TestHome::grab(m_window.get(), QStringLiteral("PictureBrowserWindow"));
    TestHome::grab(m_window->listWindow(), QStringLiteral("PictureListWindow"));
}

KV_REGISTER_TEST(PictureBrowserTest)
#include "PictureBrowserTest.moc"
