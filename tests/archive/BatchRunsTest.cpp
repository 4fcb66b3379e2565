#include "common/KillChild.h"
#include "common/TestHome.h"
#include "common/TestInput.h"
#include "common/TestRegistry.h"
#include "archive/BatchExport.h"
#include "archive/BatchImport.h"
#include "archive/BatchModify.h"
#include "archive/GroupTree.h"
#include "archive/Regroup.h"
#include "archive/StoreFolder.h"
#include "platform/FileCopy.h"
#include "platform/Progress.h"
#include "platform/Sha256.h"
#include "store/Dictionary.h"
#include "store/FieldOptions.h"
#include "store/RecordContent.h"
#include "store/SizeText.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using TestInput::pattern;
using TestInput::readFile;
using TestInput::writeFile;
using ImportKind = BatchImport::Outcome::Kind;
using ExportKind = BatchExport::Outcome::Kind;

namespace {

// Stops a run once `after` items are done; may fail the archive's next
// statements there instead.
class StopAfter final : public Progress {
public:
    explicit StopAfter(qint64 after, std::function<void()> atStop = {}) : m_after(after), m_atStop(std::move(atStop)) {}
    void setRange(qint64, qint64) override {}
    void setValue(qint64 v) override
    {
        m_value = v;
        if (v == m_after && m_atStop)
            m_atStop();
    }
    bool cancelled() const override { return !m_atStop && m_value >= m_after; }
    qint64 m_after, m_value = 0;
    std::function<void()> m_atStop;
};

struct Rig {
    TestHome home;
    DataStore& s = home.store();
    StoreFolder folder{home.context().home};
    QTemporaryDir sources;

    Rig()
    {
        GroupTree t(s, home.context().protectedGroups);
        t.load().ok();
        KV_CHECK(t.add(0, QStringLiteral("A")));
        KV_CHECK(t.add(t.findPath(QStringLiteral("A"))->id, QStringLiteral("B")));
        KV_CHECK(t.add(0, QStringLiteral("T")));
        KV_CHECK(t.add(0, QStringLiteral("P")));
        KV_CHECK(t.setPassword(t.findPath(QStringLiteral("P"))->id, {}, QStringLiteral("pw")));
    }
    qint64 count(const QString& sql, const QVariantList& params = {}) { return valueOf(s, sql, params).toLongLong(); }
    QStringList files(int n, const QString& prefix = QStringLiteral("f"), qint64 size = 100)
    {
        QStringList out;
        for (int i = 0; i < n; ++i)
            out << writeFile(sources.path(), QStringLiteral("%1%2.txt").arg(prefix).arg(i),
                             pattern(size, char('a' + i % 20)));
        return out;
    }
    BatchImport importer(qint64 bound = 1 << 20)
    {
        return BatchImport(s, folder, home.context().currentOperator, bound, home.context().protectedGroups);
    }
    BatchImport::Outcome import(const QString& group, const QStringList& files, bool check, qint64 bound = 1 << 20)
    {
        NoProgress p;
        return importer(bound).run(group, files, check, p);
    }
    BatchExport exporter()
    {
        return BatchExport(s, folder, home.context().currentOperator, home.context().protectedGroups);
    }
    Regroup regroup() { return Regroup(s, home.context().currentOperator, home.context().protectedGroups); }
    BatchModify modifier() { return BatchModify(s, home.context().currentOperator, home.context().protectedGroups); }
};

QStringList filesBelow(const QString& folder)
{
    QStringList out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(folder).relativeFilePath(it.next());
    out.sort();
    return out;
}

}  // namespace

