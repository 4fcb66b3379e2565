#include "settings/ui/LogViewerWindow.h"

#include "archive/ProtectedGroups.h"
#include "archive/ui/ImportRunsWindow.h"
#include "listing/WorkbookExport.h"
#include "platform/Clock.h"
#include "platform/PrivateFolder.h"
#include "platform/ProgramHome.h"
#include "platform/Prompter.h"
#include "platform/ui/JobWindow.h"
#include "platform/ui/OuterSize.h"
#include "settings/LogBook.h"
#include "settings/LogModel.h"
#include "settings/ui/DeleteLogWindow.h"
#include "store/CurrentOperator.h"
#include "store/Dictionary.h"
#include "store/Rights.h"
#include "store/StoreJob.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QToolBar>

namespace {

const QString kTitle = QStringLiteral("系统日志");

enum class Picture { Search, Export, Print, Delete, Close };

// The toolbar's pictures, painted for this window.
QIcon picture(Picture which)
{
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(2, 2);
    switch (which) {
    case Picture::Search: {
        // Binoculars: two barrels joined by a bridge.
        p.setPen(QPen(QColor(30, 30, 30), 1));
        p.setBrush(QColor(70, 70, 80));
        p.drawRoundedRect(QRectF(2, 3, 4, 7), 1, 1);
        p.drawRoundedRect(QRectF(10, 3, 4, 7), 1, 1);
        p.drawRect(QRectF(6, 5, 4, 3));
        p.setBrush(QColor(120, 180, 230));
        p.drawEllipse(QRectF(0.5, 8, 6.5, 6.5));
        p.drawEllipse(QRectF(9, 8, 6.5, 6.5));
        p.setPen(QPen(Qt::white, 1));
        p.drawPoint(QPointF(2.5, 10));
        p.drawPoint(QPointF(11, 10));
        break;
    }
    case Picture::Export: {
        // A green sheet with a white X and a grid.
        p.setPen(QPen(QColor(20, 90, 40), 1));
        p.setBrush(QColor(255, 255, 255));
        p.drawRect(QRectF(5.5, 1.5, 9, 13));
        p.setPen(QPen(QColor(120, 170, 130), 0.8));
        for (double y = 4.5; y < 14; y += 3)
            p.drawLine(QPointF(9, y), QPointF(14.5, y));
        p.setPen(QPen(QColor(20, 90, 40), 1));
        p.setBrush(QColor(33, 115, 70));
        p.drawRect(QRectF(1.5, 3.5, 8, 9));
        p.setPen(QPen(Qt::white, 1.6));
        p.drawLine(QPointF(3.5, 5.5), QPointF(7.5, 10.5));
        p.drawLine(QPointF(7.5, 5.5), QPointF(3.5, 10.5));
        break;
    }
    case Picture::Print: {
        // A printer with a sheet coming out.
        p.setPen(QPen(QColor(60, 60, 60), 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 1.5, 7, 5));
        p.setBrush(QColor(170, 170, 175));
        p.drawRoundedRect(QRectF(1.5, 6.5, 13, 6), 1.5, 1.5);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 10.5, 7, 4));
        p.setPen(QPen(QColor(60, 60, 60), 0.8));
        p.drawLine(QPointF(6, 12.5), QPointF(10, 12.5));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 180, 60));
        p.drawEllipse(QRectF(11.5, 8, 1.6, 1.6));
        break;
    }
    case Picture::Delete: {
        // A red cross.
        p.setPen(QPen(QColor(150, 0, 0), 4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
        p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
        p.setPen(QPen(QColor(230, 30, 30), 2.4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
        p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
        break;
    }
    case Picture::Close: {
        // An arrow leaving through a door.
        p.setPen(QPen(QColor(90, 60, 30), 1));
        p.setBrush(QColor(190, 140, 80));
        p.drawRect(QRectF(8.5, 1.5, 6, 13));
        QPainterPath arrow;
        arrow.moveTo(1, 8);
        arrow.lineTo(6, 3.5);
        arrow.lineTo(6, 6);
        arrow.lineTo(11, 6);
        arrow.lineTo(11, 10);
        arrow.lineTo(6, 10);
        arrow.lineTo(6, 12.5);
        arrow.closeSubpath();
        p.setPen(QPen(QColor(20, 70, 150), 1));
        p.setBrush(QColor(50, 130, 220));
        p.drawPath(arrow);
        break;
    }
    }
    p.end();
    pm.setDevicePixelRatio(2);
    return QIcon(pm);
}

}  // namespace

LogViewerWindow::LogViewerWindow(DataStore& store, const CurrentOperator& op, QWidget* parent)
    : JobDialog(parent), m_store(store), m_operator(op), m_folder(ProgramHome::extractionFolder()),
      m_opener(WorkbookHandover::desktopOpener())
{
    setObjectName(kTitle);
    setWindowTitle(kTitle);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    OuterSize::fix(this, {775, 537});

    auto label = [this](const char* name, const QString& text, const QRect& r) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QString::fromUtf8(name));
        l->setGeometry(r);
        return l;
    };
    label("标签1", QStringLiteral("日期"), {8, 8, 32, 20});
    m_first = new QDateEdit(this);
    m_first->setObjectName(QStringLiteral("日期框1"));
    m_first->setGeometry(40, 8, 112, 20);
    label("标签2", QStringLiteral("至"), {157, 8, 11, 20});
    m_last = new QDateEdit(this);
    m_last->setObjectName(QStringLiteral("日期框2"));
    m_last->setGeometry(168, 8, 112, 20);
    for (QDateEdit* box : {m_first, m_last}) {
        box->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        box->setCalendarPopup(true);
    }
    label("标签3", QStringLiteral("操作员"), {288, 8, 48, 20});
    m_operators = new QComboBox(this);
    m_operators->setObjectName(QStringLiteral("组合框1"));
    m_operators->setGeometry(336, 8, 96, 20);
    label("标签4", QStringLiteral("操作内容"), {440, 8, 56, 20});
    m_content = new QLineEdit(this);
    m_content->setObjectName(QStringLiteral("编辑框1"));
    m_content->setGeometry(496, 8, 104, 20);

    m_toolbar = new QToolBar(this);
    m_toolbar->setObjectName(QStringLiteral("工具条1"));
    m_toolbar->setGeometry(608, 8, 160, 24);
    m_toolbar->setIconSize(QSize(16, 16));
    m_toolbar->setMovable(false);
    m_toolbar->setFloatable(false);
    auto tool = [this](Picture pic, const char* name, const QString& tip) {
        QAction* a = m_toolbar->addAction(picture(pic), tip);
        a->setObjectName(QString::fromUtf8(name));
        a->setToolTip(tip);
        return a;
    };
    m_search = tool(Picture::Search, "查询", QStringLiteral("查询日志"));
    m_export = tool(Picture::Export, "导出", QStringLiteral("导出到Excel"));
    m_print = tool(Picture::Print, "打印", QStringLiteral("打印日志"));
    m_delete = tool(Picture::Delete, "删除", QStringLiteral("删除日志"));
    m_close = tool(Picture::Close, "关闭", QStringLiteral("关闭"));

    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("进度条1"));
    m_bar->setGeometry(0, 32, 752, 8);
    m_bar->setTextVisible(false);
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    setJobBar(m_bar);

    m_model = new LogModel(m_store, this);
    m_grid = new QTableView(this);
    m_grid->setObjectName(QStringLiteral("高级表格1"));
    m_grid->setGeometry(0, 40, 760, 448);
    m_grid->setModel(m_model);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setWordWrap(false);
    m_grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_grid->verticalHeader()->setDefaultSectionSize(20);
    m_grid->verticalHeader()->setDefaultAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_grid->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_grid->horizontalHeader()->setStretchLastSection(true);
    m_grid->setColumnWidth(0, 140);
    m_grid->setColumnWidth(1, 80);

    auto* statusBar = new QStatusBar(this);
    statusBar->setObjectName(QStringLiteral("状态条1"));
    statusBar->setGeometry(0, 489, 697, 20);
    statusBar->setSizeGripEnabled(false);
    m_status = new QLabel(statusBar);
    m_status->setObjectName(QStringLiteral("状态条1文本"));
    statusBar->addWidget(m_status, 1);
    m_undoImport = new QPushButton(QStringLiteral("撤销导入…"), this);
    m_undoImport->setObjectName(QStringLiteral("撤销导入按钮"));
    m_undoImport->setGeometry(697, 489, 74, 20);
    m_undoImport->setAutoDefault(false);
    m_undoImport->setToolTip(QStringLiteral("撤销最近的批量导入: 导入的文件移入回收站"));

    // The operator filter: empty for every operator, then those who may log in.
    m_operators->addItem(QString());
    m_operators->addItems(LogBook::usableOperators(m_store));

    const QDate today = appClock().now().date();
    m_first->setDate(QDate(today.year(), today.month(), 1));
    m_last->setDate(today);

    connect(m_search, &QAction::triggered, this, &LogViewerWindow::search);
    connect(m_export, &QAction::triggered, this, &LogViewerWindow::exportWorkbook);
    connect(m_print, &QAction::triggered, this, &LogViewerWindow::print);
    connect(m_delete, &QAction::triggered, this, &LogViewerWindow::openDeleteWindow);
    connect(m_close, &QAction::triggered, this, &LogViewerWindow::close);
    connect(m_undoImport, &QPushButton::clicked, this, &LogViewerWindow::undoImport);
    connect(m_content, &QLineEdit::returnPressed, this, &LogViewerWindow::search);
    connect(m_model, &LogModel::readFailed, this,
            [](const QString&) { prompter().message(LogBook::ReadFailed, {}, Prompter::Icon::Warning); });

    search();
}

