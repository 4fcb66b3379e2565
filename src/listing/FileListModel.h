#pragma once

#include <vector>

#include "listing/ListColumns.h"

#include <QAbstractListModel>
#include <QAbstractTableModel>
#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QIcon>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>

// The texts of one column for many rows, kept as UTF-8 in one buffer with
// the end offset of each row: a few bytes per cell instead of one QString
// each, and no conversion while loading.
class TextColumn {
public:
    void append(const char* utf8, qsizetype length);
    void append(const QString& text);
    // Appends every row of other.
    void appendColumn(const TextColumn& other);
    void reserve(qsizetype rows, qsizetype chars);
    void clear();
    // Gives back the space reserved beyond what the texts use (unless it
    // is little).
    void squeeze();

    int rows() const { return int(m_ends.size()); }
    QString at(int row) const;
    QByteArrayView viewAt(int row) const;
    qsizetype memoryBytes() const { return qsizetype(m_chars.capacity()) + m_ends.capacity() * 4; }
    // The bytes the texts use.
    qsizetype chars() const { return qsizetype(m_chars.size()); }

private:
    std::vector<char> m_chars;
    QVector<quint32> m_ends;
};

// One column of a chunk. A column whose values repeat (group, type, size,
// operator, the spare fields' pick-list values) is coded: each row holds the
// number of its text in the load's dictionary of that column, two bytes
// instead of the text. A column with too many different values (names,
// numbers, times) keeps its texts.
struct ChunkColumn {
    static constexpr int MaxCodes = 4096;  // different values a coded column may have

    bool coded = false;
    QVector<quint16> codes;  // coded: one per row
    TextColumn texts;        // not coded: one per row
    TextColumn newValues;    // coded: values first seen in this chunk, in code order

    int rows() const { return coded ? int(codes.size()) : texts.rows(); }
    qsizetype memoryBytes() const { return codes.capacity() * 2 + texts.memoryBytes(); }
    void squeeze();
};

// Rows read from the list query, handed from the loader to the model. The
// model keeps each chunk as it comes (no copy, no growing buffer), so taking
// one in costs the window next to nothing.
struct ListChunk {
    QVector<qint64> ids;
    QVector<ChunkColumn> columns;  // one per shown column
    TextColumn names;              // file names, when mc is not a shown column
    QVector<quint32> types;        // index into the load's type list
    QStringList newTypes;          // types first seen in this chunk, in index order
};

// The rows of the file list: the hidden id first, then one text per shown
// column. A date that was never set ("100年1月1日") reads as empty text.
class FileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Role {
        IdRole = Qt::UserRole + 1,  // the record's id (every column)
        NameRole,                   // the file name (mc)
        TypeRole,                   // the file type (lx)
        IconRole,                   // the icon of the file's type
        FieldRole,                  // headerData: the wj field of a column
    };
    using IconProvider = std::function<QIcon(const QString& type)>;
    // A listed record's excerpt of its content, for a list made by a
    // content condition.
    using ExcerptReader = std::function<QString(qint64 id)>;

    explicit FileListModel(QObject* parent = nullptr);

    // Icons by file type; each type is asked for once per provider.
    void setIconProvider(IconProvider provider);
    // The rows' tooltips end with their excerpt, read when a row's tooltip
    // is first asked for (an empty reader: none). Kept over reset().
    void setExcerptReader(ExcerptReader reader);

    // Empties the model and sets its columns. nameColumn is the position of
    // mc among the columns, or -1 when file names come separately.
    void reset(const QList<ListColumns::Column>& columns, int nameColumn);
    void appendChunk(ListChunk&& chunk);

    const QList<ListColumns::Column>& columns() const { return m_columns; }
    qint64 idAt(int row) const;
    // The row of record id, -1 when not listed.
    int rowOfId(qint64 id) const;
    QString textAt(int row, int column) const;
    QString nameAt(int row) const;
    QString typeAt(int row) const;
    QIcon iconAt(int row) const;
    // The row's excerpt (empty without a reader), read once per record.
    QString excerptAt(int row) const;
    // Exchanges two rows (after their positions were exchanged in the database).
    bool swapRows(int a, int b);
    // Memory held by the rows, roughly.
    qsizetype memoryBytes() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    static QString neverSetDate();

signals:
    // Rows a and b were exchanged by swapRows().
    void rowsExchanged(int a, int b);

private:
    int storageRow(int row) const { return m_rowMap.isEmpty() ? row : m_rowMap.at(row); }
    // The chunk holding stored row `row`, and the row's place in it.
    const ListChunk* chunkOf(int row, int* local) const;
    QString cell(const ListChunk& c, int column, int local) const;

    QList<ListColumns::Column> m_columns;
    int m_nameColumn = -1;
    int m_rows = 0;
    QVector<ListChunk> m_chunks;
    QVector<int> m_chunkStarts;          // first stored row of each chunk
    QVector<TextColumn> m_dictionaries;  // per shown column, the texts of its codes
    QStringList m_typeNames;
    QVector<int> m_rowMap;  // display row -> stored row; empty while unchanged
    IconProvider m_iconProvider;
    mutable QVector<QIcon> m_iconCache;  // by type index
    mutable QVector<bool> m_iconFetched;
    ExcerptReader m_excerptReader;
    mutable QHash<qint64, QString> m_excerpts;  // by record id
};

// The same rows as one list of named icons, for the icon view.
//
// An icon view lays out every item again whenever rows come in, so while a
// long list loads (holding) only its first rows are passed on at once and
// the rest in one step when the load ends (setHolding(false)).
class FileIconModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit FileIconModel(FileListModel* source, QObject* parent = nullptr);
    FileListModel* source() const { return m_source; }

    // Rows handed on in one step when holding ends; more follow in further
    // steps between the window's events, so that no step stalls it.
    static constexpr int ReleaseRows = 50000;

    void setHolding(bool holding);
    bool isHolding() const { return m_holding; }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    void releaseStep();

    QPointer<FileListModel> m_source;
    int m_rows = 0;  // rows passed on to the views
    quint64 m_releaseRound = 0;
    bool m_holding = false;
    bool m_passing = false;  // the insert under way is passed on
};
