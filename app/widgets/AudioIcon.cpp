#include "AudioIcon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

// Painted rather than loaded: the program ships no picture files for the list.
QPixmap PaintAudioIcon() {
    QPixmap icon(AudioIconWidth, AudioIconHeight);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient tile(0, 0, 0, AudioIconHeight);
    tile.setColorAt(0, QColor(0x5b, 0x8d, 0xd6));
    tile.setColorAt(1, QColor(0x2c, 0x4f, 0x8c));
    p.setPen(QPen(QColor(0x23, 0x3f, 0x70), 1));
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(0.5, 0.5, AudioIconWidth - 1, AudioIconHeight - 1), 8, 8);

    // Two beamed eighth notes.
    const QColor ink(0xf4, 0xf7, 0xfc);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    const qreal left = 40, right = 72, stemTop = 16, stemBottom = 54;
    for (qreal x : {left, right}) {
        p.save();
        p.translate(x - 6, stemBottom + 1);
        p.rotate(-20);
        p.drawEllipse(QRectF(-9, -6, 18, 12));
        p.restore();
        p.drawRect(QRectF(x + 1, stemTop, 3.5, stemBottom - stemTop));
    }
    QPainterPath beam;
    beam.moveTo(left + 1, stemTop);
    beam.lineTo(right + 4.5, stemTop - 6);
    beam.lineTo(right + 4.5, stemTop + 2);
    beam.lineTo(left + 1, stemTop + 8);
    beam.closeSubpath();
    p.drawPath(beam);
    return icon;
}
