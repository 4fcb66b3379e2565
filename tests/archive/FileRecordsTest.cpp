#include "archive/ExportGuard.h"
#include "archive/FileRecords.h"
#include "archive/ProtectedGroups.h"
#include "archive/StoreFolder.h"
#include "common/TestHome.h"
#include "common/TestRegistry.h"
#include "platform/Clock.h"
#include "platform/FileCopy.h"
#include "platform/Progress.h"
#include "store/DataStore.h"
#include "store/Dictionary.h"
#include "store/SizeText.h"
#include "common/TestInput.h"

using TestInput::pattern;
using TestInput::readFile;

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using TestInput::writeFile;

namespace {

// Every entry of the store folder, hidden ones (staged or partial files) included.
QStringList folderEntries(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::Dirs | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

class CancelAfter final : public Progress {
public:
    explicit CancelAfter(qint64 bytes) : m_limit(bytes) {}
    void setRange(qint64, qint64 max) override { m_max = max; }
    void setValue(qint64 v) override
    {
        m_value = v;
        ++m_calls;
    }
    bool cancelled() const override { return m_value >= m_limit; }
    qint64 m_limit, m_max = 0, m_value = 0;
    int m_calls = 0;
};

void addGroup(DataStore& s, const QString& name, qint64 parent = 0)
{
    QVERIFY(s.execute(QStringLiteral("insert into wjfz(fxmid,xmmc,tpid,xztp,mm) values (?,?,0,0,'')"), {parent, name}));
}

qint64 count(DataStore& s, const QString& sql, const QVariantList& params = {})
{
    return valueOf(s, sql, params).toLongLong();
}

}  // namespace

class FileRecordsTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void sizeText_data();
    void sizeText();
    void splitFileName_data();
    void splitFileName();

    void uniqueNamesNeverOverwrite();
    void storedPathIsRelativeAndResolves();
    void removeLeavesFilesOutsideAlone();
    void copyIsChunkedAndCancelLeavesNothing();
    void copyNeverReplacesUnlessAllowed();

    void addKeepsSmallContentInDatabase();
    void addStreamsLargeContentToStoreFolder();
    void addEmptyFileAndOddName();
    void cancelledAddLeavesNothing();
    void leftoverInStoreFolderIsKept();
    void addRefusesNameAndGroup();
    void addFailures_data();
    void addFailures();
    void failedLogWriteKeepsRecord();
    void sameNameRecordsBothIntact();
    void xhFollowsLastInserted();

    void modifyKeepsThenReplacesContent();
    void modifyFailureLeavesOldContent();
    void deleteMovesRecordIntoTrash();
    void deleteRefusesRecordWithoutNumber();
    void saveOutWritesStoredBytes();
    void saveOutNeverOverwritesTheArchive();
    void sharedKeptFileOutlivesOneRecord();
    void propertiesLeaveOutUntitledFields();

private:
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<QTemporaryDir> m_src;
    std::unique_ptr<FileRecords> m_records;
    FixedClock m_clock{QDateTime(QDate(2026, 3, 4), QTime(9, 30, 15))};

    RecordFields fields(const QString& name, const QString& group = QStringLiteral("合同")) const
    {
        RecordFields f;
        f.name = name;
        f.group = group;
        f.spare[0] = QStringLiteral("甲方");
        f.spare[14] = QStringLiteral("2026-03-04");
        f.remark = QStringLiteral("备注 'x'");
        return f;
    }
    QString store() const { return m_home->context().home.storeFolder(); }
};

void FileRecordsTest::init()
{
    setAppClock(&m_clock);
    m_home = std::make_unique<TestHome>();
    QVERIFY(m_home->isValid());
    m_src = std::make_unique<QTemporaryDir>();
    addGroup(m_home->store(), QStringLiteral("合同"));
    addGroup(m_home->store(), QStringLiteral("2026"), 1);
    // 4 KiB: anything of 4096 bytes or more goes to the store folder.
    m_records = std::make_unique<FileRecords>(m_home->store(), StoreFolder(m_home->context().home),
                                              m_home->context().currentOperator, 4096);
}

void FileRecordsTest::cleanup()
{
    m_records.reset();
    m_home.reset();
    m_src.reset();
    setAppClock(nullptr);
}

void FileRecordsTest::sizeText_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << qint64(0) << QStringLiteral("0BYTE");
    QTest::newRow("1023") << qint64(1023) << QStringLiteral("1023BYTE");
    QTest::newRow("1024") << qint64(1024) << QStringLiteral("1.00KB");
    QTest::newRow("1.5K") << qint64(1536) << QStringLiteral("1.50KB");
    QTest::newRow("1M-1") << qint64(1024 * 1024 - 1) << QStringLiteral("1023.99KB");
    QTest::newRow("1M") << qint64(1024 * 1024) << QStringLiteral("1.00MB");
    QTest::newRow("200M") << qint64(200) * 1024 * 1024 << QStringLiteral("200.00MB");
    QTest::newRow("5G+") << qint64(5) * 1024 * 1024 * 1024 + 1 << QStringLiteral("5120.00MB");
}

void FileRecordsTest::sizeText()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, text);
    QCOMPARE(::sizeText(bytes), text);
}

