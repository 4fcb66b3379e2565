#include "LogSupport.h"
#include "common/ScriptedPrompter.h"
#include "common/TestHome.h"
#include "common/TestInput.h"
#include "common/TestRegistry.h"
#include "common/WorkbookReader.h"

#include "platform/Clock.h"
#include "platform/WorkbookWriter.h"
#include "settings/LogBook.h"
#include "settings/LogModel.h"
#include "settings/ui/DeleteLogWindow.h"
#include "settings/ui/LogViewerWindow.h"
#include "platform/ui/JobWindow.h"
#include "shell/AppContext.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QLineEdit>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace {

struct Fixture {
    explicit Fixture(TestHome& h) : home(h), clock(QDateTime(QDate(2026, 3, 3), QTime(10, 0))) { setAppClock(&clock); }
    ~Fixture() { setAppClock(nullptr); }
    std::unique_ptr<LogViewerWindow> open()
    {
        auto w = std::make_unique<LogViewerWindow>(home.store(), home.context().currentOperator);
        w->setWorkbookFolder(folder.filePath(QStringLiteral("private")));
        w->setOpener([this](const QString& path) {
            opened.append(path);
            return true;
        });
        return w;
    }
    TestHome& home;
    FixedClock clock;
    QTemporaryDir folder;
    QStringList opened;
};

template <typename T> T* unit(QWidget* w, const char* name)
{
    return w->findChild<T*>(QString::fromUtf8(name));
}

// Clicks the toolbar button of an action as the operator would.
void press(LogViewerWindow* w, QAction* a)
{
    QToolBar* bar = unit<QToolBar>(w, "工具条1");
    QWidget* b = bar->widgetForAction(a);
    QVERIFY(b);
    QTest::mouseClick(b, Qt::LeftButton);
}

QStringList gridContents(LogViewerWindow* w)
{
    QStringList out;
    LogModel* m = w->model();
    for (int r = 0; r < m->rowCount(); ++r)
        out << m->data(m->index(r, 2)).toString();
    return out;
}

}  // namespace

class LogViewerWindowTest : public QObject {
    Q_OBJECT
private slots:
    void opensOnThisMonthNewestFirst()
    {
        TestHome home;
        Fixture f(home);
        DataStore& s = home.store();
        QVERIFY(addLine(s, "2026-02-28 23:59:59", "Admin", "上月"));
        QVERIFY(addLine(s, "2026-03-01 00:00:00", "Admin", "月初"));
        QVERIFY(addLine(s, "2026-03-03 09:00:00", "Admin", "今天"));
        QVERIFY(addLine(s, "2026-03-04 00:00:00", "Admin", "明天"));
        QVERIFY(s.execute(QStringLiteral("insert into czygl(yhm,zt) values ('张三','可用'),('李四','停用')")));
        auto w = f.open();
        w->show();
        QCOMPARE(w->windowTitle(), QStringLiteral("系统日志"));
        QCOMPARE(unit<QDateEdit>(w.get(), "日期框1")->date(), QDate(2026, 3, 1));
        QCOMPARE(unit<QDateEdit>(w.get(), "日期框2")->date(), QDate(2026, 3, 3));
        QComboBox* ops = unit<QComboBox>(w.get(), "组合框1");
        QCOMPARE(ops->count(), 3);
        QCOMPARE(ops->itemText(1), QStringLiteral("Admin"));
        QCOMPARE(ops->itemText(2), QStringLiteral("张三"));
        QCOMPARE(gridContents(w.get()), (QStringList{"今天", "月初"}));
        QCOMPARE(w->statusText(), QStringLiteral(" 日志数:2"));
        QTableView* grid = unit<QTableView>(w.get(), "高级表格1");
        QCOMPARE(grid->geometry(), QRect(0, 40, 760, 448));
        QCOMPARE(grid->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("操作时间"));
        QCOMPARE(unit<QProgressBar>(w.get(), "进度条1")->geometry(), QRect(0, 32, 752, 8));
        QCOMPARE(unit<QStatusBar>(w.get(), "状态条1")->geometry(), QRect(0, 489, 697, 20));
        QToolBar* bar = unit<QToolBar>(w.get(), "工具条1");
        QCOMPARE(bar->actions().size(), 5);
        for (QAction* a : bar->actions()) {
            QVERIFY(!a->icon().isNull());
            QVERIFY(!a->toolTip().isEmpty());
        }
        TestHome::grab(w.get(), QStringLiteral("log-viewer"));
    }

