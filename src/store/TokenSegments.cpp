#include "store/TokenSegments.h"

#include "store/Backend.h"
#include "store/DataStore.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <span>

namespace TokenSegments {

namespace {

constexpr qint64 kNoLowerBound = std::numeric_limits<qint64>::min();
constexpr qint64 kNoUpperBound = std::numeric_limits<qint64>::max();

// One row, decoded.
struct Segment {
    qint64 first = 0;
    Postings postings;
};

// The statements of one table; the name is one of the two kept here.
struct Sql {
    explicit Sql(const QString& t)
        : tail(
            QStringLiteral("select first_id, n, ids, pm from %1 where token=? order by first_id desc limit 1").arg(t)),
          cover(QStringLiteral(
                    "select first_id, n, ids, pm from %1 where token=? and first_id<=? order by first_id desc limit 1")
                    .arg(t)),
          between(QStringLiteral("select first_id, n, ids, pm from %1 where token=? and first_id>=? and first_id<=?"
                                 " order by first_id")
                      .arg(t)),
          // The segment covering the span's first id and those beginning in it.
          span(
              QStringLiteral("select first_id, n, ids, pm from %1 where token=? and first_id>=coalesce((select first_id"
                             " from %1 where token=? and first_id<=? order by first_id desc limit 1), ?)"
                             " and first_id<=? order by first_id")
                  .arg(t)),
          prefixed(QStringLiteral("select first_id, n, ids, pm from %1 where token>=? and token<?").arg(t)),
          count(QStringLiteral("select sum(n) from %1 where token=?").arg(t)),
          remove(QStringLiteral("delete from %1 where token=? and first_id=?").arg(t))
    {
    }
    QString tail, cover, between, span, prefixed, count, remove;
};

const Sql* sqlOf(const QString& table)
{
    static const Sql content(QStringLiteral("wjsy"));
    static const Sql fields(QStringLiteral("wjzs"));
    if (table == QLatin1String("wjsy"))
        return &content;
    if (table == QLatin1String("wjzs"))
        return &fields;
    return nullptr;
}

Status notKept(const QString& table)
{
    return Status::fail(QString(), QStringLiteral("token segments: no such table %1").arg(table));
}

Status failed(DataStore& store, const QString& table)
{
    return Status::fail(QString(), table + QStringLiteral(": ") + store.lastError());
}

Status unreadable(const QString& table, qint64 first)
{
    return Status::fail(QString(), QStringLiteral("%1: a segment that cannot be read at %2").arg(table).arg(first));
}

QString upsertOf(DataStore& store, const QString& table)
{
    return store.backend().upsert(table,
                                  {QStringLiteral("token"), QStringLiteral("first_id"), QStringLiteral("n"),
                                   QStringLiteral("ids"), QStringLiteral("pm")},
                                  {QStringLiteral("token"), QStringLiteral("first_id")});
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

inline void appendPositions(QByteArray& out, Positions p)
{
    out.append(char(p & 0xFF));
    out.append(char(p >> 8));
}

// The n postings of a row; false when the row is not whole. pm empty: NULL.
bool decode(qint64 first, qint64 n, QByteArrayView gaps, QByteArrayView pm, Postings& out)
{
    if (n < 1 || (!pm.isEmpty() && pm.size() != 2 * n))
        return false;
    const auto* pos = reinterpret_cast<const unsigned char*>(pm.data());
    const auto positionAt = [&](qint64 i) -> Positions {
        return pm.isEmpty() ? AllPositions : Positions(pos[2 * i] | (pos[2 * i + 1] << 8));
    };
    out.push_back({first, positionAt(0)});
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
        out.push_back({id, positionAt(i)});
    }
    return p == end;
}

// Reads the segment rows of one statement, each decoded and handed to f:
// straight from the engine's rows where it streams them (no copy of a
// row's bytes), else through the store's statements.
template <typename F>
Status readSegments(DataStore& store, const QString& table, const QString& sql, const QVariantList& params, F&& f)
{
    if (std::unique_ptr<RowStream> rows = store.backend().rowStream(store)) {
        if (!rows->start(sql.toUtf8(), params))
            return Status::fail(QString(), table + QStringLiteral(": ") + rows->error());
        for (;;) {
            switch (rows->step()) {
            case RowStream::Step::Row: {
                Segment s;
                s.first = rows->integer(0);
                const qint64 n = rows->integer(1);
                s.postings.reserve(size_t(std::clamp<qint64>(n, 1, SegmentIds)));
                if (!decode(s.first, n, rows->blob(2), rows->isNull(3) ? QByteArrayView() : rows->blob(3), s.postings))
                    return unreadable(table, s.first);
                f(std::move(s));
                break;
            }
            case RowStream::Step::Done:
                return {};
            default:
                return Status::fail(QString(), table + QStringLiteral(": ") + rows->error());
            }
        }
    }
    RecordSet rs = store.query(sql, params);
    if (!rs)
        return failed(store, table);
    for (; !rs.atEnd(); rs.next()) {
        Segment s;
        s.first = rs.number(0);
        const QByteArray gaps = rs.bytes(2);
        const QByteArray pm = rs.bytes(3);
        if (!decode(s.first, rs.number(1), gaps, pm, s.postings))
            return unreadable(table, s.first);
        f(std::move(s));
    }
    return {};
}

Result<std::optional<Segment>> readOne(DataStore& store, const QString& table, const QString& sql,
                                       const QVariantList& params)
{
    std::optional<Segment> found;
    const Status read = readSegments(store, table, sql, params, [&found](Segment s) { found = std::move(s); });
    if (!read)
        return read.failure();
    return found;
}

// Where rows go: through a started upsert stream when there is one (its
// values kept in `values`), else through the store's own statements.
struct Rows {
    DataStore& store;
    const QString& table;
    RowStream* stream = nullptr;
    QVariantList* values = nullptr;

