#include "archive/FileRecords.h"
#include "archive/GroupCopy.h"
#include "archive/GroupPath.h"
#include "archive/GroupTree.h"
#include "archive/ProtectedGroups.h"
#include "archive/StoreFolder.h"
#include "common/KillChild.h"
#include "common/TestHome.h"
#include "common/TestInput.h"
#include "common/TestRegistry.h"
#include "platform/FileCopy.h"
#include "platform/PrivateFolder.h"
#include "platform/Progress.h"
#include "store/DataStore.h"
#include "store/LogWriter.h"
#include "store/PasswordHash.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using TestInput::modeOf;
using TestInput::pattern;
using TestInput::readFile;
using TestInput::writeFile;

namespace {

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// Changes the source file once the first chunk has been copied.
class ChangeSourceMidway final : public Progress {
public:
    ChangeSourceMidway(QString path, qint64 newSize) : m_path(std::move(path)), m_newSize(newSize) {}
    void setRange(qint64, qint64) override {}
    void setValue(qint64 v) override
    {
        if (v > 0 && !m_done) {
            m_done = true;
            QFile f(m_path);
            if (m_newSize < f.size()) {
                f.resize(m_newSize);
            } else if (f.open(QIODevice::Append)) {
                f.write(QByteArray(int(m_newSize - f.size()), 'g'));
            }
        }
    }
    bool cancelled() const override { return false; }

private:
    QString m_path;
    qint64 m_newSize;
    bool m_done = false;
};

// Notes the run's log line after every record and stops after `after` records.
class WatchLog final : public Progress {
public:
    WatchLog(DataStore& s, qint64 after) : m_s(s), m_after(after) {}
    void setRange(qint64, qint64) override {}
    void setValue(qint64 v) override
    {
        m_value = v;
        if (v > 0)
            seen << valueOf(m_s, QStringLiteral("select group_concat(nr,'|') from rz where nr like '复制分组：%'"))
                        .toString();
    }
    bool cancelled() const override { return m_value >= m_after; }
    QStringList seen;

private:
    DataStore& m_s;
    qint64 m_after;
    qint64 m_value = 0;
};

void addGroup(DataStore& s, qint64 id, qint64 parent, const QString& name, const QString& hash = {})
{
    QVERIFY(s.execute(QStringLiteral("insert into wjfz(id,fxmid,xmmc,tpid,xztp,mm) values (?,?,?,?,?,?)"),
                      {id, parent, name, hash.isEmpty() ? 1 : 3, hash.isEmpty() ? 2 : 4, hash}));
}

}  // namespace

// What crashes, a starved disk, a damaged database and a second program did
// to the archive, each checked on its own.
class StoreFaultsTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void failedNameLookupEndsTheWork_data();
    void failedNameLookupEndsTheWork();
    void nameSearchHasABound();
    void sourceChangingDuringCopyIsRefused_data();
    void sourceChangingDuringCopyIsRefused();
    void groupCopyLogsWithEveryCopy();
    void modifyChecksOldKeptFileFirst();
    void saveOutToLongNames_data();
    void saveOutToLongNames();
    void keptFilesAreTheUsersAlone();
    void messagesNameTheCause_data();
    void messagesNameTheCause();
    void plainCause_data();
    void plainCause();
    void sameNameLeavesClosedGroupsOut();
    void staleTreeIsNeverWritten_data();
    void staleTreeIsNeverWritten();
    void sweepQuarantinesUnnamedFiles();
    void killedRecordWorkLeavesArchiveWhole();
    void killedGroupCopyLeavesArchiveWholeAndLogged();

private:
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<QTemporaryDir> m_src;
    std::unique_ptr<FileRecords> m_records;
    QStringList m_frozen;

    DataStore& s() { return m_home->store(); }
    StoreFolder folder() const { return StoreFolder(m_home->context().home); }
    QString store() const { return m_home->context().home.storeFolder(); }
    RecordFields fields(const QString& name, const QString& group = QStringLiteral("合同")) const
    {
        RecordFields f;
        f.name = name;
        f.group = group;
        return f;
    }
    QString source(const QString& name, qint64 size, char seed = 'a')
    {
        return writeFile(m_src->filePath(name), pattern(size, seed));
    }
    bool freeze(const QString& path)
    {
        if (!KillChild::freeze(path, true))
            return false;
        m_frozen << path;
        return true;
    }
    qint64 count(const QString& sql, const QVariantList& params = {}) { return valueOf(s(), sql, params).toLongLong(); }
    void addKeptRecord(const QString& name, const QString& group, const QByteArray& bytes);
    void checkWhole(const QString& why);
};

