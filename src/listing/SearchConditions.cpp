#include "listing/SearchConditions.h"

#include "archive/GroupPath.h"
#include "archive/ProtectedGroups.h"
#include "listing/ListColumns.h"
#include "platform/TextTokens.h"
#include "store/ColumnSettings.h"
#include "store/DataStore.h"
#include "store/SearchIndex.h"

#include <QHash>

#include <QDate>
#include <QRegularExpression>

namespace SearchConditions {

namespace {

const QString kContains = QStringLiteral("包含");
const QString kLeft = QStringLiteral("左包含");
const QString kRight = QStringLiteral("右包含");
const QString kNotContains = QStringLiteral("不包含");
const QStringList kComparisons{QStringLiteral(">"),  QStringLiteral("<"), QStringLiteral(">="),
                               QStringLiteral("<="), QStringLiteral("="), QStringLiteral("<>")};

const QChar kEscape = QLatin1Char('^');
const QChar kRowSeparator = QChar(0x00A7);   // §
const QChar kPartSeparator = QChar(0x2642);  // ♂

// The store's operator for one of the window's; nullopt for one it does not offer.
std::optional<FieldCondition::Op> opOf(const QString& op)
{
    using Op = FieldCondition::Op;
    static const QHash<QString, Op> ops{
        {kContains, Op::Contains},
        {kLeft, Op::StartsWith},
        {kRight, Op::EndsWith},
        {kNotContains, Op::NotContains},
        {QStringLiteral(">"), Op::Greater},
        {QStringLiteral("<"), Op::Less},
        {QStringLiteral(">="), Op::GreaterOrEqual},
        {QStringLiteral("<="), Op::LessOrEqual},
        {QStringLiteral("="), Op::Equal},
        {QStringLiteral("<>"), Op::NotEqual},
    };
    const auto it = ops.constFind(op);
    if (it == ops.constEnd())
        return std::nullopt;
    return *it;
}

FieldCondition fieldCondition(const Condition& c)
{
    FieldCondition f;
    const Kind kind = kindOf(c.field).value_or(Kind::Text);
    f.kind = kind == Kind::Number ? FieldCondition::Kind::Number
        : kind == Kind::Date      ? FieldCondition::Kind::Date
                                  : FieldCondition::Kind::Text;
    const auto op = opOf(c.op);
    // An operator the search does not know meets no record (the field
    // left empty says so); check() refuses it before a search.
    if (kind == Kind::Content)
        f.kind = FieldCondition::Kind::Content;
    f.field = op ? c.field : QString();
    f.op = op.value_or(FieldCondition::Op::Equal);
    f.text = c.value;
    if (kind == Kind::Number)
        f.number = parseNumber(c.field, c.value).value_or(0);
    f.orWithNext = c.relation == Or;
    return f;
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
    if (field == ContentField)
        return Kind::Content;
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
    if (kind == Kind::Content)
        return QStringList{kContains, kNotContains};
    return kComparisons;
}

Result<QList<Field>> fields(DataStore& store)
{
    const Result<QList<ColumnSettings::Row>> rows = ColumnSettings::rows(store, ColumnSettings::Order::Home);
    if (!rows)
        return Result<QList<Field>>::fail(QStringLiteral("读取字段失败!"), rows.detail());
    QList<Field> out;
    for (const ColumnSettings::Row& r : rows.value()) {
        const QString f = ListColumns::canonicalField(r.field);
        const auto kind = kindOf(f);
        if (!kind)
            continue;
        QString title = r.title;
        if (title.isEmpty())
            title = f;
        out.append(Field{f, title, *kind, r.bh});
    }
    out.append(Field{ContentField, ContentTitle, Kind::Content, 0});
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
    if (!kind || (*kind != Kind::Content && ListColumns::canonicalField(c.field) != c.field))
        return Status::fail(QStringLiteral("请选择搜索字段!"), QStringLiteral("unknown field: ") + c.field);
    if (!operators(*kind).contains(c.op))
        return Status::fail(QStringLiteral("请选择条件!"), QStringLiteral("unknown operator: ") + c.op);
    if (c.relation != And && c.relation != Or)
        return Status::fail(QStringLiteral("请选择关系!"), QStringLiteral("unknown relation: ") + c.relation);
    if (*kind == Kind::Number && !parseNumber(c.field, c.value))
        return Status::fail(c.field == QLatin1String("dx") ? QStringLiteral("请输入数值(可带单位 KB 或 MB)!")
                                                           : QStringLiteral("请输入数值!"),
                            QStringLiteral("not a number: ") + c.value);
    if (*kind == Kind::Content && TextTokens::normalize(c.value).isEmpty())
        return Status::fail(QStringLiteral("请输入要查找的内容!"), QStringLiteral("no content text"));
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
    if (kind == Kind::Content)
        piece = c.field + (c.op == kNotContains ? QStringLiteral(" not") : QString()) + QStringLiteral(" holds '")
            + quoted + QLatin1Char('\'');
    else if (c.op == kContains)
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
    for (const Condition& c : conditions)
        clause.conditions << fieldCondition(c);
    clause.useSearchIndex = useIndex;
    clause.searchLeftOut = leftOutGroups;
    clause.distinctNames = distinctNames;
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
    const Result<bool> indexed = SearchIndex::ready(store);
    if (!indexed)
        return Result<FilterClause>::fail(QStringLiteral("读取条件失败!"), indexed.detail());
    return build(conditions, options.distinctNames, leftOut, indexed.value());
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