    Status write(const QString& token, qint64 first, qint64 n, const QByteArray& gaps, const QByteArray& pm)
    {
        const QVariant g = gaps.isEmpty() ? QVariant() : QVariant(gaps);
        const QVariant p = pm.isEmpty() ? QVariant() : QVariant(pm);
        if (stream) {
            QVariantList& v = *values;
            v[0] = token;
            v[1] = first;
            v[2] = n;
            v[3] = g;
            v[4] = p;
            if (!stream->rerun(v) || stream->step() != RowStream::Step::Done)
                return Status::fail(QString(), table + QStringLiteral(": ") + stream->error());
            return {};
        }
        if (!store.execute(upsertOf(store, table), {token, first, n, g, p}))
            return failed(store, table);
        return {};
    }

    Status erase(const QString& token, qint64 first)
    {
        if (!store.execute(sqlOf(table)->remove, {token, first}))
            return failed(store, table);
        return {};
    }
};

// The end of the segment that begins at postings[begin], as full as the
// bounds let it be.
size_t segmentEnd(std::span<const Posting> p, size_t begin)
{
    size_t end = begin + 1;
    int gapBytes = 0;
    bool positions = p[begin].positions != AllPositions;
    while (end < p.size() && end - begin < size_t(SegmentIds)) {
        const int len = varintLength(quint64(p[end].id - p[end - 1].id));
        const bool withPositions = positions || p[end].positions != AllPositions;
        if (gapBytes + len + (withPositions ? 2 * int(end + 1 - begin) : 0) > SegmentBytes)
            break;
        gapBytes += len;
        positions = withPositions;
        ++end;
    }
    return end;
}

// Writes postings (ascending) as segments, greedily filled; the first keeps
// the key `oldFirst` when it had one (else a row under that key is taken out).
Status writeSegments(Rows& rows, const QString& token, std::span<const Posting> p, std::optional<qint64> oldFirst)
{
    if (oldFirst && (p.empty() || p.front().id != *oldFirst)) {
        const Status erased = rows.erase(token, *oldFirst);
        if (!erased)
            return erased;
    }
    QByteArray gaps;
    QByteArray pm;
    size_t begin = 0;
    while (begin < p.size()) {
        const size_t end = segmentEnd(p, begin);
        gaps.clear();
        pm.clear();
        bool positions = false;
        for (size_t i = begin; i < end; ++i) {
            if (i > begin)
                appendVarint(gaps, quint64(p[i].id - p[i - 1].id));
            positions = positions || p[i].positions != AllPositions;
        }
        if (positions)
            for (size_t i = begin; i < end; ++i)
                appendPositions(pm, p[i].positions);
        const Status written = rows.write(token, p[begin].id, qint64(end - begin), gaps, pm);
        if (!written)
            return written;
        begin = end;
    }
    return {};
}

// The union of a and b by id; b's positions for an id both hold.
Postings merged(const Postings& a, std::span<const Posting> b)
{
    Postings out;
    out.reserve(a.size() + b.size());
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() || j < b.size()) {
        if (j == b.size() || (i < a.size() && a[i].id < b[j].id)) {
            out.push_back(a[i++]);
        } else {
            if (i < a.size() && a[i].id == b[j].id)
                ++i;
            out.push_back(b[j++]);
        }
    }
    return out;
}

bool ascending(const Postings& p)
{
    for (size_t i = 1; i < p.size(); ++i)
        if (p[i].id <= p[i - 1].id)
            return false;
    return true;
}

// Adds postings to token's segments: those from the last segment's first id
// on go into the last segment (filled up, then new ones after it); a lower
// id goes into the segment that covers it, re-encoded.
Status addNow(Rows& rows, const QString& token, const Postings& add)
{
    DataStore& store = rows.store;
    const QString& table = rows.table;
    const Sql& sql = *sqlOf(table);
    if (add.empty())
        return {};
    if (!ascending(add))
        return Status::fail(QString(), table + QStringLiteral(": postings out of order"));
    const Result<std::optional<Segment>> tail = readOne(store, table, sql.tail, {token});
    if (!tail)
        return tail.failure();
    if (!tail->has_value())
        return writeSegments(rows, token, add, std::nullopt);
    const Segment& last = **tail;
    const auto high =
        std::lower_bound(add.begin(), add.end(), last.first, [](const Posting& p, qint64 id) { return p.id < id; });
    if (high != add.begin()) {
        // Lower ids: the segments from the one covering the lowest up to the
        // last one (not included), each taking the ids it covers; one below
        // every segment goes into the first.
        const std::span<const Posting> low(add.begin(), high);
        const Result<std::optional<Segment>> cover = readOne(store, table, sql.cover, {token, low.front().id});
        if (!cover)
            return cover.failure();
        std::vector<Segment> before;
        const Status read = readSegments(store, table, sql.between,
                                         {token, cover->has_value() ? (*cover)->first : kNoLowerBound, last.first - 1},
                                         [&before](Segment s) { before.push_back(std::move(s)); });
        if (!read)
            return read;
        if (before.empty())  // the last segment is the only one: all go there
            return writeSegments(rows, token, merged(last.postings, add), last.first);
        size_t at = 0;
        for (size_t i = 0; i < before.size() && at < low.size(); ++i) {
            const qint64 nextFirst = i + 1 < before.size() ? before[i + 1].first : last.first;
            const size_t from = at;
            while (at < low.size() && low[at].id < nextFirst)
                ++at;
            if (at == from)
                continue;
            const Status written =
                writeSegments(rows, token, merged(before[i].postings, low.subspan(from, at - from)), before[i].first);
            if (!written)
                return written;
        }
        if (at < low.size())
            return Status::fail(QString(), table + QStringLiteral(": segments of a token out of order"));
    }
    if (high == add.end())
        return {};
    return writeSegments(rows, token, merged(last.postings, std::span<const Posting>(high, add.end())), last.first);
}

}  // namespace

