#include "listing/FileListLoader.h"

#include "listing/FileListModel.h"
#include "store/Backend.h"
#include "store/DataStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHash>
#include <QScopeGuard>
#include <QSet>
#include <QThread>
#include <QTimer>

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace {

// How long the rows met stay in an unfinished chunk before they go out.
constexpr int PartialChunkMs = 40;

struct ViewHash {
    using is_transparent = void;
    size_t operator()(std::string_view v) const { return std::hash<std::string_view>{}(v); }
};

// The dictionary of one shown column over one load: the code of each text
// met so far, while the column stays coded.
struct ColumnCoder {
    bool coding = true;
    std::unordered_map<std::string, quint16, ViewHash, std::equal_to<>> codes;
    std::vector<std::string> values;  // by code

    // Appends v to the chunk's column; stops coding (and turns the chunk's
    // column back to texts) when the column has too many different values.
    void append(ChunkColumn& column, QByteArrayView v)
    {
        if (coding) {
            const std::string_view key(v.data(), size_t(v.size()));
            auto it = codes.find(key);
            if (it != codes.end()) {
                column.codes.append(it->second);
                return;
            }
            if (int(values.size()) < ChunkColumn::MaxCodes) {
                const quint16 code = quint16(values.size());
                values.emplace_back(key);
                codes.emplace(values.back(), code);
                column.newValues.append(v.data(), v.size());
                column.codes.append(code);
                return;
            }
            // Too many: this and every later chunk keep their texts.
            coding = false;
            codes.clear();
            column.texts.reserve(column.codes.size() + 1, column.codes.size() * 16);
            for (quint16 c : std::as_const(column.codes))
                column.texts.append(values[c].data(), qsizetype(values[c].size()));
            column.codes = {};
            column.coded = false;
        }
        column.texts.append(v.data(), v.size());
    }
};

// A call posted to the loader's thread with a priority of its own.
class CallEvent final : public QEvent {
public:
    static QEvent::Type kind()
    {
        static const int type = QEvent::registerEventType();
        return QEvent::Type(type);
    }
    explicit CallEvent(std::function<void()> call) : QEvent(kind()), m_call(std::move(call)) {}
    void run() const { m_call(); }

private:
    std::function<void()> m_call;
};

}  // namespace

bool FileListLoader::event(QEvent* e)
{
    if (e->type() == CallEvent::kind()) {
        static_cast<CallEvent*>(e)->run();
        return true;
    }
    return QObject::event(e);
}

// Lives in the loader's thread and owns that thread's connection.
class ListWorker : public QObject {
public:
    ListWorker(FileListLoader* loader, std::shared_ptr<std::atomic<quint64>> generation)
        : m_loader(loader), m_generation(std::move(generation))
    {
    }

    void run(quint64 generation, const ArchiveLocation& archive, const ListQuery& query);
    // `lookUp`: the query's conditions are still to be looked up here.
    void runStatistics(quint64 generation, const ArchiveLocation& archive, const ListQuery& query, bool lookUp);
    void closeStore() { m_store.reset(); }
    // The worker that reads the statistics of a query this one looks up.
    void setStatisticsWorker(ListWorker* worker) { m_statistics = worker; }

private:
    enum class Plan { Sorted, Ordered, FirstAlongOrder };
    Result<Plan> choosePlan(const ListQuery& query);
    bool cancelled(quint64 generation) const { return m_generation->load() != generation; }
    bool ensureOpen(const ArchiveLocation& archive);
    void post(quint64 generation, std::shared_ptr<ListChunk> chunk);
    void postStatistics(quint64 generation, bool ok, const ListStatistics::Totals& totals);
    // Hands the looked-up query to the statistics worker (nullopt: the
    // look-up failed, and so do the statistics).
    void passStatistics(quint64 generation, const ArchiveLocation& archive, const std::optional<ListQuery>& query);

    FileListLoader* m_loader;  // only posted to, never touched here
    std::shared_ptr<std::atomic<quint64>> m_generation;
    std::unique_ptr<DataStore> m_store;
    ListWorker* m_statistics = nullptr;
};

bool ListWorker::ensureOpen(const ArchiveLocation& archive)
{
    if (m_store && m_store->isOpen() && m_store->location() == archive)
        return true;
    m_store = std::make_unique<DataStore>();
    return m_store->open(archive);
}

void ListWorker::post(quint64 generation, std::shared_ptr<ListChunk> chunk)
{
    FileListLoader* loader = m_loader;
    QMetaObject::invokeMethod(
        loader, [loader, generation, chunk] { loader->takeChunk(generation, chunk); }, Qt::QueuedConnection);
}

