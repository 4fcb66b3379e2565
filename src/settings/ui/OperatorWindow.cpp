#include "settings/ui/OperatorWindow.h"

#include "platform/Prompter.h"
#include "platform/ui/OuterSize.h"
#include "settings/ui/OperatorPictures.h"
#include "store/LogWriter.h"
#include "store/Rights.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QToolBar>

namespace {

constexpr int IdRole = Qt::UserRole;

QLabel* label(QWidget* parent, const char* name, const QString& text, int left, int top)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromUtf8(name));
    l->setGeometry(left, top, 56, 20);
    return l;
}

QLineEdit* passwordBox(QWidget* parent, const char* name, int top)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromUtf8(name));
    e->setGeometry(64, top, 96, 20);
    e->setEchoMode(QLineEdit::Password);
    // Each typed character shows as "*".
    e->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
    return e;
}

void showFailure(const Failure& f)
{
    if (!f.detail.isEmpty())
        qWarning("korvane: %s", qUtf8Printable(f.detail));
    prompter().message(f.message, {}, Prompter::Icon::Warning);
}

}  // namespace

OperatorWindow::OperatorWindow(DataStore& store, const CurrentOperator& changedBy, QWidget* parent)
    : QDialog(parent), m_operators(store, changedBy)
{
    setObjectName(QStringLiteral("操作员管理"));
    setWindowTitle(QStringLiteral("操作员管理"));
    OuterSize::fix(this, {737, 425});
    build();
    reload();
    setMode(Mode::Browse);
}

bool OperatorWindow::manage(DataStore& store, const CurrentOperator& changedBy, QWidget* parent)
{
    OperatorWindow window(store, changedBy, parent);
    window.exec();
    return window.reloginAsked();
}

void OperatorWindow::build()
{
    m_toolbar = new QToolBar(this);
    m_toolbar->setObjectName(QStringLiteral("操作员工具条"));
    m_toolbar->setGeometry(0, 0, 368, 24);
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_toolbar->setMovable(false);
    auto action = [this](const char* name, const QString& text) {
        QAction* a = m_toolbar->addAction(text);
        a->setObjectName(QString::fromUtf8(name));
        return a;
    };
    m_toolbar->addSeparator();
    m_add = action("增加", QStringLiteral(" 增加 "));
    m_change = action("修改", QStringLiteral("修改"));
    m_delete = action("删除", QStringLiteral("删除"));
    m_toolbar->addSeparator();
    m_save = action("保存", QStringLiteral("保存"));
    m_drop = action("放弃", QStringLiteral("放弃"));
    m_toolbar->addSeparator();
    m_exit = action("退出", QStringLiteral("退出"));
    // A toolbar's buttons take no focus of their own: here they are the
    // window's commands, so Tab reaches them and Space presses them.
    for (QAction* a : m_toolbar->actions())
        if (QWidget* button = m_toolbar->widgetForAction(a); button && !a->isSeparator())
            button->setFocusPolicy(Qt::TabFocus);

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("超级列表框1"));
    m_list->setGeometry(0, 40, 728, 152);
    m_list->setViewMode(QListView::IconMode);
    m_list->setIconSize(QSize(32, 32));
    m_list->setGridSize(QSize(80, 56));
    m_list->setMovement(QListView::Static);
    m_list->setResizeMode(QListView::Adjust);
    m_list->setWordWrap(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);

    m_frame = new QGroupBox(this);
    m_frame->setObjectName(QStringLiteral("分组框1"));
    m_frame->setGeometry(0, 192, 728, 184);

    label(m_frame, "标签24", QStringLiteral("登录名称:"), 8, 16);
    m_name = new QLineEdit(m_frame);
    m_name->setObjectName(QStringLiteral("用户名编辑框"));
    m_name->setGeometry(64, 16, 96, 20);

    label(m_frame, "标签23", QStringLiteral("密  　码:"), 8, 40);
    m_password = passwordBox(m_frame, "密码编辑框", 40);
    label(m_frame, "标签22", QStringLiteral("确认密码:"), 8, 64);
    m_repeated = passwordBox(m_frame, "确认密码编辑框", 64);

    label(m_frame, "标签3", QStringLiteral("当前状态:"), 8, 88);
    m_status = new QComboBox(m_frame);
    m_status->setObjectName(QStringLiteral("状态组合框"));
    m_status->setGeometry(64, 88, 96, 20);
    m_status->addItems({Operators::Usable, Operators::Stopped});

    label(m_frame, "标签1", QStringLiteral("描    述:"), 8, 112);
    m_description = new QPlainTextEdit(m_frame);
    m_description->setObjectName(QStringLiteral("描述编辑框"));
    m_description->setGeometry(64, 112, 96, 64);

    m_rights = new QListWidget(m_frame);
    m_rights->setObjectName(QStringLiteral("选择列表框1"));
    m_rights->setGeometry(168, 16, 376, 160);
    m_rights->setSelectionMode(QAbstractItemView::NoSelection);
    for (const QString& r : Rights::all()) {
        auto* item = new QListWidgetItem(r, m_rights);
        item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
        item->setCheckState(Qt::Unchecked);
    }

    m_statusBar = new QStatusBar(this);
    m_statusBar->setObjectName(QStringLiteral("状态条1"));
    m_statusBar->setGeometry(0, 380, 599, 20);
    m_statusBar->setSizeGripEnabled(false);

    connect(m_add, &QAction::triggered, this, &OperatorWindow::startAdd);
    connect(m_change, &QAction::triggered, this, &OperatorWindow::startChange);
    connect(m_delete, &QAction::triggered, this, &OperatorWindow::deleteChosen);
    connect(m_save, &QAction::triggered, this, &OperatorWindow::save);
    connect(m_drop, &QAction::triggered, this, &OperatorWindow::drop);
    connect(m_exit, &QAction::triggered, this, &QDialog::reject);
    connect(m_list, &QListWidget::currentItemChanged, this, [this] {
        if (m_mode == Mode::Browse)
            showChosen();
    });
    // Untouched password boxes keep the stored password on a change.
    for (QLineEdit* e : {m_password, m_repeated})
        connect(e, &QLineEdit::textEdited, this, [this] { m_passwordTouched = true; });
}

