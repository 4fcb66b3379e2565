#include "archive/ui/PictureBrowserWindow.h"

#include "archive/ui/PlayerPictures.h"
#include "platform/Prompter.h"
#include "platform/ui/OuterSize.h"
#include "store/DataStore.h"

#include <QAction>
#include <QBuffer>
#include <QCloseEvent>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMovie>
#include <QRadioButton>
#include <QTimer>
#include <QToolBar>

namespace {

constexpr QSize BrowserSize(560, 471);
constexpr QSize ListSize(151, 472);
constexpr QRect PictureBox(0, 24, 550, 416);

QToolBar* makeBar(const QString& name, const QRect& place, QWidget* parent)
{
    auto* bar = new QToolBar(parent);
    bar->setObjectName(name);
    bar->setIconSize(QSize(PlayerPictures::Width, PlayerPictures::Height));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setContentsMargins(0, 0, 0, 0);
    bar->setStyleSheet(QStringLiteral("QToolBar { border: 0px; padding: 0px; spacing: 0px; }"));
    bar->setGeometry(place);
    return bar;
}

QAction* addButton(QToolBar* bar, PlayerPictures::Picture picture, const QString& tip)
{
    QAction* a = bar->addAction(QIcon(PlayerPictures::picture(picture)), tip);
    a->setToolTip(tip);
    a->setObjectName(tip);
    return a;
}

}  // namespace

PictureListWindow::PictureListWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("图片列表"));
    setObjectName(QStringLiteral("图片列表"));
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("超级列表框1"));
    m_list->setGeometry(0, 0, 144, 448);
    m_list->setUniformItemSizes(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    OuterSize::fix(this, ListSize);
}

PictureBrowserWindow::PictureBrowserWindow(DataStore& store, const StoreFolder& folder, const ProtectedGroups& open,
                                           QWidget* parent)
    : QWidget(parent, Qt::Window), m_files(store, folder, open)
{
    setWindowTitle(QStringLiteral("图片浏览器"));
    setObjectName(QStringLiteral("图片浏览器"));
    m_decoder = new PictureDecoder(this);
    m_decoder->setArchive(store.location());
    connect(m_decoder, &PictureDecoder::decoded, this, &PictureBrowserWindow::onDecoded);
    build();
    OuterSize::fix(this, BrowserSize);

    m_listWindow = new PictureListWindow(this);
    connect(m_listWindow->list(), &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && row != m_cursor.index())
            showIndex(row);
    });
    updateButtons();
}

PictureBrowserWindow::~PictureBrowserWindow()
{
    stopMovie();
}

void PictureBrowserWindow::build()
{
    m_pictureBar = makeBar(QStringLiteral("图片工具条"), QRect(0, 0, 160, 24), this);
    m_first = addButton(m_pictureBar, PlayerPictures::First, QStringLiteral("第一张"));
    m_previous = addButton(m_pictureBar, PlayerPictures::Previous, QStringLiteral("上一张"));
    m_next = addButton(m_pictureBar, PlayerPictures::Next, QStringLiteral("下一张"));
    m_last = addButton(m_pictureBar, PlayerPictures::Last, QStringLiteral("末一张"));
    connect(m_first, &QAction::triggered, this, &PictureBrowserWindow::first);
    connect(m_previous, &QAction::triggered, this, &PictureBrowserWindow::previous);
    connect(m_next, &QAction::triggered, this, &PictureBrowserWindow::next);
    connect(m_last, &QAction::triggered, this, &PictureBrowserWindow::last);

    m_playBar = makeBar(QStringLiteral("播放工具条"), QRect(176, 0, 24, 24), this);
    m_slide = addButton(m_playBar, PlayerPictures::Play, QStringLiteral("自动播放"));
    m_slide->setCheckable(true);
    connect(m_slide, &QAction::toggled, this, &PictureBrowserWindow::setSliding);

    auto* label = new QLabel(QStringLiteral("间隔(毫秒)"), this);
    label->setObjectName(QStringLiteral("标签1"));
    label->setGeometry(216, 0, 64, 24);

    m_interval = new QLineEdit(QString::number(DefaultInterval), this);
    m_interval->setObjectName(QStringLiteral("编辑框1"));
    m_interval->setGeometry(280, 2, 40, 20);
    m_interval->setValidator(new QIntValidator(1, 24 * 3600 * 1000, m_interval));

    m_forward = new QRadioButton(QStringLiteral("顺序"), this);
    m_forward->setObjectName(QStringLiteral("单选框1"));
    m_forward->setGeometry(328, 0, 48, 24);
    m_forward->setChecked(true);
    m_backward = new QRadioButton(QStringLiteral("逆序"), this);
    m_backward->setObjectName(QStringLiteral("单选框2"));
    m_backward->setGeometry(376, 0, 48, 24);
    m_random = new QRadioButton(QStringLiteral("随机"), this);
    m_random->setObjectName(QStringLiteral("单选框3"));
    m_random->setGeometry(424, 0, 48, 24);

    m_mediaBar = makeBar(QStringLiteral("媒体工具条"), QRect(504, 0, 24, 24), this);
    m_media = addButton(m_mediaBar, PlayerPictures::Eject, QStringLiteral("媒体播放器"));
    connect(m_media, &QAction::triggered, this, &PictureBrowserWindow::mediaPlayerRequested);

    m_picture = new QLabel(this);
    m_picture->setObjectName(QStringLiteral("图片框1"));
    m_picture->setGeometry(PictureBox);
    m_picture->setAlignment(Qt::AlignCenter);
    m_picture->setFrameShape(QFrame::StyledPanel);

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("时钟1"));
    connect(m_timer, &QTimer::timeout, this, &PictureBrowserWindow::slideStep);
}

