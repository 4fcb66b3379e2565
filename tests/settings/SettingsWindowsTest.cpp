#include "common/ScriptedPrompter.h"
#include "common/TestHome.h"
#include "common/TestInput.h"
#include "common/TestRegistry.h"
#include "platform/Config.h"
#include "listing/FileListModel.h"
#include "listing/ui/FileListViews.h"
#include "platform/InstanceLock.h"
#include "platform/ui/FolderCopyWindow.h"
#include "platform/ui/OuterSize.h"
#include "platform/ui/SkinLibrary.h"
#include "settings/GlobalSettings.h"
#include "settings/ui/GlobalSettingsWindow.h"
#include "settings/ui/SkinsWindow.h"
#include "shell/MainWindowFixture.h"
#include "shell/ui/Banner.h"
#include "store/Dictionary.h"

#include <QBuffer>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using TestInput::pattern;
using TestInput::readFile;
using TestInput::writeFile;

namespace {

// A PNG of width × 56 padded with trailing bytes to exactly size bytes.
QByteArray pngOfSize(int width, qint64 size)
{
    QImage img(width, 56, QImage::Format_RGB32);
    img.fill(Qt::darkGreen);
    QByteArray bytes;
    QBuffer b(&bytes);
    b.open(QIODevice::WriteOnly);
    img.save(&b, "PNG");
    if (bytes.size() < size)
        bytes.append(QByteArray(int(size - bytes.size()), '\0'));
    return bytes;
}

void click(QWidget* w)
{
    QVERIFY(w);
    QTest::mouseClick(w, Qt::LeftButton);
}

}  // namespace

class SettingsWindowsTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void globalSettingsWindowLook();
    void countViewsBoxSurvivesSaveAndRestart();
    void bannerPictureBound_data();
    void bannerPictureBound();
    void uploadRules_data();
    void uploadRules();
    void clearViewCounts();
    void backupAndRestoreThroughTheWindow();
    void restoreOfAFolderWithoutArchiveIsRefused();
    void rebuildAsksThenNamesItsBackup();
    void savedLookAppliesToTheMainWindow();
    void restoreThroughTheMainWindowReadsTheArchiveAgain();
    void doubleClickAppliesASkin();
    void folderCopyWindowCopiesAndAsksOnClose();
    void skinRenameOntoAnExistingNameFails();
    void skinsKeepRemoveAndSwitchOff();

private:
    std::unique_ptr<GlobalSettingsWindow> settingsWindow();
    template <class T = QWidget> T* unit(QWidget* w, const QString& name) { return w->findChild<T*>(name); }

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<QTemporaryDir> m_out;
    QStringList m_hooks;
};

void SettingsWindowsTest::init()
{
    m_home = std::make_unique<TestHome>();
    QVERIFY(m_home->isValid());
    m_prompter = std::make_unique<ScriptedPrompter>();
    m_out = std::make_unique<QTemporaryDir>();
    m_hooks.clear();
}

void SettingsWindowsTest::cleanup()
{
    if (m_prompter)
        QCOMPARE(m_prompter->unexpected(), 0);
    m_prompter.reset();
    m_home.reset();
    m_out.reset();
}

std::unique_ptr<GlobalSettingsWindow> SettingsWindowsTest::settingsWindow()
{
    GlobalSettingsWindow::ArchiveHooks hooks;
    hooks.close = [this] {
        m_hooks << QStringLiteral("close");
        m_home->store().close();
    };
    hooks.reopen = [this](const std::shared_ptr<InstanceLock>&) {
        m_hooks << QStringLiteral("reopen");
        return m_home->store().open(m_home->databasePath());
    };
    hooks.reload = [this] { m_hooks << QStringLiteral("reload"); };
    auto w = std::make_unique<GlobalSettingsWindow>(m_home->store(),
                                                    ArchivePlace::of(m_home->context().home, m_home->archive()), hooks);
    w->show();
    return w;
}

