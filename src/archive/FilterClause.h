#pragma once

#include <QString>
#include <QStringList>
#include <QVariantList>

// The WHERE part of the list query with its bound values, handed from the
// group tree or the search to the file list. `where` always begins with
// " where " and holds only fixed text and "?" placeholders.
struct FilterClause {
    FilterClause() = default;
    FilterClause(QString whereText, QVariantList values) : where(std::move(whereText)), params(std::move(values)) {}

    QString where = QStringLiteral(" where 1=1 ");
    QVariantList params;
    // A query of row ids that holds every record the clause finds and few
    // more, cheap to count; empty when none is known. The list uses it to
    // judge how many rows are coming without reading them.
    QString candidates;
    QVariantList candidateParams;
    // The same clause without the index's candidates, for a reading along
    // the order's index when most records pass anyway; empty when the
    // clause uses no index of its own.
    QString scanWhere;
    QVariantList scanParams;

    static FilterClause everything() { return {}; }

    // This clause and `condition` (a bracketed condition with its own values).
    FilterClause andAlso(const QString& condition, const QVariantList& values) const;

    // This clause with the files of every listed group and its sub-groups
    // left out (the closed protected groups).
    FilterClause excludingGroups(const QStringList& groupPaths) const;

    bool operator==(const FilterClause& o) const { return where == o.where && params == o.params; }
};
