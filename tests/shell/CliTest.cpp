// korvane-cli run as a user runs it: exit status, stdout and stderr.
#include "archive/ArchiveCheck.h"
#include "archive/ExportGuard.h"
#include "archive/FileRecords.h"
#include "archive/GroupTree.h"
#include "archive/StoreFolder.h"
#include "CliRun.h"
#include "common/TestHome.h"
#include "common/TestInput.h"
#include "common/TestRegistry.h"
#include "archive/BatchImport.h"
#include "platform/Terminal.h"
#include "settings/ArchiveCare.h"
#include "settings/LoginService.h"
#include "store/DataStore.h"
#include "store/Dictionary.h"
#include "store/PasswordHash.h"

#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/types.h>

using TestInput::pattern;
using TestInput::readFile;
using TestInput::writeFile;

namespace {

void addOperator(DataStore& s, const QString& name, const QString& password, const QString& status,
                 const QString& rights)
{
    const QString hash = PasswordHash::hash(password);
    QVERIFY(s.execute(QStringLiteral("insert into czygl(yhm,mm,qrmm,zt,ms,qx) values (?,?,?,?,'',?)"),
                      {name, hash, hash, status, rights}));
}

// The files below folder, by path relative to it, with their bytes.
QMap<QString, QByteArray> tree(const QString& folder)
{
    QMap<QString, QByteArray> out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        out.insert(QDir(folder).relativeFilePath(path), readFile(path));
    }
    return out;
}

// An archive whose store folder takes files above 10 KB, with the groups
// 合同\2026 and 其他.
void prepare(TestHome& home)
{
    QVERIFY(home.isValid());
    QVERIFY(Dictionary::write(home.store(), Dictionary::FileSize, QStringLiteral("0.01")));
    QVERIFY(home.store().execute(
        QStringLiteral("insert into wjfz(id,fxmid,xmmc) values (1,0,'合同'),(2,1,'2026'),(3,0,'其他')")));
}

QString put(const QString& folder, const QString& name, const QByteArray& bytes)
{
    QDir().mkpath(folder);
    return writeFile(folder, name, bytes);
}

// A folder tree of held (small) and kept (large) files; returns its top.
QString sourceTree(const QString& base)
{
    const QString top = base + QStringLiteral("/扫描");
    put(top, QStringLiteral("小.txt"), pattern(300, 'a'));
    put(top, QStringLiteral("空.txt"), QByteArray());
    put(top + QStringLiteral("/一"), QStringLiteral("大.pdf"), pattern(40000, 'b'));
    put(top + QStringLiteral("/一/二"), QStringLiteral("中.doc"), pattern(5000, 'c'));
    put(top + QStringLiteral("/一/二"), QStringLiteral("巨.bin"), pattern(300000, 'd'));
    return top;
}

qint64 count(DataStore& s, const QString& sql)
{
    return valueOf(s, sql).toLongLong();
}

}  // namespace

class CliTest : public QObject {
    Q_OBJECT
private slots:
    void badUsage_data();
    void badUsage();
    void helpGoesToStdout();
    void login_data();
    void login();
    void missingRight();
    void missingDatabase();
    void groupsAddAndList();
    void listRecordsAsTextAndJson();
    void closedGroupStaysClosed();
    void checkSeesTheArchiveAsItIs();
    void importListExportRoundTrip();
    void exportRefusesTheArchiveAndLeavesDamageOut();
    void exportGoesPastAFileItCannotWrite();
    void importSkipsSameNames();
    void importKeepsFolders();
    void importRefusesWhatItCannotTake_data();
    void importRefusesWhatItCannotTake();
    void backupThenRestore();
    void restoreNeedsABackup();
    void interruptedImportKeepsWhatItCommitted();
    void interruptStopsBetweenItems();  // last: it leaves the process interrupted
};

void CliTest::badUsage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no command") << QStringList();
    QTest::newRow("unknown command") << QStringList{QStringLiteral("frobnicate")};
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--colour"), QStringLiteral("groups")};
    QTest::newRow("option without value") << QStringList{QStringLiteral("groups"), QStringLiteral("--user")};
    QTest::newRow("missing argument") << QStringList{QStringLiteral("list")};
    QTest::newRow("too many arguments") << QStringList{QStringLiteral("groups"), QStringLiteral("add"),
                                                       QStringLiteral("a"), QStringLiteral("b")};
    QTest::newRow("flag of another command") << QStringList{QStringLiteral("check"), QStringLiteral("--json")};
}

