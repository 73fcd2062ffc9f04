// Where the frames of a recording start, learnt while playing, so that a step
// back finds the previous frame and the key frame it is decoded from by a
// binary search instead of a walk from the start of the file.
//
// The index covers one stretch of the file without gaps ("known ground"):
// what was read in order since the first position inside it. Reading that
// starts outside it (a seek into unknown ground) starts a new stretch. Ground
// before the stretch is learnt on demand by scanning backwards in windows that
// double in size, so the cost grows with the distance to the key frame, not
// with the position in the file.
//
// Owned by the playback thread.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "mediafile/media_reader.h"

namespace playctrl {

struct FrameStart {
    uint64_t offset = 0;  // the frame's first record ("XCXB" of fragment 0)
    uint32_t number = 0;
    bool key = false;
};

class FrameIndex {
public:
    // `records_start`: where the records of the file begin (nothing before it).
    explicit FrameIndex(uint64_t records_start = 0) : records_start_(records_start) {}

    // Reading continues at `position`: the index is kept when that lies in
    // known ground, else it starts again there.
    void ReadingFrom(uint64_t position);
    // A record read in order; `end` is the reader's position after it.
    void Saw(const mediafile::MediaRecord& record, uint64_t end);

    // The last frame starting before `offset`, and the last key frame starting
    // at or before it. Ground before the known stretch is scanned with
    // `reader` (its position is then unspecified).
    std::optional<FrameStart> Previous(uint64_t offset, mediafile::MediaReader& reader);
    std::optional<FrameStart> KeyAtOrBefore(uint64_t offset, mediafile::MediaReader& reader);

    std::size_t size() const { return starts_.size(); }
    uint64_t known_from() const { return lo_; }

private:
    // Learns the ground just before the known stretch. False when there is none.
    bool ExtendBack(mediafile::MediaReader& reader);

    uint64_t records_start_;
    std::vector<FrameStart> starts_;  // sorted by offset
    uint64_t lo_ = 0;                 // known ground: [lo_, hi_)
    uint64_t hi_ = 0;
    uint64_t window_ = 0;  // size of the next backward scan
    bool started_ = false;
};

}  // namespace playctrl
