#include "platform/MediaPlayback.h"

#include <QAudioOutput>
#include <QMediaPlayer>
#include <QUrl>
#include <QVideoFrame>
#include <QVideoSink>

namespace {
// How far a file with a picture may play without one frame drawn before it
// counts as one the player cannot decode (sound over a black picture).
constexpr qint64 NoPictureAfterMs = 2000;
}

MediaPlayback::MediaPlayback(QObject* parent) : QObject(parent)
{
    m_player = new QMediaPlayer(this);
    m_audio = new QAudioOutput(this);
    m_audio->setVolume(0.8f);
    m_player->setAudioOutput(m_audio);

    connect(m_player, &QMediaPlayer::positionChanged, this, &MediaPlayback::positionChanged);
    connect(m_player, &QMediaPlayer::positionChanged, this, [this](qint64 ms) {
        if (!m_frameSeen && ms >= NoPictureAfterMs && m_player->hasVideo() && m_player->videoSink())
            report(Failure::CannotOpen, QStringLiteral("no picture decoded for %1 ms").arg(ms));
    });
    connect(m_player, &QMediaPlayer::durationChanged, this, &MediaPlayback::durationChanged);
    connect(m_player, &QMediaPlayer::playbackStateChanged, this, [this](QMediaPlayer::PlaybackState s) {
        if (s == QMediaPlayer::PlayingState)
            m_started = true;
        emit playingChanged(s == QMediaPlayer::PlayingState);
    });
    connect(m_player, &QMediaPlayer::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus s) {
        if (s == QMediaPlayer::InvalidMedia)
            report(Failure::CannotOpen, m_player->errorString());
        else if (s == QMediaPlayer::EndOfMedia && !m_reported) {
            m_reported = true;
            emit finished();
        }
    });
    connect(m_player, &QMediaPlayer::errorOccurred, this, [this](QMediaPlayer::Error e, const QString& text) {
        const bool opening = !m_started || e == QMediaPlayer::FormatError;
        report(opening && e != QMediaPlayer::NetworkError ? Failure::CannotOpen : Failure::PlayFailed, text);
    });
}

MediaPlayback::~MediaPlayback()
{
    m_player->stop();
}

void MediaPlayback::setVideoOutput(QObject* output)
{
    m_player->setVideoOutput(output);
    if (QVideoSink* sink = m_player->videoSink())
        connect(sink, &QVideoSink::videoFrameChanged, this, [this](const QVideoFrame& frame) {
            if (frame.isValid())
                m_frameSeen = true;
        });
}

void MediaPlayback::report(Failure failure, const QString& detail)
{
    if (m_reported)
        return;
    m_reported = true;
    emit failed(failure, detail);
}

void MediaPlayback::play(const QString& path)
{
    m_player->stop();
    m_reported = false;
    m_started = false;
    m_frameSeen = false;
    m_player->setSource(QUrl::fromLocalFile(path));
    m_player->play();
}

void MediaPlayback::pause()
{
    m_player->pause();
}
void MediaPlayback::resume()
{
    m_player->play();
}

void MediaPlayback::stop()
{
    m_reported = true;  // a stopped file reports nothing more
    m_player->stop();
}

bool MediaPlayback::isPlaying() const
{
    return m_player->playbackState() == QMediaPlayer::PlayingState;
}
bool MediaPlayback::isPaused() const
{
    return m_player->playbackState() == QMediaPlayer::PausedState;
}
qint64 MediaPlayback::position() const
{
    return m_player->position();
}
qint64 MediaPlayback::duration() const
{
    return m_player->duration();
}
void MediaPlayback::setPosition(qint64 ms)
{
    m_player->setPosition(ms);
}
void MediaPlayback::setVolume(int percent)
{
    m_audio->setVolume(float(qBound(0, percent, 100)) / 100.0f);
}
int MediaPlayback::volume() const
{
    return qRound(m_audio->volume() * 100.0f);
}
