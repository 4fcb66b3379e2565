#include "settings/ui/DeleteLogWindow.h"

#include "platform/Prompter.h"
#include "platform/ui/OuterSize.h"
#include "settings/LogBook.h"

#include <QDateEdit>
#include <QLabel>
#include <QPushButton>

DeleteLogWindow::DeleteLogWindow(DataStore& store, const CurrentOperator& op, const QDate& first, const QDate& last,
                                 QWidget* parent)
    : QDialog(parent), m_store(store), m_operator(op)
{
    setObjectName(QStringLiteral("删除日志"));
    setWindowTitle(QStringLiteral("删除日志"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    OuterSize::fix(this, {349, 143});

    auto* label1 = new QLabel(QStringLiteral("日期"), this);
    label1->setObjectName(QStringLiteral("标签1"));
    label1->setGeometry(24, 24, 36, 20);
    m_first = new QDateEdit(first, this);
    m_first->setObjectName(QStringLiteral("日期框1"));
    m_first->setGeometry(64, 24, 120, 20);
    auto* label2 = new QLabel(QStringLiteral("至"), this);
    label2->setObjectName(QStringLiteral("标签2"));
    label2->setGeometry(189, 24, 11, 20);
    m_last = new QDateEdit(last, this);
    m_last->setObjectName(QStringLiteral("日期框2"));
    m_last->setGeometry(200, 24, 120, 20);
    for (QDateEdit* box : {m_first, m_last}) {
        box->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        box->setCalendarPopup(true);
    }

    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setObjectName(QStringLiteral("确定按钮"));
    ok->setGeometry(112, 64, 56, 24);
    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    cancel->setObjectName(QStringLiteral("取消按钮"));
    cancel->setGeometry(192, 64, 56, 24);
    connect(ok, &QPushButton::clicked, this, &DeleteLogWindow::confirm);
    connect(cancel, &QPushButton::clicked, this, &DeleteLogWindow::reject);
}

void DeleteLogWindow::confirm()
{
    const QDate first = m_first->date();
    const QDate last = m_last->date();
    if (!prompter().question(LogBook::deleteQuestion(first, last), LogBook::DeleteTitle))
        return;
    const Result<qint64> removed = LogBook::deleteRange(m_store, m_operator, first, last);
    if (!removed) {
        prompter().message(removed.message(), {}, Prompter::Icon::Critical);
        return;
    }
    prompter().message(LogBook::DeleteDone, {}, Prompter::Icon::Information);
    emit deleted(removed.value());
    accept();
}
