#include "common/TestHome.h"
#include "common/TestRegistry.h"
#include "shell/ui/PermissionNotice.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {
void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
}

class PermissionNoticeTest : public QObject {
    Q_OBJECT
private slots:
    void frameAndUnits();
    void closesItselfAfterThreeTicks();
    void escapeCloses();
    void closeBoxCloses();
    void dragByBackground();
    void grabPicture();
};

void PermissionNoticeTest::frameAndUnits()
{
    QPointer<PermissionNotice> n = PermissionNotice::showNotice();
    QVERIFY(n);
    QVERIFY(n->isVisible());
    QCOMPARE(n->windowTitle(), QStringLiteral(" Korvane文件管理系统"));
    QCOMPARE(n->frameGeometry().size(), QSize(319, 127));
    QCOMPARE(n->minimumSize(), n->maximumSize());
    QVERIFY(n->windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(n->windowFlags() & Qt::WindowType_Mask, Qt::Tool);
    QVERIFY(!n->isModal());

    auto* icon = n->findChild<QToolButton*>(QStringLiteral("图形按钮1"));
    QVERIFY(icon);
    QCOMPARE(icon->geometry(), QRect(40, 24, 32, 32));
    const QImage img = PermissionNotice::infoIcon().toImage();
    QCOMPARE(img.size(), QSize(32, 32));
    const QColor ring = img.pixelColor(6, 16);
    QVERIFY(ring.blue() > ring.red() + 60);               // blue disc
    QCOMPARE(img.pixelColor(16, 20), QColor(Qt::white));  // white i
    QCOMPARE(img.pixelColor(0, 0).alpha(), 0);            // round

    auto* label = n->findChild<QLabel*>(QStringLiteral("标签1"));
    QVERIFY(label);
    QCOMPARE(label->text(), QStringLiteral("您没有此操作权限!"));
    QCOMPARE(label->geometry(), QRect(96, 24, 160, 32));
    QCOMPARE(label->font().pixelSize(), 16);

    auto* timer = n->findChild<QTimer*>(QStringLiteral("时钟1"));
    QVERIFY(timer);
    QCOMPARE(timer->interval(), 1000);
    QVERIFY(timer->isActive());
    n->close();
    flushDeletes();
    QVERIFY(!n);
}

void PermissionNoticeTest::closesItselfAfterThreeTicks()
{
    QPointer<PermissionNotice> n = PermissionNotice::showNotice();
    n->tick();
    n->tick();
    flushDeletes();
    QVERIFY(n);
    QVERIFY(n->isVisible());
    QCOMPARE(n->ticks(), 2);
    n->tick();
    flushDeletes();
    QVERIFY(!n);
}

void PermissionNoticeTest::escapeCloses()
{
    QPointer<PermissionNotice> n = PermissionNotice::showNotice();
    QTest::keyClick(n.data(), Qt::Key_Escape);
    flushDeletes();
    QVERIFY(!n);
}

void PermissionNoticeTest::closeBoxCloses()
{
    QPointer<PermissionNotice> n = PermissionNotice::showNotice();
    QVERIFY(n->close());
    flushDeletes();
    QVERIFY(!n);
}

void PermissionNoticeTest::dragByBackground()
{
    QPointer<PermissionNotice> n = PermissionNotice::showNotice();
    QVERIFY(QTest::qWaitForWindowExposed(n.data()));
    const QPoint background(20, 100);
    QCOMPARE(n->childAt(background), nullptr);
    const QPoint before = n->pos();
    QTest::mousePress(n.data(), Qt::LeftButton, {}, background);
    QTest::mouseMove(n.data(), background + QPoint(-30, 15));
    QTest::mouseRelease(n.data(), Qt::LeftButton, {}, background + QPoint(-30, 15));
    QCOMPARE(n->pos(), before + QPoint(-30, 15));
    // Dragging by the text moves it too; the label is background.
    QTest::mousePress(n.data(), Qt::LeftButton, {}, QPoint(120, 40));
    QTest::mouseMove(n.data(), QPoint(130, 40));
    QTest::mouseRelease(n.data(), Qt::LeftButton, {}, QPoint(130, 40));
    QCOMPARE(n->pos(), before + QPoint(-20, 15));
    n->close();
    flushDeletes();
}

void PermissionNoticeTest::grabPicture()
{
    QPointer<PermissionNotice> n = PermissionNotice::showNotice();
    QVERIFY(QTest::qWaitForWindowExposed(n.data()));
    const QString path = TestHome::grab(n.data(), QStringLiteral("permission-notice"));
    QVERIFY(QFile::exists(path));
    n->close();
    flushDeletes();
}

KV_REGISTER_TEST(PermissionNoticeTest)
#include "PermissionNoticeTest.moc"