LogViewerWindow::~LogViewerWindow() = default;

DeleteLogWindow* LogViewerWindow::deleteWindow() const
{
    return m_deleteWindow.data();
}

QString LogViewerWindow::statusText() const
{
    return m_status->text();
}

void LogViewerWindow::showCount()
{
    m_status->setText(QStringLiteral(" 日志数:") + QString::number(m_model->total()));
}

void LogViewerWindow::search()
{
    if (isRunning())
        return;
    m_bar->setValue(0);
    LogBook::Filter f;
    f.first = m_first->date();
    f.last = m_last->date();
    f.operatorName = m_operators->currentText();
    f.content = m_content->text();
    const Status read = m_model->setFilter(f);
    m_bar->setValue(100);
    showCount();
    if (!read)
        prompter().message(read.message(), {}, Prompter::Icon::Warning);
}

void LogViewerWindow::exportWorkbook()
{
    if (isRunning())
        return;
    if (m_model->total() == 0) {
        prompter().message(LogBook::EmptyExport, {}, Prompter::Icon::Information);
        return;
    }
    const Result<QString> path = WorkbookExport::newPath(m_folder, kTitle, m_guard);
    if (!path) {
        prompter().message(path.message(), {}, Prompter::Icon::Critical);
        return;
    }
    m_toolbar->setEnabled(false);
    m_path = path.value();
    m_job = std::make_unique<JobOf<int>>(
        kTitle,
        StoreJob::body<int>(
            m_store.location(), [filter = m_model->filter(), target = m_path](DataStore& store, JobContext& job) {
                int cut = 0;
                if (const Status written = LogBook::exportTo(store, filter, target, &job, &cut); !written)
                    return Result<int>(written.failure());
                return Result<int>(cut);
            }));
    follow(*m_job);
    connect(m_job.get(), &Job::rangeChanged, this, &LogViewerWindow::rangeShown);
    connect(m_job.get(), &Job::valueChanged, this, &LogViewerWindow::valueShown);
    connect(m_job.get(), &Job::finished, this, &LogViewerWindow::exported);
    m_job->start();
}