void StoreFaultsTest::init()
{
    m_home = std::make_unique<TestHome>();
    QVERIFY(m_home->isValid());
    m_src = std::make_unique<QTemporaryDir>();
    addGroup(s(), 1, 0, QStringLiteral("合同"));
    m_records = std::make_unique<FileRecords>(s(), folder(), m_home->context().currentOperator, 4096);
}

void StoreFaultsTest::cleanup()
{
    for (const QString& p : std::as_const(m_frozen))
        KillChild::freeze(p, false);
    m_frozen.clear();
    m_records.reset();
    m_home.reset();
    m_src.reset();
}

void StoreFaultsTest::addKeptRecord(const QString& name, const QString& group, const QByteArray& bytes)
{
    const QString src = writeFile(m_src->filePath(name + QStringLiteral(".bin")), bytes);
    const Result<StoredRecord> r = m_records->add(fields(name, group), src);
    QVERIFY2(r.ok(), qPrintable(r.message() + QLatin1Char(' ') + r.detail()));
}

// ------------------------------------------------------- failed lookups

void StoreFaultsTest::failedNameLookupEndsTheWork_data()
{
    QTest::addColumn<QString>("work");
    QTest::newRow("large add") << QStringLiteral("add");
    QTest::newRow("content-replacing modify") << QStringLiteral("modify");
    QTest::newRow("group copy") << QStringLiteral("copy");
}

void StoreFaultsTest::failedNameLookupEndsTheWork()
{
    QFETCH(QString, work);
    addGroup(s(), 2, 0, QStringLiteral("T"));
    addKeptRecord(QStringLiteral("old"), QStringLiteral("合同"), pattern(9000, 'o'));
    const qint64 id = valueOf(s(), QStringLiteral("select id from wj")).toLongLong();
    const QString lj = valueOf(s(), QStringLiteral("select lj from wj")).toString();
    const QStringList filesBefore = entries(store());
    const QString src = source(QStringLiteral("new.bin"), 9000, 'n');

    // A damaged archive: every lookup of a kept file's name fails.
    s().failNextStatements(1000000, QStringLiteral("from wj where lj=? or lj=?"));
    QElapsedTimer clock;
    clock.start();
    QString message;
    if (work == QLatin1String("add")) {
        const Result<StoredRecord> r = m_records->add(fields(QStringLiteral("new")), src);
        QVERIFY(!r.ok());
        message = r.message();
        QCOMPARE(message, FileRecords::PrepareFailed);
    } else if (work == QLatin1String("modify")) {
        const Result<StoredRecord> r = m_records->modify(id, fields(QStringLiteral("new")), src);
        QVERIFY(!r.ok());
        QCOMPARE(r.message(), FileRecords::PrepareFailed);
    } else {
        LogWriter log(s(), m_home->context().currentOperator);
        GroupCopy copy(s(), folder(), m_home->context().protectedGroups, log);
        NoProgress progress;
        const GroupCopy::Outcome out = copy.run(QStringLiteral("合同"), QStringLiteral("T"), progress);
        QCOMPARE(out.kind, GroupCopy::Outcome::Kind::Failed);
        QCOMPARE(out.message, GroupCopy::FileCopyFailed);
        QCOMPARE(out.copied, 0);
    }
    QVERIFY(clock.elapsed() < 10000);
    s().failNextStatements(0);

    // Nothing changed, and the archive is not left locked.
    QCOMPARE(count(QStringLiteral("select count(*) from wj")), qint64(1));
    QCOMPARE(valueOf(s(), QStringLiteral("select lj from wj where id=?"), {id}).toString(), lj);
    QCOMPARE(valueOf(s(), QStringLiteral("select mc from wj where id=?"), {id}).toString(), QStringLiteral("old"));
    QCOMPARE(entries(store()), filesBefore);
    QVERIFY(!s().inTransaction());
    DataStore other;
    QVERIFY(other.open(m_home->databasePath()));
    QVERIFY(other.execute(QStringLiteral("update zcbj set id=id")));
}