void SettingsWindowsTest::globalSettingsWindowLook()
{
    auto w = settingsWindow();
    QCOMPARE(w->windowTitle(), QStringLiteral("全局参数"));
    QCOMPARE(OuterSize::designed(w.get()), QSize(589, 468));
    struct Place {
        const char* name;
        QRect rect;
    };
    const Place places[] = {
        {"分组框1", {16, 16, 552, 120}},         {"分组框2", {16, 144, 552, 96}},
        {"分组框3", {16, 248, 552, 64}},         {"分组框4", {16, 320, 552, 64}},
        {"选择框1", {272, 88, 144, 24}},         {"背景图片框", {416, 56, 120, 24}},
        {"模式二单选框", {80, 0, 80, 24}},       {"文件类型编辑框", {248, 24, 288, 24}},
        {"回收站保留天数框", {352, 58, 56, 20}}, {"文件尺寸编辑框", {104, 56, 48, 20}},
        {"压缩按钮", {16, 24, 104, 24}},         {"重建按钮", {344, 24, 88, 24}},
        {"阅览量清零按钮", {448, 24, 88, 24}},   {"排序方式按钮", {448, 24, 88, 24}},
        {"修改自定义项按钮", {16, 24, 104, 24}},
    };
    for (const Place& p : places) {
        QWidget* u = unit(w.get(), QString::fromUtf8(p.name));
        QVERIFY2(u, p.name);
        QCOMPARE(u->geometry(), p.rect);
    }
    QCOMPARE(unit<QPushButton>(w.get(), QStringLiteral("选择图片超级按钮"))->text(), QStringLiteral("更换图片…"));
    QCOMPARE(unit<QLabel>(w.get(), QStringLiteral("分辨率标签"))->text(), QStringLiteral("1024*56"));
    QVERIFY(unit<QRadioButton>(w.get(), QStringLiteral("模式一单选框"))->isChecked());
    QVERIFY(unit<QRadioButton>(w.get(), QStringLiteral("无限制单选框"))->isChecked());
    QCOMPARE(unit<QLineEdit>(w.get(), QStringLiteral("文件尺寸编辑框"))->toolTip(), GlobalSettingsWindow::SizeHint);
    TestHome::grab(w.get(), QStringLiteral("global-settings"));
}

void SettingsWindowsTest::countViewsBoxSurvivesSaveAndRestart()
{
    for (bool ticked : {true, false}) {
        auto w = settingsWindow();
        auto* box = unit<QCheckBox>(w.get(), QStringLiteral("选择框1"));
        QCOMPARE(box->isChecked(), !ticked);
        if (box->isChecked() != ticked)
            click(box);
        click(unit<QPushButton>(w.get(), QStringLiteral("个性保存按钮")));
        QCOMPARE(m_prompter->lastText(), GlobalSettings::PersonalSaved);
        w.reset();
        // A restart: a new connection reads the row.
        m_home->store().close();
        QVERIFY(m_home->store().open(m_home->databasePath()));
        QCOMPARE(MainSettings::read(m_home->store())->countViewsOff, ticked);
        auto again = settingsWindow();
        QCOMPARE(unit<QCheckBox>(again.get(), QStringLiteral("选择框1"))->isChecked(), ticked);
    }
}

void SettingsWindowsTest::bannerPictureBound_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("exactly 200 KB") << pngOfSize(800, 204800) << QString();
    QTest::newRow("one byte more") << pngOfSize(800, 204801) << GlobalSettings::PictureTooLarge;
    QTest::newRow("not a picture") << pattern(5000, 'x') << GlobalSettings::NotAPicture;
}