void CliTest::badUsage()
{
    QFETCH(QStringList, args);
    TestHome home;
    QVERIFY(home.isValid());
    const Ran r = cli(home.folder(), args);
    QCOMPARE(r.status, 2);
    QVERIFY(r.out.isEmpty());
    QVERIFY(r.err.startsWith(QStringLiteral("korvane-cli: ")));
}

void CliTest::helpGoesToStdout()
{
    TestHome home;
    Ran r = cli(home.folder(), {QStringLiteral("--help")});
    QCOMPARE(r.status, 0);
    for (const char* c : {"groups add", "list", "import", "export", "backup", "restore", "check"})
        QVERIFY2(r.out.contains(QLatin1String(c)), c);
    r = cli(home.folder(), {QStringLiteral("check"), QStringLiteral("--help")});
    QCOMPARE(r.status, 0);
    QVERIFY(r.out.contains(QStringLiteral("--repair")));
    QVERIFY(r.out.contains(QStringLiteral("全局参数")));
}

void CliTest::login_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("fromFile");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    QTest::newRow("right password") << "Clerk"
                                    << "s3cret " << false << 0 << QString();
    QTest::newRow("right password from a file") << "Clerk"
                                                << "s3cret " << true << 0 << QString();
    QTest::newRow("wrong password") << "Clerk"
                                    << "s3cret" << false << 1 << LoginService::WrongPasswordMessage;
    QTest::newRow("disabled operator") << "Gone"
                                       << "x" << false << 1 << LoginService::NotUsableMessage;
    QTest::newRow("unknown operator") << "Nobody"
                                      << "x" << false << 1 << LoginService::UnknownUserMessage;
}

void CliTest::login()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(bool, fromFile);
    QFETCH(int, status);
    QFETCH(QString, message);
    TestHome home;
    QVERIFY(home.isValid());
    addOperator(home.store(), QStringLiteral("Clerk"), QStringLiteral("s3cret "), QStringLiteral("可用"),
                QStringLiteral("增加"));
    addOperator(home.store(), QStringLiteral("Gone"), QStringLiteral("x"), QStringLiteral("停用"),
                QStringLiteral("增加"));
    QStringList args{QStringLiteral("--user"), user};
    QMap<QString, QString> env;
    if (fromFile) {
        const QString file = writeFile(home.folder(), QStringLiteral("pw.txt"), password.toUtf8() + "\n");
        args << QStringLiteral("--password-file") << file;
    } else {
        env.insert(QStringLiteral("KORVANE_PASSWORD"), password);
    }
    const Ran r = cli(home.folder(), args + QStringList{QStringLiteral("groups")}, env);
    QCOMPARE(r.status, status);
    if (!message.isEmpty())
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
    // The name is not remembered for the program's login window.
    QVERIFY(!readFile(home.context().home.configPath()).contains(user.toUtf8()));
}

void CliTest::missingRight()
{
    TestHome home;
    QVERIFY(home.isValid());
    addOperator(home.store(), QStringLiteral("Reader"), QString(), QStringLiteral("可用"),
                QStringLiteral("打开文件,文件另存"));
    for (const QStringList& args : {QStringList{QStringLiteral("groups"), QStringLiteral("add"), QStringLiteral("新")},
                                    QStringList{QStringLiteral("check")},
                                    QStringList{QStringLiteral("import"), QStringLiteral("合同"), home.folder()},
                                    QStringList{QStringLiteral("export"), QStringLiteral("\\"), home.folder()},
                                    QStringList{QStringLiteral("backup"), home.folder() + QStringLiteral("/b")},
                                    QStringList{QStringLiteral("restore"), home.folder() + QStringLiteral("/b")}}) {
        const Ran r = cli(home.folder(), QStringList{QStringLiteral("--user"), QStringLiteral("Reader")} + args);
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(QStringLiteral("您没有此操作权限!")), qPrintable(r.err));
    }
    QCOMPARE(valueOf(home.store(), QStringLiteral("select count(*) from wjfz")).toInt(), 0);
    // Reading the tree needs no right.
    QCOMPARE(cli(home.folder(), {QStringLiteral("--user"), QStringLiteral("Reader"), QStringLiteral("groups")}).status,
             0);
}

