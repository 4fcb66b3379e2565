#include "listing/ui/SearchWindow.h"

#include "listing/ui/SavedConditionWindows.h"
#include "platform/Prompter.h"
#include "platform/ui/OuterSize.h"
#include "store/FieldOptions.h"
#include "store/WjColumns.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

using SearchConditions::Condition;
using SearchConditions::Kind;

SearchWindow::SearchWindow(DataStore& store, const ProtectedGroups& openGroups, const QString& userName,
                           QWidget* parent)
    : QDialog(parent), m_store(store), m_openGroups(openGroups), m_userName(userName)
{
    setWindowTitle(QStringLiteral("搜索"));
    OuterSize::fix(this, {499, 340});

    m_field = new QComboBox(this);
    m_field->setObjectName(QStringLiteral("搜索字段组合框"));
    m_field->setGeometry(8, 10, 128, 20);
    m_field->setPlaceholderText(QStringLiteral("搜索字段"));
    m_fields = SearchConditions::fields(store).valueOr({});
    for (const SearchConditions::Field& f : std::as_const(m_fields))
        m_field->addItem(f.title, f.field);
    m_field->setCurrentIndex(-1);

    m_operator = new QComboBox(this);
    m_operator->setObjectName(QStringLiteral("条件组合框"));
    m_operator->setGeometry(144, 10, 64, 20);
    m_operator->addItems(SearchConditions::operators(Kind::Text));

    m_text = new QLineEdit(this);
    m_text->setObjectName(QStringLiteral("编辑框1"));
    m_text->setGeometry(208, 10, 152, 20);

    m_choice = new QComboBox(this);
    m_choice->setObjectName(QStringLiteral("组合框1"));
    m_choice->setGeometry(208, 10, 152, 20);
    m_choice->hide();

    m_date = new QDateEdit(QDate::currentDate(), this);
    m_date->setObjectName(QStringLiteral("日期框1"));
    m_date->setGeometry(208, 10, 136, 20);
    m_date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    m_date->setCalendarPopup(true);
    m_date->hide();

    m_relation = new QComboBox(this);
    m_relation->setObjectName(QStringLiteral("关系组合框"));
    m_relation->setGeometry(360, 10, 56, 20);
    m_relation->addItems({SearchConditions::And, SearchConditions::Or});

    m_fieldList = new QListWidget(this);
    m_fieldList->setObjectName(QStringLiteral("字段列表框"));
    m_fieldList->setGeometry(8, 34, 128, 224);
    m_contentList = new QListWidget(this);
    m_contentList->setObjectName(QStringLiteral("内容列表框"));
    m_contentList->setGeometry(144, 34, 272, 224);
    m_sqlList = new QListWidget(this);
    m_sqlList->setObjectName(QStringLiteral("SQL列表框"));
    m_sqlList->setGeometry(144, 146, 272, 112);
    m_sqlList->hide();
    // A row chosen in one list is chosen in the other.
    connect(m_fieldList, &QListWidget::currentRowChanged, m_contentList, [this](int row) {
        if (m_contentList->currentRow() != row)
            m_contentList->setCurrentRow(row);
    });
    connect(m_contentList, &QListWidget::currentRowChanged, m_fieldList, [this](int row) {
        if (m_fieldList->currentRow() != row)
            m_fieldList->setCurrentRow(row);
    });

    auto button = [this](const char* name, const QString& text, const QRect& geometry) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QString::fromUtf8(name));
        b->setGeometry(geometry);
        b->setAutoDefault(false);
        return b;
    };
    connect(button("增加按钮", QStringLiteral("增加条件"), {424, 8, 56, 24}), &QPushButton::clicked, this,
            &SearchWindow::addCondition);
    connect(button("删除按钮", QStringLiteral("删除条件"), {424, 42, 56, 24}), &QPushButton::clicked, this,
            &SearchWindow::deleteCondition);
    connect(button("清空按钮", QStringLiteral("清空"), {424, 74, 56, 24}), &QPushButton::clicked, this,
            &SearchWindow::clearConditions);
    connect(button("保存条件按钮", QStringLiteral("保存条件"), {424, 114, 56, 24}), &QPushButton::clicked, this,
            &SearchWindow::saveConditions);
    connect(button("打开条件按钮", QStringLiteral("打开条件"), {424, 154, 56, 24}), &QPushButton::clicked, this,
            &SearchWindow::openConditions);

    m_distinct = new QCheckBox(QStringLiteral("不显示重名文件"), this);
    m_distinct->setObjectName(QStringLiteral("选择框1"));
    m_distinct->setGeometry(8, 266, 104, 24);
    m_noProtected = new QCheckBox(QStringLiteral("不包含加密分组"), this);
    m_noProtected->setObjectName(QStringLiteral("选择框2"));
    m_noProtected->setGeometry(136, 266, 112, 24);

    connect(button("搜索按钮", QStringLiteral("搜索"), {288, 266, 104, 24}), &QPushButton::clicked, this,
            &SearchWindow::search);
    connect(button("取消按钮", QStringLiteral("取消"), {424, 266, 56, 24}), &QPushButton::clicked, this,
            &QDialog::reject);

    connect(m_field, &QComboBox::currentIndexChanged, this, &SearchWindow::fieldChosen);
}

