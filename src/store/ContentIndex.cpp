#include "store/ContentIndex.h"

#include "platform/Clock.h"
#include "platform/TextTokens.h"
#include "store/Backend.h"
#include "store/DataStore.h"
#include "store/ListStatements.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <limits>
#include <span>
#include <vector>

namespace ContentIndex {

namespace {

using Ids = std::vector<qint64>;

// One row of wjsy, decoded.
struct Segment {
    qint64 first = 0;
    Ids ids;
};

const QString kTail = QStringLiteral("select first_id, n, ids from wjsy where token=? order by first_id desc limit 1");
const QString kCover =
    QStringLiteral("select first_id, n, ids from wjsy where token=? and first_id<=? order by first_id desc limit 1");
const QString kBetween =
    QStringLiteral("select first_id, n, ids from wjsy where token=? and first_id>=? and first_id<=? order by first_id");
const QString kPrefixed = QStringLiteral("select first_id, n, ids from wjsy where token>=? and token<?");
const QString kCount = QStringLiteral("select sum(n) from wjsy where token=?");
const QString kDeleteSegment = QStringLiteral("delete from wjsy where token=? and first_id=?");
const QString kReadText = QStringLiteral("select sy, nr from wjwb where id=?");
const QString kDeleteText = QStringLiteral("delete from wjwb where id=?");
const QString kTextOnly = QStringLiteral("select nr from wjwb where id=?");
const QString kWaiting = QStringLiteral(
    "select id from wj where id>? and not exists (select 1 from wjwb where wjwb.id = wj.id and wjwb.zt <> 0"
    " and wjwb.sy = 1) order by id limit ?");
const QString kTotal = QStringLiteral("select count(*) from wj");
const QString kDone =
    QStringLiteral("select count(*) from wjwb join wj on wj.id = wjwb.id where wjwb.zt <> 0 and wjwb.sy = 1");

constexpr qint64 kNoLowerBound = std::numeric_limits<qint64>::min();
// Candidates confirmed per statement; unused places hold an id no record has.
constexpr int kConfirmIds = 64;

Status failed(DataStore& store, const QString& what)
{
    return Status::fail(QString(), what + QStringLiteral(": ") + store.lastError());
}

QString segmentUpsert(DataStore& store)
{
    return store.backend().upsert(
        QStringLiteral("wjsy"),
        {QStringLiteral("token"), QStringLiteral("first_id"), QStringLiteral("n"), QStringLiteral("ids")},
        {QStringLiteral("token"), QStringLiteral("first_id")});
}

QString textUpsert(DataStore& store)
{
    return store.backend().upsert(QStringLiteral("wjwb"),
                                  {QStringLiteral("id"), QStringLiteral("zt"), QStringLiteral("nr"),
                                   QStringLiteral("sj"), QStringLiteral("cd"), QStringLiteral("sy")},
                                  {QStringLiteral("id")});
}

inline int varintLength(quint64 v)
{
    int n = 1;
    while (v >= 0x80) {
        v >>= 7;
        ++n;
    }
    return n;
}

inline void appendVarint(QByteArray& out, quint64 v)
{
    while (v >= 0x80) {
        out.append(char(0x80 | (v & 0x7F)));
        v >>= 7;
    }
    out.append(char(v));
}

// The gaps between ids[from..to) as varints (the first id is the row's key).
QByteArray encodeGaps(std::span<const qint64> ids, size_t from, size_t to)
{
    QByteArray out;
    out.reserve(int(to - from) * 2);
    for (size_t i = from + 1; i < to; ++i)
        appendVarint(out, quint64(ids[i] - ids[i - 1]));
    return out;
}

// Appends the n ids of a segment to out; false when the row is not whole.
bool decode(qint64 first, qint64 n, QByteArrayView gaps, Ids& out)
{
    if (n < 1)
        return false;
    out.push_back(first);
    const auto* p = reinterpret_cast<const unsigned char*>(gaps.data());
    const auto* end = p + gaps.size();
    qint64 id = first;
    for (qint64 i = 1; i < n; ++i) {
        quint64 v = 0;
        int shift = 0;
        for (;;) {
            if (p == end || shift > 63)
                return false;
            const unsigned char b = *p++;
            v |= quint64(b & 0x7F) << shift;
            if (!(b & 0x80))
                break;
            shift += 7;
        }
        if (v == 0)
            return false;
        id += qint64(v);
        out.push_back(id);
    }
    return p == end;
}

// Reads the segment rows of one statement; each decoded ids are handed to f
// with the segment's first id.
template <typename F> Status readSegments(DataStore& store, const QString& sql, const QVariantList& params, F&& f)
{
    RecordSet rs = store.query(sql, params);
    if (!rs)
        return failed(store, QStringLiteral("wjsy"));
    for (; !rs.atEnd(); rs.next()) {
        Segment s;
        s.first = rs.number(0);
        const QByteArray gaps = rs.bytes(2);
        if (!decode(s.first, rs.number(1), gaps, s.ids))
            return Status::fail(QString(), QStringLiteral("wjsy: a segment that cannot be read at %1").arg(s.first));
        f(std::move(s));
    }
    return {};
}

Result<std::optional<Segment>> readOne(DataStore& store, const QString& sql, const QVariantList& params)
{
    std::optional<Segment> found;
    const Status read = readSegments(store, sql, params, [&found](Segment s) { found = std::move(s); });
    if (!read)
        return read.failure();
    return found;
}

// Writes ids (ascending) as segments, greedily filled; the first keeps the
// key `oldFirst` when it had one (else a row under that key is taken out).
// With `upsertStream` (the upsert, started), the rows go through it, their
// values in `scratch`.
Status writeSegments(DataStore& store, const QString& token, std::span<const qint64> ids,
                     std::optional<qint64> oldFirst, RowStream* upsertStream = nullptr, QVariantList* scratch = nullptr)
{
    if (oldFirst && (ids.empty() || ids.front() != *oldFirst)) {
        if (!store.execute(kDeleteSegment, {token, *oldFirst}))
            return failed(store, QStringLiteral("wjsy"));
    }
    const QString upsert = upsertStream ? QString() : segmentUpsert(store);
    size_t begin = 0;
    while (begin < ids.size()) {
        size_t end = begin + 1;
        int bytes = 0;
        while (end < ids.size() && int(end - begin) < SegmentIds) {
            const int len = varintLength(quint64(ids[end] - ids[end - 1]));
            if (bytes + len > SegmentBytes)
                break;
            bytes += len;
            ++end;
        }
        const QByteArray gaps = encodeGaps(ids, begin, end);
        const QVariant blob = gaps.isEmpty() ? QVariant() : QVariant(gaps);
        if (upsertStream) {
            QVariantList& values = *scratch;
            values[0] = token;
            values[1] = ids[begin];
            values[2] = qint64(end - begin);
            values[3] = blob;
            if (!upsertStream->rerun(values) || upsertStream->step() != RowStream::Step::Done)
                return Status::fail(QString(), QStringLiteral("wjsy: ") + upsertStream->error());
        } else if (!store.execute(upsert, {token, ids[begin], qint64(end - begin), blob})) {
            return failed(store, QStringLiteral("wjsy"));
        }
        begin = end;
    }
    return {};
}

Ids merged(const Ids& a, const Ids& b)
{
    Ids out;
    out.reserve(a.size() + b.size());
    std::set_union(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out;
}

// Adds ids (ascending, distinct) to token's segments: those from the last
// segment's first id on go into the last segment (filled up, then new ones
// after it); a lower id goes into the segment that covers it, re-encoded.
Status addIds(DataStore& store, const QString& token, const Ids& add)
{
    if (add.empty())
        return {};
    const Result<std::optional<Segment>> tail = readOne(store, kTail, {token});
    if (!tail)
        return tail.failure();
    if (!tail->has_value())
        return writeSegments(store, token, add, std::nullopt);
    const Segment& last = **tail;
    const auto high = std::lower_bound(add.begin(), add.end(), last.first);
    if (high != add.begin()) {
        // Lower ids: the segments from the one covering the lowest up to the
        // last one (not included), each taking the ids it covers; one below
        // every segment goes into the first.
        const Ids low(add.begin(), high);
        const Result<std::optional<Segment>> cover = readOne(store, kCover, {token, low.front()});
        if (!cover)
            return cover.failure();
        std::vector<Segment> before;
        const Status read =
            readSegments(store, kBetween, {token, cover->has_value() ? (*cover)->first : kNoLowerBound, last.first - 1},
                         [&before](Segment s) { before.push_back(std::move(s)); });
        if (!read)
            return read;
        if (before.empty())  // the last segment is the only one: all go there
            return writeSegments(store, token, merged(last.ids, add), last.first);
        size_t at = 0;
        for (size_t i = 0; i < before.size() && at < low.size(); ++i) {
            const qint64 nextFirst = i + 1 < before.size() ? before[i + 1].first : last.first;
            Ids mine;
            while (at < low.size() && low[at] < nextFirst)
                mine.push_back(low[at++]);
            if (mine.empty())
                continue;
            const Status written = writeSegments(store, token, merged(before[i].ids, mine), before[i].first);
            if (!written)
                return written;
        }
        if (at < low.size())
            return Status::fail(QString(), QStringLiteral("wjsy: segments of a token out of order"));
    }
    if (high == add.end())
        return {};
    return writeSegments(store, token, merged(last.ids, Ids(high, add.end())), last.first);
}

// Takes id out of token's segments.
Status dropId(DataStore& store, const QString& token, qint64 id)
{
    const Result<std::optional<Segment>> cover = readOne(store, kCover, {token, id});
    if (!cover)
        return cover.failure();
    if (!cover->has_value())
        return {};
    Segment s = std::move(**cover);
    const auto it = std::lower_bound(s.ids.begin(), s.ids.end(), id);
    if (it == s.ids.end() || *it != id)
        return {};
    s.ids.erase(it);
    return writeSegments(store, token, s.ids, s.first);
}

QSet<QString> tokenSet(const QString& normalized)
{
    QSet<QString> out;
    const QList<TextTokens::Token> all = TextTokens::tokens(normalized);
    out.reserve(all.size());
    for (const TextTokens::Token& t : all)
        out.insert(t.text);
    return out;
}

struct OldText {
    bool indexed = false;
    QString text;
};

Result<OldText> readOld(DataStore& store, qint64 id)
{
    RecordSet rs = store.query(kReadText, {id});
    if (!rs)
        return failed(store, QStringLiteral("wjwb")).failure();
    if (rs.atEnd())
        return OldText{};
    return OldText{rs.number(0) == 1, rs.text(1)};
}

Status writeText(DataStore& store, qint64 id, int state, const QString& text, const QString& when)
{
    if (!store.execute(textUpsert(store), {id, state, text, when, qint64(text.size()), 1}))
        return failed(store, QStringLiteral("wjwb"));
    return {};
}

// Runs f inside the caller's transaction, or in one of its own when there
// is none.
template <typename F> Status inTransaction(DataStore& store, F&& f)
{
    if (store.inTransaction())
        return f();
    Transaction tx(store);
    if (!tx.isActive())
        return failed(store, QStringLiteral("begin"));
    const Status done = f();
    if (!done)
        return done;
    if (!tx.commit())
        return failed(store, QStringLiteral("commit"));
    return {};
}

Status putNow(DataStore& store, qint64 id, int state, const QString& text)
{
    const Result<OldText> old = readOld(store, id);
    if (!old)
        return old.failure();
    const QSet<QString> before = old->indexed ? tokenSet(old->text) : QSet<QString>();
    const QSet<QString> after = tokenSet(text);
    for (const QString& t : before) {
        if (after.contains(t))
            continue;
        const Status dropped = dropId(store, t, id);
        if (!dropped)
            return dropped;
    }
    const Ids one{id};
    for (const QString& t : after) {
        if (before.contains(t))
            continue;
        const Status added = addIds(store, t, one);
        if (!added)
            return added;
    }
    return writeText(store, id, state, text, Clock::timeText(QDateTime::currentDateTime()));
}

Status removeNow(DataStore& store, qint64 id)
{
    const Result<OldText> old = readOld(store, id);
    if (!old)
        return old.failure();
    if (old->indexed) {
        for (const QString& t : tokenSet(old->text)) {
            const Status dropped = dropId(store, t, id);
            if (!dropped)
                return dropped;
        }
    }
    if (!store.execute(kDeleteText, {id}))
        return failed(store, QStringLiteral("wjwb"));
    return {};
}

// Every id of the segments between `from` and `to` (first ids), ascending.
Status idsOf(DataStore& store, const QString& token, qint64 from, qint64 to, Ids& out)
{
    return readSegments(store, kBetween, {token, from, to},
                        [&out](Segment s) { out.insert(out.end(), s.ids.begin(), s.ids.end()); });
}

Ids intersected(const Ids& a, const Ids& b)
{
    Ids out;
    std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out;
}

// The records holding every Exact token and a token beginning with every
// Prefix token; nullopt when the query has neither (no record is ruled out).
Result<std::optional<Ids>> candidates(DataStore& store, const QString& query)
{
    QList<QPair<qint64, QString>> exact;
    QStringList prefixes;
    for (const TextTokens::QueryToken& t : TextTokens::queryTokens(query)) {
        if (t.match == TextTokens::QueryToken::Prefix) {
            prefixes << t.text;
        } else if (t.match == TextTokens::QueryToken::Exact) {
            const Result<std::optional<QVariant>> n = store.scalar(kCount, {t.text});
            if (!n)
                return n.failure();
            const qint64 count = n->value_or(QVariant()).toLongLong();
            if (count == 0)
                return std::optional<Ids>(Ids());
            exact.append({count, t.text});
        }
    }
    if (exact.isEmpty() && prefixes.isEmpty())
        return std::optional<Ids>();
    // The rarest first: each next token only needs its segments over the
    // span of the candidates left.
    std::sort(exact.begin(), exact.end());
    std::optional<Ids> found;
    for (const auto& [count, token] : std::as_const(exact)) {
        Ids ids;
        qint64 from = kNoLowerBound;
        qint64 to = std::numeric_limits<qint64>::max();
        if (found) {
            if (found->empty())
                break;
            const Result<std::optional<Segment>> cover = readOne(store, kCover, {token, found->front()});
            if (!cover)
                return cover.failure();
            if (cover->has_value())
                from = (*cover)->first;
            to = found->back();
        }
        const Status read = idsOf(store, token, from, to, ids);
        if (!read)
            return read.failure();
        found = found ? intersected(*found, ids) : std::move(ids);
    }
    // No token holds U+10FFFF (not a letter), so every token beginning with
    // p sorts before p followed by it, in UTF-8 and UTF-16 alike.
    const QString above = QString::fromUcs4(U"\U0010FFFF", 1);
    for (const QString& p : std::as_const(prefixes)) {
        if (found && found->empty())
            break;
        Ids ids;
        const Status read = readSegments(store, kPrefixed, {p, p + above},
                                         [&ids](Segment s) { ids.insert(ids.end(), s.ids.begin(), s.ids.end()); });
        if (!read)
            return read.failure();
        std::sort(ids.begin(), ids.end());
        ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
        found = found ? intersected(*found, ids) : std::move(ids);
    }
    return found;
}

// The tokens of a batch of texts with the records holding each, gathered
// without a string per token: a pair or single character of the paired
// scripts is known by its code points, a word by a view into its text
// (the texts outlive the gathering).
class Gathering {
public:
    // `units`: the length of the texts together, for room enough at once.
    explicit Gathering(qsizetype units)
    {
        grow(1 << 16);
        // Most tokens of a text are met once in it: about one a character.
        m_postings.reserve(size_t(units));
    }

    // Adds the tokens of the text of the record numbered `ordinal` (numbers
    // ascending with the records' ids).
    void add(quint32 ordinal, QStringView text)
    {
        TextTokens::forEachToken(text, [&](QStringView token, bool paired) {
            quint32* last = nullptr;
            const quint32 e = paired ? pairedEntry(token, &last) : wordEntry(token, &last);
            if (*last == ordinal)
                return;
            *last = ordinal;
            m_postings.push_back({e, ordinal});
        });
    }

    // Calls f(token, ids) for every token, in the order of the index's key
    // where it is cheap to know (paired ones by code point, then words).
    template <typename F> Status forEachToken(const std::vector<qint64>& idOf, F&& f) const
    {
        std::vector<quint32> offset(m_entries.size() + 1, 0);
        for (const auto& posting : m_postings)
            ++offset[posting.first + 1];
        for (size_t e = 0; e < m_entries.size(); ++e)
            offset[e + 1] += offset[e];
        std::vector<quint32> ordinals(m_postings.size());
        {
            std::vector<quint32> at(offset.begin(), offset.end() - 1);
            for (const auto& [e, ordinal] : m_postings)
                ordinals[at[e]++] = ordinal;
        }
        std::vector<quint32> order(m_entries.size());
        for (quint32 e = 0; e < order.size(); ++e)
            order[e] = e;
        std::sort(order.begin(), order.end(), [this](quint32 a, quint32 b) {
            const Entry& x = m_entries[a];
            const Entry& y = m_entries[b];
            if ((x.key == 0) != (y.key == 0))
                return x.key != 0;
            return x.key != 0 ? x.key < y.key : x.text < y.text;
        });
        Ids ids;
        for (const quint32 e : order) {
            ids.clear();
            for (quint32 i = offset[e]; i < offset[e + 1]; ++i)
                ids.push_back(idOf[ordinals[i]]);
            const Status done = f(m_entries[e].text.toString(), ids);
            if (!done)
                return done;
        }
        return {};
    }

private:
    static constexpr quint32 None = std::numeric_limits<quint32>::max();

    struct Entry {
        quint64 key = 0;      // paired: the code points; words: 0
        QStringView text;     // where it was first met
        quint32 last = None;  // words: the last record holding it
    };
    // A place of the table of paired tokens: its key, its entry and the last
    // record holding it side by side, so that a token met is one look.
    struct Place {
        quint64 key = 0;
        quint32 entry = 0;
        quint32 last = None;
    };

    // One or two code points, the first above the second, as one number
    // ordered as the text is (never 0).
    static quint64 keyOf(QStringView token)
    {
        const char16_t* p = token.utf16();
        const char16_t* end = p + token.size();
        auto next = [&]() -> char32_t {
            const char16_t u = *p++;
            if (QChar::isHighSurrogate(u) && p < end && QChar::isLowSurrogate(*p))
                return QChar::surrogateToUcs4(u, *p++);
            return u;
        };
        const quint64 first = next();
        const quint64 second = p < end ? next() : 0;
        return (first << 21) | second;
    }

    size_t home(quint64 key) const { return size_t((key * 0x9E3779B97F4A7C15ull) >> m_shift); }

    quint32 pairedEntry(QStringView token, quint32** last)
    {
        const quint64 key = keyOf(token);
        const size_t mask = m_table.size() - 1;
        size_t i = home(key);
        while (m_table[i].key != key && m_table[i].key != 0)
            i = (i + 1) & mask;
        if (m_table[i].key == 0) {
            m_table[i] = Place{key, quint32(m_entries.size()), None};
            m_entries.push_back({key, token, None});
            if (++m_used * 2 > m_table.size()) {
                grow(m_table.size() * 2);
                i = home(key);
                while (m_table[i].key != key)
                    i = (i + 1) & (m_table.size() - 1);
            }
        }
        *last = &m_table[i].last;
        return m_table[i].entry;
    }

    quint32 wordEntry(QStringView token, quint32** last)
    {
        auto it = m_words.find(token);
        if (it == m_words.end()) {
            it = m_words.insert(token, quint32(m_entries.size()));
            m_entries.push_back({0, token, None});
        }
        *last = &m_entries[it.value()].last;
        return it.value();
    }

    void grow(size_t size)
    {
        std::vector<Place> table(size);
        int shift = 64;
        for (size_t n = size; n > 1; n >>= 1)
            --shift;
        m_shift = shift;
        for (const Place& p : m_table) {
            if (p.key == 0)
                continue;
            size_t j = home(p.key);
            while (table[j].key != 0)
                j = (j + 1) & (size - 1);
            table[j] = p;
        }
        m_table = std::move(table);
    }

    std::vector<Entry> m_entries;
    std::vector<std::pair<quint32, quint32>> m_postings;  // entry, record
    std::vector<Place> m_table;
    int m_shift = 64;
    size_t m_used = 0;
    QHash<QStringView, quint32> m_words;
};

// The two statements of a batch run once per token, prepared once and run
// again with each token's values straight on the connection; without a
// stream (an engine that has none) the store's own statements serve.
struct SegmentStatements {
    explicit SegmentStatements(DataStore& store)
        : tail(store.backend().rowStream(store)), write(store.backend().rowStream(store))
    {
        if (!tail || !write || !tail->start(kTail.toUtf8(), tailValues)
            || !write->start(segmentUpsert(store).toUtf8(), writeValues)) {
            tail.reset();
            write.reset();
        }
    }
    std::unique_ptr<RowStream> tail;
    std::unique_ptr<RowStream> write;
    // The values of the next run, kept for the next token.
    QVariantList tailValues{QString()};
    QVariantList writeValues{QString(), 0, 0, QVariant()};
    QByteArray gaps;
};

// Adds ids (ascending) to token: appended to its last segment when they
// all come after it (the catch-up's usual case; the segment's bytes are kept
// and the new gaps put after them, as many as it has room for, the rest in
// new segments), else merged where they belong.
Status appendIds(DataStore& store, SegmentStatements& statements, const QString& token, const Ids& ids)
{
    if (!statements.tail)
        return addIds(store, token, ids);
    RowStream& tail = *statements.tail;
    statements.tailValues[0] = token;
    if (!tail.rerun(statements.tailValues))
        return Status::fail(QString(), QStringLiteral("wjsy: ") + tail.error());
    const auto unreadable = [](qint64 first) {
        return Status::fail(QString(), QStringLiteral("wjsy: a segment that cannot be read at %1").arg(first));
    };
    qint64 first = 0;
    qint64 n = 0;
    qint64 lastId = 0;
    switch (tail.step()) {
    case RowStream::Step::Row: {
        first = tail.integer(0);
        n = tail.integer(1);
        const QByteArrayView blob = tail.blob(2);
        // The gaps are summed, not kept: only the last id matters here.
        lastId = first;
        qint64 count = 1;
        quint64 v = 0;
        int shift = 0;
        for (const char ch : blob) {
            const auto b = static_cast<unsigned char>(ch);
            if (shift > 63)
                return unreadable(first);
            v |= quint64(b & 0x7F) << shift;
            shift += 7;
            if (b & 0x80)
                continue;
            lastId += qint64(v);
            ++count;
            v = 0;
            shift = 0;
        }
        if (count != n || shift != 0)
            return unreadable(first);
        statements.writeValues[3] = QVariant();  // lets go of the bytes written last
        statements.gaps.resize(0);
        statements.gaps.append(blob.data(), blob.size());
        if (tail.step() != RowStream::Step::Done)
            return Status::fail(QString(), QStringLiteral("wjsy: ") + tail.error());
        break;
    }
    case RowStream::Step::Done:
        break;
    default:
        return Status::fail(QString(), QStringLiteral("wjsy: ") + tail.error());
    }
    if (n > 0 && ids.front() <= lastId)
        return addIds(store, token, ids);
    size_t at = 0;
    if (n > 0) {
        QByteArray& gaps = statements.gaps;
        while (at < ids.size() && n < SegmentIds) {
            const quint64 gap = quint64(ids[at] - lastId);
            if (gaps.size() + varintLength(gap) > SegmentBytes)
                break;
            appendVarint(gaps, gap);
            lastId = ids[at++];
            ++n;
        }
        if (at > 0) {
            QVariantList& values = statements.writeValues;
            values[0] = token;
            values[1] = first;
            values[2] = n;
            values[3] = QVariant(gaps);
            if (!statements.write->rerun(values) || statements.write->step() != RowStream::Step::Done)
                return Status::fail(QString(), QStringLiteral("wjsy: ") + statements.write->error());
        }
    }
    if (at == ids.size())
        return {};
    return writeSegments(store, token, std::span<const qint64>(ids).subspan(at), std::nullopt, statements.write.get(),
                         &statements.writeValues);
}

}  // namespace

Status put(DataStore& store, qint64 id, int state, const QString& normalizedText)
{
    return inTransaction(store, [&] { return putNow(store, id, state, normalizedText); });
}

Status remove(DataStore& store, qint64 id)
{
    return inTransaction(store, [&] { return removeNow(store, id); });
}

Result<int> indexBatch(DataStore& store, const QList<Item>& items)
{
    // The last item of each id, in ascending id, so that every token's ids
    // come in order.
    QMap<qint64, const Item*> byId;
    for (const Item& item : items)
        byId.insert(item.id, &item);
    const QString when = Clock::timeText(QDateTime::currentDateTime());
    Transaction tx(store);
    if (!tx.isActive())
        return failed(store, QStringLiteral("begin")).failure();
    qsizetype units = 0;
    for (const Item* item : std::as_const(byId))
        units += item->normalizedText.size();
    Gathering gathering(units);
    std::vector<qint64> idOf;
    idOf.reserve(size_t(byId.size()));
    for (auto it = byId.cbegin(); it != byId.cend(); ++it) {
        const qint64 id = it.key();
        const Item& item = *it.value();
        const Result<OldText> old = readOld(store, id);
        if (!old)
            return old.failure();
        if (old->indexed && !old->text.isEmpty()) {
            // Written before: what its new text no longer says goes now; what
            // it still says is merged again below (once per id, so no harm).
            const QSet<QString> after = tokenSet(item.normalizedText);
            for (const QString& t : tokenSet(old->text)) {
                if (after.contains(t))
                    continue;
                const Status dropped = dropId(store, t, id);
                if (!dropped)
                    return dropped.failure();
            }
        }
        gathering.add(quint32(idOf.size()), item.normalizedText);
        idOf.push_back(id);
        const Status written = writeText(store, id, item.state, item.normalizedText, when);
        if (!written)
            return written.failure();
    }
    SegmentStatements statements(store);
    const Status added = gathering.forEachToken(
        idOf, [&](const QString& token, const Ids& ids) { return appendIds(store, statements, token, ids); });
    if (!added)
        return added.failure();
    if (!tx.commit())
        return failed(store, QStringLiteral("commit")).failure();
    return int(byId.size());
}

Result<QList<qint64>> find(DataStore& store, const QString& normalizedQuery, const RecordFilter& scope, int limit)
{
    QList<qint64> out;
    if (normalizedQuery.isEmpty() || scope.nothing)
        return out;
    const qint64 wanted = limit > 0 ? limit : std::numeric_limits<qint64>::max();
    const Result<std::optional<Ids>> found = candidates(store, normalizedQuery);
    if (!found)
        return found.failure();
    const FilterStatement filter = FilterStatement::of(store.backend(), scope);
    const QString holds = QStringLiteral(" and exists (select 1 from wjwb where wjwb.id = wj.id and ")
        + store.backend().containsCondition(QStringLiteral("wjwb.nr")) + QStringLiteral(")");
    if (!found->has_value()) {
        // Nothing in the query narrows it: every text is read.
        RecordSet rs = store.query(QStringLiteral("select id from wj") + filter.where + holds
                                       + QStringLiteral(" order by id limit ?"),
                                   filter.params + QVariantList{normalizedQuery, wanted});
        if (!rs)
            return failed(store, QStringLiteral("content search")).failure();
        for (; !rs.atEnd(); rs.next())
            out.append(rs.number(0));
        return out;
    }
    const Ids& ids = **found;
    QStringList marks;
    for (int i = 0; i < kConfirmIds; ++i)
        marks << QStringLiteral("?");
    const QString confirm = QStringLiteral("select id from wj") + filter.where + QStringLiteral(" and id in (")
        + marks.join(QLatin1Char(',')) + QStringLiteral(")") + holds + QStringLiteral(" order by id");
    for (size_t at = 0; at < ids.size() && out.size() < wanted; at += kConfirmIds) {
        QVariantList params = filter.params;
        for (size_t i = at; i < at + kConfirmIds; ++i)
            params << (i < ids.size() ? ids[i] : qint64(-1));
        params << normalizedQuery;
        RecordSet rs = store.query(confirm, params);
        if (!rs)
            return failed(store, QStringLiteral("content search")).failure();
        for (; !rs.atEnd() && out.size() < wanted; rs.next())
            out.append(rs.number(0));
    }
    return out;
}

Result<QString> excerpt(DataStore& store, qint64 id, const QString& normalizedQuery, int around)
{
    const Result<std::optional<QVariant>> read = store.scalar(kTextOnly, {id});
    if (!read)
        return read.failure();
    const QString text = read->value_or(QVariant()).toString();
    if (text.isEmpty())
        return QString();
    const qsizetype hit = normalizedQuery.isEmpty() ? -1 : text.indexOf(normalizedQuery);
    const qsizetype side = qMax(0, around);
    qsizetype from = 0;
    qsizetype to = qMin(text.size(), 2 * side);
    if (hit >= 0) {
        from = qMax<qsizetype>(0, hit - side);
        to = qMin(text.size(), hit + normalizedQuery.size() + side);
    }
    // Never half a character.
    if (from > 0 && text.at(from).isLowSurrogate())
        --from;
    if (to < text.size() && text.at(to).isLowSurrogate())
        ++to;
    QString out = text.mid(from, to - from);
    if (from > 0)
        out.prepend(QChar(0x2026));
    if (to < text.size())
        out.append(QChar(0x2026));
    return out;
}

Result<QList<qint64>> waiting(DataStore& store, int limit, qint64 afterId)
{
    RecordSet rs = store.query(kWaiting, {afterId, limit > 0 ? qint64(limit) : std::numeric_limits<qint64>::max()});
    if (!rs)
        return failed(store, QStringLiteral("waiting texts")).failure();
    QList<qint64> out;
    for (; !rs.atEnd(); rs.next())
        out.append(rs.number(0));
    return out;
}

Result<Counts> progress(DataStore& store)
{
    const Result<std::optional<QVariant>> total = store.scalar(kTotal);
    if (!total)
        return total.failure();
    const Result<std::optional<QVariant>> done = store.scalar(kDone);
    if (!done)
        return done.failure();
    return Counts{done->value_or(QVariant()).toLongLong(), total->value_or(QVariant()).toLongLong()};
}

}  // namespace ContentIndex
