#include "listing/ui/SortOrderWindow.h"
#include "platform/ui/OuterSize.h"

#include "platform/Prompter.h"
#include "store/DataStore.h"
#include "store/MainSettings.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

QString SortOrderWindow::directionText(ListColumns::Direction d)
{
    switch (d) {
    case ListColumns::Ascending:
        return QStringLiteral("升序");
    case ListColumns::Descending:
        return QStringLiteral("降序");
    default:
        return {};
    }
}

SortOrderWindow::SortOrderWindow(DataStore& store, MainSettings& settings, QWidget* parent)
    : QDialog(parent), m_settings(settings), m_store(store)
{
    setWindowTitle(QStringLiteral("排序方式"));
    OuterSize::fix(this, {252, 352});

    auto* label = new QLabel(QStringLiteral("数据显示方式，支持多字段、多方向排序。"), this);
    label->setObjectName(QStringLiteral("标签"));
    // 236 wide, not 224: its nineteen characters need 228 in the 9-point face.
    label->setGeometry(8, 0, 236, 24);

    m_grid = new QTableWidget(this);
    m_grid->setObjectName(QStringLiteral("高级表格1"));
    m_grid->setGeometry(8, 32, 232, 240);
    m_grid->setColumnCount(2);
    m_grid->setHorizontalHeaderLabels({QStringLiteral("排序字段"), QStringLiteral("排序方向")});
    m_grid->verticalHeader()->hide();
    m_grid->verticalHeader()->setDefaultSectionSize(22);
    m_grid->setColumnWidth(0, 120);
    m_grid->horizontalHeader()->setStretchLastSection(true);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);

    m_rows = ListColumns::sortRows(store).value_or(QList<ListColumns::SortRow>{});
    m_grid->setRowCount(int(m_rows.size()));
    for (int r = 0; r < m_rows.size(); ++r) {
        auto* name = new QTableWidgetItem(m_rows.at(r).header);
        name->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        m_grid->setItem(r, 0, name);
        auto* direction = new QComboBox(m_grid);
        direction->setObjectName(QStringLiteral("方向%1").arg(r + 1));
        direction->addItems({QString(), directionText(ListColumns::Ascending), directionText(ListColumns::Descending)});
        direction->setCurrentIndex(int(m_rows.at(r).direction));
        m_grid->setCellWidget(r, 1, direction);
    }

    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setObjectName(QStringLiteral("确定按钮"));
    ok->setGeometry(57, 280, 56, 24);
    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    cancel->setObjectName(QStringLiteral("取消按钮"));
    cancel->setGeometry(137, 280, 56, 24);
    connect(ok, &QPushButton::clicked, this, &SortOrderWindow::save);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void SortOrderWindow::save()
{
    QList<ListColumns::SortRow> rows = m_rows;
    for (int r = 0; r < rows.size(); ++r) {
        auto* combo = qobject_cast<QComboBox*>(m_grid->cellWidget(r, 1));
        const int i = combo ? combo->currentIndex() : 0;
        rows[r].direction = i == 1 ? ListColumns::Ascending : i == 2 ? ListColumns::Descending : ListColumns::None;
    }
    const QString clause = ListColumns::composeSortClause(rows);
    if (!ListColumns::saveSort(m_store, rows, clause)) {
        prompter().message(QStringLiteral("排序失败!请退出重试"), {}, Prompter::Icon::Critical);
        return;
    }
    m_rows = rows;
    m_clause = clause;
    m_settings.sortClause = clause;
    prompter().message(QStringLiteral("排序完成!"));
    accept();
}
