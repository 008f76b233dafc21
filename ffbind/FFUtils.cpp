// PLACEHOLDER: replaced by the full helper module.
#include "FFUtils.h"
#include "AVUtilStubs.h"
#include "Format.h"
std::string LibraryErrorText(const std::string& name, int code) { return name + ": " + Format("Error number %d occurred", code); }
std::string TimeText(int64_t t) { return std::to_string(t); }
std::string MediaTypeName(int type) {
    switch (type) { case 0: return "Video"; case 1: return "Audio"; case 2: return "Data"; case 3: return "Subtitle"; case 4: return "Attachment"; default: return "Unknown"; }
}
std::string MetadataValue(const AVDictionary* m, const std::string& key, const std::string& def) {
    const AVDictionaryEntry* e = ff::av_dict_get(m, key.c_str(), nullptr, 0);
    return e ? std::string(e->value) : def;
}