void SettingsWindowsTest::bannerPictureBound()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, refusal);
    const QString file = writeFile(m_out->path(), QStringLiteral("banner.jpg"), bytes);
    auto w = settingsWindow();
    m_prompter->answerText(file);
    click(unit<QPushButton>(w.get(), QStringLiteral("选择图片超级按钮")));
    QCOMPARE(m_prompter->lastFilter(), QStringLiteral("图片文件(*.bmp *.jpg *.gif)"));
    if (!refusal.isEmpty()) {
        QCOMPARE(m_prompter->lastText(), refusal);
        QVERIFY(w->picture().isEmpty());
        QCOMPARE(unit<QLabel>(w.get(), QStringLiteral("分辨率标签"))->text(), QStringLiteral("1024*56"));
        return;
    }
    QCOMPARE(w->picture(), bytes);
    // The banner's width, whatever the picture's.
    w->setBannerWidth(1280);
    QCOMPARE(unit<QLabel>(w.get(), QStringLiteral("分辨率标签"))->text(), QStringLiteral("1280*56"));
    QVERIFY(unit<QRadioButton>(w.get(), QStringLiteral("背景图片单选框"))->isChecked());
    click(unit<QPushButton>(w.get(), QStringLiteral("个性保存按钮")));
    const auto saved = MainSettings::read(m_home->store());
    QCOMPARE(saved->bannerPicture, bytes);
    QCOMPARE(saved->background, int(MainSettings::Picture));
    // "置默认图片" takes the built-in banner again.
    click(unit<QPushButton>(w.get(), QStringLiteral("置默认图片超级按钮")));
    QVERIFY(w->picture().isEmpty());
    QCOMPARE(unit<QLabel>(w.get(), QStringLiteral("分辨率标签"))->text(), QStringLiteral("1280*56"));
}

void SettingsWindowsTest::uploadRules_data()
{
    QTest::addColumn<bool>("limited");
    QTest::addColumn<QString>("types");
    QTest::addColumn<QString>("size");
    QTest::addColumn<QString>("storedTypes");  // empty: refused
    QTest::addColumn<QString>("message");
    QTest::newRow("no limit") << false << "doc"
                              << "5"
                              << "A" << GlobalSettings::FileTypesSaved;
    QTest::newRow("lines and dots") << true << ".PDF\ndoc, .xls;pdf"
                                    << "2.5"
                                    << "pdf,doc,xls" << GlobalSettings::FileTypesSaved;
    QTest::newRow("size empty") << true << "doc"
                                << ""
                                << "" << GlobalSettings::SizeRequired;
    QTest::newRow("size not a number") << true << "doc"
                                       << "ten"
                                       << "" << GlobalSettings::SizeNotANumber;
    QTest::newRow("size negative") << true << "doc"
                                   << "-1"
                                   << "" << GlobalSettings::SizeNotANumber;
    QTest::newRow("no types") << true << " , "
                              << "1"
                              << "" << GlobalSettings::TypesRequired;
}

void SettingsWindowsTest::uploadRules()
{
    QFETCH(bool, limited);
    QFETCH(QString, types);
    QFETCH(QString, size);
    QFETCH(QString, storedTypes);
    QFETCH(QString, message);
    auto w = settingsWindow();
    click(unit<QRadioButton>(w.get(), limited ? QStringLiteral("有限制单选框") : QStringLiteral("无限制单选框")));
    unit<QPlainTextEdit>(w.get(), QStringLiteral("文件类型编辑框"))->setPlainText(types);
    auto* sizeBox = unit<QLineEdit>(w.get(), QStringLiteral("文件尺寸编辑框"));
    sizeBox->clear();
    QTest::keyClicks(sizeBox, size);
    QString savedTypes, savedSize;
    connect(w.get(), &GlobalSettingsWindow::uploadRulesSaved, this, [&](const QString& t, const QString& s) {
        savedTypes = t;
        savedSize = s;
    });
    click(unit<QPushButton>(w.get(), QStringLiteral("文件类型保存按钮")));
    QCOMPARE(m_prompter->lastText(), message);
    if (storedTypes.isEmpty()) {
        QCOMPARE(*Dictionary::read(m_home->store(), Dictionary::FileTypes), QStringLiteral("A"));
        QVERIFY(savedTypes.isEmpty());
        return;
    }
    QCOMPARE(*Dictionary::read(m_home->store(), Dictionary::FileTypes), storedTypes);
    QCOMPARE(*Dictionary::read(m_home->store(), Dictionary::FileSize), size);
    QCOMPARE(savedTypes, storedTypes);
    QCOMPARE(savedSize, size);
}

