#pragma once

#include <QDialog>

class GroupTree;
class QLineEdit;

// Window "设置分组密码": sets, changes or (with an empty new password)
// removes the password of one group.
class GroupPasswordDialog : public QDialog {
    Q_OBJECT
public:
    GroupPasswordDialog(GroupTree& groups, qint64 groupId, QWidget* parent = nullptr);

private:
    void confirm();

    GroupTree& m_groups;
    qint64 m_id;
    QLineEdit* m_old = nullptr;
    QLineEdit* m_new = nullptr;
};
