#pragma once

#include "platform/Job.h"
#include "store/ArchiveLocation.h"

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>

#include <atomic>
#include <memory>
#include <optional>

// Decodes pictures away from the window's thread, one at a time, each as a
// Job: a request made while another is under way stops that one and waits
// in its place, replacing any request still waiting, so stepping quickly
// through a long list decodes only what is still wanted. Content held in
// the database is read by the job on a connection of its own. Each picture
// is scaled to fit the box while it is read (keeping its proportions), so a
// large photograph never lives in memory at full size.
class PictureDecoder : public QObject {
    Q_OBJECT
public:
    struct Picture {
        QImage image;           // scaled to fit the box; null on failure
        QString error;          // why it could not be read
        bool animated = false;  // more than one frame (an animated GIF)
        QByteArray bytes;       // the content, kept only for an animated picture
    };

    explicit PictureDecoder(QObject* parent = nullptr);
    ~PictureDecoder() override;

    // Decodes `bytes`, or when filePath is given the file's content, to fit
    // box. Returns the ticket that decoded() will carry.
    int request(const QByteArray& bytes, const QString& filePath, const QSize& box);
    // The database whose held content requestHeld() reads.
    void setArchive(const ArchiveLocation& archive) { m_archive = archive; }
    // Decodes the content of record recordId held in the database, read on
    // the job's own connection (content that cannot be read decodes as none).
    int requestHeld(qint64 recordId, const QSize& box);
    // The latest ticket handed out.
    int latest() const { return m_latest.load(); }

    // The decoding itself, on the calling thread.
    static Picture decode(const QByteArray& bytes, const QString& filePath, const QSize& box);
    // size scaled down (never up) to fit box, keeping its proportions.
    static QSize fitted(const QSize& size, const QSize& box);

signals:
    void decoded(int ticket, const PictureDecoder::Picture& picture);

private:
    struct Wanted {
        int ticket = 0;
        QByteArray bytes;
        QString filePath;
        ArchiveLocation archive;  // held content: read from here
        qint64 recordId = -1;
        QSize box;
    };
    int want(Wanted wanted);
    void start(const Wanted& wanted);
    void ended();

    ArchiveLocation m_archive;
    std::unique_ptr<JobOf<Picture>> m_job;
    int m_jobTicket = 0;
    std::optional<Wanted> m_next;
    std::atomic<int> m_latest{0};
};

Q_DECLARE_METATYPE(PictureDecoder::Picture)