void FileRecordsTest::splitFileName_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("type");
    QTest::newRow("plain") << QStringLiteral("/x/报告.pdf") << QStringLiteral("报告") << QStringLiteral("pdf");
    QTest::newRow("dots blanks quotes") << QStringLiteral("/x/my 'q' \"v\" 1.2.tar.gz")
                                        << QStringLiteral("my 'q' \"v\" 1.2.tar") << QStringLiteral("gz");
    QTest::newRow("no type") << QStringLiteral("/x/README") << QStringLiteral("README") << QString();
    QTest::newRow("hidden") << QStringLiteral("/x/.profile") << QStringLiteral(".profile") << QString();
}

void FileRecordsTest::splitFileName()
{
    QFETCH(QString, file);
    QFETCH(QString, name);
    QFETCH(QString, type);
    const auto parts = FileRecords::splitFileName(file);
    QCOMPARE(parts.first, name);
    QCOMPARE(parts.second, type);
}

void FileRecordsTest::uniqueNamesNeverOverwrite()
{
    const StoreFolder folder(m_home->context().home);
    QCOMPARE(folder.uniqueName(QStringLiteral("0000000042"), QStringLiteral("pdf")).value(),
             QStringLiteral("0000000042.pdf"));
    QVERIFY(!writeFile(store(), QStringLiteral("0000000042.pdf"), "leftover").isEmpty());
    QCOMPARE(folder.uniqueName(QStringLiteral("0000000042"), QStringLiteral("pdf")).value(),
             QStringLiteral("0000000042-1.pdf"));
    // A name some record refers to is skipped as well.
    QCOMPARE(folder
                 .uniqueName(QStringLiteral("0000000042"), QStringLiteral("pdf"),
                             [](const QString& n) { return n == QStringLiteral("0000000042-1.pdf"); })
                 .value(),
             QStringLiteral("0000000042-2.pdf"));
    // Separators in a type cannot reach outside the folder.
    QVERIFY(!folder.uniqueName(QStringLiteral("1"), QStringLiteral("../x")).value().contains(QLatin1Char('/')));

    const QString src = writeFile(m_src->path(), QStringLiteral("new.pdf"), "fresh");
    const StoreFolder::Stored s = folder.store(src, QStringLiteral("0000000042"), QStringLiteral("pdf"));
    QVERIFY2(s.ok, qPrintable(s.error));
    QCOMPARE(s.name, QStringLiteral("0000000042-1.pdf"));
    QCOMPARE(readFile(QDir(store()).filePath(QStringLiteral("0000000042.pdf"))), QByteArray("leftover"));
    QCOMPARE(readFile(s.absolutePath), QByteArray("fresh"));
    QCOMPARE(folderEntries(store()),
             (QStringList{QStringLiteral("0000000042-1.pdf"), QStringLiteral("0000000042.pdf")}));
}

void FileRecordsTest::storedPathIsRelativeAndResolves()
{
    const StoreFolder folder(m_home->context().home);
    QCOMPARE(folder.storedPath(QStringLiteral("0000000001.doc")), QStringLiteral("Data/Lf/0000000001.doc"));
    const QString abs = QDir(store()).filePath(QStringLiteral("0000000001.doc"));
    QCOMPARE(folder.resolve(QStringLiteral("Data/Lf/0000000001.doc")), abs);
    QCOMPARE(folder.resolve(QStringLiteral("\\Data\\Lf\\0000000001.doc")), abs);
    QCOMPARE(folder.resolve(abs), abs);
    QCOMPARE(folder.resolve(QString()), QString());
    // An absolute path of the archive's former place finds the file here.
    QVERIFY(!writeFile(store(), QStringLiteral("0000000001.doc"), "x").isEmpty());
    QCOMPARE(folder.resolve(QStringLiteral("D:\\Korvane\\Data\\Lf\\0000000001.doc")), abs);
    QCOMPARE(folder.resolve(QStringLiteral("/old/place/Data/Lf/0000000001.doc")), abs);

    // The archive survives a move of its program folder.
    QTemporaryDir moved;
    const QString newHome = moved.path() + QStringLiteral("/home");
    QVERIFY(QDir().rename(m_home->folder(), newHome));
    const StoreFolder there{ProgramHome(newHome)};
    QCOMPARE(readFile(there.resolve(folder.storedPath(QStringLiteral("0000000001.doc")))), QByteArray("x"));
    QVERIFY(QDir().rename(newHome, m_home->folder()));
}

void FileRecordsTest::removeLeavesFilesOutsideAlone()
{
    const StoreFolder folder(m_home->context().home);
    const QString outside = writeFile(m_src->path(), QStringLiteral("mine.txt"), "keep");
    QVERIFY(folder.remove(outside));
    QVERIFY(QFile::exists(outside));
    QVERIFY(folder.remove(QStringLiteral("Data/Lf/../../../mine.txt")));
    QVERIFY(folder.remove(QStringLiteral("Data/files.dat")));
    QVERIFY(QFile::exists(m_home->databasePath()));
    // Gone already counts as removed.
    QVERIFY(folder.remove(QStringLiteral("Data/Lf/none.pdf")));
    const QString inside = writeFile(store(), QStringLiteral("0000000009.pdf"), "x");
    QVERIFY(folder.remove(QStringLiteral("Data/Lf/0000000009.pdf")));
    QVERIFY(!QFile::exists(inside));
}