bool isSegmentTable(const QString& table)
{
    return sqlOf(table) != nullptr;
}

Status add(DataStore& store, const QString& table, const QString& token, const Postings& postings)
{
    if (!isSegmentTable(table))
        return notKept(table);
    Rows rows{store, table};
    return addNow(rows, token, postings);
}

Status drop(DataStore& store, const QString& table, const QString& token, qint64 id)
{
    const Sql* sql = sqlOf(table);
    if (!sql)
        return notKept(table);
    const Result<std::optional<Segment>> cover = readOne(store, table, sql->cover, {token, id});
    if (!cover)
        return cover.failure();
    if (!cover->has_value())
        return {};
    Segment s = std::move(**cover);
    const auto it =
        std::lower_bound(s.postings.begin(), s.postings.end(), id, [](const Posting& p, qint64 v) { return p.id < v; });
    if (it == s.postings.end() || it->id != id)
        return {};
    s.postings.erase(it);
    Rows rows{store, table};
    return writeSegments(rows, token, s.postings, s.first);
}

Result<Postings> read(DataStore& store, const QString& table, const QString& token)
{
    return readBetween(store, table, token, kNoLowerBound, kNoUpperBound);
}

Result<Postings> readBetween(DataStore& store, const QString& table, const QString& token, qint64 fromId, qint64 toId)
{
    const Sql* sql = sqlOf(table);
    if (!sql)
        return notKept(table).failure();
    Postings out;
    if (fromId > toId)
        return out;
    const Status read = readSegments(store, table, sql->span, {token, token, fromId, fromId, toId}, [&](Segment s) {
        for (const Posting& p : s.postings)
            if (p.id >= fromId && p.id <= toId)
                out.push_back(p);
    });
    if (!read)
        return read.failure();
    return out;
}

