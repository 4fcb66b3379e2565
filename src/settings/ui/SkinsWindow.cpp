#include "settings/ui/SkinsWindow.h"

#include "platform/Config.h"
#include "platform/Prompter.h"
#include "platform/ui/OuterSize.h"
#include "platform/ui/SkinLibrary.h"

#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>

SkinsWindow::SkinsWindow(QString skinFolder, Config& config, QWidget* parent)
    : QDialog(parent), m_folder(std::move(skinFolder)), m_config(config)
{
    setWindowTitle(QStringLiteral("智能换肤"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    OuterSize::fix(this, {266, 310});

    auto* label = new QLabel(QStringLiteral("皮肤列表（双击选择）："), this);
    label->setObjectName(QStringLiteral("标签1"));
    label->setGeometry(8, 8, 136, 24);
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("列表框1"));
    m_list->setGeometry(8, 32, 160, 232);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);

    auto button = [this](const QString& name, const QString& text, int top) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(name);
        b->setGeometry(184, top, 56, 24);
        b->setAutoDefault(false);
        return b;
    };
    auto* ok = button(QStringLiteral("确定按钮"), QStringLiteral("确定"), 32);
    auto* cancel = button(QStringLiteral("取消按钮"), QStringLiteral("取消"), 72);
    auto* none = button(QStringLiteral("按钮1"), QStringLiteral("禁止换肤"), 200);

    m_menu = new QMenu(QStringLiteral("右键"), this);
    m_menu->setObjectName(QStringLiteral("右键"));
    QAction* remove = m_menu->addAction(QStringLiteral("删除"));
    QAction* rename = m_menu->addAction(QStringLiteral("改名"));

    connect(m_list, &QListWidget::itemDoubleClicked, this, &SkinsWindow::applySelected);
    connect(m_list, &QListWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { m_menu->popup(m_list->viewport()->mapToGlobal(at)); });
    connect(remove, &QAction::triggered, this, &SkinsWindow::removeSelected);
    connect(rename, &QAction::triggered, this, &SkinsWindow::renameSelected);
    connect(ok, &QPushButton::clicked, this, &SkinsWindow::keepChosen);
    connect(cancel, &QPushButton::clicked, this, &SkinsWindow::reject);
    connect(none, &QPushButton::clicked, this, &SkinsWindow::noSkin);
    refresh();
}

QString SkinsWindow::chosen() const
{
    if (!m_applied.isEmpty())
        return m_applied;
    const QListWidgetItem* item = m_list->currentItem();
    return item ? item->text() : QString();
}

void SkinsWindow::refresh()
{
    const QString current = m_list->currentItem() ? m_list->currentItem()->text() : QString();
    m_list->clear();
    m_list->addItems(m_folder.names());
    const QList<QListWidgetItem*> again = m_list->findItems(current, Qt::MatchExactly);
    if (!again.isEmpty())
        m_list->setCurrentItem(again.first());
    if (!m_applied.isEmpty() && m_list->findItems(m_applied, Qt::MatchExactly).isEmpty())
        m_applied.clear();
}

void SkinsWindow::applySelected()
{
    const QListWidgetItem* item = m_list->currentItem();
    if (!item)
        return;
    const QString path = m_folder.pathOf(item->text());
    if (!path.isEmpty() && SkinLibrary::attach(path))
        m_applied = item->text();
}

void SkinsWindow::keepChosen()
{
    const QString name = chosen();
    const QString path = m_folder.pathOf(name);
    if (path.isEmpty()) {
        prompter().message(SelectOne);
        return;
    }
    const Status s = SkinFolder::keep(m_config, path);
    prompter().message(s ? SkinFolder::Saved : SkinFolder::SaveFailed);
}

void SkinsWindow::noSkin()
{
    SkinLibrary::detach();
    m_applied.clear();
    const Status s = SkinFolder::keep(m_config, SkinLibrary::NoSkin);
    prompter().message(s ? SkinFolder::Saved : SkinFolder::SaveFailed);
}

void SkinsWindow::removeSelected()
{
    // The skin in use is the current row without being chosen: only a row
    // the operator selected counts.
    const QListWidgetItem* item = m_list->selectedItems().value(0);
    if (!item) {
        prompter().message(SelectOne);
        return;
    }
    const QString name = item->text();
    if (!prompter().question(QStringLiteral("确定删除选中皮肤文件") + name + QStringLiteral("吗？"),
                             QStringLiteral("询问")))
        return;
    const Status s = m_folder.remove(name);
    if (!s)
        prompter().message(s.message(), QString(), Prompter::Icon::Warning);
    refresh();
}

void SkinsWindow::renameSelected()
{
    // The skin in use is the current row without being chosen: only a row
    // the operator selected counts.
    const QListWidgetItem* item = m_list->selectedItems().value(0);
    if (!item) {
        prompter().message(SelectOne);
        return;
    }
    const QString name = item->text();
    QString stem = name;
    stem.chop(SkinFolder::Suffix.size());
    const std::optional<QString> typed =
        prompter().input(QStringLiteral("请输入新的名称："), QStringLiteral("重命名"), stem);
    if (!typed)
        return;
    const Result<QString> r = m_folder.rename(name, *typed);
    if (!r) {
        prompter().message(r.message(), QString(), Prompter::Icon::Warning);
        return;
    }
    if (m_applied == name)
        m_applied = *r;
    refresh();
    const QList<QListWidgetItem*> found = m_list->findItems(*r, Qt::MatchExactly);
    if (!found.isEmpty())
        m_list->setCurrentItem(found.first());
}
