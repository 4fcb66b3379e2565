#pragma once

#include "platform/Result.h"
#include "store/RecordFilter.h"

#include <QList>
#include <QString>

class DataStore;

// Finding a record by what its content says: the normalized text of each
// record's content (table wjwb) and an inverted index of its tokens
// (table wjsy), in plain tables any SQL database holds.
//
// wjwb: id (the record), zt (State), nr (the normalized text,
// TextTokens::normalize), sj (when it was written), cd (its length in UTF-16
// units), sy (1 when its tokens are in wjsy). A record without a row waits.
//
// wjsy: for every token (TextTokens::tokens) the ascending ids of the
// records holding it with where each holds it (modulo 16), in segments
// (store/TokenSegments.h).
//
// A search takes the records holding every token the query promises
// (TextTokens::queryTokens) at places that agree with where the query has
// them (a pair at offset 3 of the query lies 3 after the pair at its
// start, modulo 16), and confirms each of them by the query in its text,
// so a hit is exactly a record whose text holds the query.
namespace ContentIndex {

// What reading a record's content came to (wjwb.zt); the verdicts of
// TextExtractor::ExtractStatus in its order, one up.
enum State {
    Waiting = 0,
    Done = 1,
    Empty = 2,
    Unreadable = 3,
    Encrypted = 4,
    TooLarge = 5,  // the text is cut at the limit
    TimedOut = 6,  // the text found until the time ran out
    Unsupported = 7,
    // Pictures or pages without text left for OCR while it was off (the
    // text of the rest is kept): read again once OCR is on.
    NeedsOcr = 8,
};

// A segment's ids stay below both (TokenSegments).
inline constexpr int SegmentIds = 256;
inline constexpr int SegmentBytes = 800;

// Writes record id's text and state and brings its tokens in the index in
// step: those of its old text that the new one lacks lose the record, the
// new ones gain it. Runs inside the caller's transaction (a record added or
// changed writes its text with the record).
[[nodiscard]] Status put(DataStore& store, qint64 id, int state, const QString& normalizedText);

// Takes record id's text and tokens out (the record is being deleted);
// inside the caller's transaction. Nothing to take out is no failure.
[[nodiscard]] Status remove(DataStore& store, qint64 id);

struct Item {
    qint64 id = -1;
    int state = Waiting;
    QString normalizedText;
};

// The page cache a connection writing batches keeps (it stays with the
// connection: the catch-up's own).
inline constexpr int BatchCacheMegabytes = 128;

// Writes many records' texts in one transaction of its own, gathering their
// tokens first and writing each token once (its last segment read, merged
// and written): the catch-up over records without text. The number of
// records written. An id given twice counts once, with its last item.
[[nodiscard]] Result<int> indexBatch(DataStore& store, const QList<Item>& items);

// The ids (ascending) of the records `scope` admits whose text holds
// `normalizedQuery` (TextTokens::normalize of what was typed), at most
// `limit` of them (none for limit <= 0). An empty query finds nothing.
[[nodiscard]] Result<QList<qint64>> find(DataStore& store, const QString& normalizedQuery, const RecordFilter& scope,
                                         int limit);

// Record id's text around the first place holding `normalizedQuery`:
// `around` characters either side, "…" where cut; the text's beginning
// when it does not hold the query; empty when there is no text.
[[nodiscard]] Result<QString> excerpt(DataStore& store, qint64 id, const QString& normalizedQuery, int around);

// The ids (ascending, above afterId) of up to `limit` records whose content
// has no text yet or waits; with `ocr`, also those left for OCR (NeedsOcr).
[[nodiscard]] Result<QList<qint64>> waiting(DataStore& store, int limit, qint64 afterId);
[[nodiscard]] Result<QList<qint64>> waiting(DataStore& store, int limit, qint64 afterId, bool ocr);

struct Counts {
    qint64 done = 0;   // records whose text is read (whatever it came to) and indexed
    qint64 total = 0;  // records
};
// With `ocr`, a record left for OCR is not done yet.
[[nodiscard]] Result<Counts> progress(DataStore& store);
[[nodiscard]] Result<Counts> progress(DataStore& store, bool ocr);

}  // namespace ContentIndex
