#include "common/TestRegistry.h"
#include "platform/Config.h"
#include "platform/ProgramHome.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

QByteArray gbk(const QString& text)
{
    const Result<QByteArray> b = Config::encodeGbk(text);
    if (!b)
        qWarning("GBK encoding failed");
    return b.valueOr({});
}

}  // namespace

class ConfigTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void missingFileGivesDefaults();
    void missingSectionOrKeyGivesDefault();
    void readsUtf8();
    void readsGbk();
    void readsTheEncodingWhosePathExists_data();
    void readsTheEncodingWhosePathExists();
    void writingRefusesWhatGbkCannotHold();
    void namesIgnoreCaseAndBlanks();
    void valueKeepsEqualsSigns();
    void writingOneKeyKeepsEveryOtherLine_data();
    void writingOneKeyKeepsEveryOtherLine();
    void writingKeepsGbk();
    void writingKeepsByteOrderMark();
    void writingAddsMissingKeyAndSection();
    void writingCreatesMissingFile();
    void writtenValueReadsBack();
    void garbageFileGivesDefaults();
    void programHomePathsFollowConfig();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

void ConfigTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_path = m_dir->filePath(QStringLiteral("Config.ini"));
}

void ConfigTest::missingFileGivesDefaults()
{
    Config c(m_path);
    QVERIFY(!c.contains(Config::LoginSection, Config::LoginKey));
    QCOMPARE(c.value(Config::LoginSection, Config::LoginKey, QStringLiteral("Admin")), QStringLiteral("Admin"));
    QCOMPARE(c.value(Config::DatabaseSection, Config::DatabaseKey), QString());
}

void ConfigTest::missingSectionOrKeyGivesDefault()
{
    writeAll(m_path, "[date]\ndb=/x/files.dat\n[dl]\nother=1\n");
    Config c(m_path);
    QCOMPARE(c.value(QStringLiteral("HF"), QStringLiteral("hf"), QStringLiteral("def")), QStringLiteral("def"));
    QCOMPARE(c.value(QStringLiteral("dl"), QStringLiteral("yh"), QStringLiteral("Admin")), QStringLiteral("Admin"));
    // A key of another section is not this section's.
    QCOMPARE(c.value(QStringLiteral("dl"), QStringLiteral("db"), QStringLiteral("none")), QStringLiteral("none"));
    QCOMPARE(c.value(QStringLiteral("date"), QStringLiteral("db")), QStringLiteral("/x/files.dat"));
}

void ConfigTest::readsUtf8()
{
    writeAll(m_path, QStringLiteral("; 配置\n[date]\ndb=/档案/数据/files.dat\n[dl]\nyh=张三\n").toUtf8());
    Config c(m_path);
    QVERIFY(!c.isGbk());
    QCOMPARE(c.value(QStringLiteral("date"), QStringLiteral("db")), QStringLiteral("/档案/数据/files.dat"));
    QCOMPARE(c.value(QStringLiteral("dl"), QStringLiteral("yh")), QStringLiteral("张三"));
}

void ConfigTest::readsGbk()
{
    writeAll(m_path, gbk(QStringLiteral("; 配置文件\r\n[dl]\r\nyh=李四\r\n[HF]\r\nhf=/程序/Hf/清水.she\r\n")));
    Config c(m_path);
    QVERIFY(c.isGbk());
    QCOMPARE(c.value(QStringLiteral("dl"), QStringLiteral("yh")), QStringLiteral("李四"));
    QCOMPARE(c.value(QStringLiteral("HF"), QStringLiteral("hf")), QStringLiteral("/程序/Hf/清水.she"));
}

void ConfigTest::readsTheEncodingWhosePathExists_data()
{
    // Each folder name's bytes are valid in both encodings: GBK "系统" is
    // UTF-8 "ϵͳ", UTF-8 "系统" is GBK "绯荤粺".
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("encoding");
    QTest::newRow("GBK 系统") << QStringLiteral("系统") << QStringLiteral("GBK");
    QTest::newRow("GBK 图片") << QStringLiteral("图片") << QStringLiteral("GBK");
    QTest::newRow("UTF-8 系统") << QStringLiteral("系统") << QStringLiteral("UTF-8");
    QTest::newRow("UTF-8 BOM 通知") << QStringLiteral("通知") << QStringLiteral("BOM");
}

