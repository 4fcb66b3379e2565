#pragma once

#include <QPixmap>
#include <QTimer>
#include <QWidget>

// The pictures of the login window, drawn at run time.
namespace LoginWindowPictures {

// The blue grid banner, 448 x 78.
QPixmap banner();
// 32 x 32: two persons, beside the user name.
QPixmap twoPersons();
// 32 x 32: a yellow padlock, beside the password.
QPixmap padlock();

}

// The busy picture: a small green progress bar whose blocks run from left to
// right while it is shown (22 frames).
class LoginBusyPicture : public QWidget {
    Q_OBJECT
public:
    static constexpr int FrameCount = 22;

    explicit LoginBusyPicture(QWidget* parent = nullptr);
    int frame() const { return m_frame; }
    bool isRunning() const { return m_timer.isActive(); }

public slots:
    void advance();

protected:
    void paintEvent(QPaintEvent*) override;
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;

private:
    QTimer m_timer;
    int m_frame = 0;
};
