#pragma once

#include "archive/MediaRun.h"
#include "archive/ViewedFiles.h"
#include "platform/MediaPlayback.h"

#include <QList>
#include <QWidget>
#include <functional>

class QLabel;
class QListWidget;
class QSlider;
class QToolButton;
class QVideoWidget;

// The media player: the play list of the run, play/pause, stop, previous
// and next, a position slider and the volume. Each record is written into
// the player's folder just before it plays; the folder is emptied when the
// window closes.
class MediaPlayerWindow : public QWidget {
    Q_OBJECT
public:
    // Hands a file to the desktop's program for its type; true when handed over.
    using Opener = std::function<bool(const QString& path)>;

    MediaPlayerWindow(DataStore& store, const StoreFolder& folder, const ProtectedGroups& open, QString mediaFolder,
                      QWidget* parent = nullptr);
    ~MediaPlayerWindow() override;

    // The media of group path and its sub-groups (groupName is what the
    // question calls it). False when nothing is played.
    bool playGroup(const QString& path, const QString& groupName);
    // One record picked in the list.
    bool playRecord(qint64 id);
    // Shows the window with what was played last (the browser's button).
    void showPlayer();

    const QList<ViewedFile>& playList() const { return m_list; }
    int currentIndex() const { return m_current; }
    MediaPlayback* playback() const { return m_playback; }
    QString mediaFolder() const { return m_run.folder(); }
    void setOpener(Opener opener) { m_opener = std::move(opener); }

public slots:
    void playAt(int index);
    void togglePause();
    void stop();
    void playPrevious();
    void playNext();

signals:
    // Item index was handed to the engine, written at path.
    void itemStarted(int index, const QString& path);
    // Item index is over: played, failed or skipped.
    void itemEnded(int index);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void build();
    void startRun(const QList<ViewedFile>& files);
    void onFailed(MediaPlayback::Failure failure, const QString& detail);
    void moveOn();
    void updateTime();

    DataStore& m_store;  // where what the player cannot clear up is logged
    ViewedFiles m_files;
    MediaRun m_run;
    MediaPlayback* m_playback = nullptr;
    Opener m_opener;
    QList<ViewedFile> m_list;
    int m_current = -1;
    QString m_currentPath;

    QVideoWidget* m_video = nullptr;
    QListWidget* m_listBox = nullptr;
    QSlider* m_position = nullptr;
    QSlider* m_volume = nullptr;
    QLabel* m_time = nullptr;
    QToolButton* m_play = nullptr;
    QToolButton* m_stop = nullptr;
    QToolButton* m_previous = nullptr;
    QToolButton* m_next = nullptr;
};
