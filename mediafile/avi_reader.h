// Walks the sample chunks of an AVI file's "movi" list in file order, without
// its index: also a file cut off while it was written (no index, sizes still
// "unknown") is read up to its last whole chunk.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace mediafile {

struct AviChunk {
    char tag[4] = {};     // "00dc", "01wb", ...
    uint64_t offset = 0;  // of the tag
    uint32_t length = 0;  // data bytes (a pad byte follows odd lengths)
    bool video() const { return tag[2] == 'd' && (tag[3] == 'c' || tag[3] == 'b'); }
    bool audio() const { return tag[2] == 'w' && tag[3] == 'b'; }
};

class AviChunkReader {
public:
    // True when the start of `file` (owned by the caller) is a RIFF AVI with a
    // header list and a "movi" list; *error says why not.
    bool Open(std::FILE* file, std::string* error);

    // The next whole video or audio chunk ("JUNK" is passed over). False at
    // the end of the list, at an index, at a chunk cut off by the end of the
    // file, or at bytes that are no chunk.
    bool Next(AviChunk* chunk);
    // Reads a chunk's data (length bytes) into out.
    bool ReadData(const AviChunk& chunk, uint8_t* out);

    uint64_t file_size() const { return size_; }
    uint64_t movi_list() const { return movi_list_; }  // offset of "LIST" size "movi"
    uint64_t end() const { return end_; }              // after the last chunk read
    // The header list's contents (after "hdrl"), at offset 24 of the file.
    std::vector<uint8_t>& header_list() { return hdrl_; }

private:
    std::FILE* file_ = nullptr;
    uint64_t size_ = 0;
    uint64_t movi_list_ = 0;
    uint64_t end_ = 0;
    std::vector<uint8_t> hdrl_;
};

// True when the RIFF form type at the start of the data says "AVI ".
bool LooksLikeAvi(const uint8_t* data, std::size_t size);

// What the header list says about the file and its streams (what a reader
// needs; the rest is ignored).
struct AviStream {
    bool video = false;  // "vids"; else "auds" (other kinds are not listed)
    bool audio = false;
    // Audio: the wave format record.
    uint16_t format_tag = 0;  // 1 PCM, 6 A-law, 7 mu-law, ...
    uint16_t channels = 0;
    uint32_t sample_rate = 0;
    uint16_t bits_per_sample = 0;
};
struct AviHeader {
    uint32_t microseconds_per_frame = 0;  // 0 when not given
    uint32_t width = 0;                   // main header, else the video format; 0 unknown
    uint32_t height = 0;
    std::vector<AviStream> streams;  // by stream number (the "NN" of the chunk tags)
};
AviHeader ParseAviHeader(const std::vector<uint8_t>& header_list);
// The stream number of a chunk tag ("01wb" is 1); -1 when it has none.
int AviStreamNumber(const char (&tag)[4]);

}  // namespace mediafile