void ListWorker::postStatistics(quint64 generation, bool ok, const ListStatistics::Totals& totals)
{
    FileListLoader* loader = m_loader;
    // Ahead of the row chunks already waiting: the line is short and the
    // operator looks for it first.
    QCoreApplication::postEvent(loader, new CallEvent([=] { loader->takeStatistics(generation, ok, totals); }),
                                Qt::HighEventPriority);
}

void ListWorker::passStatistics(quint64 generation, const ArchiveLocation& archive,
                                const std::optional<ListQuery>& query)
{
    if (cancelled(generation))
        return;
    if (!query || !m_statistics) {
        postStatistics(generation, false, {});
        return;
    }
    ListWorker* stats = m_statistics;
    const ListQuery q = *query;
    QMetaObject::invokeMethod(
        stats, [stats, generation, archive, q] { stats->runStatistics(generation, archive, q, false); },
        Qt::QueuedConnection);
}

void ListWorker::runStatistics(quint64 generation, const ArchiveLocation& archive, const ListQuery& given, bool lookUp)
{
    if (cancelled(generation))
        return;
    std::optional<ListStatistics::Totals> totals;
    if (ensureOpen(archive)) {
        const Result<ListQuery> query = lookUp ? given.resolved(*m_store) : Result<ListQuery>(given);
        if (query)
            totals = ListStatistics::read(*m_store, query->statisticsSql, query->statisticsParams);
        else
            qWarning("list statistics not read: %s", qPrintable(query.detail()));
    }
    postStatistics(generation, totals.has_value(), totals.value_or(ListStatistics::Totals{}));
}

Result<ListWorker::Plan> ListWorker::choosePlan(const ListQuery& query)
{
    if (query.orderedSql.isEmpty())
        return Plan::Sorted;
    const Result<bool> present = query.hasOrderIndex(*m_store);
    if (!present)
        return present.failure();
    if (!present.value())
        return Plan::Sorted;
    // A filter that no index serves (a search for a word too short for the
    // search index) is found by one pass over the table whatever the plan:
    // made along the order's index, its first rows show as soon as they
    // are met, and no count goes over the table first. A plan that cannot
    // be read leaves the choice to the count below.
    if (!query.countsCandidates) {
        const Result<bool> scans = query.countScansTable(*m_store, FileListLoader::OrderedScanRows);
        if (scans && scans.value())
            return Plan::Ordered;
    }
    // A bounded count through the (fz, dxsz) index, or of the search
    // index's candidates: a few milliseconds at most.
    const Result<qint64> counted = query.boundedCount(*m_store, FileListLoader::OrderedScanRows);
    if (!counted)
        return counted.failure();
    const qint64 rows = counted.value();
    if (rows >= FileListLoader::OrderedScanRows)
        return Plan::Ordered;
    if (query.countsCandidates && rows >= FileListLoader::FirstAlongOrderRows)
        return Plan::FirstAlongOrder;
    return Plan::Sorted;
}