void SettingsWindowsTest::clearViewCounts()
{
    QVERIFY(m_home->store().execute(QStringLiteral("insert into wj(mc, ylcs) values('a', 5)")));
    auto w = settingsWindow();
    m_prompter->answerNo();
    click(unit<QPushButton>(w.get(), QStringLiteral("阅览量清零按钮")));
    QCOMPARE(m_prompter->lastText(), GlobalSettingsWindow::ClearQuestion);
    QCOMPARE(valueOf(m_home->store(), QStringLiteral("select ylcs from wj")).toInt(), 5);
    m_prompter->answerYes();
    click(unit<QPushButton>(w.get(), QStringLiteral("阅览量清零按钮")));
    QCOMPARE(valueOf(m_home->store(), QStringLiteral("select ylcs from wj")).toInt(), 0);
}

void SettingsWindowsTest::backupAndRestoreThroughTheWindow()
{
    const QString store = m_home->context().home.storeFolder();
    writeFile(store, QStringLiteral("0000000001.bin"), pattern(3 * 1024 * 1024, 'k'));
    QVERIFY(m_home->store().execute(
        QStringLiteral("insert into wj(mc, dxsz, lj) values('k', ?, 'Data/Lf/0000000001.bin')"), {3 * 1024 * 1024}));
    auto w = settingsWindow();
    const QString target = m_out->filePath(QStringLiteral("backup"));
    m_prompter->answerCancel();
    click(unit<QPushButton>(w.get(), QStringLiteral("备份按钮")));
    QVERIFY(!QFileInfo::exists(target));
    m_prompter->answerText(target);
    click(unit<QPushButton>(w.get(), QStringLiteral("备份按钮")));
    QCOMPARE(m_prompter->lastText(), QStringLiteral("备份成功!"));
    QCOMPARE(m_hooks, QStringList());  // the online backup needs no closing
    const QByteArray backedUp = readFile(QDir(target).filePath(QStringLiteral("files.dat")));

    QVERIFY(m_home->store().execute(QStringLiteral("delete from wj")));
    m_prompter->answerText(target);
    click(unit<QPushButton>(w.get(), QStringLiteral("恢复按钮")));
    QVERIFY2(m_prompter->messages().last().startsWith(QStringLiteral("恢复成功!")), qPrintable(m_prompter->lastText()));
    QCOMPARE(m_hooks, QStringList({QStringLiteral("close"), QStringLiteral("reopen"), QStringLiteral("reload")}));
    QCOMPARE(valueOf(m_home->store(), QStringLiteral("select count(*) from wj")).toInt(), 1);
    QCOMPARE(readFile(QDir(target).filePath(QStringLiteral("files.dat"))), backedUp);
    QCOMPARE(readFile(QDir(store).filePath(QStringLiteral("0000000001.bin"))), pattern(3 * 1024 * 1024, 'k'));
}

void SettingsWindowsTest::restoreOfAFolderWithoutArchiveIsRefused()
{
    auto w = settingsWindow();
    m_prompter->answerText(m_out->path());
    click(unit<QPushButton>(w.get(), QStringLiteral("恢复按钮")));
    QCOMPARE(m_prompter->lastText(), QStringLiteral("不是本系统的备份目录! 请重新选择..."));
    QVERIFY(m_hooks.isEmpty());
    QVERIFY(m_home->store().isOpen());
}

void SettingsWindowsTest::rebuildAsksThenNamesItsBackup()
{
    QVERIFY(m_home->store().execute(QStringLiteral("insert into wj(mc) values('gone')")));
    auto w = settingsWindow();
    m_prompter->answerNo();
    click(unit<QPushButton>(w.get(), QStringLiteral("重建按钮")));
    QCOMPARE(m_prompter->lastText(), GlobalSettingsWindow::RebuildQuestion);
    QCOMPARE(valueOf(m_home->store(), QStringLiteral("select count(*) from wj")).toInt(), 1);
    m_prompter->answerYes();
    click(unit<QPushButton>(w.get(), QStringLiteral("重建按钮")));
    QVERIFY2(m_prompter->lastText().startsWith(QStringLiteral("重建数据库完成!")), qPrintable(m_prompter->lastText()));
    QCOMPARE(valueOf(m_home->store(), QStringLiteral("select count(*) from wj")).toInt(), 0);
    QCOMPARE(m_hooks, QStringList{QStringLiteral("reload")});
}

