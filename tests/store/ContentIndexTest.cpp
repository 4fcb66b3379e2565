// Finding records by their content's text: over a corpus of mixed Chinese
// and English texts, a search names exactly the records whose text holds the
// query (none missed, none too many), after texts are written again and
// records deleted, and within a scope that leaves a group out; a token's
// ids spread over many segments, written in any order, read back whole.
#include "common/TestHome.h"
#include "common/TestRegistry.h"
#include "platform/TextTokens.h"
#include "store/ContentIndex.h"
#include "store/DataStore.h"

#include <QMap>
#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <memory>

namespace {

const QString kGroupA = QStringLiteral("甲");
const QString kGroupB = QStringLiteral("乙");

// A few hundred words of two to four characters from common characters,
// with the words the queries below look for.
QStringList chineseWords()
{
    const QString chars =
        QStringLiteral("的一是在不了有和人这中大为上个国我以要他时来用们生到作地于出就分对成会可主发年动"
                       "同工也能下过子说产种面而方后多定行学法所民得经十三之进着等部度家电力里如水化高自"
                       "二理起小物现实加量都两体制机当使点从业本去把性好应开它合还因由其些然前外天政四日那"
                       "档案文件编号管理归期限密级卷宗");
    QRandomGenerator g(7);
    QStringList out{QStringLiteral("合同"), QStringLiteral("编号"),     QStringLiteral("档案管理"),
                    QStringLiteral("保密"), QStringLiteral("归档日期"), QStringLiteral("会议纪要")};
    while (out.size() < 300) {
        const int n = 2 + int(g.bounded(3));
        QString w;
        for (int i = 0; i < n; ++i)
            w += chars.at(int(g.bounded(qsizetype(chars.size()))));
        out << w;
    }
    return out;
}

const QStringList kEnglish{
    QStringLiteral("contract"),      QStringLiteral("Contractor"),
    QStringLiteral("ABC"),           QStringLiteral("abcd"),
    QStringLiteral("report"),        QStringLiteral("2026"),
    QStringLiteral("Sales"),         QStringLiteral("ontology"),
    QStringLiteral("合同ABC"),       QStringLiteral("合同 abc"),
    QStringLiteral("档案 Contract"), QStringLiteral("合同abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWX")};
const QStringList kGlue{QString(),
                        QString(),
                        QString(),
                        QStringLiteral("，"),
                        QStringLiteral("。"),
                        QStringLiteral(" "),
                        QStringLiteral("\n"),
                        QStringLiteral("-")};

QString randomText(QRandomGenerator& g, const QStringList& words)
{
    QString t;
    const int n = 5 + int(g.bounded(60));
    for (int i = 0; i < n; ++i) {
        if (g.bounded(6) == 0)
            t += kEnglish.at(int(g.bounded(qsizetype(kEnglish.size()))));
        else
            t += words.at(int(g.bounded(qsizetype(words.size()))));
        t += kGlue.at(int(g.bounded(qsizetype(kGlue.size()))));
    }
    return TextTokens::normalize(t);
}

// A substring of `length` Han characters of one of the texts (empty when the
// text picked has no such run).
QString hanPiece(QRandomGenerator& g, const QList<QString>& texts, int length)
{
    for (int tries = 0; tries < 100; ++tries) {
        const QString& t = texts.at(int(g.bounded(qsizetype(texts.size()))));
        if (t.size() < length)
            continue;
        const qsizetype at = qsizetype(g.bounded(qsizetype(t.size() - length + 1)));
        const QString piece = t.mid(at, length);
        if (std::all_of(piece.begin(), piece.end(), [](QChar c) { return TextTokens::isPaired(c.unicode()); }))
            return piece;
    }
    return {};
}

}  // namespace

class ContentIndexTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void findsExactlyTheTextsHoldingIt_data();
    void findsExactlyTheTextsHoldingIt();
    void segmentsKeepEveryIdInAnyOrder();
    void segmentsWithoutPositionsStillFind();

private:
    std::unique_ptr<TestHome> m_home;
    QMap<qint64, QString> m_texts;  // the records there, with their text
    QMap<qint64, QString> m_groups;
};

