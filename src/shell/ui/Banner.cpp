#include "shell/ui/Banner.h"

#include "shell/Commands.h"
#include "store/MainSettings.h"
#include "shell/ui/ToolbarLabel.h"

#include <QContextMenuEvent>
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

    m_text = new QLabel(designText(), this);
    m_text->setObjectName(QStringLiteral("透明标签1"));
    m_text->setGeometry(8, 8, 632, 40);
    m_text->setToolTip(bannerHint);
    m_text->setAttribute(Qt::WA_TranslucentBackground);
    m_text->setContextMenuPolicy(Qt::NoContextMenu);
    QFont f;
    f.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("Noto Serif CJK SC")});
    f.setPixelSize(24);
    f.setBold(true);
    m_text->setFont(f);
    m_text->setStyleSheet(QStringLiteral(
        "QLabel { color: white; background: transparent; font-size: 24px; font-weight: bold; }"));

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
    m_text->setText(text);
}

QString Banner::text() const
{
    return m_text->text();
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
    // The toolbar keeps its distance from the right edge when the window is
    // wider than its design width, and its design place when narrower.
    const int shift = qMax(0, width() - DesignWidth);
    for (int i = 0; i < m_labels.size(); ++i)
        m_labels[i]->move(m_designLefts[i] + shift, 24);
}

void Banner::contextMenuEvent(QContextMenuEvent* event)
{
    emit menuRequested(event->globalPos());
    event->accept();
}
