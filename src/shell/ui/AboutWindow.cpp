#include "shell/ui/AboutWindow.h"
#include "platform/ui/OuterSize.h"
#include "platform/ui/BackgroundDrag.h"

#include "shell/ui/StartupFonts.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QFontInfo>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <cmath>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScreen>

namespace {

QFont songti(int pixels, bool bold)
{
    QFont f;
    f.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("Noto Serif CJK SC")});
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

qreal lineHeight(const QFont& font, const QString& text)
{
    QTextLayout probe(text.isEmpty() ? QStringLiteral(" ") : text, font);
    probe.beginLayout();
    QTextLine line = probe.createLine();
    line.setLeadingIncluded(true);
    probe.endLayout();
    return line.isValid() ? line.height() : QFontMetricsF(font).lineSpacing();
}

// The box is drawn for an empty line and a line of text in a 12-pixel
// face whose lines are 14 pixels apart. With taller lines the text would
// run onto the box's bottom border, so the empty line gives up what the
// text needs: it is set in a smaller size until the text line fits inside
// the box's margins.
void keepClearOfBorder(QPlainTextEdit* box)
{
    box->ensurePolished();
    QTextDocument* doc = box->document();
    if (doc->blockCount() < 2 || !doc->firstBlock().text().isEmpty())
        return;
    const QFont font = box->font();
    const qreal room =
        box->contentsRect().height() - 2 * doc->documentMargin() - lineHeight(font, doc->lastBlock().text());
    QFont smaller = font;
    int pixels = font.pixelSize() > 0 ? font.pixelSize() : QFontInfo(font).pixelSize();
    if (lineHeight(font, QString()) <= room)
        return;
    while (pixels > 1) {
        smaller.setPixelSize(--pixels);
        if (lineHeight(smaller, QString()) <= room)
            break;
    }
    QTextCharFormat format;
    format.setFont(smaller);
    QTextCursor(doc->firstBlock()).setBlockCharFormat(format);
}

}  // namespace

QString AboutWindow::productLine()
{
    return QStringLiteral("Korvane文件管理系统(单机版) v3.1");
}

AboutWindow::AboutWindow(QWidget* parent)
    : QDialog(parent,
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                  | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("AboutWindow"));
    // 宋体 is found under the names this system's fonts are installed as.
    Startup::installFontSubstitutes();
    setWindowTitle(QStringLiteral("关于"));
    BackgroundDrag::install(this);
    setAttribute(Qt::WA_DeleteOnClose);
    OuterSize::fix(this, {402, 269});

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("标签1"));
    picture->setGeometry(0, 0, 398, 66);
    picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    picture->setPixmap(QPixmap(QStringLiteral(":/mainwin/about.png")));

    auto* product = new QLabel(productLine(), this);
    product->setObjectName(QStringLiteral("标签4"));
    product->setGeometry(24, 72, 288, 24);
    product->setFont(songti(13, true));

    auto* text = new QPlainTextEdit(this);
    text->setObjectName(QStringLiteral("编辑框1"));
    text->setGeometry(16, 184, 368, 40);
    text->setReadOnly(true);
    text->setFont(songti(12, false));
    text->setPlainText(QStringLiteral("\n 机关企事业信息化首选，文件资源管理更科学、更规范、更安全！"));
    text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    keepClearOfBorder(text);

    if (QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen()) {
        const QRect avail = screen->availableGeometry();
        move(avail.center() - QPoint(width() / 2, height() / 2));
    }
}

AboutWindow* AboutWindow::showAbout(QWidget* parent)
{
    auto* w = new AboutWindow(parent);
    w->show();
    w->raise();
    w->activateWindow();
    return w;
}