void CliTest::missingDatabase()
{
    QTemporaryDir empty;
    const Ran r = cli(empty.path(), {QStringLiteral("groups")});
    QCOMPARE(r.status, 1);
    QVERIFY(r.err.contains(QStringLiteral("启动失败：指定数据库未找到")));
}

void CliTest::groupsAddAndList()
{
    TestHome home;
    QVERIFY(home.isValid());
    Ran r = cli(home.folder(), {QStringLiteral("groups"), QStringLiteral("add"), QStringLiteral("合同\\2026")});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out, QStringLiteral("合同\n合同\\2026\n"));
    // Only what is missing is added.
    r = cli(home.folder(), {QStringLiteral("groups"), QStringLiteral("add"), QStringLiteral("合同\\2027")});
    QCOMPARE(r.out, QStringLiteral("合同\\2027\n"));
    r = cli(home.folder(), {QStringLiteral("groups")});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out, QStringLiteral("合同\n合同\\2026\n合同\\2027\n"));
    // A name the tree refuses is refused here too.
    r = cli(home.folder(), {QStringLiteral("groups"), QStringLiteral("add"), QStringLiteral("合同\\..")});
    QCOMPARE(r.status, 1);
    QVERIFY(r.err.contains(GroupTree::DotName));
}

void CliTest::listRecordsAsTextAndJson()
{
    TestHome home;
    QVERIFY(home.isValid());
    QVERIFY(home.store().execute(
        QStringLiteral("insert into wjfz(id,fxmid,xmmc) values (1,0,'合同'),(2,1,'2026'),(3,0,'其他')")));
    FileRecords records(home.store(), StoreFolder(home.context().home), home.context().currentOperator, 4096);
    QTemporaryDir src;
    RecordFields f;
    f.name = QStringLiteral("甲\t乙");
    f.group = QStringLiteral("合同\\2026");
    QVERIFY(records.add(f, writeFile(src.path(), QStringLiteral("a.txt"), pattern(10, 'a'))));
    f.name = QStringLiteral("丙");
    f.group = QStringLiteral("其他");
    QVERIFY(records.add(f, writeFile(src.path(), QStringLiteral("b.txt"), pattern(10, 'b'))));

    Ran r = cli(home.folder(), {QStringLiteral("list"), QStringLiteral("合同")});
    QCOMPARE(r.status, 0);
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    const QStringList header = lines.at(0).split(QLatin1Char('\t'));
    const QStringList row = lines.at(1).split(QLatin1Char('\t'));
    QCOMPARE(row.size(), header.size());
    QCOMPARE(row.at(header.indexOf(QStringLiteral("mc"))), QStringLiteral("甲\\t乙"));
    QCOMPARE(row.at(header.indexOf(QStringLiteral("fz"))), QStringLiteral("合同\\\\2026"));
    QCOMPARE(row.at(header.indexOf(QStringLiteral("sha256"))).size(), 64);

    r = cli(home.folder(), {QStringLiteral("list"), QStringLiteral("\\"), QStringLiteral("--json")});
    QCOMPARE(r.status, 0);
    const QJsonArray all = QJsonDocument::fromJson(r.out.toUtf8()).array();
    QCOMPARE(all.size(), 2);
    QCOMPARE(all.at(0).toObject().value(QStringLiteral("mc")).toString(), QStringLiteral("甲\t乙"));
    QCOMPARE(all.at(1).toObject().value(QStringLiteral("dxsz")).toInt(), 10);

    r = cli(home.folder(), {QStringLiteral("list"), QStringLiteral("没有")});
    QCOMPARE(r.status, 1);
}

