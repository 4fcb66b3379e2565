#include "store/ListStatements.h"

#include "store/Backend.h"
#include "store/DataStore.h"
#include "store/Schema.h"
#include "store/WjColumns.h"

#include <QDate>

namespace {

struct Piece {
    QString sql;
    QVariantList params;
    // The search index's own query when it serves the piece.
    QString candidates;
    QVariant candidateParam;
};

// This group and its sub-groups: fz = path or fz begins with path + "\",
// written as one range of the binary order, so that the index on fz (with
// dxsz beside it) answers with a single search: every path of the group or
// below it lies in [path, path + "]"), "]" being the character after "\".
// The range also holds names that merely begin with path ("AB", "A B"), so
// inside it only path itself and what follows path + "\" count. No
// wildcard: "%", "_" and "\" in names mean themselves. The root (empty
// path) holds every record.
Piece groupPiece(const QString& path)
{
    if (path.isEmpty())
        return {QStringLiteral("(1 = 1)"), {}, {}, {}};
    return {QStringLiteral("(fz >= ? and fz < ? and (fz = ? or fz > ?))"),
            {path, path + QLatin1Char(']'), path, path + QLatin1Char('\\')},
            {},
            {}};
}

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

QString comparison(FieldCondition::Op op)
{
    using Op = FieldCondition::Op;
    switch (op) {
    case Op::NotEqual:
        return QStringLiteral("<>");
    case Op::Less:
        return QStringLiteral("<");
    case Op::Greater:
        return QStringLiteral(">");
    case Op::LessOrEqual:
        return QStringLiteral("<=");
    case Op::GreaterOrEqual:
        return QStringLiteral(">=");
    default:
        return QStringLiteral("=");
    }
}

// The search index finds candidates for a substring of three characters or
// more (the trigram tokenizer sees nothing in fewer).
bool indexServes(const QString& field, const QString& value)
{
    return Schema::searchIndexColumns().contains(field) && value.toUcs4().size() >= 3;
}

Piece textPiece(const Backend& backend, const FieldCondition& c, bool useIndex)
{
    using Op = FieldCondition::Op;
    Piece p;
    const QString& f = c.field;
    bool substring = true;
    const QString like = QStringLiteral(" like ? escape '!'");
    switch (c.op) {
    case Op::Contains:
        p.sql = f + like;
        p.params << QStringLiteral("%") + likeEscaped(c.text) + QStringLiteral("%");
        break;
    case Op::StartsWith:
        p.sql = f + like;
        p.params << likeEscaped(c.text) + QStringLiteral("%");
        break;
    case Op::EndsWith:
        p.sql = f + like;
        p.params << QStringLiteral("%") + likeEscaped(c.text);
        break;
    case Op::NotContains:
        p.sql = f + QStringLiteral(" not") + like;
        p.params << QStringLiteral("%") + likeEscaped(c.text) + QStringLiteral("%");
        substring = false;
        break;
    default:
        p.sql = f + QLatin1Char(' ') + comparison(c.op) + QStringLiteral(" ?");
        p.params << c.text;
        substring = c.op == Op::Equal;
        break;
    }
    if (useIndex && substring && c.fieldIds) {
        // The field tokens named the records that may hold the one or two
        // characters (and every record changed since they were written);
        // the comparison itself decides among them.
        p.sql = backend.idListCondition(QStringLiteral("id"), true) + QStringLiteral(" and ") + p.sql;
        p.params.prepend(backend.idListValue(*c.fieldIds));
    } else if (useIndex && substring && indexServes(f, c.text)) {
        // The index gives the records whose field holds the value somewhere
        // (case folded, so never fewer); the comparison itself decides.
        p.candidates = backend.searchIndexCandidates();
        p.candidateParam = backend.searchIndexPhrase(f, c.text);
        p.sql = QStringLiteral("id in (") + p.candidates + QStringLiteral(") and ") + p.sql;
        p.params.prepend(p.candidateParam);
    }
    return p;
}

Piece numberPiece(const FieldCondition& c)
{
    const QString column = c.field == QLatin1String("dx") ? QStringLiteral("dxsz") : c.field;
    return {column + QLatin1Char(' ') + comparison(c.op) + QStringLiteral(" ?"), {c.number}, {}, {}};
}

// A date compares with the date part of the stored text: "= 2026-12-09" is
// that whole day. Written as a range of the stored text, which its index
// serves; a text that is no date (empty, never set) meets none.
Piece datePiece(const Backend& backend, const FieldCondition& c)
{
    using Op = FieldCondition::Op;
    const QDate day = QDate::fromString(c.text, QStringLiteral("yyyy-MM-dd"));
    const QString d = day.toString(QStringLiteral("yyyy-MM-dd"));
    const QString next = day.addDays(1).toString(QStringLiteral("yyyy-MM-dd"));
    const QString& f = c.field;
    const QString shape = backend.dateTextCondition(f);
    const QString pattern = backend.dateTextPattern();
    switch (c.op) {
    case Op::Equal:
        return {f + QStringLiteral(" >= ? and ") + f + QStringLiteral(" < ? and ") + shape, {d, next, pattern}, {}, {}};
    case Op::NotEqual:
        return {QStringLiteral("(") + f + QStringLiteral(" < ? or ") + f + QStringLiteral(" >= ?) and ") + shape,
                {d, next, pattern},
                {},
                {}};
    case Op::Greater:
        return {f + QStringLiteral(" >= ? and ") + shape, {next, pattern}, {}, {}};
    case Op::GreaterOrEqual:
        return {f + QStringLiteral(" >= ? and ") + shape, {d, pattern}, {}, {}};
    case Op::Less:
        return {f + QStringLiteral(" < ? and ") + shape, {d, pattern}, {}, {}};
    default:
        return {f + QStringLiteral(" < ? and ") + shape, {next, pattern}, {}, {}};  // <=
    }
}

// What the content index found for the condition, bound as one list of
// ids: "contains" the records found, "does not contain" every other one (a
// record without text yet holds no word). Not looked up: no record.
Piece contentPiece(const Backend& backend, const FieldCondition& c)
{
    const bool within = c.op == FieldCondition::Op::Contains;
    if (!c.contentIds || (!within && c.op != FieldCondition::Op::NotContains))
        return {QStringLiteral("1 = 0"), {}, {}, {}};
    return {backend.idListCondition(QStringLiteral("id"), within), {backend.idListValue(*c.contentIds)}, {}, {}};
}

Piece conditionPiece(const Backend& backend, const FieldCondition& c, bool useIndex)
{
    if (c.kind == FieldCondition::Kind::Content)
        return contentPiece(backend, c);
    // Only a column of wj reaches the text; anything else meets no record.
    if (c.field.isEmpty() || WjColumns::canonical(c.field) != c.field)
        return {QStringLiteral("1 = 0"), {}, {}, {}};
    switch (c.kind) {
    case FieldCondition::Kind::Number:
        return numberPiece(c);
    case FieldCondition::Kind::Date:
        return datePiece(backend, c);
    default:
        return textPiece(backend, c, useIndex);
    }
}

void andAlso(FilterStatement& s, const QString& condition, const QVariantList& values)
{
    s.where += QStringLiteral(" and ") + condition + QLatin1Char(' ');
    s.params += values;
}

void leaveOut(FilterStatement& s, const QStringList& groups)
{
    for (const QString& path : groups) {
        const Piece g = groupPiece(path);
        andAlso(s, QStringLiteral("not ") + g.sql, g.params);
    }
}

}  // namespace

