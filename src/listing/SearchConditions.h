#pragma once

#include "archive/FilterClause.h"
#include "platform/Result.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

class DataStore;
class ProtectedGroups;

// The conditions of the search window on the fields of wj, and the filter
// clause they make for the file list. Every value reaches SQL bound; the
// readable SQL text kept beside a saved condition is never executed.
namespace SearchConditions {

// How a field is compared: "数值型" (the size, the view count), "日期型"
// (the stored times and the date spare fields), as text, or the records'
// content ("文件内容", through the content index).
enum class Kind { Text, Number, Date, Content };

// The field that stands for the records' content: no column of wj, the
// last of the search's fields.
inline const QString ContentField = QStringLiteral("wjnr");
inline const QString ContentTitle = QStringLiteral("文件内容");

struct Field {
    QString field;  // wj column
    QString title;  // lbsz.btm
    Kind kind = Kind::Text;
    int bh = 0;  // lbsz.bh (a spare field's option list has the same number)
};

inline const QString And = QStringLiteral("并且");
inline const QString Or = QStringLiteral("或者");

struct Condition {
    QString field;     // wj column
    QString op;        // "包含", "左包含", "右包含", "不包含", ">", "<", ">=", "<=", "=", "<>"
    QString value;     // as typed; a date as yyyy-MM-dd; a size with its optional unit
    QString relation;  // And or Or
    bool operator==(const Condition& o) const
    {
        return field == o.field && op == o.op && value == o.value && relation == o.relation;
    }
};

struct Options {
    bool distinctNames = false;      // "不显示重名文件"
    bool leaveOutProtected = false;  // "不包含加密分组"
};

// The kind of a searchable field; nullopt for a field the search does not offer.
std::optional<Kind> kindOf(const QString& field);
// The operators offered for a kind, in the order shown.
QStringList operators(Kind kind);

// The searchable fields in home order (lbsz.bh) with their titles, then
// "文件内容". Rows naming anything but a searchable field of wj are left out.
Result<QList<Field>> fields(DataStore& store);

// A typed number of the kind "数值型": for the size, bytes (a unit KB or MB
// may follow); for the view count, a whole number. nullopt when not one.
std::optional<qint64> parseNumber(const QString& field, const QString& typed);

// Whether the condition can be searched: a searchable field, one of its
// kind's operators, a relation, a value the kind accepts. The failure
// carries the message the window shows.
Status check(const Condition& condition);

// What the window shows for a condition: operator, value, relation.
QString readable(const Condition& condition);
// The condition as readable SQL (field, operator, quoted value, relation).
// Kept for the operator's eye only.
QString sqlText(const Condition& condition);

// The clause of the conditions: the pieces joined in list order by their
// relations (the last one's relation dropped), bracketed as a whole; then
// the files of leftOutGroups and their sub-groups left out; then, with
// distinctNames, of the records found only the first-entered of each name.
// useIndex false gives the plain scan that the search index must agree with.
FilterClause build(const QList<Condition>& conditions, bool distinctNames, const QStringList& leftOutGroups,
                   bool useIndex = true);

// The clause of the search window: the closed protected groups are always
// left out, with leaveOutProtected every protected group. Fails (with the
// window's message) when a condition does not pass check() or the groups
// cannot be read.
Result<FilterClause> compile(DataStore& store, const ProtectedGroups& openGroups, const QList<Condition>& conditions,
                             const Options& options);

// The condition rows as kept in tj.nr: rows joined by "§", the parts of a
// row by "♂", with "^", "§" and "♂" inside a part escaped so that every
// text reads back exactly.
QString encodeRows(const QList<Condition>& conditions);
// The rows of an encoded text; nullopt when it is not one.
std::optional<QList<Condition>> decodeRows(const QString& text);
// The readable SQL of the rows for tj.sq, joined the same way.
QString encodeSql(const QList<Condition>& conditions);

}  // namespace SearchConditions
