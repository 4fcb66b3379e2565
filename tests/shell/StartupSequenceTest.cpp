#include "common/TestHome.h"
#include "common/TestRegistry.h"
#include "platform/ui/SkinLibrary.h"
#include "shell/AppContext.h"
#include "platform/Config.h"
#include "shell/StartupSequence.h"
#include "store/DataStore.h"
#include "store/Dictionary.h"
#include "store/HomeLayout.h"
#include "store/Schema.h"
#include "store/SqliteBackend.h"
#include "common/TestInput.h"

using TestInput::readFile;

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Records what the sequence asks of the program, in order.
class RecordingHost final : public StartupSequence::Host {
public:
    QStringList calls;
    void advise(const QString& text) override { calls << QStringLiteral("advise:") + text; }
    void attachSkin(const QString& path) override { calls << QStringLiteral("skin:") + path; }
};

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

// A program folder as --init-home lays it out, with no connection held open.
struct Fresh {
    QTemporaryDir dir;
    QString folder() const { return dir.path(); }
    QString db() const { return dir.path() + QStringLiteral("/Data/files.dat"); }
    bool ok = false;
    Fresh() { ok = dir.isValid() && HomeLayout::create(dir.path()).ok(); }
};

}  // namespace

class StartupSequenceTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup();
    void freshFolderIsReady();
    void settingsAreReadIntoContext();
    void screenAdvice_data();
    void screenAdvice();
    void missingDatabaseStops();
    void databasePathNamingMissingFileStops();
    void databasePathFromConfigIsUsed_data();
    void databasePathFromConfigIsUsed();
    void garbageConfigUsesDefaults();
    void noSkinWhenConfigSaysNo();
    void unusableDatabase_data();
    void unusableDatabase();
    void truncationIsSeenInTheHeader();
    void skinAttachAndDetach();
    void skinThatCannotBeReadChangesNothing_data();
    void skinThatCannotBeReadChangesNothing();
};

void StartupSequenceTest::cleanup()
{
    SkinLibrary::detach();
}

void StartupSequenceTest::freshFolderIsReady()
{
    Fresh f;
    QVERIFY(f.ok);
    AppContext context(f.folder());
    DataStore store;
    RecordingHost host;
    const auto r = StartupSequence(context, store).run(QSize(1280, 1024), host);
    QVERIFY2(r.ok(), qPrintable(r.detail));
    QVERIFY(r.message.isEmpty());
    QVERIFY(store.isOpen());
    QCOMPARE(context.archive.filePath(), f.db());
    QCOMPARE(host.calls, QStringList{QStringLiteral("skin:") + f.folder() + QStringLiteral("/Hf/pixos.she")});
    // The connection is the login's: the operators can be read on it.
    QCOMPARE(valueOf(store, QStringLiteral("select count(*) from czygl where yhm='Admin'")).toInt(), 1);
}

void StartupSequenceTest::settingsAreReadIntoContext()
{
    Fresh f;
    QVERIFY(f.ok);
    {
        DataStore s;
        QVERIFY(s.open(f.db()));
        QVERIFY(s.execute(QStringLiteral("update zcbj set wz=?,ms=2,bjfs=2,bjys=?,pxfs=?,ylcs=1,bjtp=? where id=1"),
                          {QStringLiteral("档案室"), 0x123456, QStringLiteral(" order by mc asc"), QByteArray("PIC")}));
        QVERIFY(Dictionary::write(s, Dictionary::FileTypes, QStringLiteral("doc,pdf")));
        QVERIFY(Dictionary::write(s, Dictionary::FileSize, QStringLiteral("2.5")));
    }
    AppContext context(f.folder());
    DataStore store;
    RecordingHost host;
    QVERIFY(StartupSequence(context, store).run(QSize(1024, 768), host).ok());
    QCOMPARE(context.mainSettings.bannerText, QStringLiteral("档案室"));
    QCOMPARE(context.mainSettings.displayMode, 2);
    QCOMPARE(context.mainSettings.background, int(MainSettings::Picture));
    QCOMPARE(context.mainSettings.bannerColour, 0x123456);
    QCOMPARE(context.mainSettings.sortClause, QStringLiteral(" order by mc asc"));
    QVERIFY(context.mainSettings.countViewsOff);
    QCOMPARE(context.mainSettings.bannerPicture, QByteArray("PIC"));
    QCOMPARE(context.fileTypes, QStringLiteral("doc,pdf"));
    QCOMPARE(context.fileSize, QStringLiteral("2.5"));
}

