#include "shell/ui/GuideWindow.h"
#include "platform/ui/OuterSize.h"
#include "platform/ui/BackgroundDrag.h"

#include "platform/Config.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>

namespace {

// The value written under the flag's key; any other value (or none) means
// the guide is still offered.
const QString FlagValue = QStringLiteral("1");

QLabel* addLabel(QWidget* parent, const char* name, const QRect& geometry, const QString& text, bool bold)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromUtf8(name));
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    l->setWordWrap(false);
    QFont f = l->font();
    f.setPixelSize(12);
    if (bold)
        f.setWeight(QFont::Bold);
    l->setFont(f);
    // A line that a wider face would cut short keeps its last characters:
    // the label grows to the right, within the window.
    QRect g = geometry;
    const int needed = l->fontMetrics().horizontalAdvance(text) + 2;
    if (!text.contains(QLatin1Char('<')) && needed > g.width())
        g.setWidth(qMin(needed, 503 - 4 - g.left()));
    l->setGeometry(g);
    return l;
}

}  // namespace

GuideWindow::GuideWindow(Config& config, QWidget* parent) : QDialog(parent), m_config(config)
{
    setObjectName(QStringLiteral("GuideWindow"));
    setWindowTitle(QStringLiteral("如何开始？"));
    BackgroundDrag::install(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setSizeGripEnabled(false);
    OuterSize::resize(this, {503, 354});

    addLabel(this, "标签5", {24, 16, 136, 24}, QStringLiteral("第一步：文件分组"), true);
    addLabel(this, "标签6", {80, 40, 392, 24},
             QStringLiteral("选择左侧文件服务器-分组目录，右键-增加分组、修改分组、删除分组。"), false);
    addLabel(this, "标签1", {24, 72, 136, 24}, QStringLiteral("第二步：添加一个文件"), true);
    // Two paragraphs with an empty line between them; the empty line is
    // kept short so that both fit the label's 40 pixels.
    QLabel* twoWays =
        addLabel(this, "标签3", {80, 104, 392, 40},
                 QStringLiteral("<p style=\"margin:0\">%1</p>"
                                "<p style=\"margin:0; font-size:5px\">&nbsp;</p>"
                                "<p style=\"margin:0\">%2</p>")
                     .arg(QStringLiteral("方法一：点击工具条【增加】按钮，进行单个文件的入库操作。"),
                          QStringLiteral("方法二：选择左侧文件服务器-分组目录，右键-向当前分组增加文件。")),
                 false);
    twoWays->setTextFormat(Qt::RichText);
    addLabel(this, "标签2", {24, 152, 136, 24}, QStringLiteral("第三步：添加一组文件"), true);
    addLabel(this, "标签4", {80, 176, 392, 24},
             QStringLiteral("选择左侧文件服务器-分组目录，右键-数据导入，一次批量导入若个文件。"), false);
    addLabel(this, "标签7", {24, 208, 128, 24}, QStringLiteral("第四步：其他操作"), true);
    addLabel(this, "标签8", {80, 232, 392, 24},
             QStringLiteral("单击工具条【设置】按钮，可进行系统设置、权限管理、修改口令等操作。"), false);

    m_dontShow = new QCheckBox(QStringLiteral("我知道了，下次登录系统不要再弹出"), this);
    m_dontShow->setObjectName(QStringLiteral("选择框1"));
    m_dontShow->setGeometry(24, 280, 296, 24);
    m_dontShow->setChecked(false);

    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setObjectName(QStringLiteral("确定按钮"));
    ok->setGeometry(384, 280, 64, 24);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &GuideWindow::confirm);

    if (QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen()) {
        const QRect avail = screen->availableGeometry();
        move(avail.center() - QPoint(width() / 2, height() / 2));
    }
}

bool GuideWindow::isSuppressed(const Config& config)
{
    return config.value(Config::GuideSection, Config::GuideKey).trimmed() == FlagValue;
}

GuideWindow* GuideWindow::offer(Config& config, QWidget* parent)
{
    config.reload();
    if (isSuppressed(config))
        return nullptr;
    return showGuide(config, parent);
}

GuideWindow* GuideWindow::showGuide(Config& config, QWidget* parent)
{
    auto* w = new GuideWindow(config, parent);
    w->show();
    w->raise();
    w->activateWindow();
    return w;
}

void GuideWindow::confirm()
{
    // Unticked leaves the flag as it is; ticked sets it (creating Config.ini
    // when missing).
    if (m_dontShow->isChecked()) {
        // The flag holds for this run even when Config.ini cannot take it;
        // there is no message for that, the log gets the reason.
        const Status written = m_config.setValue(Config::GuideSection, Config::GuideKey, FlagValue);
        if (!written)
            qWarning("korvane: guide flag not saved: %s", qUtf8Printable(written.detail()));
    }
    accept();
}
