#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <functional>

// The words of a text for finding a file by what it says, in a form an
// inverted index (token -> record) keeps.
//
// Chinese has no blanks between words, so Han characters (CJK unified
// ideographs with their extensions, compatibility ideographs, 〇 々), kana
// and hangul are indexed as overlapping pairs of neighbouring characters
// ("合同编号" -> 合同 同编 编号) plus every character on its own (合 同 编 号),
// so that a search for one character needs no scan either. Other text is
// split into words: runs of letters, digits and marks, case folded.
// Everything else (punctuation, symbols, blanks) only separates.
//
// A word's token is its first kMaxWordUnits UTF-16 units.
//
// Both sides go through normalize() first; tokens() and queryTokens() take
// the normalized text.
namespace TextTokens {

// NFKC (full-width forms become ordinary ones: "ＡＢＣ１２３" -> "ABC123"),
// case folded ("abc123"), whitespace between two Han characters removed
// (OCR and typed-in texts put blanks there: "档 案" -> "档案",
// "合同\n编号" -> "合同编号"), every other run of whitespace one blank, none
// at either end.
QString normalize(QStringView text);

inline constexpr qsizetype kMaxWordUnits = 40;

struct Token {
    QString text;
    int count = 0;        // how often it occurs in the text
    qsizetype first = 0;  // UTF-16 offset of its first occurrence
};

// Every distinct token of `normalized`, each once, in the order of first
// occurrence.
QList<Token> tokens(QStringView normalized);

// Every token of `normalized` where it occurs, repeats included, in the
// order of the text: what tokens() gathers, handed to `sink` as a view into
// `normalized` (`paired`: a pair or a single character of the paired
// scripts), nothing gathered or copied.
// `offset`: where the token begins in `normalized` (UTF-16 units).
void forEachToken(QStringView normalized,
                  const std::function<void(QStringView token, bool paired, qsizetype offset)>& sink);
void forEachToken(QStringView normalized, const std::function<void(QStringView token, bool paired)>& sink);

// What a record containing the (normalized) query text somewhere in its
// (normalized) text is sure to hold.
struct QueryToken {
    enum Match {
        // The record holds this very token.
        Exact,
        // The record holds a token that begins with this text: a word at the
        // end of the query may go on in the record ("合同abc" is found in
        // "合同abcd").
        Prefix,
        // The record holds a token that ends with this text: a word at the
        // start of the query may begin earlier in the record. An index of
        // tokens cannot look this up; only a search that matches words from
        // their start may take it as Exact.
        Suffix,
        // The query is a piece of one word ("ontr" of "contract"): the index
        // promises nothing; candidates come from other tokens or a scan.
        // A search that matches words from their start may take it as Prefix.
        Within,
    };
    QString text;
    Match match = Exact;
    // Where it begins in the query (UTF-16 units); a token met twice is
    // given once, at its first place.
    qsizetype offset = 0;
    bool operator==(const QueryToken& o) const { return text == o.text && match == o.match; }
};

// The tokens of a query, split as tokens() splits a record, each marked with
// what it promises. For a search by substring, every Exact and Prefix token
// must be present in a hit, so they narrow the candidates; when there are
// none, no record can be ruled out by the index. Candidates still need the
// query confirmed in their text (the tokens say nothing about order).
QList<QueryToken> queryTokens(QStringView normalizedQuery);

// True for the characters indexed in pairs (Han, kana, hangul).
bool isPaired(char32_t c);

}