void StartupSequenceTest::screenAdvice_data()
{
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<bool>("advised");
    QTest::newRow("1024x768") << QSize(1024, 768) << false;
    QTest::newRow("1920x1080") << QSize(1920, 1080) << false;
    QTest::newRow("800x600") << QSize(800, 600) << true;
    QTest::newRow("narrow") << QSize(1023, 900) << true;
    QTest::newRow("low") << QSize(1280, 767) << true;
}

void StartupSequenceTest::screenAdvice()
{
    QFETCH(QSize, screen);
    QFETCH(bool, advised);
    Fresh f;
    QVERIFY(f.ok);
    AppContext context(f.folder());
    DataStore store;
    RecordingHost host;
    QVERIFY(StartupSequence(context, store).run(screen, host).ok());
    // The advice comes first and does not stop the start.
    QCOMPARE(host.calls.size(), advised ? 2 : 1);
    if (advised)
        QCOMPARE(host.calls.first(), QStringLiteral("advise:") + StartupSequence::ScreenAdvice);
    QVERIFY(host.calls.last().startsWith(QStringLiteral("skin:")));
}

void StartupSequenceTest::missingDatabaseStops()
{
    Fresh f;
    QVERIFY(f.ok);
    QVERIFY(QFile::remove(f.db()));
    AppContext context(f.folder());
    DataStore store;
    RecordingHost host;
    const auto r = StartupSequence(context, store).run(QSize(800, 600), host);
    QCOMPARE(r.outcome, StartupSequence::Outcome::DatabaseMissing);
    QCOMPARE(r.message, QStringLiteral("启动失败：指定数据库未找到，重新安装本系统可修复此错误。"));
    QCOMPARE(r.title, QStringLiteral("错误信息"));
    // The advice was shown before; no skin, no connection, no file created.
    QCOMPARE(host.calls, QStringList{QStringLiteral("advise:") + StartupSequence::ScreenAdvice});
    QVERIFY(!store.isOpen());
    QVERIFY(!QFile::exists(f.db()));
}

void StartupSequenceTest::databasePathNamingMissingFileStops()
{
    Fresh f;
    QVERIFY(f.ok);
    const QString missing = f.folder() + QStringLiteral("/其他/files.dat");
    writeFile(f.folder() + QStringLiteral("/Config.ini"),
              (QStringLiteral("[date]\r\ndb=") + missing + QStringLiteral("\r\n")).toUtf8());
    AppContext context(f.folder());
    DataStore store;
    RecordingHost host;
    const auto r = StartupSequence(context, store).run(QSize(1024, 768), host);
    QCOMPARE(r.outcome, StartupSequence::Outcome::DatabaseMissing);
    QCOMPARE(r.message, StartupSequence::DatabaseMissingMessage);
    QCOMPARE(r.title, StartupSequence::DatabaseMissingTitle);
    QVERIFY(QFile::exists(f.db()));  // the default one is there but not used
    QVERIFY(!QFile::exists(missing));
    QVERIFY(host.calls.isEmpty());
    QVERIFY(!store.isOpen());
}

void StartupSequenceTest::databasePathFromConfigIsUsed_data()
{
    QTest::addColumn<bool>("gbk");
    QTest::newRow("UTF-8") << false;
    QTest::newRow("GBK") << true;
}

void StartupSequenceTest::databasePathFromConfigIsUsed()
{
    QFETCH(bool, gbk);
    Fresh f;
    QVERIFY(f.ok);
    const QString other = f.folder() + QStringLiteral("/另一个档案.dat");
    QVERIFY(QFile::copy(f.db(), other));
    {
        DataStore s;
        QVERIFY(s.open(other));
        QVERIFY(Dictionary::write(s, Dictionary::FileTypes, QStringLiteral("jpg")));
    }
    const QString ini = QStringLiteral("; 档案\r\n[date]\r\ndb=") + other + QStringLiteral("\r\n");
    writeFile(f.folder() + QStringLiteral("/Config.ini"), gbk ? Config::encodeGbk(ini).value() : ini.toUtf8());
    AppContext context(f.folder());
    DataStore store;
    RecordingHost host;
    QVERIFY(StartupSequence(context, store).run(QSize(1024, 768), host).ok());
    QCOMPARE(context.archive.filePath(), other);
    QCOMPARE(store.path(), other);
    QCOMPARE(context.fileTypes, QStringLiteral("jpg"));
}

