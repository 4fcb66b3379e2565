// Exports that cannot harm the archive nor hand out what is not a record's
// content: targets inside or above the archive's folders are refused,
// damaged records are left out and named, names stay unique in a folder.
#include "archive/BatchExport.h"
#include "archive/ExportGuard.h"
#include "archive/FileOpening.h"
#include "archive/FileRecords.h"
#include "archive/StoreFolder.h"
#include "common/TestHome.h"
#include "common/TestInput.h"
#include "common/TestRegistry.h"
#include "platform/Progress.h"
#include "store/RecordContent.h"

#include <QDir>
#include <QDirIterator>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using TestInput::pattern;
using TestInput::readFile;
using TestInput::writeFile;

namespace {

// Every file below folder with its content, "name=content" for small ones.
QStringList filesBelow(const QString& folder)
{
    QStringList out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QByteArray bytes = readFile(path);
        out << QDir(folder).relativeFilePath(path)
                + (bytes.size() < 16 ? QLatin1Char('=') + QString::fromUtf8(bytes) : QString());
    }
    out.sort();
    return out;
}

struct Archive {
    TestHome home;
    DataStore& s = home.store();
    StoreFolder folder{home.context().home};
    FileRecords records{s, folder, home.context().currentOperator, 4096};
    QTemporaryDir sources, out;

    Archive() { KV_CHECK(s.execute(QStringLiteral("insert into wjfz(id,fxmid,xmmc) values (1,0,'A')"))); }
    qint64 add(const QString& name, const QByteArray& bytes)
    {
        RecordFields f;
        f.name = name;
        f.group = QStringLiteral("A");
        const Result<StoredRecord> r = records.add(f, writeFile(sources.path(), name + QStringLiteral(".bin"), bytes));
        return r ? r->id : -1;
    }
    QString kept(qint64 id)
    {
        return folder.resolve(valueOf(s, QStringLiteral("select lj from wj where id=?"), {id}).toString());
    }
    BatchExport::Outcome exportTo(const QString& target, bool replaceExisting = false)
    {
        BatchExport e(s, folder, home.context().currentOperator, home.context().protectedGroups);
        e.setReplaceExisting(replaceExisting);
        NoProgress p;
        return e.run(QString(), target, false, p);
    }
};

}  // namespace

class ExportSafetyTest : public QObject {
    Q_OBJECT
private slots:
    void exportIntoTheArchiveIsRefused_data();
    void exportIntoTheArchiveIsRefused();
    void damagedRecordsAreLeftOutAndNamed_data();
    void damagedRecordsAreLeftOutAndNamed();
    void namesStayUniqueInTheirFolder_data();
    void namesStayUniqueInTheirFolder();
};

void ExportSafetyTest::exportIntoTheArchiveIsRefused_data()
{
    QTest::addColumn<QString>("target");    // below the program folder; "@" a link to Data beside it
    QTest::addColumn<bool>("fileRefused");  // a file saved into it is refused too
    QTest::newRow("Data") << "Data" << true;
    QTest::newRow("store folder") << "Data/Lf" << true;
    QTest::newRow("quarantine folder") << "Data/Lf.quarantine" << true;
    QTest::newRow("new folder inside Data") << "Data/Lf/new" << true;
    QTest::newRow("link to Data") << "@" << true;
    QTest::newRow("program folder, above Data") << "." << false;
}

void ExportSafetyTest::exportIntoTheArchiveIsRefused()
{
    QFETCH(QString, target);
    QFETCH(bool, fileRefused);
    Archive a;
    const qint64 id = a.add(QStringLiteral("0000000001"), pattern(9000, 'k'));  // named like the kept file
    QVERIFY(id > 0);
    QString path = QDir(a.home.folder()).filePath(target);
    if (target == QLatin1String("@")) {
        path = a.out.filePath(QStringLiteral("link"));
        QVERIFY(QFile::link(QFileInfo(a.home.databasePath()).absolutePath(), path));
    }
    const QString data = QFileInfo(a.home.databasePath()).absolutePath();
    a.s.close();  // the Data folder as it is on disk
    const QStringList before = filesBelow(data);
    const QByteArray database = readFile(a.home.databasePath());
    QVERIFY(a.s.open(a.home.databasePath()));

    for (const bool replace : {false, true}) {
        const BatchExport::Outcome out = a.exportTo(path, replace);
        QCOMPARE(out.kind, BatchExport::Outcome::Kind::Failed);
        QCOMPARE(out.message, ExportGuard::FolderRefused);
        QCOMPARE(out.written, 0);
    }
    a.s.close();
    QCOMPARE(readFile(a.home.databasePath()), database);
    QCOMPARE(filesBelow(data), before);
    QVERIFY(!QFileInfo::exists(data + QStringLiteral("/Lf/new")));
    QVERIFY(a.s.open(a.home.databasePath()));

    // "另存为" of one file: refused inside the archive's folders only.
    const QString file = path + QStringLiteral("/0000000001.bin");
    const Result<StoredRecord> saved = a.records.saveOut(id, file);
    QCOMPARE(saved.ok(), !fileRefused);
    if (fileRefused)
        QCOMPARE(saved.message(), ExportGuard::FileRefused);
    else
        QVERIFY(QFile::remove(file));
    QCOMPARE(readFile(a.kept(id)), pattern(9000, 'k'));
}

void ExportSafetyTest::damagedRecordsAreLeftOutAndNamed_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("reported");
    QTest::newRow("byte flipped in kept file") << "flip"
                                               << "内容损坏";
    QTest::newRow("kept file truncated") << "truncate"
                                         << "大小不符";
    QTest::newRow("kept file a link to /etc/passwd") << "link" << ExportedContent::KeptFileIsLink;
    QTest::newRow("kept file a pipe") << "fifo" << ExportedContent::KeptFileNotRegular;
    QTest::newRow("held content changed") << "held"
                                          << "内容损坏";
}

