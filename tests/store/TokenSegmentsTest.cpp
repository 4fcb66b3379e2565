// The posting lists of wjsy and wjzs: postings added in any order, one at a
// time and in batches, dropped, and read back whole, in range and by
// prefix, with their positions; rows stay within their bounds; a segment
// written without positions (NULL pm) reads as all positions.
#include "common/TestHome.h"
#include "common/TestRegistry.h"
#include "store/DataStore.h"
#include "store/TokenSegments.h"

#include <QRandomGenerator>
#include <QTest>

#include <map>

using TokenSegments::AllPositions;
using TokenSegments::Posting;
using TokenSegments::Postings;

namespace {

Postings asPostings(const std::map<qint64, quint16>& m)
{
    Postings out;
    for (const auto& [id, p] : m)
        out.push_back({id, p});
    return out;
}

bool same(const Postings& a, const Postings& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const Posting& x, const Posting& y) { return x.id == y.id && x.positions == y.positions; });
}

}  // namespace

class TokenSegmentsTest : public QObject {
    Q_OBJECT
private slots:
    void keepsEveryPostingInAnyOrder_data();
    void keepsEveryPostingInAnyOrder();
    void readsByPrefix();
    void segmentsWithoutPositions();
};

void TokenSegmentsTest::keepsEveryPostingInAnyOrder_data()
{
    QTest::addColumn<QString>("table");
    QTest::newRow("content") << "wjsy";
    QTest::newRow("fields") << "wjzs";
}

void TokenSegmentsTest::keepsEveryPostingInAnyOrder()
{
    QFETCH(QString, table);
    TestHome home;
    DataStore& s = home.store();
    const QString token = QStringLiteral("归档");
    QRandomGenerator g(5);
    std::map<qint64, quint16> want;
    // Ids with gaps of 1 to 3, a jump far ahead, positions of every kind.
    std::vector<Posting> all;
    qint64 id = 10;
    for (int i = 0; i < 3000; ++i) {
        id += i == 1500 ? 5000000 : 1 + qint64(g.bounded(3));
        all.push_back({id, i % 5 == 0 ? AllPositions : quint16(1u << g.bounded(16) | 1u << g.bounded(16))});
    }
    std::vector<Posting> order = all;
    std::shuffle(order.begin(), order.end(), std::mt19937(3));
    Transaction tx(s);
    QVERIFY(tx.isActive());
    {
        TokenSegments::Appender appender(s, table);
        for (size_t at = 0; at < order.size(); at += 250) {
            Postings batch(order.begin() + qsizetype(at), order.begin() + qsizetype(qMin(at + 250, order.size())));
            std::sort(batch.begin(), batch.end(), [](const Posting& a, const Posting& b) { return a.id < b.id; });
            for (const Posting& p : batch)
                want[p.id] = p.positions;
            const Status added = at % 500 ? appender.add(token, batch) : TokenSegments::add(s, table, token, batch);
            QVERIFY2(added.ok(), qPrintable(added.detail()));
        }
        // Again, in ascending order (the catch-up's usual case).
        Postings more;
        for (int i = 1; i <= 700; ++i)
            more.push_back({id + i * 2, quint16(i)});
        for (const Posting& p : more)
            want[p.id] = p.positions;
        QVERIFY(appender.add(token, more).ok());
    }
    // An id held already takes the new positions.
    const qint64 held = all[700].id;
    QVERIFY(TokenSegments::add(s, table, token, {{held, 0x0101}}).ok());
    want[held] = 0x0101;
    for (const qint64 gone : {all.front().id, all[1500].id, want.rbegin()->first, qint64(1)}) {
        QVERIFY(TokenSegments::drop(s, table, token, gone).ok());
        want.erase(gone);
    }
    QVERIFY(tx.commit());

    const Result<Postings> read = TokenSegments::read(s, table, token);
    QVERIFY2(read.ok(), qPrintable(read.detail()));
    QVERIFY(same(*read, asPostings(want)));
    QCOMPARE(TokenSegments::count(s, table, token).value(), qint64(want.size()));
    std::map<qint64, quint16> middle(want.lower_bound(all[1000].id + 1), want.upper_bound(all[2000].id));
    const Result<Postings> between = TokenSegments::readBetween(s, table, token, all[1000].id + 1, all[2000].id);
    QVERIFY(between.ok());
    QVERIFY(same(*between, asPostings(middle)));
    QVERIFY(valueOf(s, QStringLiteral("select max(n) from %1").arg(table)).toInt() <= TokenSegments::SegmentIds);
    QVERIFY(valueOf(s, QStringLiteral("select max(length(ids) + coalesce(length(pm), 0)) from %1").arg(table)).toInt()
            <= TokenSegments::SegmentBytes);
    QVERIFY(!TokenSegments::read(s, QStringLiteral("wj"), token).ok());
}