FilterStatement FilterStatement::of(const Backend& backend, const RecordFilter& filter)
{
    FilterStatement s;
    s.where = QStringLiteral(" where 1=1 ");
    if (filter.nothing)
        andAlso(s, QStringLiteral("(1 = 0)"), {});
    if (filter.group) {
        const Piece g = groupPiece(*filter.group);
        andAlso(s, g.sql, g.params);
    }
    QString candidates;
    QVariant candidateParam;
    if (!filter.conditions.isEmpty()) {
        QString sql;
        QVariantList params;
        for (qsizetype i = 0; i < filter.conditions.size(); ++i) {
            const Piece p = conditionPiece(backend, filter.conditions.at(i), filter.useSearchIndex);
            if (i > 0)
                sql += filter.conditions.at(i - 1).orWithNext ? QStringLiteral(" or ") : QStringLiteral(" and ");
            if (candidates.isEmpty() && !p.candidates.isEmpty()) {
                candidates = p.candidates;
                candidateParam = p.candidateParam;
            }
            sql += QLatin1Char('(') + p.sql + QLatin1Char(')');
            params += p.params;
        }
        andAlso(s, QLatin1Char('(') + sql + QLatin1Char(')'), params);
    }
    leaveOut(s, filter.searchLeftOut);
    if (filter.distinctNames) {
        // A record is kept when no record entered before it (lower id) has
        // the same name and is found by the same filter. The filter's
        // columns inside the sub-query name the inner record.
        const QVariantList inner = s.params;
        andAlso(s,
                QStringLiteral("not exists (select 1 from wj w2") + backend.indexHint(QStringLiteral("wj_mc_lx"))
                    + s.where + QStringLiteral(" and w2.mc is wj.mc and w2.id < wj.id)"),
                inner);
    }
    leaveOut(s, filter.hiddenGroups);
    // A lone "contains" finds what the index names for it, but for the case
    // of letters beyond ASCII: the list may judge the rows coming by the index.
    if (!candidates.isEmpty() && filter.conditions.size() == 1
        && filter.conditions.first().op == FieldCondition::Op::Contains) {
        s.candidates = candidates;
        s.candidateParams = {candidateParam};
    }
    if (!candidates.isEmpty()) {
        RecordFilter plain = filter;
        plain.useSearchIndex = false;
        const FilterStatement scan = of(backend, plain);
        s.scanWhere = scan.where;
        s.scanParams = scan.params;
    }
    return s;
}

