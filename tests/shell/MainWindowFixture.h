#pragma once

#include "common/ScriptedPrompter.h"
#include "common/TestHome.h"
#include "shell/Commands.h"
#include "shell/ui/CommandTable.h"
#include "store/MainSettings.h"
#include "shell/ui/MainWindow.h"

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <memory>

// A main window on a fresh program folder, shown normal at its design size.
struct MainWindowFixture {
    TestHome home;
    ScriptedPrompter prompter;
    std::unique_ptr<MainWindow> window;

    // Reads the main-window settings as start-up does and builds the window.
    // With suppressGuide the guide flag is set first, so no guide pops up.
    bool build(bool suppressGuide = true)
    {
        if (!home.isValid())
            return false;
        if (suppressGuide)
            (void)home.context().config.setValue(Config::GuideSection, Config::GuideKey, QStringLiteral("1"));
        if (auto s = MainSettings::read(home.store()))
            home.context().mainSettings = *s;
        window = std::make_unique<MainWindow>(home.context());
        window->setWindowState(Qt::WindowNoState);
        window->resize(1024, 768);
        window->show();
        return QTest::qWaitForWindowExposed(window.get());
    }

    // Commands that the panes and other windows carry out are replaced by
    // handlers that only record that they ran, so that routing can be
    // tested without their windows and questions. The main window's own
    // commands (exit, About, menu "设置", display modes, guide) stay.
    QStringList ran;
    void stubForeignCommands()
    {
        static const QStringList own = {QString::fromLatin1(Cmd::Exit),         QString::fromLatin1(Cmd::About),
                                        QString::fromLatin1(Cmd::SettingsMenu), QString::fromLatin1(Cmd::ViewMode1),
                                        QString::fromLatin1(Cmd::ViewMode2),    QString::fromLatin1(Cmd::ViewGuide)};
        for (const CommandTable::Entry& info : CommandTable::entries()) {
            const QString id = QString::fromLatin1(info.id);
            if (!own.contains(id))
                window->router().setHandler(id, [this, id] { ran << id; });
        }
    }

    template <class T = QWidget> T* unit(const QString& name) const { return window->findChild<T*>(name); }

    // Visible windows of type T (children of the main window included).
    template <class T> static QList<T*> shownWindows()
    {
        QList<T*> out;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* t = qobject_cast<T*>(w); t && t->isVisible())
                out << t;
        return out;
    }
};