void CliTest::closedGroupStaysClosed()
{
    TestHome home;
    QVERIFY(home.isValid());
    QVERIFY(home.store().execute(QStringLiteral("insert into wjfz(id,fxmid,xmmc,mm) values (1,0,'机密',?)"),
                                 {PasswordHash::hash(QStringLiteral("pw"))}));
    FileRecords records(home.store(), StoreFolder(home.context().home), home.context().currentOperator, 4096);
    QTemporaryDir src;
    RecordFields f;
    f.name = QStringLiteral("秘密");
    f.group = QStringLiteral("机密");
    QVERIFY(records.add(f, writeFile(src.path(), QStringLiteral("a.txt"), pattern(10, 'a'))));

    Ran r = cli(home.folder(), {QStringLiteral("list"), QStringLiteral("机密")});
    QCOMPARE(r.status, 1);
    QVERIFY(!r.out.contains(QStringLiteral("秘密")));
    r = cli(
        home.folder(),
        {QStringLiteral("--group-password"), QStringLiteral("机密"), QStringLiteral("list"), QStringLiteral("机密")},
        {{QStringLiteral("KORVANE_GROUP_PASSWORD"), QStringLiteral("wrong")}});
    QCOMPARE(r.status, 1);
    QVERIFY(r.err.contains(GroupTree::WrongAccessPassword));
    r = cli(
        home.folder(),
        {QStringLiteral("--group-password"), QStringLiteral("机密"), QStringLiteral("list"), QStringLiteral("机密")},
        {{QStringLiteral("KORVANE_GROUP_PASSWORD"), QStringLiteral("pw")}});
    QCOMPARE(r.status, 0);
    QVERIFY(r.out.contains(QStringLiteral("秘密")));
}

void CliTest::checkSeesTheArchiveAsItIs()
{
    TestHome home;
    QVERIFY(home.isValid());
    QVERIFY(home.store().execute(QStringLiteral("insert into wjfz(id,fxmid,xmmc) values (1,0,'合同')")));
    FileRecords records(home.store(), StoreFolder(home.context().home), home.context().currentOperator, 4096);
    QTemporaryDir src;
    RecordFields f;
    f.name = QStringLiteral("大");
    f.group = QStringLiteral("合同");
    QVERIFY(records.add(f, writeFile(src.path(), QStringLiteral("b.pdf"), pattern(9000, 'b'))));

    Ran r = cli(home.folder(), {QStringLiteral("check")});
    QCOMPARE(r.status, 0);
    QVERIFY2(r.out.contains(QStringLiteral("档案完好")), qPrintable(r.out));
    QVERIFY(!r.err.contains(QLatin1Char('\r')));  // no bar when not on a terminal

    // What an interrupted run left stays as it is: the start-up sweep does not run.
    const StoreFolder folder(home.context().home);
    QVERIFY(!writeFile(folder.folder(), QStringLiteral("0000000099.doc"), "stray").isEmpty());
    QVERIFY(!writeFile(folder.folder(), QStringLiteral(".kvpart-x1.part"), "half").isEmpty());
    r = cli(home.folder(), {QStringLiteral("check")});
    QCOMPARE(r.status, 1);
    QCOMPARE(r.out.count(ArchiveCheck::OrphanFile + QLatin1Char('\t')), 1);
    QCOMPARE(r.out.count(ArchiveCheck::Leftover + QLatin1Char('\t')), 1);
    QVERIFY(QFileInfo::exists(folder.folder() + QStringLiteral("/0000000099.doc")));
    QVERIFY(QFileInfo::exists(folder.folder() + QStringLiteral("/.kvpart-x1.part")));

    r = cli(home.folder(), {QStringLiteral("check"), QStringLiteral("--repair")});
    QCOMPARE(r.status, 1);  // it found something, and said what it did
    QVERIFY(r.out.contains(QStringLiteral("已移至")));
    QCOMPARE(readFile(folder.quarantineFolder() + QStringLiteral("/0000000099.doc")), QByteArray("stray"));
    QVERIFY(!QFileInfo::exists(folder.folder() + QStringLiteral("/.kvpart-x1.part")));
    r = cli(home.folder(), {QStringLiteral("check")});
    QCOMPARE(r.status, 0);
}

