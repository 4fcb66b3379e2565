#include "common/ScriptedPrompter.h"
#include "common/TestHome.h"
#include "common/TestRegistry.h"
#include "common/WorkbookReader.h"
#include "ListFixtures.h"

#include "listing/FileListModel.h"
#include "listing/WorkbookExport.h"
#include "listing/ui/ExportExcelWindow.h"
#include "listing/ui/FileListViews.h"
#include "listing/ui/WorkbookHandover.h"
#include "platform/Config.h"
#include "platform/Progress.h"
#include "platform/WorkbookWriter.h"
#include "shell/AppContext.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

struct Fixture {
    explicit Fixture(TestHome& h)
        : home(h), views(h.store(), h.context().protectedGroups, h.context().mainSettings, &window)
    {
        window.resize(1024, 768);
        views.reportView()->setGeometry(0, 0, 900, 300);
    }
    bool load()
    {
        views.load(FilterClause::everything());
        return views.waitUntilLoaded();
    }
    std::unique_ptr<ExportExcelWindow> open()
    {
        auto w = std::make_unique<ExportExcelWindow>(views, home.context().config, &window);
        w->setWorkbookFolder(folder.filePath(QStringLiteral("private")));
        w->setOpener([this](const QString& path) {
            opened.append(path);
            return opens;
        });
        return w;
    }
    QStringList written() const
    {
        return QDir(folder.filePath(QStringLiteral("private"))).entryList(QDir::Files | QDir::Hidden);
    }

    TestHome& home;
    QWidget window;
    FileListViews views;
    QTemporaryDir folder;
    QStringList opened;
    bool opens = true;
};

QListWidget* columnList(QWidget* w)
{
    return w->findChild<QListWidget*>(QStringLiteral("选择列表框1"));
}
QCheckBox* box(QWidget* w, const char* name)
{
    return w->findChild<QCheckBox*>(QString::fromUtf8(name));
}
QPushButton* button(QWidget* w, const char* name)
{
    return w->findChild<QPushButton*>(QString::fromUtf8(name));
}

void tick(QListWidget* list, int row, bool on = true)
{
    list->item(row)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
}

QStringList ticked(QListWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->checkState() == Qt::Checked)
            out << list->item(i)->text();
    return out;
}

// A Progress that asks to stop at once.
class StopAtOnce final : public Progress {
public:
    void setRange(qint64, qint64) override {}
    void setValue(qint64) override {}
    bool cancelled() const override { return true; }
};

}  // namespace

class ExportExcelWindowTest : public QObject {
    Q_OBJECT
private slots:
    void unitsAndColumnsInDisplayOrder()
    {
        TestHome home;
        Fixture f(home);
        addFile(home.store(), 1, QStringLiteral("合同"));
        QVERIFY(f.load());
        // The operator dragged the second column to the front.
        QHeaderView* header = f.views.reportView()->horizontalHeader();
        header->moveSection(1, 0);
        auto w = f.open();
        QCOMPARE(w->windowTitle(), QStringLiteral("导出Excel"));
        QStringList headers;
        for (const FileListViews::Column& c : f.views.shownColumns())
            headers << c.header;
        QListWidget* list = columnList(w.get());
        QStringList shown;
        for (int i = 0; i < list->count(); ++i)
            shown << list->item(i)->text();
        QCOMPARE(shown, headers);
        QCOMPARE(list->geometry(), QRect(8, 8, 408, 200));
        QCOMPARE(box(w.get(), "选择框1")->text(), QStringLiteral("全部选中"));
        QCOMPARE(box(w.get(), "选择框2")->text(), QStringLiteral("保存配置"));
        QCOMPARE(button(w.get(), "按钮1")->text(), QStringLiteral("开始导出(&I)"));
        QCOMPARE(button(w.get(), "按钮2")->text(), QStringLiteral("关闭(&C)"));
        QCOMPARE(w->findChild<QProgressBar*>(QStringLiteral("进度条2"))->geometry(), QRect(72, 296, 344, 16));
        QVERIFY(ticked(list).isEmpty());
        w->show();
        TestHome::grab(w.get(), QStringLiteral("export-excel"));
    }