void StartupSequenceTest::garbageConfigUsesDefaults()
{
    Fresh f;
    QVERIFY(f.ok);
    QByteArray junk;
    for (int i = 0; i < 2000; ++i)
        junk.append(char((i * 7919) % 251));
    junk.append("\n[date\ndb\n=x\n");
    writeFile(f.folder() + QStringLiteral("/Config.ini"), junk);
    AppContext context(f.folder());
    DataStore store;
    RecordingHost host;
    const auto r = StartupSequence(context, store).run(QSize(1024, 768), host);
    QVERIFY2(r.ok(), qPrintable(r.detail));
    QCOMPARE(context.archive.filePath(), f.db());
    QCOMPARE(host.calls, QStringList{QStringLiteral("skin:") + f.folder() + QStringLiteral("/Hf/pixos.she")});
}

void StartupSequenceTest::noSkinWhenConfigSaysNo()
{
    Fresh f;
    QVERIFY(f.ok);
    writeFile(f.folder() + QStringLiteral("/Config.ini"), "[HF]\nhf=NO\n");
    AppContext context(f.folder());
    DataStore store;
    RecordingHost host;
    QVERIFY(StartupSequence(context, store).run(QSize(1024, 768), host).ok());
    QVERIFY(host.calls.isEmpty());
}

void StartupSequenceTest::unusableDatabase_data()
{
    QTest::addColumn<QString>("damage");
    QTest::newRow("garbage") << QStringLiteral("garbage");
    QTest::newRow("empty file") << QStringLiteral("empty");
    QTest::newRow("text file") << QStringLiteral("text");
    QTest::newRow("truncated") << QStringLiteral("truncated");
    QTest::newRow("header only") << QStringLiteral("header");
    QTest::newRow("table missing") << QStringLiteral("drop");
    QTest::newRow("other database") << QStringLiteral("foreign");
    QTest::newRow("newer version") << QStringLiteral("newer");
    QTest::newRow("overwritten pages") << QStringLiteral("scribble");
}

void StartupSequenceTest::unusableDatabase()
{
    QFETCH(QString, damage);
    Fresh f;
    QVERIFY(f.ok);
    const QString db = f.db();
    if (damage == QLatin1String("garbage")) {
        QByteArray junk;
        for (int i = 0; i < 65536; ++i)
            junk.append(char((i * 2654435761u) >> 24));
        writeFile(db, junk);
    } else if (damage == QLatin1String("empty")) {
        writeFile(db, QByteArray());
    } else if (damage == QLatin1String("text")) {
        writeFile(db, QStringLiteral("这不是数据库\n").toUtf8());
    } else if (damage == QLatin1String("truncated") || damage == QLatin1String("header")) {
        {
            DataStore s;
            QVERIFY(s.open(db));
            // Enough rows to spread the archive over many pages.
            Transaction tx(s);
            for (int i = 0; i < 200; ++i)
                QVERIFY(s.execute(
                    QStringLiteral("insert into wj(mc,fz,wj) values (?,?,?)"),
                    {QStringLiteral("文件%1").arg(i), QStringLiteral("甲\\乙"), QByteArray(3000, char('a' + i % 26))}));
            QVERIFY(tx.commit());
        }
        QByteArray bytes = readFile(db);
        QVERIFY(bytes.size() > 100000);
        writeFile(db, bytes.left(damage == QLatin1String("header") ? 4096 : bytes.size() / 2));
    } else if (damage == QLatin1String("drop")) {
        DataStore s;
        QVERIFY(s.open(db));
        QVERIFY(s.execute(QStringLiteral("drop table tj")));
    } else if (damage == QLatin1String("foreign")) {
        QVERIFY(QFile::remove(db));
        DataStore s;
        QVERIFY(s.create(db));
        QVERIFY(s.execute(QStringLiteral("create table notes(id integer primary key, body text)")));
    } else if (damage == QLatin1String("newer")) {
        DataStore s;
        QVERIFY(s.open(db));
        QVERIFY(s.execute(QStringLiteral("PRAGMA user_version=%1").arg(Schema::CurrentVersion + 1)));
    } else if (damage == QLatin1String("scribble")) {
        // The catalogue page survives, the pages of every table do not.
        QByteArray bytes = readFile(db);
        QVERIFY(bytes.size() >= 8192);
        for (int i = 4096; i < bytes.size(); ++i)
            bytes[i] = char(0xA5 ^ (i & 0xFF));
        writeFile(db, bytes);
    }

    AppContext context(f.folder());
    DataStore store;
    RecordingHost host;
    const auto r = StartupSequence(context, store).run(QSize(1024, 768), host);
    QCOMPARE(r.outcome, StartupSequence::Outcome::DatabaseUnusable);
    QCOMPARE(r.message, QStringLiteral("打开数据库失败。"));
    QVERIFY(!r.detail.isEmpty());
    QVERIFY(!store.isOpen());
    // The skin was attached before the connection was tried.
    QCOMPARE(host.calls.size(), 1);
    QVERIFY(host.calls.first().startsWith(QStringLiteral("skin:")));
}