void StoreFaultsTest::nameSearchHasABound()
{
    const StoreFolder f = folder();
    int asked = 0;
    const Result<QString> name = f.uniqueName(QStringLiteral("1"), QStringLiteral("pdf"), [&](const QString&) {
        ++asked;
        return true;
    });
    QVERIFY(!name.ok());
    QCOMPARE(asked, StoreFolder::MaxNameTries);
    // A lookup that fails ends the search at once.
    asked = 0;
    const Result<QString> failed = f.uniqueName(QStringLiteral("1"), QStringLiteral("pdf"), [&](const QString&) {
        ++asked;
        return Result<bool>::fail(QString(), QStringLiteral("disk I/O error"));
    });
    QVERIFY(!failed.ok());
    QCOMPARE(asked, 1);
    QVERIFY(failed.detail().contains(QStringLiteral("disk I/O error")));
}

// ------------------------------------------------ a source that changes

void StoreFaultsTest::sourceChangingDuringCopyIsRefused_data()
{
    QTest::addColumn<bool>("modify");
    QTest::addColumn<qint64>("newSize");
    const qint64 size = 3 * FileCopy::ChunkSize + 17;
    QTest::newRow("add, shrinks") << false << size / 2;
    QTest::newRow("add, grows") << false << size + FileCopy::ChunkSize;
    QTest::newRow("modify, shrinks") << true << size / 2;
    QTest::newRow("modify, grows") << true << size + 5;
}

void StoreFaultsTest::sourceChangingDuringCopyIsRefused()
{
    QFETCH(bool, modify);
    QFETCH(qint64, newSize);
    addKeptRecord(QStringLiteral("old"), QStringLiteral("合同"), pattern(9000, 'o'));
    const qint64 id = valueOf(s(), QStringLiteral("select id from wj")).toLongLong();
    const QStringList filesBefore = entries(store());
    const QString src = source(QStringLiteral("big.bin"), 3 * FileCopy::ChunkSize + 17);
    ChangeSourceMidway change(src, newSize);
    const Result<StoredRecord> r = modify ? m_records->modify(id, fields(QStringLiteral("big")), src, &change)
                                          : m_records->add(fields(QStringLiteral("big")), src, &change);
    QVERIFY(!r.ok());
    QCOMPARE(r.message(), FileRecords::PrepareFailed);
    QVERIFY2(r.detail().contains(QStringLiteral("changed")), qPrintable(r.detail()));
    QCOMPARE(QFileInfo(src).size(), newSize);
    QCOMPARE(count(QStringLiteral("select count(*) from wj")), qint64(1));
    QCOMPARE(valueOf(s(), QStringLiteral("select dxsz from wj")).toLongLong(), qint64(9000));
    QCOMPARE(entries(store()), filesBefore);
}

// ---------------------------------------------------------- group copy

void StoreFaultsTest::groupCopyLogsWithEveryCopy()
{
    addGroup(s(), 2, 0, QStringLiteral("T"));
    for (int i = 0; i < 4; ++i)
        QVERIFY(
            m_records->add(fields(QStringLiteral("f%1").arg(i)), source(QStringLiteral("f%1.txt").arg(i), 10)).ok());
    LogWriter log(s(), m_home->context().currentOperator);
    const QString line = GroupCopy::logText(QStringLiteral("合同"), QStringLiteral("T"));

    // Cancelled after two: the line exists from the first copy on, counts
    // every copy, and ends saying the run was cancelled.
    {
        GroupCopy copy(s(), folder(), m_home->context().protectedGroups, log);
        WatchLog watch(s(), 2);
        const GroupCopy::Outcome out = copy.run(QStringLiteral("合同"), QStringLiteral("T"), watch);
        QCOMPARE(out.kind, GroupCopy::Outcome::Kind::Cancelled);
        QCOMPARE(out.copied, 2);
        QCOMPARE(watch.seen,
                 (QStringList{line + QStringLiteral(" (进行中, 已复制 1 个文件)"),
                              line + QStringLiteral(" (进行中, 已复制 2 个文件)")}));
        QCOMPARE(
            valueOf(s(), QStringLiteral("select group_concat(nr,'|') from rz where nr like '复制分组：%'")).toString(),
            line + QStringLiteral(" (已取消, 已复制 2 个文件)"));
    }
    QVERIFY(s().execute(QStringLiteral("delete from rz")));
    QVERIFY(s().execute(QStringLiteral("delete from wj where fz='T'")));
    // A whole run: its last copy writes the plain line.
    {
        GroupCopy copy(s(), folder(), m_home->context().protectedGroups, log);
        WatchLog watch(s(), 100);
        const GroupCopy::Outcome out = copy.run(QStringLiteral("合同"), QStringLiteral("T"), watch);
        QCOMPARE(out.kind, GroupCopy::Outcome::Kind::Done);
        QCOMPARE(out.copied, 4);
        QCOMPARE(watch.seen.size(), 4);
        QCOMPARE(watch.seen.at(2), line + QStringLiteral(" (进行中, 已复制 3 个文件)"));
        QCOMPARE(watch.seen.at(3), line);
        QCOMPARE(count(QStringLiteral("select count(*) from rz where nr like '复制分组：%'")), qint64(1));
    }
}

