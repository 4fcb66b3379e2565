#include "archive/ui/ViewerWindows.h"

#include "archive/GroupPath.h"
#include "archive/MediaRun.h"
#include "archive/ui/MediaPlayerWindow.h"
#include "archive/ui/PictureBrowserWindow.h"

ViewerWindows::ViewerWindows(DataStore& store, const StoreFolder& folder, const ProtectedGroups& open,
                             QString mediaFolder, QWidget* owner)
    : QObject(owner), m_store(store), m_folder(folder), m_open(open), m_mediaFolder(std::move(mediaFolder)),
      m_owner(owner)
{
    // What a run that ended abruptly left behind.
    MediaRun::emptyOrLog(m_store, m_mediaFolder);
}

ViewerWindows::~ViewerWindows()
{
    delete m_browser;
    delete m_player;
    MediaRun::emptyOrLog(m_store, m_mediaFolder);
}

PictureBrowserWindow* ViewerWindows::browserIfMade() const
{
    return m_browser;
}
MediaPlayerWindow* ViewerWindows::playerIfMade() const
{
    return m_player;
}

PictureBrowserWindow* ViewerWindows::browser()
{
    if (!m_browser) {
        m_browser = new PictureBrowserWindow(m_store, m_folder, m_open, m_owner);
        connect(m_browser, &PictureBrowserWindow::mediaPlayerRequested, this, [this] {
            MediaPlayerWindow* p = player();
            p->showPlayer();
        });
    }
    return m_browser;
}

MediaPlayerWindow* ViewerWindows::player()
{
    if (!m_player)
        m_player = new MediaPlayerWindow(m_store, m_folder, m_open, m_mediaFolder, m_owner);
    return m_player;
}

// The viewers say themselves why nothing is shown.
void ViewerWindows::browseGroup(const QString& path)
{
    browser()->browseGroup(path);
}

void ViewerWindows::browseRecord(qint64 id)
{
    browser()->browseRecord(id);
}

void ViewerWindows::playGroup(const QString& path)
{
    const QStringList names = GroupPath::split(path);
    const QString name = names.isEmpty() ? QStringLiteral("文件服务器") : names.last();
    player()->playGroup(path, name);
}

void ViewerWindows::playRecord(qint64 id)
{
    player()->playRecord(id);
}
