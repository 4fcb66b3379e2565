#include "common/TestHome.h"
#include "common/TestRegistry.h"

#include "platform/Config.h"
#include "shell/ui/AboutWindow.h"
#include "shell/ui/GuideWindow.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>

class GuideAboutWindowTest : public QObject {
    Q_OBJECT
private slots:
    void guideUnits_data();
    void guideUnits();
    void guideFlagWrittenWhenTicked();
    void guideFlagKeepsOtherSettings();
    void guideOfferHonoursFlag();
    void guideEscCloses();
    void aboutUnits();
    void aboutEscCloses();
    void draggedByTheirBackground();
};

void GuideAboutWindowTest::guideUnits_data()
{
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("bold");
    QTest::newRow("标签5") << "标签5" << QPoint(24, 16) << "第一步：文件分组" << true;
    QTest::newRow("标签6") << "标签6" << QPoint(80, 40)
                           << "选择左侧文件服务器-分组目录，右键-增加分组、修改分组、删除分组。" << false;
    QTest::newRow("标签1") << "标签1" << QPoint(24, 72) << "第二步：添加一个文件" << true;
    QTest::newRow("标签3") << "标签3" << QPoint(80, 104)
                           << "方法一：点击工具条【增加】按钮，进行单个文件的入库操作。\n\n"
                              "方法二：选择左侧文件服务器-分组目录，右键-向当前分组增加文件。"
                           << false;
    QTest::newRow("标签2") << "标签2" << QPoint(24, 152) << "第三步：添加一组文件" << true;
    QTest::newRow("标签4") << "标签4" << QPoint(80, 176)
                           << "选择左侧文件服务器-分组目录，右键-数据导入，一次批量导入若个文件。" << false;
    QTest::newRow("标签7") << "标签7" << QPoint(24, 208) << "第四步：其他操作" << true;
    QTest::newRow("标签8") << "标签8" << QPoint(80, 232)
                           << "单击工具条【设置】按钮，可进行系统设置、权限管理、修改口令等操作。" << false;
}

void GuideAboutWindowTest::guideUnits()
{
    QFETCH(QString, unit);
    QFETCH(QPoint, at);
    QFETCH(QString, text);
    QFETCH(bool, bold);
    QTemporaryDir dir;
    Config config(dir.filePath(QStringLiteral("Config.ini")));
    GuideWindow w(config);
    QCOMPARE(w.windowTitle(), QStringLiteral("如何开始？"));
    QCOMPARE(w.size(), QSize(503, 354));
    auto* l = w.findChild<QLabel*>(unit);
    QVERIFY(l);
    QCOMPARE(l->pos(), at);
    QTextDocument doc;
    doc.setHtml(l->text());
    // A rich-text label's empty line holds a single blank.
    const QString shown = l->textFormat() == Qt::RichText
        ? doc.toPlainText().replace(QStringLiteral("\n \n"), QStringLiteral("\n\n"))
        : l->text();
    QCOMPARE(shown, text);
    QCOMPARE(l->font().bold(), bold);
    // The whole text is visible within the window.
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(l->geometry().right() < w.width());
    if (l->textFormat() != Qt::RichText)
        QVERIFY2(l->fontMetrics().horizontalAdvance(l->text()) <= l->width(), qPrintable(unit));
    else
        QVERIFY(l->sizeHint().height() <= l->height());

    auto* box = w.findChild<QCheckBox*>(QStringLiteral("选择框1"));
    QVERIFY(box);
    QCOMPARE(box->geometry(), QRect(24, 280, 296, 24));
    QCOMPARE(box->text(), QStringLiteral("我知道了，下次登录系统不要再弹出"));
    QVERIFY(!box->isChecked());
    auto* ok = w.findChild<QPushButton*>(QStringLiteral("确定按钮"));
    QVERIFY(ok);
    QCOMPARE(ok->geometry(), QRect(384, 280, 64, 24));
    QCOMPARE(ok->text(), QStringLiteral("确定"));
}

void GuideAboutWindowTest::guideFlagWrittenWhenTicked()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Config.ini"));
    Config config(path);
    QVERIFY(!GuideWindow::isSuppressed(config));
    {
        QPointer<GuideWindow> w = GuideWindow::showGuide(config);
        QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("确定按钮")), Qt::LeftButton);
        QTRY_VERIFY(!w);
        QVERIFY(!QFile::exists(path));  // unticked: nothing written
    }
    QPointer<GuideWindow> w = GuideWindow::showGuide(config);
    w->findChild<QCheckBox*>(QStringLiteral("选择框1"))->setChecked(true);
    QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("确定按钮")), Qt::LeftButton);
    QTRY_VERIFY(!w);
    QVERIFY(QFile::exists(path));
    Config reread(path);
    QCOMPARE(reread.value(QStringLiteral("xd"), QStringLiteral("qd")), QStringLiteral("1"));
    QVERIFY(GuideWindow::isSuppressed(reread));
}

