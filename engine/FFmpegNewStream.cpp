// Adding a stream to an already opened output ("newvideo", "newaudio",
// "newsubtitle").
#include "FFmpeg.h"

void TCustomFFmpeg::NewStreamOfKind(TMediaKind, int) {
    // Output streams are created together with the output opening, which is
    // not part of this build yet; say so instead of pretending.
    throw FFmpegException("Adding a stream to an opened output is not supported yet");
}
