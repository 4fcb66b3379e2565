#include "archive/ContentIndexer.h"

#include "platform/TextExtractor.h"
#include "platform/TextTokens.h"
#include "store/ContentIndex.h"
#include "store/DataStore.h"
#include "store/Dictionary.h"
#include "store/FieldTokens.h"
#include "store/LogWriter.h"
#include "store/RecordContent.h"
#include "store/RecordRows.h"
#include "store/TrashRows.h"
#include "store/StoreJob.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <limits>

namespace ContentIndexer {

namespace {

// The longest a batch waits to be written (the progress moves with it).
constexpr int kBatchMs = 5000;

const QString kFailedLog = QStringLiteral("内容索引中止：");

struct Read {
    RecordRows::Brief seen;  // the record as it was when its content was read
    ContentIndex::Item item;
};

bool sameContent(const RecordRows::Brief& a, const RecordRows::Brief& b)
{
    return a.keptPath == b.keptPath && a.type == b.type && a.size == b.size && a.sha256 == b.sha256;
}

// Writes the texts read whose records still hold the content they were
// read from: a record deleted or given new content meanwhile is left out
// (the new content waits for the next run). The number written.
Result<int> write(DataStore& store, const QList<Read>& reads)
{
    if (reads.isEmpty())
        return 0;
    Transaction tx(store);
    if (!tx.isActive())
        return Result<int>::fail(QString(), QStringLiteral("begin: ") + store.lastError());
    QList<ContentIndex::Item> items;
    items.reserve(reads.size());
    for (const Read& r : reads) {
        const Result<std::optional<RecordRows::Brief>> now = RecordRows::brief(store, r.item.id);
        if (!now)
            return now.failure();
        if (now->has_value() && sameContent(**now, r.seen))
            items.append(r.item);
    }
    const Result<int> written = ContentIndex::indexBatch(store, items);
    if (!written)
        return written;
    if (!tx.commit())
        return Result<int>::fail(QString(), QStringLiteral("commit: ") + store.lastError());
    return written;
}

// The content of a record as a file to read: its kept file, or its held
// content written to a file of the private folder (removed by the caller).
Result<QString> contentFile(DataStore& store, const Setup& setup, const RecordRows::Brief& r, const QString& folder)
{
    if (!r.keptPath.isEmpty())
        return setup.folder.resolve(r.keptPath);
    const Result<QByteArray> bytes = RecordContent::read(store, r.id);
    if (!bytes)
        return bytes.failure();
    const QString path = QDir(folder).filePath(QStringLiteral("held-%1").arg(r.id));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || !f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) || f.write(*bytes) != bytes->size()
        || !f.flush()) {
        const QString why = f.errorString();
        f.close();
        QFile::remove(path);
        return Result<QString>::fail(QString(), QStringLiteral("%1: %2").arg(path, why));
    }
    f.close();
    return path;
}

}  // namespace

bool ocrWanted(DataStore& store)
{
    const QString fallback = TextExtractor::ocrAvailable() ? QStringLiteral("1") : QStringLiteral("0");
    return Dictionary::readOr(store, OcrSetting, fallback) == QLatin1String("1");
}

Status setOcrWanted(DataStore& store, bool on)
{
    // An archive that never had the setting gets its row.
    const Status written = TrashRows::writeSetting(store, OcrSetting, on ? QStringLiteral("1") : QStringLiteral("0"));
    if (!written)
        return Status::fail(QStringLiteral("保存失败！"), written.detail());
    return {};
}

int batchRecordsAt(int batch, int most)
{
    constexpr int first = 100;
    if (batch >= 16)
        return most;
    return qMax(1, qMin(most, first << batch));
}

QString progressText(qint64 done, qint64 total)
{
    return QStringLiteral("%1 %2/%3").arg(Title).arg(done).arg(total);
}

