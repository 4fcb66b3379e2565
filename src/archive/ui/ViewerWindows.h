#pragma once

#include "archive/StoreFolder.h"

#include <QObject>
#include <QPointer>
#include <QString>

class DataStore;
class MediaPlayerWindow;
class PictureBrowserWindow;
class ProtectedGroups;
class QWidget;

// The picture browser and the media player of the main window: made when
// first wanted, one of each for the run. The player's folder is emptied
// when this is made (at start-up) and whenever the player closes.
class ViewerWindows : public QObject {
    Q_OBJECT
public:
    // The windows stand on their own but close and go with `owner`.
    ViewerWindows(DataStore& store, const StoreFolder& folder, const ProtectedGroups& open, QString mediaFolder,
                  QWidget* owner = nullptr);
    ~ViewerWindows() override;

    PictureBrowserWindow* browser();
    MediaPlayerWindow* player();
    // The windows when they were made; null otherwise.
    PictureBrowserWindow* browserIfMade() const;
    MediaPlayerWindow* playerIfMade() const;

public slots:
    // From the tree: the group at path ("" for the root "文件服务器").
    void browseGroup(const QString& path);
    void playGroup(const QString& path);
    // From the list: record id (-1: none selected).
    void browseRecord(qint64 id);
    void playRecord(qint64 id);

private:
    DataStore& m_store;
    StoreFolder m_folder;
    const ProtectedGroups& m_open;
    QString m_mediaFolder;
    QPointer<QWidget> m_owner;
    QPointer<PictureBrowserWindow> m_browser;
    QPointer<MediaPlayerWindow> m_player;
};