void FileRecordsTest::copyIsChunkedAndCancelLeavesNothing()
{
    const QByteArray big = pattern(FileCopy::ChunkSize * 3 + 17);
    const QString src = writeFile(m_src->path(), QStringLiteral("big.bin"), big);
    const QString target = QDir(store()).filePath(QStringLiteral("out.bin"));

    CancelAfter never(big.size() + 1);
    FileCopy::Result r = FileCopy::copy(src, target, FileCopy::Replace::Never, &never);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.bytes, qint64(big.size()));
    QCOMPARE(never.m_max, qint64(big.size()));
    QVERIFY(never.m_calls >= 4);  // progress between chunks
    QCOMPARE(readFile(target), big);
    QVERIFY(QFile::remove(target));

    CancelAfter cancel(FileCopy::ChunkSize);
    r = FileCopy::copy(src, target, FileCopy::Replace::Never, &cancel);
    QVERIFY(!r.ok);
    QVERIFY(r.cancelled);
    QVERIFY(folderEntries(store()).isEmpty());

    // A source that cannot be read leaves nothing either.
    r = FileCopy::copy(m_src->path() + QStringLiteral("/missing"), target);
    QVERIFY(!r.ok);
    QVERIFY(folderEntries(store()).isEmpty());
}

void FileRecordsTest::copyNeverReplacesUnlessAllowed()
{
    const QString src = writeFile(m_src->path(), QStringLiteral("a.txt"), "new");
    const QString target = writeFile(store(), QStringLiteral("t.txt"), "old");
    QVERIFY(!FileCopy::copy(src, target).ok);
    QCOMPARE(readFile(target), QByteArray("old"));
    QVERIFY(FileCopy::copy(src, target, FileCopy::Replace::Allowed).ok);
    QCOMPARE(readFile(target), QByteArray("new"));
    QCOMPARE(folderEntries(store()), QStringList{QStringLiteral("t.txt")});
}

void FileRecordsTest::addKeepsSmallContentInDatabase()
{
    DataStore& s = m_home->store();
    const QByteArray bytes = pattern(4095);
    const QString src = writeFile(m_src->path(), QStringLiteral("合同.docx"), bytes);
    const Result<StoredRecord> r = m_records->add(fields(QStringLiteral("合同")), src);
    QVERIFY2(r.ok(), qPrintable(r.message() + r.detail()));
    QCOMPARE(r->number, QStringLiteral("0000000001"));
    QCOMPARE(r.message(), QStringLiteral("0000000001 合同.docx 保存成功!"));

    RecordSet rs = s.query(QStringLiteral("select xh,bh,mc,fz,lx,dx,dxsz,b1,b15,scr,scsj,bz,lj,(select nr from wjnr "
                                          "where wjnr.id=wj.id),xgr from wj where id=?"),
                           {r->id});
    QVERIFY(!rs.atEnd());
    QCOMPARE(rs.number(0), qint64(1));
    QCOMPARE(rs.text(1), QStringLiteral("0000000001"));
    QCOMPARE(rs.text(2), QStringLiteral("合同"));
    QCOMPARE(rs.text(3), QStringLiteral("合同"));
    QCOMPARE(rs.text(4), QStringLiteral("docx"));
    QCOMPARE(rs.text(5), QStringLiteral("3.99KB"));
    QCOMPARE(rs.number(6), qint64(4095));
    QCOMPARE(rs.text(7), QStringLiteral("甲方"));
    QCOMPARE(rs.text(8), QStringLiteral("2026-03-04"));
    QCOMPARE(rs.text(9), QStringLiteral("Admin"));
    QCOMPARE(rs.text(10), QStringLiteral("2026-03-04 09:30:15"));
    QCOMPARE(rs.text(11), QStringLiteral("备注 'x'"));
    QCOMPARE(rs.text(12), QString());
    QCOMPARE(rs.bytes(13), bytes);
    QCOMPARE(rs.text(14), QString());
    rs.close();
    QVERIFY(folderEntries(store()).isEmpty());
    QCOMPARE(Dictionary::read(s, Dictionary::FileNumber).value(), QStringLiteral("2"));
    QCOMPARE(count(s, QStringLiteral("select count(*) from rz where nr=? and czy='Admin' and sj=?"),
                   {QStringLiteral("增加文件：0000000001 合同.docx"), QStringLiteral("2026-03-04 09:30:15")}),
             qint64(1));
}

void FileRecordsTest::addStreamsLargeContentToStoreFolder()
{
    DataStore& s = m_home->store();
    const QByteArray bytes = pattern(FileCopy::ChunkSize * 2 + 5, 'z');
    const QString src = writeFile(m_src->path(), QStringLiteral("scan.pdf"), bytes);
    CancelAfter progress(bytes.size() + 1);
    const Result<StoredRecord> r = m_records->add(fields(QStringLiteral("scan")), src, &progress);
    QVERIFY2(r.ok(), qPrintable(r.message() + r.detail()));
    QVERIFY(progress.m_calls >= 3);

    RecordSet rs = s.query(
        QStringLiteral(
            "select lj,coalesce(length((select nr from wjnr where wjnr.id=wj.id)),0),dxsz,dx from wj where id=?"),
        {r->id});
    QCOMPARE(rs.text(0), QStringLiteral("Data/Lf/0000000001.pdf"));
    QCOMPARE(rs.number(1), qint64(0));
    QCOMPARE(rs.number(2), qint64(bytes.size()));
    QCOMPARE(rs.text(3), QStringLiteral("2.00MB"));
    rs.close();
    // Only the record's file is left in the folder: no staged or partial file.
    QCOMPARE(folderEntries(store()), QStringList{QStringLiteral("0000000001.pdf")});
    QCOMPARE(readFile(QDir(store()).filePath(QStringLiteral("0000000001.pdf"))), bytes);
    QCOMPARE(readFile(src), bytes);

    // Exactly at the bound goes outside; one byte below stays inside.
    const QString atBound = writeFile(m_src->path(), QStringLiteral("b.bin"), pattern(4096));
    const Result<StoredRecord> r2 = m_records->add(fields(QStringLiteral("b")), atBound);
    QVERIFY(r2.ok());
    QCOMPARE(valueOf(s, QStringLiteral("select lj from wj where id=?"), {r2->id}).toString(),
             QStringLiteral("Data/Lf/0000000002.bin"));
}