Result<Postings> readPrefixed(DataStore& store, const QString& table, const QString& prefix)
{
    const Sql* sql = sqlOf(table);
    if (!sql)
        return notKept(table).failure();
    // No token holds U+10FFFF (not a letter), so every token beginning with
    // the prefix sorts before the prefix followed by it, in UTF-8 and UTF-16.
    const QString above = prefix + QString::fromUcs4(U"\U0010FFFF", 1);
    Postings all;
    const Status read = readSegments(store, table, sql->prefixed, {prefix, above}, [&all](Segment s) {
        all.insert(all.end(), s.postings.begin(), s.postings.end());
    });
    if (!read)
        return read.failure();
    std::sort(all.begin(), all.end(), [](const Posting& a, const Posting& b) { return a.id < b.id; });
    Postings out;
    out.reserve(all.size());
    for (const Posting& p : all) {
        if (!out.empty() && out.back().id == p.id)
            out.back().positions |= p.positions;
        else
            out.push_back(p);
    }
    return out;
}

Result<qint64> count(DataStore& store, const QString& table, const QString& token)
{
    const Sql* sql = sqlOf(table);
    if (!sql)
        return notKept(table).failure();
    const Result<std::optional<QVariant>> n = store.scalar(sql->count, {token});
    if (!n)
        return n.failure();
    return n->value_or(QVariant()).toLongLong();
}

// ------------------------------------------------------------ many at once

struct Appender::Streams {
    std::unique_ptr<RowStream> tail;
    std::unique_ptr<RowStream> write;
    // The values of the next run, kept from token to token.
    QVariantList tailValues{QString()};
    QVariantList writeValues{QString(), 0, 0, QVariant(), QVariant()};
    QByteArray gaps;
    QByteArray pm;
};

