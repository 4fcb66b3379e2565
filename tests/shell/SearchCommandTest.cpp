#include "MainWindowFixture.h"
#include "common/TestInput.h"
#include "common/TestRegistry.h"
#include "listing/FileListModel.h"
#include "listing/ui/FileListViews.h"
#include "listing/ui/SearchWindow.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

// "搜索文件" in the main window: the toolbar's "搜索" opens the search, whose
// clause the main window's list loads; the statistics line counts the matches.
class SearchCommandTest : public QObject {
    Q_OBJECT
private slots:
    void toolbarSearchFillsTheList();
};

void SearchCommandTest::toolbarSearchFillsTheList()
{
    MainWindowFixture f;
    DataStore& s = f.home.store();
    for (const char* name : {"合同一", "合同二", "报告"})
        QVERIFY(s.execute(QStringLiteral("insert into wj(bh,mc,fz,lx,dx,dxsz) values ('1',?,'','doc','1BYTE',1)"),
                          {QString::fromUtf8(name)}));
    QVERIFY(f.build());
    QVERIFY(f.window->list()->waitUntilLoaded());
    QCOMPARE(f.window->list()->model()->rowCount(), 3);
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* w = qobject_cast<SearchWindow*>(QApplication::activeModalWidget());
        if (!w)
            return;
        seen = true;
        auto* field = w->findChild<QComboBox*>(QStringLiteral("搜索字段组合框"));
        field->setCurrentIndex(field->findText(QStringLiteral("文件名称")));
        TestInput::typeText(w->findChild<QLineEdit*>(QStringLiteral("编辑框1")), QStringLiteral("合同"));
        QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("增加按钮")), Qt::LeftButton);
        QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("搜索按钮")), Qt::LeftButton);
    });
    QCOMPARE(f.window->runCommand(QString::fromLatin1(Cmd::Search)), CommandRouter::Outcome::Ran);
    QVERIFY(seen);
    QVERIFY(f.window->list()->waitUntilLoaded());
    QCOMPARE(f.window->list()->model()->rowCount(), 2);
    QVERIFY(f.window->statusPane(1)->text().startsWith(QStringLiteral(" 文件总数：2份")));
}

KV_REGISTER_TEST(SearchCommandTest)
#include "SearchCommandTest.moc"
