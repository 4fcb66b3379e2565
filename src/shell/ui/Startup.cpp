#include "shell/ui/Startup.h"

#include "platform/ui/QtPrompter.h"
#include "shell/AppContext.h"
#include "shell/ProgramHome.h"
#include "shell/ui/MainWindow.h"
#include "store/DataStore.h"
#include "store/Schema.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>

#include <memory>

namespace Startup {

namespace {

struct Options {
    QString home;
    QString initHome;
};

bool parse(const QStringList& args, Options* o, QString* error)
{
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if ((a == QLatin1String("--home") || a == QLatin1String("--init-home")) && i + 1 < args.size()) {
            (a == QLatin1String("--home") ? o->home : o->initHome) = args.at(++i);
        } else if (a.startsWith(QLatin1String("--home="))) {
            o->home = a.mid(7);
        } else if (a.startsWith(QLatin1String("--init-home="))) {
            o->initHome = a.mid(12);
        } else if (a.startsWith(QLatin1String("-platform")) || a.startsWith(QLatin1String("-style"))) {
            ++i;  // Qt's own options
        } else {
            *error = QStringLiteral("unknown argument: %1\nusage: korvane [--home DIR] | --init-home DIR").arg(a);
            return false;
        }
    }
    return true;
}

int initHome(int argc, char** argv, const QString& folder)
{
    QCoreApplication app(argc, argv);
    QString error;
    QTextStream err(stderr);
    QTextStream out(stdout);
    if (!ProgramHome::initialise(folder, &error)) {
        err << "korvane: " << error << Qt::endl;
        return 1;
    }
    out << "korvane: program folder laid out in " << ProgramHome(folder).folder() << Qt::endl;
    return 0;
}

}  // namespace

int run(int argc, char** argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    Options options;
    QString error;
    if (!parse(args, &options, &error)) {
        QTextStream(stderr) << error << Qt::endl;
        return 2;
    }
    if (!options.initHome.isEmpty())
        return initHome(argc, argv, options.initHome);

    QApplication app(argc, argv);
    QtPrompter qtPrompter;
    setPrompter(&qtPrompter);
    const QString folder = options.home.isEmpty() ? QCoreApplication::applicationDirPath() : options.home;
    AppContext context(folder);
    context.databasePath = context.home.databasePath(context.config);
    if (!QFileInfo(context.databasePath).isFile()) {
        prompter().message(QStringLiteral("启动失败：指定数据库未找到，重新安装本系统可修复此错误。"),
                           QStringLiteral("错误信息"), Prompter::Icon::Critical);
        return 1;
    }
    {
        DataStore store;
        if (!store.open(context.databasePath) || !Schema::migrate(store)) {
            prompter().message(QStringLiteral("打开数据库失败。"), {}, Prompter::Icon::Critical);
            return 1;
        }
    }
    MainWindow window(context);
    window.show();
    return app.exec();
}

}  // namespace Startup
