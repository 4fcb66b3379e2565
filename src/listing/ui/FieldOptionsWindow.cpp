#include "listing/ui/FieldOptionsWindow.h"
#include "platform/ui/OuterSize.h"

#include "ui_FieldOptionsWindow.h"

#include "listing/ui/RenameFieldsWindow.h"
#include "platform/Prompter.h"
#include "store/DataStore.h"
#include "store/FieldOptions.h"

FieldOptionsWindow::FieldOptionsWindow(DataStore& store, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::FieldOptionsWindow>()), m_store(store)
{
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    OuterSize::fix(this, {348, 352});
    // A picture button drawn as a link.
    m_ui->字段改名超级按钮->setStyleSheet(QStringLiteral(
        "QToolButton { color: #0645ad; border: none; text-decoration: underline; background: transparent; }"));

    connect(m_ui->组合框1, &QComboBox::currentIndexChanged, this, &FieldOptionsWindow::showOptions);
    connect(m_ui->字段改名超级按钮, &QToolButton::clicked, this, &FieldOptionsWindow::renameFields);
    connect(m_ui->插入项目按钮, &QPushButton::clicked, this, &FieldOptionsWindow::insertOption);
    connect(m_ui->编辑框1, &QLineEdit::returnPressed, this, &FieldOptionsWindow::insertOption);
    connect(m_ui->删除按钮, &QPushButton::clicked, this, &FieldOptionsWindow::deleteOption);
    connect(m_ui->保存按钮, &QPushButton::clicked, this, &FieldOptionsWindow::saveOptions);
    connect(m_ui->关闭按钮, &QPushButton::clicked, this, &QDialog::reject);

    fillFields();
}

FieldOptionsWindow::~FieldOptionsWindow() = default;

int FieldOptionsWindow::chosenField() const
{
    return m_ui->组合框1->currentIndex() >= 0 ? m_ui->组合框1->currentData().toInt() : 0;
}

void FieldOptionsWindow::fillFields()
{
    // Keep the chosen field (and its unsaved list) when only titles change.
    const int chosen = chosenField();
    QSignalBlocker block(m_ui->组合框1);
    m_ui->组合框1->clear();
    for (const FieldOptions::Field& f : FieldOptions::fields(m_store).valueOr({}))
        m_ui->组合框1->addItem(f.title, f.number);
    const int at = chosen ? m_ui->组合框1->findData(chosen) : -1;
    m_ui->组合框1->setCurrentIndex(at);
    if (at < 0)
        m_ui->列表框1->clear();
}

void FieldOptionsWindow::showOptions()
{
    m_ui->列表框1->clear();
    const int field = chosenField();
    if (field == 0)
        return;
    m_ui->列表框1->addItems(FieldOptions::options(m_store, field).valueOr({}));
}

void FieldOptionsWindow::insertOption()
{
    const QString option = FieldOptions::cleanOption(m_ui->编辑框1->text());
    if (option.isEmpty())
        return;
    m_ui->列表框1->addItem(option);
    m_ui->列表框1->setCurrentRow(m_ui->列表框1->count() - 1);
    m_ui->编辑框1->clear();
    m_ui->编辑框1->setFocus();
}

void FieldOptionsWindow::deleteOption()
{
    const int row = m_ui->列表框1->currentRow();
    if (row < 0 || !m_ui->列表框1->item(row)->isSelected())
        return;
    delete m_ui->列表框1->takeItem(row);
}

void FieldOptionsWindow::saveOptions()
{
    const int field = chosenField();
    if (field == 0) {
        prompter().message(NoFieldMessage, {}, Prompter::Icon::Warning);
        return;
    }
    QStringList options;
    for (int i = 0; i < m_ui->列表框1->count(); ++i)
        options << m_ui->列表框1->item(i)->text();
    if (options.isEmpty()) {
        prompter().message(EmptyListMessage, {}, Prompter::Icon::Warning);
        return;
    }
    if (!FieldOptions::save(m_store, field, options)) {
        prompter().message(SaveFailedMessage, {}, Prompter::Icon::Warning);
        return;
    }
    prompter().message(SavedMessage, SavedTitle);
}

void FieldOptionsWindow::renameFields()
{
    RenameFieldsWindow window(m_store, this);
    connect(&window, &RenameFieldsWindow::titlesChanged, this, &FieldOptionsWindow::titlesChanged);
    window.exec();
    fillFields();
}