class BatchRunsTest : public QObject {
    Q_OBJECT
private slots:
    void importTwiceWithSameNameCheck();
    void importKeepsLargeFilesInStoreFolder();
    void importRecordsEachContentHash();
    void importCancelledKeepsWhatItCommitted();
    void importFailureKeepsEarlierRecords();
    void importRefusesClosedGroup();
    void droppedFoldersBringTheirFiles();
    void killedImportLeavesWholeRecords();
    void exportWithAndWithoutSubfolders_data();
    void exportWithAndWithoutSubfolders();
    void exportNamesStayInsideTheFolder();
    void exportNamesArePortableAndAFailedFileIsSkipped();
    void exportLeavesClosedGroupsOut();
    void exportCancelLeavesNoPartOfAFile();
    void modifyDateAndOptionFields_data();
    void modifyDateAndOptionFields();
    void modifyFailurePartWayChangesNothing();
    void modifyCancelChangesNothing();
    void modifyChoicesOfferOptionsAndValuesInUse();
    void moveRecordsIsAllOrNothing();
    void moveGroupMovesOnlyItsOwnRecords();
};

void BatchRunsTest::importTwiceWithSameNameCheck()
{
    Rig r;
    const QStringList files = r.files(6);
    const BatchImport::Outcome first = r.import(QStringLiteral("A"), files, true);
    QVERIFY2(first.ok(), qPrintable(first.message));
    QCOMPARE(first.imported, 6);
    QCOMPARE(first.sameName, 0);
    QCOMPARE(first.message, QStringLiteral("文件总数:6个,同名文件:0个,成功导入6个, 共: ") + sizeText(600));
    const BatchImport::Outcome second = r.import(QStringLiteral("T"), files, true);
    QVERIFY(second.ok());
    QCOMPARE(second.imported, 0);
    QCOMPARE(second.sameName, 6);
    QCOMPARE(r.count(QStringLiteral("select count(*) from wj")), 6);
    QCOMPARE(r.count(QStringLiteral("select count(distinct bh) from wj")), 6);
    // One log line per record, naming its number, name and group.
    QCOMPARE(r.count(QStringLiteral("select count(*) from rz where nr like '批量增加：%'")), 6);
    QCOMPARE(r.count(QStringLiteral("select count(*) from wj where exists (select 1 from rz where nr = "
                                    "'批量增加：' || wj.bh || ' ' || wj.mc || '.' || wj.lx || '，分组:A')")),
             6);
    QCOMPARE(readFile(files.at(2)),
             RecordContent::read(r.s, r.count(QStringLiteral("select id from wj where mc='f2'"))).value());
    // Without the check, the same files come in again.
    QCOMPARE(r.import(QStringLiteral("T"), files, false).imported, 6);
    QCOMPARE(r.count(QStringLiteral("select count(distinct bh) from wj")), 12);
}

void BatchRunsTest::importKeepsLargeFilesInStoreFolder()
{
    Rig r;
    QStringList files = r.files(3, QStringLiteral("s"), 50);
    files.insert(1, writeFile(r.sources.path(), QStringLiteral("big.bin"), pattern(9000, 'z')));
    const BatchImport::Outcome out = r.import(QStringLiteral("A\\B"), files, false, 4096);
    QVERIFY2(out.ok(), qPrintable(out.message));
    QCOMPARE(out.imported, 4);
    const QString lj = valueOf(r.s, QStringLiteral("select lj from wj where mc='big'")).toString();
    QVERIFY(!lj.isEmpty());
    QCOMPARE(readFile(r.folder.resolve(lj)), pattern(9000, 'z'));
    QCOMPARE(r.count(QStringLiteral("select count(*) from wj where lj=''")), 3);
}

void BatchRunsTest::importRecordsEachContentHash()
{
    Rig r;
    // Held and kept content, an empty file among them.
    QStringList files = r.files(3, QStringLiteral("h"), 700);
    files << writeFile(r.sources.path(), QStringLiteral("k1.bin"), pattern(9000, 'k'))
          << writeFile(r.sources.path(), QStringLiteral("k2.pdf"), pattern(20000, 'q'))
          << writeFile(r.sources.path(), QStringLiteral("e.txt"), QByteArray());
    const BatchImport::Outcome out = r.import(QStringLiteral("A"), files, false, 4096);
    QVERIFY2(out.ok(), qPrintable(out.message));
    QCOMPARE(out.imported, 6);
    QCOMPARE(r.count(QStringLiteral("select count(*) from wj where lj<>''")), 2);
    for (const QString& file : files) {
        const QFileInfo fi(file);
        const QString hash = valueOf(r.s, QStringLiteral("select sha256 from wj where mc=? and lx=?"),
                                     {fi.completeBaseName(), fi.suffix()})
                                 .toString();
        QVERIFY2(hash.size() == 64, qPrintable(fi.fileName()));
        QCOMPARE(hash, Sha256::ofFile(file));
    }
}

