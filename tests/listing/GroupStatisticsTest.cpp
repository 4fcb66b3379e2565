// The statistics of a group read from the (fz, dxsz) index equal a plain
// count and sum; a large group is read along the order's index in the same
// order as the sorted read; a coded column of the model reads back as written.
#include "common/TestHome.h"
#include "common/TestRegistry.h"
#include "ListFixtures.h"

#include "archive/GroupPath.h"
#include "listing/FileListLoader.h"
#include "listing/FileListModel.h"
#include "listing/ListColumns.h"
#include "listing/ListQuery.h"
#include "listing/SortClause.h"
#include "store/Schema.h"

#include <QAbstractItemModelTester>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

namespace {

FilterClause group(const QString& path)
{
    return FilterClause::inGroup(path);
}

QString plan(DataStore& s, const QString& sql, const QVariantList& params)
{
    QStringList lines;
    RecordSet rs = s.query(QStringLiteral("explain query plan ") + sql, params);
    for (; rs && !rs.atEnd(); rs.next())
        lines << rs.text(3);
    return lines.join(QLatin1Char('\n'));
}

// Neighbours that a bare prefix, a LIKE pattern or a careless range mixes up.
const QStringList kPaths{
    "A",
    "AB",
    "A\\B",
    "A\\B\\C",
    "A\\BC",
    "A B",
    "A!",
    "A[",
    "A]",
    "A\\]",
    "A^",
    "A%",
    "A%\\x",
    "A_",
    "A_\\y",
    "A\\%",
    "A\\_",
    "a",
    "a\\b",
    "B",
    "%",
    "_",
    "%\\A",
    "_\\A",
    "100%",
    "1_0",
    "10",
    "1",
    "1\\0",
    "档案",
    "档案室",
    "档案\\2020",
    "档案\\2020\\合同",
    "档案\\20200",
    "档案室\\2020",
    "A\\B\\C\\D",
    "A\\B%",
    "A\\B_",
    "AB\\C",
    "A'",
};

}  // namespace

class GroupStatisticsTest : public QObject {
    Q_OBJECT
private slots:
    void indexedStatisticsEqualPlainCounts();
    void statisticsComeFromTheIndexAlone();
    void groupConditionIsOneRange_data();
    void groupConditionIsOneRange();
    void largeGroupReadAlongOrderIndex_data();
    void largeGroupReadAlongOrderIndex();
    void savedOrderGetsItsIndex();
    void statisticsArriveBeforeTheLastRow();
    void codedColumnsReadBack();
};

void GroupStatisticsTest::indexedStatisticsEqualPlainCounts()
{
    TestHome home;
    DataStore& s = home.store();
    QRandomGenerator rng(42);
    struct Row {
        QString fz;
        qint64 size;
    };
    QList<Row> rows;
    QVERIFY(s.begin());
    for (int i = 0; i < 3000; ++i) {
        const Row r{kPaths.at(int(rng.bounded(quint32(kPaths.size())))), qint64(rng.bounded(5000000u))};
        rows << r;
        QVERIFY(addFile(s, i + 1, QStringLiteral("f%1").arg(i), r.fz, r.size) > 0);
    }
    QVERIFY(s.commit());

    // Every path, its prefixes and a few hundred random ones besides.
    QStringList groups = kPaths;
    for (const QString& p : kPaths)
        for (int n = 1; n < p.size(); ++n)
            groups << p.left(n);
    const QString alphabet = QStringLiteral("AB\\_%a1 档案]");
    for (int i = 0; i < 600; ++i) {
        QString g;
        const int n = 1 + int(rng.bounded(4u));
        for (int k = 0; k < n; ++k)
            g += alphabet.at(int(rng.bounded(quint32(alphabet.size()))));
        groups << g;
    }
    groups.removeDuplicates();
    QVERIFY(groups.size() > 300);

    for (const QString& g : std::as_const(groups)) {
        const ListQuery q = ListQuery::build(s.backend(), {}, group(g), {});
        const auto totals = ListStatistics::read(s, q.statisticsSql, q.statisticsParams);
        QVERIFY(totals.has_value());
        // Plain: every row, by the group rule itself.
        qint64 count = 0, bytes = 0;
        for (const Row& r : std::as_const(rows))
            if (GroupPath::covers(g, r.fz)) {
                ++count;
                bytes += r.size;
            }
        QVERIFY2(totals->count == count && totals->bytes == bytes,
                 qPrintable(QStringLiteral("%1: %2/%3 against %4/%5")
                                .arg(g)
                                .arg(totals->count)
                                .arg(totals->bytes)
                                .arg(count)
                                .arg(bytes)));
        // And the same in plain SQL, without the index's range.
        RecordSet plain = s.query(QStringLiteral("select count(*),coalesce(sum(dxsz),0) from wj not indexed where fz=?"
                                                 " or substr(fz,1,length(?)+1)=?||'\\'"),
                                  {g, g, g});
        QVERIFY(plain && !plain.atEnd());
        QCOMPARE(plain.number(0), count);
        QCOMPARE(plain.number(1), bytes);
    }
}

