// The main of every test suite: runs each registered test class.
// Arguments after the executable are handed to every class (Qt Test options),
// except "-class Name", which runs only that class.
#include "common/TestRegistry.h"
#include "platform/Clock.h"
#include "platform/Prompter.h"

#include <QApplication>
#include <QFont>
#include <QTest>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setAttribute(Qt::AA_Use96Dpi, true);
    QStringList args = QCoreApplication::arguments();
    QString only;
    const int at = args.indexOf(QStringLiteral("-class"));
    if (at > 0 && at + 1 < args.size()) {
        only = args.at(at + 1);
        args.remove(at, 2);
    }
    int failed = 0;
    bool found = false;
    for (auto& e : TestRegistry::entries()) {
        if (!only.isEmpty() && only != QLatin1String(e.name))
            continue;
        found = true;
        auto obj = e.make();
        failed += QTest::qExec(obj.get(), args);
        setPrompter(nullptr);
        setAppClock(nullptr);
    }
    if (!found) {
        // A misspelt class must not pass as a run without failures.
        qWarning("no test class named %s", qPrintable(only));
        return 1;
    }
    return failed == 0 ? 0 : 1;
}
