#include "shell/ui/Banner.h"

#include "shell/Commands.h"
#include "store/MainSettings.h"
#include "shell/ui/ToolbarLabel.h"

#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QPainter>

namespace {

struct ToolbarEntry {
    const char* name;
    const char* caption;
    int left;
    const char* hint;
    const char* command;
};

// The toolbar: unit, caption, left at design width, hint, command.
const ToolbarEntry toolbar[] = {
    {"增加透明标签", "增加", 664, "增加一个文件", Cmd::Add},
    {"删除透明标签", "删除", 704, "删除当前文件", Cmd::Delete},
    {"修改透明标签", "修改", 744, "修改当前文件", Cmd::Modify},
    {"保存透明标签", "保存", 784, "保存", Cmd::Save},
    {"取消透明标签", "取消", 824, "取消", Cmd::Cancel},
    {"搜索透明标签", "搜索", 864, "搜索文件", Cmd::Search},
    {"设置透明标签", "设置", 904, "系统设置", Cmd::SettingsMenu},
    {"关于透明标签", "关于", 944, "关于本系统", Cmd::About},
    {"退出透明标签", "退出", 984, "退出系统", Cmd::Exit},
};

const QString bannerHint = QStringLiteral("右键切换显示界面");

// The banner text's box at design width (left, top, width, height).
constexpr int TextLeft = 8;
constexpr int TextTop = 8;
constexpr int TextWidth = 632;
constexpr int TextHeight = 40;
// Least room between the banner text and the first toolbar label.
constexpr int TextGap = 8;

}  // namespace

QString Banner::designText()
{
    return QStringLiteral("Korvane文件管理 - 机关企事业信息化管理系统");
}

QPixmap Banner::designPicture()
{
    return QPixmap(QStringLiteral(":/mainwin/banner.jpg"));
}

Banner::Banner(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("图片框1"));
    setFixedHeight(Height);
    setMinimumWidth(0);
    setToolTip(bannerHint);
    m_picture = designPicture();

    m_fullText = designText();
    m_text = new QLabel(m_fullText, this);
    m_text->setObjectName(QStringLiteral("透明标签1"));
    m_text->setGeometry(TextLeft, TextTop, TextWidth, TextHeight);
    m_text->setToolTip(bannerHint);
    m_text->setAttribute(Qt::WA_TranslucentBackground);
    m_text->setContextMenuPolicy(Qt::NoContextMenu);
    QFont f;
    f.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("Noto Serif CJK SC")});
    f.setPixelSize(24);
    f.setBold(true);
    m_text->setFont(f);
    m_text->setStyleSheet(
        QStringLiteral("QLabel { color: white; background: transparent; font-size: 24px; font-weight: bold; }"));

    for (const ToolbarEntry& e : toolbar) {
        auto* label = new ToolbarLabel(QString::fromUtf8(e.name), QString::fromUtf8(e.caption),
                                       QString::fromUtf8(e.hint), QString::fromLatin1(e.command), this);
        label->setGeometry(e.left, 24, 32, 24);
        connect(label, &ToolbarLabel::activated, this, &Banner::commandRequested);
        m_labels.append(label);
        m_designLefts.append(e.left);
    }
}

void Banner::apply(const MainSettings& settings)
{
    setText(settings.bannerText.isEmpty() ? designText() : settings.bannerText);
    m_background = Background::Design;
    m_picture = designPicture();
    if (settings.background == MainSettings::Picture) {
        QPixmap p;
        if (!settings.bannerPicture.isEmpty() && p.loadFromData(settings.bannerPicture)) {
            m_picture = p;
            m_background = Background::Picture;
        }
    } else {
        m_colour = QColor::fromRgb(QRgb(settings.bannerColour & 0xFFFFFF));
        m_background = Background::Colour;
    }
    update();
}

void Banner::setText(const QString& text)
{
    m_fullText = text;
    placeLabels();
}

QString Banner::text() const
{
    return m_fullText;
}

void Banner::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (m_background == Background::Colour)
        p.fillRect(rect(), m_colour);
    else
        p.drawPixmap(rect(), m_picture);
}

void Banner::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeLabels();
}

void Banner::placeLabels()
{
    // The toolbar keeps its design distance from the right edge, so that on
    // a narrow screen every label stays within reach. It moves left no
    // further than the banner text's first character plus "…".
    m_text->ensurePolished();
    const QFontMetrics metrics(m_text->font());
    const int firstLeft = m_designLefts.isEmpty() ? DesignWidth : m_designLefts.first();
    const int lowest = TextLeft + metrics.horizontalAdvance(m_fullText.left(1) + QChar(0x2026)) + TextGap;
    const int shift = qMax(width() - DesignWidth, lowest - firstLeft);
    for (int i = 0; i < m_labels.size(); ++i)
        m_labels[i]->move(m_designLefts[i] + shift, 24);
    fitText();
}

void Banner::fitText()
{
    // The text ends before the toolbar begins: shortened at a character
    // boundary with "…" when it does not fit, never cut through a glyph.
    const int toolbarLeft = m_labels.isEmpty() ? width() : m_labels.first()->x();
    const int room = qMax(0, qMin(TextWidth, toolbarLeft - TextGap - TextLeft));
    m_text->setGeometry(TextLeft, TextTop, room, TextHeight);
    m_text->ensurePolished();
    const QFontMetrics metrics(m_text->font());
    m_text->setText(metrics.elidedText(m_fullText, Qt::ElideRight, room));
}

void Banner::contextMenuEvent(QContextMenuEvent* event)
{
    emit menuRequested(event->globalPos());
    event->accept();
}