void ContentIndexTest::initTestCase()
{
    m_home = std::make_unique<TestHome>();
    DataStore& s = m_home->store();
    const QStringList words = chineseWords();
    QRandomGenerator g(2026);
    QList<ContentIndex::Item> batch;
    {
        Transaction tx(s);
        QVERIFY(tx.isActive());
        for (int i = 0; i < 2000; ++i) {
            const QString group = i % 3 == 0 ? kGroupB : kGroupA;
            QVERIFY(s.execute(QStringLiteral("insert into wj(bh,mc,fz) values (?,?,?)"),
                              {QString::number(i), QString::number(i), group}));
            m_texts.insert(s.lastInsertId(), randomText(g, words));
            m_groups.insert(s.lastInsertId(), group);
        }
        QVERIFY(tx.commit());
    }
    // Most go in by batches (one of them out of order), some one by one.
    const QList<qint64> ids = m_texts.keys();
    for (qsizetype at = 0; at < ids.size(); at += 400) {
        batch.clear();
        for (qsizetype i = at; i < qMin(at + 400, ids.size()); ++i)
            batch.append({ids[i], ContentIndex::Done, m_texts.value(ids[i])});
        if (at == 800)
            std::reverse(batch.begin(), batch.end());
        if (at == 1600) {
            Transaction tx(s);
            for (const ContentIndex::Item& item : std::as_const(batch))
                QVERIFY(ContentIndex::put(s, item.id, item.state, item.normalizedText).ok());
            QVERIFY(tx.commit());
            continue;
        }
        const Result<int> written = ContentIndex::indexBatch(s, batch);
        QVERIFY2(written.ok(), qPrintable(written.detail()));
        QCOMPARE(written.value(), int(batch.size()));
    }
    // Texts written again (some twice) and records deleted leave nothing
    // of what they said before.
    for (int i = 0; i < 150; ++i) {
        const qint64 id = ids.at(int(g.bounded(qsizetype(ids.size()))));
        if (!m_texts.contains(id))
            continue;
        if (i % 3 == 0) {
            Transaction tx(s);
            QVERIFY(ContentIndex::remove(s, id).ok());
            QVERIFY(s.execute(QStringLiteral("delete from wj where id=?"), {id}));
            QVERIFY(tx.commit());
            m_texts.remove(id);
        } else {
            const QString text = randomText(g, words);
            if (i % 2) {
                const Status put = ContentIndex::put(s, id, ContentIndex::Done, text);
                QVERIFY2(put.ok(), qPrintable(put.detail()));
            } else {
                const Result<int> written = ContentIndex::indexBatch(s, {{id, ContentIndex::Done, text}});
                QVERIFY2(written.ok(), qPrintable(written.detail()));
            }
            m_texts[id] = text;
        }
    }
    const Result<ContentIndex::Counts> counts = ContentIndex::progress(s);
    QVERIFY(counts.ok());
    QCOMPARE(counts->done, qint64(m_texts.size()));
    QCOMPARE(counts->total, qint64(m_texts.size()));
}

void ContentIndexTest::findsExactlyTheTextsHoldingIt_data()
{
    QTest::addColumn<int>("hanLength");  // 0: the query below
    QTest::addColumn<QString>("query");
    QTest::newRow("one Han character") << 1 << QString();
    QTest::newRow("two Han characters") << 2 << QString();
    QTest::newRow("three Han characters") << 3 << QString();
    QTest::newRow("six Han characters") << 6 << QString();
    QTest::newRow("English word") << 0 << "Contract";
    QTest::newRow("Chinese and letters") << 0 << "合同ABC";
    QTest::newRow("Chinese then a word beginning") << 0 << "档案 con";
    QTest::newRow("piece of a word") << 0 << "ontr";
    QTest::newRow("Chinese and a long word") << 0 << "合同abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrs";
    QTest::newRow("across punctuation") << 0 << "，合同";
    QTest::newRow("held by none") << 0 << "不存在的词xyz";
}

void ContentIndexTest::findsExactlyTheTextsHoldingIt()
{
    QFETCH(int, hanLength);
    QFETCH(QString, query);
    DataStore& s = m_home->store();
    QRandomGenerator g(uint(hanLength) * 31 + 5);
    const QList<QString> texts = m_texts.values();
    QStringList queries;
    if (hanLength == 0)
        queries << TextTokens::normalize(query);
    for (int i = 0; hanLength > 0 && i < 25; ++i)
        queries << hanPiece(g, texts, hanLength);
    const RecordFilter withoutB = RecordFilter::everything().excludingGroups({kGroupB});
    for (const QString& q : std::as_const(queries)) {
        QVERIFY(!q.isEmpty());
        QList<qint64> expected, expectedInA;
        for (auto it = m_texts.cbegin(); it != m_texts.cend(); ++it) {
            if (!it.value().contains(q))
                continue;
            expected << it.key();
            if (m_groups.value(it.key()) == kGroupA)
                expectedInA << it.key();
        }
        const Result<QList<qint64>> all = ContentIndex::find(s, q, RecordFilter::everything(), 0);
        QVERIFY2(all.ok(), qPrintable(all.detail()));
        QCOMPARE(all.value(), expected);
        const Result<QList<qint64>> inA = ContentIndex::find(s, q, withoutB, 0);
        QVERIFY2(inA.ok(), qPrintable(inA.detail()));
        QCOMPARE(inA.value(), expectedInA);
        if (!expected.isEmpty()) {
            const Result<QList<qint64>> first = ContentIndex::find(s, q, RecordFilter::everything(), 3);
            QVERIFY(first.ok());
            QCOMPARE(first.value(), expected.mid(0, 3));
            const Result<QString> around = ContentIndex::excerpt(s, expected.first(), q, 10);
            QVERIFY(around.ok());
            QVERIFY2(around->contains(q), qPrintable(around.value()));
        }
    }
}

