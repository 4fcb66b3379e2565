#include "shell/ui/MainMenus.h"

#include "shell/Commands.h"

#include <QAction>
#include <QApplication>
#include <QLinearGradient>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleFactory>

namespace {

// The palette of the menus, in stored order.
const QColor PaleBlue(227, 239, 255);   // icon column, light end (menucolumn.png)
const QColor MidBlue(136, 174, 228);    // icon column, dark end; frame
const QColor PaleGold(255, 244, 204);   // selection, top
const QColor Gold(255, 215, 157);       // selection frame
const QColor OffWhite(249, 248, 247);   // background
const QColor LightGold(255, 238, 194);  // selection, bottom

// Outline shades derived from the palette.
QColor ink()
{
    return MidBlue.darker(230);
}
QColor brown()
{
    return Gold.darker(190);
}

enum class Icon {
    None,
    AddFile,
    AddGroup,
    DeleteGroup,
    Import,
    Export,
    Pictures,
    Media,
    CopyGroup,
    MoveUp,
    MoveDown,
    Password,
    Open,
    SaveAs,
    DeleteFile,
    Excel,
    Columns,
    Sort,
    Reposition,
    Properties,
    GlobalSettings,
    Operators,
    SystemLog,
    Skins,
};

struct Entry {
    const char* text;  // "-" for a separator
    const char* command;
    Icon icon;
};

const Entry treeEntries[] = {
    {"当前分组中增加文件", Cmd::TreeAddFile, Icon::AddFile},
    {"-", nullptr, Icon::None},
    {"增加分组", Cmd::TreeAddGroup, Icon::AddGroup},
    {"修改分组", Cmd::TreeRenameGroup, Icon::None},
    {"删除分组", Cmd::TreeDeleteGroup, Icon::DeleteGroup},
    {"-", nullptr, Icon::None},
    {"批量导入", Cmd::TreeBatchImport, Icon::Import},
    {"批量导出", Cmd::TreeBatchExport, Icon::Export},
    {"-", nullptr, Icon::None},
    {"浏览图片", Cmd::TreeBrowsePictures, Icon::Pictures},
    {"播放媒体", Cmd::TreePlayMedia, Icon::Media},
    {"-", nullptr, Icon::None},                         // hidden at first
    {"调整分组", Cmd::TreeMoveGroupFiles, Icon::None},  // hidden at first
    {"复制分组", Cmd::TreeCopyGroup, Icon::CopyGroup},  // hidden at first
    {"-", nullptr, Icon::None},
    {"分组上移", Cmd::TreeMoveUp, Icon::MoveUp},
    {"分组下移", Cmd::TreeMoveDown, Icon::MoveDown},
    {"-", nullptr, Icon::None},
    {"全部展开", Cmd::TreeExpandAll, Icon::None},
    {"全部收缩", Cmd::TreeCollapseAll, Icon::None},
    {"-", nullptr, Icon::None},
    {"设置密码", Cmd::TreeSetPassword, Icon::Password},
};
// Index of the first hidden entry of "树" and how many there are.
constexpr int TreeHiddenFirst = 11;
constexpr int TreeHiddenCount = 3;

const Entry fileEntries[] = {
    {"打开", Cmd::FileOpen, Icon::Open},
    {"另存为...", Cmd::FileSaveAs, Icon::SaveAs},
    {"删除文件", Cmd::FileDelete, Icon::DeleteFile},
    {"回收站", Cmd::FileTrash, Icon::None},
    {"批量修改", Cmd::FileBatchModify, Icon::None},
    {"调整文件所属分组", Cmd::FileMoveToGroup, Icon::None},
    {"导出列表到Excel文件", Cmd::FileExportExcel, Icon::Excel},
    {"-", nullptr, Icon::None},
    {"浏览图片", Cmd::FileBrowsePictures, Icon::Pictures},
    {"播放媒体", Cmd::FilePlayMedia, Icon::Media},
    {"-", nullptr, Icon::None},
    {"选择显示", Cmd::FileChooseColumns, Icon::Columns},
    {"保存列宽", Cmd::FileSaveWidths, Icon::None},
    {"-", nullptr, Icon::None},
    {"排序方式", Cmd::FileSortOrder, Icon::Sort},
    {"调整位置", Cmd::FileReposition, Icon::Reposition},
    {"-", nullptr, Icon::None},
    {"文件属性", Cmd::FileProperties, Icon::Properties},
};

const Entry settingsEntries[] = {
    {"全局参数", Cmd::GlobalSettings, Icon::GlobalSettings},
    {"-", nullptr, Icon::None},
    {"权限管理", Cmd::Operators, Icon::Operators},
    {"修改口令", Cmd::ChangePassword, Icon::None},
    {"-", nullptr, Icon::None},
    {"系统日志", Cmd::SystemLog, Icon::SystemLog},
    {"-", nullptr, Icon::None},
    {"智能换肤", Cmd::Skins, Icon::Skins},
};

const Entry iconEntries[] = {
    {"打开", Cmd::IconOpen, Icon::Open},
    {"另存为...", Cmd::IconSaveAs, Icon::SaveAs},
};

const Entry viewEntries[] = {
    {"显示模式一", Cmd::ViewMode1, Icon::None},
    {"显示模式二", Cmd::ViewMode2, Icon::None},
    {"-", nullptr, Icon::None},
    {"全局参数", Cmd::GlobalSettings, Icon::GlobalSettings},
    {"-", nullptr, Icon::None},
    {"如何开始?", Cmd::ViewGuide, Icon::None},
};

template <size_t N> QList<Entry> listOf(const Entry (&a)[N])
{
    return QList<Entry>(a, a + N);
}

QList<Entry> entriesOf(MainMenus::Which which)
{
    switch (which) {
    case MainMenus::Which::Tree:
        return listOf(treeEntries);
    case MainMenus::Which::File:
        return listOf(fileEntries);
    case MainMenus::Which::Settings:
        return listOf(settingsEntries);
    case MainMenus::Which::Icon:
        return listOf(iconEntries);
    case MainMenus::Which::View:
        return listOf(viewEntries);
    }
    return {};
}

QString nameOf(MainMenus::Which which)
{
    switch (which) {
    case MainMenus::Which::Tree:
        return QStringLiteral("树");
    case MainMenus::Which::File:
        return QStringLiteral("文件");
    case MainMenus::Which::Settings:
        return QStringLiteral("设置");
    case MainMenus::Which::Icon:
        return QStringLiteral("图标菜单");
    case MainMenus::Which::View:
        return QStringLiteral("界面");
    }
    return {};
}

// ---- icons, 16 × 15, drawn in the menu palette ----

void page(QPainter& p, const QRectF& r)
{
    const qreal fold = 3.5;
    QPainterPath path;
    path.moveTo(r.left(), r.top());
    path.lineTo(r.right() - fold, r.top());
    path.lineTo(r.right(), r.top() + fold);
    path.lineTo(r.right(), r.bottom());
    path.lineTo(r.left(), r.bottom());
    path.closeSubpath();
    p.setPen(QPen(ink(), 1));
    p.setBrush(OffWhite);
    p.drawPath(path);
    p.setBrush(PaleBlue);
    QPainterPath corner;
    corner.moveTo(r.right() - fold, r.top());
    corner.lineTo(r.right() - fold, r.top() + fold);
    corner.lineTo(r.right(), r.top() + fold);
    p.drawPath(corner);
    p.setPen(QPen(MidBlue, 1));
    for (qreal y = r.top() + 4; y < r.bottom() - 1; y += 2.5)
        p.drawLine(QPointF(r.left() + 2, y), QPointF(r.right() - 2, y));
}

void folder(QPainter& p, const QRectF& r, bool open = false)
{
    QPainterPath tab;
    tab.moveTo(r.left(), r.top() + 2);
    tab.lineTo(r.left() + 1, r.top());
    tab.lineTo(r.left() + r.width() * 0.4, r.top());
    tab.lineTo(r.left() + r.width() * 0.4 + 2, r.top() + 2);
    tab.lineTo(r.right(), r.top() + 2);
    tab.lineTo(r.right(), r.bottom());
    tab.lineTo(r.left(), r.bottom());
    tab.closeSubpath();
    p.setPen(QPen(brown(), 1));
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, PaleGold);
    g.setColorAt(1, Gold);
    p.setBrush(g);
    p.drawPath(tab);
    if (open) {
        QPainterPath flap;
        flap.moveTo(r.left() + 3, r.top() + 5);
        flap.lineTo(r.right() + 1.5, r.top() + 5);
        flap.lineTo(r.right() - 1.5, r.bottom());
        flap.lineTo(r.left(), r.bottom());
        flap.closeSubpath();
        p.setBrush(Gold);
        p.drawPath(flap);
    }
}