void FileRecordsTest::addEmptyFileAndOddName()
{
    DataStore& s = m_home->store();
    const QString empty = writeFile(m_src->path(), QStringLiteral("empty.txt"), QByteArray());
    Result<StoredRecord> r = m_records->add(fields(QStringLiteral("empty")), empty);
    QVERIFY2(r.ok(), qPrintable(r.message() + r.detail()));
    QCOMPARE(count(s,
                   QStringLiteral("select count(*) from wj join wjnr using (id) where wj.id=? and wj.wj is null"
                                  " and wjnr.nr is not null and length(wjnr.nr)=0 and dx='0BYTE' and lj=''"),
                   {r->id}),
             qint64(1));

    const QString oddName = QStringLiteral("O'Brien \"final\" v1.2.3.tar.gz");
    const QByteArray big = pattern(9000);
    const QString odd = writeFile(m_src->path(), oddName, big);
    const auto [name, type] = FileRecords::splitFileName(odd);
    RecordFields f = fields(name, QStringLiteral("合同\\2026"));
    r = m_records->add(f, odd);
    QVERIFY2(r.ok(), qPrintable(r.message() + r.detail()));
    RecordSet rs = s.query(QStringLiteral("select mc,lx,fz,lj from wj where id=?"), {r->id});
    QCOMPARE(rs.text(0), QStringLiteral("O'Brien \"final\" v1.2.3.tar"));
    QCOMPARE(rs.text(1), QStringLiteral("gz"));
    QCOMPARE(rs.text(2), QStringLiteral("合同\\2026"));
    QCOMPARE(rs.text(3), QStringLiteral("Data/Lf/0000000002.gz"));
    rs.close();
    const QString out = m_src->path() + QStringLiteral("/out ' \" .tar.gz");
    QVERIFY(m_records->saveOut(r->id, out).ok());
    QCOMPARE(readFile(out), big);
}

void FileRecordsTest::cancelledAddLeavesNothing()
{
    DataStore& s = m_home->store();
    const QString src = writeFile(m_src->path(), QStringLiteral("big.bin"), pattern(FileCopy::ChunkSize * 3));
    CancelAfter cancel(FileCopy::ChunkSize);
    const Result<StoredRecord> r = m_records->add(fields(QStringLiteral("big")), src, &cancel);
    QVERIFY(!r.ok());
    QVERIFY(r.cancelled());
    QCOMPARE(r.message(), QStringLiteral("上传文件取消!"));
    QCOMPARE(count(s, QStringLiteral("select count(*) from wj")), qint64(0));
    QVERIFY(folderEntries(store()).isEmpty());
    QCOMPARE(Dictionary::read(s, Dictionary::FileNumber).value(), QStringLiteral("1"));
}

void FileRecordsTest::leftoverInStoreFolderIsKept()
{
    // A file left in the store folder under the next record's name (e.g.
    // after restoring an older database) is neither overwritten nor adopted.
    DataStore& s = m_home->store();
    const QString leftover = writeFile(store(), QStringLiteral("0000000001.pdf"), "older archive");
    const QByteArray bytes = pattern(9000, 'l');
    const Result<StoredRecord> r =
        m_records->add(fields(QStringLiteral("l")), writeFile(m_src->path(), QStringLiteral("l.pdf"), bytes));
    QVERIFY(r.ok());
    QCOMPARE(valueOf(s, QStringLiteral("select lj from wj where id=?"), {r->id}).toString(),
             QStringLiteral("Data/Lf/0000000001-1.pdf"));
    QCOMPARE(readFile(leftover), QByteArray("older archive"));
    // Deleted, the record's file stays for the trash.
    QVERIFY(m_records->remove(r->id).ok());
    QCOMPARE(folderEntries(store()),
             (QStringList{QStringLiteral("0000000001-1.pdf"), QStringLiteral("0000000001.pdf")}));
}

void FileRecordsTest::addRefusesNameAndGroup()
{
    DataStore& s = m_home->store();
    const QString src = writeFile(m_src->path(), QStringLiteral("a.txt"), "a");
    QCOMPARE(m_records->add(fields(QStringLiteral("  ")), src).message(), FileRecords::EmptyName);
    QCOMPARE(m_records->add(fields(QStringLiteral("a"), QString()), src).message(), FileRecords::NoGroup);
    QCOMPARE(m_records->add(fields(QStringLiteral("a"), QStringLiteral("无此分组")), src).message(),
             FileRecords::NoGroup);
    // "合" is a prefix of a group's name, not a group.
    QCOMPARE(m_records->add(fields(QStringLiteral("a"), QStringLiteral("合")), src).message(), FileRecords::NoGroup);
    QCOMPARE(m_records->add(fields(QStringLiteral("a")), QString()).message(), FileRecords::PrepareFailed);
    QCOMPARE(count(s, QStringLiteral("select count(*) from wj")), qint64(0));
    QCOMPARE(Dictionary::read(s, Dictionary::FileNumber).value(), QStringLiteral("1"));
}

