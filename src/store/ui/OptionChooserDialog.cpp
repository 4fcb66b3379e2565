#include "store/ui/OptionChooserDialog.h"
#include "platform/ui/OuterSize.h"

#include <QKeyEvent>
#include <QListWidget>

OptionChooserDialog::OptionChooserDialog(const QStringList& options, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("双击选择项目"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    OuterSize::fix(this, {220, 280});
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("列表框1"));
    m_list->setGeometry(0, 0, 220, 280);
    m_list->addItems(options);
    m_list->installEventFilter(this);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &OptionChooserDialog::chooseItem);
}

void OptionChooserDialog::chooseItem(QListWidgetItem* item)
{
    if (!item)
        return;
    m_chosen = item->text();
    accept();
}

bool OptionChooserDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && m_list->currentItem()
            && m_list->currentItem()->isSelected()) {
            chooseItem(m_list->currentItem());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

std::optional<QString> OptionChooserDialog::choose(const QStringList& options, QWidget* parent)
{
    OptionChooserDialog dlg(options, parent);
    dlg.exec();
    return dlg.chosen();
}
