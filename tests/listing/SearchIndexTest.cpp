#include "common/KillChild.h"
#include "common/TestHome.h"
#include "common/TestInput.h"
#include "common/TestRegistry.h"
#include "ListFixtures.h"

#include "archive/FileRecords.h"
#include "archive/GroupCopy.h"
#include "archive/GroupTree.h"
#include "archive/StoreFolder.h"
#include "listing/FileListLoader.h"
#include "listing/FileListModel.h"
#include "listing/ListQuery.h"
#include "listing/SearchConditions.h"
#include "platform/Progress.h"
#include "store/DataStore.h"
#include "store/LogWriter.h"
#include "store/Schema.h"

#include <QAbstractItemModelTester>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using SearchConditions::Condition;

namespace {

const QStringList kWords{
    QStringLiteral("合同"), QStringLiteral("报告"), QStringLiteral("abc"),  QStringLiteral("ABC"),
    QStringLiteral("a%b"),  QStringLiteral("x_y"),  QStringLiteral("it's"), QStringLiteral("q\"q"),
    QStringLiteral("档案"), QStringLiteral("!"),    QStringLiteral("^"),    QStringLiteral("§"),
    QStringLiteral("2026"), QStringLiteral(" "),    QStringLiteral("Ab"),   QStringLiteral("续签")};
const QStringList kFields{QStringLiteral("mc"), QStringLiteral("fz"), QStringLiteral("b1"), QStringLiteral("b7"),
                          QStringLiteral("bz"), QStringLiteral("bh"), QStringLiteral("scr")};
const QStringList kOps{QStringLiteral("包含"),   QStringLiteral("左包含"), QStringLiteral("右包含"),
                       QStringLiteral("不包含"), QStringLiteral("="),      QStringLiteral("<>"),
                       QStringLiteral(">=")};

QString words(QRandomGenerator& rng, int most = 4)
{
    QString out;
    const int n = 1 + int(rng.bounded(quint32(most)));
    for (int i = 0; i < n; ++i)
        out += kWords.at(int(rng.bounded(quint32(kWords.size()))));
    return out;
}

QList<qint64> found(DataStore& s, const FilterClause& c)
{
    QList<qint64> out;
    const FilterStatement w = FilterStatement::of(s.backend(), c);
    RecordSet rs = s.query(QStringLiteral("select id from wj") + w.where + QStringLiteral(" order by id"), w.params);
    if (!rs)
        return {-1};
    for (; !rs.atEnd(); rs.next())
        out << rs.number(0);
    return out;
}

// A value to look for: mostly a piece of a stored value, so that searches find something.
QString pieceOf(DataStore& s, const QString& field, QRandomGenerator& rng)
{
    if (rng.bounded(4u) == 0)
        return words(rng, 2);
    const QString v = valueOf(s, QStringLiteral("select %1 from wj order by random() limit 1").arg(field)).toString();
    if (v.isEmpty())
        return words(rng, 2);
    const int from = int(rng.bounded(quint32(v.size())));
    return v.mid(from, 1 + int(rng.bounded(5u)));
}

// The search index's own check against wj.
bool indexIntact(DataStore& s)
{
    return s.execute(QStringLiteral("insert into wj_ss(wj_ss) values ('integrity-check')"));
}

// Random condition lists: the indexed search and the plain scan must find the same records.
void compareSearches(DataStore& s, QRandomGenerator& rng, int lists)
{
    QVERIFY2(indexIntact(s), qPrintable(s.lastError()));
    int hits = 0;
    for (int i = 0; i < lists; ++i) {
        QList<Condition> rows;
        const int n = 1 + int(rng.bounded(3u));
        for (int k = 0; k < n; ++k) {
            const QString field = kFields.at(int(rng.bounded(quint32(kFields.size()))));
            rows.append(Condition{field, kOps.at(int(rng.bounded(quint32(kOps.size())))), pieceOf(s, field, rng),
                                  rng.bounded(3u) == 0 ? SearchConditions::Or : SearchConditions::And});
        }
        const bool distinct = rng.bounded(4u) == 0;
        const QList<qint64> indexed = found(s, SearchConditions::build(rows, distinct, {}, true));
        const QList<qint64> plain = found(s, SearchConditions::build(rows, distinct, {}, false));
        QVERIFY2(indexed == plain, qPrintable(SearchConditions::encodeSql(rows)));
        QVERIFY(plain != QList<qint64>{-1});
        hits += plain.isEmpty() ? 0 : 1;
    }
    QVERIFY2(hits > lists / 4, "the conditions should find something often");
}

void insertRandom(DataStore& s, QRandomGenerator& rng, int n, const QStringList& groups)
{
    for (int i = 0; i < n; ++i)
        insertRecord(
            s,
            {{QStringLiteral("xh"), i},
             {QStringLiteral("bh"), QString::number(rng.bounded(1000000u)).rightJustified(10, QLatin1Char('0'))},
             {QStringLiteral("mc"), words(rng)},
             {QStringLiteral("fz"), groups.at(int(rng.bounded(quint32(groups.size()))))},
             {QStringLiteral("b1"), words(rng, 2)},
             {QStringLiteral("b7"), rng.bounded(3u) == 0 ? QString() : words(rng, 3)},
             {QStringLiteral("bz"), words(rng)},
             {QStringLiteral("scr"), rng.bounded(2u) ? QStringLiteral("Admin") : QStringLiteral("张伟")}});
}

// Takes an archive back to version 3: no search index, no triggers.
bool downgrade(DataStore& s)
{
    return s.execute(QStringLiteral("drop trigger wj_ss_ai")) && s.execute(QStringLiteral("drop trigger wj_ss_ad"))
        && s.execute(QStringLiteral("drop trigger wj_ss_au")) && s.execute(QStringLiteral("drop table wj_ss"))
        && s.execute(QStringLiteral("drop index wj_scsj")) && s.execute(QStringLiteral("drop index wj_dxsz"))
        && s.execute(QStringLiteral("PRAGMA user_version=3"));
}

// Many plain rows in one statement (no trigger on a version 3 archive).
bool fillMany(DataStore& s, int n)
{
    return s.execute(
        QStringLiteral("with recursive k(i) as (select 1 union all select i+1 from k where i<?)"
                       " insert into wj(xh,bh,mc,fz,b1,bz) select i, printf('%010d',i),"
                       " '关于' || (i % 997) || '员工培训报告' || i, 'A\\' || (i % 7), 'dept' || (i % 13), ''"
                       " from k"),
        {n});
}

class CancelAfterSteps final : public Progress {
public:
    explicit CancelAfterSteps(int steps) : m_steps(steps) {}
    void setRange(qint64, qint64) override {}
    void setValue(qint64) override { ++m_seen; }
    bool cancelled() const override { return m_seen >= m_steps; }

private:
    int m_steps;
    int m_seen = 0;
};

}  // namespace

