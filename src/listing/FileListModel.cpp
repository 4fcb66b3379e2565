#include "listing/FileListModel.h"

#include <QTimer>

#include <algorithm>

// ------------------------------------------------------------ TextColumn

void TextColumn::append(const char* utf8, qsizetype length)
{
    if (length > 0)
        m_chars.insert(m_chars.end(), utf8, utf8 + length);
    m_ends.append(quint32(m_chars.size()));
}

void TextColumn::append(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    append(utf8.constData(), utf8.size());
}

void TextColumn::appendColumn(const TextColumn& other)
{
    const quint32 base = quint32(m_chars.size());
    m_chars.insert(m_chars.end(), other.m_chars.begin(), other.m_chars.end());
    m_ends.reserve(m_ends.size() + other.m_ends.size());
    for (quint32 e : other.m_ends)
        m_ends.append(base + e);
}

void TextColumn::reserve(qsizetype rows, qsizetype chars)
{
    m_ends.reserve(rows);
    m_chars.reserve(size_t(qMax<qsizetype>(chars, 0)));
}

void TextColumn::squeeze()
{
    // A little room left over is cheaper than copying every text again.
    if (m_chars.capacity() - m_chars.size() > m_chars.size() / 6)
        m_chars.shrink_to_fit();
    m_ends.squeeze();
}

void ChunkColumn::squeeze()
{
    codes.squeeze();
    texts.squeeze();
    newValues.squeeze();
}

void TextColumn::clear()
{
    m_chars = std::vector<char>();
    m_ends = QVector<quint32>();
}

QByteArrayView TextColumn::viewAt(int row) const
{
    if (row < 0 || row >= m_ends.size())
        return {};
    const quint32 begin = row == 0 ? 0 : m_ends.at(row - 1);
    return QByteArrayView(m_chars.data() + begin, qsizetype(m_ends.at(row) - begin));
}

QString TextColumn::at(int row) const
{
    const QByteArrayView v = viewAt(row);
    return QString::fromUtf8(v.data(), v.size());
}

// ------------------------------------------------------------ FileListModel

FileListModel::FileListModel(QObject* parent) : QAbstractTableModel(parent) {}

QString FileListModel::neverSetDate()
{
    return QStringLiteral("100年1月1日");
}

void FileListModel::setIconProvider(IconProvider provider)
{
    m_iconProvider = std::move(provider);
    m_iconCache.fill(QIcon());
    m_iconFetched.fill(false);
}

void FileListModel::reset(const QList<ListColumns::Column>& columns, int nameColumn)
{
    beginResetModel();
    m_columns = columns;
    m_nameColumn = nameColumn >= 0 && nameColumn < columns.size() ? nameColumn : -1;
    m_rows = 0;
    m_chunks = {};
    m_chunkStarts = {};
    m_dictionaries = QVector<TextColumn>(columns.size());
    m_typeNames.clear();
    m_rowMap = {};
    m_iconCache.clear();
    m_iconFetched.clear();
    m_excerpts.clear();
    endResetModel();
}

void FileListModel::setExcerptReader(ExcerptReader reader)
{
    m_excerptReader = std::move(reader);
    m_excerpts.clear();
}

QString FileListModel::excerptAt(int row) const
{
    if (!m_excerptReader)
        return {};
    const qint64 id = idAt(row);
    if (id < 0)
        return {};
    auto it = m_excerpts.constFind(id);
    if (it == m_excerpts.constEnd())
        it = m_excerpts.insert(id, m_excerptReader(id));
    return *it;
}

void FileListModel::appendChunk(ListChunk&& chunk)
{
    const int n = int(chunk.ids.size());
    if (chunk.columns.size() != m_dictionaries.size() || chunk.types.size() != n)
        return;
    for (const ChunkColumn& c : std::as_const(chunk.columns))
        if (c.rows() != n)
            return;
    m_typeNames += chunk.newTypes;
    m_iconCache.resize(m_typeNames.size());
    m_iconFetched.resize(m_typeNames.size());
    for (int c = 0; c < chunk.columns.size(); ++c) {
        ChunkColumn& col = chunk.columns[c];
        if (col.newValues.rows() > 0) {
            m_dictionaries[c].appendColumn(col.newValues);
            col.newValues.clear();
        }
    }
    if (n == 0)
        return;
    const int first = m_rows;
    beginInsertRows({}, first, first + n - 1);
    // Taken over as it is: the chunk's buffers become the model's.
    m_chunkStarts.append(first);
    m_chunks.append(std::move(chunk));
    m_rows += n;
    if (!m_rowMap.isEmpty())
        for (int r = first; r < first + n; ++r)
            m_rowMap.append(r);
    endInsertRows();
}

