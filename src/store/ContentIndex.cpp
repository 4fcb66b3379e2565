#include "store/ContentIndex.h"

#include "platform/Clock.h"
#include "platform/TextTokens.h"
#include "store/Backend.h"
#include "store/DataStore.h"
#include "store/ListStatements.h"
#include "store/TokenSegments.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <limits>
#include <vector>

namespace ContentIndex {

namespace {

using TokenSegments::AllPositions;
using TokenSegments::Positions;
using TokenSegments::Posting;
using TokenSegments::Postings;

static_assert(SegmentIds == TokenSegments::SegmentIds && SegmentBytes == TokenSegments::SegmentBytes);

const QString kTable = QStringLiteral("wjsy");
const QString kReadText = QStringLiteral("select sy, nr from wjwb where id=?");
const QString kDeleteText = QStringLiteral("delete from wjwb where id=?");
const QString kTextOnly = QStringLiteral("select nr from wjwb where id=?");
// A record waits while it has no text that is read and indexed; with OCR
// on, one whose pictures were left for OCR waits again.
const QString kWaiting = QStringLiteral(
    "select id from wj where id>? and not exists (select 1 from wjwb where wjwb.id = wj.id and wjwb.zt <> 0"
    " and wjwb.zt <> ? and wjwb.sy = 1) order by id limit ?");
const QString kTotal = QStringLiteral("select count(*) from wj");
const QString kDone = QStringLiteral(
    "select count(*) from wjwb join wj on wj.id = wjwb.id where wjwb.zt <> 0 and wjwb.zt <> ? and wjwb.sy = 1");

// Candidates confirmed per statement; unused places hold an id no record has.
constexpr int kConfirmIds = 64;

Status failed(DataStore& store, const QString& what)
{
    return Status::fail(QString(), what + QStringLiteral(": ") + store.lastError());
}

QString textUpsert(DataStore& store)
{
    return store.backend().upsert(QStringLiteral("wjwb"),
                                  {QStringLiteral("id"), QStringLiteral("zt"), QStringLiteral("nr"),
                                   QStringLiteral("sj"), QStringLiteral("cd"), QStringLiteral("sy")},
                                  {QStringLiteral("id")});
}

// The state that `zt <> ?` leaves waiting: NeedsOcr when OCR is on, else
// none (no record has state -1).
qint64 waitsAgain(bool ocr)
{
    return ocr ? NeedsOcr : -1;
}

inline Positions positionBit(qsizetype offset)
{
    return Positions(1u << (offset & 15));
}

// Positions as seen from `shift` units before: bit p says the token begins
// at o with (o - shift) % 16 == p.
inline Positions rotated(Positions p, int shift)
{
    return shift == 0 ? p : Positions((p >> shift) | (p << (16 - shift)));
}

// Every distinct token of a text with where it begins.
QHash<QString, Positions> tokenPositions(const QString& normalized)
{
    QHash<QString, Positions> out;
    TextTokens::forEachToken(normalized, [&out](QStringView token, bool, qsizetype offset) {
        out[token.toString()] |= positionBit(offset);
    });
    return out;
}

QSet<QString> tokenSet(const QString& normalized)
{
    QSet<QString> out;
    TextTokens::forEachToken(normalized, [&out](QStringView token, bool) { out.insert(token.toString()); });
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
    const QHash<QString, Positions> before = old->indexed ? tokenPositions(old->text) : QHash<QString, Positions>();
    const QHash<QString, Positions> after = tokenPositions(text);
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        if (after.contains(it.key()))
            continue;
        const Status dropped = TokenSegments::drop(store, kTable, it.key(), id);
        if (!dropped)
            return dropped;
    }
    // A token it held before at other places is written again with these.
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        const auto was = before.constFind(it.key());
        if (was != before.cend() && was.value() == it.value())
            continue;
        const Status added = TokenSegments::add(store, kTable, it.key(), {{id, it.value()}});
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
            const Status dropped = TokenSegments::drop(store, kTable, t, id);
            if (!dropped)
                return dropped;
        }
    }
    if (!store.execute(kDeleteText, {id}))
        return failed(store, QStringLiteral("wjwb"));
    return {};
}

// The postings both hold, each with a's positions and b's seen from
// `shift` before, kept only where they meet.
Postings intersected(const Postings& a, const Postings& b, int shift)
{
    Postings out;
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].id < b[j].id) {
            ++i;
        } else if (b[j].id < a[i].id) {
            ++j;
        } else {
            const Positions p = a[i].positions & rotated(b[j].positions, shift);
            if (p != 0)
                out.push_back({a[i].id, p});
            ++i;
            ++j;
        }
    }
    return out;
}

Postings shiftedAll(Postings p, int shift)
{
    for (Posting& x : p)
        x.positions = rotated(x.positions, shift);
    return p;
}

