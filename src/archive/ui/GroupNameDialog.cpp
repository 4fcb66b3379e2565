#include "archive/ui/GroupNameDialog.h"
#include "platform/ui/OuterSize.h"

#include "platform/Prompter.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

GroupNameDialog::GroupNameDialog(const QString& caption, const QString& name, Apply apply, QWidget* parent)
    : QDialog(parent), m_apply(std::move(apply))
{
    setObjectName(QStringLiteral("增加分组"));
    setWindowTitle(caption);
    OuterSize::fix(this, {351, 148});

    auto* label = new QLabel(QStringLiteral("新增分组："), this);
    label->setObjectName(QStringLiteral("标签1"));
    label->setGeometry(40, 24, 64, 24);

    m_name = new QLineEdit(name, this);
    m_name->setObjectName(QStringLiteral("编辑框1"));
    m_name->setGeometry(96, 24, 184, 20);
    m_name->selectAll();

    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setObjectName(QStringLiteral("确定按钮"));
    ok->setGeometry(120, 72, 56, 24);
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    cancel->setObjectName(QStringLiteral("取消按钮"));
    cancel->setGeometry(200, 72, 56, 24);

    connect(ok, &QPushButton::clicked, this, &GroupNameDialog::confirm);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QString GroupNameDialog::name() const
{
    return m_name->text();
}

void GroupNameDialog::confirm()
{
    const GroupTree::Result r = m_apply(name());
    if (r) {
        accept();
        return;
    }
    if (!r.message.isEmpty())
        prompter().message(r.message, {}, Prompter::Icon::Warning);
    if (r.kind == GroupTree::Result::Kind::Refused)
        m_name->setFocus();
    else
        reject();
}