void OperatorWindow::reload(qint64 chosenId)
{
    const Result<QList<Operators::Entry>> entries = m_operators.list();
    const QSignalBlocker quiet(m_list);
    m_list->clear();
    if (!entries) {
        showFailure(entries.failure());
        m_statusBar->showMessage(QStringLiteral(" 共有 0 个操作员。"));
        return;
    }
    const QIcon usable(OperatorPictures::usable());
    const QIcon stopped(OperatorPictures::stopped());
    QListWidgetItem* chosen = nullptr;
    for (const Operators::Entry& e : *entries) {
        auto* item = new QListWidgetItem(e.usable() ? usable : stopped, e.userName, m_list);
        item->setData(IdRole, e.id);
        if (e.id == chosenId)
            chosen = item;
    }
    m_statusBar->showMessage(QStringLiteral(" 共有 ") + QString::number(entries->size())
                             + QStringLiteral(" 个操作员。"));
    m_list->setCurrentItem(chosen);
    showChosen();
}

qint64 OperatorWindow::chosenId() const
{
    const QListWidgetItem* item = m_list->currentItem();
    return item ? item->data(IdRole).toLongLong() : -1;
}

void OperatorWindow::clearFields()
{
    m_name->clear();
    m_password->clear();
    m_repeated->clear();
    m_status->setCurrentIndex(0);
    m_description->clear();
    for (int i = 0; i < m_rights->count(); ++i)
        m_rights->item(i)->setCheckState(Qt::Unchecked);
    m_passwordTouched = false;
}

void OperatorWindow::showChosen()
{
    clearFields();
    const qint64 id = chosenId();
    if (id < 0)
        return;
    const Result<Operators::Data> loaded = m_operators.load(id);
    if (!loaded) {
        showFailure(loaded.failure());
        return;
    }
    m_name->setText(loaded->userName);
    m_status->setCurrentIndex(loaded->status == Operators::Stopped ? 1 : 0);
    m_description->setPlainText(loaded->description);
    for (int i = 0; i < m_rights->count(); ++i) {
        QListWidgetItem* item = m_rights->item(i);
        item->setCheckState(Rights::holds(loaded->rightsText, item->text()) ? Qt::Checked : Qt::Unchecked);
    }
}

void OperatorWindow::setMode(Mode mode)
{
    m_mode = mode;
    const bool editing = mode != Mode::Browse;
    m_frame->setEnabled(editing);
    m_list->setEnabled(!editing);
    m_add->setEnabled(!editing);
    m_change->setEnabled(!editing);
    m_delete->setEnabled(!editing);
    m_save->setEnabled(editing);
    m_drop->setEnabled(editing);
}

void OperatorWindow::startAdd()
{
    if (m_mode != Mode::Browse)
        return;
    clearFields();
    setMode(Mode::Adding);
    m_name->setFocus();
}

void OperatorWindow::startChange()
{
    if (m_mode != Mode::Browse || chosenId() < 0)
        return;
    showChosen();
    setMode(Mode::Changing);
    m_name->setFocus();
}

Operators::Edit OperatorWindow::edit() const
{
    Operators::Edit e;
    e.userName = m_name->text();
    if (m_mode == Mode::Adding || m_passwordTouched) {
        e.password = m_password->text();
        e.repeated = m_repeated->text();
    }
    e.status = m_status->currentText();
    e.description = m_description->toPlainText();
    for (int i = 0; i < m_rights->count(); ++i)
        if (m_rights->item(i)->checkState() == Qt::Checked)
            e.rights << m_rights->item(i)->text();
    return e;
}

void OperatorWindow::save()
{
    if (m_mode == Mode::Browse)
        return;
    const bool adding = m_mode == Mode::Adding;
    const Result<Operators::Saved> saved = adding ? m_operators.add(edit()) : m_operators.change(chosenId(), edit());
    if (!saved) {
        showFailure(saved.failure());
        return;
    }
    if (saved->logFailed)
        prompter().message(LogWriter::FailureMessage, {}, Prompter::Icon::Warning);
    setMode(Mode::Browse);
    reload(saved->id);
    prompter().message(saved.message());
    if (adding)
        return;
    if (prompter().question(Operators::ReloginQuestion)) {
        m_relogin = true;
        emit reloginRequested();
        accept();
    }
}

void OperatorWindow::drop()
{
    if (m_mode == Mode::Browse)
        return;
    setMode(Mode::Browse);
    showChosen();
}

void OperatorWindow::deleteChosen()
{
    const qint64 id = chosenId();
    if (m_mode != Mode::Browse || id < 0)
        return;
    if (const Status allowed = m_operators.checkRemove(id); !allowed) {
        showFailure(allowed.failure());
        return;
    }
    if (!prompter().question(Operators::deleteQuestion(m_list->currentItem()->text())))
        return;
    const Result<Operators::Saved> removed = m_operators.remove(id);
    if (!removed)
        showFailure(removed.failure());
    else if (removed->logFailed)
        prompter().message(LogWriter::FailureMessage, {}, Prompter::Icon::Warning);
    reload();
}
