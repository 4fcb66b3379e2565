#include "store/FieldTokens.h"

#include "platform/TextTokens.h"
#include "store/Backend.h"
#include "store/DataStore.h"
#include "store/Schema.h"

#include <QHash>

#include <algorithm>

namespace FieldTokens {

namespace {

const QString kTable = QStringLiteral("wjzs");
const QString kQueueHead = QStringLiteral("select id, old from wjzq order by id limit ?");
const QString kDequeue = QStringLiteral("delete from wjzq where id in (select id from wjzq order by id limit ?)");
const QString kQueuedIds = QStringLiteral("select id from wjzq order by id limit ?");
const QString kQueued = QStringLiteral("select count(*) from wjzq");

// The searched fields of `row` ("old" or "new") joined by the separator,
// each with its own separators blanked.
QString joinedFields(const QString& row)
{
    QStringList parts;
    for (const QString& c : Schema::searchIndexColumns())
        parts << QStringLiteral("replace(coalesce(%1.%2,''),char(31),' ')").arg(row, c);
    return parts.join(QStringLiteral("||char(31)||"));
}

// The current values of the records at the head of the queue.
const QString& currentValues()
{
    static const QString sql = QStringLiteral("select id,") + Schema::searchIndexColumns().join(QLatin1Char(','))
        + QStringLiteral(" from wj where id in (select id from wjzq order by id limit ?) order by id");
    return sql;
}

// The ideographs TextTokens pairs (the other paired scripts are left out,
// see the header).
bool isHan(char32_t c)
{
    return (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x20000 && c <= 0x3FFFF)
        || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0x3005 && c <= 0x3007) || (c >= 0x3021 && c <= 0x3029)
        || (c >= 0x3038 && c <= 0x303B);
}

bool allHan(QStringView text)
{
    const QList<uint> points = text.toUcs4();
    return !points.isEmpty() && std::all_of(points.begin(), points.end(), [](uint c) {
        return isHan(char32_t(c)) && TextTokens::isPaired(char32_t(c));
    });
}

Status failed(DataStore& store, const QString& what)
{
    return Status::fail(QString(), what + QStringLiteral(": ") + store.lastError());
}

}  // namespace

QStringList triggers(const Backend& backend)
{
    Q_UNUSED(backend);
    const QString columns = Schema::searchIndexColumns().join(QLatin1Char(','));
    const QString queueOld = QStringLiteral("insert or ignore into wjzq(id, old) values (old.id, %1);")
                                 .arg(joinedFields(QStringLiteral("old")));
    const QString queueNew = QStringLiteral("insert or ignore into wjzq(id, old) values (new.id, null);");
    return {
        QStringLiteral("create trigger if not exists wj_zq_ai after insert on wj begin %1 end").arg(queueNew),
        QStringLiteral("create trigger if not exists wj_zq_ad after delete on wj begin %1 end").arg(queueOld),
        QStringLiteral("create trigger if not exists wj_zq_au after update of id,%1 on wj begin %2 %3 end")
            .arg(columns, queueOld, queueNew),
    };
}

QChar fieldMark(int index)
{
    return QChar(char16_t(0xE000 + index));
}

Tokens tokensOf(const QStringList& values)
{
    Tokens out;
    const qsizetype fields = qMin(values.size(), Schema::searchIndexColumns().size());
    for (qsizetype i = 0; i < fields; ++i) {
        const QString normalized = TextTokens::normalize(values.at(i));
        const QChar mark = fieldMark(int(i));
        TextTokens::forEachToken(normalized, [&](QStringView token, bool paired) {
            if (paired && allHan(token))
                out.insert(mark + token.toString());
        });
    }
    return out;
}