void CliTest::importListExportRoundTrip()
{
    TestHome home;
    prepare(home);
    QTemporaryDir src;
    const QString top = sourceTree(src.path());
    const QString single = writeFile(src.path(), QStringLiteral("单.txt"), pattern(77, 'e'));

    Ran r = cli(home.folder(), {QStringLiteral("import"), QStringLiteral("合同\\2026"), top, single});
    QCOMPARE(r.status, 0);
    QVERIFY2(r.out.contains(QStringLiteral("成功导入6个")), qPrintable(r.out + r.err));
    DataStore& s = home.store();
    QCOMPARE(count(s, QStringLiteral("select count(*) from wj where fz='合同\\2026'")), 6);
    QCOMPARE(count(s, QStringLiteral("select count(*) from wj where lj<>''")), 2);  // 大 and 巨
    // The window's log lines, under the operator who logged in.
    QCOMPARE(
        count(s,
              QStringLiteral("select count(*) from rz where nr like '批量增加：%，分组:合同\\2026' and czy='Admin'")),
        6);

    r = cli(home.folder(), {QStringLiteral("list"), QStringLiteral("合同"), QStringLiteral("--json")});
    QCOMPARE(r.status, 0);
    QStringList names;
    for (const QJsonValue v : QJsonDocument::fromJson(r.out.toUtf8()).array())
        names << v.toObject().value(QStringLiteral("mc")).toString() + QLatin1Char('.')
                + v.toObject().value(QStringLiteral("lx")).toString();
    names.sort();
    QStringList expectedNames{QStringLiteral("中.doc"), QStringLiteral("单.txt"), QStringLiteral("大.pdf"),
                              QStringLiteral("小.txt"), QStringLiteral("巨.bin"), QStringLiteral("空.txt")};
    expectedNames.sort();
    QCOMPARE(names, expectedNames);

    QTemporaryDir out;
    const QString target = out.path() + QStringLiteral("/导出");  // made when missing
    r = cli(home.folder(), {QStringLiteral("export"), QStringLiteral("合同"), target, QStringLiteral("--subfolders")});
    QCOMPARE(r.status, 0);
    QVERIFY2(r.out.contains(QStringLiteral("6 个文件已成功导出")), qPrintable(r.out + r.err));
    QMap<QString, QByteArray> expected;
    const QMap<QString, QByteArray> sources = tree(src.path());
    for (auto it = sources.cbegin(); it != sources.cend(); ++it)
        expected.insert(QStringLiteral("合同/2026/") + QFileInfo(it.key()).fileName(), it.value());
    QCOMPARE(tree(target), expected);
    QCOMPARE(count(s, QStringLiteral("select count(*) from rz where nr like '批量导出：%' and czy='Admin'")), 1);

    // Without --subfolders all go into the folder itself.
    r = cli(home.folder(), {QStringLiteral("export"), QStringLiteral("\\"), out.path() + QStringLiteral("/flat")});
    QCOMPARE(r.status, 0);
    QCOMPARE(tree(out.path() + QStringLiteral("/flat")).size(), 6);
    QCOMPARE(tree(out.path() + QStringLiteral("/flat")).value(QStringLiteral("巨.bin")), pattern(300000, 'd'));
}

void CliTest::exportRefusesTheArchiveAndLeavesDamageOut()
{
    TestHome home;
    prepare(home);
    QTemporaryDir src, out;
    QCOMPARE(cli(home.folder(), {QStringLiteral("import"), QStringLiteral("合同"), sourceTree(src.path())}).status, 0);
    // Never into the archive's folders: refused before the folder is made.
    const QString inside = StoreFolder(home.context().home).folder() + QStringLiteral("/out");
    const Ran refused = cli(home.folder(), {QStringLiteral("export"), QStringLiteral("合同"), inside});
    QCOMPARE(refused.status, 1);
    QVERIFY2(refused.err.contains(ExportGuard::FolderRefused), qPrintable(refused.err));
    QVERIFY(!QFileInfo::exists(inside));

    // The two kept files: one with a byte changed, one a link to /etc/passwd.
    auto kept = [&](const char* name) {
        return StoreFolder(home.context().home)
            .resolve(valueOf(home.store(), QStringLiteral("select lj from wj where mc=?"), {QString::fromUtf8(name)})
                         .toString());
    };
    QByteArray bytes = readFile(kept("大"));
    bytes[20000] = char(bytes[20000] ^ 0x20);
    QVERIFY(!writeFile(kept("大"), bytes).isEmpty());
    QVERIFY(QFile::remove(kept("巨")) && QFile::link(QStringLiteral("/etc/passwd"), kept("巨")));

    QStringList expected{QStringLiteral("中.doc"), QStringLiteral("小.txt"), QStringLiteral("空.txt")};
    for (const bool again : {false, true}) {
        const Ran r = cli(home.folder(), {QStringLiteral("export"), QStringLiteral("合同"), out.path()});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.out.contains(QStringLiteral("3 个文件已成功导出")), qPrintable(r.out + r.err));
        QCOMPARE(r.err.count(ExportedContent::DamagedPrefix), 2);
        QVERIFY2(r.err.contains(QStringLiteral(" 大.pdf（内容损坏）")), qPrintable(r.err));
        QVERIFY2(r.err.contains(QStringLiteral(" 巨.bin（") + ExportedContent::KeptFileIsLink), qPrintable(r.err));
        // A second run replaces nothing: its files go beside those there.
        if (again)
            expected << QStringLiteral("中 (2).doc") << QStringLiteral("小 (2).txt") << QStringLiteral("空 (2).txt");
        expected.sort();
        QCOMPARE(tree(out.path()).keys(), expected);
    }
    QCOMPARE(readFile(out.filePath(QStringLiteral("小 (2).txt"))), pattern(300, 'a'));
}

