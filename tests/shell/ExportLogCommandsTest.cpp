#include "MainWindowFixture.h"
#include "common/TestRegistry.h"

#include "listing/ui/ExportExcelWindow.h"
#include "settings/ui/LogViewerWindow.h"
#include "store/Rights.h"

#include <QTest>

// "导出列表到Excel文件" and "系统日志" open their windows over the main
// window, once each, for an operator holding the right.
class ExportLogCommandsTest : public QObject {
    Q_OBJECT
private slots:
    void commandsOpenTheirWindowsOnce()
    {
        MainWindowFixture f;
        QVERIFY(f.build());
        QCOMPARE(f.window->runCommand(QString::fromLatin1(Cmd::FileExportExcel)), CommandRouter::Outcome::Ran);
        QCOMPARE(f.window->runCommand(QString::fromLatin1(Cmd::FileExportExcel)), CommandRouter::Outcome::Ran);
        QCOMPARE(MainWindowFixture::shownWindows<ExportExcelWindow>().size(), 1);
        ExportExcelWindow* e = MainWindowFixture::shownWindows<ExportExcelWindow>().first();
        QCOMPARE(e->parentWidget(), f.window.get());
        QCOMPARE(e->windowTitle(), QStringLiteral("导出Excel"));
        e->close();

        QCOMPARE(f.window->runCommand(QString::fromLatin1(Cmd::SystemLog)), CommandRouter::Outcome::Ran);
        QCOMPARE(f.window->runCommand(QString::fromLatin1(Cmd::SystemLog)), CommandRouter::Outcome::Ran);
        QCOMPARE(MainWindowFixture::shownWindows<LogViewerWindow>().size(), 1);
        MainWindowFixture::shownWindows<LogViewerWindow>().first()->close();
        QCOMPARE(f.prompter.unexpected(), 0);
    }

    void withoutTheRightNothingOpens()
    {
        MainWindowFixture f;
        QVERIFY(f.build());
        f.home.loginAs(QStringLiteral("clerk"), Rights::Add);
        f.window->operatorChanged();
        QCOMPARE(f.window->runCommand(QString::fromLatin1(Cmd::FileExportExcel)), CommandRouter::Outcome::Denied);
        QCOMPARE(f.window->runCommand(QString::fromLatin1(Cmd::SystemLog)), CommandRouter::Outcome::Denied);
        QVERIFY(MainWindowFixture::shownWindows<ExportExcelWindow>().isEmpty());
        QVERIFY(MainWindowFixture::shownWindows<LogViewerWindow>().isEmpty());
    }
};

KV_REGISTER_TEST(ExportLogCommandsTest)
#include "ExportLogCommandsTest.moc"
