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
#include <vector>

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
    // The tracks of its sheet (the one it was added by, else the one it
    // holds): it is added as these.
    std::vector<TSourceTrack> SheetTracks;
    // Its chapters: it is added as these while chapters are split.
    std::vector<TSourceTrack> Chapters;
    // Why the sheet it holds could not be read (it is added whole); "" when
    // nothing went wrong.
    std::string TracksProblem;
    TSourceIdentity PlainPcmAt;  // as TFileRow::PlainPcmAt
};

// "hh:mm:ss.zzz" of microseconds, or the unknown-duration text for -1 (and
// any other negative value, which is no duration either).
QString DurationText(int64_t duration);
// "N Kbps" for a known bit rate (bits per second, at least 1), else the unknown text.
QString AudioBitRateText(int32_t bitRate);

// Probes `fileName`, takes a picture from the middle of a video (or its
// cover), scaled to fit `pictureArea` (device pixels), and, with
// `lookForTracks`, the tracks it holds (EmbeddedTracks). Not Opened when the probe cannot open the file
// (Error then holds the probe's LastErrMsg) or finds neither an audio nor a
// video stream in it (Error says so). The probe is closed again in
// every case. Raises what the probe raises.
TProbedRow ProbeFileRow(TFFDecoder& decoder, const QString& fileName, const QSize& pictureArea,
                        bool lookForTracks = true);

// The list row of an opened file, whole. Main thread only.
TFileRow MakeFileRow(TProbedRow probed, const TFileRowLook& look);

// The list rows of an opened file: one per track of its sheet; else one per
// chapter when `splitChapters` and it has chapters; else the whole file's.
// Main thread only.
std::vector<TFileRow> MakeFileRows(TProbedRow probed, const TFileRowLook& look, bool splitChapters);

// The row of a track of the file whose whole row is `file`: its caption
// "NN - Title" (TrackOutputStem, the name its output gets) and its length.
TFileRow MakeTrackRow(const TFileRow& file, const TSourceTrack& track);

// The rows again after "Split by chapters" became `split`: a file with
// chapters is its chapters' rows, in its place, or its whole row in place of
// the first of its chapters' rows there are. The other rows stay as they are.
std::vector<TFileRow> RegroupChapterRows(const std::vector<TFileRow>& rows, bool split);
