#include "listing/SortClause.h"

#include "listing/ListColumns.h"

#include <QRegularExpression>
#include <QStringList>

namespace SortClause {

namespace {

// A field together with the comparable forms that stand for it.
QString fieldOfTerm(const QString& term)
{
    static const QRegularExpression wrapped(
        QStringLiteral(
            R"(^(?:substr\(\s*(\w+)\s*,\s*1\s*,\s*19\s*\)|format\(\s*mid\(\s*(\w+)\s*,\s*1\s*,\s*19\s*\)\s*,\s*'yyyy-mm-dd-hh:mm:ss'\s*\))$)"),
        QRegularExpression::CaseInsensitiveOption);
    const auto m = wrapped.match(term);
    if (m.hasMatch()) {
        const QString f = ListColumns::canonicalField(m.captured(1).isEmpty() ? m.captured(2) : m.captured(1));
        return f == QLatin1String("scsj") || f == QLatin1String("xgsj") ? f : QString();
    }
    const QString f = ListColumns::canonicalField(term);
    return f == QLatin1String("dxsz") ? QStringLiteral("dx") : f;
}

}  // namespace

std::optional<QList<Key>> parse(const QString& clause)
{
    QString text = clause.simplified();
    if (text.isEmpty())
        return QList<Key>{};
    static const QRegularExpression head(QStringLiteral(R"(^order\s+by\s+)"),
                                         QRegularExpression::CaseInsensitiveOption);
    const auto m = head.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    text = text.mid(m.capturedLength());
    // Split at commas outside brackets (the format() form holds commas).
    QStringList terms;
    int depth = 0;
    QString current;
    bool inQuote = false;
    for (QChar ch : text) {
        if (ch == QLatin1Char('\''))
            inQuote = !inQuote;
        else if (!inQuote && ch == QLatin1Char('('))
            ++depth;
        else if (!inQuote && ch == QLatin1Char(')'))
            --depth;
        if (depth < 0)
            return std::nullopt;
        if (ch == QLatin1Char(',') && depth == 0 && !inQuote) {
            terms << current;
            current.clear();
        } else {
            current += ch;
        }
    }
    if (depth != 0 || inQuote)
        return std::nullopt;
    terms << current;

    static const QRegularExpression direction(QStringLiteral(R"(^(.*?)(?:\s+(asc|desc))?$)"),
                                              QRegularExpression::CaseInsensitiveOption);
    QList<Key> keys;
    for (const QString& raw : std::as_const(terms)) {
        const auto d = direction.match(raw.trimmed());
        if (!d.hasMatch())
            return std::nullopt;
        const QString field = fieldOfTerm(d.captured(1).trimmed());
        if (field.isEmpty())
            return std::nullopt;
        keys.append({field, d.captured(2).compare(QLatin1String("desc"), Qt::CaseInsensitive) == 0});
    }
    return keys;
}

QString sortExpression(const QString& field)
{
    return ListStatements::sortExpression(field);
}

QString orderBy(const QList<Key>& keys)
{
    return ListStatements::orderBy(keys);
}

QList<Key> effectiveKeys(const QString& savedClause)
{
    return parse(savedClause).value_or(QList<Key>{});
}

QString effectiveOrderBy(const QString& savedClause)
{
    return orderBy(effectiveKeys(savedClause));
}

QList<Key> columnKeys(const QString& field, bool descending)
{
    const QString f = fieldOfTerm(field.trimmed());
    if (f.isEmpty())
        return {};
    return {Key{f, descending}};
}

bool isManualOrder(const QString& savedClause)
{
    const auto keys = parse(savedClause);
    return !keys || keys->isEmpty() || (keys->first().field == QLatin1String("xh") && !keys->first().descending);
}

}  // namespace SortClause
