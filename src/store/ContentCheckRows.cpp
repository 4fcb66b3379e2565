#include "store/ContentCheckRows.h"

#include "store/Backend.h"
#include "store/DataStore.h"

namespace {

// Every pass reads the same columns, in this order.
enum Column { Id, Number, Name, Type, Group, Size, KeptPath, Sha256, Held, Content, Trashed };

// The records of wj and, where the archive has a trash, those in it
// (wjhs, the same columns): their content is the archive's as well.
QByteArray passStatement(ContentCheckRows::Records records, bool withTrash)
{
    auto from = [withTrash](const char* cols, const char* tail) {
        QByteArray sql = QByteArrayLiteral("select ") + cols + ",0 from wj w" + tail;
        if (withTrash)
            sql += QByteArrayLiteral(" union all select ") + cols + ",1 from wjhs w" + tail;
        return sql;
    };
    switch (records) {
    case ContentCheckRows::Records::Kept:
        return from("w.id,w.bh,w.mc,w.lx,w.fz,w.dxsz,w.lj,w.sha256,0,null", " where w.lj <> ''");
    case ContentCheckRows::Records::Held:
        return from("w.id,w.bh,w.mc,w.lx,w.fz,w.dxsz,w.lj,w.sha256,1,n.nr",
                    " join wjnr n on n.id = w.id where w.lj = '' or w.lj is null");
    case ContentCheckRows::Records::Versions:
        return QByteArrayLiteral(
            "select 0,'','','','',b.dx,b.lj,b.sha256,b.nr is not null,b.nr,0 from bbnr b order by b.sha256");
    case ContentCheckRows::Records::All:
        break;
    }
    return from("w.id,w.bh,w.mc,w.lx,w.fz,w.dxsz,w.lj,w.sha256,n.id is not null,n.nr", " left join wjnr n on n.id=w.id")
        + " order by 1";
}

bool tenDigits(const QString& s)
{
    if (s.size() != 10)
        return false;
    for (const QChar c : s)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

}  // namespace

ContentCheckRows::ContentCheckRows(DataStore& store) : m_store(store) {}

ContentCheckRows::~ContentCheckRows() = default;

Result<> ContentCheckRows::learnTrash()
{
    if (m_trashKnown)
        return {};
    const Result<bool> trash = m_store.backend().hasTable(m_store, QStringLiteral("wjhs"));
    if (!trash)
        return Result<>::fail(QString(), trash.detail());
    m_withTrash = *trash;
    m_trashKnown = true;
    return {};
}

Result<> ContentCheckRows::start(Records records)
{
    m_records = records;
    m_stream.reset();
    m_set.reset();
    m_first = true;
    m_error.clear();
    if (const Result<> known = learnTrash(); !known)
        return known;
    if (records == Records::Versions) {
        // An older archive keeps no versions: the pass is empty.
        const Result<bool> versions = m_store.backend().hasTable(m_store, QStringLiteral("bbnr"));
        if (!versions)
            return Result<>::fail(QString(), versions.detail());
        if (!*versions)
            return {};
    }
    const QByteArray sql = passStatement(records, m_withTrash);
    // The engine's own row reader hashes held content where it lies;
    // without one the rows come through the connection's record sets.
    m_stream = m_store.backend().rowStream(m_store);
    if (m_stream) {
        if (const Result<> started = m_stream->start(sql, {}); !started) {
            m_stream.reset();
            return started;
        }
        return {};
    }
    m_set = std::make_unique<RecordSet>(m_store.query(QString::fromUtf8(sql)));
    if (!*m_set) {
        m_set.reset();
        return Result<>::fail(QString(), m_store.lastError());
    }
    return {};
}

ContentCheckRows::Step ContentCheckRows::next(Row* row)
{
    const bool withContent = m_records != Records::Kept;
    if (m_stream) {
        switch (m_stream->step()) {
        case RowStream::Step::Row:
            break;
        case RowStream::Step::Done:
            return Step::Done;
        case RowStream::Step::Interrupted:
        case RowStream::Step::Failed:
            m_error = m_stream->error();
            return Step::Failed;
        }
        const auto text = [this](int c) { return QString::fromUtf8(m_stream->text(c)); };
        row->id = m_stream->integer(Id);
        row->number = text(Number);
        row->name = text(Name);
        row->type = text(Type);
        row->group = text(Group);
        row->size = m_stream->integer(Size);
        row->keptPath = text(KeptPath);
        row->sha256 = text(Sha256);
        row->held = m_stream->integer(Held) != 0;
        row->content = withContent ? m_stream->blob(Content) : QByteArrayView();
        row->trashed = m_stream->integer(Trashed) != 0;
        return Step::Row;
    }
    if (!m_set)
        return Step::Done;
    if (!m_first)
        m_set->next();
    m_first = false;
    if (m_set->atEnd())
        return Step::Done;
    const RecordSet& rs = *m_set;
    row->id = rs.number(Id);
    row->number = rs.text(Number);
    row->name = rs.text(Name);
    row->type = rs.text(Type);
    row->group = rs.text(Group);
    row->size = rs.number(Size);
    row->keptPath = rs.text(KeptPath);
    row->sha256 = rs.text(Sha256);
    row->held = rs.number(Held) != 0;
    m_content = withContent ? rs.bytes(Content) : QByteArray();
    row->content = m_content;
    row->trashed = rs.number(Trashed) != 0;
    return Step::Row;
}

Result<qint64> ContentCheckRows::recordedBytes()
{
    if (const Result<> known = learnTrash(); !known)
        return Result<qint64>::fail(QString(), known.detail());
    const Result<std::optional<QVariant>> total =
        m_store.scalar(m_withTrash ? QStringLiteral("select coalesce((select sum(dxsz) from wj),0)"
                                                    "+coalesce((select sum(dxsz) from wjhs),0)")
                                   : QStringLiteral("select coalesce(sum(dxsz),0) from wj"));
    if (!total)
        return Result<qint64>::fail(QString(), total.detail());
    return total->value_or(0).toLongLong();
}

Result<QList<ContentCheckRows::Shared>> ContentCheckRows::sharedNumbers()
{
    if (const Result<> known = learnTrash(); !known)
        return Result<QList<Shared>>::fail(QString(), known.detail());
    RecordSet rs = m_store.query(
        m_withTrash
            ? QStringLiteral("select bh,count(*) from (select bh from wj union all select bh from wjhs)"
                             " where bh<>'' group by bh having count(*)>1 order by bh")
            : QStringLiteral("select bh,count(*) from wj where bh<>'' group by bh having count(*)>1 order by bh"));
    if (!rs)
        return Result<QList<Shared>>::fail(QString(), m_store.lastError());
    QList<Shared> out;
    for (; !rs.atEnd(); rs.next())
        out.append({rs.text(0), rs.number(1)});
    return out;
}

Result<std::optional<qint64>> ContentCheckRows::highestNumber()
{
    if (const Result<> known = learnTrash(); !known)
        return Result<std::optional<qint64>>::fail(QString(), known.detail());
    // Down from the top of the range of ten-character numbers to the first
    // made of digits only (nearly always the first row).
    RecordSet rs =
        m_store.query(QStringLiteral("select bh from wj where length(bh)=10 and bh between ? and ? order by bh desc"),
                      {QStringLiteral("0000000000"), QStringLiteral("9999999999")});
    if (!rs)
        return Result<std::optional<qint64>>::fail(QString(), m_store.lastError());
    std::optional<qint64> top;
    for (; !rs.atEnd(); rs.next()) {
        const QString bh = rs.text(0);
        if (tenDigits(bh)) {
            top = bh.toLongLong();
            break;
        }
    }
    // The numbers of records in the trash are in use as well.
    if (m_withTrash) {
        RecordSet trashed = m_store.query(QStringLiteral("select bh from wjhs where length(bh)=10"));
        if (!trashed)
            return Result<std::optional<qint64>>::fail(QString(), m_store.lastError());
        for (; !trashed.atEnd(); trashed.next()) {
            const QString bh = trashed.text(0);
            if (tenDigits(bh) && (!top || bh.toLongLong() > *top))
                top = bh.toLongLong();
        }
    }
    return top;
}