    void tickAllAndUntickAll()
    {
        TestHome home;
        Fixture f(home);
        QVERIFY(f.load());
        auto w = f.open();
        w->show();
        QListWidget* list = columnList(w.get());
        QTest::mouseClick(box(w.get(), "选择框1"), Qt::LeftButton);
        QCOMPARE(ticked(list).size(), list->count());
        QTest::mouseClick(box(w.get(), "选择框1"), Qt::LeftButton);
        QVERIFY(ticked(list).isEmpty());
    }

    void refusalsInTheirOrder()
    {
        TestHome home;
        Fixture f(home);
        QVERIFY(f.load());  // an empty list
        auto w = f.open();
        ScriptedPrompter p;
        // No column ticked: refused first, though the list is empty too.
        QTest::mouseClick(button(w.get(), "按钮1"), Qt::LeftButton);
        QCOMPARE(p.messages(), QStringList{WorkbookExport::NoColumn});
        QCOMPARE(p.lastTitle(), QStringLiteral("提示信息"));
        tick(columnList(w.get()), 0);
        p.clear();
        QTest::mouseClick(button(w.get(), "按钮1"), Qt::LeftButton);
        QCOMPARE(p.messages(), QStringList{WorkbookExport::EmptyList});
        QVERIFY(f.written().isEmpty());
        QVERIFY(f.opened.isEmpty());
        // The choices stay.
        QCOMPARE(ticked(columnList(w.get())).size(), 1);
    }

    void rowsAsTheListShowsThem()
    {
        TestHome home;
        Fixture f(home);
        addFile(home.store(), 1, QStringLiteral("0012"));
        addFile(home.store(), 2, QStringLiteral("2024-01-02"));
        addFile(home.store(), 3, QStringLiteral("12345678901234567890"));
        QVERIFY(f.load());
        auto w = f.open();
        w->show();
        ScriptedPrompter p;
        QTest::mouseClick(box(w.get(), "选择框1"), Qt::LeftButton);
        QTest::mouseClick(button(w.get(), "按钮1"), Qt::LeftButton);
        QTRY_VERIFY(!w->isRunning());
        QCOMPARE(p.shown().size(), 0);
        QCOMPARE(f.opened.size(), 1);
        QCOMPARE(f.opened.first(), w->lastWorkbook());
        QVERIFY(f.opened.first().endsWith(QLatin1String(".xlsx")));
        QCOMPARE(QFileInfo(f.opened.first()).absolutePath(), f.folder.filePath(QStringLiteral("private")));
        QCOMPARE(QFileInfo(f.opened.first()).permissions() & (QFile::ReadOther | QFile::ReadGroup),
                 QFile::Permissions());
        QCOMPARE(w->windowTitle(), QStringLiteral("导出Excel"));
        QCOMPARE(w->findChild<QProgressBar*>(QStringLiteral("进度条2"))->value(),
                 w->findChild<QProgressBar*>(QStringLiteral("进度条2"))->maximum());

        const WorkbookReader::Sheet s = WorkbookReader::read(f.opened.first());
        QVERIFY(s.ok);
        FileListModel* m = f.views.model();
        QCOMPARE(s.rows.size(), m->rowCount() + 1);
        QStringList headers;
        for (const FileListViews::Column& c : f.views.shownColumns())
            headers << c.header;
        QCOMPARE(s.rows.first().mid(0, headers.size()), headers);
        for (int r = 0; r < m->rowCount(); ++r)
            for (int c = 0; c < m->columnCount(); ++c)
                QCOMPARE(s.cells.value(WorkbookWriter::columnName(c) + QString::number(r + 2)), m->textAt(r, c));
        // Leading zeros, long digit strings and date-like texts unchanged.
        QVERIFY(s.sheetXml.contains(QLatin1String(">0000000001<")));
        QVERIFY(s.sheetXml.contains(QLatin1String(">0012<")));
        QVERIFY(s.sheetXml.contains(QLatin1String(">12345678901234567890<")));
        QVERIFY(s.sheetXml.contains(QLatin1String(">2024-01-02<")));
        QVERIFY(!s.sheetXml.contains(QLatin1String("<v>")));  // no cell became a number
    }