const ListChunk* FileListModel::chunkOf(int row, int* local) const
{
    if (row < 0 || row >= m_rows)
        return nullptr;
    const auto it = std::upper_bound(m_chunkStarts.cbegin(), m_chunkStarts.cend(), row);
    const int index = int(it - m_chunkStarts.cbegin()) - 1;
    *local = row - m_chunkStarts.at(index);
    return &m_chunks.at(index);
}

QString FileListModel::cell(const ListChunk& c, int column, int local) const
{
    const ChunkColumn& col = c.columns.at(column);
    return col.coded ? m_dictionaries.at(column).at(col.codes.at(local)) : col.texts.at(local);
}

qint64 FileListModel::idAt(int row) const
{
    int local = 0;
    const ListChunk* c = row >= 0 && row < m_rows ? chunkOf(storageRow(row), &local) : nullptr;
    return c ? c->ids.at(local) : -1;
}

int FileListModel::rowOfId(qint64 id) const
{
    int stored = -1;
    for (int k = 0; k < m_chunks.size() && stored < 0; ++k) {
        const QVector<qint64>& ids = m_chunks.at(k).ids;
        const auto it = std::find(ids.cbegin(), ids.cend(), id);
        if (it != ids.cend())
            stored = m_chunkStarts.at(k) + int(it - ids.cbegin());
    }
    if (stored < 0)
        return -1;
    return m_rowMap.isEmpty() ? stored : int(m_rowMap.indexOf(stored));
}

QString FileListModel::textAt(int row, int column) const
{
    if (row < 0 || row >= m_rows || column < 0 || column >= m_dictionaries.size())
        return {};
    int local = 0;
    const ListChunk* c = chunkOf(storageRow(row), &local);
    return c ? cell(*c, column, local) : QString();
}

QString FileListModel::nameAt(int row) const
{
    if (row < 0 || row >= m_rows)
        return {};
    int local = 0;
    const ListChunk* c = chunkOf(storageRow(row), &local);
    if (!c)
        return {};
    return m_nameColumn >= 0 ? cell(*c, m_nameColumn, local) : c->names.at(local);
}

QString FileListModel::typeAt(int row) const
{
    if (row < 0 || row >= m_rows)
        return {};
    int local = 0;
    const ListChunk* c = chunkOf(storageRow(row), &local);
    const quint32 t = c ? c->types.at(local) : quint32(-1);
    return t < quint32(m_typeNames.size()) ? m_typeNames.at(t) : QString();
}

QIcon FileListModel::iconAt(int row) const
{
    if (row < 0 || row >= m_rows || !m_iconProvider)
        return {};
    int local = 0;
    const ListChunk* c = chunkOf(storageRow(row), &local);
    const quint32 t = c ? c->types.at(local) : quint32(-1);
    if (t >= quint32(m_iconCache.size()))
        return {};
    if (!m_iconFetched.at(t)) {
        m_iconCache[t] = m_iconProvider(m_typeNames.at(t));
        m_iconFetched[t] = true;
    }
    return m_iconCache.at(t);
}

bool FileListModel::swapRows(int a, int b)
{
    if (a < 0 || b < 0 || a >= m_rows || b >= m_rows)
        return false;
    if (a == b)
        return true;
    if (m_rowMap.isEmpty()) {
        m_rowMap.resize(m_rows);
        for (int r = 0; r < m_rowMap.size(); ++r)
            m_rowMap[r] = r;
    }
    std::swap(m_rowMap[a], m_rowMap[b]);
    if (!m_columns.isEmpty()) {
        const int last = int(m_columns.size()) - 1;
        emit dataChanged(index(a, 0), index(a, last));
        emit dataChanged(index(b, 0), index(b, last));
    }
    emit rowsExchanged(a, b);
    return true;
}