    void searchByOperatorContentAndDays()
    {
        TestHome home;
        Fixture f(home);
        DataStore& s = home.store();
        QVERIFY(addLine(s, "2026-01-10 10:00:00", "张三", "增加文件：0001 年度合同.doc"));
        QVERIFY(addLine(s, "2026-03-02 10:00:00", "Admin", "删除文件：0002 合同副本.doc"));
        QVERIFY(addLine(s, "2026-03-02 11:00:00", "Admin", "修改文件：完成100%"));
        QVERIFY(s.execute(QStringLiteral("insert into czygl(yhm,zt) values ('张三','可用')")));
        auto w = f.open();
        unit<QDateEdit>(w.get(), "日期框1")->setDate(QDate(2026, 1, 1));
        TestInput::typeText(unit<QLineEdit>(w.get(), "编辑框1"), QStringLiteral("合同"));
        press(w.get(), w->searchAction());
        QCOMPARE(gridContents(w.get()), (QStringList{"删除文件：0002 合同副本.doc", "增加文件：0001 年度合同.doc"}));
        QCOMPARE(w->statusText(), QStringLiteral(" 日志数:2"));

        unit<QComboBox>(w.get(), "组合框1")->setCurrentText(QStringLiteral("张三"));
        press(w.get(), w->searchAction());
        QCOMPARE(gridContents(w.get()), QStringList{"增加文件：0001 年度合同.doc"});

        unit<QComboBox>(w.get(), "组合框1")->setCurrentIndex(0);
        unit<QLineEdit>(w.get(), "编辑框1")->setText(QStringLiteral("%"));
        press(w.get(), w->searchAction());
        QCOMPARE(gridContents(w.get()), QStringList{"修改文件：完成100%"});

        // A reversed range shows nothing.
        unit<QLineEdit>(w.get(), "编辑框1")->clear();
        unit<QDateEdit>(w.get(), "日期框1")->setDate(QDate(2026, 3, 3));
        unit<QDateEdit>(w.get(), "日期框2")->setDate(QDate(2026, 3, 1));
        press(w.get(), w->searchAction());
        QVERIFY(gridContents(w.get()).isEmpty());
        QCOMPARE(w->statusText(), QStringLiteral(" 日志数:0"));
    }

    void emptyGridRefusesExportAndPrint()
    {
        TestHome home;
        Fixture f(home);
        auto w = f.open();
        ScriptedPrompter p;
        bool previewed = false;
        w->setPreviewer([&](const std::function<void(QPrinter*)>&) { previewed = true; });
        press(w.get(), w->exportAction());
        press(w.get(), w->printAction());
        QCOMPARE(p.messages(), (QStringList{"当前列表为空! 不能进行导出操作", "当前内容为空，不能进行导出操作。"}));
        QVERIFY(f.opened.isEmpty());
        QVERIFY(!previewed);
    }

    void exportWritesTheLinesShown()
    {
        TestHome home;
        Fixture f(home);
        DataStore& s = home.store();
        QVERIFY(addLine(s, "2026-03-01 08:00:00", "Admin", "0012"));
        QVERIFY(addLine(s, "2026-03-02 08:00:00", "张三", "增加文件：合同"));
        QVERIFY(addLine(s, "2026-02-02 08:00:00", "张三", "上月"));
        auto w = f.open();
        ScriptedPrompter p;
        press(w.get(), w->exportAction());
        QTRY_VERIFY(!w->isRunning());
        QCOMPARE(p.shown().size(), 0);
        QCOMPARE(f.opened.size(), 1);
        const WorkbookReader::Sheet sheet = WorkbookReader::read(f.opened.first());
        QCOMPARE(sheet.rows.size(), 4);
        QCOMPARE(sheet.rows.at(0), QStringList{"2026-03-01 - 2026-03-03 操作日志"});
        QCOMPARE(sheet.rows.at(1), (QStringList{"操作时间", "操作员", "操作内容"}));
        QCOMPARE(sheet.rows.at(2), (QStringList{"2026-03-02 08:00:00", "张三", "增加文件：合同"}));
        QCOMPARE(sheet.rows.at(3), (QStringList{"2026-03-01 08:00:00", "Admin", "0012"}));
        QVERIFY(sheet.stylesXml.contains(QStringLiteral("宋体")));
        QCOMPARE(w->windowTitle(), QStringLiteral("系统日志"));
    }