void FileRecordsTest::addFailures_data()
{
    QTest::addColumn<QString>("failing");   // statement text to fail
    QTest::addColumn<bool>("blockFolder");  // a file where the store folder should be
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("message");
    QTest::newRow("folder cannot be created") << QString() << true << 9000 << FileRecords::FolderFailed;
    QTest::newRow("insert fails, database")
        << QStringLiteral("insert into wj") << false << 100 << FileRecords::InsertFailed;
    QTest::newRow("insert fails, store folder")
        << QStringLiteral("insert into wj") << false << 9000 << FileRecords::InsertFailed;
    QTest::newRow("numbering read fails")
        << QStringLiteral("select nr from zdbh") << false << 9000 << FileRecords::NumberingFailed;
    QTest::newRow("counter update fails")
        << QStringLiteral("update zdbh") << false << 9000 << FileRecords::NumberingFailed;
    QTest::newRow("commit fails") << QStringLiteral("COMMIT") << false << 9000 << FileRecords::InsertFailed;
    // The list position follows the last record: one that cannot be read is
    // no first position.
    QTest::newRow("position read fails, database")
        << QStringLiteral("select xh from wj") << false << 100 << FileRecords::InsertFailed;
    QTest::newRow("position read fails, store folder")
        << QStringLiteral("select xh from wj") << false << 9000 << FileRecords::InsertFailed;
}

void FileRecordsTest::addFailures()
{
    QFETCH(QString, failing);
    QFETCH(bool, blockFolder);
    QFETCH(int, size);
    QFETCH(QString, message);
    DataStore& s = m_home->store();
    if (blockFolder) {
        QVERIFY(QDir(store()).removeRecursively());
        QVERIFY(!writeFile(m_home->context().home.dataFolder(), QStringLiteral("Lf"), "not a folder").isEmpty());
    }
    const QString src = writeFile(m_src->path(), QStringLiteral("f.bin"), pattern(size));
    if (!failing.isEmpty())
        s.failNextStatements(1, failing);
    const Result<StoredRecord> r = m_records->add(fields(QStringLiteral("f")), src);
    QVERIFY(!r.ok());
    QCOMPARE(r.message(), message);

    // No trace: no row, the counter unchanged, nothing in the store folder, no log line.
    QCOMPARE(count(s, QStringLiteral("select count(*) from wj")), qint64(0));
    QCOMPARE(Dictionary::read(s, Dictionary::FileNumber).value(), QStringLiteral("1"));
    QCOMPARE(count(s, QStringLiteral("select count(*) from rz")), qint64(0));
    if (!blockFolder)
        QCOMPARE(folderEntries(store()), QStringList());
    QCOMPARE(readFile(src), pattern(size));

    // The next add succeeds and takes the number the failed one would have had.
    if (blockFolder) {
        QVERIFY(QFile::remove(store()));
        QVERIFY(QDir().mkpath(store()));
    }
    const Result<StoredRecord> again = m_records->add(fields(QStringLiteral("f")), src);
    QVERIFY2(again.ok(), qPrintable(again.message() + again.detail()));
    QCOMPARE(again->number, QStringLiteral("0000000001"));
}

void FileRecordsTest::failedLogWriteKeepsRecord()
{
    DataStore& s = m_home->store();
    const QString src = writeFile(m_src->path(), QStringLiteral("a.txt"), "a");
    s.failNextStatements(1, QStringLiteral("insert into rz"));
    const Result<StoredRecord> r = m_records->add(fields(QStringLiteral("a")), src);
    QVERIFY(r.ok());
    QVERIFY(r->logFailed);
    QCOMPARE(count(s, QStringLiteral("select count(*) from wj")), qint64(1));
    QCOMPARE(count(s, QStringLiteral("select count(*) from rz")), qint64(0));
}

void FileRecordsTest::sameNameRecordsBothIntact()
{
    DataStore& s = m_home->store();
    const QString a = writeFile(m_src->path(), QStringLiteral("报告.pdf"), pattern(9000, 'a'));
    const Result<StoredRecord> first = m_records->add(fields(QStringLiteral("报告")), a);
    QVERIFY(first.ok());
    const ProtectedGroups open;
    QVERIFY(m_records->sameName(QStringLiteral("报告"), QStringLiteral("doc"), open).value().isEmpty());
    const QList<FileRecords::SameName> same =
        m_records->sameName(QStringLiteral("报告"), QStringLiteral("pdf"), open).value();
    QCOMPARE(same.size(), 1);
    QCOMPARE(FileRecords::sameNameQuestion(same.first()),
             QStringLiteral(
                 "系统中存在重名文件! 是否继续?\r\n0000000001 报告.pdf 所属分组:\\合同 上传时间:2026-03-04 09:30:15"));

    // A different file of the same name: a second record with a file of its own.
    const QString b = writeFile(m_src->path() + QStringLiteral("/"), QStringLiteral("报告2.pdf"), pattern(9000, 'b'));
    const Result<StoredRecord> second = m_records->add(fields(QStringLiteral("报告")), b);
    QVERIFY(second.ok());
    QCOMPARE(count(s, QStringLiteral("select count(*) from wj where mc='报告'")), qint64(2));
    QVERIFY(m_records->saveOut(first->id, m_src->path() + QStringLiteral("/1.pdf")).ok());
    QVERIFY(m_records->saveOut(second->id, m_src->path() + QStringLiteral("/2.pdf")).ok());
    QCOMPARE(readFile(m_src->path() + QStringLiteral("/1.pdf")), pattern(9000, 'a'));
    QCOMPARE(readFile(m_src->path() + QStringLiteral("/2.pdf")), pattern(9000, 'b'));
}