class SearchIndexTest : public QObject {
    Q_OBJECT
private slots:
    void indexedAndPlainAgreeThroughChanges();
    void migrationBuildsTheIndex();
    void migrationGoesOnAfterCancel();
    void killedMigrationLeavesWholeArchive();
    void firstRowsAlongTheOrderThenTheRest();
};

void SearchIndexTest::indexedAndPlainAgreeThroughChanges()
{
    TestHome h;
    DataStore& s = h.store();
    QRandomGenerator rng(4242);
    GroupTree tree(s, h.context().protectedGroups);
    QVERIFY(tree.load().ok());
    QVERIFY(tree.add(0, QStringLiteral("档案室")).ok());
    QVERIFY(tree.add(tree.findPath(QStringLiteral("档案室"))->id, QStringLiteral("合同abc")).ok());
    QVERIFY(tree.add(0, QStringLiteral("目标")).ok());
    const QStringList groups{QStringLiteral("档案室"), QStringLiteral("档案室\\合同abc"), QStringLiteral("目标")};

    // Rows written one by one.
    insertRandom(s, rng, 150, groups);
    compareSearches(s, rng, 60);

    // Added, modified and deleted through the file records.
    QTemporaryDir src;
    FileRecords records(s, StoreFolder(h.context().home), h.context().currentOperator, 1 << 20);
    QList<qint64> added;
    for (int i = 0; i < 12; ++i) {
        RecordFields f;
        f.name = words(rng);
        f.group = groups.at(i % groups.size());
        f.spare[0] = words(rng, 2);
        f.remark = words(rng);
        const QString path = TestInput::writeFile(src.path(), QStringLiteral("f%1.txt").arg(i), QByteArray("content"));
        const auto r = records.add(f, path);
        QVERIFY2(r.ok(), qPrintable(r.message() + r.detail()));
        added << r->id;
    }
    for (int i = 0; i < 6; ++i) {
        RecordFields f;
        f.name = words(rng);
        f.group = groups.at(0);
        f.spare[6] = words(rng, 2);
        f.remark = words(rng);
        QVERIFY(records.modify(added.at(i), f).ok());
    }
    QVERIFY(records.remove(added.at(7)).ok());
    QVERIFY(s.execute(QStringLiteral("delete from wj where id in (select id from wj order by random() limit 20)")));
    QVERIFY(s.execute(QStringLiteral("update wj set mc=mc || 'abc' where id % 5 = 0")));
    QVERIFY(s.execute(QStringLiteral("update wj set ylcs=ylcs+1, xh=xh+1")));
    compareSearches(s, rng, 60);

    // Many rows in one transaction, as a batch run writes them.
    {
        Transaction tx(s);
        insertRandom(s, rng, 120, groups);
        QVERIFY(tx.commit());
    }
    // A batch that fails part way leaves the index as it was.
    {
        Transaction tx(s);
        insertRandom(s, rng, 30, groups);
        tx.rollback();
    }
    compareSearches(s, rng, 60);

    // A group's files copied, then the group renamed.
    LogWriter log(s, h.context().currentOperator);
    NoProgress progress;
    GroupCopy copy(s, StoreFolder(h.context().home), h.context().protectedGroups, log);
    const GroupCopy::Outcome out = copy.run(QStringLiteral("档案室"), QStringLiteral("目标"), progress);
    QVERIFY2(out.kind == GroupCopy::Outcome::Kind::Done, qPrintable(out.message));
    QVERIFY(tree.load().ok());
    QVERIFY(tree.rename(tree.findPath(QStringLiteral("档案室"))->id, QStringLiteral("新档案x_y")).ok());
    QVERIFY(valueOf(s, QStringLiteral("select count(*) from wj where fz like '新档案x_y%'")).toInt() > 0);
    compareSearches(s, rng, 80);
    const auto renamed = found(s,
                               SearchConditions::build({Condition{QStringLiteral("fz"), QStringLiteral("左包含"),
                                                                  QStringLiteral("新档案x_y"), SearchConditions::And}},
                                                       false, {}, true));
    QCOMPARE(renamed.size(),
             valueOf(s, QStringLiteral("select count(*) from wj where substr(fz,1,6)='新档案x_y'")).toInt());
    QVERIFY(found(s,
                  SearchConditions::build({Condition{QStringLiteral("fz"), QStringLiteral("左包含"),
                                                     QStringLiteral("档案室"), SearchConditions::And}},
                                          false, {}, true))
                .isEmpty());
}

