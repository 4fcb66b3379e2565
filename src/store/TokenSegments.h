#pragma once

#include "platform/Result.h"

#include <QString>

#include <memory>
#include <vector>

class DataStore;

// The posting lists of an inverted index (token -> ascending record ids, each
// with where in its text the record holds the token), kept in segments of a
// table of the shape of wjsy and wjzs: token, first_id, n, ids (the gaps
// between the ids as unsigned LEB128 varints), pm (the positions, below).
// The content index (wjsy) and the field tokens (wjzs) keep theirs here.
namespace TokenSegments {

// Where a record holds a token: bit p set when the token starts at a UTF-16
// offset o of its text with o % 16 == p. AllPositions says nothing (written
// before positions were kept, or not known).
using Positions = quint16;
inline constexpr Positions AllPositions = 0xFFFF;

struct Posting {
    qint64 id = -1;
    Positions positions = AllPositions;
};
using Postings = std::vector<Posting>;  // ascending by id, each id once

// A segment row stays below both, counting its gaps and its positions
// together, so that it stays within one cell of a database page (no
// overflow page) even for ids far apart. pm is NULL when every id of the
// segment has AllPositions.
inline constexpr int SegmentIds = 256;
inline constexpr int SegmentBytes = 800;

// Whether `table` is one kept here (wjsy, wjzs); every function fails for
// any other name, which never comes from input.
bool isSegmentTable(const QString& table);

// Adds postings to token in `table`, merging with what it holds (an id it
// holds already gets the positions given). Inside the caller's transaction.
[[nodiscard]] Status add(DataStore& store, const QString& table, const QString& token, const Postings& postings);

// Takes id out of token's list in `table`; nothing to take is no failure.
// Inside the caller's transaction.
[[nodiscard]] Status drop(DataStore& store, const QString& table, const QString& token, qint64 id);

// Every posting of token in `table`, ascending.
[[nodiscard]] Result<Postings> read(DataStore& store, const QString& table, const QString& token);

// Every posting of the tokens that begin with `prefix`, merged (an id held by
// several: positions or'd), ascending.
[[nodiscard]] Result<Postings> readPrefixed(DataStore& store, const QString& table, const QString& prefix);

// How many records token's list holds.
[[nodiscard]] Result<qint64> count(DataStore& store, const QString& table, const QString& token);

// The postings of token with fromId <= id <= toId, ascending: only the
// segments over that span are read.
[[nodiscard]] Result<Postings> readBetween(DataStore& store, const QString& table, const QString& token, qint64 fromId,
                                           qint64 toId);

// Many tokens' postings written in one transaction (a catch-up's batch):
// its two statements prepared once and run again for each token. New ids
// above all a token holds are put after the bytes of its last segment, as
// many as it has room for, the rest in new segments; others are merged as
// add() merges them. Inside the caller's transaction, for as long as it.
class Appender {
public:
    Appender(DataStore& store, const QString& table);
    ~Appender();
    Appender(const Appender&) = delete;
    Appender& operator=(const Appender&) = delete;

    [[nodiscard]] Status add(const QString& token, const Postings& postings);

    struct Streams;

private:
    DataStore& m_store;
    QString m_table;
    std::unique_ptr<Streams> m_streams;
};

}  // namespace TokenSegments