    void exportSaysHowManyCellsWereCut()
    {
        TestHome home;
        Fixture f(home);
        const QString longLine(WorkbookWriter::MaxCellChars + 5, QChar(0x65E5));
        QVERIFY(addLine(home.store(), "2026-03-01 08:00:00", "Admin", longLine));
        QVERIFY(addLine(home.store(), "2026-03-02 08:00:00", "Admin", longLine + QStringLiteral("又一行")));
        QVERIFY(addLine(home.store(), "2026-03-02 09:00:00", "Admin", "短"));
        auto w = f.open();
        ScriptedPrompter p;
        press(w.get(), w->exportAction());
        QTRY_VERIFY(!w->isRunning());
        // The list export's words and count, and the workbook still handed over.
        QCOMPARE(p.messages(), QStringList{"其中 2 个单元格超过 32767 个字符，已截断"});
        QCOMPARE(p.shown().first().icon, Prompter::Icon::Warning);
        QCOMPARE(f.opened.size(), 1);
        const WorkbookReader::Sheet sheet = WorkbookReader::read(f.opened.first());
        QCOMPARE(sheet.rows.at(3).value(2), longLine.left(WorkbookWriter::MaxCellChars));
    }

    void printsThroughThePreview()
    {
        TestHome home;
        Fixture f(home);
        DataStore& s = home.store();
        QVERIFY(s.begin());
        for (int i = 0; i < 300; ++i)
            QVERIFY(addLine(s, "2026-03-02 08:00:00", "Admin", QStringLiteral("行%1").arg(i)));
        QVERIFY(s.commit());
        auto w = f.open();
        const QString pdf = f.folder.filePath(QStringLiteral("log.pdf"));
        int pages = 0;
        w->setPreviewer([&](const std::function<void(QPrinter*)>&) {
            QPrinter printer(QPrinter::HighResolution);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            pages = w->printTo(&printer);
        });
        ScriptedPrompter p;
        press(w.get(), w->printAction());
        QCOMPARE(p.shown().size(), 0);
        QVERIFY(pages > 1);  // every line, not just those fetched into the grid
        QVERIFY(QFile(pdf).size() > 1000);
    }

