#pragma once

#include "listing/ListQuery.h"
#include "store/ArchiveLocation.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <memory>

class FileListModel;
class QThread;
class ListWorker;
struct ListChunk;

// Loads the rows of a list query into a FileListModel without holding up
// the window: a worker thread with its own connection on the same database
// reads the rows and hands them over in chunks, the first one small so the
// list shows at once. Starting a new load cancels one still under way.
// The statistics of the same filter are read at the same time by a second
// worker with a connection of its own, so the statistics line never waits
// for the rows; a new load cancels both.
class FileListLoader : public QObject {
    Q_OBJECT
public:
    static constexpr int FirstChunkRows = 200;
    static constexpr int ChunkRows = 20000;
    // A filter with at least this many rows is read along the order's index
    // (first rows at once); a smaller one through fz, sorted.
    static constexpr int OrderedScanRows = 20000;
    // A search whose candidates number at least this many (and fewer than
    // OrderedScanRows) reads its first chunk along the order's index.
    static constexpr int FirstAlongOrderRows = 2000;

    explicit FileListLoader(FileListModel* model, QObject* parent = nullptr);
    ~FileListLoader() override;

    // Resets the model to the query's columns and starts reading its rows
    // from the archive.
    void start(const ArchiveLocation& archive, const ListQuery& query);
    void cancel();
    // Cancels the current load and closes the workers' connections; the next
    // start opens them again (on whatever archive then lies at the location).
    void closeConnections();
    // True while the rows or the statistics of the current load are pending.
    bool isLoading() const { return m_loading || m_statsPending; }
    // True when the current load reads its rows along the order's index.
    bool usedOrderedScan() const { return m_orderedScan; }
    // Waits (serving events) until the rows and statistics of the current
    // load arrived; false on timeout.
    bool waitUntilLoaded(int timeoutMs = 30000);

signals:
    // Rows reached the model (rows: how many it holds now).
    void rowsArrived(int rows);
    // The load ended: ok false when the list query failed.
    void loaded(bool ok);
    // The statistics of the load's filter; ok false when the query failed.
    void statisticsReady(bool ok, const ListStatistics::Totals& totals);

protected:
    bool event(QEvent* e) override;

private:
    friend class ListWorker;
    void takeChunk(quint64 generation, const std::shared_ptr<ListChunk>& chunk);
    void takeEnd(quint64 generation, bool ok, bool orderedScan);
    void takeStatistics(quint64 generation, bool ok, const ListStatistics::Totals& totals);

    FileListModel* m_model;
    QThread* m_thread = nullptr;
    ListWorker* m_worker = nullptr;
    QThread* m_statsThread = nullptr;
    ListWorker* m_statsWorker = nullptr;
    std::shared_ptr<std::atomic<quint64>> m_generation = std::make_shared<std::atomic<quint64>>(0);
    bool m_loading = false;
    bool m_statsPending = false;
    bool m_orderedScan = false;
};