void BatchRunsTest::importCancelledKeepsWhatItCommitted()
{
    Rig r;
    StopAfter stop(4);
    BatchImport run = r.importer();
    const BatchImport::Outcome out = run.run(QStringLiteral("A"), r.files(10), false, stop);
    QCOMPARE(out.kind, ImportKind::Cancelled);
    QCOMPARE(out.imported, 4);
    QVERIFY(out.message.startsWith(BatchImport::Cancelled));
    QVERIFY(out.message.contains(QStringLiteral("成功导入4个")));
    QCOMPARE(r.count(QStringLiteral("select count(*) from wj")), 4);
}

void BatchRunsTest::importFailureKeepsEarlierRecords()
{
    Rig r;
    QStringList files = r.files(5);
    files.insert(3, r.sources.filePath(QStringLiteral("gone.txt")));
    const BatchImport::Outcome out = r.import(QStringLiteral("A"), files, false);
    QCOMPARE(out.kind, ImportKind::Failed);
    QVERIFY(out.message.startsWith(BatchImport::InsertFailed));
    QCOMPARE(out.imported, 3);
    QCOMPARE(r.count(QStringLiteral("select count(*) from wj")), 3);
    QCOMPARE(r.count(QStringLiteral("select count(*) from rz where nr like '批量增加：%'")), 3);
}

void BatchRunsTest::importRefusesClosedGroup()
{
    Rig r;
    for (const QString& g : {QStringLiteral("P"), QStringLiteral("nowhere"), QString()}) {
        const BatchImport::Outcome out = r.import(g, r.files(2), false);
        QCOMPARE(out.kind, ImportKind::Failed);
        QVERIFY(out.message.startsWith(BatchImport::NoGroup));
    }
    // Nor is a sub-group made inside one for a dropped folder.
    NoProgress none;
    const QList<BatchImport::Item> below{{r.files(1).first(), QStringLiteral("P\\d")}};
    QVERIFY(!r.importer().run(QStringLiteral("P"), below, false, none).ok());
    QCOMPARE(r.count(QStringLiteral("select count(*) from wjfz where xmmc='d'")), 0);
    QCOMPARE(r.count(QStringLiteral("select count(*) from wj")), 0);
    r.home.context().protectedGroups.open(QStringLiteral("P"));
    QCOMPARE(r.import(QStringLiteral("P"), r.files(2), false).imported, 2);
}

void BatchRunsTest::droppedFoldersBringTheirFiles()
{
    QTemporaryDir d;
    const QString root = d.filePath(QStringLiteral("drop"));
    QVERIFY(QDir().mkpath(root + QStringLiteral("/x/y")));
    writeFile(root, QStringLiteral("a.txt"), "a");
    writeFile(root + QStringLiteral("/x"), QStringLiteral("b.doc"), "b");
    writeFile(root + QStringLiteral("/x/y"), QStringLiteral("c.txt"), "c");
    const QString single = writeFile(d.path(), QStringLiteral("single.txt"), "s");
    QVERIFY(QFile::link(single, root + QStringLiteral("/link.txt")));
    const QStringList all = BatchImport::expand({root, single});
    QCOMPARE(all,
             (QStringList{root + QStringLiteral("/a.txt"), root + QStringLiteral("/x/b.doc"),
                          root + QStringLiteral("/x/y/c.txt"), single}));
    // The allowed types of the archive apply to dropped files too.
    QCOMPARE(BatchImport::expand({root}, QStringLiteral("txt")).size(), 2);
    QCOMPARE(BatchImport::expand({root}, Dictionary::AnyType).size(), 3);
}