// ---------------------------------------------------------------- modify

void StoreFaultsTest::modifyChecksOldKeptFileFirst()
{
    // An old kept file in a folder that lets nothing be removed.
    const QString sub = QDir(store()).filePath(QStringLiteral("old"));
    QVERIFY(QDir().mkpath(sub));
    QVERIFY(!writeFile(QDir(sub).filePath(QStringLiteral("0000000009.bin")), pattern(9000, 'o')).isEmpty());
    QVERIFY(s().execute(QStringLiteral("insert into wj(bh,mc,fz,lx,dx,dxsz,lj,wj) values "
                                       "('0000000009','old','合同','bin','8.78KB',9000,?,?)"),
                        {folder().storedPath(QStringLiteral("old/0000000009.bin")), QByteArray()}));
    const qint64 id = s().lastInsertId();
    if (!freeze(sub))
        QSKIP("the old kept file's folder cannot be made unwritable here");
    const QStringList filesBefore = entries(store());

    const Result<StoredRecord> r =
        m_records->modify(id, fields(QStringLiteral("new")), source(QStringLiteral("n.bin"), 9000, 'n'));
    QVERIFY(!r.ok());
    QVERIFY2(r.message().startsWith(FileRecords::ModifyFailed), qPrintable(r.message()));
    // Nothing changed: the record keeps its content, no new file, no orphan.
    QCOMPARE(valueOf(s(), QStringLiteral("select mc from wj where id=?"), {id}).toString(), QStringLiteral("old"));
    QCOMPARE(readFile(folder().resolve(valueOf(s(), QStringLiteral("select lj from wj where id=?"), {id}).toString())),
             pattern(9000, 'o'));
    QCOMPARE(entries(store()), filesBefore);
    QCOMPARE(count(QStringLiteral("select count(*) from rz")), qint64(0));

    // Without a new content the old file is not touched, so the modify goes on.
    QVERIFY(m_records->modify(id, fields(QStringLiteral("renamed"))).ok());
}

// -------------------------------------------------------------- save out

void StoreFaultsTest::saveOutToLongNames_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("size");
    for (int length : {242, 247, 252, 255}) {
        QTest::addRow("%d bytes, database", length) << length << 100;
        QTest::addRow("%d bytes, store folder", length) << length << 9000;
    }
}

void StoreFaultsTest::saveOutToLongNames()
{
    QFETCH(int, length);
    QFETCH(int, size);
    QVERIFY(m_records->add(fields(QStringLiteral("a")), source(QStringLiteral("a.bin"), size)).ok());
    const qint64 id = valueOf(s(), QStringLiteral("select id from wj")).toLongLong();
    QTemporaryDir out;
    const QString target = out.filePath(QString(length - 4, QLatin1Char('n')) + QStringLiteral(".bin"));
    const Result<StoredRecord> r = m_records->saveOut(id, target);
    QVERIFY2(r.ok(), qPrintable(r.message() + QLatin1Char(' ') + r.detail()));
    QCOMPARE(readFile(target), pattern(size));
    QCOMPARE(entries(out.path()), QStringList{QFileInfo(target).fileName()});
}

// ----------------------------------------------------------- permissions

