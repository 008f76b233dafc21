// Generic options: set by name on the task's defaults contexts, remembered, and
// copied later into the codec and container contexts the task really uses.
#include <cstring>
#include <mutex>
#include <new>

#include "AVCodecStubs.h"
#include "AVFormatStubs.h"
#include "AVUtilStubs.h"
#include "FFLog.h"
#include "FFUtils.h"

#include "CLocale.h"
#include "Format.h"
#include "SwScaleStubs.h"

namespace {

// Option flags that make an option belong to a media type, by type number.
constexpr int TypeMasks[OptionMediaTypes] = {
    AV_OPT_FLAG_VIDEO_PARAM, AV_OPT_FLAG_AUDIO_PARAM, 0, AV_OPT_FLAG_SUBTITLE_PARAM, 0};

// Written by whichever thread configures a task; read by anyone.
struct MessageStore {
    std::mutex lock;  // protects text
    std::string text;
};

MessageStore& Messages() {
    static MessageStore store;
    return store;
}

void SetLastOptionMessage(const std::string& text) {
    std::lock_guard<std::mutex> guard(Messages().lock);
    Messages().text = text;
}

// The outcome of setting one value: the option found (if any) and the result
// of the last set.
struct SetOutcome {
    const AVOption* found = nullptr;
    int result = 0;
};

// Sets the option on `obj` when its class knows the name.
void SetWhenKnown(void* obj, const char* name, const std::string& value, SetOutcome& outcome) {
    if (!obj) return;
    const AVOption* o = ff::av_opt_find(obj, name, nullptr, 0, 0);
    if (!o) return;
    outcome.found = o;
    outcome.result = ff::av_opt_set(obj, name, value.c_str(), 0);
}

// Steps through the codec defaults (one per media type, stopping at the first
// rejected value), then the container and scaler defaults, then the
// type-prefixed names ("ab" style: a, v, s).
SetOutcome SetOnDefaults(OptionContexts& record, const std::string& name, const std::string& value) {
    SetOutcome outcome;
    AVCodecContext* video = record.CodecDefaults[AVMEDIA_TYPE_VIDEO].get();
    for (int type = 0; video && type < OptionMediaTypes && outcome.result >= 0; ++type) {
        const AVOption* o = ff::av_opt_find(video, name.c_str(), nullptr, TypeMasks[type], 0);
        if (o && record.CodecDefaults[type]) {
            outcome.found = o;
            outcome.result = ff::av_opt_set(record.CodecDefaults[type].get(), name.c_str(), value.c_str(), 0);
        }
    }
    if (!outcome.found) SetWhenKnown(record.ContainerDefaults.get(), name.c_str(), value, outcome);
    if (!outcome.found) SetWhenKnown(record.ScalerDefaults.get(), name.c_str(), value, outcome);
    if (!outcome.found && name.size() > 1) {
        int type = name[0] == 'a' ? AVMEDIA_TYPE_AUDIO
                 : name[0] == 'v' ? AVMEDIA_TYPE_VIDEO
                 : name[0] == 's' ? AVMEDIA_TYPE_SUBTITLE : -1;
        if (type >= 0) SetWhenKnown(record.CodecDefaults[type].get(), name.c_str() + 1, value, outcome);
    }
    return outcome;
}

bool ClassKnows(const AVClass* const* cls, const char* name) {
    return *cls && ff::av_opt_find(const_cast<AVClass**>(cls), name, nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ);
}

// True when some codec's or muxer's private options know the name.
bool KnownPrivately(const char* name) {
    void* it = nullptr;
    while (const AVCodec* c = ff::av_codec_iterate(&it))
        if (ClassKnows(&c->priv_class, name)) return true;
    it = nullptr;
    while (const AVOutputFormat* f = ff::av_muxer_iterate(&it))
        if (ClassKnows(&f->priv_class, name)) return true;
    return false;
}

bool BlankName(const std::string& name) {
    return name.find_first_not_of(" \t\r\n") == std::string::npos;
}

// The private options a target may take: its codec's, when that codec has
// any, or its output format's.
void* PrivateOptionsOf(void* target, const AVCodec* codec) {
    const AVClass* cls = *static_cast<const AVClass**>(target);
    if (!cls || !cls->class_name) return nullptr;
    if (std::strcmp(cls->class_name, "AVCodecContext") == 0) {
        auto* ctx = static_cast<AVCodecContext*>(target);
        if (codec && codec->priv_class && ctx->priv_data) return ctx->priv_data;
    } else if (std::strcmp(cls->class_name, "AVFormatContext") == 0) {
        auto* ctx = static_cast<AVFormatContext*>(target);
        if (ctx->oformat && ctx->oformat->priv_class && ctx->priv_data) return ctx->priv_data;
    }
    return nullptr;
}

// The option's value on `obj` as text; nothing when the object has no such
// option or the value is unset.
std::optional<std::string> ReadOption(void* obj, const std::string& name) {
    uint8_t* text = nullptr;
    if (ff::av_opt_get(obj, name.c_str(), AV_OPT_ALLOW_NULL, &text) < 0 || !text) return std::nullopt;
    std::string value(reinterpret_cast<const char*>(text));
    ff::av_free(text);
    return value;
}

void ReportInvalidValue(void* context, const std::string& name, const std::string& value) {
    ff::av_log(context, AV_LOG_ERROR, "Invalid value \"%s\" for option \"%s\"\n", value.c_str(), name.c_str());
}

} // namespace