void PictureBrowserWindow::setRandom(PictureCursor::Random random)
{
    const int count = m_cursor.count();
    const int index = m_cursor.index();
    m_cursor = PictureCursor(std::move(random));
    m_cursor.reset(count);
    m_cursor.moveTo(index);
}

bool PictureBrowserWindow::browseGroup(const QString& path)
{
    const Result<qint64> count = m_files.count(path);
    if (!count) {
        prompter().message(count.message(), {}, Prompter::Icon::Warning);
        return false;
    }
    if (count.value() == 0) {
        prompter().message(ViewedFiles::NoFiles, {}, Prompter::Icon::Information);
        return false;
    }
    const Result<QList<ViewedFile>> pictures = m_files.inGroup(path, ViewedFiles::pictureTypes());
    if (!pictures) {
        prompter().message(pictures.message(), {}, Prompter::Icon::Warning);
        return false;
    }
    setList(pictures.value(), path);
    showWindows();
    showIndex(0);
    return true;
}

bool PictureBrowserWindow::browseRecord(qint64 id)
{
    const Result<ViewedFile> found = m_files.record(id);
    if (!found) {
        prompter().message(found.message(), {}, Prompter::Icon::Warning);
        return false;
    }
    const ViewedFile& f = found.value();
    if (!ViewedFiles::isPicture(f.type)) {
        prompter().message(f.name + QStringLiteral(" 不支持的文件格式!"), {}, Prompter::Icon::Warning);
        return false;
    }
    const bool haveList = isVisible() && !m_pictures.isEmpty();
    if (!haveList)
        setList({f}, f.group);
    else if (f.group != m_listGroup && !prompter().question(KeepListQuestion))
        setList({f}, f.group);
    else
        appendPicture(f);
    int index = 0;
    for (int i = 0; i < m_pictures.size(); ++i)
        if (m_pictures[i].id == f.id)
            index = i;
    showWindows();
    showIndex(index);
    return true;
}

void PictureBrowserWindow::setList(const QList<ViewedFile>& pictures, const QString& group)
{
    setSliding(false);
    m_pictures = pictures;
    m_listGroup = group;
    m_cursor.reset(int(m_pictures.size()));
    QListWidget* list = m_listWindow->list();
    const QSignalBlocker block(list);
    list->clear();
    for (const ViewedFile& f : m_pictures)
        list->addItem(f.fullName());
    m_wanted = -1;
    m_shown = -1;
    stopMovie();
    m_picture->clear();
    updateButtons();
}

void PictureBrowserWindow::appendPicture(const ViewedFile& f)
{
    for (const ViewedFile& p : m_pictures)
        if (p.id == f.id)
            return;
    m_pictures << f;
    const int index = m_cursor.index();
    m_cursor.reset(int(m_pictures.size()));
    m_cursor.moveTo(index);
    const QSignalBlocker block(m_listWindow->list());
    m_listWindow->list()->addItem(f.fullName());
}

void PictureBrowserWindow::showWindows()
{
    show();
    raise();
    m_listWindow->show();
    placeListWindow();
}

void PictureBrowserWindow::placeListWindow()
{
    if (!m_listWindow)
        return;
    // Beside the browser, on its right.
    const QRect outer = frameGeometry();
    m_listWindow->move(outer.right() + 1, outer.top());
}

