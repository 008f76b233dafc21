#include "FileRowBuilder.h"

#include <QFontMetrics>
#include <QImage>
#include <set>
#include <utility>

#include "BitmapImage.h"
#include "EmbeddedTracks.h"
#include "FFDecode.h"
#include "FileNames.h"
#include "MediaIO.h"
#include "MinimizeName.h"
#include "SourceTrack.h"
#include "UtilFuncs.h"

namespace {

QString Text(const std::string& s) { return QString::fromLocal8Bit(s.c_str()); }

// The picture as it is meant to be seen: anamorphic video gets its display
// proportions back before it is fitted into the area.
QSize ShownSize(const QSize& coded, float aspectRatio, const QSize& area) {
    QSize shown = coded;
    if (aspectRatio > 0 && coded.height() > 0) shown.setWidth(qRound(coded.height() * aspectRatio));
    if (shown.isEmpty()) return shown;
    return shown.scaled(area, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

// A picture from the middle of the file, fitted into `area`; null when none
// can be decoded.
QImage VideoPicture(TFFDecoder& decoder, float aspectRatio, const QSize& area) {
    TFileStreamInfo info;
    decoder.GetFileStreamInfo(info);
    // The cover of an audio file (an album image's) comes once, before
    // everything else: a seek would pass it.
    const AVFormatContext* context = decoder.FormatContext();
    const int stream = decoder.FirstVideoStream();
    const bool cover = context && stream >= 0 && (context->streams[stream]->disposition & AV_DISPOSITION_ATTACHED_PIC);
    // A still picture cannot seek and says so in the log; decoding still works.
    if (!cover) decoder.Seek(AVSEEK_FLAG_BACKWARD, info.Duration > 0 ? info.Duration / 2 : 0);
    if (!decoder.DecodeVideoFrame(decoder.FirstVideoStream())) return {};
    TBitmap bitmap;
    if (!decoder.CopyToBitmap(bitmap)) return {};
    // Wraps the bitmap's rows where they are; scaling makes the one copy kept.
    const QImage frame = WrapBitmap(bitmap);
    if (frame.isNull()) return {};
    const QSize size = ShownSize(frame.size(), aspectRatio, area);
    return frame.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QString Labelled(const char* label, const QString& value) { return QString::fromUtf8(label) + value; }

// A probe number, or nothing when the probe does not know it.
QString Number(int64_t value, const char* unit = "") {
    return value < 0 ? QString() : QString::number(value) + QString::fromUtf8(unit);
}

QString FrameRateText(const TVideoStreamInfo& video) {
    if (video.FrameRateNum <= 0 || video.FrameRateDen <= 0) return {};
    return QString::number(static_cast<double>(video.FrameRateNum) / video.FrameRateDen, 'f', 2) + " fps";
}

} // namespace

QString DurationText(int64_t duration) {
    if (duration < 0) return QStringLiteral("Duration is not preseted");
    return Text(FormatDuration(duration));
}

QString AudioBitRateText(int32_t bitRate) {
    if (bitRate < 1) return QStringLiteral("Bit rate is not preseted");
    return QString::asprintf("%d Kbps", bitRate / 1000);
}

TProbedRow ProbeFileRow(TFFDecoder& decoder, const QString& fileName, const QSize& pictureArea,
                        bool lookForTracks) {
    TProbedRow probed;
    // Taken before the file is read: a change while it is read shows later.
    const TSourceIdentity identity = SourceIdentityOf(NameBytes(fileName));
    if (!decoder.LoadFile(WideName(fileName), "")) {
        probed.Error = decoder.LastErrMsg();
        return probed;
    }
    TCloseFileGuard guard(decoder);
    if (PcmSearchedPlain(decoder.FormatContext())) probed.PlainPcmAt = identity;
    // A file with nothing to hear or see (text that some format's probe
    // takes) is refused now, with the other files that cannot be added,
    // rather than failing once its turn in the batch comes.
    if (decoder.FirstAudioStream() < 0 && decoder.FirstVideoStream() < 0) {
        probed.Error = NameBytes(fileName) + ": holds no audio or video stream";
        return probed;
    }
    probed.Opened = true;

    // A missing stream leaves the record's defaults; the probe logs it.
    TFileStreamInfo file;
    decoder.GetFileStreamInfo(file);
    TVideoStreamInfo video;
    decoder.GetVideoStreamInfo(decoder.FirstVideoStream(), video);
    TAudioStreamInfo audio;
    decoder.GetAudioStreamInfo(decoder.FirstAudioStream(), audio);

    probed.HasVideo = decoder.FirstVideoStream() >= 0;
    if (probed.HasVideo) probed.Picture = VideoPicture(decoder, video.AspectRatio, pictureArea);

    auto& c = probed.Cells;
    c[NxTextColumnDuration] = Labelled("Duration: ", DurationText(file.Duration));
    c[NxTextColumnBitrate] = Labelled("Audio Bit rate: ", AudioBitRateText(audio.BitRate));
    c[NxTextColumnDimension] = Labelled("Audio Encoder: ", Text(audio.CodecDesc));
    c[NxTextColumnFileFullName] = fileName;
    c[NxTextColumnFileSize] = Labelled("File Size: ", Number(decoder.FileSize(), " bytes"));
    c[NxTextColumnVideoEncoder] = Labelled("Video Encoder: ", Text(video.CodecDesc));
    c[NxTextColumnAudioChannels] = Labelled("Audio Channels: ", Number(audio.Channels));
    c[NxTextColumnAudioSampleRate] = Labelled("Audio Sample Rate: ", Number(audio.SampleRate, " Hz"));
    c[NxTextColumnAudioBitrate] = Labelled("Audio Bit Rate: ", Number(audio.BitRate, " bps"));
    c[NxTextColumnAudioEncoder] = Labelled("Audio Codec: ", Text(audio.CodecDesc));
    c[NxTextColumnFrameRate] = Labelled("Frame Rate: ", FrameRateText(video));
    c[NxTextColumnRealDuration] = file.Duration < 0 ? QStringLiteral("0") : QString::number(file.Duration);

    // A sheet it holds makes it its tracks whatever the switch says; its
    // chapters are kept for the switch to decide, now and when it changes.
    if (!lookForTracks) return probed;
    const std::string path = NameBytes(fileName);
    probed.SheetTracks = EmbeddedTracks(path, decoder, false, &probed.TracksProblem);
    if (probed.SheetTracks.empty() && !decoder.Chapters().empty())
        probed.Chapters = EmbeddedTracks(path, decoder, true);
    return probed;
}

TFileRow MakeFileRow(TProbedRow probed, const TFileRowLook& look) {
    TFileRow row;
    if (!probed.HasVideo) {
        row.Picture = look.AudioIcon;
    } else if (!probed.Picture.isNull()) {
        row.Picture = QPixmap::fromImage(std::move(probed.Picture));
        row.Picture.setDevicePixelRatio(look.DevicePixelRatio);
    }
    row.Cells = std::move(probed.Cells);
    const QString& fileName = row.Cells[NxTextColumnFileFullName];
    row.Cells[NxTextColumnFileMinName] =
        MinimizeName(DisplayName(fileName), QFontMetrics(look.NameFont), look.NameWidth);
    row.Root = std::move(probed.Root);
    row.PlainPcmAt = probed.PlainPcmAt;
    return row;
}

std::vector<TFileRow> MakeFileRows(TProbedRow probed, const TFileRowLook& look, bool splitChapters) {
    std::vector<TSourceTrack> tracks = std::move(probed.SheetTracks);
    std::vector<TSourceTrack> chapters = std::move(probed.Chapters);
    TFileRow whole = MakeFileRow(std::move(probed), look);
    std::vector<TFileRow> rows;
    if (!tracks.empty()) {
        for (const TSourceTrack& t : tracks) rows.push_back(MakeTrackRow(whole, t));
    } else if (chapters.empty()) {
        rows.push_back(std::move(whole));
    } else {
        auto file = std::make_shared<TChapteredFile>();
        file->Whole = std::move(whole);
        file->Chapters = std::move(chapters);
        TFileRow shown = file->Whole;
        shown.Chaptered = file;
        rows = RegroupChapterRows({std::move(shown)}, splitChapters);
    }
    return rows;
}

TFileRow MakeTrackRow(const TFileRow& file, const TSourceTrack& track) {
    TFileRow row = file;
    const int64_t fileDuration = file.Cells[NxTextColumnRealDuration].toLongLong();
    const int64_t duration = TrackDuration(track, fileDuration > 0 ? fileDuration : -1);
    auto& c = row.Cells;
    c[NxTextColumnFileMinName] = QString::fromUtf8(TrackOutputStem(track).c_str());
    c[NxTextColumnDuration] = Labelled("Duration: ", DurationText(duration));
    c[NxTextColumnRealDuration] = duration < 0 ? QStringLiteral("0") : QString::number(duration);
    row.Track = track;
    return row;
}

std::vector<TFileRow> RegroupChapterRows(const std::vector<TFileRow>& rows, bool split) {
    std::vector<TFileRow> regrouped;
    regrouped.reserve(rows.size());
    std::set<const TChapteredFile*> joined;
    for (const TFileRow& row : rows) {
        const std::shared_ptr<const TChapteredFile>& file = row.Chaptered;
        if (!file || split == row.Track.has_value()) {
            // Already as asked: a chapter's row moved or left on its own stays so.
            regrouped.push_back(row);
        } else if (split) {
            for (const TSourceTrack& chapter : file->Chapters) {
                TFileRow chapterRow = MakeTrackRow(file->Whole, chapter);
                chapterRow.Chaptered = file;
                regrouped.push_back(std::move(chapterRow));
            }
        } else if (joined.insert(file.get()).second) {
            TFileRow whole = file->Whole;
            whole.Chaptered = file;
            regrouped.push_back(std::move(whole));
        }
    }
    return regrouped;
}
