// WM/Picture in an ASF header. The ASF muxer writes text attributes only, so
// the picture is added to the finished header: into the extended content
// description when it fits the 16-bit size of that object's values, else into
// the metadata library inside the header extension, as the format's own
// writers do with large pictures.
#include <cstring>

#include "CoverArt.h"
#include "TaskTypes.h"

namespace {

using TGuid = uint8_t[16];
// The GUIDs as they are stored (the first three fields little-endian).
constexpr TGuid HeaderGuid = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                              0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr TGuid FilePropertiesGuid = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                      0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr TGuid ExtendedContentGuid = {0x40, 0xA4, 0xD0, 0xD2, 0x07, 0xE3, 0xD2, 0x11,
                                       0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8, 0x50};
constexpr TGuid HeaderExtensionGuid = {0xB5, 0x03, 0xBF, 0x5F, 0x2E, 0xA9, 0xCF, 0x11,
                                       0x8E, 0xE3, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr TGuid Reserved1Guid = {0x11, 0xD2, 0xD3, 0xAB, 0xBA, 0xA9, 0xCF, 0x11,
                                 0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr TGuid MetadataLibraryGuid = {0x94, 0x1C, 0x23, 0x44, 0x98, 0x94, 0xD1, 0x49,
                                       0xA1, 0x41, 0x1D, 0x13, 0x4E, 0x45, 0x70, 0x54};

constexpr size_t HeaderObjectSize = 30;     // GUID, size, object count, two reserved bytes
constexpr size_t ObjectHeadSize = 24;       // GUID and size
constexpr size_t ExtensionHeadSize = 46;    // GUID, size, reserved GUID and word, data size
constexpr uint16_t ByteArray = 1;           // attribute value type

uint64_t Read(const std::vector<uint8_t>& b, size_t at, int bytes) {
    uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | b.at(at + i);
    return value;
}

void Write(std::vector<uint8_t>& b, size_t at, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) b.at(at + i) = static_cast<uint8_t>(value >> (8 * i));
}

void Put(std::vector<uint8_t>& b, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void PutGuid(std::vector<uint8_t>& b, const TGuid& guid) { b.insert(b.end(), guid, guid + 16); }

bool IsGuid(const std::vector<uint8_t>& b, size_t at, const TGuid& guid) {
    return at + 16 <= b.size() && std::memcmp(b.data() + at, guid, 16) == 0;
}

// The objects between `begin` and `end`: where each starts.
std::vector<size_t> Objects(const std::vector<uint8_t>& b, size_t begin, size_t end) {
    std::vector<size_t> starts;
    for (size_t at = begin; at + ObjectHeadSize <= end;) {
        const uint64_t size = Read(b, at + 16, 8);
        if (size < ObjectHeadSize || size > end - at) throw FFmpegException("The ASF header is damaged");
        starts.push_back(at);
        at += size;
    }
    return starts;
}

size_t Find(const std::vector<uint8_t>& b, const std::vector<size_t>& objects, const TGuid& guid) {
    for (size_t at : objects)
        if (IsGuid(b, at, guid)) return at;
    return std::string::npos;
}

const std::vector<uint8_t>& PictureName() {
    static const std::vector<uint8_t> name = [] {
        std::vector<uint8_t> utf16;
        for (char c : std::string("WM/Picture")) utf16.insert(utf16.end(), {static_cast<uint8_t>(c), 0});
        utf16.insert(utf16.end(), {0, 0});
        return utf16;
    }();
    return name;
}

// Grows the size field of the object at `at` by `by`.
void Grow(std::vector<uint8_t>& b, size_t at, uint64_t by) { Write(b, at + 16, Read(b, at + 16, 8) + by, 8); }

// Inserts `bytes` at `at`; every object in `enclosing` (which all contain `at`) grows.
void Insert(std::vector<uint8_t>& b, size_t at, const std::vector<uint8_t>& bytes,
            const std::vector<size_t>& enclosing) {
    b.insert(b.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin(), bytes.end());
    for (size_t object : enclosing) Grow(b, object, bytes.size());
}

void AddToExtendedContent(std::vector<uint8_t>& b, const std::vector<uint8_t>& value) {
    std::vector<uint8_t> descriptor;
    Put(descriptor, PictureName().size(), 2);
    descriptor.insert(descriptor.end(), PictureName().begin(), PictureName().end());
    Put(descriptor, ByteArray, 2);
    Put(descriptor, value.size(), 2);
    descriptor.insert(descriptor.end(), value.begin(), value.end());

    const size_t object = Find(b, Objects(b, HeaderObjectSize, b.size()), ExtendedContentGuid);
    if (object != std::string::npos) {
        Write(b, object + ObjectHeadSize, Read(b, object + ObjectHeadSize, 2) + 1, 2);
        Insert(b, object + Read(b, object + 16, 8), descriptor, {0, object});
        return;
    }
    std::vector<uint8_t> created;
    PutGuid(created, ExtendedContentGuid);
    Put(created, ObjectHeadSize + 2 + descriptor.size(), 8);
    Put(created, 1, 2);
    created.insert(created.end(), descriptor.begin(), descriptor.end());
    Insert(b, b.size(), created, {0});
    Write(b, 24, Read(b, 24, 4) + 1, 4);
}

void AddToMetadataLibrary(std::vector<uint8_t>& b, const std::vector<uint8_t>& value) {
    std::vector<uint8_t> record;
    Put(record, 0, 2);  // language list index
    Put(record, 0, 2);  // stream number: the whole file
    Put(record, PictureName().size(), 2);
    Put(record, ByteArray, 2);
    Put(record, value.size(), 4);
    record.insert(record.end(), PictureName().begin(), PictureName().end());
    record.insert(record.end(), value.begin(), value.end());

    size_t extension = Find(b, Objects(b, HeaderObjectSize, b.size()), HeaderExtensionGuid);
    if (extension == std::string::npos) {
        std::vector<uint8_t> created;
        PutGuid(created, HeaderExtensionGuid);
        Put(created, ExtensionHeadSize, 8);
        PutGuid(created, Reserved1Guid);
        Put(created, 6, 2);
        Put(created, 0, 4);
        extension = b.size();
        Insert(b, extension, created, {0});
        Write(b, 24, Read(b, 24, 4) + 1, 4);
    }
    // The extension's data size sits beside its object size and grows with it.
    auto growExtension = [&](size_t by) { Write(b, extension + 42, Read(b, extension + 42, 4) + by, 4); };
    const size_t dataEnd = extension + Read(b, extension + 16, 8);
    const size_t library = Find(b, Objects(b, extension + ExtensionHeadSize, dataEnd), MetadataLibraryGuid);
    if (library != std::string::npos) {
        Write(b, library + ObjectHeadSize, Read(b, library + ObjectHeadSize, 2) + 1, 2);
        Insert(b, library + Read(b, library + 16, 8), record, {0, extension, library});
        growExtension(record.size());
        return;
    }
    std::vector<uint8_t> created;
    PutGuid(created, MetadataLibraryGuid);
    Put(created, ObjectHeadSize + 2 + record.size(), 8);
    Put(created, 1, 2);
    created.insert(created.end(), record.begin(), record.end());
    Insert(b, dataEnd, created, {0, extension});
    growExtension(created.size());
}

} // namespace

std::vector<uint8_t> AsfHeaderWithPicture(const std::vector<uint8_t>& header, const TCoverPicture& picture) {
    if (header.size() < HeaderObjectSize || !IsGuid(header, 0, HeaderGuid) || Read(header, 16, 8) != header.size())
        throw FFmpegException("The ASF header is damaged");
    std::vector<uint8_t> b = header;
    const std::vector<uint8_t> value = AsfPictureValue(picture);
    if (value.size() <= 0xFFFF)
        AddToExtendedContent(b, value);
    else
        AddToMetadataLibrary(b, value);
    // The file grows by what the header grew.
    const size_t properties = Find(b, Objects(b, HeaderObjectSize, b.size()), FilePropertiesGuid);
    if (properties != std::string::npos) {
        const uint64_t fileSize = Read(b, properties + 40, 8);
        if (fileSize != 0) Write(b, properties + 40, fileSize + b.size() - header.size(), 8);
    }
    return b;
}
