#include "settings/ui/OperatorPictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace OperatorPictures {

namespace {

struct Colours {
    QColor coat;
    QColor shirt;
    QColor face;
    QColor hair;
};

QPixmap person(const Colours& c)
{
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);

    // Body: rounded shoulders down to the bottom edge.
    QPainterPath body;
    body.moveTo(4, 31);
    body.cubicTo(4, 22, 9, 18.5, 16, 18.5);
    body.cubicTo(23, 18.5, 28, 22, 28, 31);
    body.closeSubpath();
    QLinearGradient coat(0, 18, 0, 31);
    coat.setColorAt(0, c.coat.lighter(125));
    coat.setColorAt(1, c.coat.darker(115));
    p.setPen(QPen(c.coat.darker(160), 1));
    p.setBrush(coat);
    p.drawPath(body);

    // Collar: a light triangle with the neck's opening.
    QPainterPath collar;
    collar.moveTo(12.5, 19);
    collar.lineTo(16, 25);
    collar.lineTo(19.5, 19);
    collar.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(c.shirt);
    p.drawPath(collar);

    // Head with a soft light from the upper left.
    QRadialGradient face(QPointF(14, 9), 9);
    face.setColorAt(0, c.face.lighter(112));
    face.setColorAt(1, c.face.darker(108));
    p.setPen(QPen(c.face.darker(150), 1));
    p.setBrush(face);
    p.drawEllipse(QPointF(16, 10.5), 6.5, 7);

    // Hair over the top of the head.
    QPainterPath hair;
    hair.moveTo(9.4, 10);
    hair.cubicTo(9, 3, 23, 3, 22.6, 10);
    hair.cubicTo(20, 6.5, 13, 6.5, 9.4, 10);
    p.setPen(Qt::NoPen);
    p.setBrush(c.hair);
    p.drawPath(hair);
    return pm;
}

}  // namespace

QPixmap usable()
{
    return person(
        {QColor(0x2F, 0x63, 0xC0), QColor(0xF2, 0xF2, 0xF2), QColor(0xF6, 0xD0, 0xA4), QColor(0x4A, 0x32, 0x1E)});
}

QPixmap stopped()
{
    return person(
        {QColor(0x80, 0x80, 0x80), QColor(0xE4, 0xE4, 0xE4), QColor(0xC8, 0xC8, 0xC8), QColor(0x5A, 0x5A, 0x5A)});
}

}