Appender::Appender(DataStore& store, const QString& table) : m_store(store), m_table(table)
{
    const Sql* sql = sqlOf(table);
    if (!sql)
        return;
    auto s = std::make_unique<Streams>();
    s->tail = store.backend().rowStream(store);
    s->write = store.backend().rowStream(store);
    // Without streams (an engine that has none) the store's statements serve.
    if (s->tail && s->write && s->tail->start(sql->tail.toUtf8(), s->tailValues)
        && s->write->start(upsertOf(store, table).toUtf8(), s->writeValues))
        m_streams = std::move(s);
}

Appender::~Appender() = default;

Status Appender::add(const QString& token, const Postings& postings)
{
    if (!isSegmentTable(m_table))
        return notKept(m_table);
    if (postings.empty())
        return {};
    Rows plain{m_store, m_table};
    if (!m_streams)
        return addNow(plain, token, postings);
    Streams& s = *m_streams;
    RowStream& tail = *s.tail;
    s.tailValues[0] = token;
    if (!tail.rerun(s.tailValues))
        return Status::fail(QString(), m_table + QStringLiteral(": ") + tail.error());
    qint64 first = 0;
    qint64 n = 0;
    qint64 lastId = 0;
    switch (tail.step()) {
    case RowStream::Step::Row: {
        first = tail.integer(0);
        n = tail.integer(1);
        const QByteArrayView gaps = tail.blob(2);
        const QByteArrayView pm = tail.isNull(3) ? QByteArrayView() : tail.blob(3);
        // The gaps are summed, not kept: only the last id matters here.
        lastId = first;
        qint64 seen = 1;
        quint64 v = 0;
        int shift = 0;
        for (const char ch : gaps) {
            const auto b = static_cast<unsigned char>(ch);
            if (shift > 63)
                return unreadable(m_table, first);
            v |= quint64(b & 0x7F) << shift;
            shift += 7;
            if (b & 0x80)
                continue;
            lastId += qint64(v);
            ++seen;
            v = 0;
            shift = 0;
        }
        if (seen != n || shift != 0 || (!pm.isEmpty() && pm.size() != 2 * n))
            return unreadable(m_table, first);
        // Lets go of the bytes written last, so that these are no copy.
        s.writeValues[3] = QVariant();
        s.writeValues[4] = QVariant();
        s.gaps.resize(0);
        s.gaps.append(gaps.data(), gaps.size());
        s.pm.resize(0);
        s.pm.append(pm.data(), pm.size());
        if (tail.step() != RowStream::Step::Done)
            return Status::fail(QString(), m_table + QStringLiteral(": ") + tail.error());
        break;
    }
    case RowStream::Step::Done:
        break;
    default:
        return Status::fail(QString(), m_table + QStringLiteral(": ") + tail.error());
    }
    if (n > 0 && postings.front().id <= lastId)
        return addNow(plain, token, postings);
    if (!ascending(postings))
        return Status::fail(QString(), m_table + QStringLiteral(": postings out of order"));
    Rows streamed{m_store, m_table, s.write.get(), &s.writeValues};
    size_t at = 0;
    if (n > 0) {
        bool withPositions = !s.pm.isEmpty();
        while (at < postings.size() && n < SegmentIds) {
            const Posting& p = postings[at];
            const quint64 gap = quint64(p.id - lastId);
            const bool needs = withPositions || p.positions != AllPositions;
            if (s.gaps.size() + varintLength(gap) + (needs ? 2 * (n + 1) : 0) > SegmentBytes)
                break;
            if (needs && !withPositions) {
                s.pm.fill(char(0xFF), 2 * n);
                withPositions = true;
            }
            appendVarint(s.gaps, gap);
            if (withPositions)
                appendPositions(s.pm, p.positions);
            lastId = p.id;
            ++at;
            ++n;
        }
        if (at > 0) {
            const Status written = streamed.write(token, first, n, s.gaps, s.pm);
            if (!written)
                return written;
        }
    }
    if (at == postings.size())
        return {};
    return writeSegments(streamed, token, std::span<const Posting>(postings).subspan(at), std::nullopt);
}

}  // namespace TokenSegments
