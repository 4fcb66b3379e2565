#include "shell/ui/LoginWindowPictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace LoginWindowPictures {

QPixmap banner()
{
    const QSize size(448, 78);
    QPixmap pm(size);
    QPainter p(&pm);
    QLinearGradient g(0, 0, 0, size.height());
    g.setColorAt(0.0, QColor(0x1F, 0x4E, 0x9C));
    g.setColorAt(1.0, QColor(0x3D, 0x7D, 0xD3));
    p.fillRect(pm.rect(), g);
    // A fine grid, a little lighter towards the right.
    for (int x = 0; x < size.width(); x += 8) {
        p.setPen(QColor(255, 255, 255, 18 + 30 * x / size.width()));
        p.drawLine(x, 0, x, size.height());
    }
    for (int y = 0; y < size.height(); y += 8) {
        p.setPen(QColor(255, 255, 255, 28));
        p.drawLine(0, y, size.width(), y);
    }
    // A soft light band behind the title.
    QLinearGradient band(0, 0, size.width(), 0);
    band.setColorAt(0.0, QColor(255, 255, 255, 0));
    band.setColorAt(0.55, QColor(255, 255, 255, 40));
    band.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.fillRect(QRect(0, 30, size.width(), 28), band);
    p.setPen(QColor(0x16, 0x3B, 0x78));
    p.drawLine(0, size.height() - 1, size.width(), size.height() - 1);
    return pm;
}

namespace {

QPixmap transparent32()
{
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    return pm;
}

void drawPerson(QPainter& p, const QPointF& head, qreal scale, const QColor& body, const QColor& face)
{
    p.setPen(QPen(body.darker(140), 1));
    p.setBrush(body);
    QPainterPath shoulders;
    const qreal w = 11 * scale;
    const qreal top = head.y() + 5.5 * scale;
    shoulders.moveTo(head.x() - w, top + 11 * scale);
    shoulders.cubicTo(head.x() - w, top, head.x() + w, top, head.x() + w, top + 11 * scale);
    shoulders.closeSubpath();
    p.drawPath(shoulders);
    p.setBrush(face);
    p.setPen(QPen(face.darker(150), 1));
    p.drawEllipse(head, 5 * scale, 5.5 * scale);
}

}  // namespace

QPixmap twoPersons()
{
    QPixmap pm = transparent32();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    drawPerson(p, QPointF(20.5, 8.5), 0.85, QColor(0x3A, 0x8F, 0x3E), QColor(0xF6, 0xD2, 0xA8));
    drawPerson(p, QPointF(12, 12.5), 1.0, QColor(0x2F, 0x63, 0xC0), QColor(0xF9, 0xDB, 0xB6));
    return pm;
}

QPixmap padlock()
{
    QPixmap pm = transparent32();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    // Shackle.
    p.setPen(QPen(QColor(0x8A, 0x8F, 0x99), 3.2, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    QPainterPath shackle;
    shackle.moveTo(10, 15);
    shackle.lineTo(10, 10);
    shackle.arcTo(QRectF(10, 3, 12, 13), 180, -180);
    shackle.lineTo(22, 15);
    p.drawPath(shackle);
    // Body.
    QLinearGradient g(0, 14, 0, 30);
    g.setColorAt(0.0, QColor(0xFF, 0xE0, 0x4D));
    g.setColorAt(1.0, QColor(0xE0, 0xA0, 0x10));
    p.setPen(QPen(QColor(0xA8, 0x74, 0x00), 1));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(6.5, 14.5, 19, 15), 2.5, 2.5);
    // Keyhole.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x6B, 0x45, 0x00));
    p.drawEllipse(QPointF(16, 20.5), 2.2, 2.2);
    p.drawRect(QRectF(15.2, 21, 1.6, 5));
    return pm;
}

}  // namespace LoginWindowPictures

LoginBusyPicture::LoginBusyPicture(QWidget* parent) : QWidget(parent)
{
    m_timer.setInterval(60);
    connect(&m_timer, &QTimer::timeout, this, &LoginBusyPicture::advance);
}

void LoginBusyPicture::advance()
{
    m_frame = (m_frame + 1) % FrameCount;
    update();
}

void LoginBusyPicture::showEvent(QShowEvent*)
{
    m_frame = 0;
    m_timer.start();
}

void LoginBusyPicture::hideEvent(QHideEvent*)
{
    m_timer.stop();
}

void LoginBusyPicture::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = rect().adjusted(0, 0, -1, -1);
    p.setPen(QColor(0x2E, 0x7D, 0x32));
    p.setBrush(QColor(0xF1, 0xF8, 0xF1));
    p.drawRect(r);
    // Five blocks that travel across and wrap around.
    const QRect inner = r.adjusted(2, 2, -1, -1);
    const int block = 6;
    const int gap = 2;
    const int step = inner.width() / FrameCount + 1;
    const int lead = inner.left() + m_frame * step * 2 % (inner.width() + 5 * (block + gap));
    p.setClipRect(inner);
    for (int i = 0; i < 5; ++i) {
        const int x = lead - i * (block + gap);
        QColor c(0x43, 0xA0, 0x47);
        c.setAlpha(255 - i * 40);
        p.fillRect(QRect(x, inner.top(), block, inner.height()), c);
    }
}
