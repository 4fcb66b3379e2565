#pragma once

#include "settings/SkinFolder.h"

#include <QDialog>

class Config;
class QListWidget;
class QMenu;

// The window "智能换肤" (266 × 310): the skins of the Hf folder; a
// double-click applies one at once, "确定" keeps the chosen one for the next
// start, "禁止换肤" removes the skin and keeps "NO"; the popup menu "右键"
// deletes or renames a skin file.
class SkinsWindow : public QDialog {
    Q_OBJECT
public:
    static inline const QString SelectOne = QStringLiteral("请选择一个皮肤!");

    SkinsWindow(QString skinFolder, Config& config, QWidget* parent = nullptr);

    QListWidget* list() const { return m_list; }
    QMenu* popupMenu() const { return m_menu; }
    // The skin chosen by double-click or selection; empty when none.
    QString chosen() const;

public slots:
    void refresh();
    void applySelected();
    void keepChosen();
    void noSkin();
    void removeSelected();
    void renameSelected();

private:
    SkinFolder m_folder;
    Config& m_config;
    QListWidget* m_list = nullptr;
    QMenu* m_menu = nullptr;
    QString m_applied;
};
