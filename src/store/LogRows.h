#pragma once

#include "platform/Result.h"

#include <QDate>
#include <QList>
#include <QString>

class DataStore;

// Which lines of the operation log (table rz): the days first..last (by
// the first ten characters of sj), and, when not empty, an operator and a
// content that occur anywhere in czy and nr (matched as typed: "%" and "_"
// stand for themselves).
struct LogFilter {
    QDate first;
    QDate last;
    QString operatorName;
    QString content;

    // A range whose first day lies after its last holds nothing.
    bool isEmpty() const { return !first.isValid() || !last.isValid() || first > last; }
};

// The reads of the operation log for its viewer and export, and the
// removal of whole days; LogWriter writes its lines.
class LogRows {
public:
    struct Line {
        qint64 id = 0;
        QString time;
        QString operatorName;
        QString content;
    };

    // How many lines a filter holds and the span of their ids (read through
    // the index of sj, without visiting the lines).
    struct Extent {
        qint64 lines = 0;
        qint64 firstId = 0;  // the oldest line's id
        qint64 lastId = 0;   // the newest line's id
    };

    explicit LogRows(DataStore& store) : m_store(store) {}

    [[nodiscard]] Result<Extent> extent(const LogFilter& filter);
    // Up to `limit` lines, newest first, of those older than beforeId (0:
    // from the newest) and not older than firstId (0: no bound), walked in
    // the order of their ids, which needs no sorting however many the
    // filter holds.
    [[nodiscard]] Result<QList<Line>> read(const LogFilter& filter, qint64 beforeId, int limit, qint64 firstId = 0);
    // Removes the lines of the days first..last; how many went. Inside the
    // caller's transaction when there is one.
    [[nodiscard]] Result<qint64> removeDays(const QDate& first, const QDate& last);

private:
    DataStore& m_store;
};