void TokenSegmentsTest::readsByPrefix()
{
    TestHome home;
    DataStore& s = home.store();
    const QString t = QStringLiteral("wjzs");
    QVERIFY(TokenSegments::add(s, t, QStringLiteral("con"), {{1, 0x1}, {4, 0x2}}).ok());
    QVERIFY(TokenSegments::add(s, t, QStringLiteral("contract"), {{2, 0x4}, {4, 0x8}}).ok());
    QVERIFY(TokenSegments::add(s, t, QStringLiteral("cat"), {{3, 0x10}}).ok());
    QVERIFY(TokenSegments::add(s, t, QStringLiteral("cono"), {{5, AllPositions}}).ok());
    const Result<Postings> p = TokenSegments::readPrefixed(s, t, QStringLiteral("con"));
    QVERIFY(p.ok());
    QVERIFY(same(*p, {{1, 0x1}, {2, 0x4}, {4, 0xA}, {5, AllPositions}}));
    QCOMPARE(TokenSegments::readPrefixed(s, t, QStringLiteral("contracts"))->size(), size_t(0));
}

void TokenSegmentsTest::segmentsWithoutPositions()
{
    TestHome home;
    DataStore& s = home.store();
    const QString t = QStringLiteral("wjsy");
    // Written before positions were kept: ids 5, 6, 9.
    QVERIFY(s.execute(QStringLiteral("insert into wjsy(token, first_id, n, ids, pm) values ('档案', 5, 3, ?, null)"),
                      {QByteArray("\x01\x03", 2)}));
    QVERIFY(same(*TokenSegments::read(s, t, QStringLiteral("档案")),
                 {{5, AllPositions}, {6, AllPositions}, {9, AllPositions}}));
    // Postings that say nothing keep the row without positions.
    {
        Transaction tx(s);
        TokenSegments::Appender appender(s, t);
        QVERIFY(appender.add(QStringLiteral("档案"), {{12, AllPositions}}).ok());
        QVERIFY(tx.commit());
    }
    QVERIFY(valueOf(s, QStringLiteral("select pm from wjsy where token='档案'")).isNull());
    // One that says where gives every id of its row two bytes.
    {
        Transaction tx(s);
        TokenSegments::Appender appender(s, t);
        QVERIFY(appender.add(QStringLiteral("档案"), {{14, 0x8001}}).ok());
        QVERIFY(tx.commit());
    }
    QCOMPARE(valueOf(s, QStringLiteral("select pm from wjsy where token='档案'")).toByteArray(),
             QByteArray("\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x01\x80", 10));
    QVERIFY(same(*TokenSegments::read(s, t, QStringLiteral("档案")),
                 {{5, AllPositions}, {6, AllPositions}, {9, AllPositions}, {12, AllPositions}, {14, 0x8001}}));
    QVERIFY(TokenSegments::drop(s, t, QStringLiteral("档案"), 14).ok());
    QCOMPARE(TokenSegments::count(s, t, QStringLiteral("档案")).value(), qint64(4));
}

KV_REGISTER_TEST(TokenSegmentsTest)
#include "TokenSegmentsTest.moc"
