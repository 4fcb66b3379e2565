#include "archive/ui/PlayerPictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace PlayerPictures {

namespace {

// A triangle pointing right (or left) inside the rectangle x, y, w, h.
QPolygonF triangle(qreal x, qreal y, qreal w, qreal h, bool right)
{
    if (right)
        return QPolygonF({QPointF(x, y), QPointF(x + w, y + h / 2), QPointF(x, y + h)});
    return QPolygonF({QPointF(x + w, y), QPointF(x, y + h / 2), QPointF(x + w, y + h)});
}

}  // namespace

QPixmap picture(Picture which)
{
    QPixmap pm(Width, Height);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, true);
    const QColor ink(0x1f, 0x5f, 0xa8);
    const QColor edge(0x12, 0x3a, 0x68);
    p.setPen(QPen(edge, 0.8));
    p.setBrush(ink);
    const qreal top = 2.5, h = 10;
    switch (which) {
    case Play:
        p.setBrush(QColor(0x2e, 0x8b, 0x3a));
        p.setPen(QPen(QColor(0x1b, 0x55, 0x23), 0.8));
        p.drawPolygon(triangle(4.5, top, 8, h, true));
        break;
    case Pause:
        p.drawRect(QRectF(4.5, top, 2.5, h));
        p.drawRect(QRectF(9.0, top, 2.5, h));
        break;
    case Stop:
        p.setBrush(QColor(0xb8, 0x32, 0x2a));
        p.setPen(QPen(QColor(0x6e, 0x1c, 0x17), 0.8));
        p.drawRect(QRectF(3.5, top + 0.5, 9, 9));
        break;
    case First:
        p.drawRect(QRectF(2.5, top, 2, h));
        p.drawPolygon(triangle(5.0, top, 4.5, h, false));
        p.drawPolygon(triangle(9.5, top, 4.5, h, false));
        break;
    case Previous:
        p.drawPolygon(triangle(4.5, top, 6.5, h, false));
        break;
    case Next:
        p.drawPolygon(triangle(5.0, top, 6.5, h, true));
        break;
    case Last:
        p.drawPolygon(triangle(2.0, top, 4.5, h, true));
        p.drawPolygon(triangle(6.5, top, 4.5, h, true));
        p.drawRect(QRectF(11.5, top, 2, h));
        break;
    case Eject:
        p.drawPolygon(QPolygonF({QPointF(8, 2.5), QPointF(13.5, 8), QPointF(2.5, 8)}));
        p.drawRect(QRectF(2.5, 10, 11, 2.5));
        break;
    case Count:
        break;
    }
    return pm;
}

QList<QPixmap> all()
{
    QList<QPixmap> list;
    for (int i = 0; i < Count; ++i)
        list << picture(Picture(i));
    return list;
}

}  // namespace PlayerPictures
