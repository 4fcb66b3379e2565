#include "settings/ui/ChangePasswordWindow.h"

#include "platform/Prompter.h"
#include "platform/ui/OuterSize.h"
#include "store/CurrentOperator.h"
#include "store/LogWriter.h"
#include "store/Operators.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

ChangePasswordWindow::ChangePasswordWindow(DataStore& store, const CurrentOperator& current, QWidget* parent)
    : QDialog(parent), m_store(store), m_current(current)
{
    setObjectName(QStringLiteral("修改口令"));
    setWindowTitle(QStringLiteral("修改口令"));
    OuterSize::fix(this, {287, 215});

    auto label = [this](const char* name, const QString& text, int left, int top) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QString::fromUtf8(name));
        l->setGeometry(left, top, 112 - left, 20);
    };
    label("标签1", QStringLiteral("当前用户："), 48, 24);
    label("标签2", QStringLiteral("新口令："), 64, 56);
    label("标签3", QStringLiteral("确认口令："), 48, 88);

    auto* user = new QLineEdit(current.userName(), this);
    user->setObjectName(QStringLiteral("编辑框1"));
    user->setGeometry(112, 24, 112, 20);
    user->setReadOnly(true);

    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("编辑框2"));
    m_password->setGeometry(112, 56, 112, 20);
    m_repeated = new QLineEdit(this);
    m_repeated->setObjectName(QStringLiteral("编辑框3"));
    m_repeated->setGeometry(112, 88, 112, 20);
    for (QLineEdit* e : {m_password, m_repeated}) {
        e->setEchoMode(QLineEdit::Password);
        e->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
    }

    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setObjectName(QStringLiteral("按钮1"));
    ok->setGeometry(64, 136, 64, 24);
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    cancel->setObjectName(QStringLiteral("按钮2"));
    cancel->setGeometry(168, 136, 64, 24);

    connect(ok, &QPushButton::clicked, this, &ChangePasswordWindow::confirm);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    m_password->setFocus();
}

void ChangePasswordWindow::changeOwn(DataStore& store, const CurrentOperator& current, QWidget* parent)
{
    ChangePasswordWindow window(store, current, parent);
    window.exec();
}

void ChangePasswordWindow::confirm()
{
    Operators operators(m_store, m_current);
    const Result<Operators::Saved> changed = operators.changeOwnPassword(m_password->text(), m_repeated->text());
    if (!changed) {
        if (!changed.detail().isEmpty())
            qWarning("korvane: %s", qUtf8Printable(changed.detail()));
        prompter().message(changed.message(), {}, Prompter::Icon::Warning);
        if (changed.message() == Operators::PasswordsDifferMessage) {
            m_repeated->clear();
            m_password->selectAll();
            m_password->setFocus();
        }
        return;
    }
    if (changed->logFailed)
        prompter().message(LogWriter::FailureMessage, {}, Prompter::Icon::Warning);
    prompter().message(changed.message(), QStringLiteral("OK"));
    accept();
}