void ConfigTest::readsTheEncodingWhosePathExists()
{
    QFETCH(QString, folder);
    QFETCH(QString, encoding);
    const QString db = m_dir->filePath(folder + QStringLiteral("/files.dat"));
    QVERIFY(QDir().mkpath(m_dir->filePath(folder)));
    writeAll(db, "db");
    const QString text = QStringLiteral("[date]\r\ndb=") + db + QStringLiteral("\r\n[dl]\r\nyh=Admin\r\n");
    auto bytesOf = [&](const QString& t) {
        if (encoding == QLatin1String("GBK"))
            return gbk(t);
        return (encoding == QLatin1String("BOM") ? QByteArray("\xEF\xBB\xBF") : QByteArray()) + t.toUtf8();
    };
    writeAll(m_path, bytesOf(text));
    Config c(m_path);
    QCOMPARE(c.value(Config::DatabaseSection, Config::DatabaseKey), db);
    QCOMPARE(c.isGbk(), encoding == QLatin1String("GBK"));
    // Written back in the encoding read.
    QVERIFY(c.setValue(Config::LoginSection, Config::LoginKey, QStringLiteral("赵六")));
    QCOMPARE(readAll(m_path), bytesOf(QString(text).replace(QStringLiteral("Admin"), QStringLiteral("赵六"))));
}

void ConfigTest::writingRefusesWhatGbkCannotHold()
{
    const QByteArray before = gbk(QStringLiteral("[dl]\r\nyh=李四\r\n"));
    writeAll(m_path, before);
    Config c(m_path);
    QVERIFY(c.isGbk());
    QVERIFY(!c.setValue(Config::LoginSection, Config::LoginKey, QStringLiteral("𠮷田")));
    QCOMPARE(readAll(m_path), before);
    QCOMPARE(c.value(Config::LoginSection, Config::LoginKey), QStringLiteral("𠮷田"));  // for this run
}

void ConfigTest::namesIgnoreCaseAndBlanks()
{
    writeAll(m_path, "  [ Dl ]  \n  YH =  Clerk  \n");
    Config c(m_path);
    QCOMPARE(c.value(QStringLiteral("dl"), QStringLiteral("yh")), QStringLiteral("Clerk"));
}

void ConfigTest::valueKeepsEqualsSigns()
{
    writeAll(m_path, "[date]\ndb=/a=b/files.dat\n");
    Config c(m_path);
    QCOMPARE(c.value(QStringLiteral("date"), QStringLiteral("db")), QStringLiteral("/a=b/files.dat"));
}

void ConfigTest::writingOneKeyKeepsEveryOtherLine_data()
{
    QTest::addColumn<QString>("eol");
    QTest::newRow("LF") << QStringLiteral("\n");
    QTest::newRow("CRLF") << QStringLiteral("\r\n");
}

void ConfigTest::writingOneKeyKeepsEveryOtherLine()
{
    QFETCH(QString, eol);
    const QStringList before = {
        QStringLiteral("; 本系统的配置"),
        QStringLiteral("[date]"),
        QStringLiteral("db = /srv/档案/files.dat"),
        QStringLiteral(""),
        QStringLiteral("[dl]"),
        QStringLiteral("# last user"),
        QStringLiteral("yh=Admin"),
        QStringLiteral("zz=keep me"),
        QStringLiteral("[HF]"),
        QStringLiteral("hf=NO"),
        QStringLiteral("[xd]"),
        QStringLiteral("qd=1"),
    };
    writeAll(m_path, (before.join(eol) + eol).toUtf8());
    Config c(m_path);
    QVERIFY(c.setValue(QStringLiteral("dl"), QStringLiteral("yh"), QStringLiteral("王五")));
    QStringList after = before;
    after[6] = QStringLiteral("yh=王五");
    QCOMPARE(QString::fromUtf8(readAll(m_path)), after.join(eol) + eol);
}

