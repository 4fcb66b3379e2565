#pragma once

#include <QDialog>
#include <QPoint>

// The About window "关于": the banner picture, the product line with its
// version and a one-line description. Fixed size; Esc or the close box
// closes it.
class AboutWindow : public QDialog {
    Q_OBJECT
public:
    explicit AboutWindow(QWidget* parent = nullptr);

    static QString productLine();
    // Shows the window (non-modal, deleted on close).
    static AboutWindow* showAbout(QWidget* parent = nullptr);

protected:
private:
};