void LogViewerWindow::exported()
{
    const Result<int>& written = m_job->result();
    const Result<QString> path(m_path);
    const int cut = written.valueOr(0);
    m_toolbar->setEnabled(true);
    setWindowTitle(kTitle);
    if (!written) {
        m_bar->setValue(0);
        if (!written.cancelled())
            prompter().message(written.message(), {}, Prompter::Icon::Critical);
        return;
    }
    m_bar->setValue(m_bar->maximum());
    if (const Status restricted = PrivateFolder::restrictFile(path.value()); !restricted)
        prompter().message(PrivateFolder::withCause(WorkbookExport::NotPrivate, restricted.detail()), {},
                           Prompter::Icon::Warning);
    m_lastWorkbook = path.value();
    if (cut > 0)
        prompter().message(WorkbookExport::cutText(cut), {}, Prompter::Icon::Warning);
    WorkbookHandover::handOver(path.value(), m_opener, m_guard);
}

namespace {

// Paints the lines of filter inside span onto printer's pages; the number
// of pages. progress (may be null) hears the lines painted and is asked
// between pages whether to stop: a stop keeps the pages painted so far.
// It reads through store only, so it runs on any thread with a connection
// of its own there.
int paintLog(DataStore& store, const LogBook::Filter& filter, const LogBook::Extent& span, QPrinter* printer,
             Progress* progress)
{
    QPainter p;
    if (!p.begin(printer))
        return 0;
    QFont font(LogBook::FontName);
    font.setPointSizeF(9);
    p.setFont(font);
    const QRect page = printer->pageLayout().paintRectPixels(printer->resolution());
    const QRect area(0, 0, page.width(), page.height());
    const QFontMetrics fm(font, printer);
    const int lineHeight = fm.height() + fm.height() / 4;
    const int widths[3] = {area.width() * 24 / 100, area.width() * 12 / 100, area.width() * 64 / 100};
    const int gap = fm.horizontalAdvance(QLatin1Char(' '));
    int pages = 1;
    int y = 0;

    auto drawRow = [&](const QStringList& cells) {
        int x = 0;
        for (int c = 0; c < 3; ++c) {
            const QString text = fm.elidedText(cells.value(c), Qt::ElideRight, widths[c] - gap);
            p.drawText(QRect(x, y, widths[c] - gap, lineHeight), Qt::AlignLeft | Qt::AlignVCenter, text);
            x += widths[c];
        }
        y += lineHeight;
    };
    auto footer = [&] {
        p.drawText(QRect(0, area.height() - lineHeight, area.width(), lineHeight), Qt::AlignHCenter | Qt::AlignVCenter,
                   QStringLiteral("第 %1 页").arg(pages));
    };
    auto header = [&] {
        QFont bold = font;
        bold.setBold(true);
        p.setFont(bold);
        drawRow(LogBook::Titles);
        p.setFont(font);
        p.drawLine(0, y, area.width(), y);
    };

    p.drawText(QRect(0, y, area.width(), lineHeight * 2), Qt::AlignHCenter | Qt::AlignVCenter,
               LogBook::exportTitle(filter.first, filter.last));
    y += lineHeight * 2;
    header();
    const int bottom = area.height() - lineHeight * 2;
    qint64 before = span.lastId + 1;
    qint64 painted = 0;
    bool stopped = false;
    if (progress) {
        progress->setRange(0, span.lines);
        progress->setValue(0);
    }
    while (!stopped) {
        const Result<QList<LogBook::Line>> chunk = LogBook::read(store, filter, before, 1000, span.firstId);
        if (!chunk || chunk->isEmpty())
            break;
        for (const LogBook::Line& l : chunk.value()) {
            if (y + lineHeight > bottom) {
                footer();
                // Between pages: the bar moves on and "取消" is heard.
                if (progress) {
                    progress->setValue(painted);
                    if (progress->cancelled()) {
                        stopped = true;
                        break;
                    }
                }
                printer->newPage();
                ++pages;
                y = 0;
                header();
            }
            drawRow({l.time, l.operatorName, l.content});
            ++painted;
        }
        before = chunk->last().id;
    }
    // A stop came after a page's footer: only the last page still needs one.
    if (!stopped) {
        footer();
        if (progress)
            progress->setValue(painted);
    }
    p.end();
    return pages;
}

}  // namespace