Result<Outcome> run(DataStore& store, const Setup& setup, JobContext& context)
{
    Outcome out;
    TextExtractor::Limits limits;
    limits.ocr = ocrWanted(store);
    const Result<ContentIndex::Counts> counts = ContentIndex::progress(store, limits.ocr);
    if (!counts)
        return counts.failure();
    out.done = counts->done;
    out.total = counts->total;
    context.setRange(0, out.total);
    context.setValue(out.done);
    context.setItem(progressText(out.done, out.total));

    limits.timeLimitMs = setup.timeLimitMs;
    // A stop does not wait for a slow file: its reading is given up.
    limits.cancelled = [&context] { return context.cancelled(); };
    // Held content is read from a file only this user can open.
    QTemporaryDir held(QDir::tempPath() + QStringLiteral("/korvane-index-XXXXXX"));
    if (!held.isValid())
        return Result<Outcome>::fail(QStringLiteral("无法建立临时文件夹"), held.errorString());
    TextExtractor::ExtractSession session;

    const auto fail = [&](const Failure& f) {
        const CurrentOperator& op = setup.op;
        LogWriter(store, op).writeOrWarn(kFailedLog + f.message + QStringLiteral(" (") + f.detail + QLatin1Char(')'));
        return Result<Outcome>(f);
    };

    QList<Read> reads;
    qsizetype units = 0;
    int batch = 0;
    QDeadlineTimer due(kBatchMs);
    const auto flush = [&]() -> Status {
        const Result<int> written = write(store, reads);
        if (!written)
            return written.failure();
        out.done += written.value();
        if (!reads.isEmpty())
            ++batch;
        reads.clear();
        units = 0;
        due.setRemainingTime(kBatchMs);
        // Counts only: a record of a closed group is never named.
        context.setValue(qMin(out.done, out.total));
        context.setItem(progressText(qMin(out.done, out.total), out.total));
        return {};
    };

    // The searched fields' tokens first: quick to write, and a search reads
    // every queued record until they are.
    if (const Status fields = FieldTokens::workOff(store, [&context] { return context.cancelled(); }); !fields)
        return fields.cancelled() ? Result<Outcome>::cancel() : fail(fields.failure());

    qint64 after = std::numeric_limits<qint64>::min();
    for (;;) {
        const Result<QList<qint64>> ids = ContentIndex::waiting(store, setup.batchRecords, after, limits.ocr);
        if (!ids)
            return fail(ids.failure());
        if (ids->isEmpty())
            break;
        for (const qint64 id : ids.value()) {
            if (context.cancelled()) {
                if (const Status written = flush(); !written)
                    return fail(written.failure());
                return Result<Outcome>::cancel();
            }
            after = id;
            const Result<std::optional<RecordRows::Brief>> found = RecordRows::brief(store, id);
            if (!found)
                return fail(found.failure());
            if (!found->has_value())
                continue;  // deleted meanwhile
            const RecordRows::Brief& r = **found;
            Read read{r, {id, ContentIndex::Unreadable, QString()}};
            const Result<QString> path = contentFile(store, setup, r, held.path());
            if (!path)
                return fail(path.failure());
            if (!QFileInfo(*path).isFile()) {
                read.item.state = ContentIndex::Unreadable;
            } else {
                const Result<TextExtractor::Extracted> got = session.read(*path, r.type.toLower(), limits);
                if (r.keptPath.isEmpty())
                    QFile::remove(*path);
                if (got.cancelled()) {
                    // Stopped while it was read: the record waits as it did.
                    if (const Status written = flush(); !written)
                        return fail(written.failure());
                    return Result<Outcome>::cancel();
                }
                if (!got) {
                    // The reading itself failed: what is read so far stays.
                    if (const Status written = flush(); !written)
                        return fail(written.failure());
                    return fail(got.failure());
                }
                // ContentIndex::State follows ExtractStatus, one up; what
                // was left for OCR is read again once OCR is on.
                read.item.state = int(got->status) + 1;
                if (got->needsOcr && !limits.ocr
                    && (got->status == TextExtractor::ExtractStatus::Ok
                        || got->status == TextExtractor::ExtractStatus::Empty
                        || got->status == TextExtractor::ExtractStatus::Unsupported))
                    read.item.state = ContentIndex::NeedsOcr;
                read.item.normalizedText = TextTokens::normalize(got->text);
            }
            ++out.read;
            if (read.item.state != ContentIndex::Done)
                ++out.unread;
            units += read.item.normalizedText.size();
            reads.append(std::move(read));
            if (reads.size() >= batchRecordsAt(batch, setup.batchRecords) || units >= BatchUnits || due.hasExpired())
                if (const Status written = flush(); !written)
                    return fail(written.failure());
        }
    }
    if (const Status written = flush(); !written)
        return fail(written.failure());
    // Records added meanwhile count in the end's figures.
    const Result<ContentIndex::Counts> end = ContentIndex::progress(store, limits.ocr);
    if (end) {
        out.done = end->done;
        out.total = end->total;
        context.setRange(0, out.total);
        context.setValue(out.done);
    }
    return out;
}

JobOf<Outcome>::Body job(Setup setup)
{
    return StoreJob::body<Outcome>(
        setup.archive, [setup](DataStore& store, JobContext& context) { return run(store, setup, context); });
}

}  // namespace ContentIndexer

// ------------------------------------------------------------ in the background

ContentIndexRun::ContentIndexRun(ContentIndexer::Setup setup, QObject* parent)
    : QObject(parent), m_setup(std::move(setup))
{
}

ContentIndexRun::~ContentIndexRun()
{
    stop();
}

bool ContentIndexRun::isRunning() const
{
    return m_job && m_job->isRunning();
}

void ContentIndexRun::request()
{
    // After a failed run (the helper program missing, the archive not
    // writable) the records wait for the next login: no run after every add.
    if (m_failed)
        return;
    if (isRunning()) {
        m_again = true;
        return;
    }
    start();
}

void ContentIndexRun::stop()
{
    m_again = false;
    if (!m_job)
        return;
    // The job's end is not delivered after this: its owner asked for it.
    disconnect(m_job.get(), nullptr, this, nullptr);
    m_job.reset();  // cancels and waits (JobOf)
}

void ContentIndexRun::start()
{
    m_again = false;
    m_job = std::make_unique<JobOf<ContentIndexer::Outcome>>(ContentIndexer::Title, ContentIndexer::job(m_setup));
    // Not a long run: nothing is left half done when the exit stops it.
    m_job->setLongRun(false);
    JobOf<ContentIndexer::Outcome>* job = m_job.get();
    connect(job, &Job::valueChanged, this, [this, job](qint64 value) { emit progressed(value, job->maximum()); });
    connect(job, &Job::rangeChanged, this,
            [this, job](qint64, qint64 maximum) { emit progressed(job->value(), maximum); });
    connect(job, &Job::finished, this, &ContentIndexRun::finished, Qt::QueuedConnection);
    job->start();
}

void ContentIndexRun::finished()
{
    if (!m_job || m_job->isRunning())
        return;
    const Status status = m_job->status();
    m_failed = !status && !status.cancelled();
    if (m_again && !m_failed && !status.cancelled()) {
        start();
        return;
    }
    emit ended(status);
}
