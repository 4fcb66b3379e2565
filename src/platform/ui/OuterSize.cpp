#include "platform/ui/OuterSize.h"

#include <QEvent>
#include <QMargins>
#include <QPointer>
#include <QWidget>
#include <QWindow>

namespace OuterSize {

namespace {

const char* const FilterName = "kvOuterSize";

// The frame the window system puts around a window of this kind, as last
// seen on screen. Windows of one kind share their frame, so a window shown
// later takes the right size at once rather than when the window system
// gets round to telling it its own frame.
struct FrameMemory {
    QMargins normal;
    QMargins tool;
    bool normalKnown = false;
    bool toolKnown = false;
};

FrameMemory& memory()
{
    static FrameMemory m;
    return m;
}

bool isTool(const QWidget* w)
{
    return (w->windowType() & Qt::Tool) == Qt::Tool;
}

bool isFrameless(const QWidget* w)
{
    return w->windowFlags().testFlag(Qt::FramelessWindowHint) || !w->isWindow();
}

class Keeper final : public QObject {
public:
    Keeper(QWidget* window, const QSize& outer, bool fixed)
        : QObject(window), m_window(window), m_outer(outer), m_fixed(fixed)
    {
        setObjectName(QString::fromLatin1(FilterName));
        window->installEventFilter(this);
    }

    void set(const QSize& outer, bool fixed)
    {
        m_outer = outer;
        m_fixed = fixed;
        m_settled = false;
        apply();
    }

    QSize outer() const { return m_outer; }

    void apply()
    {
        QWidget* w = m_window;
        if (!w)
            return;
        const QMargins frame = currentFrame(w);
        const QSize client(qMax(1, m_outer.width() - frame.left() - frame.right()),
                           qMax(1, m_outer.height() - frame.top() - frame.bottom()));
        if (m_fixed) {
            if (w->minimumSize() != client || w->maximumSize() != client)
                w->setFixedSize(client);
        } else if (!m_settled && w->size() != client) {
            w->resize(client);
        }
        // A resizable window only opens at its size: once its own frame is
        // known, the operator's resizing is his.
        if (w->isVisible() && frameKnown(w))
            m_settled = true;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!m_fixed && m_settled)
            return QObject::eventFilter(watched, event);
        if (watched == m_window) {
            switch (event->type()) {
            case QEvent::Show:
            case QEvent::WinIdChange:
                hookWindow();
                apply();
                break;
            case QEvent::Move:
                apply();
                break;
            default:
                break;
            }
        } else if (watched == m_handle) {
            // The window system tells the frame when it has framed the
            // window, which may be well after the window was shown; the
            // native window hears of it first.
            switch (event->type()) {
            case QEvent::Expose:
            case QEvent::Move:
            case QEvent::Resize:
                QMetaObject::invokeMethod(
                    this, [this] { apply(); }, Qt::QueuedConnection);
                break;
            default:
                break;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    // The frame of this window when the window system has told us, else
    // the frame last seen on a window of its kind, else none.
    static QMargins currentFrame(QWidget* w)
    {
        if (isFrameless(w))
            return {};
        FrameMemory& mem = memory();
        if (QWindow* handle = w->windowHandle(); handle && w->isVisible()) {
            const QMargins m = handle->frameMargins();
            if (!m.isNull()) {
                (isTool(w) ? mem.tool : mem.normal) = m;
                (isTool(w) ? mem.toolKnown : mem.normalKnown) = true;
                return m;
            }
        }
        // Before it is shown a window keeps its outer size as its client
        // area; whoever asks its size then gets the designed one.
        if (!w->isVisible())
            return {};
        if (isTool(w))
            return mem.toolKnown ? mem.tool : QMargins();
        return mem.normalKnown ? mem.normal : QMargins();
    }

    static bool frameKnown(QWidget* w)
    {
        QWindow* handle = w->windowHandle();
        return handle && !handle->frameMargins().isNull();
    }

    void hookWindow()
    {
        QWindow* handle = m_window ? m_window->windowHandle() : nullptr;
        if (handle == m_handle)
            return;
        if (m_handle)
            m_handle->removeEventFilter(this);
        m_handle = handle;
        if (m_handle)
            m_handle->installEventFilter(this);
    }

    QPointer<QWidget> m_window;
    QPointer<QWindow> m_handle;
    QSize m_outer;
    bool m_fixed = true;
    bool m_settled = false;
};

Keeper* keeperOf(const QWidget* window)
{
    return window->findChild<Keeper*>(QString::fromLatin1(FilterName), Qt::FindDirectChildrenOnly);
}

void install(QWidget* window, const QSize& outer, bool fixed)
{
    if (!window)
        return;
    if (Keeper* k = keeperOf(window)) {
        k->set(outer, fixed);
        return;
    }
    auto* k = new Keeper(window, outer, fixed);
    k->apply();
}

}  // namespace

void fix(QWidget* window, const QSize& outer)
{
    install(window, outer, true);
}

void resize(QWidget* window, const QSize& outer)
{
    install(window, outer, false);
}

QSize designed(const QWidget* window)
{
    const Keeper* k = window ? keeperOf(window) : nullptr;
    return k ? k->outer() : QSize();
}

}  // namespace OuterSize
