#pragma once

#include <QDialog>

// The permission notice " Korvane文件管理系统": "您没有此操作权限!", always on
// top, closes itself after a few seconds, Esc closes it.
class PermissionNotice : public QDialog {
    Q_OBJECT
public:
    explicit PermissionNotice(QWidget* parent = nullptr);

    // Shows the notice (non-blocking) and returns it; it deletes itself on close.
    static PermissionNotice* showNotice(QWidget* parent = nullptr);
};
