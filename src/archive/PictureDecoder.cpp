#include "archive/PictureDecoder.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QMetaObject>

PictureDecoder::PictureDecoder(QObject* parent) : QObject(parent)
{
    qRegisterMetaType<PictureDecoder::Picture>();
    m_pool.setMaxThreadCount(1);
}

PictureDecoder::~PictureDecoder()
{
    m_pool.clear();
    m_pool.waitForDone();
}

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
    const int ticket = ++m_latest;
    // Only the newest request matters: one still waiting is dropped.
    m_pool.clear();
    m_pool.start([this, ticket, bytes, filePath, box] {
        if (ticket != m_latest.load())
            return;
        Picture picture = decode(bytes, filePath, box);
        if (ticket != m_latest.load())
            return;
        QMetaObject::invokeMethod(this, [this, ticket, picture = std::move(picture)] { emit decoded(ticket, picture); },
                                  Qt::QueuedConnection);
    });
    return ticket;
}