QString ListStatements::sortExpression(const QString& field)
{
    const QString f = WjColumns::canonical(field);
    if (f == QLatin1String("dx"))
        return QStringLiteral("dxsz");
    if (f == QLatin1String("scsj") || f == QLatin1String("xgsj"))
        return QStringLiteral("substr(%1,1,19)").arg(f);
    return f;
}

QString ListStatements::orderBy(const QList<SortKey>& keys)
{
    QStringList parts;
    bool hasId = false;
    for (const SortKey& k : keys) {
        const QString e = sortExpression(k.field);
        if (e.isEmpty())
            continue;
        hasId = hasId || e == QLatin1String("id");
        parts << e + (k.descending ? QStringLiteral(" desc") : QStringLiteral(" asc"));
    }
    if (parts.isEmpty())
        parts << QStringLiteral("xh asc");
    if (!hasId)
        parts << QStringLiteral("id asc");
    return QStringLiteral(" order by ") + parts.join(QLatin1Char(','));
}

ListStatements ListStatements::make(const Backend& backend, const QStringList& fields, const RecordFilter& filter,
                                    const QList<SortKey>& keys)
{
    const FilterStatement f = FilterStatement::of(backend, filter);
    ListStatements q;
    // Only columns of wj reach the text; anything else keeps its place empty.
    QStringList columns;
    columns.reserve(fields.size());
    for (const QString& field : fields)
        columns << (WjColumns::canonical(field) == field && !field.isEmpty() ? field : QStringLiteral("null"));
    const QString orderBy = ListStatements::orderBy(keys);
    const QString select = QStringLiteral("select ") + columns.join(QLatin1Char(',')) + QStringLiteral(" from wj");
    q.sql = select + f.where + orderBy;
    q.params = f.params;
    // The first key's expression, as orderBy() writes it.
    const QString first = keys.isEmpty() ? QStringLiteral("xh") : sortExpression(keys.first().field);
    q.orderIndex = Schema::orderIndexName(first);
    if (!q.orderIndex.isEmpty() && first != QLatin1String("id")) {
        q.orderedSql = select + backend.indexHint(q.orderIndex) + f.where + orderBy;
        if (!f.scanWhere.isEmpty()) {
            q.scanSql = select + backend.indexHint(q.orderIndex) + f.scanWhere + orderBy;
            q.scanParams = f.scanParams;
        }
    } else {
        q.orderIndex.clear();
    }
    if (f.candidates.isEmpty()) {
        q.boundedCountSql =
            QStringLiteral("select count(*) from (select 1 from wj") + f.where + QStringLiteral(" limit ?)");
        q.boundedCountParams = f.params;
    } else {
        q.boundedCountSql = QStringLiteral("select count(*) from (") + f.candidates + QStringLiteral(" limit ?)");
        q.boundedCountParams = f.candidateParams;
        q.countsCandidates = true;
    }
    q.statisticsSql = QStringLiteral("select count(*),sum(dxsz) from wj") + f.where;
    q.statisticsParams = f.params;
    return q;
}

QString ListStatements::orderedFirst(int rows) const
{
    return orderedSql + QStringLiteral(" limit %1").arg(rows);
}

Result<bool> ListStatements::countScansTable(DataStore& store, qint64 bound) const
{
    return store.backend().scansTable(store, boundedCountSql, QVariantList(boundedCountParams) << bound,
                                      QStringLiteral("wj"));
}

Result<bool> ListStatements::hasOrderIndex(DataStore& store) const
{
    return store.backend().hasIndex(store, orderIndex);
}

Result<qint64> ListStatements::boundedCount(DataStore& store, qint64 bound) const
{
    const Result<std::optional<QVariant>> counted =
        store.scalar(boundedCountSql, QVariantList(boundedCountParams) << bound);
    if (!counted)
        return counted.failure();
    return counted->value_or(0).toLongLong();
}

Result<ListTotals> ListTotals::read(DataStore& store, const QString& sql, const QVariantList& params)
{
    RecordSet rs = store.query(sql, params);
    if (!rs)
        return Result<ListTotals>::fail(QString(), store.lastError());
    if (rs.atEnd())
        return Result<ListTotals>::fail(QString(), QStringLiteral("no statistics row"));
    return ListTotals{rs.number(0), rs.number(1)};
}