void StoreFaultsTest::keptFilesAreTheUsersAlone()
{
    QVERIFY(QDir(store()).removeRecursively());
    addKeptRecord(QStringLiteral("k"), QStringLiteral("合同"), pattern(9000));
    const QString kept = folder().resolve(valueOf(s(), QStringLiteral("select lj from wj")).toString());
    QCOMPARE(modeOf(kept), 0600);
    QCOMPARE(modeOf(store()), 0700);
    // A Data folder made for the store folder is private as well.
    const QString program = m_src->filePath(QStringLiteral("program"));
    const StoreFolder fresh(program, program + QStringLiteral("/Data/Lf"));
    const StoreFolder::Stored st = fresh.storeBytes(pattern(10), QStringLiteral("1"), QStringLiteral("txt"));
    QVERIFY2(st.ok, qPrintable(st.error));
    QCOMPARE(modeOf(program + QStringLiteral("/Data")), 0700);
    QCOMPARE(modeOf(program + QStringLiteral("/Data/Lf")), 0700);
    QCOMPARE(modeOf(st.absolutePath), 0600);
    // A replaced content too.
    const qint64 id = valueOf(s(), QStringLiteral("select id from wj")).toLongLong();
    QVERIFY(m_records->modify(id, fields(QStringLiteral("k")), source(QStringLiteral("k2.bin"), 9001)).ok());
    QCOMPARE(modeOf(folder().resolve(valueOf(s(), QStringLiteral("select lj from wj")).toString())), 0600);

    // A private folder is never a link to somewhere else.
    QTemporaryDir elsewhere;
    const QString link = m_src->filePath(QStringLiteral("link"));
    QVERIFY(QFile::link(elsewhere.path(), link));
    QVERIFY(!PrivateFolder::ensure(link).ok());
    const QString made = m_src->filePath(QStringLiteral("x/private"));
    QVERIFY(PrivateFolder::ensure(made).ok());
    QCOMPARE(modeOf(made), 0700);
}

// -------------------------------------------------------------- messages

void StoreFaultsTest::messagesNameTheCause_data()
{
    QTest::addColumn<QString>("setting");  // what starves the archive
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("message");
    QTest::newRow("read-only, database") << QStringLiteral("PRAGMA query_only=1") << 100
                                         << FileRecords::InsertFailed + QStringLiteral(" (数据库只读)");
    QTest::newRow("read-only, store folder")
        << QStringLiteral("PRAGMA query_only=1") << 9000 << FileRecords::InsertFailed + QStringLiteral(" (数据库只读)");
    QTest::newRow("disk full") << QStringLiteral("full") << 300000
                               << FileRecords::InsertFailed + QStringLiteral(" (磁盘空间不足)");
    QTest::newRow("read-only, group tree")
        << QStringLiteral("PRAGMA query_only=1") << -1 << GroupTree::SaveFailed + QStringLiteral(" (数据库只读)");
}

void StoreFaultsTest::messagesNameTheCause()
{
    QFETCH(QString, setting);
    QFETCH(int, size);
    QFETCH(QString, message);
    const QString src = source(QStringLiteral("f.bin"), qMax(size, 0));
    if (setting == QLatin1String("full")) {
        // Content held in the database, which may not grow.
        m_records->setSizeBound(1 << 20);
        QVERIFY(s().execute(QStringLiteral("VACUUM")));
        const qint64 pages = valueOf(s(), QStringLiteral("PRAGMA page_count")).toLongLong();
        QVERIFY(s().execute(QStringLiteral("PRAGMA max_page_count=%1").arg(pages)));
    } else {
        QVERIFY(s().execute(setting));
    }
    if (size < 0) {
        ProtectedGroups open;
        GroupTree tree(s(), open);
        QVERIFY(tree.load());
        const GroupTree::Result r = tree.add(0, QStringLiteral("人事部"));
        QVERIFY(!r.ok());
        QCOMPARE(r.message, message);
        QCOMPARE(tree.groupCount(), 1);
        return;
    }
    const Result<StoredRecord> r = m_records->add(fields(QStringLiteral("f")), src);
    QVERIFY(!r.ok());
    QCOMPARE(r.message(), message);
    QVERIFY(!r.detail().isEmpty());
    QCOMPARE(entries(store()), QStringList());
}

void StoreFaultsTest::plainCause_data()
{
    QTest::addColumn<QString>("detail");
    QTest::addColumn<QString>("cause");
    QTest::newRow("sqlite full") << QStringLiteral("database or disk is full Unable to fetch row")
                                 << QStringLiteral("磁盘空间不足");
    QTest::newRow("file system full") << QStringLiteral("write failed: No space left on device")
                                      << QStringLiteral("磁盘空间不足");
    QTest::newRow("read-only database") << QStringLiteral("attempt to write a readonly database")
                                        << QStringLiteral("数据库只读");
    QTest::newRow("read-only file system")
        << QStringLiteral("rename: Read-only file system") << QStringLiteral("数据库只读");
    QTest::newRow("no right") << QStringLiteral("cannot remove x: Permission denied") << QStringLiteral("没有写入权限");
    QTest::newRow("locked") << QStringLiteral("database is locked") << QStringLiteral("数据库正被占用");
    QTest::newRow("unknown") << QStringLiteral("injected failure") << QString();
}

