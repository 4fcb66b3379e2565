#include "common/TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// The build's include check (cmake/CheckLayers.cmake), run on small source
// trees laid out here, and on the real one.
class LayerCheckTest : public QObject {
    Q_OBJECT
private slots:
    void realSourcesPass();
    void allowedIncludesPass();
    void upwardIncludeFails_data();
    void upwardIncludeFails();
    void reportsEveryWrongInclude();
    void unknownFolderFails();

private:
    // Runs the check over `root`; returns its exit code, output in `out`.
    static int check(const QString& root, QString* out = nullptr);
    static bool write(const QString& root, const QString& file, const QByteArray& text);
};

int LayerCheckTest::check(const QString& root, QString* out)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(KV_CMAKE),
            {QStringLiteral("-DSOURCE_DIR=") + root, QStringLiteral("-P"),
             QStringLiteral(KV_SOURCE_DIR "/cmake/CheckLayers.cmake")});
    if (!p.waitForFinished(60000))
        return -1;
    if (out)
        *out = QString::fromUtf8(p.readAll());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

bool LayerCheckTest::write(const QString& root, const QString& file, const QByteArray& text)
{
    const QString path = QDir(root).filePath(file);
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}

void LayerCheckTest::realSourcesPass()
{
    QString out;
    QCOMPARE(check(QStringLiteral(KV_SOURCE_DIR "/src"), &out), 0);
    QVERIFY2(out.isEmpty(), qPrintable(out));
}

void LayerCheckTest::allowedIncludesPass()
{
    QTemporaryDir dir;
    const QString r = dir.path();
    QVERIFY(write(r, QStringLiteral("main.cpp"), "#include \"shell/ui/MainWindow.h\"\n"));
    QVERIFY(write(r, QStringLiteral("platform/A.h"), "#include <QString>\n#include \"B.h\"\n"));
    QVERIFY(write(r, QStringLiteral("store/S.cpp"), "#include \"store/S.h\"\n#include \"platform/A.h\"\n"));
    QVERIFY(write(r, QStringLiteral("listing/L.cpp"), "#include \"archive/G.h\"\n#include \"store/S.h\"\n"));
    QVERIFY(write(r, QStringLiteral("listing/ui/W.cpp"),
                  "#include \"ui_W.h\"\n#include \"archive/ui/P.h\"\n#include \"listing/L.h\"\n"));
    QVERIFY(write(r, QStringLiteral("shell/ui/T.cpp"), "#include \"settings/ui/X.h\"\n#include \"shell/C.h\"\n"));
    QString out;
    QCOMPARE(check(r, &out), 0);
}

void LayerCheckTest::upwardIncludeFails_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("include");
    QTest::newRow("store to shell") << "store/LogWriter.cpp"
                                    << "shell/CurrentOperator.h";
    QTest::newRow("platform ui to shell") << "platform/ui/SkinLibrary.cpp"
                                          << "shell/Config.h";
    QTest::newRow("archive to listing") << "archive/GroupTree.h"
                                        << "listing/FilterClause.h";
    QTest::newRow("archive ui to shell") << "archive/ui/EditPanel.cpp"
                                         << "shell/CommandRouter.h";
    QTest::newRow("store ui to listing ui") << "store/ui/F.cpp"
                                            << "listing/ui/RenameFieldsWindow.h";
    QTest::newRow("logic to own ui") << "archive/GroupCopy.cpp"
                                     << "archive/ui/GroupCopyWindow.h";
    QTest::newRow("logic to lower ui") << "shell/Commands.cpp"
                                       << "platform/ui/QtPrompter.h";
    QTest::newRow("settings to shell") << "settings/P.cpp"
                                       << "shell/AppContext.h";
}

void LayerCheckTest::upwardIncludeFails()
{
    QFETCH(QString, file);
    QFETCH(QString, include);
    QTemporaryDir dir;
    QVERIFY(write(dir.path(), file, "#include <QString>\n  #  include \"" + include.toUtf8() + "\"\n"));
    QString out;
    QVERIFY(check(dir.path(), &out) != 0);
    QVERIFY2(out.contains(file) && out.contains(include), qPrintable(out));
}

void LayerCheckTest::reportsEveryWrongInclude()
{
    QTemporaryDir dir;
    QVERIFY(write(dir.path(), QStringLiteral("store/A.cpp"), "#include \"archive/X.h\"\n#include \"shell/Y.h\"\n"));
    QVERIFY(write(dir.path(), QStringLiteral("listing/B.h"), "#include \"settings/Z.h\"\n"));
    QString out;
    QVERIFY(check(dir.path(), &out) != 0);
    for (const char* inc : {"archive/X.h", "shell/Y.h", "settings/Z.h"})
        QVERIFY2(out.contains(QLatin1String(inc)), qPrintable(out));
}

void LayerCheckTest::unknownFolderFails()
{
    QTemporaryDir dir;
    QVERIFY(write(dir.path(), QStringLiteral("misc/M.cpp"), "#include \"platform/A.h\"\n"));
    QString out;
    QVERIFY(check(dir.path(), &out) != 0);
    QVERIFY2(out.contains(QLatin1String("misc")), qPrintable(out));
}

KV_REGISTER_TEST(LayerCheckTest)
#include "LayerCheckTest.moc"
