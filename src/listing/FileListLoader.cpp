#include "listing/FileListLoader.h"

#include "listing/FileListModel.h"
#include "store/DataStore.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QHash>
#include <QSqlQuery>
#include <QThread>

// Lives in the loader's thread and owns that thread's connection.
class ListWorker : public QObject {
public:
    ListWorker(FileListLoader* loader, std::shared_ptr<std::atomic<quint64>> generation)
        : m_loader(loader), m_generation(std::move(generation)) {}

    void run(quint64 generation, const QString& path, const ListQuery& query);

private:
    bool cancelled(quint64 generation) const { return m_generation->load() != generation; }
    bool ensureOpen(const QString& path);
    void post(quint64 generation, std::shared_ptr<ListChunk> chunk);

    FileListLoader* m_loader;  // only posted to, never touched here
    std::shared_ptr<std::atomic<quint64>> m_generation;
    std::unique_ptr<DataStore> m_store;
};

bool ListWorker::ensureOpen(const QString& path)
{
    if (m_store && m_store->isOpen() && m_store->path() == path)
        return true;
    m_store = std::make_unique<DataStore>();
    return m_store->open(path);
}

void ListWorker::post(quint64 generation, std::shared_ptr<ListChunk> chunk)
{
    FileListLoader* loader = m_loader;
    QMetaObject::invokeMethod(loader, [loader, generation, chunk] { loader->takeChunk(generation, chunk); },
                              Qt::QueuedConnection);
}

void ListWorker::run(quint64 generation, const QString& path, const ListQuery& query)
{
    FileListLoader* loader = m_loader;
    auto end = [loader, generation](bool ok, bool statsOk, ListStatistics::Totals totals) {
        QMetaObject::invokeMethod(loader, [=] { loader->takeEnd(generation, ok, statsOk, totals); },
                                  Qt::QueuedConnection);
    };
    if (cancelled(generation))
        return;
    if (!ensureOpen(path)) {
        end(false, false, {});
        return;
    }

    const int shown = int(query.columns.size());
    const bool separateNames = query.nameField > shown;
    const QString neverSet = FileListModel::neverSetDate();
    QHash<QString, quint32> typeIndex;

    bool ok = true;
    {
        // Forward only: the driver keeps no copy of the rows already read.
        QSqlQuery q(m_store->database());
        q.setForwardOnly(true);
        ok = q.prepare(query.sql);
        for (int i = 0; ok && i < query.params.size(); ++i)
            q.bindValue(i, query.params.at(i));
        ok = ok && q.exec();

        auto fresh = [&](int expected) {
            auto c = std::make_shared<ListChunk>();
            c->ids.reserve(expected);
            c->types.reserve(expected);
            c->columns.resize(shown);
            for (TextColumn& t : c->columns)
                t.reserve(expected, qsizetype(expected) * 12);
            if (separateNames)
                c->names.reserve(expected, qsizetype(expected) * 12);
            return c;
        };
        int limit = FileListLoader::FirstChunkRows;
        auto chunk = fresh(limit);
        int inChunk = 0;
        while (ok && q.next()) {
            if ((inChunk & 255) == 0 && cancelled(generation))
                return;
            chunk->ids.append(q.value(0).toLongLong());
            for (int c = 0; c < shown; ++c) {
                const QVariant v = q.value(c + 1);
                if (v.typeId() == QMetaType::QString) {
                    const QString s = v.toString();
                    if (s.size() == neverSet.size() && s == neverSet)
                        chunk->columns[c].append(nullptr, 0);
                    else
                        chunk->columns[c].append(s);
                } else {
                    chunk->columns[c].append(v.toString());
                }
            }
            if (separateNames)
                chunk->names.append(q.value(query.nameField).toString());
            const QString type = q.value(query.typeField).toString();
            auto it = typeIndex.constFind(type);
            if (it == typeIndex.constEnd()) {
                it = typeIndex.insert(type, quint32(typeIndex.size()));
                chunk->newTypes << type;
            }
            chunk->types.append(*it);
            if (++inChunk == limit) {
                post(generation, std::move(chunk));
                limit = FileListLoader::ChunkRows;
                chunk = fresh(limit);
                inChunk = 0;
            }
        }
        if (ok && (inChunk > 0 || !chunk->newTypes.isEmpty()))
            post(generation, std::move(chunk));
    }
    if (cancelled(generation))
        return;
    const auto totals = ListStatistics::read(*m_store, query.statisticsSql, query.statisticsParams);
    end(ok, totals.has_value(), totals.value_or(ListStatistics::Totals{}));
}

FileListLoader::FileListLoader(FileListModel* model, QObject* parent) : QObject(parent), m_model(model)
{
    m_thread = new QThread(this);
    m_thread->setObjectName(QStringLiteral("file list loader"));
    m_worker = new ListWorker(this, m_generation);
    m_worker->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->start();
}

FileListLoader::~FileListLoader()
{
    cancel();
    m_thread->quit();
    m_thread->wait();
}

void FileListLoader::start(const QString& databasePath, const ListQuery& query)
{
    const quint64 generation = ++*m_generation;
    m_loading = true;
    m_model->reset(query.columns, query.nameField <= int(query.columns.size()) ? query.nameField - 1 : -1);
    ListWorker* worker = m_worker;
    QMetaObject::invokeMethod(worker, [worker, generation, databasePath, query] {
        worker->run(generation, databasePath, query);
    }, Qt::QueuedConnection);
}

void FileListLoader::cancel()
{
    ++*m_generation;
    m_loading = false;
}

bool FileListLoader::waitUntilLoaded(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (m_loading && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    // Statistics follow the rows in the same hand-over; serve what is queued.
    QCoreApplication::processEvents();
    return !m_loading;
}

void FileListLoader::takeChunk(quint64 generation, const std::shared_ptr<ListChunk>& chunk)
{
    if (generation != m_generation->load())
        return;
    m_model->appendChunk(std::move(*chunk));
    emit rowsArrived(m_model->rowCount());
}

void FileListLoader::takeEnd(quint64 generation, bool ok, bool statsOk, const ListStatistics::Totals& totals)
{
    if (generation != m_generation->load())
        return;
    m_loading = false;
    emit loaded(ok);
    emit statisticsReady(statsOk, totals);
}