void CliTest::exportGoesPastAFileItCannotWrite()
{
    TestHome home;
    prepare(home);
    QTemporaryDir src, out;
    QCOMPARE(
        cli(home.folder(), {QStringLiteral("import"), QStringLiteral("合同\\2026"), sourceTree(src.path())}).status, 0);
    const QString other = writeFile(src.path(), QStringLiteral("别处.txt"), pattern(120, 'f'));
    QCOMPARE(cli(home.folder(), {QStringLiteral("import"), QStringLiteral("其他"), other}).status, 0);
    // A file stands where the folder of group 其他 would be made.
    QVERIFY(!writeFile(out.path(), QStringLiteral("其他"), "in the way").isEmpty());

    const Ran r = cli(home.folder(),
                      {QStringLiteral("export"), QStringLiteral("\\"), out.path(), QStringLiteral("--subfolders")});
    QCOMPARE(r.status, 1);
    const QString number = valueOf(home.store(), QStringLiteral("select bh from wj where mc='别处'")).toString();
    QVERIFY(!number.isEmpty());
    QVERIFY2(r.err.contains(QStringLiteral("写入失败，未导出: ") + number + QStringLiteral(" 别处.txt")),
             qPrintable(r.err));
    QCOMPARE(r.err.count(QStringLiteral("写入失败")), 1);
    QVERIFY2(r.out.contains(QStringLiteral("5 个文件已成功导出")), qPrintable(r.out + r.err));
    // The others are all there, the file in the way untouched.
    QMap<QString, QByteArray> expected;
    const QMap<QString, QByteArray> sources = tree(src.path() + QStringLiteral("/扫描"));
    for (auto it = sources.cbegin(); it != sources.cend(); ++it)
        expected.insert(QStringLiteral("合同/2026/") + QFileInfo(it.key()).fileName(), it.value());
    expected.insert(QStringLiteral("其他"), "in the way");
    QCOMPARE(tree(out.path()), expected);
}

void CliTest::importSkipsSameNames()
{
    TestHome home;
    prepare(home);
    QTemporaryDir src;
    const QString top = sourceTree(src.path());
    QCOMPARE(cli(home.folder(), {QStringLiteral("import"), QStringLiteral("合同"), top}).status, 0);
    const qint64 records = count(home.store(), QStringLiteral("select count(*) from wj"));
    const qint64 kept = QDir(StoreFolder(home.context().home).folder()).entryList(QDir::Files).size();
    QCOMPARE(records, 5);

    const Ran r =
        cli(home.folder(), {QStringLiteral("import"), QStringLiteral("其他"), top, QStringLiteral("--skip-same-name")});
    QCOMPARE(r.status, 0);
    QVERIFY2(r.out.contains(QStringLiteral("同名文件:5个,成功导入0个")), qPrintable(r.out + r.err));
    QCOMPARE(count(home.store(), QStringLiteral("select count(*) from wj")), records);
    QCOMPARE(QDir(StoreFolder(home.context().home).folder()).entryList(QDir::Files).size(), kept);
    // Without the flag they come in again.
    QCOMPARE(cli(home.folder(), {QStringLiteral("import"), QStringLiteral("其他"), top}).status, 0);
    QCOMPARE(count(home.store(), QStringLiteral("select count(*) from wj")), 2 * records);
}