void StoreFaultsTest::plainCause()
{
    QFETCH(QString, detail);
    QFETCH(QString, cause);
    QCOMPARE(PrivateFolder::plainCause(detail), cause);
    QCOMPARE(PrivateFolder::withCause(QStringLiteral("更换编号失败!"), detail),
             cause.isEmpty() ? QStringLiteral("更换编号失败!")
                             : QStringLiteral("更换编号失败! (") + cause + QLatin1Char(')'));
}

// ------------------------------------------------------ protected groups

void StoreFaultsTest::sameNameLeavesClosedGroupsOut()
{
    addGroup(s(), 2, 0, QStringLiteral("行政部"), PasswordHash::hash(QStringLiteral("pw")));
    addGroup(s(), 3, 2, QStringLiteral("合同"));
    QVERIFY(m_records
                ->add(fields(QStringLiteral("报告"), QStringLiteral("行政部\\合同")),
                      source(QStringLiteral("报告.pdf"), 10))
                .ok());
    ProtectedGroups open;
    Result<QList<FileRecords::SameName>> same =
        m_records->sameName(QStringLiteral("报告"), QStringLiteral("pdf"), open);
    QVERIFY(same.ok());
    QVERIFY(same->isEmpty());
    // A record of an open group is named.
    QVERIFY(m_records->add(fields(QStringLiteral("报告")), source(QStringLiteral("报告.pdf"), 10)).ok());
    same = m_records->sameName(QStringLiteral("报告"), QStringLiteral("pdf"), open);
    QCOMPARE(same->size(), 1);
    QCOMPARE(same->first().group, QStringLiteral("合同"));
    // Once the protected group is opened, its records are named too.
    open.open(QStringLiteral("行政部"));
    same = m_records->sameName(QStringLiteral("报告"), QStringLiteral("pdf"), open);
    QCOMPARE(same->size(), 2);
    QCOMPARE(same->first().group, QStringLiteral("行政部\\合同"));
    // When the groups cannot be read, nothing is named.
    s().failNextStatements(1, QStringLiteral("from wjfz"));
    QVERIFY(!m_records->sameName(QStringLiteral("报告"), QStringLiteral("pdf"), open).ok());
}

// ------------------------------------------------------------ group tree

void StoreFaultsTest::staleTreeIsNeverWritten_data()
{
    QTest::addColumn<QString>("elsewhere");
    QTest::newRow("a group added elsewhere") << QStringLiteral("add");
    QTest::newRow("a password set elsewhere") << QStringLiteral("password");
    QTest::newRow("a group renamed elsewhere") << QStringLiteral("rename");
}

void StoreFaultsTest::staleTreeIsNeverWritten()
{
    QFETCH(QString, elsewhere);
    ProtectedGroups openHere, openThere;
    GroupTree here(s(), openHere);
    QVERIFY(here.load());
    DataStore otherStore;
    QVERIFY(otherStore.open(m_home->databasePath()));
    GroupTree there(otherStore, openThere);
    QVERIFY(there.load());
    if (elsewhere == QLatin1String("add"))
        QVERIFY(there.add(0, QStringLiteral("人事部")).ok());
    else if (elsewhere == QLatin1String("password"))
        QVERIFY(there.setPassword(1, {}, QStringLiteral("pw")).ok());
    else
        QVERIFY(there.rename(1, QStringLiteral("合同2")).ok());
    const QList<GroupPath::Group> before = [&] {
        QList<GroupPath::Group> g;
        GroupPath::loadGroups(s(), &g);
        return g;
    }();

    const GroupTree::Result r = here.add(0, QStringLiteral("财务部"));
    QVERIFY(!r.ok());
    QCOMPARE(r.message, GroupTree::StaleTree);
    QList<GroupPath::Group> after;
    QVERIFY(GroupPath::loadGroups(s(), &after));
    QCOMPARE(after.size(), before.size());
    for (int i = 0; i < after.size(); ++i) {
        QCOMPARE(after.at(i).path, before.at(i).path);
        QCOMPARE(after.at(i).passwordHash, before.at(i).passwordHash);
    }
    // The tree shows the table now, and the change can be made again.
    QCOMPARE(here.groupCount(), int(after.size()));
    QVERIFY(here.add(0, QStringLiteral("财务部")).ok());
    QVERIFY(GroupPath::loadGroups(s(), &after));
    QCOMPARE(after.size(), before.size() + 1);
    if (elsewhere == QLatin1String("password"))
        QVERIFY(here.findPath(QStringLiteral("合同"))->isProtected());
}