namespace {
// The print job's progress: between pages the window's thread goes round its
// events twice (a click on "取消" among them) after the bar has moved, so a
// stop asked for while a page is under way ends the print after that page.
class PageByPage final : public Progress {
public:
    explicit PageByPage(JobContext& context) : m_context(context) {}
    void setRange(qint64 minimum, qint64 maximum) override { m_context.setRange(minimum, maximum); }
    void setValue(qint64 value) override { m_context.setValue(value); }
    bool cancelled() const override
    {
        return !m_context.onStartingThread([] {}) || !m_context.onStartingThread([] {}) || m_context.cancelled();
    }

private:
    JobContext& m_context;
};
}  // namespace

int LogViewerWindow::printTo(QPrinter* printer, Progress* progress)
{
    return paintLog(m_store, m_model->filter(), m_model->extent(), printer, progress);
}

void LogViewerWindow::print()
{
    if (isRunning())
        return;
    if (m_model->total() == 0) {
        prompter().message(LogBook::EmptyPrint, {}, Prompter::Icon::Information);
        return;
    }
    auto paint = [this](QPrinter* printer) {
        // A long log takes its time: a busy cursor and a window whose
        // "取消" stops between two pages (the preview then shows the pages
        // painted so far). Modal over the window in front, which may be the
        // preview itself when it paints again.
        QWidget* front = QApplication::activeModalWidget();
        JobWindow busy(QStringLiteral("正在打印日志..."), front ? front : this, JobWindow::Lines::BarOnly);
        JobOf<int> job(busy.windowTitle(),
                       StoreJob::body<int>(m_store.location(),
                                           [filter = m_model->filter(), span = m_model->extent(),
                                            printer](DataStore& store, JobContext& context) {
                                               PageByPage pages(context);
                                               return Result<int>(paintLog(store, filter, span, printer, &pages));
                                           }));
        QApplication::setOverrideCursor(Qt::BusyCursor);
        const Status printed = busy.run(job);
        QApplication::restoreOverrideCursor();
        if (!printed)
            prompter().message(PrivateFolder::withCause(printed.message(), printed.detail()), {},
                               Prompter::Icon::Warning);
    };
    if (m_previewer) {
        m_previewer(paint);
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(kTitle);
    QPrintPreviewDialog preview(&printer, this);
    preview.setWindowTitle(QStringLiteral("打印预览"));
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, paint);
    preview.exec();
}