void SettingsWindowsTest::savedLookAppliesToTheMainWindow()
{
    m_prompter.reset();
    MainWindowFixture f;
    QVERIFY(f.build());
    bool seen = false;
    QTimer::singleShot(0, [&] {
        GlobalSettingsWindow* w = MainWindowFixture::shownWindows<GlobalSettingsWindow>().value(0);
        QVERIFY(w);
        seen = true;
        auto* text = unit<QLineEdit>(w, QStringLiteral("文字编辑框"));
        text->clear();
        QTest::keyClicks(text, QStringLiteral("Office archive"));
        click(unit<QRadioButton>(w, QStringLiteral("模式二单选框")));
        click(unit<QPushButton>(w, QStringLiteral("个性保存按钮")));
        w->close();
    });
    f.window->runCommand(QString::fromLatin1(Cmd::GlobalSettings));
    QVERIFY(seen);
    QCOMPARE(f.prompter.lastText(), GlobalSettings::PersonalSaved);
    QCOMPARE(f.window->banner()->text(), QStringLiteral("Office archive"));
    QCOMPARE(f.window->displayMode(), 2);
    QCOMPARE(f.home.context().mainSettings.displayMode, 2);

    // "其他设置" runs the commands as the menus do, each under its right.
    QStringList ran;
    for (const char* id : {Cmd::FileSortOrder, Cmd::Operators, Cmd::ChangePassword, Cmd::SystemLog})
        f.window->router().setHandler(QString::fromLatin1(id), [&ran, id] { ran << QString::fromLatin1(id); });
    QTimer::singleShot(0, [&] {
        GlobalSettingsWindow* w = MainWindowFixture::shownWindows<GlobalSettingsWindow>().value(0);
        QVERIFY(w);
        for (const char* name : {"排序方式按钮", "权限管理按钮", "修改口令按钮", "操作日志按钮"})
            click(unit<QPushButton>(w, QString::fromUtf8(name)));
        w->close();
    });
    f.window->runCommand(QString::fromLatin1(Cmd::GlobalSettings));
    QCOMPARE(ran,
             QStringList({QString::fromLatin1(Cmd::FileSortOrder), QString::fromLatin1(Cmd::Operators),
                          QString::fromLatin1(Cmd::ChangePassword), QString::fromLatin1(Cmd::SystemLog)}));
}

void SettingsWindowsTest::restoreThroughTheMainWindowReadsTheArchiveAgain()
{
    m_prompter.reset();
    MainWindowFixture f;
    QVERIFY(f.build());
    DataStore& store = f.window->store();
    QVERIFY(store.execute(QStringLiteral("insert into wj(bh, mc, fz, lx) values('0000000001', 'kept', '', 'txt')")));
    const QString target = m_out->filePath(QStringLiteral("b"));
    f.prompter.answerText(target);
    f.prompter.answerText(target);
    QTimer::singleShot(0, [&] {
        GlobalSettingsWindow* w = MainWindowFixture::shownWindows<GlobalSettingsWindow>().value(0);
        QVERIFY(w);
        click(unit<QPushButton>(w, QStringLiteral("备份按钮")));
        // The archive moves on, then the backup comes back.
        QVERIFY(f.window->store().execute(QStringLiteral("delete from wj")));
        // Upload rules saved here are those of the next stored file.
        click(unit<QRadioButton>(w, QStringLiteral("有限制单选框")));
        unit<QPlainTextEdit>(w, QStringLiteral("文件类型编辑框"))->setPlainText(QStringLiteral(".PDF"));
        click(unit<QPushButton>(w, QStringLiteral("文件类型保存按钮")));
        QCOMPARE(f.home.context().fileTypes, QStringLiteral("pdf"));
        click(unit<QPushButton>(w, QStringLiteral("恢复按钮")));
        w->close();
    });
    f.window->runCommand(QString::fromLatin1(Cmd::GlobalSettings));
    QStringList shown = f.prompter.messages();
    QCOMPARE(shown.value(0), QStringLiteral("备份成功!"));
    QVERIFY2(shown.value(2).startsWith(QStringLiteral("恢复成功!")), qPrintable(shown.join(QLatin1Char('|'))));
    QVERIFY(store.isOpen());
    QCOMPARE(valueOf(store, QStringLiteral("select count(*) from wj")).toInt(), 1);
    // The rules come back with the archive as well.
    QCOMPARE(f.home.context().fileTypes, QStringLiteral("A"));
    // The list and its statistics show the archive now in use, and nothing
    // of the window holds the one moved aside.
    QVERIFY(f.window->list()->waitUntilLoaded());
    QCOMPARE(f.window->list()->model()->rowCount(), 1);
    for (const QFileInfo& fd : QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System | QDir::NoDotAndDotDot))
        QVERIFY2(!fd.symLinkTarget().contains(QStringLiteral("/Data-")), qPrintable(fd.symLinkTarget()));
    // The lock of the Data folder in use is held: no other run gets in.
    QVERIFY(InstanceLock::acquire(QDir(f.home.context().home.dataFolder()).filePath(InstanceLock::FileName)).held);
}