// ------------------------------------------------------------ the sweep

void StoreFaultsTest::sweepQuarantinesUnnamedFiles()
{
    addKeptRecord(QStringLiteral("k"), QStringLiteral("合同"), pattern(9000, 'k'));
    const QString named = valueOf(s(), QStringLiteral("select lj from wj")).toString();
    QVERIFY(!writeFile(QDir(store()).filePath(QStringLiteral(".kvpart-staged-abc.part")), pattern(5000)).isEmpty());
    QVERIFY(!writeFile(QDir(store()).filePath(QStringLiteral(".kvpart-x1.part")), pattern(5)).isEmpty());
    QVERIFY(!writeFile(QDir(store()).filePath(QStringLiteral("0000000099.pdf")), pattern(7000, 'z')).isEmpty());
    const StoreFolder f = folder();
    QVERIFY(QDir().mkpath(f.quarantineFolder()));
    QVERIFY(!writeFile(QDir(f.quarantineFolder()).filePath(QStringLiteral("0000000099.pdf")), "earlier").isEmpty());

    // Nothing moves while the records cannot be read.
    s().failNextStatements(1, QStringLiteral("select lj from wj"));
    QVERIFY(!f.sweep(s()).ok());
    QCOMPARE(entries(store()).size(), 4);

    const Result<StoreFolder::Swept> swept = f.sweep(s());
    QVERIFY2(swept.ok(), qPrintable(swept.detail()));
    QCOMPARE(swept->removedStaging.size(), 2);
    QCOMPARE(swept->quarantined, QStringList{QStringLiteral("0000000099.pdf")});
    QCOMPARE(entries(store()), QStringList{QFileInfo(f.resolve(named)).fileName()});
    QCOMPARE(readFile(f.resolve(named)), pattern(9000, 'k'));
    QCOMPARE(readFile(QDir(f.quarantineFolder()).filePath(QStringLiteral("0000000099.pdf"))), QByteArray("earlier"));
    QCOMPARE(readFile(QDir(f.quarantineFolder()).filePath(QStringLiteral("0000000099.pdf.1"))), pattern(7000, 'z'));
    QCOMPARE(modeOf(f.quarantineFolder()), 0700);
}

// ---------------------------------------------------------------- kills