void ListWorker::run(quint64 generation, const ArchiveLocation& archive, const ListQuery& given)
{
    FileListLoader* loader = m_loader;
    bool orderedScan = false;
    auto end = [loader, generation, &orderedScan](bool ok) {
        const bool ordered = orderedScan;
        QMetaObject::invokeMethod(
            loader, [=] { loader->takeEnd(generation, ok, ordered); }, Qt::QueuedConnection);
    };
    if (cancelled(generation))
        return;
    // A query with conditions to look up is looked up once, here; its
    // statistics are read after that, from the same answer.
    const bool lookUp = given.needsLookUp();
    if (!ensureOpen(archive)) {
        if (lookUp)
            passStatistics(generation, archive, std::nullopt);
        end(false);
        return;
    }
    // The conditions are looked up on this connection, before the list's
    // statement runs.
    const Result<ListQuery> resolved = lookUp ? given.resolved(*m_store) : Result<ListQuery>(given);
    if (!resolved) {
        qWarning("list not read: %s", qPrintable(resolved.detail()));
        passStatistics(generation, archive, std::nullopt);
        end(false);
        return;
    }
    const ListQuery& query = resolved.value();
    if (lookUp)
        passStatistics(generation, archive, query);
    if (cancelled(generation))
        return;
    const Result<Plan> chosen = choosePlan(query);
    if (!chosen) {
        qWarning("list not read: %s", qPrintable(chosen.detail()));
        end(false);
        return;
    }
    const Plan plan = chosen.value();
    orderedScan = plan == Plan::Ordered;

    const int shown = int(query.columns.size());
    const bool separateNames = query.nameField > shown;
    const QByteArray neverSet = FileListModel::neverSetDate().toUtf8();
    std::unordered_map<std::string, quint32, ViewHash, std::equal_to<>> typeIndex;

    // The rows are read straight from this thread's connection: one pass,
    // forward only, each text copied once into the chunk's buffers.
    const std::unique_ptr<RowStream> stream = m_store->backend().rowStream(*m_store);
    if (!stream) {
        end(false);
        return;
    }
    std::vector<ColumnCoder> coders(size_t(qMax(shown, 0)));
    // Bytes per row of each text column (the names last) in the chunk
    // before: the next one reserves that much, so its texts are copied
    // once, not again each time the buffer grows.
    std::vector<qsizetype> perRow(size_t(qMax(shown, 0)) + 1, 24);
    auto room = [&](size_t k, int expected) { return qsizetype(expected) * (perRow[k] + perRow[k] / 8 + 1); };
    auto fresh = [&](int expected) {
        auto c = std::make_shared<ListChunk>();
        c->ids.reserve(expected);
        c->types.reserve(expected);
        c->columns.resize(shown);
        for (int k = 0; k < shown; ++k) {
            ChunkColumn& col = c->columns[k];
            col.coded = coders[size_t(k)].coding;
            if (col.coded)
                col.codes.reserve(expected);
            else
                col.texts.reserve(expected, room(size_t(k), expected));
        }
        if (separateNames)
            c->names.reserve(expected, room(size_t(shown), expected));
        return c;
    };
    // What the model keeps is what the rows use, give or take a little.
    auto finish = [&](ListChunk& c) {
        for (int k = 0; k < shown; ++k)
            if (const int rows = c.columns[k].texts.rows(); rows > 0)
                perRow[size_t(k)] = c.columns[k].texts.chars() / rows;
        if (const int rows = c.names.rows(); rows > 0)
            perRow[size_t(shown)] = c.names.chars() / rows;
        c.ids.squeeze();
        c.types.squeeze();
        c.names.squeeze();
        for (ChunkColumn& col : c.columns)
            col.squeeze();
    };
    int limit = FileListLoader::FirstChunkRows;
    auto chunk = fresh(limit);
    int inChunk = 0;
    QElapsedTimer sincePost;
    sincePost.start();
    // Hands the rows read so far to the model and starts a full-sized chunk.
    auto handOver = [&] {
        finish(*chunk);
        post(generation, std::move(chunk));
        sincePost.restart();
        limit = FileListLoader::ChunkRows;
        chunk = fresh(limit);
        inChunk = 0;
    };
    // Reads the rows of one statement into the chunks: at most maxRows
    // (-1: all), leaving out the ids in skip, noting each id in taken.
    // False when the statement failed or the load was cancelled.
    bool gone = false;
    // While a statement searches, the rows met so far go out after a moment
    // even when the chunk is not full (the few hits of a rare word show
    // before the pass ends), and a cancelled load stops at once.
    stream->watch([&]() -> bool {
        if (cancelled(generation))
            return true;
        if (inChunk > 0 && sincePost.elapsed() >= PartialChunkMs)
            handOver();
        return false;
    });
    const auto unhook = qScopeGuard([&stream] { stream->watch({}); });
    auto readRows = [&](const QString& statement, const QVariantList& params, int maxRows, const QSet<qint64>* skip,
                        QSet<qint64>* taken) {
        const Result<> started = stream->start(statement.toUtf8(), params);
        if (!started)
            qWarning("list not read: %s", qPrintable(started.detail()));
        bool ok = started.ok();
        int read = 0;
        while (ok && read != maxRows) {
            const RowStream::Step step = stream->step();
            if (step == RowStream::Step::Done)
                break;
            if (step == RowStream::Step::Interrupted && cancelled(generation)) {
                gone = true;
                return false;
            }
            if (step != RowStream::Step::Row) {
                ok = false;
                break;
            }
            if ((inChunk & 255) == 0 && cancelled(generation)) {
                gone = true;
                return false;
            }
            const qint64 id = stream->integer(0);
            if (skip && skip->contains(id))
                continue;
            if (taken)
                taken->insert(id);
            ++read;
            chunk->ids.append(id);
            for (int c = 0; c < shown; ++c) {
                QByteArrayView v = stream->text(c + 1);
                if (v.size() == neverSet.size() && v == neverSet)
                    v = QByteArrayView();
                coders[size_t(c)].append(chunk->columns[c], v);
            }
            if (separateNames) {
                const QByteArrayView v = stream->text(query.nameField);
                chunk->names.append(v.data(), v.size());
            }
            const QByteArrayView type = stream->text(query.typeField);
            const std::string_view typeKey(type.data(), size_t(type.size()));
            auto it = typeIndex.find(typeKey);
            if (it == typeIndex.end()) {
                it = typeIndex.emplace(std::string(typeKey), quint32(typeIndex.size())).first;
                chunk->newTypes << QString::fromUtf8(type.data(), type.size());
            }
            chunk->types.append(it->second);
            if (++inChunk == limit)
                handOver();
        }
        return ok;
    };
    bool ok = true;
    if (plan == Plan::FirstAlongOrder) {
        // The first rows along the order's index, then the rest found and
        // sorted, without the rows already read.
        QSet<qint64> first;
        ok = readRows(query.orderedFirst(FileListLoader::FirstChunkRows), query.params, FileListLoader::FirstChunkRows,
                      nullptr, &first);
        if (ok && inChunk > 0)
            handOver();
        if (ok)
            ok = readRows(query.sql, query.params, -1, &first, nullptr);
    } else if (orderedScan && !query.scanSql.isEmpty()) {
        ok = readRows(query.scanSql, query.scanParams, -1, nullptr, nullptr);
    } else {
        ok = readRows(orderedScan ? query.orderedSql : query.sql, query.params, -1, nullptr, nullptr);
    }
    if (gone)
        return;
    if (ok && (inChunk > 0 || !chunk->newTypes.isEmpty())) {
        finish(*chunk);
        post(generation, std::move(chunk));
    }
    if (cancelled(generation))
        return;
    end(ok);
}

