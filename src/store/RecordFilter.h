#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// One condition of the search on a field of wj, as the operator put it; or
// on the content of the records (Kind::Content, Contains or NotContains).
struct FieldCondition {
    enum class Kind { Text, Number, Date, Content };
    enum class Op {
        Contains,
        StartsWith,
        EndsWith,
        NotContains,
        Equal,
        NotEqual,
        Less,
        Greater,
        LessOrEqual,
        GreaterOrEqual
    };

    QString field;  // wj column; "dx" compares by its number
    Kind kind = Kind::Text;
    Op op = Op::Equal;
    QString text;             // Text: as typed; Date: yyyy-MM-dd
    qint64 number = 0;        // Number
    bool orWithNext = false;  // joined to the next condition by "or", else by "and"
    // Content: the ids (ascending) of the records whose content text holds
    // `text`, looked up in the content index on the connection that runs
    // the statement (store/ContentConditions.h); while not looked up, the
    // condition meets no record.
    std::optional<QList<qint64>> contentIds;
    // Text: the ids (ascending) of the records whose field may hold one or
    // two Chinese characters, as the field tokens found them on the
    // connection that runs the statement (store/FieldTokens.h); the
    // comparison still decides among them. While not looked up (or not
    // served), the field is read in every record.
    std::optional<QList<qint64>> fieldIds;

    bool operator==(const FieldCondition& o) const = default;
};

// Which records the file list (and whoever lists records of a group) wants,
// said without any statement: the store makes the statement from it
// (store/ListStatements.h). The parts narrow in this order: the group, the
// conditions, the groups the search leaves out, the first record of each
// name, the hidden groups.
struct RecordFilter {
    // No record at all.
    bool nothing = false;
    // Only this group and its sub-groups (fz = path or fz below path + "\");
    // the empty path is the root and holds every record.
    std::optional<QString> group;
    // The conditions in order, each joined to the next by its relation,
    // all of them together one bracketed condition.
    QList<FieldCondition> conditions;
    // The search index may name the candidates of a condition.
    bool useSearchIndex = false;
    // Groups (with their sub-groups) the search leaves out; they count when
    // the first of each name is chosen.
    QStringList searchLeftOut;
    // Of the records found, only the first entered (lowest id) of each name.
    bool distinctNames = false;
    // Groups (with their sub-groups) hidden from the list: the closed
    // protected groups, left out last.
    QStringList hiddenGroups;

    static RecordFilter everything() { return {}; }
    static RecordFilter none()
    {
        RecordFilter f;
        f.nothing = true;
        return f;
    }
    static RecordFilter inGroup(const QString& path)
    {
        RecordFilter f;
        f.group = path;
        return f;
    }

    // This filter with the files of every listed group and its sub-groups
    // left out as well.
    RecordFilter excludingGroups(const QStringList& groupPaths) const
    {
        RecordFilter f = *this;
        f.hiddenGroups += groupPaths;
        return f;
    }

    bool operator==(const RecordFilter& o) const = default;
};
