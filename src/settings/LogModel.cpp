#include "settings/LogModel.h"

#include "store/DataStore.h"

LogModel::LogModel(DataStore& store, QObject* parent) : QAbstractTableModel(parent), m_store(store) {}

Status LogModel::setFilter(const LogBook::Filter& filter)
{
    // The count and the first chunk are read inside the reset: a view that
    // asks for more while the reset is under way finds nothing to fetch.
    beginResetModel();
    m_resetting = true;
    m_filter = filter;
    m_lines.clear();
    m_extent = {};
    m_exhausted = true;
    Status status;
    const Result<LogBook::Extent> span = LogBook::extent(m_store, filter);
    if (!span) {
        status = Status::fail(span.message(), span.detail());
    } else if (span->lines > 0) {
        m_extent = span.value();
        Result<QList<LogBook::Line>> first =
            LogBook::read(m_store, m_filter, m_extent.lastId + 1, Chunk, m_extent.firstId);
        if (!first) {
            status = Status::fail(first.message(), first.detail());
        } else {
            m_exhausted = first->size() < Chunk;
            m_lines = std::move(first.value());
        }
    }
    endResetModel();
    m_resetting = false;
    return status;
}

int LogModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_lines.size());
}

int LogModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 3;
}

QVariant LogModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_lines.size() || index.column() > 2)
        return {};
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    const LogBook::Line& l = m_lines.at(index.row());
    switch (index.column()) {
    case 0:
        return l.time;
    case 1:
        return l.operatorName;
    default:
        return l.content;
    }
}

QVariant LogModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 3)
        return LogBook::Titles.at(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

bool LogModel::canFetchMore(const QModelIndex& parent) const
{
    return !parent.isValid() && !m_exhausted && !m_resetting && !m_fetching;
}

void LogModel::fetchMore(const QModelIndex& parent)
{
    // A view (or a tester) that asks again while the rows are inserted
    // gets nothing: each chunk goes in once.
    if (parent.isValid() || m_exhausted || m_resetting || m_fetching)
        return;
    m_fetching = true;
    const qint64 before = m_lines.isEmpty() ? m_extent.lastId + 1 : m_lines.last().id;
    Result<QList<LogBook::Line>> chunk = LogBook::read(m_store, m_filter, before, Chunk, m_extent.firstId);
    if (!chunk) {
        m_exhausted = true;
        m_fetching = false;
        emit readFailed(chunk.detail());
        return;
    }
    if (chunk->size() < Chunk)
        m_exhausted = true;
    if (!chunk->isEmpty()) {
        const int first = int(m_lines.size());
        beginInsertRows({}, first, first + int(chunk->size()) - 1);
        m_lines.append(std::move(chunk.value()));
        endInsertRows();
    }
    m_fetching = false;
}