void StoreFaultsTest::checkWhole(const QString& why)
{
    const QByteArray at = why.toUtf8();
    QCOMPARE(valueOf(s(), QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
    QVERIFY2(count(QStringLiteral("select count(*) from (select bh from wj group by bh having count(*)>1)")) == 0,
             at.constData());
    QVERIFY2(count(QStringLiteral("select count(*) from wj where bh='WWW' or bh=''")) == 0, at.constData());
    // Every record's content is whole, those in the trash and the versions' too.
    QSet<QString> named;
    RecordSet rs = s().query(
        QStringLiteral("select lj,dxsz,(select length(nr) from wjnr where wjnr.id=r.id),id from (select lj,dxsz,id"
                       " from wj union all select lj,dxsz,id from wjhs) r union all select lj,dx,dx,0 from bbnr"));
    QVERIFY(rs.isValid());
    for (; !rs.atEnd(); rs.next()) {
        if (rs.text(0).isEmpty()) {
            QVERIFY2(rs.number(2) == rs.number(1), at.constData());
            continue;
        }
        const QString path = folder().resolve(rs.text(0));
        named.insert(path);
        QVERIFY2(QFileInfo(path).size() == rs.number(1), qPrintable(why + QLatin1Char(' ') + path));
    }
    rs.close();
    // The start-up sweep leaves only named files; what it moves aside no record names.
    const Result<StoreFolder::Swept> swept = folder().sweep(s());
    QVERIFY2(swept.ok(), qPrintable(swept.detail()));
    for (const QString& name : entries(store()))
        QVERIFY2(named.contains(QDir(store()).filePath(name)), qPrintable(why + QLatin1Char(' ') + name));
    for (const QString& name : swept->quarantined)
        QVERIFY2(!named.contains(QDir(store()).filePath(name)), qPrintable(name));
}

void StoreFaultsTest::killedRecordWorkLeavesArchiveWhole()
{
    const QString big1 = source(QStringLiteral("big1.bin"), 3 * FileCopy::ChunkSize + 5, 'b');
    const QString big2 = source(QStringLiteral("big2.bin"), 2 * FileCopy::ChunkSize + 9, 'c');
    const QString small = source(QStringLiteral("small.txt"), 900, 's');
    const QString db = m_home->databasePath();
    const ProgramHome home = m_home->context().home;
    const CurrentOperator& op = m_home->context().currentOperator;
    m_records.reset();
    int killed = 0;
    for (int round = 0; round < 24; ++round) {
        s().close();
        const bool wasKilled = KillChild::runAndKill(
            [&] {
                DataStore child;
                if (!child.open(db))
                    return;
                FileRecords records(child, StoreFolder(home), op, 4096);
                for (int i = 0;; ++i) {
                    const Result<StoredRecord> a =
                        records.add(fields(QStringLiteral("a%1").arg(i)), i % 2 ? big1 : small);
                    if (a.ok() && i % 3 == 0)
                        (void)records.modify(a->id, fields(QStringLiteral("m%1").arg(i)), big2);
                    if (a.ok() && i % 4 == 1)
                        (void)records.remove(a->id);
                }
            },
            15 + int(QRandomGenerator::global()->bounded(400)));
        killed += wasKilled ? 1 : 0;
        QVERIFY(s().open(db));
        checkWhole(QStringLiteral("round %1").arg(round));
        if (QTest::currentTestFailed())
            return;
    }
    QCOMPARE(killed, 24);
    QVERIFY(count(QStringLiteral("select count(*) from wj")) > 0);
}

void StoreFaultsTest::killedGroupCopyLeavesArchiveWholeAndLogged()
{
    addGroup(s(), 2, 0, QStringLiteral("T"));
    for (int i = 0; i < 30; ++i)
        QVERIFY(
            m_records->add(fields(QStringLiteral("f%1").arg(i)), source(QStringLiteral("f%1.txt").arg(i), 20)).ok());
    addKeptRecord(QStringLiteral("k1"), QStringLiteral("合同"), pattern(FileCopy::ChunkSize + 3, 'x'));
    addKeptRecord(QStringLiteral("k2"), QStringLiteral("合同"), pattern(9000, 'y'));
    const int originals = 32;
    const QString db = m_home->databasePath();
    const ProgramHome home = m_home->context().home;
    const CurrentOperator& op = m_home->context().currentOperator;
    const ProtectedGroups& open = m_home->context().protectedGroups;
    m_records.reset();
    const QRegularExpression counted(QStringLiteral("已复制 (\\d+) 个文件"));
    for (int round = 0; round < 16; ++round) {
        s().close();
        KillChild::runAndKill(
            [&] {
                DataStore child;
                if (!child.open(db))
                    return;
                LogWriter log(child, op);
                for (;;) {
                    GroupCopy copy(child, StoreFolder(home), open, log);
                    NoProgress progress;
                    (void)copy.run(QStringLiteral("合同"), QStringLiteral("T"), progress);
                }
            },
            10 + int(QRandomGenerator::global()->bounded(500)));
        QVERIFY(s().open(db));
        checkWhole(QStringLiteral("copy round %1").arg(round));
        if (QTest::currentTestFailed())
            return;
        // Every copy is in some run's log line.
        qint64 logged = 0;
        RecordSet rs = s().query(QStringLiteral("select nr from rz where nr like '复制分组：%'"));
        for (; !rs.atEnd(); rs.next()) {
            const QRegularExpressionMatch m = counted.match(rs.text(0));
            logged += m.hasMatch() ? m.captured(1).toLongLong() : originals;
        }
        rs.close();
        QCOMPARE(count(QStringLiteral("select count(*) from wj where fz='T'")), logged);
        QCOMPARE(count(QStringLiteral("select count(*) from wj where fz='合同'")), qint64(originals));
    }
}

KV_REGISTER_TEST(StoreFaultsTest)
#include "StoreFaultsTest.moc"