void GuideAboutWindowTest::guideFlagKeepsOtherSettings()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Config.ini"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[date]\r\ndb=D:\\files.dat\r\n[dl]\r\nyh=Admin\r\n");
    f.close();
    Config config(path);
    QPointer<GuideWindow> w = GuideWindow::showGuide(config);
    w->findChild<QCheckBox*>(QStringLiteral("选择框1"))->setChecked(true);
    QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("确定按钮")), Qt::LeftButton);
    QTRY_VERIFY(!w);
    Config reread(path);
    QVERIFY(GuideWindow::isSuppressed(reread));
    QCOMPARE(reread.value(QStringLiteral("date"), QStringLiteral("db")), QStringLiteral("D:\\files.dat"));
    QCOMPARE(reread.value(QStringLiteral("dl"), QStringLiteral("yh")), QStringLiteral("Admin"));
}

void GuideAboutWindowTest::guideOfferHonoursFlag()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Config.ini"));
    Config config(path);
    QPointer<GuideWindow> offered = GuideWindow::offer(config);
    QVERIFY(offered);
    QVERIFY(offered->isVisible());
    delete offered;

    // The flag written by someone else meanwhile is seen at the next offer.
    Config other(path);
    QVERIFY(other.setValue(QStringLiteral("xd"), QStringLiteral("qd"), QStringLiteral("1")));
    QVERIFY(!GuideWindow::offer(config));
    // Showing it on request ignores the flag.
    QPointer<GuideWindow> shown = GuideWindow::showGuide(config);
    QVERIFY(shown && shown->isVisible());
    delete shown;

    // Any other value leaves the guide offered.
    QVERIFY(other.setValue(QStringLiteral("xd"), QStringLiteral("qd"), QStringLiteral("0")));
    offered = GuideWindow::offer(config);
    QVERIFY(offered);
    delete offered;
}

void GuideAboutWindowTest::guideEscCloses()
{
    QTemporaryDir dir;
    Config config(dir.filePath(QStringLiteral("Config.ini")));
    QPointer<GuideWindow> w = GuideWindow::showGuide(config);
    QVERIFY(QTest::qWaitForWindowExposed(w));
    w->findChild<QCheckBox*>(QStringLiteral("选择框1"))->setChecked(true);
    QTest::keyClick(w, Qt::Key_Escape);
    QTRY_VERIFY(!w);
    // Esc is not "确定": nothing written.
    QVERIFY(!QFile::exists(config.path()));
}

void GuideAboutWindowTest::aboutUnits()
{
    AboutWindow w;
    QCOMPARE(w.windowTitle(), QStringLiteral("关于"));
    QCOMPARE(w.size(), QSize(402, 269));
    QCOMPARE(w.minimumSize(), w.maximumSize());
    QVERIFY(!(w.windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
    auto* picture = w.findChild<QLabel*>(QStringLiteral("标签1"));
    QVERIFY(picture);
    QCOMPARE(picture->geometry(), QRect(0, 0, 398, 66));
    QCOMPARE(picture->pixmap().size(), QSize(401, 66));
    auto* product = w.findChild<QLabel*>(QStringLiteral("标签4"));
    QVERIFY(product);
    QCOMPARE(product->geometry(), QRect(24, 72, 288, 24));
    QCOMPARE(product->text(), QStringLiteral("Korvane文件管理系统(单机版) v3.1"));
    QVERIFY(product->font().bold());
    QCOMPARE(product->font().pixelSize(), 13);
    auto* text = w.findChild<QPlainTextEdit*>(QStringLiteral("编辑框1"));
    QVERIFY(text);
    QCOMPARE(text->geometry(), QRect(16, 184, 368, 40));
    QVERIFY(text->isReadOnly());
    QCOMPARE(text->font().pixelSize(), 12);
    QCOMPARE(text->toPlainText(), QStringLiteral("\n 机关企事业信息化首选，文件资源管理更科学、更规范、更安全！"));
}

void GuideAboutWindowTest::aboutEscCloses()
{
    QPointer<AboutWindow> w = AboutWindow::showAbout();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QTest::keyClick(w, Qt::Key_Escape);
    QTRY_VERIFY(!w);
}

void GuideAboutWindowTest::draggedByTheirBackground()
{
    QTemporaryDir dir;
    Config config(dir.filePath(QStringLiteral("Config.ini")));
    QPointer<GuideWindow> guide = GuideWindow::showGuide(config);
    QPointer<AboutWindow> about = AboutWindow::showAbout();
    struct Cleanup {
        QPointer<GuideWindow>& g;
        QPointer<AboutWindow>& a;
        ~Cleanup()
        {
            delete g;
            delete a;
        }
    } cleanup{guide, about};
    for (QWidget* w : {static_cast<QWidget*>(guide.data()), static_cast<QWidget*>(about.data())}) {
        QVERIFY(QTest::qWaitForWindowExposed(w));
        w->move(100, 100);
        const QPoint start = w->pos();
        // A spot of bare background in both windows.
        const QPoint grip = w == guide.data() ? QPoint(480, 330) : QPoint(395, 250);
        QVERIFY(w->childAt(grip) == nullptr);
        QTest::mousePress(w, Qt::LeftButton, {}, grip);
        QTest::mouseMove(w, grip + QPoint(30, 20));
        QTest::mouseRelease(w, Qt::LeftButton, {}, grip + QPoint(30, 20));
        QTRY_COMPARE(w->pos(), start + QPoint(30, 20));
    }
}

KV_REGISTER_TEST(GuideAboutWindowTest)
#include "GuideAboutWindowTest.moc"