void BatchRunsTest::killedImportLeavesWholeRecords()
{
    Rig r;
    const QStringList small = r.files(40, QStringLiteral("k"), 300);
    const QString big =
        writeFile(r.sources.path(), QStringLiteral("big.bin"), pattern(3 * FileCopy::ChunkSize + 7, 'q'));
    QStringList files = small;
    files.insert(13, big);
    files.insert(29, big);
    const QString db = r.home.databasePath();
    const ProgramHome home = r.home.context().home;
    const CurrentOperator op = r.home.context().currentOperator;
    int killed = 0;
    for (int round = 0; round < 12; ++round) {
        r.s.close();
        killed += KillChild::runAndKill(
                      [&] {
                          DataStore child;
                          if (!child.open(db))
                              return;
                          for (;;) {
                              BatchImport run(child, StoreFolder(home), op, 4096, ProtectedGroups());
                              run.setCommitInterval(3);
                              NoProgress p;
                              (void)run.run(QStringLiteral("A"), files, false, p);
                          }
                      },
                      20 + int(QRandomGenerator::global()->bounded(300)))
            ? 1
            : 0;
        QVERIFY(r.s.open(db));
        const QByteArray at = QByteArray::number(round);
        QCOMPARE(valueOf(r.s, QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
        // Numbers are unique and the counter is past every one of them.
        QCOMPARE(r.count(QStringLiteral("select count(*) from (select bh from wj group by bh having count(*)>1)")), 0);
        QVERIFY2(r.count(QStringLiteral("select count(*) from wj where cast(bh as integer) >= "
                                        "(select cast(nr as integer) from zdbh where xm='文件编号')"))
                     == 0,
                 at.constData());
        // Each record has its content and exactly its one log line.
        QCOMPARE(r.count(QStringLiteral("select count(*) from wj where lj='' and dxsz <> "
                                        "coalesce((select length(nr) from wjnr where wjnr.id=wj.id),-1)")),
                 0);
        QCOMPARE(r.count(QStringLiteral("select count(*) from wj where (select count(*) from rz where nr like "
                                        "'批量增加：' || wj.bh || ' %') <> 1")),
                 0);
        QCOMPARE(r.count(QStringLiteral("select count(*) from rz where nr like '批量增加：%'")),
                 r.count(QStringLiteral("select count(*) from wj")));
        // Kept files are whole; the start-up sweep sets aside only files no record names.
        QSet<QString> named;
        RecordSet rs = r.s.query(QStringLiteral("select lj,dxsz from wj where lj<>''"));
        for (; !rs.atEnd(); rs.next()) {
            named.insert(QFileInfo(r.folder.resolve(rs.text(0))).fileName());
            QCOMPARE(QFileInfo(r.folder.resolve(rs.text(0))).size(), rs.number(1));
        }
        rs.close();
        const Result<StoreFolder::Swept> swept = r.folder.sweep(r.s);
        QVERIFY(swept.ok());
        for (const QString& name : swept->quarantined)
            QVERIFY2(!named.contains(name), qPrintable(name));
        const QStringList left = QDir(r.folder.folder()).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(QSet<QString>(left.begin(), left.end()), named);
        if (QTest::currentTestFailed())
            return;
    }
    QCOMPARE(killed, 12);
    QVERIFY(r.count(QStringLiteral("select count(*) from wj")) > 0);
}

void BatchRunsTest::exportWithAndWithoutSubfolders_data()
{
    QTest::addColumn<bool>("subfolders");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("sub-folders") << true
                                 << QStringList{QStringLiteral("A/B/same.txt"), QStringLiteral("A/B/y.txt"),
                                                QStringLiteral("A/same.txt"), QStringLiteral("A/x.txt")};
    // Two records of one name in one folder: the later beside the first.
    QTest::newRow("flat") << false
                          << QStringList{QStringLiteral("same (2).txt"), QStringLiteral("same.txt"),
                                         QStringLiteral("x.txt"), QStringLiteral("y.txt")};
}

void BatchRunsTest::exportWithAndWithoutSubfolders()
{
    QFETCH(bool, subfolders);
    QFETCH(QStringList, expected);
    Rig r;
    QVERIFY(r.import(QStringLiteral("A"),
                     {writeFile(r.sources.path(), QStringLiteral("x.txt"), "x"),
                      writeFile(r.sources.path(), QStringLiteral("same.txt"), "first")},
                     false)
                .ok());
    QDir(r.sources.path()).mkdir(QStringLiteral("2"));
    QVERIFY(r.import(QStringLiteral("A\\B"),
                     {writeFile(r.sources.path(), QStringLiteral("y.txt"), "y"),
                      writeFile(r.sources.filePath(QStringLiteral("2")), QStringLiteral("same.txt"), "later")},
                     false)
                .ok());
    QVERIFY(r.import(QStringLiteral("T"), {writeFile(r.sources.path(), QStringLiteral("t.txt"), "t")}, false).ok());
    QTemporaryDir target;
    NoProgress p;
    const BatchExport::Outcome out = r.exporter().run(QStringLiteral("A"), target.path(), subfolders, p);
    QVERIFY2(out.ok(), qPrintable(out.message + out.detail));
    QCOMPARE(out.written, 4);
    QCOMPARE(out.message, QStringLiteral("4 个文件已成功导出到 ") + target.path());
    QCOMPARE(filesBelow(target.path()), expected);
    if (!subfolders) {
        QCOMPARE(readFile(target.filePath(QStringLiteral("same.txt"))), QByteArray("first"));
        QCOMPARE(readFile(target.filePath(QStringLiteral("same (2).txt"))), QByteArray("later"));
    }
    QCOMPARE(valueOf(r.s, QStringLiteral("select nr from rz where nr like '批量导出：%'")).toString(),
             BatchExport::logText(QStringLiteral("A"), target.path(), 4));
}

void BatchRunsTest::exportNamesStayInsideTheFolder()
{
    Rig r;
    // Names no window would let through, written straight into the rows.
    const QStringList groups = {QStringLiteral("..\\..\\up"), QStringLiteral("A\\..\\.."),
                                QStringLiteral("A\\a/../../b")};
    const QStringList names = {QStringLiteral("../../evil"), QStringLiteral(".."), QStringLiteral("..\\x"),
                               QStringLiteral("a\nb"), QString(300, QChar(0x6587))};
    int n = 0;
    for (const QString& g : groups)
        for (const QString& name : names) {
            QVERIFY(r.s.execute(
                QStringLiteral("insert into wj(bh,mc,fz,lx,dx,dxsz,lj) values (?,?,?,?,'1BYTE',1,'')"),
                {QStringLiteral("%1").arg(++n, 10, 10, QLatin1Char('0')), name, g, QStringLiteral("../t")}));
            QVERIFY(RecordContent::write(r.s, r.s.lastInsertId(), "z").ok());
        }
    QTemporaryDir outer;
    const QString target = outer.filePath(QStringLiteral("in/deeper"));
    QVERIFY(QDir().mkpath(target));
    for (const bool sub : {true, false}) {
        NoProgress p;
        const BatchExport::Outcome out = r.exporter().run(QString(), target, sub, p);
        QVERIFY2(out.ok(), qPrintable(out.message + out.detail));
        QCOMPARE(out.written, n);
        for (const QString& f : filesBelow(outer.path())) {
            QVERIFY2(f.startsWith(QStringLiteral("in/deeper/")), qPrintable(f));
            QVERIFY2(!f.contains(QStringLiteral("..")), qPrintable(f));
        }
    }
    // A link inside the folder that leads out of it refuses the write.
    QTemporaryDir elsewhere;
    QDir(target).removeRecursively();
    QVERIFY(QDir().mkpath(target));
    QVERIFY(QFile::link(elsewhere.path(), target + QStringLiteral("/A")));
    KV_CHECK(r.s.execute(QStringLiteral("delete from wj")));
    QVERIFY(r.import(QStringLiteral("A"), r.files(1), false).ok());
    NoProgress p;
    const BatchExport::Outcome out = r.exporter().run(QStringLiteral("A"), target, true, p);
    QCOMPARE(out.kind, ExportKind::Failed);
    QVERIFY(out.message.startsWith(BatchExport::WriteFailed));
    QVERIFY(filesBelow(elsewhere.path()).isEmpty());
}

void BatchRunsTest::exportNamesArePortableAndAFailedFileIsSkipped()
{
    Rig r;
    // group, name, type; the file of group "B" cannot be written (a file
    // stands where its folder would be).
    const QList<QStringList> rows = {{"A", "a:b", "txt"},    {"A", "CON", "txt"},    {"A", "x. ", ""},
                                     {"B", "b", "txt"},      {"A", "README", "txt"}, {"A", "Readme", "txt"},
                                     {"D:E", "d?*", "txt "}, {"A", "nul.tar", "gz"}};
    int n = 0;
    for (const QStringList& row : rows) {
        QVERIFY(r.s.execute(QStringLiteral("insert into wj(bh,mc,fz,lx,dx,dxsz,lj) values (?,?,?,?,'1BYTE',1,'')"),
                            {QStringLiteral("%1").arg(++n, 10, 10, QLatin1Char('0')), row[1], row[0], row[2]}));
        QVERIFY(RecordContent::write(r.s, r.s.lastInsertId(), "z").ok());
    }
    QTemporaryDir target;
    writeFile(target.path(), QStringLiteral("B"), "in the way");
    NoProgress p;
    const BatchExport::Outcome out = r.exporter().run(QString(), target.path(), true, p);
    QVERIFY2(out.ok(), qPrintable(out.message + out.detail));
    QCOMPARE(out.written, 7);
    QVERIFY(!out.complete());
    QCOMPARE(out.unwritten.size(), qsizetype(1));
    QVERIFY2(out.fullText().contains(QStringLiteral("写入失败，未导出: 0000000004 b.txt")), qPrintable(out.fullText()));
    QCOMPARE(filesBelow(target.path()),
             (QStringList{QStringLiteral("A/README.txt"), QStringLiteral("A/Readme (2).txt"),
                          QStringLiteral("A/_CON.txt"), QStringLiteral("A/_nul.tar.gz"), QStringLiteral("A/a_b.txt"),
                          QStringLiteral("A/x"), QStringLiteral("B"), QStringLiteral("D_E/d__.txt")}));
}

void BatchRunsTest::exportLeavesClosedGroupsOut()
{
    Rig r;
    r.home.context().protectedGroups.open(QStringLiteral("P"));
    QVERIFY(r.import(QStringLiteral("P"), r.files(2, QStringLiteral("p")), false).ok());
    QVERIFY(r.import(QStringLiteral("T"), r.files(1, QStringLiteral("t")), false).ok());
    r.home.context().protectedGroups.close(QStringLiteral("P"));
    QTemporaryDir target;
    NoProgress p;
    const BatchExport::Outcome out = r.exporter().run(QString(), target.path(), true, p);
    QCOMPARE(out.written, 1);
    QCOMPARE(filesBelow(target.path()), QStringList{QStringLiteral("T/t0.txt")});
}

void BatchRunsTest::exportCancelLeavesNoPartOfAFile()
{
    Rig r;
    QVERIFY(r.import(QStringLiteral("T"), r.files(5), false).ok());
    QTemporaryDir target;
    writeFile(target.path(), QStringLiteral("f3.txt"), "old content");
    StopAfter stop(2);
    const BatchExport::Outcome out = r.exporter().run(QStringLiteral("T"), target.path(), false, stop);
    QCOMPARE(out.kind, ExportKind::Cancelled);
    QCOMPARE(out.message, BatchExport::Cancelled);
    QCOMPARE(filesBelow(target.path()),
             (QStringList{QStringLiteral("f0.txt"), QStringLiteral("f1.txt"), QStringLiteral("f3.txt")}));
    QCOMPARE(readFile(target.filePath(QStringLiteral("f3.txt"))), QByteArray("old content"));
    QCOMPARE(valueOf(r.s, QStringLiteral("select nr from rz where nr like '批量导出：%'")).toString(),
             BatchExport::logText(QStringLiteral("T"), target.path(), 2));
}

void BatchRunsTest::modifyDateAndOptionFields_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("value");
    QTest::newRow("option b2") << 7 << QStringLiteral("机密'%_");
    QTest::newRow("date b14") << 19 << QStringLiteral("2026-12-09");
}

void BatchRunsTest::modifyDateAndOptionFields()
{
    QFETCH(int, number);
    QFETCH(QString, value);
    Rig r;
    QVERIFY(
        r.s.execute(QStringLiteral("update lbsz set btm=? where bm='wj' and bh=?"), {QStringLiteral("密级"), number}));
    QVERIFY(r.import(QStringLiteral("T"), r.files(5), false).ok());
    const Result<QList<BatchModify::Field>> fields = BatchModify::fields(r.s);
    QVERIFY(fields.ok());
    QCOMPARE(fields->size(), 15);
    const BatchModify::Field field = fields->at(number - 6);
    QCOMPARE(field.title, QStringLiteral("密级"));
    QCOMPARE(field.isDate(), number >= 18);
    const QList<qint64> ids{1, 3, 4};
    NoProgress p;
    const Result<BatchModify::Changed> done = r.modifier().run(ids, field, value, p);
    QVERIFY2(done.ok(), qPrintable(done.message()));
    QCOMPARE(done->count, 3);
    QCOMPARE(done.message(), QStringLiteral("成功修改了 3 条文件记录!"));
    QCOMPARE(r.count(QStringLiteral("select count(*) from wj where %1=?").arg(field.column), {value}), 3);
    QCOMPARE(r.count(QStringLiteral("select count(*) from wj where %1=''").arg(field.column)), 2);
    QCOMPARE(r.count(QStringLiteral("select count(*) from rz where nr like '修改文件：%' and nr like ?"),
                     {QStringLiteral("%，密级:") + value}),
             3);
}

void BatchRunsTest::modifyFailurePartWayChangesNothing()
{
    Rig r;
    QVERIFY(r.import(QStringLiteral("T"), r.files(6), false).ok());
    const BatchModify::Field field = BatchModify::fields(r.s)->at(0);
    StopAfter failThird(2, [&] { r.s.failNextStatements(1, QStringLiteral("update wj set b1")); });
    const Result<BatchModify::Changed> done =
        r.modifier().run({1, 2, 3, 4, 5, 6}, field, QStringLiteral("v"), failThird);
    QVERIFY(!done.ok());
    QVERIFY(done.message().startsWith(BatchModify::Failed));
    QCOMPARE(r.count(QStringLiteral("select count(*) from wj where b1<>''")), 0);
    QCOMPARE(r.count(QStringLiteral("select count(*) from rz where nr like '修改文件：%'")), 0);
}

void BatchRunsTest::modifyCancelChangesNothing()
{
    Rig r;
    QVERIFY(r.import(QStringLiteral("T"), r.files(6), false).ok());
    StopAfter stop(3);
    const Result<BatchModify::Changed> done =
        r.modifier().run({1, 2, 3, 4, 5, 6}, BatchModify::fields(r.s)->at(0), QStringLiteral("v"), stop);
    QVERIFY(done.cancelled());
    QCOMPARE(done.message(), BatchModify::Cancelled);
    QCOMPARE(r.count(QStringLiteral("select count(*) from wj where b1<>''")), 0);
    NoProgress p;
    QCOMPARE(r.modifier().run({}, BatchModify::fields(r.s)->at(0), QStringLiteral("v"), p).message(),
             BatchModify::NothingSelected);
}

void BatchRunsTest::modifyChoicesOfferOptionsAndValuesInUse()
{
    Rig r;
    QVERIFY(FieldOptions::save(r.s, 6, {QStringLiteral("公开"), QStringLiteral("内部")}));
    r.home.context().protectedGroups.open(QStringLiteral("P"));
    QVERIFY(r.import(QStringLiteral("T"), r.files(2), false).ok());
    QVERIFY(r.import(QStringLiteral("P"), r.files(1, QStringLiteral("p")), false).ok());
    r.home.context().protectedGroups.close(QStringLiteral("P"));
    QVERIFY(r.s.execute(QStringLiteral("update wj set b1='秘密' where fz='T'")));
    QVERIFY(r.s.execute(QStringLiteral("update wj set b1='绝密' where fz='P'")));
    const BatchModify::Field b1 = BatchModify::fields(r.s)->at(0);
    QCOMPARE(BatchModify::choices(r.s, b1, r.home.context().protectedGroups).value(),
             (QStringList{QStringLiteral("公开"), QStringLiteral("内部"), QStringLiteral("秘密")}));
    // The closed group's record is left alone even when named.
    NoProgress p;
    QCOMPARE(r.modifier().run({1, 2, 3}, b1, QStringLiteral("x"), p)->count, 2);
    QCOMPARE(valueOf(r.s, QStringLiteral("select b1 from wj where fz='P'")).toString(), QStringLiteral("绝密"));
}

void BatchRunsTest::moveRecordsIsAllOrNothing()
{
    Rig r;
    QVERIFY(r.import(QStringLiteral("A"), r.files(4), false).ok());
    const Result<Regroup::Moved> moved = r.regroup().moveRecords({1, 3}, QStringLiteral("T"));
    QVERIFY2(moved.ok(), qPrintable(moved.message()));
    QCOMPARE(moved.message(), Regroup::RecordsDone);
    QCOMPARE(r.count(QStringLiteral("select count(*) from wj where fz='T'")), 2);
    const QString bh = valueOf(r.s, QStringLiteral("select bh from wj where id=1")).toString();
    QCOMPARE(r.count(QStringLiteral("select count(*) from rz where nr=?"),
                     {QStringLiteral("修改文件：调整分组") + bh + QStringLiteral(" f0.txt，原分组:A 到 新分组:T")}),
             1);
    // The second record's update fails: the first stays where it was too.
    QVERIFY(r.s.execute(QStringLiteral("create temp trigger refuse4 before update of fz on wj when new.id=4 "
                                       "begin select raise(abort, 'refused'); end")));
    const qint64 before = r.count(QStringLiteral("select count(*) from rz"));
    const Result<Regroup::Moved> failed = r.regroup().moveRecords({2, 4}, QStringLiteral("A\\B"));
    QVERIFY(!failed.ok());
    QVERIFY(failed.message().startsWith(Regroup::RecordsFailed));
    QCOMPARE(r.count(QStringLiteral("select count(*) from wj where fz='A\\B'")), 0);
    QCOMPARE(r.count(QStringLiteral("select count(*) from rz")), before);
    QVERIFY(r.s.execute(QStringLiteral("drop trigger refuse4")));
    // Never into a closed group, nor into one that does not exist.
    QVERIFY(!r.regroup().moveRecords({2}, QStringLiteral("P")).ok());
    QVERIFY(!r.regroup().moveRecords({2}, QStringLiteral("nowhere")).ok());
    QCOMPARE(r.count(QStringLiteral("select count(*) from wj where fz='A'")), 2);
}

void BatchRunsTest::moveGroupMovesOnlyItsOwnRecords()
{
    Rig r;
    QVERIFY(r.import(QStringLiteral("A"), r.files(3), false).ok());
    QVERIFY(r.import(QStringLiteral("A\\B"), r.files(2, QStringLiteral("b")), false).ok());
    const Result<Regroup::Moved> moved = r.regroup().moveGroupFiles(QStringLiteral("A"), QStringLiteral("T"));
    QVERIFY(moved.ok());
    QCOMPARE(moved->count, 3);
    QCOMPARE(moved.message(), QStringLiteral("批量调整完成! 原分组: A 新分组: T"));
    QCOMPARE(r.count(QStringLiteral("select count(*) from wj where fz='T'")), 3);
    QCOMPARE(r.count(QStringLiteral("select count(*) from wj where fz='A\\B'")), 2);
    QCOMPARE(valueOf(r.s, QStringLiteral("select nr from rz order by id desc limit 1")).toString(),
             QStringLiteral("修改文件：批量调整分组，原分组: A 新分组: T"));
    QVERIFY(!r.regroup().moveGroupFiles(QStringLiteral("T"), QStringLiteral("P")).ok());
    QCOMPARE(r.regroup().moveGroupFiles(QStringLiteral("T"), QStringLiteral("P")).message(), Regroup::GroupFailed);
}

KV_REGISTER_TEST(BatchRunsTest)
#include "BatchRunsTest.moc"
