#include "archive/ui/MediaPlayerWindow.h"

#include "archive/ui/PlayerPictures.h"
#include "platform/Prompter.h"
#include "platform/ui/OuterSize.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QLabel>
#include <QListWidget>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVideoWidget>

namespace {

constexpr QSize PlayerSize(640, 420);

QToolButton* makeButton(PlayerPictures::Picture picture, const QString& name, const QRect& place, QWidget* parent)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setToolTip(name);
    b->setIcon(QIcon(PlayerPictures::picture(picture)));
    b->setIconSize(QSize(PlayerPictures::Width, PlayerPictures::Height));
    b->setAutoRaise(true);
    b->setGeometry(place);
    return b;
}

QString clockText(qint64 ms)
{
    const qint64 s = qMax<qint64>(0, ms) / 1000;
    return QStringLiteral("%1:%2").arg(s / 60, 2, 10, QLatin1Char('0')).arg(s % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

MediaPlayerWindow::MediaPlayerWindow(DataStore& store, const StoreFolder& folder, const ProtectedGroups& open,
                                     QString mediaFolder, QWidget* parent)
    : QWidget(parent, Qt::Window), m_store(store), m_files(store, folder, open), m_run(m_files, std::move(mediaFolder))
{
    setWindowTitle(QStringLiteral("媒体播放器"));
    setObjectName(QStringLiteral("媒体播放器"));
    m_opener = [](const QString& path) { return QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };
    m_playback = new MediaPlayback(this);
    build();
    m_playback->setVideoOutput(m_video);
    OuterSize::fix(this, PlayerSize);

    connect(m_playback, &MediaPlayback::finished, this, [this] {
        emit itemEnded(m_current);
        moveOn();
    });
    connect(m_playback, &MediaPlayback::failed, this, &MediaPlayerWindow::onFailed);
    connect(m_playback, &MediaPlayback::durationChanged, this, [this](qint64 ms) {
        const QSignalBlocker block(m_position);
        m_position->setRange(0, int(qMin<qint64>(ms, INT_MAX)));
        updateTime();
    });
    connect(m_playback, &MediaPlayback::positionChanged, this, [this](qint64 ms) {
        if (!m_position->isSliderDown()) {
            const QSignalBlocker block(m_position);
            m_position->setValue(int(qMin<qint64>(ms, INT_MAX)));
        }
        updateTime();
    });
    connect(m_playback, &MediaPlayback::playingChanged, this, [this](bool playing) {
        m_play->setIcon(QIcon(PlayerPictures::picture(playing ? PlayerPictures::Pause : PlayerPictures::Play)));
        m_play->setToolTip(playing ? QStringLiteral("暂停") : QStringLiteral("播放"));
    });
}

MediaPlayerWindow::~MediaPlayerWindow()
{
    m_playback->stop();
}

void MediaPlayerWindow::build()
{
    m_video = new QVideoWidget(this);
    m_video->setObjectName(QStringLiteral("视频框"));
    m_video->setGeometry(0, 0, 464, 340);
    QPalette dark = m_video->palette();
    dark.setColor(QPalette::Window, Qt::black);
    m_video->setPalette(dark);
    m_video->setAutoFillBackground(true);

    m_listBox = new QListWidget(this);
    m_listBox->setObjectName(QStringLiteral("播放列表"));
    m_listBox->setGeometry(468, 0, 166, 340);
    connect(m_listBox, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { playAt(m_listBox->row(item)); });

    m_position = new QSlider(Qt::Horizontal, this);
    m_position->setObjectName(QStringLiteral("进度滑块"));
    m_position->setGeometry(4, 346, 540, 20);
    connect(m_position, &QSlider::sliderReleased, this, [this] { m_playback->setPosition(m_position->value()); });
    connect(m_position, &QSlider::actionTriggered, this, [this](int) {
        if (!m_position->isSliderDown())
            QTimer::singleShot(0, this, [this] { m_playback->setPosition(m_position->value()); });
    });

    m_time = new QLabel(clockText(0) + QStringLiteral(" / ") + clockText(0), this);
    m_time->setObjectName(QStringLiteral("时间标签"));
    m_time->setGeometry(548, 346, 88, 20);

    m_previous = makeButton(PlayerPictures::Previous, QStringLiteral("上一个"), QRect(4, 372, 24, 24), this);
    m_play = makeButton(PlayerPictures::Play, QStringLiteral("播放"), QRect(30, 372, 24, 24), this);
    m_stop = makeButton(PlayerPictures::Stop, QStringLiteral("停止"), QRect(56, 372, 24, 24), this);
    m_next = makeButton(PlayerPictures::Next, QStringLiteral("下一个"), QRect(82, 372, 24, 24), this);
    connect(m_previous, &QToolButton::clicked, this, &MediaPlayerWindow::playPrevious);
    connect(m_play, &QToolButton::clicked, this, &MediaPlayerWindow::togglePause);
    connect(m_stop, &QToolButton::clicked, this, &MediaPlayerWindow::stop);
    connect(m_next, &QToolButton::clicked, this, &MediaPlayerWindow::playNext);

    auto* volumeLabel = new QLabel(QStringLiteral("音量"), this);
    volumeLabel->setObjectName(QStringLiteral("音量标签"));
    volumeLabel->setGeometry(480, 374, 32, 20);
    m_volume = new QSlider(Qt::Horizontal, this);
    m_volume->setObjectName(QStringLiteral("音量滑块"));
    m_volume->setGeometry(512, 374, 120, 20);
    m_volume->setRange(0, 100);
    m_volume->setValue(m_playback->volume());
    connect(m_volume, &QSlider::valueChanged, m_playback, &MediaPlayback::setVolume);
}

bool MediaPlayerWindow::playGroup(const QString& path, const QString& groupName)
{
    if (!prompter().question(MediaRun::searchQuestion(groupName)))
        return false;
    const Result<qint64> count = m_files.count(path);
    if (!count) {
        prompter().message(count.message(), {}, Prompter::Icon::Warning);
        return false;
    }
    if (count.value() == 0) {
        prompter().message(ViewedFiles::NoFiles);
        return false;
    }
    const Result<QList<ViewedFile>> records = m_files.inGroup(path);
    if (!records) {
        prompter().message(records.message(), {}, Prompter::Icon::Warning);
        return false;
    }
    QList<ViewedFile> toPlay;
    for (const ViewedFile& f : records.value()) {
        // "否" keeps the file: the player tries it, and offers the
        // desktop's program when it cannot.
        if (!ViewedFiles::isMedia(f.type) && prompter().question(MediaRun::skipQuestion(f)))
            continue;
        if (m_files.keptFileMissing(f)) {
            if (!prompter().question(MediaRun::missingQuestion(f)))
                return false;
            continue;
        }
        toPlay << f;
    }
    if (toPlay.isEmpty())
        return false;
    startRun(toPlay);
    return true;
}

bool MediaPlayerWindow::playRecord(qint64 id)
{
    const Result<ViewedFile> found = m_files.record(id);
    if (!found) {
        prompter().message(found.message(), {}, Prompter::Icon::Warning);
        return false;
    }
    const ViewedFile& f = found.value();
    if (!ViewedFiles::isMedia(f.type)) {
        prompter().message(MediaRun::unsupportedMessage(f), {}, Prompter::Icon::Warning);
        return false;
    }
    if (m_files.keptFileMissing(f)) {
        // Either answer ends here: the one file there was is gone.
        prompter().question(MediaRun::missingQuestion(f));
        return false;
    }
    startRun({f});
    return true;
}

void MediaPlayerWindow::showPlayer()
{
    show();
    raise();
}

void MediaPlayerWindow::startRun(const QList<ViewedFile>& files)
{
    m_playback->stop();
    m_list = files;
    m_current = -1;
    m_listBox->clear();
    for (const ViewedFile& f : m_list)
        m_listBox->addItem(f.fullName());
    showPlayer();
    playAt(0);
}

void MediaPlayerWindow::playAt(int index)
{
    if (index < 0 || index >= m_list.size())
        return;
    m_playback->stop();
    m_current = index;
    m_listBox->setCurrentRow(index);
    const Result<QString> written = m_run.extract(m_list[index]);
    if (!written) {
        if (!written.cancelled())
            prompter().message(written.message(), {}, Prompter::Icon::Critical);
        emit itemEnded(index);
        // A folder that cannot be made fails for every file alike.
        if (written.message() != MediaRun::FolderFailed)
            moveOn();
        return;
    }
    m_currentPath = written.value();
    m_playback->play(m_currentPath);
    emit itemStarted(index, m_currentPath);
}

void MediaPlayerWindow::onFailed(MediaPlayback::Failure failure, const QString&)
{
    const int index = m_current;
    if (failure == MediaPlayback::Failure::CannotOpen) {
        if (prompter().question(MediaRun::OpenFailed, MediaRun::OpenFailedTitle) && m_opener)
            m_opener(m_currentPath);
    } else {
        prompter().message(MediaRun::PlayFailed, {}, Prompter::Icon::Warning);
    }
    emit itemEnded(index);
    moveOn();
}

void MediaPlayerWindow::moveOn()
{
    const int following = m_current + 1;
    if (following >= m_list.size())
        return;
    // Not from inside the engine's own signal.
    QTimer::singleShot(0, this, [this, following] {
        if (isVisible() && m_current == following - 1)
            playAt(following);
    });
}

void MediaPlayerWindow::togglePause()
{
    if (m_playback->isPlaying())
        m_playback->pause();
    else if (m_playback->isPaused())
        m_playback->resume();
    else if (m_current >= 0)
        playAt(m_current);
    else
        playAt(0);
}

void MediaPlayerWindow::stop()
{
    m_playback->stop();
}

void MediaPlayerWindow::playPrevious()
{
    if (m_current > 0)
        playAt(m_current - 1);
}

void MediaPlayerWindow::playNext()
{
    if (m_current + 1 < m_list.size())
        playAt(m_current + 1);
}

void MediaPlayerWindow::updateTime()
{
    m_time->setText(clockText(m_playback->position()) + QStringLiteral(" / ") + clockText(m_playback->duration()));
}

void MediaPlayerWindow::closeEvent(QCloseEvent* event)
{
    m_playback->stop();
    // Let the engine let go of the file, then clear the folder.
    m_playback->setVideoOutput(nullptr);
    m_current = -1;
    MediaRun::emptyOrLog(m_store, m_run.folder());
    QWidget::closeEvent(event);
}
