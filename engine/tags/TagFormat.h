#pragma once
// The kind of file TagLib writes the tags of.
enum class TTagFormat {
    None,       // the muxer writes the tags
    Mpeg,       // an ID3v2.4 tag before the frames (MP3, MP2, raw AAC)
    Wav,        // RIFF INFO in Latin-1, and the whole text in an ID3v2.4 chunk
    Flac,       // a Vorbis comment block and a PICTURE block
    OggVorbis,  // Vorbis comments, the picture as METADATA_BLOCK_PICTURE after them
    OggOpus,
    OggSpeex,
    Mp4,        // iTunes atoms, covr, "----:com.apple.iTunes:" for other names
    Asf,        // ASF attributes and WM/Picture
};