void GroupStatisticsTest::statisticsComeFromTheIndexAlone()
{
    TestHome home;
    DataStore& s = home.store();
    const ListQuery q = ListQuery::build(s.backend(), {}, group(QStringLiteral("档案\\2020")), {});
    const QString p = plan(s, q.statisticsSql, q.statisticsParams);
    QVERIFY2(p.contains(QStringLiteral("SEARCH wj USING COVERING INDEX wj_fz_dxsz (fz>? AND fz<?)")), qPrintable(p));
}

void GroupStatisticsTest::groupConditionIsOneRange_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("plain") << "A";
    QTest::newRow("wildcards") << "A%_";
    QTest::newRow("backslash inside") << "A\\B";
    QTest::newRow("closing bracket") << "A]";
}

void GroupStatisticsTest::groupConditionIsOneRange()
{
    QFETCH(QString, path);
    const GroupPath::Condition c = GroupPath::withSubgroups(path);
    QCOMPARE(c.sql, QStringLiteral("(fz >= ? and fz < ? and (fz = ? or fz > ?))"));
    QCOMPARE(c.params, QVariantList({path, path + "]", path, path + "\\"}));
}

void GroupStatisticsTest::largeGroupReadAlongOrderIndex_data()
{
    QTest::addColumn<QString>("savedOrder");
    QTest::newRow("manual order") << QString();
    QTest::newRow("by name, descending") << QStringLiteral(" order by mc desc");
    QTest::newRow("by stored time") << QStringLiteral(" order by scsj asc,mc asc");
}

void GroupStatisticsTest::largeGroupReadAlongOrderIndex()
{
    QFETCH(QString, savedOrder);
    TestHome home;
    DataStore& s = home.store();
    const int n = FileListLoader::OrderedScanRows * 3 / 2 + 300;
    QRandomGenerator rng(3);
    QVERIFY(s.begin());
    for (int i = 0; i < n; ++i) {
        const QString fz = i % 3 == 0 ? QStringLiteral("乙") : QStringLiteral("甲\\%1").arg(i % 7);
        QVERIFY(addFile(s, int(rng.bounded(1000000u)), QStringLiteral("f%1").arg(rng.bounded(500u)), fz) > 0);
    }
    QVERIFY(s.commit());
    if (!savedOrder.isEmpty()) {
        const auto keys = SortClause::parse(savedOrder);
        QVERIFY(keys && !keys->isEmpty());
        QVERIFY(!Schema::ensureOrderIndex(s, SortClause::sortExpression(keys->first().field)).valueOr({}).isEmpty());
    }
    const auto columns = ListColumns::shownColumns(s).value_or(QList<ListColumns::Column>{});
    const ListQuery q = ListQuery::build(s.backend(), columns, group(QStringLiteral("甲")), savedOrder);
    QVERIFY(!q.orderedSql.isEmpty());
    // Along the index: no sort of the whole group before the first row.
    const QString p = plan(s, q.orderedSql, q.params);
    QVERIFY2(!p.contains(QStringLiteral("USE TEMP B-TREE FOR ORDER BY")), qPrintable(p));

    FileListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    FileListLoader loader(&model);
    loader.start(home.archive(), q);
    QVERIFY(loader.waitUntilLoaded(60000));
    QVERIFY(loader.usedOrderedScan());
    // The same rows in the same order as the sorted read.
    QList<qint64> expected;
    RecordSet rs = s.query(q.sql, q.params);
    for (; rs && !rs.atEnd(); rs.next())
        expected << rs.number(0);
    QCOMPARE(model.rowCount(), int(expected.size()));
    for (int r = 0; r < model.rowCount(); ++r)
        QVERIFY2(model.idAt(r) == expected.at(r), qPrintable(QStringLiteral("row %1").arg(r)));

    // A small group is found through fz and sorted.
    const ListQuery small = ListQuery::build(s.backend(), columns, group(QStringLiteral("甲\\3")), savedOrder);
    FileListModel smallModel;
    FileListLoader smallLoader(&smallModel);
    smallLoader.start(home.archive(), small);
    QVERIFY(smallLoader.waitUntilLoaded(60000));
    QVERIFY(!smallLoader.usedOrderedScan());
}

