#include "StreamHelpers.h"
#include "TaskRecordApply.h"

#include <algorithm>
#include <ctime>

#include "Format.h"
#include "OptionNumbers.h"

namespace {

bool IsOneOf(const std::string& key, std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(), [&](const char* n) { return key == n; });
}

// Keys that configure or add the streams of an output; applied per stream.
bool IsStreamKey(const std::string& key) {
    return IsOneOf(key, {"acodec", "vcodec", "scodec", "apre", "vpre", "spre", "s", "vfilters", "vf"});
}

void AddDefault(TDefaultsList& list, const char* key, const std::string& value) {
    if (!value.empty()) list.Lines.push_back({std::string("def_") + key, value});
}

void SetContextNumber(TCustomFFmpeg& task, const char* name, int value, bool when) {
    // A value the libraries reject is simply not applied.
    if (when) task.SetIntContextOption(name, value);
}

void SetMetadataNumber(TCustomFFmpeg& task, const char* key, int value) {
    if (value > 0) task.SetMetadataEntry(Format("%s=%d", key, value));
}

void SetMetadataText(TCustomFFmpeg& task, const char* key, const std::string& value) {
    if (!value.empty()) task.SetMetadataEntry(std::string(key) + "=" + value);
}

void ApplyCreationTime(TCustomFFmpeg& task, double timestamp) {
    if (timestamp < 0) return;
    // "Now" is taken from the clock itself: going through local days and the
    // zone's standard offset would be an hour off while daylight saving runs.
    task.Opt.RecordingTimestamp = timestamp == 0 ? static_cast<int64_t>(std::time(nullptr)) : ToUnixTime(timestamp);
}

void ApplyAudioFields(TCustomFFmpeg& task, const TOutputOptions& o) {
    if (o.DisableAudio) task.Opt.AudioDisable = true;
    if (o.AudioVolume >= 0) task.Opt.AudioVolume = o.AudioVolume;
    if (o.AudioChannels > 0) task.SetAudioChannels(o.AudioChannels);
    if (o.AudioSampleRate > 0) task.SetAudioRate(o.AudioSampleRate);
    SetContextNumber(task, "ab", o.AudioBitrate, o.AudioBitrate > 0 && o.TargetType == 0);
    SetContextNumber(task, "abt", o.AudioBitrateTolerance, o.AudioBitrateTolerance > 0);
    task.Opt.AudioLanguage = o.AudioLanguage;
    task.Opt.AudioSyncMethod = o.AudioSync;
    if (!o.AudioTag.empty()) task.SetTag("atag", o.AudioTag);
    task.Opt.MeasureLoudness = o.MeasureLoudness || o.ReplayGainTags;
    task.Opt.ReplayGainTags = o.ReplayGainTags;
    task.Opt.AudioGain = o.AudioGain;
}

void ApplyVideoFields(TCustomFFmpeg& task, const TOutputOptions& o) {
    if (o.DisableVideo) task.Opt.VideoDisable = true;
    if (!o.FrameRate.empty()) task.SetFrameRate(o.FrameRate);
    if (!o.FrameAspectRatio.empty()) task.SetAspect(o.FrameAspectRatio);
    SetContextNumber(task, "g", o.GopSize, o.GopSize > 0);
    SetContextNumber(task, "vb", o.VideoBitrate, o.VideoBitrate > 0 && o.TargetType == 0);
    SetContextNumber(task, "maxrate", o.VideoMaxRate, o.VideoMaxRate > 0);
    SetContextNumber(task, "minrate", o.VideoMinRate, o.VideoMinRate > 0);
    SetContextNumber(task, "bt", o.VideoBitrateTolerance, o.VideoBitrateTolerance > 0);
    SetContextNumber(task, "bufsize", o.VideoBufSize, o.VideoBufSize > 0);
    task.Opt.VideoSyncMethod = o.VideoSync;
    if (!o.VideoTag.empty()) task.SetTag("vtag", o.VideoTag);
    task.Opt.VideoLanguage = o.VideoLanguage;
}

} // namespace

std::string TDefaultsList::Default(const std::string& name) const {
    const std::string wanted = "def_" + name;
    for (const TOptionLine& line : Lines)
        if (SameText(line.Key, wanted)) return line.Value;
    return std::string();
}

