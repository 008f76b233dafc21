// The tags of an output: gathered from what the metadata maps and the
// automatic copy put into it, the encoder named as this program. An audio
// file gets its tags and cover from TagLib once the muxer has closed it, under
// the names its players read; its muxer writes none. Any other output's muxer
// writes them, under the library's common names.
#include <algorithm>
#include <cstring>

#include "FFLog.h"
#include "FileSetup.h"
#include "OutputMux.h"
#include "ReplayGainTags.h"
#include "RunTables.h"
#include "TagFill.h"
#include "UnicodeProtocol.h"

namespace {

// Keeps of `dict` only what `keep` accepts.
template <typename Keep>
void Filter(AVDictionary** dict, Keep keep) {
    AVDictionary* kept = nullptr;
    const AVDictionaryEntry* entry = nullptr;
    while ((entry = ff::av_dict_get(*dict, "", entry, AV_DICT_IGNORE_SUFFIX)))
        if (keep(std::string(entry->key))) ff::av_dict_set(&kept, entry->key, entry->value, 0);
    ff::av_dict_free(dict);
    *dict = kept;
}

std::string LanguageCode(const char* text) {
    const std::string code = text ? text : "";
    const bool letters = code.size() == 3 && std::all_of(code.begin(), code.end(), [](char c) { return c >= 'a' && c <= 'z'; });
    return letters && code != "und" ? code : std::string();
}

// The language of the output's audio, as its source or the task named it; else
// the one the tags name.
std::string AudioLanguage(const AVFormatContext* oc, const TUserTags& tags) {
    for (unsigned i = 0; i < oc->nb_streams; ++i) {
        if (oc->streams[i]->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) continue;
        const AVDictionaryEntry* entry = ff::av_dict_get(oc->streams[i]->metadata, "language", nullptr, 0);
        if (entry) return LanguageCode(entry->value);
        break;
    }
    return LanguageCode(TagValue(tags, "language").c_str());
}

// The entries of an output whose muxer writes its tags: the library's common
// names, which the muxer turns into its own, a number with its total; in Ogg,
// whose muxer writes every name as it is, the Vorbis comment names.
std::vector<std::pair<std::string, std::string>> MuxerEntries(const TUserTags& tags, bool vorbis) {
    std::vector<std::pair<std::string, std::string>> entries;
    for (const TUserTag& tag : tags) {
        const bool number = tag.Key == "track" || tag.Key == "disc";
        if (vorbis) {
            const char* name = FieldName(tag.Key, fsXiph);
            entries.emplace_back(name ? name : FreeFormName(tag.Key),
                                 number ? NumberValue(tags, tag.Key, fsXiph) : tag.Value);
        } else if (tag.Key != "track_total" && tag.Key != "disc_total") {
            entries.emplace_back(IsCommonTag(tag.Key) ? tag.Key : ExtraTagName(tag.Key),
                                 number ? NumberWithTotal(tags, tag.Key) : tag.Value);
        }
    }
    return entries;
}

} // namespace

void TOutputMux::PlaceTags() {
    AVFormatContext* oc = oc_;
    TTagJob& job = tagJob_;
    job = TTagJob{};
    job.Format = TagFormatOf(oc);
    GatherUserTags(oc->metadata, job.Tags);
    // The source's loudness notes no longer hold for a file measured or given a gain anew.
    if (settings_.MeasuredAnew || settings_.GainApplied) DropLoudnessTags(job.Tags, settings_.GainApplied);
    ReplaceUserTags(job.Tags, settings_.Tags);
    const bool afterMuxer = job.Format != TTagFormat::None;
    const bool ogg = std::strcmp(oc->oformat->name, "ogg") == 0 || std::strcmp(oc->oformat->name, "oga") == 0;

    // The creation time is the container's (MP4 and ASF keep it in their headers).
    Filter(&oc->metadata, [](const std::string& key) { return key == "creation_time"; });
    if (!afterMuxer)
        for (const auto& [key, value] : MuxerEntries(job.Tags, ogg))
            ff::av_dict_set(&oc->metadata, key.c_str(), value.c_str(), 0);
    for (unsigned i = 0; i < oc->nb_streams; ++i) {
        // An audio file's tags are the file's; its audio stream keeps its
        // language. Other streams keep what describes them.
        const bool audioFile = afterMuxer && oc->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO;
        Filter(&oc->streams[i]->metadata,
               [&](const std::string& key) { return audioFile ? key == "language" : !IsContainerKey(key); });
        // The Ogg muxer takes the encoder from the stream before the file's
        // (which the library names as itself), and writes its comments
        // before the header.
        if (ogg && !afterMuxer) ff::av_dict_set(&oc->streams[i]->metadata, "encoder", ProgramEncoderName().c_str(), 0);
    }
    if (!afterMuxer) return;
    job.Language = AudioLanguage(oc, job.Tags);
    if (cover_) job.Cover = std::move(*cover_);
    cover_.reset();
    // The MP3 muxer's own ID3 tag would only be replaced.
    if (std::strcmp(oc->oformat->name, "mp3") == 0) ff::av_opt_set_int(oc->priv_data, "id3v2_version", 0, 0);
}

void TOutputMux::NameEncoder() {
    AVFormatContext* oc = oc_;
    // The muxer's set-up has named the library as the encoder. An audio file
    // names this program in its tags.
    const bool afterMuxer = tagJob_.Format != TTagFormat::None;
    ff::av_dict_set(&oc->metadata, "encoder", afterMuxer ? nullptr : ProgramEncoderName().c_str(), 0);
    for (unsigned i = 0; afterMuxer && i < oc->nb_streams; ++i)
        ff::av_dict_set(&oc->streams[i]->metadata, "encoder", nullptr, 0);
    // MP4 files name it as their encoding tool.
    const std::string name = oc->oformat->name;
    if (!afterMuxer && (name == "mp4" || name == "ipod" || name == "mov"))
        ff::av_dict_set(&oc->metadata, "encoding_tool", ProgramEncoderName().c_str(), 0);
}

void TOutputMux::NoteTagJob() {
    // Only a file of its own can be opened again by name (not a pipe, say).
    if (!oc_->pb || !IsUnicodeIO(oc_->pb)) return;
    std::string path = path_;
    if (path.rfind("file:", 0) == 0) path.erase(0, 5);
    tagJob_.Path = path;
}

void TCustomFFmpeg::WriteOutputTags() {
    std::vector<TTagJob> jobs = std::move(TagJobs_);
    TagJobs_.clear();
    // A failed output is removed; its tags do not matter. A stopped one is
    // not the song its source is: it does not present itself as that.
    if (Failed || !Completed) return;
    for (const TTagJob& job : jobs) {
        if (job.Format == TTagFormat::None || job.Path.empty()) continue;
        try {
            WriteTagFile(job);
        } catch (const std::exception& e) {
            // The audio is there; only its tags are not.
            GlobalLogger()->LogFmt(this, llWarning, "The tags of %s could not be written: %s", job.Path, e.what());
        }
    }
}