void FileRecordsTest::xhFollowsLastInserted()
{
    DataStore& s = m_home->store();
    const QString src = writeFile(m_src->path(), QStringLiteral("a.txt"), "a");
    const Result<StoredRecord> r1 = m_records->add(fields(QStringLiteral("a")), src);
    QVERIFY(s.execute(QStringLiteral("update wj set xh=40 where id=?"), {r1->id}));
    const Result<StoredRecord> r2 = m_records->add(fields(QStringLiteral("b")), src);
    QCOMPARE(valueOf(s, QStringLiteral("select xh from wj where id=?"), {r2->id}).toLongLong(), qint64(41));
}

void FileRecordsTest::modifyKeepsThenReplacesContent()
{
    DataStore& s = m_home->store();
    const QByteArray small = pattern(100);
    const QString src = writeFile(m_src->path(), QStringLiteral("a.txt"), small);
    const Result<StoredRecord> added = m_records->add(fields(QStringLiteral("a")), src);
    QVERIFY(added.ok());
    m_clock.advance(60);

    // Fields only: the content stays.
    RecordFields f = fields(QStringLiteral("a 改"), QStringLiteral("合同\\2026"));
    f.spare[1] = QStringLiteral("乙");
    Result<StoredRecord> r = m_records->modify(added->id, f);
    QVERIFY2(r.ok(), qPrintable(r.message() + r.detail()));
    RecordSet rs = s.query(
        QStringLiteral(
            "select mc,fz,b2,xgr,xgsj,scsj,(select nr from wjnr where wjnr.id=wj.id),lx,dxsz,bh from wj where id=?"),
        {added->id});
    QCOMPARE(rs.text(0), QStringLiteral("a 改"));
    QCOMPARE(rs.text(1), QStringLiteral("合同\\2026"));
    QCOMPARE(rs.text(2), QStringLiteral("乙"));
    QCOMPARE(rs.text(3), QStringLiteral("Admin"));
    QCOMPARE(rs.text(4), QStringLiteral("2026-03-04 09:31:15"));
    QCOMPARE(rs.text(5), QStringLiteral("2026-03-04 09:30:15"));
    QCOMPARE(rs.bytes(6), small);
    QCOMPARE(rs.text(7), QStringLiteral("txt"));
    QCOMPARE(rs.text(9), QStringLiteral("0000000001"));
    rs.close();
    QCOMPARE(count(s, QStringLiteral("select count(*) from rz where nr=?"),
                   {QStringLiteral("修改文件：0000000001 a 改.txt")}),
             qint64(1));

    // Database -> store folder.
    const QByteArray big = pattern(10000, 'q');
    const QString bigSrc = writeFile(m_src->path(), QStringLiteral("b.pdf"), big);
    r = m_records->modify(added->id, f, bigSrc);
    QVERIFY2(r.ok(), qPrintable(r.message() + r.detail()));
    QCOMPARE(valueOf(s,
                     QStringLiteral("select lj||'|'||coalesce(length((select nr from wjnr where "
                                    "wjnr.id=wj.id)),0)||'|'||lx||'|'||dxsz from wj where id=?"),
                     {added->id})
                 .toString(),
             QStringLiteral("Data/Lf/0000000001.pdf|0|pdf|10000"));
    QCOMPARE(folderEntries(store()), QStringList{QStringLiteral("0000000001.pdf")});

    // Store folder -> store folder: the new file gets its own name, the old
    // one stays where it is as the replaced version's file.
    const QByteArray big2 = pattern(12000, 'r');
    const QString big2Src = writeFile(m_src->path(), QStringLiteral("c.pdf"), big2);
    r = m_records->modify(added->id, f, big2Src);
    QVERIFY(r.ok());
    QCOMPARE(folderEntries(store()),
             (QStringList{QStringLiteral("0000000001-1.pdf"), QStringLiteral("0000000001.pdf")}));
    QCOMPARE(readFile(QDir(store()).filePath(QStringLiteral("0000000001-1.pdf"))), big2);
    QCOMPARE(readFile(QDir(store()).filePath(QStringLiteral("0000000001.pdf"))), big);

    // Store folder -> database: the kept file is the version's now.
    r = m_records->modify(added->id, f, src);
    QVERIFY(r.ok());
    QCOMPARE(valueOf(s, QStringLiteral("select lj from wj where id=?"), {added->id}).toString(), QString());
    QCOMPARE(m_records->content(added->id).value(), small);
    QCOMPARE(folderEntries(store()).size(), 2);
    QCOMPARE(count(s, QStringLiteral("select count(*) from wjbb where wjid=?"), {added->id}), qint64(3));
}

