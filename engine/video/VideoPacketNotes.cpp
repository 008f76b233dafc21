// What the run notes of each encoded video packet once it is written.
#include "RunTables.h"

void TCustomFFmpeg::NoteVideoPacket(TOutputStream&, const AVPacket&, int64_t) {
    // Nothing is noted yet; the per-frame statistics belong here.
}
