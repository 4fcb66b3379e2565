#include "archive/ui/TrashWindow.h"

#include "platform/Prompter.h"
#include "platform/ui/JobWindow.h"
#include "platform/ui/OuterSize.h"
#include "store/Rights.h"
#include "store/SizeText.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QFontMetrics>
#include <QTableWidget>

namespace {

const QString kNoRight = QStringLiteral("您没有此操作权限!");

}  // namespace

TrashWindow::TrashWindow(DataStore& store, Trash::Setup setup, QWidget* parent)
    : QDialog(parent), m_store(store), m_setup(std::move(setup))
{
    setObjectName(QStringLiteral("回收站窗口"));
    setWindowTitle(Trash::WindowTitle);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    OuterSize::fix(this, {720, 460});

    m_grid = new QTableWidget(this);
    m_grid->setObjectName(QStringLiteral("高级表格1"));
    m_grid->setGeometry(8, 8, 696, 372);
    m_grid->setColumnCount(6);
    m_grid->setHorizontalHeaderLabels({QStringLiteral("文件编号"), QStringLiteral("文件名称"), QStringLiteral("原分组"),
                                       QStringLiteral("删除人"), QStringLiteral("删除时间"),
                                       QStringLiteral("文件大小")});
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setWordWrap(false);
    m_grid->verticalHeader()->setVisible(false);
    m_grid->verticalHeader()->setDefaultSectionSize(20);
    m_grid->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_grid->horizontalHeader()->setStretchLastSection(true);
    // The number and the time in full whatever the skin's font; the name and
    // the group take what is left.
    const QFontMetrics metrics(m_grid->font());
    const int number = metrics.horizontalAdvance(QStringLiteral("0000000000")) + 14;
    const int when = metrics.horizontalAdvance(QStringLiteral("2026-12-10 15:07:22")) + 14;
    for (const auto& [column, width] : {std::pair{0, number}, {1, 170}, {2, 130}, {3, 64}, {4, when}})
        m_grid->setColumnWidth(column, width);

    auto button = [this](const char* name, const QString& text, int x, int width) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QString::fromUtf8(name));
        b->setGeometry(x, 392, width, 26);
        return b;
    };
    m_restore = button("还原按钮", QStringLiteral("还原"), 8, 80);
    m_purge = button("彻底删除按钮", QStringLiteral("彻底删除"), 96, 90);
    m_empty = button("清空按钮", QStringLiteral("清空回收站"), 194, 100);
    m_close = button("关闭按钮", QStringLiteral("关闭"), 624, 80);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("状态条1文本"));
    m_status->setGeometry(8, 428, 696, 20);

    connect(m_restore, &QPushButton::clicked, this, &TrashWindow::restoreSelected);
    connect(m_purge, &QPushButton::clicked, this, &TrashWindow::purgeSelected);
    connect(m_empty, &QPushButton::clicked, this, &TrashWindow::emptyTrash);
    connect(m_close, &QPushButton::clicked, this, &QDialog::close);
    reload();
}

void TrashWindow::reload()
{
    m_grid->setRowCount(0);
    m_ids.clear();
    const Result<QList<Trash::Entry>> entries = Trash::visible(m_store, m_setup.open);
    if (!entries) {
        m_status->setText(QStringLiteral("读取回收站失败!"));
        qWarning("trash not read: %s", qPrintable(entries.detail()));
        return;
    }
    m_grid->setRowCount(int(entries->size()));
    for (int row = 0; row < entries->size(); ++row) {
        const Trash::Entry& e = entries->at(row);
        const QString name = e.type.isEmpty() ? e.name : e.name + QLatin1Char('.') + e.type;
        const QStringList cells{e.number,    name,        e.group.isEmpty() ? QStringLiteral("文件服务器") : e.group,
                                e.deletedBy, e.deletedAt, sizeText(e.size)};
        for (int column = 0; column < cells.size(); ++column)
            m_grid->setItem(row, column, new QTableWidgetItem(cells.at(column)));
        m_ids << e.id;
    }
    m_status->setText(QStringLiteral("共 %1 个文件").arg(entries->size()));
}

QList<qint64> TrashWindow::selectedIds() const
{
    QList<qint64> ids;
    const QModelIndexList rows = m_grid->selectionModel()->selectedRows();
    for (const QModelIndex& i : rows)
        if (i.row() < m_ids.size())
            ids << m_ids.at(i.row());
    std::sort(ids.begin(), ids.end());
    return ids;
}

void TrashWindow::restoreSelected()
{
    if (!m_setup.op.holds(Rights::Add)) {
        prompter().message(kNoRight, {}, Prompter::Icon::Warning);
        return;
    }
    const QList<qint64> ids = selectedIds();
    if (ids.isEmpty()) {
        prompter().message(QStringLiteral("请先选择要还原的文件!"), {}, Prompter::Icon::Warning);
        return;
    }
    runJob(true, ids);
}

void TrashWindow::purgeSelected()
{
    if (!m_setup.op.holds(Rights::Delete)) {
        prompter().message(kNoRight, {}, Prompter::Icon::Warning);
        return;
    }
    const QList<qint64> ids = selectedIds();
    if (ids.isEmpty()) {
        prompter().message(QStringLiteral("请先选择要彻底删除的文件!"), {}, Prompter::Icon::Warning);
        return;
    }
    if (!prompter().question(Trash::PurgeQuestion))
        return;
    runJob(false, ids);
}

void TrashWindow::emptyTrash()
{
    if (!m_setup.op.holds(Rights::Delete)) {
        prompter().message(kNoRight, {}, Prompter::Icon::Warning);
        return;
    }
    reload();
    if (m_ids.isEmpty()) {
        prompter().message(Trash::NothingInTrash);
        return;
    }
    if (!prompter().question(Trash::EmptyQuestion.arg(m_ids.size())))
        return;
    runJob(false, m_ids);
}

void TrashWindow::runJob(bool restoring, const QList<qint64>& ids)
{
    const QString title = restoring ? Trash::RestoreTitle : Trash::PurgeTitle;
    JobOf<Trash::Outcome> job(title, restoring ? Trash::restoreJob(m_setup, ids) : Trash::purgeJob(m_setup, ids));
    JobWindow progress(title, this, JobWindow::Lines::BarOnly);
    const Status ran = progress.run(job);
    reload();
    if (restoring && job.isFinished() && job.result().ok() && job.result()->done > 0)
        emit restored();
    if (!ran) {
        prompter().message(ran.message().isEmpty() ? (restoring ? Trash::RestoreFailed : Trash::PurgeFailed)
                                                   : ran.message(),
                           {}, Prompter::Icon::Critical);
        return;
    }
    const Trash::Outcome& out = job.result().value();
    QString text = restoring ? QStringLiteral("已还原 %1 个文件。").arg(out.done)
                             : QStringLiteral("已彻底删除 %1 个文件。").arg(out.done);
    if (out.refused > 0) {
        const Trash::Item& first = out.refusedItems.first();
        text += QStringLiteral("\r\n%1 个文件未能%2: %3")
                    .arg(out.refused)
                    .arg(restoring ? QStringLiteral("还原") : QStringLiteral("删除"))
                    .arg(first.message);
    }
    if (out.cancelled)
        text += QStringLiteral("\r\n操作已取消。");
    if (out.logFailed)
        text += QStringLiteral("\r\n写出日志失败!");
    prompter().message(text, {}, out.refused > 0 ? Prompter::Icon::Warning : Prompter::Icon::Information);
}
