#pragma once

#include "common/ScriptedPrompter.h"
#include "common/TestHome.h"
#include "shell/MainSettings.h"
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
            home.context().config.setValue(Config::GuideSection, Config::GuideKey, QStringLiteral("1"));
        if (auto s = MainSettings::read(home.store()))
            home.context().mainSettings = *s;
        window = std::make_unique<MainWindow>(home.context());
        window->setWindowState(Qt::WindowNoState);
        window->resize(1024, 768);
        window->show();
        return QTest::qWaitForWindowExposed(window.get());
    }

    template <class T = QWidget>
    T* unit(const QString& name) const
    {
        return window->findChild<T*>(name);
    }

    // Visible windows of type T (children of the main window included).
    template <class T>
    static QList<T*> shownWindows()
    {
        QList<T*> out;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* t = qobject_cast<T*>(w); t && t->isVisible())
                out << t;
        return out;
    }
};
