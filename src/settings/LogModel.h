#pragma once

#include "settings/LogBook.h"

#include <QAbstractTableModel>
#include <QList>

class DataStore;

// The lines of the operation log that a filter holds, newest first, for the
// grid of "系统日志". Only the count is read when the filter is set; the
// lines themselves are fetched in chunks as the grid asks for them
// (canFetchMore / fetchMore), so a log of a million lines opens at once.
class LogModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int Chunk = 256;

    explicit LogModel(DataStore& store, QObject* parent = nullptr);

    // Reads the count of the filter's lines and the first chunk.
    Status setFilter(const LogBook::Filter& filter);
    // Reads the same filter again (after a deletion).
    Status reload() { return setFilter(m_filter); }
    const LogBook::Filter& filter() const { return m_filter; }
    // Lines the filter holds (all of them, fetched or not).
    qint64 total() const { return m_extent.lines; }
    const LogBook::Extent& extent() const { return m_extent; }
    const LogBook::Line& lineAt(int row) const { return m_lines.at(row); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

signals:
    // A chunk could not be read.
    void readFailed(const QString& detail);

private:
    DataStore& m_store;
    LogBook::Filter m_filter;
    QList<LogBook::Line> m_lines;
    LogBook::Extent m_extent;
    bool m_exhausted = true;
    bool m_resetting = false;
    bool m_fetching = false;
};
