#pragma once

#include "archive/GroupTree.h"

#include <QDialog>
#include <functional>

class QLineEdit;

// Window "增加分组" (also captioned "修改分组"): one name. "确定" hands the
// name to `apply`; a refused name keeps the window open, anything else
// closes it.
class GroupNameDialog : public QDialog {
    Q_OBJECT
public:
    using Apply = std::function<GroupTree::Result(const QString& name)>;

    GroupNameDialog(const QString& caption, const QString& name, Apply apply, QWidget* parent = nullptr);

    QString name() const;

private:
    void confirm();

    Apply m_apply;
    QLineEdit* m_name = nullptr;
};