void ConfigTest::writingKeepsGbk()
{
    const QString text = QStringLiteral("; 配置\r\n[dl]\r\nyh=Admin\r\n[HF]\r\nhf=/程序/Hf/墨叶.she\r\n");
    writeAll(m_path, gbk(text));
    Config c(m_path);
    QVERIFY(c.setValue(QStringLiteral("dl"), QStringLiteral("yh"), QStringLiteral("赵六")));
    QString expected = text;
    expected.replace(QStringLiteral("yh=Admin"), QStringLiteral("yh=赵六"));
    QCOMPARE(readAll(m_path), gbk(expected));
    Config again(m_path);
    QVERIFY(again.isGbk());
    QCOMPARE(again.value(QStringLiteral("dl"), QStringLiteral("yh")), QStringLiteral("赵六"));
    QCOMPARE(again.value(QStringLiteral("HF"), QStringLiteral("hf")), QStringLiteral("/程序/Hf/墨叶.she"));
}

void ConfigTest::writingKeepsByteOrderMark()
{
    writeAll(m_path, QByteArray("\xEF\xBB\xBF[dl]\nyh=Admin\n"));
    Config c(m_path);
    QCOMPARE(c.value(QStringLiteral("dl"), QStringLiteral("yh")), QStringLiteral("Admin"));
    QVERIFY(c.setValue(QStringLiteral("dl"), QStringLiteral("yh"), QStringLiteral("张三")));
    QCOMPARE(readAll(m_path), QByteArray("\xEF\xBB\xBF[dl]\nyh=") + QStringLiteral("张三").toUtf8() + "\n");
}

void ConfigTest::writingAddsMissingKeyAndSection()
{
    writeAll(m_path, "[date]\ndb=/d/files.dat\n\n[HF]\nhf=NO\n");
    Config c(m_path);
    QVERIFY(c.setValue(QStringLiteral("date"), QStringLiteral("extra"), QStringLiteral("1")));
    QVERIFY(c.setValue(QStringLiteral("dl"), QStringLiteral("yh"), QStringLiteral("Clerk")));
    QCOMPARE(readAll(m_path), QByteArray("[date]\ndb=/d/files.dat\nextra=1\n\n[HF]\nhf=NO\n\n[dl]\nyh=Clerk\n"));
}

void ConfigTest::writingCreatesMissingFile()
{
    Config c(m_path);
    QVERIFY(c.setValue(QStringLiteral("dl"), QStringLiteral("yh"), QStringLiteral("Clerk")));
    QCOMPARE(Config(m_path).value(QStringLiteral("dl"), QStringLiteral("yh")), QStringLiteral("Clerk"));
}

void ConfigTest::writtenValueReadsBack()
{
    writeAll(m_path, "[dl]\nyh=Admin\n");
    Config c(m_path);
    QVERIFY(c.setValue(QStringLiteral("dl"), QStringLiteral("yh"), QStringLiteral("操作员 一")));
    QCOMPARE(c.value(QStringLiteral("dl"), QStringLiteral("yh")), QStringLiteral("操作员 一"));
    c.reload();
    QCOMPARE(c.value(QStringLiteral("dl"), QStringLiteral("yh")), QStringLiteral("操作员 一"));
}

void ConfigTest::garbageFileGivesDefaults()
{
    QByteArray junk;
    for (int i = 0; i < 4096; ++i)
        junk.append(char((i * 131 + 7) % 256));
    writeAll(m_path, junk);
    Config c(m_path);
    QCOMPARE(c.value(QStringLiteral("dl"), QStringLiteral("yh"), QStringLiteral("Admin")), QStringLiteral("Admin"));
    ProgramHome home(m_dir->path());
    QCOMPARE(home.databasePath(c), home.defaultDatabasePath());
    QCOMPARE(home.skinPath(c), home.defaultSkinPath());
}

void ConfigTest::programHomePathsFollowConfig()
{
    ProgramHome home(m_dir->path());
    Config none(m_path);
    QCOMPARE(home.databasePath(none), m_dir->path() + QStringLiteral("/Data/files.dat"));
    QCOMPARE(home.skinPath(none), m_dir->path() + QStringLiteral("/Hf/pixos.she"));
    writeAll(m_path, "[date]\ndb=/elsewhere/a.dat\n[HF]\nhf=NO\n");
    Config c(m_path);
    QCOMPARE(home.databasePath(c), QStringLiteral("/elsewhere/a.dat"));
    QCOMPARE(home.skinPath(c), QStringLiteral("NO"));
}

KV_REGISTER_TEST(ConfigTest)
#include "ConfigTest.moc"
