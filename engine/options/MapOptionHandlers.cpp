// Options that map inputs to outputs and place them in time: stream, metadata
// and chapter maps, time options, time-stamp scales, and the pending metadata.
#include <cmath>

#include "CustomFFmpeg.h"
#include "StreamHelpers.h"
#include "Format.h"
#include "OptionNumbers.h"

namespace {

// Reads one metadata map side: a file number, then optionally "," and a kind
// letter, with an index after "s", "c" and "p". `p` ends after the side.
TMetadataMapSpec ParseMetadataSpec(const char*& p) {
    TMetadataMapSpec spec;
    spec.FileIndex = static_cast<int>(RuntimeStrtol(p, &p));
    if (*p != ',') {
        spec.Kind = 'g';
        return spec;
    }
    ++p;
    spec.Kind = *p;
    switch (*p) {
    case 'g':
        ++p;
        break;
    case 's':
    case 'c':
    case 'p':
        ++p;
        spec.Index = static_cast<int>(RuntimeStrtol(p, &p));
        break;
    default:
        throw FFmpegException(Format("Invalid metadata type %s.", std::string(*p ? 1 : 0, *p)));
    }
    return spec;
}

} // namespace

void TCustomFFmpeg::OptFormat(const std::string&, const std::string& value) { SetFormat(value); }

void TCustomFFmpeg::SetFormat(const std::string& Value) {
    if (!Value.empty()) Opt.ForcedFormat = Value;
}

void TCustomFFmpeg::OptMap(const std::string&, const std::string& value) {
    TStreamMap map;
    const char* p = value.c_str();
    map.FileIndex = static_cast<int>(RuntimeStrtol(p, &p));
    if (*p) ++p;
    map.StreamIndex = static_cast<int>(RuntimeStrtol(p, &p));
    if (*p) {
        ++p;
        map.SyncFileIndex = static_cast<int>(RuntimeStrtol(p, &p));
        if (*p) ++p;
        map.SyncStreamIndex = static_cast<int>(RuntimeStrtol(p, &p));
    } else {
        map.SyncFileIndex = map.FileIndex;
        map.SyncStreamIndex = map.StreamIndex;
    }
    Opt.StreamMaps.push_back(map);
}

void TCustomFFmpeg::OptMapMetadata(const std::string&, const std::string& value) {
    const char* p = value.c_str();
    TMetadataMap map;
    map.Out = ParseMetadataSpec(p);
    if (*p) ++p;
    map.In = ParseMetadataSpec(p);
    auto either = [&](char kind) { return map.Out.Kind == kind || map.In.Kind == kind; };
    if (either('g')) Opt.MetadataGlobalAutocopy = 0;
    if (either('s')) Opt.MetadataStreamsAutocopy = 0;
    if (either('c')) Opt.MetadataChaptersAutocopy = 0;
    Opt.MetadataMaps.push_back(map);
}

void TCustomFFmpeg::OptMapChapters(const std::string&, const std::string& value) {
    TChapterMap map;
    const char* p = value.c_str();
    map.OutFile = static_cast<int>(RuntimeStrtol(p, &p));
    if (*p) ++p;
    map.InFile = static_cast<int>(RuntimeStrtol(p, &p));
    Opt.ChapterMaps.push_back(map);
}

void TCustomFFmpeg::OptTime(const std::string& name, const std::string& value) {
    if (name == "timestamp") {
        const int64_t us = ParseTimeOrRaise(name, value, false);
        Opt.RecordingTimestamp = static_cast<int64_t>(std::nearbyint(static_cast<double>(us) / 1000000.0));
        return;
    }
    const int64_t us = ParseTimeOrRaise(name, value, true);
    if (name == "t") SetRecordingTime(us);
    else if (name == "ss") SetStartTime(us);
    else Opt.InputTsOffset = us;
}

void TCustomFFmpeg::SetStartTime(int64_t Microseconds) { Opt.StartTime = Microseconds; }

void TCustomFFmpeg::SetRecordingTime(int64_t Microseconds) {
    // A missing time stamp is no limit: taken as one, it would end the output
    // before it began.
    if (Microseconds == AV_NOPTS_VALUE) return;
    Opt.RecordingTime = Microseconds;
    TotalDuration = Microseconds;
}

void TCustomFFmpeg::SetProgramId(int Id) { Opt.ProgramId = Id; }

void TCustomFFmpeg::OptInputTsScale(const std::string&, const std::string& value) {
    const char* p = value.c_str();
    const long stream = RuntimeStrtol(p, &p);
    if (*p) ++p;
    const double scale = RuntimeStrtod(p, nullptr);
    if (stream < 0 || stream >= MAX_STREAMS) throw FFmpegException(Format("stream index over MAX_STREAMS(%d)", MAX_STREAMS));
    // The scales wait for the next input; there is none when every slot is taken.
    if (InputFileCount >= FileCapacity) throw FFmpegException(Format("Too many input files (at most %d)", FileCapacity));
    std::vector<double>& scales = InputTsScales[InputFileCount];
    GrowList(scales, stream + 1);
    scales[stream] = scale;
}

void TCustomFFmpeg::OptMetadata(const std::string&, const std::string& value) { SetMetadataEntry(value); }

void TCustomFFmpeg::SetMetadataEntry(const std::string& Value) {
    const size_t eq = Value.find('=');
    if (eq == std::string::npos) throw FFmpegException("Missing =");
    if (eq == 0) throw FFmpegException("wrong parameter of metadata");
    AVDictionary* dict = Opt.Metadata.release();
    const int ret = ff::av_dict_set(&dict, Value.substr(0, eq).c_str(), Value.c_str() + eq + 1, 0);
    Opt.Metadata.reset(dict);
    if (ret < 0) throw FFmpegException(LibraryErrorText("av_dict_set", ret));
}