    void oneRowGivesTwoRows()
    {
        TestHome home;
        Fixture f(home);
        addFile(home.store(), 7, QStringLiteral("报告"));
        QVERIFY(f.load());
        auto w = f.open();
        ScriptedPrompter p;
        tick(columnList(w.get()), 0);
        tick(columnList(w.get()), 1);
        QTest::mouseClick(button(w.get(), "按钮1"), Qt::LeftButton);
        QTRY_VERIFY(!w->isRunning());
        const WorkbookReader::Sheet s = WorkbookReader::read(w->lastWorkbook());
        QCOMPARE(s.rows.size(), 2);
        QCOMPARE(s.rows.at(0),
                 (QStringList{columnList(w.get())->item(0)->text(), columnList(w.get())->item(1)->text()}));
        QCOMPARE(s.rows.at(1),
                 (QStringList{f.views.model()->textAt(0, f.views.reportView()->horizontalHeader()->logicalIndex(0)),
                              f.views.model()->textAt(0, f.views.reportView()->horizontalHeader()->logicalIndex(1))}));
    }

    void savedColumnsAreOfferedTicked()
    {
        TestHome home;
        Fixture f(home);
        addFile(home.store(), 1, QStringLiteral("合同"));
        QVERIFY(f.load());
        QStringList chosen;
        {
            auto w = f.open();
            ScriptedPrompter p;
            QListWidget* list = columnList(w.get());
            tick(list, 0);
            tick(list, 2);
            chosen = ticked(list);
            QTest::mouseClick(box(w.get(), "选择框2"), Qt::LeftButton);
            QTest::mouseClick(button(w.get(), "按钮1"), Qt::LeftButton);
            QTRY_VERIFY(!w->isRunning());
            QCOMPARE(p.shown().size(), 0);
        }
        Config reread(home.context().config.path());
        QCOMPARE(reread.value(ExportExcelWindow::ConfigSection, ExportExcelWindow::ConfigKey).split(',').size(), 2);
        auto again = f.open();
        QCOMPARE(ticked(columnList(again.get())), chosen);
        QVERIFY(box(again.get(), "选择框2")->isChecked());
    }

    void noProgramOffersToSaveElsewhere()
    {
        TestHome home;
        Fixture f(home);
        addFile(home.store(), 1, QStringLiteral("合同"));
        QVERIFY(f.load());
        f.opens = false;
        auto w = f.open();
        ScriptedPrompter p;
        const QString target = f.folder.filePath(QStringLiteral("清单"));
        p.answerYes();
        p.answerText(target);
        tick(columnList(w.get()), 0);
        QTest::mouseClick(button(w.get(), "按钮1"), Qt::LeftButton);
        QTRY_VERIFY(!w->isRunning());
        QCOMPARE(p.messages(), QStringList{WorkbookExport::NoProgram});
        QCOMPARE(p.shown().at(1).kind, ScriptedPrompter::Kind::Question);
        QVERIFY(p.shown().at(1).yesDefault);  // Enter saves the work
        QCOMPARE(p.shown().at(2).kind, ScriptedPrompter::Kind::SaveFile);
        QCOMPARE(WorkbookReader::read(target + QStringLiteral(".xlsx")).rows.size(), 2);
        QVERIFY(f.written().isEmpty());  // the private copy went
        QCOMPARE(p.unexpected(), 0);
    }

    void noAssociatedProgramIsAFailedHandOver()
    {
        // The desktop names no program for workbooks: nothing is handed to
        // an opener that would only fail out of sight.
        const WorkbookHandover::Opener opener =
            WorkbookHandover::desktopOpener([] { return std::optional<QString>(QString()); });
        QVERIFY(!opener(QStringLiteral("/nonexistent/清单.xlsx")));
    }

