#pragma once
// Turns one media file into a row of page 1's list: probes it, takes its
// picture and writes the row's texts.
#include <QFont>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <cstdint>

#include "FileListModel.h"

class TFFDecoder;

// How rows look: what they are measured and drawn with.
struct TFileRowLook {
    QPixmap AudioIcon;     // the picture of files without video
    QFont NameFont;        // the font of the file-name line
    int NameWidth = 0;     // pixels the file-name line may take
    QSize PictureArea;     // pixels a picture may take
    qreal DevicePixelRatio = 1;
};

// "hh:mm:ss.zzz" of microseconds, or the unknown-duration text for -1 (and
// any other negative value, which is no duration either).
QString DurationText(int64_t duration);
// "N Kbps" for a known bit rate (bits per second, at least 1), else the unknown text.
QString AudioBitRateText(int32_t bitRate);

// Probes `fileName` and fills `row`. False when the probe cannot open the
// file; the probe's LastErrMsg then says why. The probe is closed again in
// every case. Raises what the probe raises.
bool BuildFileRow(TFFDecoder& decoder, const QString& fileName, const TFileRowLook& look, TFileRow& row);