void SettingsWindowsTest::doubleClickAppliesASkin()
{
    const QString hf = m_out->filePath(QStringLiteral("Hf"));
    QDir().mkpath(hf);
    writeFile(hf, QStringLiteral("a.she"), "QLabel { color: red; }");
    Config config(m_out->filePath(QStringLiteral("Config.ini")));
    SkinsWindow w(hf, config);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QListWidgetItem* item = w.list()->item(0);
    w.list()->setCurrentItem(item);
    const QRect r = w.list()->visualItemRect(item);
    QTest::mouseClick(w.list()->viewport(), Qt::LeftButton, {}, r.center());
    QTest::mouseDClick(w.list()->viewport(), Qt::LeftButton, {}, r.center());
    QCOMPARE(SkinLibrary::attachedPath(), QDir(hf).filePath(QStringLiteral("a.she")));
    QCOMPARE(w.chosen(), QStringLiteral("a.she"));
    SkinLibrary::detach();
}

void SettingsWindowsTest::folderCopyWindowCopiesAndAsksOnClose()
{
    const QString src = m_out->filePath(QStringLiteral("src"));
    QDir().mkpath(src + QStringLiteral("/sub"));
    writeFile(src, QStringLiteral("a.bin"), pattern(3 * 1024 * 1024, 'a'));
    writeFile(src + QStringLiteral("/sub"), QStringLiteral("b.txt"), pattern(10, 'b'));
    {
        FolderCopyWindow w;
        QCOMPARE(OuterSize::designed(&w), QSize(462, 133));
        QCOMPARE(w.fileBar()->objectName(), QStringLiteral("进度条1"));
        QCOMPARE(w.fileBar()->geometry(), QRect(19, 16, 405, 24));
        QCOMPARE(w.totalBar()->geometry(), QRect(19, 56, 405, 24));
        const auto r = w.copyFolder(src, m_out->filePath(QStringLiteral("dst")));
        QVERIFY(r.ok());
        QCOMPARE(r->copied, 2);
        QCOMPARE(w.windowTitle(), QStringLiteral("全部完成...2    失败:0个"));
        QCOMPARE(w.totalBar()->value(), w.totalBar()->maximum());
        QCOMPARE(readFile(m_out->filePath(QStringLiteral("dst/sub/b.txt"))), pattern(10, 'b'));
        w.show();
        TestHome::grab(&w, QStringLiteral("folder-copy"));
    }
    // Closing while it copies asks; "否" goes on, "是" stops.
    writeFile(src, QStringLiteral("c.bin"), pattern(48 * 1024 * 1024, 'c'));
    FolderCopyWindow w;
    m_prompter->answerNo();
    m_prompter->answerYes();
    int asked = 0;
    std::function<void()> closeIt = [&] {
        w.close();
        if (++asked < 2)
            QTimer::singleShot(0, closeIt);
    };
    QTimer::singleShot(0, closeIt);
    const auto r = w.copyFolder(src, m_out->filePath(QStringLiteral("dst2")));
    QVERIFY(r.cancelled());
    QCOMPARE(m_prompter->texts().count(FolderCopyWindow::CloseQuestion), 2);
    QVERIFY(!QFileInfo::exists(m_out->filePath(QStringLiteral("dst2/c.bin"))));
}