    void printStopsBetweenPages()
    {
        TestHome home;
        Fixture f(home);
        DataStore& s = home.store();
        QVERIFY(s.begin());
        for (int i = 0; i < 300; ++i)
            QVERIFY(addLine(s, "2026-03-02 08:00:00", "Admin", QStringLiteral("行%1").arg(i)));
        QVERIFY(s.commit());
        auto w = f.open();
        w->show();
        auto pdf = [&](QPrinter& printer, const char* name) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(f.folder.filePath(QString::fromLatin1(name)));
        };
        int whole = 0;
        bool busy = false;
        w->setPreviewer([&](const std::function<void(QPrinter*)>& paint) {
            QPrinter all(QPrinter::HighResolution);
            pdf(all, "all.pdf");
            whole = w->printTo(&all);
            // The print runs under a window with "取消", pressed here at once.
            QTimer::singleShot(0, w.get(), [&] {
                auto* run = w->findChild<JobWindow*>();
                busy = run && run->isVisible() && QApplication::overrideCursor();
                if (run)
                    QTest::mouseClick(run->cancelButton(), Qt::LeftButton);
            });
            QPrinter stopped(QPrinter::HighResolution);
            pdf(stopped, "stopped.pdf");
            paint(&stopped);
        });
        press(w.get(), w->printAction());
        QVERIFY(whole > 2);
        QVERIFY(busy);
        QVERIFY(!QApplication::overrideCursor());
        // Only the page under way when "取消" was pressed.
        const QByteArray bytes = TestInput::readFile(f.folder.filePath(QStringLiteral("stopped.pdf")));
        QCOMPARE(QRegularExpression(QStringLiteral("/Count (\\d+)")).match(QString::fromLatin1(bytes)).captured(1),
                 QStringLiteral("1"));
    }

    void deleteWindowAsksDeletesAndReads()
    {
        TestHome home;
        Fixture f(home);
        DataStore& s = home.store();
        QVERIFY(addLine(s, "2026-02-28 23:59:59", "Admin", "上月"));
        QVERIFY(addLine(s, "2026-03-01 00:00:00", "Admin", "月初"));
        QVERIFY(addLine(s, "2026-03-02 12:00:00", "Admin", "昨天"));
        auto w = f.open();
        w->show();
        press(w.get(), w->deleteAction());
        DeleteLogWindow* d = w->deleteWindow();
        QVERIFY(d);
        QCOMPARE(d->windowTitle(), QStringLiteral("删除日志"));
        QCOMPARE(d->firstBox()->date(), QDate(2026, 3, 1));
        QCOMPARE(d->lastBox()->date(), QDate(2026, 3, 3));
        TestHome::grab(d, QStringLiteral("delete-log"));
        d->lastBox()->setDate(QDate(2026, 3, 1));

        ScriptedPrompter p;
        p.answerNo();
        QTest::mouseClick(unit<QPushButton>(d, "确定按钮"), Qt::LeftButton);
        QCOMPARE(p.shown().first().text, QStringLiteral("确定清除 2026-03-01 至 2026-03-01 的日志吗?"));
        QCOMPARE(p.shown().first().title, QStringLiteral(" 提示"));
        QCOMPARE(lineCount(s), qint64(3));

        p.clear();
        p.answerYes();
        QTest::mouseClick(unit<QPushButton>(d, "确定按钮"), Qt::LeftButton);
        QCOMPARE(p.messages(), QStringList{"清除日志成功!"});
        QCOMPARE(lineCount(s, QStringLiteral("where nr=?"), {QStringLiteral("月初")}), qint64(0));
        QCOMPARE(lineCount(s, QStringLiteral("where nr like ?"), {QStringLiteral("删除日志：%")}), qint64(1));
        // The grid was read again: the deletion's own line shows.
        QCOMPARE(gridContents(w.get()), (QStringList{"删除日志：2026-03-01 至 2026-03-01，共 1 条", "昨天"}));
        QCOMPARE(w->statusText(), QStringLiteral(" 日志数:2"));
    }

    void deleteFailureKeepsTheLog()
    {
        TestHome home;
        Fixture f(home);
        DataStore& s = home.store();
        QVERIFY(addLine(s, "2026-03-02 12:00:00", "Admin", "昨天"));
        DeleteLogWindow d(s, home.context().currentOperator, QDate(2026, 3, 1), QDate(2026, 3, 3));
        ScriptedPrompter p;
        p.answerYes();
        s.failNextStatements(1, QStringLiteral("delete from rz"));
        QTest::mouseClick(unit<QPushButton>(&d, "确定按钮"), Qt::LeftButton);
        QCOMPARE(p.messages(), QStringList{"删除日志失败!"});
        QCOMPARE(lineCount(s), qint64(1));
    }

    void reversedRangeDeletesNothing()
    {
        TestHome home;
        Fixture f(home);
        DataStore& s = home.store();
        QVERIFY(addLine(s, "2026-03-02 12:00:00", "Admin", "昨天"));
        DeleteLogWindow d(s, home.context().currentOperator, QDate(2026, 3, 3), QDate(2026, 3, 1));
        ScriptedPrompter p;
        p.answerYes();
        QTest::mouseClick(unit<QPushButton>(&d, "确定按钮"), Qt::LeftButton);
        QCOMPARE(lineCount(s), qint64(1));
    }

    void closeArrowClosesTheWindow()
    {
        TestHome home;
        Fixture f(home);
        auto w = f.open();
        w->show();
        press(w.get(), w->closeAction());
        QVERIFY(!w->isVisible());
    }
};

KV_REGISTER_TEST(LogViewerWindowTest)
#include "LogViewerWindowTest.moc"