qsizetype FileListModel::memoryBytes() const
{
    qsizetype bytes =
        m_rowMap.capacity() * 4 + m_chunkStarts.capacity() * 4 + m_chunks.capacity() * qsizetype(sizeof(ListChunk));
    for (const ListChunk& c : m_chunks) {
        bytes += c.ids.capacity() * 8 + c.types.capacity() * 4 + c.names.memoryBytes()
            + c.columns.capacity() * qsizetype(sizeof(ChunkColumn));
        for (const ChunkColumn& col : c.columns)
            bytes += col.memoryBytes();
    }
    for (const TextColumn& d : m_dictionaries)
        bytes += d.memoryBytes();
    return bytes;
}

int FileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int FileListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant FileListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.model() != this || index.row() >= m_rows || index.column() >= m_columns.size())
        return {};
    const int row = index.row();
    switch (role) {
    case Qt::DisplayRole:
        return textAt(row, index.column());
    case Qt::ToolTipRole: {
        const QString excerpt = excerptAt(row);
        const QString text = textAt(row, index.column());
        return excerpt.isEmpty() ? text : text + QLatin1Char('\n') + excerpt;
    }
    case IdRole:
        return idAt(row);
    case NameRole:
        return nameAt(row);
    case TypeRole:
        return typeAt(row);
    case IconRole:
        return iconAt(row);
    default:
        return {};
    }
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_columns.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (role) {
    case Qt::DisplayRole:
        return m_columns.at(section).header;
    case FieldRole:
        return m_columns.at(section).field;
    default:
        return {};
    }
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

// ------------------------------------------------------------ FileIconModel

FileIconModel::FileIconModel(FileListModel* source, QObject* parent) : QAbstractListModel(parent), m_source(source)
{
    m_rows = source->rowCount();
    connect(source, &QAbstractItemModel::modelAboutToBeReset, this, &FileIconModel::beginResetModel);
    connect(source, &QAbstractItemModel::modelReset, this, [this] {
        m_rows = m_source ? m_source->rowCount() : 0;
        endResetModel();
    });
    connect(source, &QAbstractItemModel::rowsAboutToBeInserted, this, [this](const QModelIndex&, int first, int last) {
        // Rows held back earlier stay behind the ones passed on now.
        m_passing = (!m_holding || m_rows == 0) && first == m_rows;
        if (m_passing)
            beginInsertRows({}, first, last);
    });
    connect(source, &QAbstractItemModel::rowsInserted, this, [this] {
        if (!m_passing)
            return;
        m_passing = false;
        m_rows = m_source->rowCount();
        endInsertRows();
    });
    connect(source, &FileListModel::rowsExchanged, this, [this](int a, int b) {
        if (a < m_rows)
            emit dataChanged(index(a), index(a));
        if (b < m_rows)
            emit dataChanged(index(b), index(b));
    });
}

void FileIconModel::setHolding(bool holding)
{
    m_holding = holding;
    ++m_releaseRound;
    if (!holding)
        releaseStep();
}

void FileIconModel::releaseStep()
{
    if (m_holding || !m_source)
        return;
    const int rows = qMin(m_source->rowCount(), m_rows + ReleaseRows);
    if (rows > m_rows) {
        beginInsertRows({}, m_rows, rows - 1);
        m_rows = rows;
        endInsertRows();
    }
    if (m_rows < m_source->rowCount()) {
        const quint64 round = m_releaseRound;
        QTimer::singleShot(0, this, [this, round] {
            if (round == m_releaseRound)
                releaseStep();
        });
    }
}

int FileIconModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !m_source ? 0 : m_rows;
}

QVariant FileIconModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !m_source || index.model() != this || index.row() >= m_rows)
        return {};
    switch (role) {
    case Qt::ToolTipRole: {
        const QString excerpt = m_source->excerptAt(index.row());
        const QString name = m_source->nameAt(index.row());
        return excerpt.isEmpty() ? name : name + QLatin1Char('\n') + excerpt;
    }
    case Qt::DisplayRole:
    case FileListModel::NameRole:
        return m_source->nameAt(index.row());
    case Qt::DecorationRole:
    case FileListModel::IconRole:
        return m_source->iconAt(index.row());
    case FileListModel::IdRole:
        return m_source->idAt(index.row());
    case FileListModel::TypeRole:
        return m_source->typeAt(index.row());
    default:
        return {};
    }
}

Qt::ItemFlags FileIconModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}
