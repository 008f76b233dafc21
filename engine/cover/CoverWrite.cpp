// Writing an output's cover: right after the header as the one packet of its
// picture stream, or, for ASF, added to the header of the finished file.
#include <algorithm>

#include "CoverArt.h"
#include "DiskName.h"
#include "FFLog.h"
#include "Format.h"
#include "OutputMux.h"
#include "TaskTypes.h"

namespace {

// Rewrites the header of the finished ASF file behind `pb` with the picture in
// it. False when the file cannot be edited (a pipe, say: it is written once);
// raises when it could not be rewritten.
bool AddToAsfHeader(AVIOContext* pb, const TCoverPicture& picture, const std::string& name) {
    uint8_t head[30];
    const int got = ReadFileIOAt(pb, 0, head, sizeof head);
    if (got == AVERROR(ENOSYS)) return false;
    uint64_t size = 0;
    for (int i = 7; i >= 0; --i) size = (size << 8) | head[16 + i];
    if (got != static_cast<int>(sizeof head) || size < sizeof head || size > (64u << 20))
        throw FFmpegException("The ASF header is damaged");
    std::vector<uint8_t> header(size);
    if (ReadFileIOAt(pb, 0, header.data(), static_cast<int>(size)) != static_cast<int>(size))
        throw FFmpegException("The ASF header is damaged");
    const int ret = SpliceFileIO(pb, 0, static_cast<int64_t>(size), AsfHeaderWithPicture(header, picture));
    if (ret < 0) throw FFmpegException(Format("%s while writing %s", ErrorCodeText(ret), name));
    return true;
}

} // namespace

void TOutputMux::WriteCover() {
    if (!cover_ || cover_->Carrier != ccPictureStream) return;
    const TCoverPicture& picture = cover_->Picture;
    PacketPtr pkt = MakePacket();
    if (!pkt || ff::av_new_packet(pkt.get(), static_cast<int>(picture.Data.size())) < 0)
        throw FFmpegException("av_mallocz fail");
    std::copy(picture.Data.begin(), picture.Data.end(), pkt->data);
    pkt->stream_index = cover_->StreamIndex;
    pkt->pts = pkt->dts = 0;
    pkt->flags |= AV_PKT_FLAG_KEY;
    // Muxers that write the picture ahead of the audio hold the audio until it came.
    CheckWritten(ff::av_interleaved_write_frame(oc_, pkt.get()), "av_interleaved_write_frame()");
}

void TOutputMux::FinishCover() {
    if (!cover_ || cover_->Carrier != ccAsfHeader || !oc_->pb) return;
    ff::avio_flush(oc_->pb);
    if (!AddToAsfHeader(oc_->pb, cover_->Picture, DiskName(oc_->url)))
        GlobalLogger()->LogFmt(logSender_, llWarning, "The cover picture cannot be added to %s", DiskName(oc_->url));
}