void SearchIndexTest::migrationBuildsTheIndex()
{
    TestHome h;
    DataStore& s = h.store();
    QRandomGenerator rng(77);
    QVERIFY(downgrade(s));
    insertRandom(s, rng, 200, {QStringLiteral("A"), QStringLiteral("B")});
    QCOMPARE(Schema::version(s).valueOr(-1), 3);
    // Before the index is built (an older copy put back) the search scans.
    const QList<Condition> abc{
        Condition{QStringLiteral("mc"), QStringLiteral("包含"), QStringLiteral("abc"), SearchConditions::And}};
    const auto scanned = SearchConditions::compile(s, h.context().protectedGroups, abc, {});
    QVERIFY(scanned.ok());
    QVERIFY(!FilterStatement::of(s.backend(), *scanned).where.contains(QStringLiteral("wj_ss")));
    const QList<qint64> before = found(s, *scanned);
    QVERIFY(!before.isEmpty());
    QVERIFY(Schema::migrate(s).ok());
    QCOMPARE(Schema::version(s).valueOr(-1), Schema::CurrentVersion);
    QCOMPARE(valueOf(s, QStringLiteral("select count(*) from sqlite_master where name='wj_ss_jd'")).toInt(), 0);
    const auto indexed = SearchConditions::compile(s, h.context().protectedGroups, abc, {});
    QVERIFY(indexed.ok() && FilterStatement::of(s.backend(), *indexed).where.contains(QStringLiteral("wj_ss")));
    QCOMPARE(found(s, *indexed), before);
    compareSearches(s, rng, 60);
    // The triggers keep it from now on.
    insertRandom(s, rng, 20, {QStringLiteral("C")});
    QVERIFY(s.execute(QStringLiteral("delete from wj where id % 3 = 0")));
    compareSearches(s, rng, 40);
}