Result<int> work(DataStore& store, int limit)
{
    if (limit <= 0)
        return 0;
    Transaction tx(store);
    if (!tx.isActive())
        return failed(store, QStringLiteral("begin")).failure();
    struct Queued {
        qint64 id;
        QVariant old;
    };
    std::vector<Queued> queue;
    {
        RecordSet rs = store.query(kQueueHead, {limit});
        if (!rs)
            return failed(store, QStringLiteral("wjzq")).failure();
        for (; !rs.atEnd(); rs.next())
            queue.push_back({rs.number(0), rs.value(1)});
    }
    if (queue.empty())
        return 0;
    QHash<qint64, QStringList> current;
    {
        RecordSet rs = store.query(currentValues(), {limit});
        if (!rs)
            return failed(store, QStringLiteral("wj")).failure();
        const int columns = rs.columnCount();
        for (; !rs.atEnd(); rs.next()) {
            QStringList values;
            values.reserve(columns - 1);
            for (int c = 1; c < columns; ++c)
                values << rs.text(c);
            current.insert(rs.number(0), values);
        }
    }
    // Gathered per token first, so that each token's segments are written
    // once for the whole batch; the queue is in id order, so are the lists.
    QHash<QString, TokenSegments::Postings> adds;
    std::vector<std::pair<QString, qint64>> drops;
    for (const Queued& q : queue) {
        const bool written = !q.old.isNull();
        const Tokens before =
            written ? tokensOf(q.old.toString().split(QChar(FieldSeparator), Qt::KeepEmptyParts)) : Tokens();
        const auto now = current.constFind(q.id);
        const Tokens after = now == current.constEnd() ? Tokens() : tokensOf(*now);
        for (const QString& token : before)
            if (!after.contains(token))
                drops.emplace_back(token, q.id);
        for (const QString& token : after)
            if (!before.contains(token))
                adds[token].push_back({q.id, TokenSegments::AllPositions});
    }
    for (const auto& [token, id] : drops)
        if (const Status dropped = TokenSegments::drop(store, kTable, token, id); !dropped)
            return dropped.failure();
    for (auto it = adds.cbegin(); it != adds.cend(); ++it)
        if (const Status added = TokenSegments::add(store, kTable, it.key(), it.value()); !added)
            return added.failure();
    if (!store.execute(kDequeue, {limit}))
        return failed(store, QStringLiteral("wjzq")).failure();
    if (!tx.commit())
        return failed(store, QStringLiteral("commit")).failure();
    return int(queue.size());
}

Status workOff(DataStore& store, const std::function<bool()>& cancelled)
{
    for (;;) {
        if (cancelled && cancelled())
            return Status::cancel();
        const Result<int> worked = work(store, BatchRecords);
        if (!worked)
            return worked.failure();
        if (*worked < BatchRecords)
            return {};
    }
}

Result<qint64> queued(DataStore& store)
{
    const Result<std::optional<QVariant>> n = store.scalar(kQueued);
    if (!n)
        return n.failure();
    return n->value_or(0).toLongLong();
}

bool serves(const QString& column, const QString& normalizedValue)
{
    const qsizetype points = normalizedValue.toUcs4().size();
    return (points == 1 || points == 2) && Schema::searchIndexColumns().contains(column) && allHan(normalizedValue);
}

Result<std::optional<QList<qint64>>> candidates(DataStore& store, const QString& column, const QString& normalizedValue)
{
    using Found = std::optional<QList<qint64>>;
    if (!serves(column, normalizedValue))
        return Found();
    const QString token = fieldMark(int(Schema::searchIndexColumns().indexOf(column))) + normalizedValue;
    // The queue first: a record worked off after this read has its tokens
    // in the lists read next.
    QList<qint64> waiting;
    {
        RecordSet rs = store.query(kQueuedIds, {QueueLimit + 1});
        if (!rs)
            return failed(store, QStringLiteral("wjzq")).failure();
        for (; !rs.atEnd(); rs.next())
            waiting.append(rs.number(0));
    }
    if (waiting.size() > QueueLimit)
        return Found();
    const Result<qint64> held = TokenSegments::count(store, kTable, token);
    if (!held)
        return held.failure();
    if (*held > MaxCandidates)
        return Found();
    const Result<TokenSegments::Postings> postings = TokenSegments::read(store, kTable, token);
    if (!postings)
        return postings.failure();
    QList<qint64> out;
    out.reserve(qsizetype(postings->size()) + waiting.size());
    auto w = waiting.cbegin();
    for (const TokenSegments::Posting& p : *postings) {
        for (; w != waiting.cend() && *w < p.id; ++w)
            out.append(*w);
        if (w != waiting.cend() && *w == p.id)
            ++w;
        out.append(p.id);
    }
    for (; w != waiting.cend(); ++w)
        out.append(*w);
    return Found(std::move(out));
}

}  // namespace FieldTokens
