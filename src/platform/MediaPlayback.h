#pragma once

#include <QObject>
#include <QString>

class QAudioOutput;
class QMediaPlayer;

// Playback of one audio or video file at a time on Qt Multimedia. The
// window gives the surface video is drawn on (a QVideoWidget); sound goes to
// the default output. Failures come as one signal per file: the file could
// not be opened (unknown or broken format, missing codec), or it opened and
// playback failed afterwards. A file with a picture track of which no frame
// is drawn within its first seconds (no decoder for it) counts as one that
// could not be opened.
class MediaPlayback : public QObject {
    Q_OBJECT
public:
    enum class Failure { CannotOpen, PlayFailed };

    explicit MediaPlayback(QObject* parent = nullptr);
    ~MediaPlayback() override;

    void setVideoOutput(QObject* output);

    // Starts the file at path from its beginning.
    void play(const QString& path);
    void pause();
    void resume();
    void stop();
    bool isPlaying() const;
    bool isPaused() const;

    qint64 position() const;
    qint64 duration() const;
    void setPosition(qint64 ms);
    // 0 … 100.
    void setVolume(int percent);
    int volume() const;

signals:
    void positionChanged(qint64 ms);
    void durationChanged(qint64 ms);
    void playingChanged(bool playing);
    // The file played to its end.
    void finished();
    void failed(MediaPlayback::Failure failure, const QString& detail);

private:
    void report(Failure failure, const QString& detail);

    QMediaPlayer* m_player = nullptr;
    QAudioOutput* m_audio = nullptr;
    bool m_reported = false;
    bool m_started = false;
    bool m_frameSeen = false;  // a picture of the current file was drawn
};