void ContentIndexTest::segmentsKeepEveryIdInAnyOrder()
{
    TestHome home;
    DataStore& s = home.store();
    QList<qint64> ids;
    {
        Transaction tx(s);
        for (int i = 0; i < 1500; ++i) {
            QVERIFY(s.execute(QStringLiteral("insert into wj(bh,mc,fz) values ('','',?)"), {kGroupA}));
            ids << s.lastInsertId();
        }
        QVERIFY(tx.commit());
    }
    // Every third record says it; they come in shuffled, by batches and one
    // at a time, with gaps from 1 to 3 and one jump over many ids.
    QList<qint64> holding;
    for (qsizetype i = 0; i < ids.size(); i += (i < 600 ? 3 : 1))
        holding << ids[i];
    QList<qint64> order = holding;
    std::shuffle(order.begin(), order.end(), std::mt19937(11));
    const QString text = TextTokens::normalize(QStringLiteral("归档 contract"));
    for (qsizetype at = 0; at < order.size(); at += 300) {
        QList<ContentIndex::Item> batch;
        for (qsizetype i = at; i < qMin(at + 300, order.size()); ++i)
            batch.append({order[i], ContentIndex::Done, text});
        if (at == 300) {
            Transaction tx(s);
            for (const ContentIndex::Item& item : std::as_const(batch))
                QVERIFY(ContentIndex::put(s, item.id, item.state, text).ok());
            QVERIFY(tx.commit());
            continue;
        }
        QVERIFY(ContentIndex::indexBatch(s, batch).ok());
    }
    // The first, a middle one and the last lose it.
    for (const qint64 id : {holding.first(), holding.at(holding.size() / 2), holding.last()}) {
        QVERIFY(ContentIndex::put(s, id, ContentIndex::Done, TextTokens::normalize(QStringLiteral("其他"))).ok());
        holding.removeOne(id);
    }
    std::sort(holding.begin(), holding.end());
    for (const QString& q : {QStringLiteral("归档"), QStringLiteral("档"), QStringLiteral("contract")}) {
        const Result<QList<qint64>> found = ContentIndex::find(s, q, RecordFilter::everything(), 0);
        QVERIFY2(found.ok(), qPrintable(found.detail()));
        QCOMPARE(found.value(), holding);
    }
    QVERIFY(valueOf(s, QStringLiteral("select count(*) from wjsy where token=?"), {QStringLiteral("归档")}).toInt()
            > int(holding.size()) / ContentIndex::SegmentIds);
    QCOMPARE(valueOf(s, QStringLiteral("select sum(n) from wjsy where token=?"), {QStringLiteral("归档")}).toInt(),
             int(holding.size()));
    QVERIFY(valueOf(s, QStringLiteral("select max(n) from wjsy")).toInt() <= ContentIndex::SegmentIds);
    const Result<QList<qint64>> waiting = ContentIndex::waiting(s, 5, 0);
    QVERIFY(waiting.ok());
    QCOMPARE(waiting->size(), 5);
    QVERIFY(!holding.contains(waiting->first()));
}

// An archive indexed before positions were kept (pm NULL) finds the same,
// also once new texts are merged into its segments.
void ContentIndexTest::segmentsWithoutPositionsStillFind()
{
    DataStore& s = m_home->store();
    QRandomGenerator g(99);
    const QList<QString> texts = m_texts.values();
    QStringList queries{TextTokens::normalize(QStringLiteral("档案 con")), QStringLiteral("合同abc")};
    for (int i = 0; i < 10; ++i)
        queries << hanPiece(g, texts, 2 + i % 5);
    QList<QList<qint64>> before;
    for (const QString& q : std::as_const(queries))
        before << ContentIndex::find(s, q, RecordFilter::everything(), 0).value();
    QVERIFY(s.execute(QStringLiteral("update wjsy set pm = null")));
    for (qsizetype i = 0; i < queries.size(); ++i)
        QCOMPARE(ContentIndex::find(s, queries[i], RecordFilter::everything(), 0).value(), before[i]);
    const qint64 id = m_texts.firstKey();
    const QString text = queries.join(QLatin1Char('x'));
    QVERIFY(ContentIndex::put(s, id, ContentIndex::Done, text).ok());
    m_texts[id] = text;
    for (const QString& q : std::as_const(queries)) {
        QList<qint64> expected;
        for (auto it = m_texts.cbegin(); it != m_texts.cend(); ++it)
            if (it.value().contains(q))
                expected << it.key();
        QCOMPARE(ContentIndex::find(s, q, RecordFilter::everything(), 0).value(), expected);
    }
}

KV_REGISTER_TEST(ContentIndexTest)
#include "ContentIndexTest.moc"
