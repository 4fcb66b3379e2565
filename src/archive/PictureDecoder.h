#pragma once

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QThreadPool>

#include <atomic>

// Decodes pictures away from the window's thread, one at a time: a request
// made while another is waiting replaces it, so stepping quickly through a
// long list decodes only what is still wanted. Each picture is scaled to fit
// the box while it is read (keeping its proportions), so a large photograph
// never lives in memory at full size.
class PictureDecoder : public QObject {
    Q_OBJECT
public:
    struct Picture {
        QImage image;          // scaled to fit the box; null on failure
        QString error;         // why it could not be read
        bool animated = false; // more than one frame (an animated GIF)
        QByteArray bytes;      // the content, kept only for an animated picture
    };

    explicit PictureDecoder(QObject* parent = nullptr);
    ~PictureDecoder() override;

    // Decodes `bytes`, or when filePath is given the file's content, to fit
    // box. Returns the ticket that decoded() will carry.
    int request(const QByteArray& bytes, const QString& filePath, const QSize& box);
    // The latest ticket handed out.
    int latest() const { return m_latest.load(); }
    // Waits until nothing is being decoded (tests and benchmarks).
    void waitForDone() { m_pool.waitForDone(); }

    // The decoding itself, on the calling thread.
    static Picture decode(const QByteArray& bytes, const QString& filePath, const QSize& box);
    // size scaled down (never up) to fit box, keeping its proportions.
    static QSize fitted(const QSize& size, const QSize& box);

signals:
    void decoded(int ticket, const PictureDecoder::Picture& picture);

private:
    QThreadPool m_pool;
    std::atomic<int> m_latest{0};
};

Q_DECLARE_METATYPE(PictureDecoder::Picture)