void SettingsWindowsTest::skinRenameOntoAnExistingNameFails()
{
    const QString hf = m_out->filePath(QStringLiteral("Hf"));
    QDir().mkpath(hf);
    writeFile(hf, QStringLiteral("a.she"), "QWidget { color: red; }");
    writeFile(hf, QStringLiteral("b.she"), "QWidget { color: blue; }");
    Config config(m_out->filePath(QStringLiteral("Config.ini")));
    SkinsWindow w(hf, config);
    w.show();
    QCOMPARE(OuterSize::designed(&w), QSize(266, 310));
    QCOMPARE(w.list()->geometry(), QRect(8, 32, 160, 232));
    QCOMPARE(w.list()->count(), 2);
    TestHome::grab(&w, QStringLiteral("skins"));

    w.list()->setCurrentRow(0);
    for (const QString& bad :
         {QStringLiteral("b"), QStringLiteral("../x"), QStringLiteral("sub/x"), QStringLiteral("")}) {
        m_prompter->answerText(bad);
        w.renameSelected();
        QCOMPARE(m_prompter->lastText(), QStringLiteral("改名失败!"));
    }
    QCOMPARE(readFile(QDir(hf).filePath(QStringLiteral("a.she"))), QByteArray("QWidget { color: red; }"));
    QCOMPARE(readFile(QDir(hf).filePath(QStringLiteral("b.she"))), QByteArray("QWidget { color: blue; }"));
    QCOMPARE(QDir(m_out->path()).entryList(QDir::Files), QStringList());

    m_prompter->answerText(QStringLiteral("红色"));
    w.renameSelected();
    QCOMPARE(SkinFolder(hf).names(), QStringList({QStringLiteral("b.she"), QStringLiteral("红色.she")}));
    QCOMPARE(w.list()->currentItem()->text(), QStringLiteral("红色.she"));
}

void SettingsWindowsTest::skinsKeepRemoveAndSwitchOff()
{
    const QString hf = m_out->filePath(QStringLiteral("Hf"));
    QDir().mkpath(hf);
    writeFile(hf, QStringLiteral("a.she"), "QWidget { }");
    writeFile(hf, QStringLiteral("b.she"), "QWidget { }");
    Config config(m_out->filePath(QStringLiteral("Config.ini")));
    SkinsWindow w(hf, config);
    w.show();

    click(unit<QPushButton>(&w, QStringLiteral("确定按钮")));
    QCOMPARE(m_prompter->lastText(), SkinsWindow::SelectOne);
    w.list()->setCurrentRow(1);
    click(unit<QPushButton>(&w, QStringLiteral("确定按钮")));
    QCOMPARE(m_prompter->lastText(), QStringLiteral("保存完成！"));
    QCOMPARE(Config(config.path()).value(Config::SkinSection, Config::SkinKey),
             QDir(hf).filePath(QStringLiteral("b.she")));

    click(unit<QPushButton>(&w, QStringLiteral("按钮1")));
    QCOMPARE(m_prompter->lastText(), QStringLiteral("保存完成！"));
    QCOMPARE(Config(config.path()).value(Config::SkinSection, Config::SkinKey), QStringLiteral("NO"));

    w.list()->setCurrentRow(0);
    m_prompter->answerNo();
    w.removeSelected();
    QCOMPARE(m_prompter->lastText(), QStringLiteral("确定删除选中皮肤文件a.she吗？"));
    QCOMPARE(w.list()->count(), 2);
    m_prompter->answerYes();
    w.removeSelected();
    QCOMPARE(SkinFolder(hf).names(), QStringList{QStringLiteral("b.she")});
    QCOMPARE(w.list()->count(), 1);
    QCOMPARE(w.popupMenu()->actions().size(), 2);
}

KV_REGISTER_TEST(SettingsWindowsTest)
#include "SettingsWindowsTest.moc"