    void noProgramAndNoSaveKeepsNothingElse()
    {
        TestHome home;
        Fixture f(home);
        addFile(home.store(), 1, QStringLiteral("合同"));
        QVERIFY(f.load());
        f.opens = false;
        auto w = f.open();
        ScriptedPrompter p;
        p.answerNo();
        tick(columnList(w.get()), 0);
        QTest::mouseClick(button(w.get(), "按钮1"), Qt::LeftButton);
        QTRY_VERIFY(!w->isRunning());
        QCOMPARE(p.messages(), QStringList{WorkbookExport::NoProgram});
        QCOMPARE(p.pendingAnswers(), 0);
        QCOMPARE(p.unexpected(), 0);
    }

    void closeStopsARunUnderWay()
    {
        TestHome home;
        Fixture f(home);
        QVERIFY(home.store().begin());
        for (int i = 1; i <= 30000; ++i)
            QVERIFY(addFile(home.store(), i, QStringLiteral("文件%1").arg(i)) > 0);
        QVERIFY(home.store().commit());
        QVERIFY(f.load());
        auto w = f.open();
        w->show();
        ScriptedPrompter p;
        QTest::mouseClick(box(w.get(), "选择框1"), Qt::LeftButton);
        // "关闭(&C)" pressed while the rows are written: the window is
        // served between them, the run stops and stays open.
        bool sawRun = false;
        QTimer poll;
        poll.setInterval(1);
        connect(&poll, &QTimer::timeout, w.get(), [&] {
            if (!w->isRunning() || sawRun)
                return;
            sawRun = w->windowTitle().startsWith(QStringLiteral("导出Excel -- "));
            QTest::mouseClick(button(w.get(), "按钮2"), Qt::LeftButton);
        });
        poll.start();
        QTest::mouseClick(button(w.get(), "按钮1"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!w->isRunning(), 30000);
        poll.stop();
        QVERIFY(sawRun);
        QVERIFY(!w->isRunning());
        QVERIFY(w->isVisible());
        QCOMPARE(p.shown().size(), 0);
        QVERIFY(f.opened.isEmpty());
        QVERIFY(f.written().isEmpty());
        QCOMPARE(w->windowTitle(), QStringLiteral("导出Excel"));
    }

    void thirtyColumnsGoPastZ()
    {
        QTemporaryDir dir;
        WorkbookExport::Table t;
        QStringList headers;
        for (int c = 0; c < 30; ++c)
            headers << QStringLiteral("列%1").arg(c + 1);
        t.leading = {headers};
        t.rows = 2;
        t.columns = 30;
        t.cell = [](qint64 r, int c) { return QStringLiteral("%1-%2").arg(r).arg(c); };
        const QString path = dir.filePath(QStringLiteral("wide.xlsx"));
        QVERIFY(WorkbookExport::write(t, path));
        const WorkbookReader::Sheet s = WorkbookReader::read(path);
        QCOMPARE(s.rows.size(), 3);
        QCOMPARE(s.rows.at(0), headers);
        QCOMPARE(s.cells.value(QStringLiteral("Z1")), QStringLiteral("列26"));
        QCOMPARE(s.cells.value(QStringLiteral("AA1")), QStringLiteral("列27"));
        QCOMPARE(s.cells.value(QStringLiteral("AD3")), QStringLiteral("1-29"));
    }

    void cancelledExportLeavesNothing()
    {
        QTemporaryDir dir;
        WorkbookExport::Table t;
        t.rows = 100000;
        t.columns = 1;
        t.cell = [](qint64 r, int) { return QString::number(r); };
        StopAtOnce stop;
        const QString path = dir.filePath(QStringLiteral("stopped.xlsx"));
        const Status s = WorkbookExport::write(t, path, &stop);
        QVERIFY(!s);
        QVERIFY(s.cancelled());
        QVERIFY(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }

    void tooManyRowsRefusedBeforeWriting()
    {
        QTemporaryDir dir;
        WorkbookExport::Table t;
        t.leading = {{QStringLiteral("h")}};
        t.rows = WorkbookWriter::MaxRows;
        t.columns = 1;
        t.cell = [](qint64, int) { return QString(); };
        const Status s = WorkbookExport::write(t, dir.filePath(QStringLiteral("big.xlsx")));
        QCOMPARE(s.message(), WorkbookExport::TooManyRows);
        QVERIFY(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }
};

KV_REGISTER_TEST(ExportExcelWindowTest)
#include "ExportExcelWindowTest.moc"