void SearchIndexTest::migrationGoesOnAfterCancel()
{
    TestHome h;
    DataStore& s = h.store();
    QVERIFY(downgrade(s));
    const int n = Schema::SearchIndexRows * 2 + 10;
    QVERIFY(fillMany(s, n));
    CancelAfterSteps stop(1);
    QVERIFY(!Schema::migrate(s, &stop).ok());
    QCOMPARE(Schema::version(s).valueOr(-1), 3);
    QCOMPARE(valueOf(s, QStringLiteral("select upto from wj_ss_jd")).toLongLong(),
             valueOf(s, QStringLiteral("select max(id) from (select id from wj order by id limit ?)"),
                     {Schema::SearchIndexRows})
                 .toLongLong());
    QVERIFY(Schema::migrate(s).ok());
    QCOMPARE(Schema::version(s).valueOr(-1), Schema::CurrentVersion);
    QVERIFY(indexIntact(s));
    const auto rows = QList<Condition>{
        Condition{QStringLiteral("mc"), QStringLiteral("包含"), QStringLiteral("培训报告1"), SearchConditions::And}};
    QCOMPARE(found(s, SearchConditions::build(rows, false, {}, true)),
             found(s, SearchConditions::build(rows, false, {}, false)));
}

void SearchIndexTest::killedMigrationLeavesWholeArchive()
{
    TestHome h;
    const QString path = h.databasePath();
    QVERIFY(downgrade(h.store()));
    QVERIFY(fillMany(h.store(), Schema::SearchIndexRows * 5));
    const int total = valueOf(h.store(), QStringLiteral("select count(*) from wj")).toInt();
    h.store().close();
    const bool killed = KillChild::runAndKill(
        [path] {
            DataStore s;
            if (!s.open(path) || !Schema::migrate(s).ok())
                ::_exit(3);
            for (;;)
                ::pause();
        },
        700);
    QVERIFY(killed);
    DataStore s;
    QVERIFY(s.open(path));
    QCOMPARE(valueOf(s, QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
    QCOMPARE(valueOf(s, QStringLiteral("select count(*) from wj")).toInt(), total);
    QVERIFY(Schema::migrate(s).ok());
    QCOMPARE(Schema::version(s).valueOr(-1), Schema::CurrentVersion);
    QVERIFY2(indexIntact(s), qPrintable(s.lastError()));
    const auto rows = QList<Condition>{
        Condition{QStringLiteral("mc"), QStringLiteral("右包含"), QStringLiteral("报告12345"), SearchConditions::And}};
    const auto indexed = found(s, SearchConditions::build(rows, false, {}, true));
    QCOMPARE(indexed, found(s, SearchConditions::build(rows, false, {}, false)));
    QCOMPARE(indexed.size(), 1);
}

void SearchIndexTest::firstRowsAlongTheOrderThenTheRest()
{
    TestHome h;
    DataStore& s = h.store();
    // Enough matches to read the first chunk along the order, with ties in it.
    QVERIFY(
        s.execute(QStringLiteral("with recursive k(i) as (select 1 union all select i+1 from k where i<6000)"
                                 " insert into wj(xh,bh,mc,fz) select (i * 7919) % 1500, printf('%010d',i),"
                                 " case when i % 2 = 0 then '员工培训报告' || i else '其他' || i end, 'A' from k")));
    const FilterClause clause = SearchConditions::build(
        {Condition{QStringLiteral("mc"), QStringLiteral("包含"), QStringLiteral("培训报"), SearchConditions::And}},
        false, {});
    QVERIFY(!FilterStatement::of(s.backend(), clause).candidates.isEmpty());
    const auto visible = ListQuery::visibleFilter(clause, h.context().protectedGroups, s);
    QVERIFY(visible.has_value());
    const ListQuery q = ListQuery::build(s.backend(), ListColumns::shownColumns(s).value(), *visible, QString());
    QVERIFY(q.countsCandidates);
    FileListModel model;
    QAbstractItemModelTester tester(&model);
    FileListLoader loader(&model);
    loader.start(h.archive(), q);
    QVERIFY(loader.waitUntilLoaded());
    QVERIFY(!loader.usedOrderedScan());
    QCOMPARE(model.rowCount(), 3000);
    QSet<qint64> ids;
    qint64 lastXh = -1;
    for (int r = 0; r < model.rowCount(); ++r) {
        const qint64 id = model.idAt(r);
        ids.insert(id);
        const qint64 xh = valueOf(s, QStringLiteral("select xh from wj where id=?"), {id}).toLongLong();
        QVERIFY2(xh >= lastXh, "rows in the manual order");
        lastXh = xh;
    }
    QCOMPARE(ids.size(), 3000);
    QCOMPARE(QList<qint64>(ids.begin(), ids.end()).size(), found(s, clause).size());
    for (qint64 id : found(s, clause))
        QVERIFY(ids.contains(id));
}

KV_REGISTER_TEST(SearchIndexTest)
#include "SearchIndexTest.moc"
