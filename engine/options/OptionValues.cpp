#include "OptionValues.h"

void TOptionValues::ReleaseHeld() {
    StreamMaps.clear();
    MetadataMaps.clear();
    ChapterMaps.clear();
    StreamIdMap.clear();
    IntraMatrix.reset();
    InterMatrix.reset();
    VstatsFileName.clear();
    VideoCodecName.clear();
    AudioCodecName.clear();
    SubtitleCodecName.clear();
    VideoStandard.clear();
    VideoRcOverride.clear();
    Metadata.reset();
    VideoBitstreamFilters.clear();
    AudioBitstreamFilters.clear();
    SubtitleBitstreamFilters.clear();
}

TOptionValues ZeroOptionValues() {
    TOptionValues zero;
    zero.MetadataGlobalAutocopy = zero.MetadataStreamsAutocopy = zero.MetadataChaptersAutocopy = 0;
    zero.MuxPreload = zero.MuxMaxDelay = 0.0f;
    zero.RecordingTime = 0;
    zero.LoopOutput = 0;
    zero.DtsDeltaThreshold = 0.0f;
    zero.MaxFrames.fill(0);
    zero.FramePixFmt = 0;
    zero.FrameRate = AVRational{0, 0};
    zero.TopFieldFirst = 0;
    zero.IntraDcPrecision = 0;
    zero.VideoSyncMethod = 0;
    zero.SwsFlags = 0;
    zero.AudioSampleFmt = 0;
    zero.AudioSampleRate = 0;
    zero.AudioQscale = 0.0f;
    zero.AudioChannels = 0;
    zero.AudioDriftThreshold = 0.0f;
    zero.AudioVolume = 0;
    zero.Verbose = 0;
    zero.ThreadCount = 0;
    return zero;
}
