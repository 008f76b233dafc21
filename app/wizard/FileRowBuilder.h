#pragma once
// Turns one media file into a row of page 1's list, in two steps: probing it,
// taking its picture and writing the row's texts, which any thread may do with
// a probe of its own; and making the row, whose pixmap only the main thread
// may make.
#include <QFont>
#include <QImage>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <array>
#include <cstdint>
#include <string>

#include "FileListModel.h"

class TFFDecoder;

// How rows look: what they are measured and drawn with.
struct TFileRowLook {
    QPixmap AudioIcon;     // the picture of files without video
    QFont NameFont;        // the font of the file-name line
    int NameWidth = 0;     // pixels the file-name line may take
    QSize PictureArea;     // pixels a picture may take
    qreal DevicePixelRatio = 1;

    // The area in device pixels, which a probed picture is scaled to fit.
    QSize DevicePictureArea() const { return PictureArea * DevicePixelRatio; }
};

// What probing one file gives, free of pixmaps so that any thread can make it.
struct TProbedRow {
    bool Opened = false;
    std::string Error;     // why the probe could not open the file
    bool HasVideo = false;
    QImage Picture;        // of a video; null when none could be decoded
    // Every text column but the shortened name, which is measured on the main
    // thread.
    std::array<QString, FileListColumnCount> Cells;
    QString Root;          // as TFileRow::Root
};

// "hh:mm:ss.zzz" of microseconds, or the unknown-duration text for -1 (and
// any other negative value, which is no duration either).
QString DurationText(int64_t duration);
// "N Kbps" for a known bit rate (bits per second, at least 1), else the unknown text.
QString AudioBitRateText(int32_t bitRate);

// Probes `fileName` and takes a picture from the middle of a video, scaled to
// fit `pictureArea` (device pixels). Not Opened when the probe cannot open the
// file (Error then holds the probe's LastErrMsg) or finds neither an audio
// nor a video stream in it (Error says so). The probe is closed again in
// every case. Raises what the probe raises.
TProbedRow ProbeFileRow(TFFDecoder& decoder, const QString& fileName, const QSize& pictureArea);

// The list row of an opened file. Main thread only.
TFileRow MakeFileRow(TProbedRow probed, const TFileRowLook& look);
