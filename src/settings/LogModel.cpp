#include "settings/LogModel.h"

#include "store/DataStore.h"

LogModel::LogModel(DataStore& store, QObject* parent) : QAbstractTableModel(parent), m_store(store)
{
}

Status LogModel::setFilter(const LogBook::Filter& filter)
{
    beginResetModel();
    m_filter = filter;
    m_lines.clear();
    m_total = 0;
    m_exhausted = true;
    const Result<qint64> counted = LogBook::count(m_store, filter);
    if (counted) {
        m_total = counted.value();
        m_exhausted = m_total == 0;
    }
    endResetModel();
    if (!counted)
        return Status::fail(counted.message(), counted.detail());
    if (canFetchMore({}))
        fetchMore({});
    return {};
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
    case 0: return l.time;
    case 1: return l.operatorName;
    default: return l.content;
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
    return !parent.isValid() && !m_exhausted;
}

void LogModel::fetchMore(const QModelIndex& parent)
{
    if (parent.isValid() || m_exhausted)
        return;
    const qint64 before = m_lines.isEmpty() ? 0 : m_lines.last().id;
    Result<QList<LogBook::Line>> chunk = LogBook::read(m_store, m_filter, before, Chunk);
    if (!chunk) {
        m_exhausted = true;
        emit readFailed(chunk.detail());
        return;
    }
    if (chunk->size() < Chunk)
        m_exhausted = true;
    if (chunk->isEmpty())
        return;
    const int first = int(m_lines.size());
    beginInsertRows({}, first, first + int(chunk->size()) - 1);
    m_lines.append(std::move(chunk.value()));
    endInsertRows();
}