// The records holding every Exact token and a token beginning with every
// Prefix token, at places that agree with where the query has them (each
// candidate's positions: where the query may begin, modulo 16); nullopt
// when the query has neither (no record is ruled out).
Result<std::optional<Postings>> candidates(DataStore& store, const QString& query)
{
    struct Wanted {
        qint64 count = 0;
        QString token;
        int shift = 0;
        bool operator<(const Wanted& o) const { return count < o.count; }
    };
    std::vector<Wanted> exact;
    std::vector<Wanted> prefixes;
    for (const TextTokens::QueryToken& t : TextTokens::queryTokens(query)) {
        const int shift = int(t.offset % 16);
        if (t.match == TextTokens::QueryToken::Prefix) {
            prefixes.push_back({0, t.text, shift});
        } else if (t.match == TextTokens::QueryToken::Exact) {
            const Result<qint64> count = TokenSegments::count(store, kTable, t.text);
            if (!count)
                return count.failure();
            if (*count == 0)
                return std::optional<Postings>(Postings());
            exact.push_back({*count, t.text, shift});
        }
    }
    if (exact.empty() && prefixes.empty())
        return std::optional<Postings>();
    // The rarest first: each next token only needs its segments over the
    // span of the candidates left.
    std::stable_sort(exact.begin(), exact.end());
    std::optional<Postings> found;
    for (const Wanted& w : exact) {
        if (found && found->empty())
            break;
        const Result<Postings> read = found
            ? TokenSegments::readBetween(store, kTable, w.token, found->front().id, found->back().id)
            : TokenSegments::read(store, kTable, w.token);
        if (!read)
            return read.failure();
        found = found ? intersected(*found, *read, w.shift) : shiftedAll(*read, w.shift);
    }
    for (const Wanted& w : prefixes) {
        if (found && found->empty())
            break;
        const Result<Postings> read = TokenSegments::readPrefixed(store, kTable, w.token);
        if (!read)
            return read.failure();
        found = found ? intersected(*found, *read, w.shift) : shiftedAll(*read, w.shift);
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
    // ascending with the records' ids), with where each begins.
    void add(quint32 ordinal, QStringView text)
    {
        TextTokens::forEachToken(text, [&](QStringView token, bool paired, qsizetype offset) {
            Last* last = nullptr;
            const quint32 e = paired ? pairedEntry(token, &last) : wordEntry(token, &last);
            const Positions bit = positionBit(offset);
            if (last->ordinal == ordinal) {
                m_postings[last->posting].positions |= bit;
                return;
            }
            last->ordinal = ordinal;
            last->posting = quint32(m_postings.size());
            m_postings.push_back({e, ordinal, bit});
        });
    }

    // Calls f(token, ids) for every token, in the order of the index's key
    // where it is cheap to know (paired ones by code point, then words).
    template <typename F> Status forEachToken(const std::vector<qint64>& idOf, F&& f) const
    {
        std::vector<quint32> offset(m_entries.size() + 1, 0);
        for (const Gathered& posting : m_postings)
            ++offset[posting.entry + 1];
        for (size_t e = 0; e < m_entries.size(); ++e)
            offset[e + 1] += offset[e];
        // By entry, each entry's in the order of the records.
        std::vector<quint32> order(m_postings.size());
        {
            std::vector<quint32> at(offset.begin(), offset.end() - 1);
            for (quint32 i = 0; i < m_postings.size(); ++i)
                order[at[m_postings[i].entry]++] = i;
        }
        std::vector<quint32> entries(m_entries.size());
        for (quint32 e = 0; e < entries.size(); ++e)
            entries[e] = e;
        std::sort(entries.begin(), entries.end(), [this](quint32 a, quint32 b) {
            const Entry& x = m_entries[a];
            const Entry& y = m_entries[b];
            if ((x.key == 0) != (y.key == 0))
                return x.key != 0;
            return x.key != 0 ? x.key < y.key : x.text < y.text;
        });
        Postings postings;
        for (const quint32 e : entries) {
            postings.clear();
            for (quint32 i = offset[e]; i < offset[e + 1]; ++i) {
                const Gathered& g = m_postings[order[i]];
                postings.push_back({idOf[g.ordinal], g.positions});
            }
            const Status done = f(m_entries[e].text.toString(), postings);
            if (!done)
                return done;
        }
        return {};
    }

private:
    static constexpr quint32 None = std::numeric_limits<quint32>::max();

    // The last record holding a token and its posting there.
    struct Last {
        quint32 ordinal = None;
        quint32 posting = 0;
    };
    struct Entry {
        quint64 key = 0;   // paired: the code points; words: 0
        QStringView text;  // where it was first met
        Last last;         // words
    };
    // A place of the table of paired tokens: its key, its entry and the last
    // record holding it side by side, so that a token met is one look.
    struct Place {
        quint64 key = 0;
        quint32 entry = 0;
        Last last;
    };
    struct Gathered {
        quint32 entry = 0;
        quint32 ordinal = 0;
        Positions positions = 0;
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

    quint32 pairedEntry(QStringView token, Last** last)
    {
        const quint64 key = keyOf(token);
        const size_t mask = m_table.size() - 1;
        size_t i = home(key);
        while (m_table[i].key != key && m_table[i].key != 0)
            i = (i + 1) & mask;
        if (m_table[i].key == 0) {
            m_table[i] = Place{key, quint32(m_entries.size()), Last{}};
            m_entries.push_back({key, token, Last{}});
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

    quint32 wordEntry(QStringView token, Last** last)
    {
        auto it = m_words.find(token);
        if (it == m_words.end()) {
            it = m_words.insert(token, quint32(m_entries.size()));
            m_entries.push_back({0, token, Last{}});
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
    std::vector<Gathered> m_postings;
    std::vector<Place> m_table;
    int m_shift = 64;
    size_t m_used = 0;
    QHash<QStringView, quint32> m_words;
};

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
    // A batch rewrites the last segment of most tokens it meets, spread over
    // the whole index: with the pages kept in memory each is written once.
    if (const Result<> wide = store.backend().widenCache(store, BatchCacheMegabytes); !wide)
        return failed(store, QStringLiteral("cache")).failure();
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
                const Status dropped = TokenSegments::drop(store, kTable, t, id);
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
    TokenSegments::Appender appender(store, kTable);
    const Status added = gathering.forEachToken(
        idOf, [&](const QString& token, const Postings& postings) { return appender.add(token, postings); });
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
    const Result<std::optional<Postings>> found = candidates(store, normalizedQuery);
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
    const Postings& ids = **found;
    QStringList marks;
    for (int i = 0; i < kConfirmIds; ++i)
        marks << QStringLiteral("?");
    const QString inList = QStringLiteral(" and id in (") + marks.join(QLatin1Char(',')) + QStringLiteral(")")
        + QStringLiteral(" order by id");
    // Where the engine streams rows, each candidate's text is searched here
    // as UTF-8 bytes (a byte match of UTF-8 is a character match), faster
    // than the engine's own search character by character. A query that
    // does not convert to UTF-8 exactly is left to the engine.
    const QByteArray needle = normalizedQuery.toUtf8();
    std::unique_ptr<RowStream> rows = store.backend().rowStream(store);
    if (rows && QString::fromUtf8(needle) == normalizedQuery) {
        const QByteArray sql =
            (QStringLiteral("select id, (select nr from wjwb where wjwb.id = wj.id) from wj") + filter.where + inList)
                .toUtf8();
        bool started = false;
        for (size_t at = 0; at < ids.size() && out.size() < wanted; at += kConfirmIds) {
            QVariantList params = filter.params;
            for (size_t i = at; i < at + kConfirmIds; ++i)
                params << (i < ids.size() ? ids[i].id : qint64(-1));
            if (!(started ? rows->rerun(params) : rows->start(sql, params)))
                return Status::fail(QString(), QStringLiteral("content search: ") + rows->error()).failure();
            started = true;
            for (bool more = true; more && out.size() < wanted;) {
                switch (rows->step()) {
                case RowStream::Step::Row:
                    if (rows->text(1).contains(needle))
                        out.append(rows->integer(0));
                    break;
                case RowStream::Step::Done:
                    more = false;
                    break;
                default:
                    return Status::fail(QString(), QStringLiteral("content search: ") + rows->error()).failure();
                }
            }
        }
        return out;
    }
    const QString confirm = QStringLiteral("select id from wj") + filter.where + QStringLiteral(" and id in (")
        + marks.join(QLatin1Char(',')) + QStringLiteral(")") + holds + QStringLiteral(" order by id");
    for (size_t at = 0; at < ids.size() && out.size() < wanted; at += kConfirmIds) {
        QVariantList params = filter.params;
        for (size_t i = at; i < at + kConfirmIds; ++i)
            params << (i < ids.size() ? ids[i].id : qint64(-1));
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
    return waiting(store, limit, afterId, false);
}

Result<QList<qint64>> waiting(DataStore& store, int limit, qint64 afterId, bool ocr)
{
    RecordSet rs = store.query(
        kWaiting, {afterId, waitsAgain(ocr), limit > 0 ? qint64(limit) : std::numeric_limits<qint64>::max()});
    if (!rs)
        return failed(store, QStringLiteral("waiting texts")).failure();
    QList<qint64> out;
    for (; !rs.atEnd(); rs.next())
        out.append(rs.number(0));
    return out;
}

Result<Counts> progress(DataStore& store)
{
    return progress(store, false);
}

Result<Counts> progress(DataStore& store, bool ocr)
{
    const Result<std::optional<QVariant>> total = store.scalar(kTotal);
    if (!total)
        return total.failure();
    const Result<std::optional<QVariant>> done = store.scalar(kDone, {waitsAgain(ocr)});
    if (!done)
        return done.failure();
    return Counts{done->value_or(QVariant()).toLongLong(), total->value_or(QVariant()).toLongLong()};
}

}  // namespace ContentIndex