void DefaultsCodecContextDeleter::operator()(AVCodecContext* c) const { ff::avcodec_free_context(&c); }

void DefaultsFormatContextDeleter::operator()(AVFormatContext* c) const {
    ff::av_freep(&c->key);
    c->keylen = 0;
    ff::avformat_free_context(c);
}

void DefaultsScalerContextDeleter::operator()(SwsContext* c) const { ff::sws_freeContext(c); }

void InitOptionContexts(OptionContexts& record, int scalerFlags) {
    FreeOptionContexts(record);
    for (int type = 0; type < OptionMediaTypes; ++type) {
        AVCodecContext* ctx = ff::avcodec_alloc_context3(nullptr);
        if (!ctx) throw std::bad_alloc();
        ctx->codec_type = static_cast<AVMediaType>(type);
        record.CodecDefaults[type].reset(ctx);
    }
    record.ContainerDefaults.reset(ff::avformat_alloc_context());
    if (!record.ContainerDefaults) throw std::bad_alloc();
    SwsContext* sws = ff::sws_getContext(16, 16, AV_PIX_FMT_YUV420P, 16, 16, AV_PIX_FMT_YUV420P, scalerFlags,
                                         nullptr, nullptr, nullptr);
    if (!sws) {
        // The scaler refuses flags that name no single algorithm. These defaults
        // only hold option values, so they still carry the task's flags; the
        // real scaler, made from them later, reports the failure.
        sws = ff::sws_getContext(16, 16, AV_PIX_FMT_YUV420P, 16, 16, AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr,
                                 nullptr, nullptr);
        if (!sws) throw std::bad_alloc();
        ff::av_opt_set_int(sws, "sws_flags", scalerFlags, 0);
    }
    record.ScalerDefaults.reset(sws);
}

void FreeOptionContexts(OptionContexts& record) {
    for (auto& ctx : record.CodecDefaults) ctx.reset();
    record.ContainerDefaults.reset();
    record.ScalerDefaults.reset();
    record.Options.clear();
}

bool SetGenericOption(OptionContexts& record, const std::string& name, const std::string& value) {
    TCLocaleScope cLocale;  // the library parses numbers with the thread's locale
    if (BlankName(name)) return false;
    SetOutcome outcome = SetOnDefaults(record, name, value);
    if (outcome.found && outcome.result < 0) {
        ReportInvalidValue(nullptr, name, value);
        SetLastOptionMessage(Format("Invalid value \"%s\" for option \"%s\"", value, name));
        return false;
    }
    if (outcome.found) {
        record.Options.push_back({outcome.found->name, std::nullopt});
    } else if (KnownPrivately(name.c_str())) {
        record.Options.push_back({name, value});
    } else {
        ff::av_log(nullptr, AV_LOG_ERROR, "Unrecognized option \"%s\"\n", name.c_str());
        SetLastOptionMessage(Format("Unrecognized option \"%s\"", name));
        return false;
    }
    const AVCodecContext* video = record.CodecDefaults[AVMEDIA_TYPE_VIDEO].get();
    const AVFormatContext* container = record.ContainerDefaults.get();
    if ((video && video->debug) || (container && container->debug)) GlobalLogger()->SetLogLevel(llDebug);
    return true;
}

bool ApplyGenericOptions(OptionContexts& record, void* target, void* defaults, const AVCodec* codec, int flags) {
    TCLocaleScope cLocale;  // values travel as text between contexts
    if (!target) return true;
    void* privateOptions = PrivateOptionsOf(target, codec);
    bool allApplied = true;
    for (const TGenericOption& option : record.Options) {
        const char* name = option.Name.c_str();
        std::optional<std::string> value = defaults ? ReadOption(defaults, option.Name) : std::nullopt;
        if (value) {
            if (!ff::av_opt_find(defaults, name, nullptr, flags, 0)) continue;
            if (ff::av_opt_set(target, name, value->c_str(), 0) < 0) {
                ReportInvalidValue(target, option.Name, *value);
                allApplied = false;
            }
        } else if (option.Value && privateOptions && ff::av_opt_find(privateOptions, name, nullptr, 0, 0)) {
            // Private values were only matched by name when they were given;
            // this is the first time a codec or muxer checks them.
            if (ff::av_opt_set(privateOptions, name, option.Value->c_str(), 0) < 0) {
                ReportInvalidValue(privateOptions, option.Name, *option.Value);
                allApplied = false;
            }
        }
    }
    return allApplied;
}

std::string LastOptionMessage() {
    std::lock_guard<std::mutex> guard(Messages().lock);
    return Messages().text;
}

void ClearLastOptionMessage() { SetLastOptionMessage(std::string()); }
