#pragma once

#include "archive/PictureCursor.h"
#include "archive/PictureDecoder.h"
#include "archive/ViewedFiles.h"

#include <QList>
#include <QPointer>
#include <QWidget>
#include <memory>

class QAction;
class QBuffer;
class QLabel;
class QLineEdit;
class QListWidget;
class QMovie;
class QRadioButton;
class QTimer;
class QToolBar;

// The window "图片列表": the current picture list, one row per picture,
// standing beside the browser.
class PictureListWindow : public QWidget {
    Q_OBJECT
public:
    explicit PictureListWindow(QWidget* parent = nullptr);
    QListWidget* list() const { return m_list; }

private:
    QListWidget* m_list = nullptr;
};

// The window "图片浏览器": the pictures of a group (and its sub-groups) or
// records picked from the list, one at a time, by hand or as a slide show.
// Only the list's names live in memory; each picture's content is read from
// the archive when it is shown and decoded away from the window's thread.
class PictureBrowserWindow : public QWidget {
    Q_OBJECT
public:
    static inline const QString KeepListQuestion = QStringLiteral("分组将改变,是否保留当前图片列表?");
    static constexpr int DefaultInterval = 2000;
    static constexpr int ShortestInterval = 100;

    PictureBrowserWindow(DataStore& store, const StoreFolder& folder, const ProtectedGroups& open,
                         QWidget* parent = nullptr);
    ~PictureBrowserWindow() override;

    // The pictures of group path and its sub-groups ("" is the root). Shows
    // the window with the first picture; false (after the message) when the
    // group holds no records or cannot be read.
    bool browseGroup(const QString& path);
    // The record picked in the list; asks whether to keep the list when its
    // group differs from the list's. False (after the message) when it
    // cannot be shown.
    bool browseRecord(qint64 id);

    PictureListWindow* listWindow() const { return m_listWindow; }
    const QList<ViewedFile>& pictures() const { return m_pictures; }
    int currentIndex() const { return m_cursor.index(); }
    // The index of the picture on screen; -1 while none is.
    int shownIndex() const { return m_shown; }
    // The group the current list was made for.
    QString listGroup() const { return m_listGroup; }
    bool isSliding() const;
    QTimer* slideTimer() const { return m_timer; }
    PictureCursor::Order order() const;
    // The picture shown now (a frame of it when animated).
    QPixmap shownPicture() const;
    bool isAnimated() const { return m_movie != nullptr; }
    // Where the random order draws from (tests give a fixed sequence).
    void setRandom(PictureCursor::Random random);

public slots:
    void first();
    void previous();
    void next();
    void last();
    void showIndex(int index);
    // "自动播放" on or off.
    void setSliding(bool on);
    // One step of the slide show in the chosen order.
    void slideStep();

signals:
    // The picture at index is on screen (or could not be read: shown empty).
    void pictureShown(int index);
    // The button "媒体播放器".
    void mediaPlayerRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void build();
    void setList(const QList<ViewedFile>& pictures, const QString& group);
    void appendPicture(const ViewedFile& f);
    void showWindows();
    void placeListWindow();
    void onDecoded(int ticket, const PictureDecoder::Picture& picture);
    void stopMovie();
    void updateButtons();
    int interval();

    ViewedFiles m_files;
    QList<ViewedFile> m_pictures;
    QString m_listGroup;
    PictureCursor m_cursor;
    PictureDecoder* m_decoder = nullptr;
    int m_wanted = -1;  // index whose picture is being decoded
    int m_shown = -1;   // index whose picture is on screen

    QToolBar* m_pictureBar = nullptr;
    QToolBar* m_playBar = nullptr;
    QToolBar* m_mediaBar = nullptr;
    QAction* m_first = nullptr;
    QAction* m_previous = nullptr;
    QAction* m_next = nullptr;
    QAction* m_last = nullptr;
    QAction* m_slide = nullptr;
    QAction* m_media = nullptr;
    QLineEdit* m_interval = nullptr;
    QRadioButton* m_forward = nullptr;
    QRadioButton* m_backward = nullptr;
    QRadioButton* m_random = nullptr;
    QLabel* m_picture = nullptr;
    QTimer* m_timer = nullptr;
    QMovie* m_movie = nullptr;
    QBuffer* m_movieBuffer = nullptr;
    QByteArray m_movieBytes;
    QPointer<PictureListWindow> m_listWindow;
};