void FileRecordsTest::modifyFailureLeavesOldContent()
{
    DataStore& s = m_home->store();
    const QByteArray big = pattern(10000, 'k');
    const QString src = writeFile(m_src->path(), QStringLiteral("k.pdf"), big);
    const Result<StoredRecord> added = m_records->add(fields(QStringLiteral("k")), src);
    QVERIFY(added.ok());
    const QString replacement = writeFile(m_src->path(), QStringLiteral("n.pdf"), pattern(20000, 'n'));

    s.failNextStatements(1, QStringLiteral("update wj"));
    Result<StoredRecord> r = m_records->modify(added->id, fields(QStringLiteral("changed")), replacement);
    QVERIFY(!r.ok());
    QCOMPARE(r.message(), FileRecords::ModifyFailed);
    QCOMPARE(valueOf(s, QStringLiteral("select mc||'|'||lj from wj where id=?"), {added->id}).toString(),
             QStringLiteral("k|Data/Lf/0000000001.pdf"));
    QCOMPARE(folderEntries(store()), QStringList{QStringLiteral("0000000001.pdf")});
    QCOMPARE(readFile(QDir(store()).filePath(QStringLiteral("0000000001.pdf"))), big);

    // A record without number is not modified.
    QVERIFY(s.execute(QStringLiteral("update wj set bh='' where id=?"), {added->id}));
    r = m_records->modify(added->id, fields(QStringLiteral("changed")));
    QCOMPARE(r.message(), FileRecords::ModifyNoNumber);
    QCOMPARE(valueOf(s, QStringLiteral("select mc from wj where id=?"), {added->id}).toString(), QStringLiteral("k"));
}

void FileRecordsTest::deleteMovesRecordIntoTrash()
{
    DataStore& s = m_home->store();
    const QString big = writeFile(m_src->path(), QStringLiteral("k.pdf"), pattern(10000));
    const Result<StoredRecord> a = m_records->add(fields(QStringLiteral("k")), big);
    const QString small = writeFile(m_src->path(), QStringLiteral("s.txt"), "s");
    const Result<StoredRecord> b = m_records->add(fields(QStringLiteral("s")), small);
    QVERIFY(a.ok() && b.ok());

    // The delete statement fails: record and file stay.
    s.failNextStatements(1, QStringLiteral("delete from wj"));
    Result<StoredRecord> r = m_records->remove(a->id);
    QCOMPARE(r.message(), FileRecords::DeleteRowFailed);
    QCOMPARE(count(s, QStringLiteral("select count(*) from wj")), qint64(2));
    QCOMPARE(folderEntries(store()), QStringList{QStringLiteral("0000000001.pdf")});

    QCOMPARE(count(s, QStringLiteral("select count(*) from wjhs")), qint64(0));

    // Into the trash: the row moves whole, the kept file stays.
    r = m_records->remove(a->id);
    QVERIFY(r.ok());
    QVERIFY(r.message().isEmpty());
    QCOMPARE(count(s, QStringLiteral("select count(*) from wj where id=?"), {a->id}), qint64(0));
    QCOMPARE(count(s, QStringLiteral("select count(*) from wjhs where id=? and bh='0000000001'"), {a->id}), qint64(1));
    QCOMPARE(folderEntries(store()), QStringList{QStringLiteral("0000000001.pdf")});
    QCOMPARE(count(s, QStringLiteral("select count(*) from rz where nr=?"),
                   {QStringLiteral("删除文件：0000000001 k.pdf 移入回收站")}),
             qint64(1));

    QVERIFY(m_records->remove(b->id).ok());
    QCOMPARE(count(s, QStringLiteral("select count(*) from wj")), qint64(0));
}

void FileRecordsTest::deleteRefusesRecordWithoutNumber()
{
    DataStore& s = m_home->store();
    const QString big = writeFile(m_src->path(), QStringLiteral("k.pdf"), pattern(10000));
    const Result<StoredRecord> a = m_records->add(fields(QStringLiteral("k")), big);
    QVERIFY(s.execute(QStringLiteral("update wj set bh='' where id=?"), {a->id}));
    const Result<StoredRecord> r = m_records->remove(a->id);
    QVERIFY(!r.ok());
    QCOMPARE(r.message(), FileRecords::DeleteNoNumber);
    QCOMPARE(count(s, QStringLiteral("select count(*) from wj")), qint64(1));
    QCOMPARE(folderEntries(store()), QStringList{QStringLiteral("0000000001.pdf")});
}

void FileRecordsTest::saveOutWritesStoredBytes()
{
    DataStore& s = m_home->store();
    const QByteArray small = pattern(3000);
    const QByteArray big = pattern(FileCopy::ChunkSize + 3, 'w');
    const Result<StoredRecord> a =
        m_records->add(fields(QStringLiteral("a")), writeFile(m_src->path(), QStringLiteral("a.bin"), small));
    const Result<StoredRecord> b =
        m_records->add(fields(QStringLiteral("b")), writeFile(m_src->path(), QStringLiteral("b.bin"), big));
    QVERIFY(a.ok() && b.ok());
    QTemporaryDir out;
    const QString target = out.filePath(QStringLiteral("x.bin"));
    Result<StoredRecord> r = m_records->saveOut(a->id, target);
    QVERIFY(r.ok());
    QCOMPARE(r.message(), QStringLiteral("0000000001 a.bin 另存成功 !"));
    QCOMPARE(readFile(target), small);
    // Saving over an existing file replaces it whole.
    r = m_records->saveOut(b->id, target);
    QVERIFY(r.ok());
    QCOMPARE(readFile(target), big);
    QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("x.bin")});
    QCOMPARE(count(s, QStringLiteral("select count(*) from rz where nr=?"),
                   {QStringLiteral("导出文件：0000000002 b.bin 至 ") + target}),
             qint64(1));

    // The kept file is missing: the failure is reported, nothing is written.
    QVERIFY(QFile::remove(QDir(store()).filePath(QStringLiteral("0000000002.bin"))));
    const QString other = out.filePath(QStringLiteral("y.bin"));
    r = m_records->saveOut(b->id, other);
    QCOMPARE(r.message(), FileRecords::SaveOutFailed);
    QVERIFY(!QFile::exists(other));
    // A target that cannot be written.
    r = m_records->saveOut(a->id, out.filePath(QStringLiteral("no/such/folder/z.bin")));
    QCOMPARE(r.message(), FileRecords::SaveOutFailed);
}