void plusBadge(QPainter& p, QPointF c)
{
    p.setPen(QPen(ink(), 1));
    p.setBrush(PaleBlue);
    p.drawEllipse(c, 3.6, 3.6);
    p.setPen(QPen(ink(), 1.6));
    p.drawLine(QPointF(c.x() - 2, c.y()), QPointF(c.x() + 2, c.y()));
    p.drawLine(QPointF(c.x(), c.y() - 2), QPointF(c.x(), c.y() + 2));
}

void crossBadge(QPainter& p, QPointF c)
{
    p.setPen(QPen(brown(), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(c.x() - 2.5, c.y() - 2.5), QPointF(c.x() + 2.5, c.y() + 2.5));
    p.drawLine(QPointF(c.x() + 2.5, c.y() - 2.5), QPointF(c.x() - 2.5, c.y() + 2.5));
    p.setPen(QPen(Gold, 1.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(c.x() - 2.5, c.y() - 2.5), QPointF(c.x() + 2.5, c.y() + 2.5));
    p.drawLine(QPointF(c.x() + 2.5, c.y() - 2.5), QPointF(c.x() - 2.5, c.y() + 2.5));
}

void arrow(QPainter& p, QPointF tip, bool up, qreal size = 5)
{
    const qreal d = up ? 1 : -1;
    QPainterPath a;
    a.moveTo(tip);
    a.lineTo(tip.x() + size, tip.y() + d * size);
    a.lineTo(tip.x() + size / 2.5, tip.y() + d * size);
    a.lineTo(tip.x() + size / 2.5, tip.y() + d * size * 2);
    a.lineTo(tip.x() - size / 2.5, tip.y() + d * size * 2);
    a.lineTo(tip.x() - size / 2.5, tip.y() + d * size);
    a.lineTo(tip.x() - size, tip.y() + d * size);
    a.closeSubpath();
    p.setPen(QPen(ink(), 1));
    QLinearGradient g(tip, QPointF(tip.x(), tip.y() + d * size * 2));
    g.setColorAt(0, PaleBlue);
    g.setColorAt(1, MidBlue);
    p.setBrush(g);
    p.drawPath(a);
}

void tray(QPainter& p)
{
    QPainterPath t;
    t.moveTo(1.5, 8.5);
    t.lineTo(4.5, 8.5);
    t.lineTo(5.5, 10.5);
    t.lineTo(10.5, 10.5);
    t.lineTo(11.5, 8.5);
    t.lineTo(14.5, 8.5);
    t.lineTo(14.5, 13.5);
    t.lineTo(1.5, 13.5);
    t.closeSubpath();
    p.setPen(QPen(ink(), 1));
    p.setBrush(MidBlue);
    p.drawPath(t);
}

void drawIcon(QPainter& p, Icon icon)
{
    switch (icon) {
    case Icon::None:
        break;
    case Icon::AddFile:
        page(p, QRectF(1.5, 0.5, 10, 13));
        plusBadge(p, QPointF(11.5, 10.5));
        break;
    case Icon::AddGroup:
        folder(p, QRectF(0.5, 2.5, 13, 10));
        plusBadge(p, QPointF(11.5, 10.5));
        break;
    case Icon::DeleteGroup:
        folder(p, QRectF(0.5, 2.5, 13, 10));
        crossBadge(p, QPointF(11.5, 10.5));
        break;
    case Icon::Import:
        tray(p);
        arrow(p, QPointF(8, 10), false, 4);
        break;
    case Icon::Export:
        tray(p);
        arrow(p, QPointF(8, 0.5), true, 4);
        break;
    case Icon::Pictures: {
        p.setPen(QPen(ink(), 1));
        p.setBrush(PaleBlue);
        p.drawRect(QRectF(0.5, 1.5, 15, 12));
        p.setPen(Qt::NoPen);
        p.setBrush(Gold);
        p.drawEllipse(QPointF(11, 5), 2, 2);
        QPainterPath hill;
        hill.moveTo(1, 13);
        hill.lineTo(5.5, 6.5);
        hill.lineTo(9, 10.5);
        hill.lineTo(11, 8.5);
        hill.lineTo(15, 13);
        hill.closeSubpath();
        p.setBrush(MidBlue);
        p.drawPath(hill);
        break;
    }
    case Icon::Media: {
        QLinearGradient g(0, 0, 0, 15);
        g.setColorAt(0, PaleBlue);
        g.setColorAt(1, MidBlue);
        p.setPen(QPen(ink(), 1));
        p.setBrush(g);
        p.drawEllipse(QRectF(1, 0.5, 14, 14));
        QPainterPath tri;
        tri.moveTo(6, 4);
        tri.lineTo(11.5, 7.5);
        tri.lineTo(6, 11);
        tri.closeSubpath();
        p.setBrush(PaleGold);
        p.drawPath(tri);
        break;
    }
    case Icon::CopyGroup:
        folder(p, QRectF(0.5, 0.5, 11, 8.5));
        folder(p, QRectF(4.5, 5.5, 11, 8.5));
        break;
    case Icon::MoveUp:
        arrow(p, QPointF(8, 1), true, 6);
        break;
    case Icon::MoveDown:
        arrow(p, QPointF(8, 14), false, 6);
        break;
    case Icon::Password: {
        p.setPen(QPen(brown(), 1));
        QLinearGradient g(0, 0, 0, 15);
        g.setColorAt(0, PaleGold);
        g.setColorAt(1, Gold);
        p.setBrush(g);
        QPainterPath key;
        key.addEllipse(QRectF(0.5, 3.5, 7, 7));
        key.addRect(QRectF(7, 6, 8, 2.5));
        key.addRect(QRectF(11, 8.5, 1.5, 2.5));
        key.addRect(QRectF(13.5, 8.5, 1.5, 3));
        key.setFillRule(Qt::WindingFill);
        p.drawPath(key.simplified());
        p.setBrush(OffWhite);
        p.drawEllipse(QPointF(3.5, 7), 1.3, 1.3);
        break;
    }
    case Icon::Open:
        page(p, QRectF(4.5, 0.5, 9, 9));
        folder(p, QRectF(0.5, 4.5, 13, 9.5), true);
        break;
    case Icon::SaveAs: {
        p.setPen(QPen(ink(), 1));
        p.setBrush(MidBlue);
        QPainterPath disk;
        disk.moveTo(1.5, 0.5);
        disk.lineTo(12.5, 0.5);
        disk.lineTo(14.5, 2.5);
        disk.lineTo(14.5, 14.5);
        disk.lineTo(1.5, 14.5);
        disk.closeSubpath();
        p.drawPath(disk);
        p.setBrush(OffWhite);
        p.drawRect(QRectF(3.5, 0.5, 8, 5.5));
        p.setBrush(ink());
        p.drawRect(QRectF(8.5, 1.5, 2, 3.5));
        p.setBrush(PaleGold);
        p.drawRect(QRectF(3.5, 8.5, 9, 6));
        break;
    }
    case Icon::DeleteFile:
        page(p, QRectF(1.5, 0.5, 10, 13));
        crossBadge(p, QPointF(11.5, 10.5));
        break;
    case Icon::Excel: {
        p.setPen(QPen(ink(), 1));
        p.setBrush(OffWhite);
        p.drawRect(QRectF(3.5, 0.5, 12, 14));
        p.setPen(QPen(MidBlue, 1));
        for (qreal y = 4.5; y < 14; y += 3)
            p.drawLine(QPointF(4, y), QPointF(15, y));
        p.drawLine(QPointF(9.5, 1), QPointF(9.5, 14));
        p.setPen(QPen(ink(), 1));
        p.setBrush(MidBlue);
        p.drawRect(QRectF(0.5, 3.5, 8, 8));
        p.setPen(QPen(OffWhite, 1.4));
        p.drawLine(QPointF(2.5, 5.5), QPointF(6.5, 9.5));
        p.drawLine(QPointF(6.5, 5.5), QPointF(2.5, 9.5));
        break;
    }
    case Icon::Columns:
        p.setPen(QPen(ink(), 1));
        p.setBrush(OffWhite);
        p.drawRect(QRectF(0.5, 1.5, 15, 12));
        p.setBrush(MidBlue);
        p.drawRect(QRectF(0.5, 1.5, 15, 3));
        p.setPen(QPen(MidBlue, 1));
        p.drawLine(QPointF(5.5, 4.5), QPointF(5.5, 13));
        p.drawLine(QPointF(10.5, 4.5), QPointF(10.5, 13));
        p.drawLine(QPointF(1, 8.5), QPointF(15, 8.5));
        break;
    case Icon::Sort:
        p.setPen(Qt::NoPen);
        p.setBrush(MidBlue);
        p.drawRect(QRectF(1, 1.5, 3, 2));
        p.drawRect(QRectF(1, 5.5, 5, 2));
        p.drawRect(QRectF(1, 9.5, 7, 2));
        p.setBrush(ink());
        p.drawRect(QRectF(1, 13, 9, 1.5));
        arrow(p, QPointF(12.5, 14), false, 3.2);
        p.setPen(QPen(ink(), 1.6));
        p.drawLine(QPointF(12.5, 1), QPointF(12.5, 8));
        break;
    case Icon::Reposition:
        p.setPen(QPen(MidBlue, 2));
        p.drawLine(QPointF(1, 3), QPointF(8, 3));
        p.drawLine(QPointF(1, 7.5), QPointF(8, 7.5));
        p.drawLine(QPointF(1, 12), QPointF(8, 12));
        arrow(p, QPointF(12, 0.5), true, 3.5);
        arrow(p, QPointF(12, 14.5), false, 3.5);
        break;
    case Icon::Properties:
        page(p, QRectF(1.5, 0.5, 10, 13));
        p.setPen(QPen(ink(), 1));
        p.setBrush(MidBlue);
        p.drawEllipse(QPointF(11.5, 10.5), 4, 4);
        p.setPen(QPen(OffWhite, 1.5));
        p.drawLine(QPointF(11.5, 9.5), QPointF(11.5, 12.8));
        p.drawPoint(QPointF(11.5, 7.8));
        break;
    case Icon::GlobalSettings: {
        p.setPen(QPen(ink(), 1));
        QLinearGradient g(0, 0, 0, 15);
        g.setColorAt(0, PaleBlue);
        g.setColorAt(1, MidBlue);
        p.setBrush(g);
        QPainterPath gear;
        const QPointF c(8, 7.5);
        for (int i = 0; i < 8; ++i) {
            p.save();
            p.translate(c);
            p.rotate(i * 45);
            p.drawRect(QRectF(-1.5, -7, 3, 3));
            p.restore();
        }
        p.drawEllipse(c, 5, 5);
        p.setBrush(OffWhite);
        p.drawEllipse(c, 2, 2);
        break;
    }
    case Icon::Operators: {
        auto person = [&](QPointF head, qreal s) {
            p.setPen(QPen(ink(), 1));
            p.setBrush(MidBlue);
            p.drawChord(QRectF(head.x() - 2.6 * s, head.y() + 2.2 * s, 5.2 * s, 7 * s), 0, 180 * 16);
            p.setPen(QPen(brown(), 1));
            p.setBrush(PaleGold);
            p.drawEllipse(head, 2.1 * s, 2.1 * s);
        };
        person(QPointF(10.5, 3), 1.0);
        person(QPointF(5.5, 5), 1.15);
        break;
    }
    case Icon::SystemLog:
        p.setPen(QPen(ink(), 1));
        p.setBrush(LightGold);
        p.drawRect(QRectF(2.5, 0.5, 12, 14));
        p.setBrush(MidBlue);
        p.drawRect(QRectF(2.5, 0.5, 2.5, 14));
        p.setPen(QPen(MidBlue, 1));
        for (qreal y = 3.5; y < 14; y += 2.5)
            p.drawLine(QPointF(6.5, y), QPointF(13, y));
        p.setPen(QPen(ink(), 1));
        for (qreal y = 2.5; y < 14; y += 3)
            p.drawLine(QPointF(1, y), QPointF(3.5, y));
        break;
    case Icon::Skins: {
        p.setPen(QPen(brown(), 1));
        p.setBrush(PaleGold);
        QPainterPath pal;
        pal.addEllipse(QRectF(0.5, 1.5, 15, 12));
        QPainterPath hole;
        hole.addEllipse(QRectF(9, 8, 3.5, 3));
        p.drawPath(pal.subtracted(hole));
        p.setPen(Qt::NoPen);
        p.setBrush(MidBlue);
        p.drawEllipse(QPointF(4, 6), 1.6, 1.6);
        p.setBrush(ink());
        p.drawEllipse(QPointF(7.5, 4), 1.6, 1.6);
        p.setBrush(Gold.darker(130));
        p.drawEllipse(QPointF(11.5, 4.8), 1.6, 1.6);
        p.setBrush(PaleBlue.darker(115));
        p.drawEllipse(QPointF(4.5, 10), 1.6, 1.6);
        break;
    }
    }
}

Icon iconOfCommand(const QString& command)
{
    for (MainMenus::Which w : MainMenus::allMenus())
        for (const Entry& e : entriesOf(w))
            if (e.command && command == QLatin1String(e.command))
                return e.icon;
    return Icon::None;
}

QPixmap iconPixmap(Icon icon)
{
    if (icon == Icon::None)
        return {};
    QPixmap pm(16, 15);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    drawIcon(p, icon);
    return pm;
}

// ---- the look of the menus ----

// The style under the menus' sheet: the Fusion style with the icon column's
// pictures kept at 16 pixels whatever the platform's own icon size.
class MenuStyle : public QProxyStyle {
public:
    MenuStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
    {
        if (metric == PM_SmallIconSize)
            return 16;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

}  // namespace

// The menus' look as a style sheet on each menu: background, the icon column
// (a gradient picture repeated down the left edge), frame, selection and
// separators in the palette. A skin's sheet set on the whole application
// would otherwise repaint the menus in its own tones; a menu's own sheet wins
// over it for every property it sets.
static QString menuSheet()
{
    return QStringLiteral("QMenu { background-color: %4; background-image: url(:/mainwin/menucolumn.png);"
                          " background-repeat: repeat-y; background-position: left top; background-origin: padding;"
                          " border: 1px solid %1; color: black; padding: 1px 0px; }"
                          "QMenu::item { background: transparent; color: black; border: 1px solid transparent;"
                          " padding: 2px 24px 2px 6px; margin: 0px 1px 0px 1px; }"
                          "QMenu::item:selected { background: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
                          " stop:0 %2, stop:1 %5); border: 1px solid %3; color: black; }"
                          "QMenu::item:disabled { color: gray; }"
                          "QMenu::icon { padding-left: 4px; }"
                          "QMenu::separator { height: 1px; background: %1; margin: 2px 2px 2px 32px; }")
        .arg(MidBlue.name(), PaleGold.name(), Gold.name(), OffWhite.name(), LightGold.name());
}

// ---- MainMenus ----

MainMenus::MainMenus(QWidget* parent) : QObject(parent)
{
    setObjectName(QStringLiteral("超级菜单1"));
    for (Which w : allMenus())
        m_menus.insert(int(w), build(w, nameOf(w)));
    setGroupingEntriesVisible(false);
}

QList<MainMenus::Which> MainMenus::allMenus()
{
    return {Which::Tree, Which::File, Which::Settings, Which::Icon, Which::View};
}

QMenu* MainMenus::build(Which which, const QString& name)
{
    auto* parentWidget = qobject_cast<QWidget*>(parent());
    auto* menu = new QMenu(name, parentWidget);
    menu->setObjectName(name);
    menu->setStyle(menuStyle());
    menu->setStyleSheet(menuSheet());
    const QList<Entry> entries = entriesOf(which);
    for (int i = 0; i < entries.size(); ++i) {
        const Entry& e = entries.at(i);
        QAction* a = nullptr;
        if (qstrcmp(e.text, "-") == 0) {
            a = menu->addSeparator();
        } else {
            a = menu->addAction(QString::fromUtf8(e.text));
            const QString command = QString::fromLatin1(e.command);
            a->setData(command);
            if (e.icon != Icon::None)
                a->setIcon(QIcon(iconPixmap(e.icon)));
            a->setIconVisibleInMenu(true);
            connect(a, &QAction::triggered, this, [this, command] { emit commandChosen(command); });
        }
        if (which == Which::Tree && i >= TreeHiddenFirst && i < TreeHiddenFirst + TreeHiddenCount)
            m_groupingEntries.append(a);
    }
    return menu;
}

QMenu* MainMenus::menu(Which which) const
{
    return m_menus.value(int(which));
}

QMenu* MainMenus::menu(const QString& name) const
{
    for (Which w : allMenus())
        if (nameOf(w) == name)
            return menu(w);
    return nullptr;
}

void MainMenus::setGroupingEntriesVisible(bool visible)
{
    for (QAction* a : m_groupingEntries)
        a->setVisible(visible);
}

QString MainMenus::commandOf(const QAction* action)
{
    return action ? action->data().toString() : QString();
}

void MainMenus::popup(Which which, const QPoint& globalPos)
{
    if (QMenu* m = menu(which))
        m->popup(globalPos);
}

QStyle* MainMenus::menuStyle()
{
    static QPointer<QStyle> style;
    if (!style) {
        style = new MenuStyle;
        style->setParent(qApp);
    }
    return style;
}

QList<QColor> MainMenus::palette()
{
    return {PaleBlue, MidBlue, PaleGold, Gold, OffWhite, LightGold};
}

QPixmap MainMenus::iconFor(const QString& command)
{
    return iconPixmap(iconOfCommand(command));
}
