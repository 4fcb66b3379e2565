#include "platform/ui/QtTranslations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

namespace QtTranslations {

Status install(const QString& programFolder)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return Status::fail(QString(), QStringLiteral("no application"));
    static QPointer<QTranslator> installed;
    if (installed)
        return {};

    QStringList folders;
    if (!programFolder.isEmpty())
        folders << QDir(programFolder).filePath(QStringLiteral("translations"));
    folders << QLibraryInfo::path(QLibraryInfo::TranslationsPath);

    auto* translator = new QTranslator(app);
    for (const QString& folder : folders) {
        if (translator->load(Catalogue, folder) && QCoreApplication::installTranslator(translator)) {
            installed = translator;
            return {};
        }
    }
    delete translator;
    return Status::fail(QString(),
                        QStringLiteral("%1.qm not found in %2").arg(Catalogue, folders.join(QStringLiteral(", "))));
}

}  // namespace QtTranslations
