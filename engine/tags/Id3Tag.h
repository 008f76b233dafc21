#pragma once
// ID3v2.4 tags as players read them: text frames in UTF-8, the comment in a
// COMM frame and the lyrics in a USLT frame (not in user-defined TXXX frames,
// which most players do not show), the encoder in TSSE.
#include <cstddef>
#include <string>

#include "UserTags.h"

// The frames of `tags` and of the encoder name, without the tag's header.
std::string Id3v2Frames(const TUserTags& tags, const std::string& encoder);

// A whole tag: the header, `frames` and `padding` zero bytes.
std::string Id3v2Tag(const std::string& frames, size_t padding);

// A 28-bit size, seven bits in each of the four bytes at `p`.
size_t Id3v2Syncsafe(const unsigned char* p);

// The size of the tag whose first ten bytes are `header` (header included),
// or 0 when they are no ID3v2 header.
size_t Id3v2TagSize(const unsigned char* header);
