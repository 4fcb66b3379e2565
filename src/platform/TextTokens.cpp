#include "platform/TextTokens.h"

#include <QChar>
#include <QHash>

namespace TextTokens {

namespace {

// The characters between which whitespace is dropped.
inline bool isHan(char32_t c)
{
    if (c < 0x3005)
        return false;
    return (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x20000 && c <= 0x3FFFF)
        || (c >= 0xF900 && c <= 0xFAFF) || c <= 0x3007 || (c >= 0x3021 && c <= 0x3029) || (c >= 0x3038 && c <= 0x303B);
}

inline bool isKanaOrHangul(char32_t c)
{
    return (c >= 0x3040 && c <= 0x30FF) || (c >= 0x31F0 && c <= 0x31FF) || (c >= 0xAC00 && c <= 0xD7FF)
        || (c >= 0x1100 && c <= 0x11FF) || (c >= 0x3130 && c <= 0x318F) || (c >= 0xA960 && c <= 0xA97F)
        || (c >= 0xFF66 && c <= 0xFF9F) || (c >= 0x1B000 && c <= 0x1B16F);
}

// The radicals that stand for whole simplified characters, as PDF text
// layers give them when a font shares one shape for both (⻚ for 页). NFKC
// folds the Kangxi radicals (⼆ -> 二) but not these.
char32_t unifiedRadical(char32_t c)
{
    static const QHash<char32_t, char32_t> map = {
        {0x2E9F, 0x6BCD}, {0x2EA9, 0x738B}, {0x2EC4, 0x897F}, {0x2EC5, 0x89C1}, {0x2EC6, 0x89D2}, {0x2EC8, 0x8BA0},
        {0x2ECB, 0x8F66}, {0x2ED3, 0x957F}, {0x2ED4, 0x95E8}, {0x2ED8, 0x9752}, {0x2EDA, 0x9875}, {0x2EDB, 0x98CE},
        {0x2EDC, 0x98DE}, {0x2EDD, 0x98DF}, {0x2EE0, 0x9963}, {0x2EE2, 0x9A6C}, {0x2EE4, 0x9B3C}, {0x2EE5, 0x9C7C},
        {0x2EE6, 0x9E1F}, {0x2EE7, 0x5364}, {0x2EE8, 0x9EA6}, {0x2EE9, 0x9EC4}, {0x2EEA, 0x9EFE}, {0x2EEC, 0x9F50},
        {0x2EEE, 0x9F7F}, {0x2EF0, 0x9F99}, {0x2EF3, 0x9F9F}};
    return map.value(c, c);
}

enum class Kind { Other, Paired, Word };

inline Kind kindOf(char32_t c)
{
    if (c < 0x80) {
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'))
            return Kind::Word;
        return Kind::Other;
    }
    if (c >= 0x1100 && (isHan(c) || isKanaOrHangul(c)))
        return Kind::Paired;
    switch (QChar::category(c)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
    case QChar::Number_DecimalDigit:
    case QChar::Number_Letter:
    case QChar::Number_Other:
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
        return Kind::Word;
    default:
        return Kind::Other;
    }
}

// Walks the code points of UTF-16 text; a lone surrogate is taken as it is.
struct CodePoints {
    const char16_t* p;
    const char16_t* end;
    // The next code point; advances `p`.
    inline char32_t next()
    {
        const char16_t u = *p++;
        if (QChar::isHighSurrogate(u) && p < end && QChar::isLowSurrogate(*p))
            return QChar::surrogateToUcs4(u, *p++);
        return u;
    }
};

inline void appendCodePoint(QString& out, char32_t c)
{
    if (c < 0x10000) {
        out.append(QChar(static_cast<char16_t>(c)));
    } else {
        out.append(QChar(QChar::highSurrogate(c)));
        out.append(QChar(QChar::lowSurrogate(c)));
    }
}

// One run of a kind: [begin, end) in UTF-16 units.
struct Segment {
    Kind kind;
    qsizetype begin;
    qsizetype end;
};

// Calls f(segment) for every run of paired characters or word characters.
template <typename F> void forEachSegment(QStringView text, F&& f)
{
    const char16_t* begin = text.utf16();
    CodePoints cp{begin, begin + text.size()};
    Kind current = Kind::Other;
    qsizetype start = 0;
    while (cp.p < cp.end) {
        const qsizetype at = cp.p - begin;
        const Kind k = kindOf(cp.next());
        if (k != current) {
            if (current != Kind::Other)
                f(Segment{current, start, at});
            current = k;
            start = at;
        }
    }
    if (current != Kind::Other)
        f(Segment{current, start, text.size()});
}

// A word's token is at most its first kMaxWordUnits units (whole code
// points): a long run of letters and digits (an encoded blob, a hash) would
// only fill the index.
inline QStringView clipped(QStringView word)
{
    if (word.size() <= kMaxWordUnits)
        return word;
    qsizetype n = kMaxWordUnits;
    if (QChar::isLowSurrogate(word[n].unicode()))
        --n;
    return word.first(n);
}

inline quint64 unigramKey(char32_t c)
{
    return c;
}
inline quint64 bigramKey(char32_t a, char32_t b)
{
    return (quint64(1) << 63) | (quint64(a) << 21) | b;
}

}  // namespace

bool isPaired(char32_t c)
{
    return isHan(c) || isKanaOrHangul(c);
}

QString normalize(QStringView text)
{
    // NFKC first: it turns the ideographic space into a blank and full-width
    // letters and digits into ordinary ones, so the pass below sees one form.
    const QString composed = text.toString().normalized(QString::NormalizationForm_KC);
    QString out;
    out.reserve(composed.size());
    const char16_t* begin = reinterpret_cast<const char16_t*>(composed.utf16());
    CodePoints cp{begin, begin + composed.size()};
    bool pendingSpace = false;
    bool lastHan = false;
    while (cp.p < cp.end) {
        char32_t c = cp.next();
        if (c < 0x80) {
            if (c == ' ' || (c >= '\t' && c <= '\r') || (c >= 0x1C && c <= 0x1F)) {
                pendingSpace = !out.isEmpty();
                continue;
            }
            if (c >= 'A' && c <= 'Z')
                c += 'a' - 'A';
            if (pendingSpace) {
                out.append(QLatin1Char(' '));
                pendingSpace = false;
            }
            out.append(QChar(static_cast<char16_t>(c)));
            lastHan = false;
            continue;
        }
        if (QChar::isSpace(c)) {
            pendingSpace = !out.isEmpty();
            continue;
        }
        if (c >= 0x2E80 && c <= 0x2EFF)
            c = unifiedRadical(c);
        const bool han = isHan(c);
        if (pendingSpace) {
            if (!(han && lastHan))
                out.append(QLatin1Char(' '));
            pendingSpace = false;
        }
        lastHan = han;
        appendCodePoint(out, han ? c : QChar::toCaseFolded(c));
    }
    return out;
}

QList<Token> tokens(QStringView normalized)
{
    QList<Token> out;
    QHash<quint64, qsizetype> paired;
    QHash<QStringView, qsizetype> words;
    const char16_t* begin = normalized.utf16();

    auto count = [&out](qsizetype* slot, bool fresh, QStringView text, qsizetype at) {
        if (fresh) {
            *slot = out.size();
            out.append(Token{text.toString(), 1, at});
        } else {
            ++out[*slot].count;
        }
    };
    auto countPaired = [&](quint64 key, QStringView text, qsizetype at) {
        auto it = paired.find(key);
        if (it == paired.end()) {
            paired.insert(key, out.size());
            out.append(Token{text.toString(), 1, at});
        } else {
            ++out[it.value()].count;
        }
    };

    forEachSegment(normalized, [&](const Segment& s) {
        if (s.kind == Kind::Word) {
            const QStringView w = clipped(normalized.sliced(s.begin, s.end - s.begin));
            auto it = words.find(w);
            const bool fresh = it == words.end();
            if (fresh)
                it = words.insert(w, 0);
            count(&it.value(), fresh, w, s.begin);
            return;
        }
        CodePoints cp{begin + s.begin, begin + s.end};
        const char16_t* prevAt = nullptr;
        char32_t prev = 0;
        while (cp.p < cp.end) {
            const char16_t* at = cp.p;
            const char32_t c = cp.next();
            if (prevAt)
                countPaired(bigramKey(prev, c), QStringView(prevAt, cp.p), prevAt - begin);
            countPaired(unigramKey(c), QStringView(at, cp.p), at - begin);
            prev = c;
            prevAt = at;
        }
    });
    return out;
}

void forEachToken(QStringView normalized,
                  const std::function<void(QStringView token, bool paired, qsizetype offset)>& sink)
{
    const char16_t* begin = normalized.utf16();
    forEachSegment(normalized, [&](const Segment& s) {
        if (s.kind == Kind::Word) {
            sink(clipped(normalized.sliced(s.begin, s.end - s.begin)), false, s.begin);
            return;
        }
        const char16_t* end = begin + s.end;
        const char16_t* prevAt = nullptr;
        const char16_t* p = begin + s.begin;
        while (p < end) {
            const char16_t* at = p;
            // The next code point's end (a lone surrogate is one unit).
            p += QChar::isHighSurrogate(*p) && p + 1 < end && QChar::isLowSurrogate(p[1]) ? 2 : 1;
            if (prevAt)
                sink(QStringView(prevAt, p), true, prevAt - begin);
            sink(QStringView(at, p), true, at - begin);
            prevAt = at;
        }
    });
}

void forEachToken(QStringView normalized, const std::function<void(QStringView token, bool paired)>& sink)
{
    forEachToken(normalized, [&sink](QStringView token, bool paired, qsizetype) { sink(token, paired); });
}

QList<QueryToken> queryTokens(QStringView normalizedQuery)
{
    QList<QueryToken> out;
    auto add = [&out](QueryToken t) {
        if (!out.contains(t))
            out.append(std::move(t));
    };
    const char16_t* begin = normalizedQuery.utf16();
    forEachSegment(normalizedQuery, [&](const Segment& s) {
        if (s.kind == Kind::Word) {
            // A word touching an end of the query may go on past it in the
            // record; one bounded inside the query on both sides is whole.
            const bool openLeft = s.begin == 0;
            const bool openRight = s.end == normalizedQuery.size();
            QueryToken::Match m = QueryToken::Exact;
            if (openLeft && openRight)
                m = QueryToken::Within;
            else if (openLeft)
                m = QueryToken::Suffix;
            else if (openRight)
                m = QueryToken::Prefix;
            const QStringView whole = normalizedQuery.sliced(s.begin, s.end - s.begin);
            const QStringView w = clipped(whole);
            // A record keeps only the start of a long word: all the query
            // can ask for is a token beginning with that start.
            if (w.size() < whole.size())
                m = m == QueryToken::Exact || m == QueryToken::Prefix ? QueryToken::Prefix : QueryToken::Within;
            add(QueryToken{w.toString(), m, s.begin});
            return;
        }
        // Every pair inside the query's run is a pair of the record's run,
        // wherever that run begins or ends; one character stands for itself.
        CodePoints cp{begin + s.begin, begin + s.end};
        const char16_t* prevAt = nullptr;
        const char16_t* firstEnd = nullptr;
        while (cp.p < cp.end) {
            const char16_t* at = cp.p;
            cp.next();
            if (!firstEnd)
                firstEnd = cp.p;
            if (prevAt)
                add(QueryToken{QStringView(prevAt, cp.p).toString(), QueryToken::Exact, prevAt - begin});
            prevAt = at;
        }
        if (prevAt == begin + s.begin)
            add(QueryToken{QStringView(begin + s.begin, firstEnd).toString(), QueryToken::Exact, s.begin});
    });
    return out;
}

}