void ExportSafetyTest::damagedRecordsAreLeftOutAndNamed()
{
    QFETCH(QString, damage);
    QFETCH(QString, reported);
    Archive a;
    const qint64 good = a.add(QStringLiteral("good"), pattern(9000, 'g'));
    const qint64 bad = a.add(QStringLiteral("bad"), pattern(damage == QLatin1String("held") ? 300 : 9000, 'b'));
    const QString kept = a.kept(bad);
    if (damage == QLatin1String("flip")) {
        QByteArray bytes = readFile(kept);
        bytes[4500] = char(bytes[4500] ^ 1);
        QVERIFY(!writeFile(kept, bytes).isEmpty());
    } else if (damage == QLatin1String("truncate")) {
        QVERIFY(QFile::resize(kept, 100));
    } else if (damage == QLatin1String("link")) {
        QVERIFY(QFile::remove(kept) && QFile::link(QStringLiteral("/etc/passwd"), kept));
    } else if (damage == QLatin1String("fifo")) {
        QVERIFY(QFile::remove(kept) && ::mkfifo(QFile::encodeName(kept).constData(), 0600) == 0);
    } else {
        QVERIFY(a.s.execute(QStringLiteral("update wjnr set nr=? where id=?"), {pattern(300, 'c'), bad}));
    }
    const QString details = QStringLiteral("0000000002 bad.bin");

    const BatchExport::Outcome out = a.exportTo(a.out.path());
    QVERIFY2(out.ok(), qPrintable(out.message + out.detail));
    QCOMPARE(out.written, 1);
    QCOMPARE(out.damaged.size(), 1);
    QCOMPARE(out.damaged.first().text(), ExportedContent::damagedText(details, reported));
    QCOMPARE(filesBelow(a.out.path()), QStringList{QStringLiteral("good.bin")});
    QCOMPARE(readFile(a.out.filePath(QStringLiteral("good.bin"))), pattern(9000, 'g'));
    QCOMPARE(valueOf(a.s, QStringLiteral("select nr from rz where nr like '批量导出：%'")).toString(),
             BatchExport::logText(QString(), a.out.path(), 1, 1));

    // One record out at a time: refused with what is wrong, nothing written.
    const Result<StoredRecord> saved = a.records.saveOut(bad, a.out.filePath(QStringLiteral("one.bin")));
    QCOMPARE(saved.message(), ExportedContent::damagedText(details, reported));
    FileOpening opening(a.s, a.folder, a.home.context().currentOperator, a.home.context().protectedGroups,
                        a.out.filePath(QStringLiteral("open")));
    const Result<QString> extracted = opening.extract(*opening.find(bad));
    QCOMPARE(extracted.message(), ExportedContent::damagedText(details, reported));
    QCOMPARE(filesBelow(a.out.path()), QStringList{QStringLiteral("good.bin")});
    QVERIFY(a.records.saveOut(good, a.out.filePath(QStringLiteral("one.bin"))).ok());
}

void ExportSafetyTest::namesStayUniqueInTheirFolder_data()
{
    QTest::addColumn<QStringList>("names");   // records, in order; their content is r1, r2 …
    QTest::addColumn<QStringList>("before");  // files in the folder before the run ("old")
    QTest::addColumn<bool>("replace");        // the window's run
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("case") << QStringList{"README", "Readme", "readme"} << QStringList() << false
                          << QStringList{"README.txt=r1", "Readme (2).txt=r2", "readme (3).txt=r3"};
    QTest::newRow("control characters, blanks, separators")
        << QStringList{"a\x01"
                       "b",
                       "a\x02"
                       "b",
                       "a\\b ", " a/b"}
        << QStringList() << false << QStringList{"a_b (2).txt=r2", "a_b (3).txt=r3", "a_b (4).txt=r4", "a_b.txt=r1"};
    QTest::newRow("command line: a file there stays")
        << QStringList{"README", "README"} << QStringList{"readme.TXT"} << false
        << QStringList{"README (2).txt=r1", "README (3).txt=r2", "readme.TXT=old"};
    QTest::newRow("window: a file there is replaced, not one the run wrote")
        << QStringList{"README", "readme"} << QStringList{"README.txt"} << true
        << QStringList{"README.txt=r1", "readme (2).txt=r2"};
}

void ExportSafetyTest::namesStayUniqueInTheirFolder()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, before);
    QFETCH(bool, replace);
    QFETCH(QStringList, expected);
    Archive a;
    for (int i = 0; i < names.size(); ++i) {
        const QByteArray bytes = QStringLiteral("r%1").arg(i + 1).toUtf8();
        QVERIFY(a.s.execute(QStringLiteral("insert into wj(bh,mc,fz,lx,dxsz) values (?,?,'A','txt',?)"),
                            {QStringLiteral("%1").arg(i + 1, 10, 10, QLatin1Char('0')), names.at(i), bytes.size()}));
        QVERIFY(RecordContent::write(a.s, a.s.lastInsertId(), bytes).ok());
    }
    for (const QString& b : before)
        writeFile(a.out.path(), b, "old");
    const BatchExport::Outcome out = a.exportTo(a.out.path(), replace);
    QVERIFY2(out.ok(), qPrintable(out.message + out.detail));
    QCOMPARE(filesBelow(a.out.path()), expected);
    QCOMPARE(out.written, int(names.size()));
    QCOMPARE(out.message, BatchExport::doneText(int(names.size()), a.out.path()));
}

KV_REGISTER_TEST(ExportSafetyTest)
#include "ExportSafetyTest.moc"
