#include "shell/ui/LoginWindow.h"
#include "platform/ui/OuterSize.h"
#include "platform/ui/BackgroundDrag.h"

#include "ui_LoginWindow.h"

#include "platform/Prompter.h"
#include "shell/AppContext.h"
#include "shell/StartupSequence.h"
#include "shell/ui/LoginWindowPictures.h"
#include "shell/ui/StartupFonts.h"
#include "store/DataStore.h"

#include <QGuiApplication>
#include <QFontMetrics>
#include <QIcon>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>

namespace {

QIcon decorationIcon(const QPixmap& pm)
{
    // The buttons are disabled decorations: keep their colours.
    QIcon icon;
    icon.addPixmap(pm, QIcon::Normal);
    icon.addPixmap(pm, QIcon::Disabled);
    return icon;
}

QString songSheet(int pixels, bool bold, const QString& colour = {})
{
    QString sheet = QStringLiteral("font: %1%2px \"%3\";")
                        .arg(bold ? QStringLiteral("bold ") : QString())
                        .arg(pixels)
                        .arg(Startup::SongFamily);
    if (!colour.isEmpty())
        sheet += QStringLiteral(" color: %1;").arg(colour);
    return sheet;
}

// The product name is longer than the 24-pixel title was drawn for: narrow
// the face horizontally (same height, same box) until the whole name fits.
void fitWidth(QLabel* label)
{
    label->ensurePolished();
    QFont font = label->font();
    const int needed = QFontMetrics(font).horizontalAdvance(label->text());
    const int room = label->width() - 2;
    if (needed <= room || needed <= 0)
        return;
    font.setStretch(qMax(50, room * 100 / needed));
    label->setFont(font);
}

}  // namespace

LoginWindow::LoginWindow(AppContext& context, DataStore& store, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::LoginWindow>()), m_context(context), m_store(store),
      m_service(store, context.config)
{
    Startup::installFontSubstitutes();
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    OuterSize::fix(this, {446, 271});
    BackgroundDrag::install(this);
    applyLook();

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("时钟1"));
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &LoginWindow::finishHandOver);

    connect(m_ui->登录按钮, &QPushButton::clicked, this, &LoginWindow::attemptLogin);
    connect(m_ui->取消按钮, &QPushButton::clicked, this, &QDialog::reject);

    reloadUsers();
    m_ui->密码编辑框->clear();
    m_ui->组合框1->setFocus();

    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
}

LoginWindow::~LoginWindow() = default;

void LoginWindow::applyLook()
{
    m_ui->图片框1->setPixmap(LoginWindowPictures::banner());
    // Fonts and colours as widget style sheets, so that a skin's general
    // rules do not override them.
    m_ui->透明标签1->setStyleSheet(songSheet(14, false, QStringLiteral("white")));
    m_ui->透明标签2->setStyleSheet(songSheet(24, true, QStringLiteral("white")));
    m_ui->透明标签3->setStyleSheet(QStringLiteral("color: white;"));
    fitWidth(m_ui->透明标签2);
    for (QLabel* l : {m_ui->透明标签1, m_ui->透明标签2, m_ui->透明标签3})
        l->setAttribute(Qt::WA_TranslucentBackground);
    m_ui->组合框1->setStyleSheet(songSheet(12, false));
    // Every typed character shows as "*".
    m_ui->密码编辑框->setStyleSheet(songSheet(12, false) + QStringLiteral(" lineedit-password-character: 42;"));

    m_ui->图形按钮1->setIcon(decorationIcon(LoginWindowPictures::twoPersons()));
    m_ui->图形按钮1->setIconSize(QSize(32, 32));
    m_ui->图形按钮2->setIcon(decorationIcon(LoginWindowPictures::padlock()));
    m_ui->图形按钮2->setIconSize(QSize(27, 27));

    m_ui->标签2->hide();
    m_ui->进度图片框->hide();
}

bool LoginWindow::reloadUsers()
{
    const Result<QStringList> names = m_service.userNames();
    m_ui->组合框1->clear();
    if (!names) {
        // An empty list would look like "no usable operator"; say what happened.
        if (!names.detail().isEmpty())
            qWarning("korvane: %s", qUtf8Printable(names.detail()));
        prompter().message(names.message(), windowTitle(), Prompter::Icon::Critical);
        return false;
    }
    m_ui->组合框1->addItems(*names);
    m_ui->组合框1->setCurrentIndex(names->indexOf(m_service.preselected(*names)));
    return true;
}

void LoginWindow::attemptLogin()
{
    if (m_timer->isActive())
        return;
    const QString user = m_ui->组合框1->currentIndex() >= 0 ? m_ui->组合框1->currentText() : QString();
    const LoginService::Result r = m_service.login(user, m_ui->密码编辑框->text());
    switch (r.outcome) {
    case LoginService::Outcome::LoggedIn:
        break;
    case LoginService::Outcome::NoUserChosen:
        prompter().message(r.message);
        m_ui->组合框1->setFocus();
        return;
    case LoginService::Outcome::WrongPassword:
        m_ui->密码编辑框->clear();
        m_ui->密码编辑框->setFocus();
        prompter().message(r.message, windowTitle(), Prompter::Icon::Warning);
        return;
    case LoginService::Outcome::NotUsable:
    case LoginService::Outcome::UnknownUser:
        m_ui->密码编辑框->clear();
        prompter().message(r.message, windowTitle(), Prompter::Icon::Warning);
        reloadUsers();
        return;
    case LoginService::Outcome::Failed:
        prompter().message(r.message, windowTitle(), Prompter::Icon::Critical);
        return;
    }

    // Not remembering the name for the next start does not stop the login.
    if (!r.detail.isEmpty())
        qWarning("korvane: user name not remembered: %s", qUtf8Printable(r.detail));
    m_context.currentOperator = r.op;
    emit loggedIn(r.op.userName());
    if (!m_handOver) {
        accept();
        return;
    }
    // Show the busy picture while the main window is being built.
    m_ui->登录按钮->setEnabled(false);
    m_ui->取消按钮->setEnabled(false);
    m_ui->标签2->show();
    m_ui->进度图片框->show();
    // Painted now, so the busy picture shows while the main window is
    // built; the hand-over follows as soon as the events are served.
    repaint();
    m_timer->start(0);
}

void LoginWindow::finishHandOver()
{
    if (m_handOver)
        m_handOver();
    accept();
}

bool LoginWindow::relogin(AppContext& context, QWidget* parent)
{
    DataStore store;
    if (!store.open(context.archive)) {
        prompter().message(StartupSequence::OpenFailedMessage, {}, Prompter::Icon::Critical);
        return false;
    }
    LoginWindow window(context, store, parent);
    return window.exec() == QDialog::Accepted;
}

void LoginWindow::keyPressEvent(QKeyEvent* event)
{
    // Esc does not close the login.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