void PictureBrowserWindow::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    placeListWindow();
}

void PictureBrowserWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    placeListWindow();
}

void PictureBrowserWindow::closeEvent(QCloseEvent* event)
{
    setSliding(false);
    stopMovie();
    if (m_listWindow)
        m_listWindow->hide();
    QWidget::closeEvent(event);
}

void PictureBrowserWindow::first()
{
    if (m_cursor.first())
        showIndex(m_cursor.index());
}

void PictureBrowserWindow::previous()
{
    if (m_cursor.previous())
        showIndex(m_cursor.index());
}

void PictureBrowserWindow::next()
{
    if (m_cursor.next())
        showIndex(m_cursor.index());
}

void PictureBrowserWindow::last()
{
    if (m_cursor.last())
        showIndex(m_cursor.index());
}

void PictureBrowserWindow::showIndex(int index)
{
    if (!m_cursor.moveTo(index)) {
        updateButtons();
        return;
    }
    {
        QListWidget* list = m_listWindow->list();
        const QSignalBlocker block(list);
        list->setCurrentRow(index);
    }
    updateButtons();
    m_wanted = index;
    const ViewedFile& f = m_pictures[index];
    if (!f.keptPath.isEmpty()) {
        m_decoder->request({}, m_files.keptFile(f), PictureBox.size());
        return;
    }
    // Held content is read and decoded by the decoder's job on a
    // connection of its own.
    m_decoder->requestHeld(f.id, PictureBox.size());
}

void PictureBrowserWindow::onDecoded(int ticket, const PictureDecoder::Picture& picture)
{
    if (ticket != m_decoder->latest())
        return;
    stopMovie();
    if (picture.animated) {
        m_movieBytes = picture.bytes;
        m_movieBuffer = new QBuffer(&m_movieBytes, this);
        m_movieBuffer->open(QIODevice::ReadOnly);
        m_movie = new QMovie(m_movieBuffer, QByteArray(), this);
        m_movie->setScaledSize(picture.image.size());
        m_picture->setMovie(m_movie);
        m_movie->start();
    } else if (picture.image.isNull()) {
        m_picture->clear();
        m_picture->setToolTip(picture.error);
    } else {
        m_picture->setPixmap(QPixmap::fromImage(picture.image));
        m_picture->setToolTip(QString());
    }
    m_shown = m_wanted;
    emit pictureShown(m_shown);
}

void PictureBrowserWindow::stopMovie()
{
    if (m_movie) {
        m_movie->stop();
        m_picture->setMovie(nullptr);
        delete m_movie;
        m_movie = nullptr;
    }
    delete m_movieBuffer;
    m_movieBuffer = nullptr;
    m_movieBytes.clear();
}

QPixmap PictureBrowserWindow::shownPicture() const
{
    if (m_movie)
        return m_movie->currentPixmap();
    return m_picture->pixmap();
}

void PictureBrowserWindow::updateButtons()
{
    m_first->setEnabled(!m_cursor.atFirst());
    m_previous->setEnabled(!m_cursor.atFirst());
    m_next->setEnabled(m_cursor.count() > 0 && !m_cursor.atLast());
    m_last->setEnabled(m_cursor.count() > 0 && !m_cursor.atLast());
}

int PictureBrowserWindow::interval()
{
    bool ok = false;
    int ms = m_interval->text().trimmed().toInt(&ok);
    if (!ok || ms <= 0) {
        ms = DefaultInterval;
        m_interval->setText(QString::number(ms));
    }
    return qMax(ms, ShortestInterval);
}

bool PictureBrowserWindow::isSliding() const
{
    return m_timer->isActive();
}

PictureCursor::Order PictureBrowserWindow::order() const
{
    if (m_backward->isChecked())
        return PictureCursor::Order::Backward;
    if (m_random->isChecked())
        return PictureCursor::Order::Random;
    return PictureCursor::Order::Forward;
}

void PictureBrowserWindow::setSliding(bool on)
{
    if (on && m_pictures.isEmpty())
        on = false;
    if (on)
        m_timer->start(interval());
    else
        m_timer->stop();
    const QSignalBlocker block(m_slide);
    m_slide->setChecked(on);
    m_slide->setIcon(QIcon(PlayerPictures::picture(on ? PlayerPictures::Pause : PlayerPictures::Play)));
}

void PictureBrowserWindow::slideStep()
{
    if (m_cursor.step(order()))
        showIndex(m_cursor.index());
}
