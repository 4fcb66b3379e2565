#include "archive/PictureDecoder.h"

#include "store/DataStore.h"
#include "store/RecordContent.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QMetaObject>

PictureDecoder::PictureDecoder(QObject* parent) : QObject(parent)
{
    qRegisterMetaType<PictureDecoder::Picture>();
}

// The job under way is stopped and waited for as it goes (JobOf).
PictureDecoder::~PictureDecoder() = default;

QSize PictureDecoder::fitted(const QSize& size, const QSize& box)
{
    if (!size.isValid() || size.isEmpty() || !box.isValid() || box.isEmpty())
        return size;
    if (size.width() <= box.width() && size.height() <= box.height())
        return size;
    return size.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

PictureDecoder::Picture PictureDecoder::decode(const QByteArray& bytes, const QString& filePath, const QSize& box)
{
    Picture out;
    QByteArray content = bytes;
    if (!filePath.isEmpty()) {
        QFile file(filePath);
        if (!file.open(QIODevice::ReadOnly)) {
            out.error = file.errorString();
            return out;
        }
        content = file.readAll();
    }
    QBuffer buffer(&content);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    out.animated = reader.supportsAnimation() && reader.imageCount() > 1;
    const QSize size = reader.size();
    if (size.isValid())
        reader.setScaledSize(fitted(size, box));
    out.image = reader.read();
    if (out.image.isNull()) {
        out.error = reader.errorString();
        out.animated = false;
        return out;
    }
    // Readers that cannot scale while reading return the full picture.
    if (box.isValid() && (out.image.width() > box.width() || out.image.height() > box.height()))
        out.image = out.image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (out.animated)
        out.bytes = content;
    return out;
}

int PictureDecoder::request(const QByteArray& bytes, const QString& filePath, const QSize& box)
{
    Wanted w;
    w.bytes = bytes;
    w.filePath = filePath;
    w.box = box;
    return want(std::move(w));
}

int PictureDecoder::requestHeld(qint64 recordId, const QSize& box)
{
    Wanted w;
    w.archive = m_archive;
    w.recordId = recordId;
    w.box = box;
    return want(std::move(w));
}

int PictureDecoder::want(Wanted wanted)
{
    wanted.ticket = ++m_latest;
    const int ticket = wanted.ticket;
    // Only the newest request matters: the one under way stops, one still
    // waiting is dropped.
    if (m_job && m_job->isRunning()) {
        m_job->cancel();
        m_next = std::move(wanted);
    } else {
        start(wanted);
    }
    return ticket;
}

void PictureDecoder::start(const Wanted& wanted)
{
    auto body = [wanted](JobContext& context) -> Result<Picture> {
        if (context.cancelled())
            return Result<Picture>::cancel();
        QByteArray bytes = wanted.bytes;
        if (wanted.archive.isValid()) {
            // Held content that cannot be read shows as a picture that cannot
            // be drawn, as a damaged one does; the cause goes to the output.
            DataStore store;
            Result<QByteArray> held = store.open(wanted.archive)
                ? RecordContent::read(store, wanted.recordId)
                : Result<QByteArray>::fail(QString(), store.lastError());
            if (held)
                bytes = std::move(held).value();
            else
                qWarning("picture of record %lld not read: %s", qlonglong(wanted.recordId), qPrintable(held.detail()));
        }
        if (context.cancelled())
            return Result<Picture>::cancel();
        return decode(bytes, wanted.filePath, wanted.box);
    };
    if (m_job)
        // Its finished() may be what brought us here.
        m_job.release()->deleteLater();
    m_job = std::make_unique<JobOf<Picture>>(QString(), body);
    m_job->setLongRun(false);
    m_jobTicket = wanted.ticket;
    connect(m_job.get(), &Job::finished, this, &PictureDecoder::ended);
    m_job->start();
}

void PictureDecoder::ended()
{
    if (m_jobTicket == m_latest.load() && m_job->result().ok())
        emit decoded(m_jobTicket, m_job->result().value());
    if (m_next) {
        const Wanted next = std::move(*m_next);
        m_next.reset();
        start(next);
    }
}