void FileRecordsTest::saveOutNeverOverwritesTheArchive()
{
    DataStore& s = m_home->store();
    const QByteArray big = pattern(10000, 'd');
    const Result<StoredRecord> a =
        m_records->add(fields(QStringLiteral("a")), writeFile(m_src->path(), QStringLiteral("a.bin"), big));
    QVERIFY(a.ok());
    const QByteArray database = readFile(m_home->databasePath());
    QCOMPARE(m_records->saveOut(a->id, m_home->databasePath()).message(), ExportGuard::FileRefused);
    QCOMPARE(readFile(m_home->databasePath()), database);
    const QString kept = QDir(store()).filePath(QStringLiteral("0000000001.bin"));
    QCOMPARE(m_records->saveOut(a->id, kept).message(), ExportGuard::FileRefused);
    QCOMPARE(m_records->saveOut(a->id, QDir(store()).filePath(QStringLiteral("other.bin"))).message(),
             ExportGuard::FileRefused);
    QCOMPARE(folderEntries(store()), QStringList{QStringLiteral("0000000001.bin")});
    QCOMPARE(readFile(kept), big);
    QCOMPARE(count(s, QStringLiteral("select count(*) from rz where nr like '导出文件：%'")), qint64(0));
}

void FileRecordsTest::sharedKeptFileOutlivesOneRecord()
{
    // Two records naming one kept file (as a plain row copy would make):
    // deleting one leaves the file to the other.
    DataStore& s = m_home->store();
    const QByteArray big = pattern(10000, 'e');
    const Result<StoredRecord> a =
        m_records->add(fields(QStringLiteral("a")), writeFile(m_src->path(), QStringLiteral("a.bin"), big));
    QVERIFY(a.ok());
    QVERIFY(s.execute(QStringLiteral("insert into wj(bh,mc,fz,lx,dxsz,lj,wj,sha256) select "
                                     "'0000000099',mc,fz,lx,dxsz,lj,wj,sha256 from wj where id=?"),
                      {a->id}));
    const qint64 copy = s.lastInsertId();
    QVERIFY(m_records->remove(a->id).ok());
    QCOMPARE(folderEntries(store()), QStringList{QStringLiteral("0000000001.bin")});
    const QString out = m_src->path() + QStringLiteral("/copy.bin");
    QVERIFY(m_records->saveOut(copy, out).ok());
    QCOMPARE(readFile(out), big);
    // Both in the trash: the file stays for a restore (TrashTest purges).
    QVERIFY(m_records->remove(copy).ok());
    QCOMPARE(folderEntries(store()), QStringList{QStringLiteral("0000000001.bin")});
}

void FileRecordsTest::propertiesLeaveOutUntitledFields()
{
    DataStore& s = m_home->store();
    QVERIFY(s.execute(QStringLiteral("update lbsz set btm='合同方' where bh=6 and bm='wj'")));
    QVERIFY(s.execute(QStringLiteral("update lbsz set btm='签订日' where bh=20 and bm='wj'")));
    QVERIFY(s.execute(QStringLiteral("update lbsz set btm='年度' where bh=7 and bm='wj'")));
    const Result<StoredRecord> a =
        m_records->add(fields(QStringLiteral("a")), writeFile(m_src->path(), QStringLiteral("a.txt"), "a"));
    QVERIFY(a.ok());
    auto rowsOf = [&](bool detailed) {
        QStringList out;
        const auto rows = m_records->properties(a->id, detailed);
        if (!rows || !rows.value())
            return QStringList{QStringLiteral("missing")};
        for (const auto& p : *rows.value())
            out << p.first + QLatin1Char('=') + p.second;
        return out;
    };
    const QStringList brief = rowsOf(false);
    QCOMPARE(
        brief,
        (QStringList{QStringLiteral("文件编号=0000000001"), QStringLiteral("文件名称=a"),
                     QStringLiteral("文件分组=合同"), QStringLiteral("文件类型=txt"), QStringLiteral("文件大小=1BYTE"),
                     QStringLiteral("合同方=甲方"), QStringLiteral("签订日=2026-03-04")}));
    const QStringList detailed = rowsOf(true);
    QVERIFY(detailed.contains(QStringLiteral("年度=")));
    QVERIFY(detailed.contains(QStringLiteral("上传人=Admin")));
    QVERIFY(detailed.contains(QStringLiteral("存放位置=数据库")));
    for (const QString& row : detailed)
        QVERIFY2(!row.startsWith(QStringLiteral("备用字段")), qPrintable(row));
    QVERIFY(!m_records->properties(a->id + 100, true).value().has_value());
}

KV_REGISTER_TEST(FileRecordsTest)
#include "FileRecordsTest.moc"