void CliTest::importKeepsFolders()
{
    TestHome home;
    prepare(home);
    QTemporaryDir src;
    const QString top = sourceTree(src.path());
    const QString single = writeFile(src.path(), QStringLiteral("单.txt"), pattern(77, 'e'));
    const QStringList args{QStringLiteral("import"), QStringLiteral("合同"), top, single,
                           QStringLiteral("--keep-folders")};
    Ran r = cli(home.folder(), args);
    QCOMPARE(r.status, 0);
    QVERIFY2(r.out.contains(QStringLiteral("成功导入6个")), qPrintable(r.out + r.err));
    DataStore& s = home.store();
    auto in = [&](const QString& group) {
        return count(s, QStringLiteral("select count(*) from wj where fz='%1'").arg(group));
    };
    QCOMPARE(in(QStringLiteral("合同")), 1);  // the loose file
    QCOMPARE(in(QStringLiteral("合同\\扫描")), 2);
    QCOMPARE(in(QStringLiteral("合同\\扫描\\一")), 1);
    QCOMPARE(in(QStringLiteral("合同\\扫描\\一\\二")), 2);
    // Again: the groups are there and taken as they are.
    QCOMPARE(cli(home.folder(), args).status, 0);
    QCOMPARE(in(QStringLiteral("合同\\扫描\\一\\二")), 4);
    r = cli(home.folder(), {QStringLiteral("groups")});
    QCOMPARE(r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts),
             (QStringList{"合同", "合同\\2026", "合同\\扫描", "合同\\扫描\\一", "合同\\扫描\\一\\二", "其他"}));
}

void CliTest::importRefusesWhatItCannotTake_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<bool>("missingPath");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown group") << QStringLiteral("没有") << false << QStringLiteral("分组不存在");
    QTest::newRow("the root") << QStringLiteral("\\") << false << QStringLiteral("分组不存在");
    QTest::newRow("closed protected group") << QStringLiteral("机密") << false << BatchImport::NoGroup;
    QTest::newRow("missing file") << QStringLiteral("合同") << true << QStringLiteral("不存在");
}

void CliTest::importRefusesWhatItCannotTake()
{
    QFETCH(QString, group);
    QFETCH(bool, missingPath);
    QFETCH(QString, message);
    TestHome home;
    prepare(home);
    QVERIFY(home.store().execute(QStringLiteral("insert into wjfz(id,fxmid,xmmc,mm) values (9,0,'机密',?)"),
                                 {PasswordHash::hash(QStringLiteral("pw"))}));
    QTemporaryDir src;
    const QString file = writeFile(src.path(), QStringLiteral("a.txt"), "a");
    const Ran r =
        cli(home.folder(),
            {QStringLiteral("import"), group, file, missingPath ? src.path() + QStringLiteral("/none.txt") : file});
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QCOMPARE(count(home.store(), QStringLiteral("select count(*) from wj")), 0);
}

void CliTest::backupThenRestore()
{
    TestHome home;
    prepare(home);
    QTemporaryDir src;
    QCOMPARE(cli(home.folder(), {QStringLiteral("import"), QStringLiteral("合同"), sourceTree(src.path())}).status, 0);
    const QString listed = cli(home.folder(), {QStringLiteral("list"), QStringLiteral("\\")}).out;
    const QString groups = cli(home.folder(), {QStringLiteral("groups")}).out;
    QVERIFY(listed.count(QLatin1Char('\n')) == 6);

    QTemporaryDir backups;
    const QString target = backups.path() + QStringLiteral("/夜间");
    Ran r = cli(home.folder(), {QStringLiteral("backup"), target});
    QCOMPARE(r.status, 0);
    QVERIFY2(r.out.contains(ArchiveCare::BackupDone), qPrintable(r.out + r.err));
    QVERIFY(QFileInfo(target + QLatin1Char('/') + ArchiveCare::DatabaseName).isFile());
    QCOMPARE(QDir(target + QLatin1Char('/') + ArchiveCare::StoreName).entryList(QDir::Files).size(), 2);

    // Changes after the backup: a group, records (one kept), a removed kept file's record.
    QCOMPARE(cli(home.folder(), {QStringLiteral("groups"), QStringLiteral("add"), QStringLiteral("新\\组")}).status, 0);
    const QString later = put(src.path() + QStringLiteral("/later"), QStringLiteral("后.pdf"), pattern(50000, 'x'));
    QCOMPARE(cli(home.folder(), {QStringLiteral("import"), QStringLiteral("新\\组"), later}).status, 0);
    QVERIFY(home.store().execute(QStringLiteral("update wj set bz='changed'")));
    QVERIFY(cli(home.folder(), {QStringLiteral("list"), QStringLiteral("\\")}).out != listed);

    r = cli(home.folder(), {QStringLiteral("restore"), target});
    QCOMPARE(r.status, 0);
    QVERIFY2(r.out.contains(ArchiveCare::RestoreDone), qPrintable(r.out + r.err));
    QCOMPARE(cli(home.folder(), {QStringLiteral("list"), QStringLiteral("\\")}).out, listed);
    QCOMPARE(cli(home.folder(), {QStringLiteral("groups")}).out, groups);
    // Its kept files are those of the backup, each whole.
    r = cli(home.folder(), {QStringLiteral("check")});
    QCOMPARE(r.status, 0);
    QVERIFY2(r.out.contains(QStringLiteral("档案完好")), qPrintable(r.out));
    QTemporaryDir out;
    QCOMPARE(cli(home.folder(), {QStringLiteral("export"), QStringLiteral("合同"), out.path()}).status, 0);
    QCOMPARE(readFile(out.path() + QStringLiteral("/巨.bin")), pattern(300000, 'd'));
}