void ApplyOptionText(TCustomFFmpeg& task, const std::string& text, bool allowCodecKeys) {
    for (const TOptionLine& line : ParseOptionText(text)) {
        if (IsOneOf(line.Key, {"newvideo", "newaudio", "newsubtitle", "apre", "vpre", "spre", "vfilters", "vf"}))
            continue;
        if (IsOneOf(line.Key, {"acodec", "vcodec", "scodec", "s"}) && !allowCodecKeys) continue;
        task.SetOption(line.Key, line.Value);
    }
}

TDefaultsList BuildDefaultsList(const TOutputOptions& o) {
    TDefaultsList list;
    AddDefault(list, "acodec", o.AudioCodec);
    AddDefault(list, "vcodec", o.VideoCodec);
    AddDefault(list, "scodec", o.SubtitleCodec);
    AddDefault(list, "apre", o.AudioPreset);
    AddDefault(list, "vpre", o.VideoPreset);
    AddDefault(list, "spre", o.SubtitlePreset);
    AddDefault(list, "s", o.FrameSize);
    AddDefault(list, "vf", o.VideoFilters);
    for (const TOptionLine& line : ParseOptionText(o.ExtOptions)) {
        if (!IsStreamKey(line.Key) || line.Value.empty()) continue;
        const std::string key = line.Key == "vfilters" ? "vf" : line.Key;
        // The record's field, and then the first line, set the default.
        if (list.Default(key).empty()) AddDefault(list, key.c_str(), line.Value);
        list.Lines.push_back({key, line.Value});
    }
    return list;
}

void TakeStreamOption(TCustomFFmpeg& task, TDefaultsList& list, const std::string& name) {
    auto it = std::find_if(list.Lines.begin(), list.Lines.end(), [&](const TOptionLine& l) { return l.Key == name; });
    if (it == list.Lines.end()) {
        task.SetOption(name, list.Default(name));
        return;
    }
    const std::string value = it->Value;
    list.Lines.erase(it);
    task.SetOption(name, value);
}

void ApplyNewStreamLines(TCustomFFmpeg& task, const std::string& text, TDefaultsList& list) {
    for (const TOptionLine& line : ParseOptionText(text)) {
        if (line.Key == "newaudio") {
            for (const char* name : {"acodec", "apre"}) TakeStreamOption(task, list, name);
        } else if (line.Key == "newvideo") {
            for (const char* name : {"vcodec", "vpre", "s", "vf"}) TakeStreamOption(task, list, name);
        } else if (line.Key == "newsubtitle") {
            for (const char* name : {"scodec", "spre"}) TakeStreamOption(task, list, name);
        } else {
            continue;
        }
        task.SetOption(line.Key, line.Value);
    }
}

void ApplyTarget(TCustomFFmpeg& task, const TOutputOptions& o) {
    static const char* const Types[] = {"vcd", "svcd", "dvd"};
    if (o.TargetType < 1 || o.TargetType > 3) return;
    const char* norm = o.TargetNorm == 1 ? "pal" : o.TargetNorm == 2 ? "ntsc" : "auto";
    task.ApplyTargetPreset(Types[o.TargetType - 1], norm, o.TargetFallbackNorm == 1 ? "pal" : "ntsc");
}

void ApplyOutputRecord(TCustomFFmpeg& task, const TOutputOptions& o) {
    task.SetFormat(o.FileFormat);
    SetContextNumber(task, "packetsize", o.PacketSize, o.PacketSize > 0);
    SetContextNumber(task, "muxrate", o.MuxRate, o.MuxRate > 0);
    if (o.MuxDelay > 0) task.Opt.MuxMaxDelay = o.MuxDelay;
    if (o.MuxPreload > 0) task.Opt.MuxPreload = o.MuxPreload;
    ApplyAudioFields(task, o);
    ApplyVideoFields(task, o);
    if (o.DisableSubtitle) task.Opt.SubtitleDisable = true;
    task.Opt.SubtitleLanguage = o.SubtitleLanguage;
    task.Opt.InputSync = o.InputSync;
    if (o.CopyTimestamps) task.Opt.CopyTs = true;
    if (o.StartTime != AV_NOPTS_VALUE) task.SetStartTime(o.StartTime);
    if (o.RecordingTime != AV_NOPTS_VALUE) task.SetRecordingTime(o.RecordingTime);
    ApplyCreationTime(task, o.Info.Timestamp);
    SetMetadataNumber(task, "year", o.Info.Year);
    SetMetadataNumber(task, "track", o.Info.Track);
    SetMetadataText(task, "title", o.Info.Title);
    SetMetadataText(task, "author", o.Info.Author);
    SetMetadataText(task, "copyright", o.Info.CopyrightNotice);
    SetMetadataText(task, "comment", o.Info.Comment);
    SetMetadataText(task, "album", o.Info.Album);
    SetMetadataText(task, "genre", o.Info.Genre);
}

