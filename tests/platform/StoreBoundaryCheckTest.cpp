#include "common/TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// The build's check that statements stay in the store
// (cmake/CheckStoreBoundary.cmake), on small trees laid out here and on the
// real one with its list of files still to move.
class StoreBoundaryCheckTest : public QObject {
    Q_OBJECT
private slots:
    void realSourcesPass();
    void statementOutsideStoreFails_data();
    void statementOutsideStoreFails();
};

namespace {

int check(const QString& root, const QString& pending, QString* out)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    QStringList args{QStringLiteral("-DSOURCE_DIR=") + root};
    if (!pending.isNull())
        args << QStringLiteral("-DPENDING=") + pending;
    p.start(QStringLiteral(KV_CMAKE),
            args << QStringLiteral("-P") << QStringLiteral(KV_SOURCE_DIR "/cmake/CheckStoreBoundary.cmake"));
    if (!p.waitForFinished(60000))
        return -1;
    *out = QString::fromUtf8(p.readAll());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

bool write(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}

}  // namespace

void StoreBoundaryCheckTest::realSourcesPass()
{
    QString out;
    QCOMPARE(check(QStringLiteral(KV_SOURCE_DIR "/src"), QString(), &out), 0);
}

void StoreBoundaryCheckTest::statementOutsideStoreFails_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("header") << QByteArray("#include <sqlite3.h>");
    QTest::newRow("query class") << QByteArray("QSqlQuery q(db);");
    QTest::newRow("statement") << QByteArray("store.query(QStringLiteral(\"SELECT mc FROM wj\"));");
    QTest::newRow("piece of one") << QByteArray("const QString w = QStringLiteral(\" where fz=?\"); int n; (void)n;");
}

void StoreBoundaryCheckTest::statementOutsideStoreFails()
{
    QFETCH(QByteArray, line);
    QTemporaryDir dir;
    const QString r = dir.path();
    const QByteArray harmless = "// select what the store gives\n"
                                "const char* m = \"SHA-256 differs from the one expected\";\n";
    QVERIFY(write(r + QStringLiteral("/store/S.cpp"), line + '\n'));
    QVERIFY(write(r + QStringLiteral("/archive/Waiting.cpp"), line + '\n'));
    QVERIFY(write(r + QStringLiteral("/listing/L.cpp"), harmless + line + '\n'));
    QVERIFY(write(r + QStringLiteral("/pending.txt"), "# still to move\narchive/Waiting.cpp\n"));
    QString out;
    QCOMPARE(check(r, r + QStringLiteral("/pending.txt"), &out), 1);
    // Named with its line, and nothing else is.
    QVERIFY2(out.contains(QStringLiteral("listing/L.cpp:3:")), qPrintable(out));
    QVERIFY2(!out.contains(QStringLiteral("store/S.cpp")) && !out.contains(QStringLiteral("Waiting.cpp"))
                 && !out.contains(QStringLiteral("L.cpp:1:")) && !out.contains(QStringLiteral("L.cpp:2:")),
             qPrintable(out));
    // Moved into the store, the tree passes.
    QVERIFY(QFile::remove(r + QStringLiteral("/listing/L.cpp")));
    QCOMPARE(check(r, r + QStringLiteral("/pending.txt"), &out), 0);
}

KV_REGISTER_TEST(StoreBoundaryCheckTest)
#include "StoreBoundaryCheckTest.moc"
