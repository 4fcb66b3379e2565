#pragma once

#include <QHash>
#include <QObject>
#include <QString>

class QAction;
class QMenu;
class QStyle;
class QWidget;

// The five popup menus of the main window ("树", "文件", "设置", "图标菜单",
// "界面"). Each entry carries its command id; choosing an entry emits
// commandChosen with that id. All menus are drawn by one style: a 16-pixel
// icon column in the office palette.
class MainMenus : public QObject {
    Q_OBJECT
public:
    enum class Which { Tree, File, Settings, Icon, View };

    explicit MainMenus(QWidget* parent);

    QMenu* menu(Which which) const;
    // The menus by their names.
    QMenu* menu(const QString& name) const;
    static QList<Which> allMenus();

    // The separator and the two entries of "树" that are hidden at first
    // ("调整分组", "复制分组").
    void setGroupingEntriesVisible(bool visible);
    QList<QAction*> groupingEntries() const { return m_groupingEntries; }

    // The command id an entry runs; empty for separators.
    static QString commandOf(const QAction* action);

    // Opens a menu at the pointer (non-blocking).
    void popup(Which which, const QPoint& globalPos);

    // The style that draws every menu of the main window.
    static QStyle* menuStyle();
    // The palette of the menus, in stored order.
    static QList<QColor> palette();
    // The 16 × 15 picture for an entry's icon, by its command id (null when
    // the entry has none).
    static QPixmap iconFor(const QString& command);

signals:
    void commandChosen(const QString& command);

private:
    QMenu* build(Which which, const QString& name);

    QHash<int, QMenu*> m_menus;
    QList<QAction*> m_groupingEntries;
};
