#include "listing/ui/SavedConditionWindows.h"

#include "platform/Prompter.h"
#include "platform/ui/OuterSize.h"

#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

namespace {

QPushButton* button(QWidget* parent, const char* name, const QString& text, const QRect& geometry)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromUtf8(name));
    b->setGeometry(geometry);
    b->setAutoDefault(false);
    return b;
}

}  // namespace

SaveConditionWindow::SaveConditionWindow(DataStore& store, const QString& userName,
                                         const QList<SearchConditions::Condition>& rows,
                                         const std::optional<SavedConditions::Entry>& modifying, QWidget* parent)
    : QDialog(parent), m_store(store), m_userName(userName), m_rows(rows), m_modifying(modifying)
{
    setWindowTitle(QStringLiteral("保存条件"));
    OuterSize::fix(this, {338, 184});
    auto* label = new QLabel(QStringLiteral("请输入要保存的条件名称："), this);
    label->setObjectName(QStringLiteral("标签1"));
    label->setGeometry(16, 16, 152, 24);
    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("编辑框1"));
    m_name->setGeometry(160, 16, 152, 20);
    m_own = new QRadioButton(QStringLiteral("仅自己使用"), this);
    m_own->setObjectName(QStringLiteral("单选框1"));
    m_own->setGeometry(40, 56, 128, 24);
    m_public = new QRadioButton(QStringLiteral("其他用户也能使用"), this);
    m_public->setObjectName(QStringLiteral("单选框2"));
    m_public->setGeometry(160, 56, 144, 24);
    m_own->setChecked(true);
    auto* line = new QFrame(this);
    line->setObjectName(QStringLiteral("分组框1"));
    line->setGeometry(16, 88, 296, 8);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    auto* ok = button(this, "确定按钮", QStringLiteral("确定"), {88, 112, 56, 24});
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &SaveConditionWindow::confirm);
    connect(button(this, "取消按钮", QStringLiteral("取消"), {168, 112, 56, 24}), &QPushButton::clicked, this,
            &QDialog::reject);
    if (m_modifying) {
        m_name->setText(m_modifying->name);
        m_public->setChecked(m_modifying->isPublic());
    }
}

void SaveConditionWindow::confirm()
{
    const QString name = m_name->text();
    if (name.trimmed().isEmpty()) {
        prompter().message(QStringLiteral("名称不能为空!"));
        return;
    }
    const bool isPublic = m_public->isChecked();
    QString message;
    bool ok = false;
    if (m_modifying) {
        const Status saved = SavedConditions::update(m_store, m_modifying->id, name, isPublic, m_userName, m_rows);
        ok = saved.ok();
        message = saved.message();
    } else {
        const Result<qint64> saved = SavedConditions::add(m_store, name, isPublic, m_userName, m_rows);
        ok = saved.ok();
        message = saved.message();
    }
    if (!message.isEmpty())
        prompter().message(message);
    if (ok)
        accept();
}

ChooseConditionWindow::ChooseConditionWindow(DataStore& store, const QString& userName,
                                             const QList<SearchConditions::Condition>& rows, QWidget* parent)
    : QDialog(parent), m_store(store), m_userName(userName), m_rows(rows)
{
    setWindowTitle(QStringLiteral("选择条件"));
    OuterSize::fix(this, {403, 335});
    m_list = new QTableWidget(this);
    m_list->setObjectName(QStringLiteral("超级列表框1"));
    m_list->setGeometry(8, 16, 284, 272);
    m_list->setColumnCount(3);
    m_list->setHorizontalHeaderLabels({QStringLiteral("条件名称"), QStringLiteral("使用人"), QStringLiteral("创建人")});
    m_list->setColumnWidth(0, 180);
    m_list->setColumnWidth(1, 50);
    m_list->setColumnWidth(2, 50);
    m_list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_list->verticalHeader()->hide();
    m_list->verticalHeader()->setDefaultSectionSize(18);
    m_list->setShowGrid(true);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setWordWrap(false);

    connect(button(this, "打开按钮", QStringLiteral("打开"), {304, 32, 80, 24}), &QPushButton::clicked, this,
            &ChooseConditionWindow::openSelected);
    connect(button(this, "删除按钮", QStringLiteral("删除"), {304, 80, 80, 24}), &QPushButton::clicked, this,
            &ChooseConditionWindow::deleteSelected);
    connect(button(this, "修改按钮", QStringLiteral("修改"), {304, 128, 80, 24}), &QPushButton::clicked, this,
            &ChooseConditionWindow::modifySelected);
    connect(button(this, "关闭按钮", QStringLiteral("关闭"), {304, 176, 80, 24}), &QPushButton::clicked, this,
            &QDialog::reject);
    connect(m_list, &QTableWidget::cellDoubleClicked, this, &ChooseConditionWindow::openSelected);
    reload();
}

void ChooseConditionWindow::reload()
{
    const Result<QList<SavedConditions::Entry>> entries = SavedConditions::visibleTo(m_store, m_userName);
    if (!entries)
        prompter().message(entries.message());
    m_entries = entries.valueOr({});
    m_list->clearContents();
    m_list->setRowCount(int(m_entries.size()));
    for (int r = 0; r < m_entries.size(); ++r) {
        const SavedConditions::Entry& e = m_entries.at(r);
        m_list->setItem(r, 0, new QTableWidgetItem(e.name));
        m_list->setItem(r, 1, new QTableWidgetItem(e.isPublic() ? SavedConditions::PublicTitle : e.user));
        m_list->setItem(r, 2, new QTableWidgetItem(e.creator));
    }
}

QList<int> ChooseConditionWindow::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex& i : m_list->selectionModel()->selectedRows())
        rows << i.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

void ChooseConditionWindow::openSelected()
{
    const QList<int> rows = selectedRows();
    if (rows.isEmpty()) {
        prompter().message(QStringLiteral("请选择条件!"));
        return;
    }
    const auto opened = SavedConditions::rows(m_store, m_entries.at(rows.first()).id, m_userName);
    if (!opened) {
        prompter().message(opened.message());
        return;
    }
    emit conditionOpened(*opened);
    accept();
}

void ChooseConditionWindow::deleteSelected()
{
    const QList<int> rows = selectedRows();
    if (rows.isEmpty()) {
        prompter().message(QStringLiteral("请选择条件!"));
        return;
    }
    if (!prompter().question(QStringLiteral("确定删除选择的 %1 个条件吗 ?").arg(rows.size())))
        return;
    // Each condition goes on its own: a skipped or failed one stops nothing.
    for (int r : rows) {
        switch (SavedConditions::remove(m_store, m_entries.at(r).id, m_userName)) {
        case SavedConditions::Removal::Removed:
            break;
        case SavedConditions::Removal::Foreign:
            prompter().message(QStringLiteral("发现其他用户创建的公共条件! 系统将跳过..."));
            break;
        case SavedConditions::Removal::Failed:
            prompter().message(QStringLiteral("删除失败！"));
            break;
        }
    }
    reload();
}

void ChooseConditionWindow::modifySelected()
{
    const QList<int> rows = selectedRows();
    if (rows.isEmpty()) {
        prompter().message(QStringLiteral("请选择条件!"));
        return;
    }
    const SavedConditions::Entry e = m_entries.at(rows.first());
    if (e.creator != m_userName) {
        prompter().message(SavedConditions::foreignMessage(e.creator));
        return;
    }
    if (m_rows.isEmpty()) {
        prompter().message(QStringLiteral("当前没有条件! "));
        return;
    }
    SaveConditionWindow w(m_store, m_userName, m_rows, e, this);
    if (w.exec() == QDialog::Accepted)
        reload();
}
