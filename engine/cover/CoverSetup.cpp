// The covers of a run: chosen once the output streams have their sources and
// set up before the headers are written; each output's muxing side writes its
// own (CoverWrite.cpp).
#include "CoverArt.h"
#include "FFLog.h"
#include "FileSetup.h"
#include "Format.h"
#include "RunTables.h"
#include "StreamList.h"

namespace {

constexpr AVRational PictureTimeBase{1, 90000};

AVStream* FirstAudioStream(AVFormatContext* oc) {
    for (unsigned i = 0; i < oc->nb_streams; ++i)
        if (oc->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) return oc->streams[i];
    return nullptr;
}

// The stream that carries the cover in an output that stores pictures as streams.
int AddPictureStream(AVFormatContext* oc, const AVStream* source, const TCoverPicture& picture) {
    AVStream* st = ff::avformat_new_stream(oc, nullptr);
    if (!st) throw FFmpegException("Could not alloc stream");
    AVCodecParameters* par = st->codecpar;
    if (picture.Codec == source->codecpar->codec_id) {
        if (ff::avcodec_parameters_copy(par, source->codecpar) < 0) throw FFmpegException("av_mallocz fail");
        par->codec_tag = 0;
    } else {
        par->codec_type = AVMEDIA_TYPE_VIDEO;
        par->codec_id = picture.Codec;
        par->width = picture.Width;
        par->height = picture.Height;
    }
    st->time_base = PictureTimeBase;
    st->disposition = AV_DISPOSITION_ATTACHED_PIC;
    // The ID3v2 and FLAC writers take the picture type from "comment", the description from "title".
    ff::av_dict_set(&st->metadata, "comment", "Cover (front)", 0);
    if (!picture.Description.empty()) ff::av_dict_set(&st->metadata, "title", picture.Description.c_str(), 0);
    return st->index;
}

// The input file whose cover output `file` carries: the one its audio comes
// from. -1 for none, and for an output with moving pictures of its own, which
// keeps those only.
int CoverSourceFile(const std::vector<TOutputStream*>& outputs,
                    const std::vector<std::unique_ptr<TInputStream>>& inputs, int file) {
    int source = -1;
    for (const TOutputStream* ost : outputs) {
        if (ost->FileIndex != file) continue;
        // The streams know their kind from the moment they were made.
        const AVMediaType type = OutputTypeOf(*ost, nullptr);
        if (type == AVMEDIA_TYPE_VIDEO) return -1;
        if (type == AVMEDIA_TYPE_AUDIO && source < 0) source = inputs[ost->SourceIndex]->FileIndex;
    }
    return source;
}

} // namespace

void TCustomFFmpeg::AddCovers() {
    TRun& run = *Run_;
    // Joined inputs have a cover each, and explicit maps name every stream there is to be.
    if (JoinMode || !Opt.StreamMaps.empty()) return;
    for (int j = 0; j < OutputFileCount; ++j) {
        AVFormatContext* oc = OutputFiles[j];
        const TCoverCarrier carrier = CoverCarrierOf(oc->oformat);
        if (carrier == ccNone) continue;
        const int source = CoverSourceFile(run.OutputStreams, run.InputStreams, j);
        if (source < 0) continue;
        const int index = CoverStreamIndex(InputFiles[source].get());
        if (index < 0) continue;

        const AVStream* picture = InputFiles[source]->streams[index];
        TOutputCover cover;
        cover.File = j;
        cover.Carrier = carrier;
        cover.Picture = CoverOfStream(picture);
        const char* how = "copied";
        if (!CarrierTakesCodec(carrier, cover.Picture.Codec)) {
            try {
                cover.Picture = CoverAsPng(cover.Picture);
                how = "coded as PNG";
            } catch (const FFmpegException& e) {
                GlobalLogger()->LogFmt(this, llWarning, "The cover picture of %s is left out: %s",
                                       DiskName(InputFiles[source]->url), e.Message());
                continue;
            }
        }
        if (carrier == ccPictureStream) cover.StreamIndex = AddPictureStream(oc, picture, cover.Picture);
        if (carrier == ccVorbisComment) {
            AVStream* audio = FirstAudioStream(oc);
            if (!audio) continue;
            ff::av_dict_set(&audio->metadata, "METADATA_BLOCK_PICTURE",
                            Base64(FlacPictureBlock(cover.Picture)).c_str(), 0);
        }
        GlobalLogger()->LogFmt(this, llInfo, "Cover picture: stream #%d.%d (%s, %dx%d) %s into output #%d, %d bytes",
                               source, index, ff::avcodec_get_name(picture->codecpar->codec_id),
                               cover.Picture.Width, cover.Picture.Height, how, j,
                               static_cast<int64_t>(cover.Picture.Data.size()));
        Run_->MuxOf(j).SetCover(std::move(cover));
    }
}

void TCustomFFmpeg::NoteAudioStreams() {
    StreamNotice.clear();
    const TRun& run = *Run_;
    for (int f = 0; f < InputFileCount; ++f) {
        std::string used;
        int usedCount = 0, leftOut = 0;
        for (const auto& ist : run.InputStreams) {
            if (ist->FileIndex != f || ist->Stream->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) continue;
            if (ist->Unmapped) {
                ++leftOut;
                continue;
            }
            used += Format("%s#%d.%d", used.empty() ? "" : ", ", ist->FileIndex, ist->StreamIndex);
            ++usedCount;
        }
        if (leftOut == 0 || usedCount == 0) continue;
        const std::string text = Format("Converting audio stream%s %s; %d more audio stream%s left out.",
                                        usedCount > 1 ? "s" : "", used, leftOut, leftOut > 1 ? "s" : "");
        GlobalLogger()->Log(this, llInfo, text);
        StreamNotice += (StreamNotice.empty() ? "" : " ") + text;
    }
}
