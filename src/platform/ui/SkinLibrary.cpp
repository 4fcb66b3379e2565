#include "platform/ui/SkinLibrary.h"

#include "platform/Config.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QPainter>
#include <QPen>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyleOption>
#include <QStyleFactory>

namespace SkinLibrary {

namespace {

QString g_attached;

// Skin files larger than this are not style sheets of ours.
constexpr qint64 MaxSkinBytes = 4 * 1024 * 1024;

QApplication* application()
{
    return qobject_cast<QApplication*>(QCoreApplication::instance());
}

const QString BaseLookName = QStringLiteral("KorvaneBaseLook");

// Password boxes mask every character with "*", whatever the platform's
// theme prefers ("●" on most). A style sheet is drawn over this style and
// asks it for the character unless the sheet names one itself.
//
// A push button reached by the keyboard carries a dotted frame inside it.
// The platform look may mark a focused button no differently from the
// default one (Fusion draws both with the same outline), and a skin's
// button border replaces whatever the look would have drawn: the frame is
// drawn here, for a button drawn by the look and for one drawn by a skin
// (whose sheet asks this style for the button's focus frame).
class BaseLook final : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override
    {
        if (element == PE_FrameFocusRect && qobject_cast<const QPushButton*>(widget)) {
            markButtonFocus(option, painter, option->rect);
            return;
        }
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override
    {
        QProxyStyle::drawControl(element, option, painter, widget);
        // The same frame again where the look drew one through drawPrimitive.
        if (element == CE_PushButton)
            markButtonFocus(option, painter, subElementRect(SE_PushButtonFocusRect, option, widget));
    }

private:
    static void markButtonFocus(const QStyleOption* option, QPainter* painter, const QRect& rect)
    {
        // Only after the keyboard moved the focus, as the platforms do.
        if (!(option->state & State_HasFocus) || !(option->state & State_KeyboardFocusChange) || rect.isEmpty())
            return;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing, false);
        painter->setBrush(Qt::NoBrush);
        painter->setPen(QPen(option->palette.color(QPalette::ButtonText), 0, Qt::DotLine));
        painter->drawRect(rect.adjusted(0, 0, -1, -1));
        painter->restore();
    }
};

// Appended to every skin, so that no skin overrides them:
// - a skin may not choose the password character;
// - a box the operator types or chooses in shows the focus. A skin's
//   border replaces the frame the platform look marks the focus on, and a
//   style sheet draws no focus frame of its own for these boxes: without
//   this rule a skinned window shows no focus in them at all.
const QString SkinEpilogue =
    QStringLiteral("\nQLineEdit { lineedit-password-character: 42; }\n"
                   "QLineEdit:focus, QComboBox:focus, QAbstractSpinBox:focus, QTextEdit:focus, QPlainTextEdit:focus"
                   " { border: 1px solid palette(highlight); }\n");

}  // namespace

QFont interfaceFont()
{
    // A Song face at 9 points: the windows were drawn for its metrics (a
    // Han character 12 pixels wide), which a sans face of the same size
    // exceeds.
    const QStringList families = QFontDatabase::families();
    for (const char* face : {"AR PL UMing CN", "AR PL SungtiL GB", "Noto Serif CJK SC", "Source Han Serif SC"}) {
        const QString name = QString::fromLatin1(face);
        if (families.contains(name)) {
            QFont f(name);
            f.setPointSize(9);
            return f;
        }
    }
    QFont f = QApplication::font();
    f.setPointSize(9);
    return f;
}

void installBaseLook()
{
    QApplication* app = application();
    if (!app)
        return;
    QApplication::setFont(interfaceFont());
    // The application owns its style and deletes it when replaced.
    static QPointer<QStyle> installed;
    if (installed)
        return;
    QString base = QApplication::style()->name();
    if (base.isEmpty() || !QStyleFactory::keys().contains(base, Qt::CaseInsensitive))
        base = QStringLiteral("Fusion");
    auto* look = new BaseLook(QStyleFactory::create(base));
    look->setObjectName(BaseLookName);
    installed = look;
    // With a skin attached the application wraps this style in the sheet's.
    QApplication::setStyle(look);
}

bool attach(const QString& path, const QString& password)
{
    // Our skins are plain style sheets; the password is part of the
    // library's calling convention and opens nothing here.
    Q_UNUSED(password);
    QApplication* app = application();
    if (!app || path.trimmed().isEmpty() || path.trimmed().compare(NoSkin, Qt::CaseInsensitive) == 0)
        return false;
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > MaxSkinBytes)
        return false;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        return false;
    installBaseLook();
    // Skin files may be saved as UTF-8 or GBK, like Config.ini.
    app->setStyleSheet(Config::decode(bytes) + SkinEpilogue);
    g_attached = info.absoluteFilePath();
    return true;
}

void detach()
{
    if (QApplication* app = application())
        app->setStyleSheet(QString());
    g_attached.clear();
}

QString attachedPath()
{
    return g_attached;
}

}  // namespace SkinLibrary
