#pragma once

#include "archive/StoreFolder.h"
#include "platform/Job.h"
#include "store/ArchiveLocation.h"
#include "store/CurrentOperator.h"

#include <QObject>
#include <QString>

#include <memory>

class DataStore;

// The catch-up of the content index: every record whose content has no
// text yet (a new record, a record whose content was replaced) is read
// through one korvane-extract process (TextExtractor::ExtractSession), its
// text normalized (TextTokens::normalize) and written to the index
// (ContentIndex::indexBatch) in whole batches. A kill loses at most the
// batch being written; the next run goes on where the index stands.
//
// A file's verdict is kept with its text (Unreadable, TimedOut, …), so a
// file is read once, never again and again; only a picture or scanned page
// left unread while OCR was off (NeedsOcr) is read again once it is on. A failure of the reading
// itself (the helper program missing) ends the run with that failure and
// a log line; the records wait for the next run.
//
// The run names no record in its progress: records of closed protected
// groups are read too (their text stays in the archive; a search leaves
// them out), so it says counts only.
namespace ContentIndexer {

inline const QString Title = QStringLiteral("内容索引");
// The dictionary's name of the OCR setting ("1" / "0"; no row: the default).
inline const QString OcrSetting = QStringLiteral("文字识别");

// Text gathered before a batch is written whatever its count (UTF-16
// units). Large batches write each token's segments once for many records,
// which is most of what indexing costs.
inline constexpr qsizetype BatchUnits = 16 * 1024 * 1024;
inline constexpr int BatchRecords = 3000;
// The records of a run's batch number `batch` (from 0) at most: few at
// first, so that the first progress shows soon, then twice as many each
// batch up to `most`.
int batchRecordsAt(int batch, int most = BatchRecords);

// What the run needs to work on a connection of its own.
struct Setup {
    ArchiveLocation archive;
    StoreFolder folder;
    CurrentOperator op;               // the log line of a failed run
    int batchRecords = BatchRecords;  // records written together at most (batchRecordsAt)
    int timeLimitMs = 120000;         // for one file
};

struct Outcome {
    int read = 0;     // files read in this run
    int unread = 0;   // of them, those whose text could not be had
    qint64 done = 0;  // records whose text is indexed, at the end
    qint64 total = 0;
};

// Whether pictures and PDF pages without text are read by OCR: the
// dictionary's OcrSetting, or TextExtractor::ocrAvailable() without a row.
bool ocrWanted(DataStore& store);
[[nodiscard]] Status setOcrWanted(DataStore& store, bool on);

// The progress text: "内容索引 n/N".
QString progressText(qint64 done, qint64 total);

// The catch-up on `store`, reporting the records indexed as progress; a
// cancel is heard between files.
Result<Outcome> run(DataStore& store, const Setup& setup, JobContext& context);
// The same as the body of a job on a connection of its own.
JobOf<Outcome>::Body job(Setup setup);

}  // namespace ContentIndexer

// The catch-up in the background of a window: one job at a time, not a
// long run of the program (the exit stops it quietly between two files);
// asked again while one is under way, it runs once more after that one.
class ContentIndexRun : public QObject {
    Q_OBJECT
public:
    explicit ContentIndexRun(ContentIndexer::Setup setup, QObject* parent = nullptr);
    ~ContentIndexRun() override;

    // Starts the catch-up now, or once more when the run under way ends;
    // nothing after a run that failed.
    void request();
    // Stops the run under way after its current file and waits for it; no
    // further run starts until request() asks again.
    void stop();
    bool isRunning() const;

signals:
    // Records indexed out of all, while a run goes on.
    void progressed(qint64 done, qint64 total);
    // A run ended (and no further one follows): how it went.
    void ended(const Status& status);

private:
    void start();
    void finished();

    ContentIndexer::Setup m_setup;
    std::unique_ptr<JobOf<ContentIndexer::Outcome>> m_job;
    bool m_again = false;
    bool m_failed = false;
};
