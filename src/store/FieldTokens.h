#pragma once

#include "platform/Result.h"
#include "store/TokenSegments.h"

#include <QSet>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class Backend;
class DataStore;

// Finding one or two Chinese characters in the searched fields of wj at
// once: the pairs and single characters of the Han runs (TextTokens) in each
// field's value, per field, in table wjzs, in segments as the content index
// keeps them (store/TokenSegments.h). A token is the field's mark
// (fieldMark) followed by the pair or the character, so the fields never mix.
//
// Triggers on wj put every record whose searched fields change into the
// queue wjzq with the fields' text as its tokens were written from (the
// first change since wins; NULL for a record new since). The queue is
// worked off by the catch-up (work), and a search takes the queued records
// as candidates too, so nothing changed since is ever missed.
//
// Only Han is served: kana and hangul compose with marks that follow them
// (a name written decomposed holds "か" + U+3099, which NFKC makes "が"), so
// a value's tokens could lack a character its text holds; those values, and
// everything else, are found by the scan as before.
namespace FieldTokens {

// The separator of the fields in the queued text; a value's own U+001F is
// read as a blank on both sides.
inline constexpr char16_t FieldSeparator = 0x1F;

// A search takes no candidates from the index while more records than this
// wait in the queue (right after the upgrade): it reads the table as
// before. Nor for a value more records than MaxCandidates hold: the list
// reads those along its order's index anyway, and its first rows come at
// once without the ids (gathering tens of thousands of them costs more
// than the first screen of the reading).
inline constexpr int QueueLimit = 20000;
inline constexpr int MaxCandidates = 20000;

// Records worked off per transaction by workOff().
inline constexpr int BatchRecords = 2000;

// The triggers on wj that fill the queue (the engine's own words).
QStringList triggers(const Backend& backend);

// The first character of the tokens of the searched field at `index` of
// Schema::searchIndexColumns() (a private-use character).
QChar fieldMark(int index);

// The tokens of a record's searched fields, given in the order of
// Schema::searchIndexColumns() (missing values are empty). Their postings
// keep no positions (AllPositions): a value of one or two characters needs
// none, and the index is a third of the size without them.
using Tokens = QSet<QString>;
Tokens tokensOf(const QStringList& values);

// Works off up to `limit` queued records in one transaction: the tokens of
// the text each was queued with that its fields no longer hold lose it, its
// current ones gain it, and it leaves the queue. The number worked off.
[[nodiscard]] Result<int> work(DataStore& store, int limit);

// Works off the whole queue, BatchRecords per transaction, asking
// `cancelled` between them (a cancel is no failure: the rest waits).
[[nodiscard]] Status workOff(DataStore& store, const std::function<bool()>& cancelled = {});

// How many records wait in the queue.
[[nodiscard]] Result<qint64> queued(DataStore& store);

// Whether the index answers a search for `normalizedValue` (TextTokens::
// normalize of what was typed) in `column`: one or two Han characters in a
// searched field.
bool serves(const QString& column, const QString& normalizedValue);

// The ids (ascending) of the records whose `column` may hold
// `normalizedValue`: those holding its pair (its character), and every
// queued record. nullopt when the index does not serve the value, the queue
// is longer than QueueLimit or the value is held by more than MaxCandidates.
[[nodiscard]] Result<std::optional<QList<qint64>>> candidates(DataStore& store, const QString& column,
                                                              const QString& normalizedValue);

}  // namespace FieldTokens
