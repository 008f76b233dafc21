#pragma once
// The picture converter's bitmaps as Qt images.
#include <QImage>

#include "FormatConverter.h"

// Wraps the bitmap's rows where they are, without copying: the image is only
// valid while the bitmap lives unchanged. A null image for a layout Qt cannot
// read as it is (8, 15 and 16 bits per pixel), an empty bitmap, or one whose
// buffer is shorter than its rows claim.
QImage WrapBitmap(const TBitmap& bitmap);
