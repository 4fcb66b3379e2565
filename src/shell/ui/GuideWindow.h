#pragma once

#include <QDialog>
#include <QPoint>

class Config;
class QCheckBox;

// The getting-started guide "如何开始？": four steps, the check box
// "我知道了，下次登录系统不要再弹出" and "确定". Ticking the box and pressing
// "确定" sets the guide flag (Config.ini, section "xd", key "qd") so that
// later logins no longer offer the guide.
class GuideWindow : public QDialog {
    Q_OBJECT
public:
    explicit GuideWindow(Config& config, QWidget* parent = nullptr);

    // True when the operator asked not to be offered the guide again.
    static bool isSuppressed(const Config& config);
    // Shows the guide (non-modal, deleted on close) unless the flag is set;
    // null when it was not shown.
    static GuideWindow* offer(Config& config, QWidget* parent = nullptr);
    // Shows the guide regardless of the flag.
    static GuideWindow* showGuide(Config& config, QWidget* parent = nullptr);

protected:
private:
    void confirm();

    Config& m_config;
    QCheckBox* m_dontShow = nullptr;
};