void GroupStatisticsTest::savedOrderGetsItsIndex()
{
    TestHome home;
    DataStore& s = home.store();
    QVERIFY(ListColumns::saveSort(s, {}, QStringLiteral(" order by dx desc")));
    QCOMPARE(valueOf(s, QStringLiteral("select count(*) from sqlite_master where type='index' and name='wj_ord_dxsz'"))
                 .toInt(),
             1);
    QCOMPARE(Schema::orderIndexName(QStringLiteral("substr(scsj,1,19)")), QStringLiteral("wj_ord_scsj"));
    QVERIFY(Schema::orderIndexName(QStringLiteral("wj; drop table wj")).isEmpty());
    QVERIFY(Schema::ensureOrderIndex(s, QStringLiteral("nosuchfield")).valueOr(QStringLiteral("failed")).isEmpty());
}

void GroupStatisticsTest::statisticsArriveBeforeTheLastRow()
{
    TestHome home;
    DataStore& s = home.store();
    const int n = FileListLoader::FirstChunkRows + 2 * FileListLoader::ChunkRows;
    QVERIFY(s.begin());
    for (int i = 0; i < n; ++i)
        QVERIFY(addFile(s, i + 1, QStringLiteral("f%1").arg(i), QStringLiteral("甲"), 10) > 0);
    QVERIFY(s.commit());
    FileListModel model;
    FileListLoader loader(&model);
    int rowsWhenStatistics = -1;
    ListStatistics::Totals got;
    connect(&loader, &FileListLoader::statisticsReady, this, [&](bool ok, const ListStatistics::Totals& t) {
        QVERIFY(ok);
        rowsWhenStatistics = model.rowCount();
        got = t;
    });
    loader.start(home.archive(), ListQuery::build(s.backend(), {}, group(QStringLiteral("甲")), {}));
    QVERIFY(loader.waitUntilLoaded(60000));
    QCOMPARE(got.count, qint64(n));
    QCOMPARE(got.bytes, qint64(10) * n);
    // Its own query on its own connection: it does not wait for the rows.
    QVERIFY2(rowsWhenStatistics < n, qPrintable(QString::number(rowsWhenStatistics)));

    // A new load cancels the old one's statistics with its rows.
    QSignalSpy stats(&loader, &FileListLoader::statisticsReady);
    loader.start(home.archive(), ListQuery::build(s.backend(), {}, group(QStringLiteral("甲")), {}));
    loader.start(home.archive(), ListQuery::build(s.backend(), {}, group(QStringLiteral("乙")), {}));
    QVERIFY(loader.waitUntilLoaded(60000));
    QCOMPARE(stats.size(), 1);
    QCOMPARE(stats.first().at(1).value<ListStatistics::Totals>().count, qint64(0));
}

void GroupStatisticsTest::codedColumnsReadBack()
{
    // A column with few values stays coded; one with many turns back to
    // texts part way through a chunk. Every cell reads as written.
    TestHome home;
    DataStore& s = home.store();
    const int n = FileListLoader::FirstChunkRows + FileListLoader::ChunkRows + ChunkColumn::MaxCodes + 1000;
    QVERIFY(s.begin());
    for (int i = 0; i < n; ++i)
        QVERIFY(addFile(s, i + 1, QStringLiteral("名称%1").arg(i), QStringLiteral("组%1").arg(i % 9), i % 5) > 0);
    QVERIFY(s.commit());
    const auto columns = ListColumns::shownColumns(s).value_or(QList<ListColumns::Column>{});
    FileListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    FileListLoader loader(&model);
    loader.start(home.archive(), ListQuery::build(s.backend(), columns, FilterClause::everything(), {}));
    QVERIFY(loader.waitUntilLoaded(60000));
    QCOMPARE(model.rowCount(), n);
    int nameColumn = -1, groupColumn = -1;
    for (int c = 0; c < model.columns().size(); ++c) {
        if (model.columns().at(c).field == QLatin1String("mc"))
            nameColumn = c;
        if (model.columns().at(c).field == QLatin1String("fz"))
            groupColumn = c;
    }
    QVERIFY(nameColumn >= 0 && groupColumn >= 0);
    for (int r = 0; r < n; ++r) {
        QCOMPARE(model.textAt(r, nameColumn), QStringLiteral("名称%1").arg(r));
        QCOMPARE(model.textAt(r, groupColumn), QStringLiteral("组%1").arg(r % 9));
        QCOMPARE(model.nameAt(r), QStringLiteral("名称%1").arg(r));
    }
    // The coded group column costs two bytes a row, far less than its texts.
    QVERIFY2(model.memoryBytes() < qsizetype(n) * 80, qPrintable(QString::number(model.memoryBytes() / n)));
}

KV_REGISTER_TEST(GroupStatisticsTest)
#include "GroupStatisticsTest.moc"