void CliTest::restoreNeedsABackup()
{
    TestHome home;
    prepare(home);
    QTemporaryDir notABackup;
    put(notABackup.path() + QStringLiteral("/Lf"), QStringLiteral("x.bin"), "x");
    const QString groups = cli(home.folder(), {QStringLiteral("groups")}).out;
    const QStringList dataBefore = QDir(home.folder()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    const Ran r = cli(home.folder(), {QStringLiteral("restore"), notABackup.path()});
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.contains(ArchiveCare::NotABackup), qPrintable(r.err));
    QVERIFY(r.out.isEmpty());
    // The archive in use is as it was, and nothing was left beside it.
    QCOMPARE(cli(home.folder(), {QStringLiteral("groups")}).out, groups);
    QCOMPARE(QDir(home.folder()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), dataBefore);
}

void CliTest::interruptedImportKeepsWhatItCommitted()
{
    TestHome home;
    prepare(home);
    QTemporaryDir src;
    constexpr int Files = 1500;  // each kept, so each committed on its own
    for (int i = 0; i < Files; ++i)
        QVERIFY(!writeFile(src.path(), QStringLiteral("k%1.bin").arg(i, 4, 10, QLatin1Char('0')),
                           pattern(12000, char('a' + i % 20)))
                     .isEmpty());
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.remove(QStringLiteral("KORVANE_PASSWORD"));
    p.setProcessEnvironment(e);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(QStringLiteral(KV_CLI),
            {QStringLiteral("--home"), home.folder(), QStringLiteral("import"), QStringLiteral("合同"), src.path()});
    QVERIFY(p.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(count(home.store(), QStringLiteral("select count(*) from wj")) >= 3, 60000);
    ::kill(pid_t(p.processId()), SIGINT);  // Ctrl-C
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 1);
    QVERIFY(QString::fromUtf8(p.readAllStandardError()).contains(BatchImport::Cancelled));
    const qint64 kept = count(home.store(), QStringLiteral("select count(*) from wj"));
    QVERIFY2(kept >= 3 && kept < Files, qPrintable(QString::number(kept)));
    // What was committed is whole: each record with its kept file, no file without its record.
    QCOMPARE(QDir(StoreFolder(home.context().home).folder()).entryList(QDir::Files).size(), kept);
    const Ran r = cli(home.folder(), {QStringLiteral("check")});
    QCOMPARE(r.status, 0);
}

void CliTest::interruptStopsBetweenItems()
{
    TestHome home;
    QVERIFY(home.isValid());
    Terminal::catchInterrupt();
    std::raise(SIGINT);
    QVERIFY(Terminal::interrupted());
    TerminalProgress progress(QStringLiteral("检查"));
    QVERIFY(progress.cancelled());
    ArchiveCheck checker(home.store(), StoreFolder(home.context().home), home.context().protectedGroups);
    const auto r = checker.run(progress);
    QVERIFY(r.cancelled());
}

KV_REGISTER_TEST(CliTest)
#include "CliTest.moc"
