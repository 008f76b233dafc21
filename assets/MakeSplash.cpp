// tembrio-makesplash FILE: draws the splash picture into FILE, a 400 x 250 PNG
// with 8-bit red, green, blue and alpha. The sources keep no artwork: a card
// with rounded, softly fading edges, a sound wave and the application title.
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "globals.h"

namespace {

constexpr int Width = 400;
constexpr int Height = 250;
constexpr int Edge = 10;     // the fading margin around the card
constexpr double Radius = 22;

QPainterPath RoundedCard(double inset) {
    QPainterPath path;
    path.addRoundedRect(QRectF(inset, inset, Width - 2 * inset, Height - 2 * inset), Radius, Radius);
    return path;
}

// A soft halo: rings that grow more transparent outwards.
void DrawHalo(QPainter& p) {
    for (int i = 0; i < Edge; ++i) {
        const int alpha = 6 + 10 * i;
        p.fillPath(RoundedCard(i), QColor(10, 30, 70, alpha));
    }
}

void DrawCard(QPainter& p) {
    QLinearGradient field(0, Edge, Width, Height - Edge);
    field.setColorAt(0, QColor(18, 40, 92));
    field.setColorAt(1, QColor(20, 126, 140));
    p.fillPath(RoundedCard(Edge), field);
    // A lighter rim, half transparent, so the edge reads as glass.
    p.setPen(QPen(QColor(255, 255, 255, 90), 2));
    p.drawPath(RoundedCard(Edge + 1));
}

void DrawWave(QPainter& p) {
    const double mid = Height * 0.64;
    const double left = Edge + 24, right = Width - Edge - 24;
    for (int layer = 0; layer < 3; ++layer) {
        QPainterPath wave;
        const double amplitude = 30.0 - layer * 9;
        for (double x = left; x <= right; x += 1) {
            const double t = (x - left) / (right - left);
            const double y = mid + amplitude * std::sin(std::numbers::pi * t) *
                                       std::sin(t * (9 + layer * 4) * std::numbers::pi);
            if (x == left) wave.moveTo(x, y);
            else wave.lineTo(x, y);
        }
        p.setPen(QPen(QColor(255, 255, 255, 200 - layer * 60), 2.4 - layer * 0.6));
        p.drawPath(wave);
    }
}

void DrawTitle(QPainter& p) {
    QFont font("DejaVu Sans");
    font.setPixelSize(24);
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(255, 255, 255));
    p.drawText(QRectF(Edge, 38, Width - 2 * Edge, 40), Qt::AlignHCenter | Qt::AlignVCenter,
               QString::fromUtf8(ApplicationTitleText));
    font.setPixelSize(13);
    font.setBold(false);
    p.setFont(font);
    p.setPen(QColor(255, 214, 120));
    p.drawText(QRectF(Edge, 76, Width - 2 * Edge, 22), Qt::AlignHCenter | Qt::AlignVCenter,
               QStringLiteral("WAV  MP3  WMA  OGG  AAC  M4A  FLAC  MP2"));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tembrio-makesplash FILE\n");
        return 2;
    }
    // Text needs a GUI application; a build machine may have no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QImage picture(Width, Height, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    {
        QPainter p(&picture);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        DrawHalo(p);
        DrawCard(p);
        DrawWave(p);
        DrawTitle(p);
    }
    if (!picture.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "tembrio-makesplash: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