void LogViewerWindow::openDeleteWindow()
{
    if (isRunning())
        return;
    if (m_deleteWindow) {
        m_deleteWindow->raise();
        return;
    }
    m_deleteWindow = new DeleteLogWindow(m_store, m_operator, m_first->date(), m_last->date(), this);
    m_deleteWindow->setAttribute(Qt::WA_DeleteOnClose);
    m_deleteWindow->setWindowModality(Qt::WindowModal);
    connect(m_deleteWindow, &DeleteLogWindow::deleted, this, [this] {
        const Status read = m_model->reload();
        showCount();
        if (!read)
            prompter().message(read.message(), {}, Prompter::Icon::Warning);
    });
    m_deleteWindow->show();
}

void LogViewerWindow::rangeShown()
{
    // The bar has its range (JobDialog); an empty one still shows a bar.
    if (m_bar->maximum() < 1)
        m_bar->setRange(0, 1);
    m_bar->setValue(0);
}

void LogViewerWindow::valueShown()
{
    const int percent = m_bar->maximum() > 0 ? int(qint64(m_bar->value()) * 100 / m_bar->maximum()) : 100;
    setWindowTitle(WorkbookExport::progressText(QStringLiteral("%1%").arg(percent)));
}

void LogViewerWindow::undoImport()
{
    if (isRunning())
        return;
    // Moving records to the trash is a deletion.
    if (!m_operator.holds(Rights::Delete)) {
        prompter().message(QStringLiteral("您没有此操作权限!"), {}, Prompter::Icon::Warning);
        return;
    }
    if (!m_open || !m_storeFolder) {
        prompter().message(QStringLiteral("撤销导入不可用!"), {}, Prompter::Icon::Warning);
        return;
    }
    BatchImport::UndoSetup setup{
        m_store.location(), *m_storeFolder, m_operator, *m_open, Dictionary::storedSizeBound(m_store), -1};
    ImportRunsWindow w(m_store, std::move(setup), this);
    w.exec();
    // The undo wrote its log lines: the grid shows them.
    search();
}