void SearchWindow::fieldChosen(int index)
{
    if (index < 0 || index >= m_fields.size())
        return;
    const SearchConditions::Field& f = m_fields.at(index);
    const QString previous = m_operator->currentText();
    const QStringList ops = SearchConditions::operators(f.kind);
    m_operator->clear();
    m_operator->addItems(ops);
    m_operator->setCurrentIndex(qMax(0, int(ops.indexOf(previous))));

    QStringList options;
    if (f.kind == Kind::Text && f.bh >= WjColumns::FirstSpareBh
        && f.bh < WjColumns::FirstSpareBh + WjColumns::PickListSpares)
        options = FieldOptions::options(m_store, f.bh).valueOr({});
    m_choice->clear();
    m_choice->addItems(options);
    m_date->setVisible(f.kind == Kind::Date);
    m_choice->setVisible(f.kind == Kind::Text && !options.isEmpty());
    m_text->setVisible(!m_date->isVisible() && !m_choice->isVisible());
}

QString SearchWindow::typedValue() const
{
    if (m_date->isVisible())
        return m_date->date().toString(QStringLiteral("yyyy-MM-dd"));
    if (m_choice->isVisible())
        return m_choice->currentText();
    return m_text->text();
}

int SearchWindow::selectedRow() const
{
    const int row = m_contentList->currentRow();
    if (row >= 0 && m_contentList->item(row)->isSelected())
        return row;
    const int other = m_fieldList->currentRow();
    return other >= 0 && m_fieldList->item(other)->isSelected() ? other : -1;
}

void SearchWindow::addCondition()
{
    const int index = m_field->currentIndex();
    if (index < 0 || index >= m_fields.size()) {
        prompter().message(QStringLiteral("请选择搜索字段!"));
        return;
    }
    const Condition c{m_fields.at(index).field, m_operator->currentText(), typedValue(), m_relation->currentText()};
    if (const Status ok = SearchConditions::check(c); !ok) {
        prompter().message(ok.message());
        return;
    }
    m_rows.append(c);
    m_fieldList->addItem(m_fields.at(index).title);
    m_contentList->addItem(SearchConditions::readable(c));
    m_sqlList->addItem(SearchConditions::sqlText(c));
}

void SearchWindow::deleteCondition()
{
    const int row = selectedRow();
    if (row < 0 || row >= m_rows.size()) {
        prompter().message(QStringLiteral("请选择需要删除的条件项!"));
        return;
    }
    m_rows.removeAt(row);
    delete m_fieldList->takeItem(row);
    delete m_contentList->takeItem(row);
    delete m_sqlList->takeItem(row);
}

void SearchWindow::clearConditions()
{
    setConditions({});
}

void SearchWindow::setConditions(const QList<Condition>& rows)
{
    m_rows = rows;
    m_fieldList->clear();
    m_contentList->clear();
    m_sqlList->clear();
    for (const Condition& c : rows) {
        QString title = c.field;
        for (const SearchConditions::Field& f : std::as_const(m_fields))
            if (f.field == c.field)
                title = f.title;
        m_fieldList->addItem(title);
        m_contentList->addItem(SearchConditions::readable(c));
        m_sqlList->addItem(SearchConditions::sqlText(c));
    }
}

void SearchWindow::saveConditions()
{
    if (m_rows.isEmpty()) {
        prompter().message(QStringLiteral("当前没有条件! "));
        return;
    }
    SaveConditionWindow w(m_store, m_userName, m_rows, std::nullopt, this);
    w.exec();
}

void SearchWindow::openConditions()
{
    ChooseConditionWindow w(m_store, m_userName, m_rows, this);
    connect(&w, &ChooseConditionWindow::conditionOpened, this, &SearchWindow::setConditions);
    w.exec();
}

void SearchWindow::search()
{
    SearchConditions::Options options;
    options.distinctNames = m_distinct->isChecked();
    options.leaveOutProtected = m_noProtected->isChecked();
    const Result<FilterClause> clause = SearchConditions::compile(m_store, m_openGroups, m_rows, options);
    if (!clause) {
        prompter().message(clause.message());
        return;
    }
    emit searchRequested(*clause);
    accept();
}