bool OpenInputWithRecord(TCustomFFmpeg& task, const std::wstring& fileName, const TInputOptions* options,
                         int ioTimeoutMs) {
    if (options) {
        TInputOptions record = *options;
        if (record.FileName.empty()) record.FileName = fileName;
        task.StoreInputOptions(task.InputFileCount, record);
        ApplyOptionText(task, record.ExtOptions, true);
        // The record wins over the same settings in its text.
        task.SetFormat(record.FileFormat);
        if (record.StartTime != AV_NOPTS_VALUE) task.SetStartTime(record.StartTime);
        if (record.ProgramId >= 0) task.SetProgramId(record.ProgramId);
    }
    task.IoTimeoutMs = ioTimeoutMs;
    if (!task.OpenInputFile(fileName)) return false;
    task.RecordOpenStep(false, fileName, options != nullptr);
    return true;
}

int OpenOutputWithRecord(TCustomFFmpeg& task, const std::wstring& fileName, const TOutputOptions* options,
                         int ioTimeoutMs) {
    if (task.OutputFileCount >= task.FileCapacity) {
        task.SetupError = Format("max output files %d reached", task.FileCapacity);
        return -1;
    }
    const int slot = task.OutputFileCount;
    if (!options) {
        if (slot < static_cast<int>(task.OutputOptionCopies.size())) ResetOutputOptions(task.OutputOptionCopies[slot]);
        task.IoTimeoutMs = ioTimeoutMs;
        const int count = task.OpenOutputFile(fileName, false);
        if (count >= 0) task.RecordOpenStep(true, fileName, false);
        return count;
    }
    TOutputOptions record = *options;
    if (record.FileName.empty()) record.FileName = fileName;
    task.StoreOutputOptions(slot, record);

    TDefaultsList defaults = BuildDefaultsList(record);
    ApplyTarget(task, record);
    task.SetAudioCodec(defaults.Default("acodec"));
    task.SetVideoCodec(defaults.Default("vcodec"));
    task.SetSubtitleCodec(defaults.Default("scodec"));
    task.SetPreset("apre", defaults.Default("apre"));
    task.SetPreset("vpre", defaults.Default("vpre"));
    task.SetPreset("spre", defaults.Default("spre"));
    ApplyOptionText(task, record.ExtOptions, false);
    ApplyOutputRecord(task, record);
    task.SetFrameSize(defaults.Default("s"));
    task.SetVideoFilters(defaults.Default("vf"));
    task.HookSwitches = {record.AudioHook, record.VideoInputHook, record.VideoOutputHook, record.HookBitsPerPixel};
    task.SetHookBitsPerPixel(record.HookBitsPerPixel);

    task.IoTimeoutMs = ioTimeoutMs;
    const int count = task.OpenOutputFile(fileName, record.Join);
    if (count < 0) {
        ResetOutputOptions(task.OutputOptionCopies[slot]);
        return -1;
    }
    ApplyNewStreamLines(task, record.ExtOptions, defaults);
    if (record.Join) task.SetUpJoin();
    task.RecordOpenStep(true, fileName, true);
    return count;
}

void TCustomFFmpeg::ApplyTargetPreset(const std::string& Type, const std::string& Norm,
                                      const std::string& FallbackNorm) {
    ApplyTarget(Type, Norm, FallbackNorm);
}

void TCustomFFmpeg::StoreInputOptions(int Slot, const TInputOptions& Record) {
    GrowList(InputOptionCopies, Slot + 1);
    InputOptionCopies[Slot] = Record;
}

void TCustomFFmpeg::StoreOutputOptions(int Slot, const TOutputOptions& Record) {
    GrowList(OutputOptionCopies, Slot + 1);
    OutputOptionCopies[Slot] = Record;
}
