#include "archive/ui/GroupPasswordDialog.h"
#include "platform/ui/OuterSize.h"

#include "archive/GroupTree.h"
#include "platform/Prompter.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

GroupPasswordDialog::GroupPasswordDialog(GroupTree& groups, qint64 groupId, QWidget* parent)
    : QDialog(parent), m_groups(groups), m_id(groupId)
{
    setObjectName(QStringLiteral("设置分组密码"));
    setWindowTitle(QStringLiteral("设置分组密码"));
    OuterSize::fix(this, {351, 190});

    auto label = [this](const char* name, const QString& text, int top) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QString::fromUtf8(name));
        l->setGeometry(24, top, 88, 20);
    };
    label("标签3", QStringLiteral("当前分组名："), 16);
    label("标签1", QStringLiteral("输入旧密码："), 48);
    label("标签2", QStringLiteral("输入新密码："), 80);

    const GroupTree::Node* n = groups.find(groupId);
    auto* name = new QLineEdit(n ? n->name : QString(), this);
    name->setObjectName(QStringLiteral("分组名编辑框"));
    name->setGeometry(112, 16, 168, 20);
    name->setReadOnly(true);

    m_old = new QLineEdit(this);
    m_old->setObjectName(QStringLiteral("编辑框1"));
    m_old->setGeometry(112, 48, 168, 20);
    m_old->setEchoMode(QLineEdit::Password);
    m_new = new QLineEdit(this);
    m_new->setObjectName(QStringLiteral("编辑框2"));
    m_new->setGeometry(112, 80, 168, 20);
    m_new->setEchoMode(QLineEdit::Password);
    // Each typed character shows as "*".
    for (QLineEdit* e : {m_old, m_new})
        e->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));

    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setObjectName(QStringLiteral("确定按钮"));
    ok->setGeometry(128, 120, 56, 24);
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    cancel->setObjectName(QStringLiteral("取消按钮"));
    cancel->setGeometry(208, 120, 56, 24);

    connect(ok, &QPushButton::clicked, this, &GroupPasswordDialog::confirm);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    m_old->setFocus();
}

void GroupPasswordDialog::confirm()
{
    const QString oldPassword = m_old->text();
    const GroupTree::Result check = m_groups.checkOldPassword(m_id, oldPassword);
    if (!check) {
        prompter().message(check.message, {}, Prompter::Icon::Warning);
        if (check.kind == GroupTree::Result::Kind::Refused) {
            m_old->selectAll();
            m_old->setFocus();
        } else {
            reject();
        }
        return;
    }
    if (!prompter().question(GroupTree::PasswordQuestion))
        return;
    const GroupTree::Result r = m_groups.setPassword(m_id, oldPassword, m_new->text());
    prompter().message(r.message, {}, r ? Prompter::Icon::Information : Prompter::Icon::Critical);
    if (r)
        accept();
    else
        reject();
}
