#include "listing/ui/RenameFieldsWindow.h"
#include "platform/ui/OuterSize.h"

#include "listing/ListColumns.h"
#include "platform/Prompter.h"
#include "store/DataStore.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableWidget>

namespace {

// Edits a title in place, no longer than a title may be.
class TitleDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QWidget* w = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* edit = qobject_cast<QLineEdit*>(w))
            edit->setMaxLength(ListColumns::MaxTitleLength);
        return w;
    }
};

}  // namespace

RenameFieldsWindow::RenameFieldsWindow(DataStore& store, QWidget* parent) : QDialog(parent), m_store(store)
{
    setWindowTitle(QStringLiteral("字段改名"));
    OuterSize::fix(this, {317, 415});

    auto* label = new QLabel(QStringLiteral("新名称建议 4个汉字(双击进行修改)"), this);
    label->setObjectName(QStringLiteral("标签9"));
    label->setGeometry(16, 8, 200, 24);
    auto* save = new QPushButton(QStringLiteral("保存"), this);
    save->setObjectName(QStringLiteral("保存按钮"));
    save->setGeometry(232, 8, 72, 24);
    save->setAutoDefault(false);

    m_grid = new QTableWidget(ListColumns::SpareCount, 3, this);
    m_grid->setObjectName(QStringLiteral("高级表格1"));
    m_grid->setGeometry(8, 40, 296, 336);
    m_grid->setHorizontalHeaderLabels({QStringLiteral("字段"), QStringLiteral("自定义名称"), QStringLiteral("类型")});
    m_grid->verticalHeader()->hide();
    m_grid->verticalHeader()->setDefaultSectionSize(20);
    m_grid->horizontalHeader()->setMinimumSectionSize(40);
    m_grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_grid->setColumnWidth(0, 56);
    m_grid->setColumnWidth(1, 150);
    m_grid->horizontalHeader()->setStretchLastSection(true);
    m_grid->setEditTriggers(QAbstractItemView::DoubleClicked);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setItemDelegateForColumn(1, new TitleDelegate(m_grid));

    const QStringList titles = ListColumns::spareTitles(store).value_or(QStringList{});
    for (int i = 0; i < ListColumns::SpareCount; ++i) {
        auto* field = new QTableWidgetItem(QStringLiteral("b%1").arg(i + 1));
        field->setFlags(Qt::ItemIsEnabled);
        m_grid->setItem(i, 0, field);
        auto* title = new QTableWidgetItem(i < titles.size() ? titles.at(i) : ListColumns::unnamedSpareTitle());
        title->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
        m_grid->setItem(i, 1, title);
        // b13..b15 are also filled from the edit panel's date boxes.
        auto* kind = new QTableWidgetItem(i >= 12 ? QStringLiteral("文本/日期") : QStringLiteral("文本"));
        kind->setFlags(Qt::ItemIsEnabled);
        m_grid->setItem(i, 2, kind);
    }
    connect(save, &QPushButton::clicked, this, &RenameFieldsWindow::save);
}

void RenameFieldsWindow::save()
{
    if (!prompter().question(QStringLiteral("确定保存吗 ?")))
        return;
    QStringList titles;
    for (int i = 0; i < ListColumns::SpareCount; ++i)
        titles << m_grid->item(i, 1)->text();
    switch (ListColumns::saveSpareTitles(m_store, titles)) {
    case ListColumns::RenameResult::TitleFailed:
        prompter().message(QStringLiteral("修改失败，错误代码：0"), {}, Prompter::Icon::Critical);
        return;
    case ListColumns::RenameResult::OptionListFailed:
        prompter().message(QStringLiteral("修改失败，错误代码：1"), {}, Prompter::Icon::Critical);
        return;
    case ListColumns::RenameResult::Done:
        break;
    }
    for (int i = 0; i < ListColumns::SpareCount; ++i) {
        QString t = titles.at(i).trimmed().left(ListColumns::MaxTitleLength);
        m_grid->item(i, 1)->setText(t.isEmpty() ? ListColumns::unnamedSpareTitle() : t);
    }
    prompter().message(QStringLiteral("修改完成!"));
    emit titlesChanged();
}