FileListLoader::FileListLoader(FileListModel* model, QObject* parent) : QObject(parent), m_model(model)
{
    m_thread = new QThread(this);
    m_thread->setObjectName(QStringLiteral("file list loader"));
    m_worker = new ListWorker(this, m_generation);
    m_worker->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->start();
    m_statsThread = new QThread(this);
    m_statsThread->setObjectName(QStringLiteral("file list statistics"));
    m_statsWorker = new ListWorker(this, m_generation);
    m_worker->setStatisticsWorker(m_statsWorker);
    m_statsWorker->moveToThread(m_statsThread);
    connect(m_statsThread, &QThread::finished, m_statsWorker, &QObject::deleteLater);
    m_statsThread->start();
}

FileListLoader::~FileListLoader()
{
    cancel();
    // The rows' worker may hand work to the statistics' one: it ends first.
    m_thread->quit();
    m_thread->wait();
    m_statsThread->quit();
    m_statsThread->wait();
}

void FileListLoader::start(const ArchiveLocation& archive, const ListQuery& query)
{
    const quint64 generation = ++*m_generation;
    m_loading = true;
    m_statsPending = true;
    m_orderedScan = false;
    m_model->reset(query.columns, query.nameField <= int(query.columns.size()) ? query.nameField - 1 : -1);
    // The statistics first: their query is short and their worker is idle.
    // A query with conditions to look up has them looked up once, by the
    // rows' worker, which then hands the answer on to the statistics.
    if (!query.needsLookUp()) {
        ListWorker* stats = m_statsWorker;
        QMetaObject::invokeMethod(
            stats, [stats, generation, archive, query] { stats->runStatistics(generation, archive, query, true); },
            Qt::QueuedConnection);
    }
    ListWorker* worker = m_worker;
    QMetaObject::invokeMethod(
        worker, [worker, generation, archive, query] { worker->run(generation, archive, query); },
        Qt::QueuedConnection);
}

void FileListLoader::cancel()
{
    ++*m_generation;
    m_loading = false;
    m_statsPending = false;
}

void FileListLoader::closeConnections()
{
    cancel();
    // Each worker closes its own connection on its own thread, after the
    // step it may be in the middle of (a cancelled load ends at its next chunk).
    for (ListWorker* worker : {m_worker, m_statsWorker})
        QMetaObject::invokeMethod(
            worker, [worker] { worker->closeStore(); }, Qt::BlockingQueuedConnection);
}

bool FileListLoader::waitUntilLoaded(int timeoutMs)
{
    if (isLoading()) {
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        auto quitWhenDone = [this, &loop] {
            if (!isLoading())
                loop.quit();
        };
        connect(this, &FileListLoader::loaded, &loop, quitWhenDone);
        connect(this, &FileListLoader::statisticsReady, &loop, quitWhenDone);
        timer.start(timeoutMs);
        loop.exec();
    }
    return !isLoading();
}

void FileListLoader::takeChunk(quint64 generation, const std::shared_ptr<ListChunk>& chunk)
{
    if (generation != m_generation->load())
        return;
    m_model->appendChunk(std::move(*chunk));
    emit rowsArrived(m_model->rowCount());
}

void FileListLoader::takeEnd(quint64 generation, bool ok, bool orderedScan)
{
    if (generation != m_generation->load())
        return;
    m_loading = false;
    m_orderedScan = orderedScan;
    emit loaded(ok);
}

void FileListLoader::takeStatistics(quint64 generation, bool ok, const ListStatistics::Totals& totals)
{
    if (generation != m_generation->load())
        return;
    m_statsPending = false;
    emit statisticsReady(ok, totals);
}
