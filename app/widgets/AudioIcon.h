#pragma once
// The fixed picture of files without video: a pair of notes on a tile,
// 118 × 78 pixels.
#include <QPixmap>

constexpr int AudioIconWidth = 118;
constexpr int AudioIconHeight = 78;

QPixmap PaintAudioIcon();