void StartupSequenceTest::truncationIsSeenInTheHeader()
{
    Fresh f;
    QVERIFY(f.ok);
    const SqliteBackend sqlite;
    const auto whole = [&sqlite](const QString& file) { return sqlite.storageWhole(ArchiveLocation::file(file)); };
    QVERIFY(whole(f.db()));
    QByteArray bytes = readFile(f.db());
    const QString copy = f.folder() + QStringLiteral("/cut.dat");
    writeFile(copy, bytes.left(bytes.size() - 4096));
    const Status cut = whole(copy);
    QVERIFY(!cut);
    QVERIFY(cut.detail().contains(QStringLiteral("truncated")));
    writeFile(copy, bytes.left(bytes.size() - 100));
    QVERIFY(!whole(copy));
    QVERIFY(!whole(f.folder() + QStringLiteral("/none.dat")));
}

void StartupSequenceTest::skinAttachAndDetach()
{
    Fresh f;
    QVERIFY(f.ok);
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    QVERIFY(app);
    const QString pixos = f.folder() + QStringLiteral("/Hf/pixos.she");
    QVERIFY(SkinLibrary::attach(pixos, SkinLibrary::Password));
    // The skin's own rules, then ours that no skin overrides.
    QVERIFY(app->styleSheet().startsWith(QString::fromUtf8(readFile(pixos))));
    QCOMPARE(SkinLibrary::attachedPath(), pixos);

    // A second skin replaces the first.
    const QString own = f.folder() + QStringLiteral("/Hf/自制.she");
    writeFile(own, QStringLiteral("/* 自制 */ QLabel { color: #123456; }").toUtf8());
    QVERIFY(SkinLibrary::attach(own));
    const QString ownSheet = app->styleSheet();
    QVERIFY(ownSheet.startsWith(QStringLiteral("/* 自制 */ QLabel { color: #123456; }")));

    // "NO" attaches none and leaves the skin in place.
    QVERIFY(!SkinLibrary::attach(QStringLiteral("NO")));
    QCOMPARE(app->styleSheet(), ownSheet);

    SkinLibrary::detach();
    QVERIFY(app->styleSheet().isEmpty());
    QVERIFY(SkinLibrary::attachedPath().isEmpty());
}

void StartupSequenceTest::skinThatCannotBeReadChangesNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("missing file") << QStringLiteral("missing.she");
    QTest::newRow("a folder") << QStringLiteral("folder.she");
    QTest::newRow("empty path") << QString();
}

void StartupSequenceTest::skinThatCannotBeReadChangesNothing()
{
    QFETCH(QString, name);
    Fresh f;
    QVERIFY(f.ok);
    QDir().mkpath(f.folder() + QStringLiteral("/Hf/folder.she"));
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    const QString pixos = f.folder() + QStringLiteral("/Hf/pixos.she");
    QVERIFY(SkinLibrary::attach(pixos));
    const QString before = app->styleSheet();
    QVERIFY(!SkinLibrary::attach(name.isEmpty() ? QString() : f.folder() + QStringLiteral("/Hf/") + name));
    QCOMPARE(app->styleSheet(), before);
    QCOMPARE(SkinLibrary::attachedPath(), pixos);
}

KV_REGISTER_TEST(StartupSequenceTest)
#include "StartupSequenceTest.moc"
