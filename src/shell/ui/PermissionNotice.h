#pragma once

#include <QDialog>
#include <QPoint>

class QLabel;
class QTimer;
class QToolButton;

// The permission notice " Korvane文件管理系统": "您没有此操作权限!", always on
// top, closes itself after a few seconds, Esc closes it, the background
// drags it. It takes the keyboard when shown, so Esc reaches it and not the
// window behind; there is at most one at a time.
class PermissionNotice : public QDialog {
    Q_OBJECT
public:
    static constexpr int TicksBeforeClosing = 3;
    static inline const QString Text = QStringLiteral("您没有此操作权限!");

    explicit PermissionNotice(QWidget* parent = nullptr);

    // Shows the notice (non-blocking) and returns it; it deletes itself on
    // close. While one is showing it is brought forward and counts its
    // seconds again instead of a second one opening.
    static PermissionNotice* showNotice(QWidget* parent = nullptr);
    // The notice showing now, or null.
    static PermissionNotice* current();

    int ticks() const { return m_ticks; }
    // The 32 x 32 blue information icon.
    static QPixmap infoIcon();

public slots:
    // One tick of 时钟1; the notice closes itself on the last one.
    void tick();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QToolButton* m_icon = nullptr;
    QLabel* m_label = nullptr;
    QTimer* m_timer = nullptr;
    int m_ticks = 0;
};
