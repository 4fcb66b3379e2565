#include "listing/SearchConditions.h"

#include "archive/GroupPath.h"
#include "archive/ProtectedGroups.h"
#include "listing/ListColumns.h"
#include "store/DataStore.h"
#include "store/Schema.h"

#include <QDate>
#include <QRegularExpression>

namespace SearchConditions {

namespace {

const QString kContains = QStringLiteral("包含");
const QString kLeft = QStringLiteral("左包含");
const QString kRight = QStringLiteral("右包含");
const QString kNotContains = QStringLiteral("不包含");
const QStringList kComparisons{QStringLiteral(">"), QStringLiteral("<"), QStringLiteral(">="),
                               QStringLiteral("<="), QStringLiteral("="), QStringLiteral("<>")};

// The text of a date that the date conditions accept; anything else
// (empty, never set "100年1月1日") meets none of them.
const QString kDateShape = QStringLiteral("[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]*");

const QChar kEscape = QLatin1Char('^');
const QChar kRowSeparator = QChar(0x00A7);   // §
const QChar kPartSeparator = QChar(0x2642);  // ♂

// A LIKE pattern escaped with "!" (escape '!'), so that a typed "%", "_" or
// "!" matches itself.
QString likeEscaped(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (QChar c : value) {
        if (c == QLatin1Char('!') || c == QLatin1Char('%') || c == QLatin1Char('_'))
            out += QLatin1Char('!');
        out += c;
    }
    return out;
}

// The search index finds candidates for a substring of three characters or
// more (the trigram tokenizer sees nothing in fewer).
bool indexServes(const QString& field, const QString& value)
{
    return Schema::searchIndexColumns().contains(field) && value.toUcs4().size() >= 3;
}

// A phrase query on one column of the search index: the value as one
// quoted phrase (a quote inside doubled), which the trigram tokenizer
// matches as a substring.
QString phraseQuery(const QString& field, const QString& value)
{
    return QStringLiteral("{%1} : \"").arg(field) + QString(value).replace(QLatin1Char('"'), QStringLiteral("\"\""))
           + QLatin1Char('"');
}

struct Piece {
    Piece() = default;
    Piece(QString text, QVariantList values) : sql(std::move(text)), params(std::move(values)) {}
    QString sql;
    QVariantList params;
    // The search index's own query when it serves the piece.
    QString candidates;
    QVariant candidateParam;
};

Piece textPiece(const Condition& c, bool useIndex)
{
    Piece p;
    const QString& f = c.field;  // checked against the searchable fields
    bool substring = true;
    if (c.op == kContains) {
        p.sql = f + QStringLiteral(" like ? escape '!'");
        p.params << QStringLiteral("%") + likeEscaped(c.value) + QStringLiteral("%");
    } else if (c.op == kLeft) {
        p.sql = f + QStringLiteral(" like ? escape '!'");
        p.params << likeEscaped(c.value) + QStringLiteral("%");
    } else if (c.op == kRight) {
        p.sql = f + QStringLiteral(" like ? escape '!'");
        p.params << QStringLiteral("%") + likeEscaped(c.value);
    } else if (c.op == kNotContains) {
        p.sql = f + QStringLiteral(" not like ? escape '!'");
        p.params << QStringLiteral("%") + likeEscaped(c.value) + QStringLiteral("%");
        substring = false;
    } else {
        p.sql = f + QLatin1Char(' ') + c.op + QStringLiteral(" ?");
        p.params << c.value;
        substring = c.op == QLatin1String("=");
    }
    if (useIndex && substring && indexServes(f, c.value)) {
        // The index gives the records whose field holds the value somewhere
        // (case folded, so never fewer); the comparison itself decides.
        p.candidates = QStringLiteral("select rowid from %1 where %1 match ?").arg(QLatin1String(Schema::SearchIndexTable));
        p.candidateParam = phraseQuery(f, c.value);
        p.sql = QStringLiteral("id in (") + p.candidates + QStringLiteral(") and ") + p.sql;
        p.params.prepend(p.candidateParam);
    }
    return p;
}

Piece numberPiece(const Condition& c)
{
    const QString column = c.field == QLatin1String("dx") ? QStringLiteral("dxsz") : c.field;
    return {column + QLatin1Char(' ') + c.op + QStringLiteral(" ?"), {parseNumber(c.field, c.value).value_or(0)}};
}

// A date compares with the date part of the stored text: "= 2026-12-09" is
// that whole day. Written as a range of the stored text, which its index serves.
Piece datePiece(const Condition& c)
{
    const QDate day = QDate::fromString(c.value, QStringLiteral("yyyy-MM-dd"));
    const QString d = day.toString(QStringLiteral("yyyy-MM-dd"));
    const QString next = day.addDays(1).toString(QStringLiteral("yyyy-MM-dd"));
    const QString& f = c.field;
    const QString shape = f + QStringLiteral(" glob ?");
    if (c.op == QLatin1String("="))
        return {f + QStringLiteral(" >= ? and ") + f + QStringLiteral(" < ? and ") + shape, {d, next, kDateShape}};
    if (c.op == QLatin1String("<>"))
        return {QStringLiteral("(") + f + QStringLiteral(" < ? or ") + f + QStringLiteral(" >= ?) and ") + shape,
                {d, next, kDateShape}};
    if (c.op == QLatin1String(">"))
        return {f + QStringLiteral(" >= ? and ") + shape, {next, kDateShape}};
    if (c.op == QLatin1String(">="))
        return {f + QStringLiteral(" >= ? and ") + shape, {d, kDateShape}};
    if (c.op == QLatin1String("<"))
        return {f + QStringLiteral(" < ? and ") + shape, {d, kDateShape}};
    return {f + QStringLiteral(" < ? and ") + shape, {next, kDateShape}};  // <=
}

QString escapePart(const QString& part)
{
    QString out;
    out.reserve(part.size());
    for (QChar c : part) {
        if (c == kEscape)
            out += QStringLiteral("^^");
        else if (c == kRowSeparator)
            out += QStringLiteral("^1");
        else if (c == kPartSeparator)
            out += QStringLiteral("^2");
        else
            out += c;
    }
    return out;
}

std::optional<QString> unescapePart(const QString& part)
{
    QString out;
    out.reserve(part.size());
    for (qsizetype i = 0; i < part.size(); ++i) {
        const QChar c = part.at(i);
        if (c != kEscape) {
            out += c;
            continue;
        }
        if (++i >= part.size())
            return std::nullopt;
        const QChar n = part.at(i);
        if (n == kEscape)
            out += kEscape;
        else if (n == QLatin1Char('1'))
            out += kRowSeparator;
        else if (n == QLatin1Char('2'))
            out += kPartSeparator;
        else
            return std::nullopt;
    }
    return out;
}

QString joinRows(const QList<QStringList>& rows)
{
    QStringList out;
    for (const QStringList& parts : rows) {
        QStringList escaped;
        for (const QString& p : parts)
            escaped << escapePart(p);
        out << escaped.join(kPartSeparator);
    }
    return out.join(kRowSeparator);
}

}  // namespace

std::optional<Kind> kindOf(const QString& field)
{
    const QString f = ListColumns::canonicalField(field);
    if (f == QLatin1String("dx") || f == QLatin1String("ylcs"))
        return Kind::Number;
    if (f == QLatin1String("scsj") || f == QLatin1String("xgsj"))
        return Kind::Date;
    for (int i = WjColumns::PickListSpares; i < WjColumns::SpareCount; ++i)
        if (f == WjColumns::spareColumn(i))
            return Kind::Date;
    if (f == QLatin1String("bh") || f == QLatin1String("mc") || f == QLatin1String("fz") || f == QLatin1String("lx")
        || f == QLatin1String("scr") || f == QLatin1String("xgr") || f == QLatin1String("bz"))
        return Kind::Text;
    for (int i = 0; i < WjColumns::PickListSpares; ++i)
        if (f == WjColumns::spareColumn(i))
            return Kind::Text;
    return std::nullopt;
}

QStringList operators(Kind kind)
{
    if (kind == Kind::Text)
        return QStringList{kContains, kLeft, kRight, kNotContains} + kComparisons;
    return kComparisons;
}

Result<QList<Field>> fields(DataStore& store)
{
    RecordSet rs = store.query(QStringLiteral("select zdm,btm,bh from lbsz where bm='wj' order by bh"));
    if (!rs)
        return Result<QList<Field>>::fail(QStringLiteral("读取字段失败!"), store.lastError());
    QList<Field> out;
    for (; !rs.atEnd(); rs.next()) {
        const QString f = ListColumns::canonicalField(rs.text(0));
        const auto kind = kindOf(f);
        if (!kind)
            continue;
        QString title = rs.text(1);
        if (title.isEmpty())
            title = f;
        out.append(Field{f, title, *kind, int(rs.number(2))});
    }
    return out;
}

std::optional<qint64> parseNumber(const QString& field, const QString& typed)
{
    static const QRegularExpression form(QStringLiteral(R"(^\s*(\d{1,15}(?:\.\d{1,6})?)\s*([A-Za-z]*)\s*$)"));
    const auto m = form.match(typed);
    if (!m.hasMatch())
        return std::nullopt;
    const double number = m.captured(1).toDouble();
    const QString unit = m.captured(2).toUpper();
    const bool size = ListColumns::canonicalField(field) == QLatin1String("dx");
    double factor = 1;
    if (unit.isEmpty() || (size && (unit == QLatin1String("B") || unit == QLatin1String("BYTE"))))
        factor = 1;
    else if (size && (unit == QLatin1String("KB") || unit == QLatin1String("K")))
        factor = 1024;
    else if (size && (unit == QLatin1String("MB") || unit == QLatin1String("M")))
        factor = 1024.0 * 1024.0;
    else
        return std::nullopt;
    if (factor == 1 && m.captured(1).contains(QLatin1Char('.')))
        return std::nullopt;  // bytes and view counts are whole numbers
    const double value = number * factor;
    if (value > 9.0e15)
        return std::nullopt;
    return qint64(value + 0.5);
}

Status check(const Condition& c)
{
    const auto kind = kindOf(c.field);
    if (!kind || ListColumns::canonicalField(c.field) != c.field)
        return Status::fail(QStringLiteral("请选择搜索字段!"), QStringLiteral("unknown field: ") + c.field);
    if (!operators(*kind).contains(c.op))
        return Status::fail(QStringLiteral("请选择条件!"), QStringLiteral("unknown operator: ") + c.op);
    if (c.relation != And && c.relation != Or)
        return Status::fail(QStringLiteral("请选择关系!"), QStringLiteral("unknown relation: ") + c.relation);
    if (*kind == Kind::Number && !parseNumber(c.field, c.value))
        return Status::fail(c.field == QLatin1String("dx") ? QStringLiteral("请输入数值(可带单位 KB 或 MB)!")
                                                           : QStringLiteral("请输入数值!"),
                            QStringLiteral("not a number: ") + c.value);
    if (*kind == Kind::Date && !QDate::fromString(c.value, QStringLiteral("yyyy-MM-dd")).isValid())
        return Status::fail(QStringLiteral("请输入日期!"), QStringLiteral("not a date: ") + c.value);
    return {};
}

QString readable(const Condition& c)
{
    return c.op + QLatin1Char(' ') + c.value + QStringLiteral("  ") + c.relation;
}

QString sqlText(const Condition& c)
{
    const auto kind = kindOf(c.field).value_or(Kind::Text);
    const QString quoted = QString(c.value).replace(QLatin1Char('\''), QStringLiteral("''"));
    QString piece;
    if (c.op == kContains)
        piece = c.field + QStringLiteral(" like '%") + quoted + QStringLiteral("%'");
    else if (c.op == kLeft)
        piece = c.field + QStringLiteral(" like '") + quoted + QStringLiteral("%'");
    else if (c.op == kRight)
        piece = c.field + QStringLiteral(" like '%") + quoted + QStringLiteral("'");
    else if (c.op == kNotContains)
        piece = c.field + QStringLiteral(" not like '%") + quoted + QStringLiteral("%'");
    else if (kind == Kind::Number)
        piece = c.field + QLatin1Char(' ') + c.op + QLatin1Char(' ') + quoted;
    else
        piece = c.field + QLatin1Char(' ') + c.op + QStringLiteral(" '") + quoted + QLatin1Char('\'');
    return piece + (c.relation == Or ? QStringLiteral(" or  ") : QStringLiteral(" and "));
}

FilterClause build(const QList<Condition>& conditions, bool distinctNames, const QStringList& leftOutGroups,
                   bool useIndex)
{
    FilterClause clause = FilterClause::everything();
    QString candidates;
    QVariant candidateParam;
    bool allAnd = true;
    if (!conditions.isEmpty()) {
        QString sql;
        QVariantList params;
        for (int i = 0; i < conditions.size(); ++i) {
            const Condition& c = conditions.at(i);
            const Kind kind = kindOf(c.field).value_or(Kind::Text);
            const Piece p = kind == Kind::Number ? numberPiece(c) : kind == Kind::Date ? datePiece(c) : textPiece(c, useIndex);
            if (i > 0) {
                const bool orJoined = conditions.at(i - 1).relation == Or;
                allAnd = allAnd && !orJoined;
                sql += orJoined ? QStringLiteral(" or ") : QStringLiteral(" and ");
            }
            if (candidates.isEmpty() && !p.candidates.isEmpty()) {
                candidates = p.candidates;
                candidateParam = p.candidateParam;
            }
            sql += QLatin1Char('(') + p.sql + QLatin1Char(')');
            params += p.params;
        }
        clause = clause.andAlso(QLatin1Char('(') + sql + QLatin1Char(')'), params);
    }
    clause = clause.excludingGroups(leftOutGroups);
    if (distinctNames) {
        // A record is kept when no record entered before it (lower id) has
        // the same name and is found by the same clause. The clause's
        // columns inside the sub-query name the inner record.
        clause = clause.andAlso(QStringLiteral("not exists (select 1 from wj w2 indexed by wj_mc_lx") + clause.where
                                    + QStringLiteral(" and w2.mc is wj.mc and w2.id < wj.id)"),
                                clause.params);
    }
    // A lone "包含" finds what the index names for it, but for the case of
    // letters beyond ASCII: the list may judge the rows coming by the index.
    if (allAnd && !candidates.isEmpty() && conditions.size() == 1 && conditions.first().op == kContains) {
        clause.candidates = candidates;
        clause.candidateParams = {candidateParam};
    }
    if (useIndex && !candidates.isEmpty()) {
        const FilterClause plain = build(conditions, distinctNames, leftOutGroups, false);
        clause.scanWhere = plain.where;
        clause.scanParams = plain.params;
    }
    return clause;
}

Result<FilterClause> compile(DataStore& store, const ProtectedGroups& openGroups, const QList<Condition>& conditions,
                             const Options& options)
{
    for (const Condition& c : conditions)
        if (const Status ok = check(c); !ok)
            return Result<FilterClause>::fail(ok.message(), ok.detail());
    QStringList leftOut;
    if (!openGroups.readClosedPaths(store, &leftOut))
        return Result<FilterClause>::fail(QStringLiteral("读取分组失败!"), store.lastError());
    if (options.leaveOutProtected) {
        QList<GroupPath::Group> groups;
        if (!GroupPath::loadGroups(store, &groups))
            return Result<FilterClause>::fail(QStringLiteral("读取分组失败!"), store.lastError());
        for (const GroupPath::Group& g : std::as_const(groups))
            if (g.isProtected && !leftOut.contains(g.path))
                leftOut << g.path;
    }
    // An archive put back from an older copy during this run gets its search
    // index at the next start; until then its searches scan.
    const Result<std::optional<QVariant>> indexed = store.scalar(
        QStringLiteral("select count(*) from sqlite_master where name=? and type='table'"
                       " and not exists (select 1 from sqlite_master where name='wj_ss_jd')"),
        {QLatin1String(Schema::SearchIndexTable)});
    if (!indexed)
        return Result<FilterClause>::fail(QStringLiteral("读取条件失败!"), indexed.detail());
    return build(conditions, options.distinctNames, leftOut, indexed->value_or(0).toInt() > 0);
}

QString encodeRows(const QList<Condition>& conditions)
{
    QList<QStringList> rows;
    for (const Condition& c : conditions)
        rows << QStringList{c.field, c.op, c.value, c.relation};
    return joinRows(rows);
}

std::optional<QList<Condition>> decodeRows(const QString& text)
{
    QList<Condition> out;
    if (text.isEmpty())
        return out;
    for (const QString& row : text.split(kRowSeparator)) {
        const QStringList parts = row.split(kPartSeparator);
        if (parts.size() != 4)
            return std::nullopt;
        QStringList plain;
        for (const QString& p : parts) {
            const auto u = unescapePart(p);
            if (!u)
                return std::nullopt;
            plain << *u;
        }
        out.append(Condition{plain.at(0), plain.at(1), plain.at(2), plain.at(3)});
    }
    return out;
}

QString encodeSql(const QList<Condition>& conditions)
{
    QList<QStringList> rows;
    for (const Condition& c : conditions)
        rows << QStringList{c.field, sqlText(c)};
    return joinRows(rows);
}

}  // namespace SearchConditions
