#include "listing/ui/ChooseColumnsWindow.h"
#include "platform/ui/OuterSize.h"

#include "platform/Prompter.h"
#include "store/DataStore.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace {
constexpr int BhRole = Qt::UserRole + 1;
}

ChooseColumnsWindow::ChooseColumnsWindow(DataStore& store, QWidget* parent) : QDialog(parent), m_store(store)
{
    setWindowTitle(QStringLiteral("选择显示列"));
    OuterSize::fix(this, {420, 375});

    auto* label = new QLabel(QStringLiteral("\n   减少显示列数目，可提高数据刷新速度。"), this);
    label->setObjectName(QStringLiteral("标签1"));
    label->setGeometry(0, 0, 456, 32);

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("选择列表框1"));
    m_list->setGeometry(8, 40, 280, 296);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);

    auto* box = new QGroupBox(this);
    box->setObjectName(QStringLiteral("分组框1"));
    box->setGeometry(296, 32, 112, 304);

    auto button = [box](const char* name, const QString& text, int top) {
        auto* b = new QPushButton(text, box);
        b->setObjectName(QString::fromUtf8(name));
        b->setGeometry(8, top, 88, 24);
        return b;
    };
    QPushButton* ok = button("确定按钮", QStringLiteral("确定(&O)"), 16);
    QPushButton* cancel = button("取消按钮", QStringLiteral("取消(&C)"), 56);
    QPushButton* up = button("向上移动按钮", QStringLiteral("↑ 向上移动"), 104);
    QPushButton* down = button("向下移动按钮", QStringLiteral("↓ 向下移动"), 144);
    QPushButton* reset = button("全部复位按钮", QStringLiteral("⊙ 全部复位"), 184);
    ok->setDefault(true);

    m_multiLine = new QCheckBox(QStringLiteral("多行显示"), box);
    m_multiLine->setObjectName(QStringLiteral("多行显示选择框"));
    m_multiLine->setGeometry(16, 232, 80, 24);
    m_all = new QCheckBox(QStringLiteral("全部选中"), box);
    m_all->setObjectName(QStringLiteral("选择框1"));
    m_all->setGeometry(16, 264, 80, 24);

    connect(ok, &QPushButton::clicked, this, &ChooseColumnsWindow::save);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(up, &QPushButton::clicked, this, [this] { move(-1); });
    connect(down, &QPushButton::clicked, this, [this] { move(1); });
    connect(reset, &QPushButton::clicked, this, [this] { fill(true); });
    // "多行显示": the fields flow into several columns instead of one long list.
    connect(m_multiLine, &QCheckBox::toggled, this, [this](bool on) {
        m_list->setWrapping(on);
        m_list->setResizeMode(QListView::Adjust);
    });
    connect(m_all, &QCheckBox::clicked, this, &ChooseColumnsWindow::tickAll);

    fill(false);
}

void ChooseColumnsWindow::fill(bool homeOrder)
{
    m_list->clear();
    const auto choices = ListColumns::choices(m_store, homeOrder);
    if (!choices)
        return;
    for (const ListColumns::Choice& c : *choices) {
        auto* item = new QListWidgetItem(c.header, m_list);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(c.shown ? Qt::Checked : Qt::Unchecked);
        item->setData(BhRole, c.bh);
    }
    if (m_list->count() > 0)
        m_list->setCurrentRow(0);
}

void ChooseColumnsWindow::move(int step)
{
    const int row = m_list->currentRow();
    if (row < 0)
        return;
    if (step < 0 && row == 0) {
        prompter().message(QStringLiteral("已到最前!"));
        return;
    }
    if (step > 0 && row == m_list->count() - 1) {
        prompter().message(QStringLiteral("已到最后!"));
        return;
    }
    QListWidgetItem* item = m_list->takeItem(row);
    m_list->insertItem(row + step, item);
    m_list->setCurrentRow(row + step);
}

void ChooseColumnsWindow::tickAll(bool checked)
{
    // Unticking the box leaves the ticks as they are.
    if (!checked)
        return;
    if (!prompter().question(QStringLiteral("您好：过多的显示列会影响数据刷新速度。\r\n\r\n确认全部选中吗？"),
                             QStringLiteral("提醒"))) {
        m_all->setChecked(false);
        return;
    }
    for (int i = 0; i < m_list->count(); ++i)
        m_list->item(i)->setCheckState(Qt::Checked);
}

void ChooseColumnsWindow::save()
{
    QList<ListColumns::Choice> choices;
    for (int i = 0; i < m_list->count(); ++i) {
        const QListWidgetItem* item = m_list->item(i);
        choices.append({item->data(BhRole).toInt(), item->text(), item->checkState() == Qt::Checked});
    }
    if (!ListColumns::saveChoices(m_store, choices)) {
        prompter().message(QStringLiteral("保存失败!请退出重试"), {}, Prompter::Icon::Critical);
        return;
    }
    accept();
}
