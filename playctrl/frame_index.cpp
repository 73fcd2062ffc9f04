#include "playctrl/frame_index.h"

#include <algorithm>

namespace playctrl {
namespace {

constexpr uint64_t kFirstWindowBytes = 1 << 20;

bool IsFrameStart(mediafile::RecordKind kind, const mediafile::MediaRecord& r) {
    return kind == mediafile::RecordKind::kVideo && r.complete &&
           zyn::wire::FragmentHeader(r.header).fragment_index() == 0;
}

FrameStart StartOf(const mediafile::MediaRecord& r) {
    const zyn::wire::FragmentHeader h(r.header);
    return {r.offset, h.frame_number(), h.frame_type() == zyn::wire::kKeyFrameType};
}

}  // namespace

void FrameIndex::ReadingFrom(uint64_t position) {
    if (started_ && position >= lo_ && position <= hi_) return;
    started_ = true;
    starts_.clear();
    lo_ = hi_ = std::max(position, records_start_);
    window_ = kFirstWindowBytes;
}

void FrameIndex::Saw(const mediafile::MediaRecord& record, uint64_t end) {
    if (record.offset < hi_) return;  // known already
    const mediafile::RecordKind kind =
        record.kind == 'V' ? mediafile::RecordKind::kVideo : mediafile::RecordKind::kAudio;
    if (IsFrameStart(kind, record)) starts_.push_back(StartOf(record));
    hi_ = end;
}

bool FrameIndex::ExtendBack(mediafile::MediaReader& reader) {
    if (lo_ <= records_start_) return false;
    const uint64_t from = lo_ - records_start_ > window_ ? lo_ - window_ : records_start_;
    window_ *= 2;
    std::vector<FrameStart> found;
    reader.Seek(from);
    mediafile::MediaRecord rec;
    while (reader.position() < lo_) {
        const mediafile::RecordKind kind = reader.ReadHeaderOnly(&rec);
        if (kind == mediafile::RecordKind::kEnd || rec.offset >= lo_) break;
        if (IsFrameStart(kind, rec)) found.push_back(StartOf(rec));
    }
    starts_.insert(starts_.begin(), found.begin(), found.end());
    lo_ = from;
    return true;
}

std::optional<FrameStart> FrameIndex::Previous(uint64_t offset, mediafile::MediaReader& reader) {
    for (;;) {
        auto it = std::lower_bound(starts_.begin(), starts_.end(), offset,
                                   [](const FrameStart& s, uint64_t o) { return s.offset < o; });
        if (it != starts_.begin()) return *std::prev(it);
        if (!ExtendBack(reader)) return std::nullopt;
    }
}

std::optional<FrameStart> FrameIndex::KeyAtOrBefore(uint64_t offset,
                                                    mediafile::MediaReader& reader) {
    for (;;) {
        auto it = std::upper_bound(starts_.begin(), starts_.end(), offset,
                                   [](uint64_t o, const FrameStart& s) { return o < s.offset; });
        while (it != starts_.begin()) {
            --it;
            if (it->key) return *it;
        }
        if (!ExtendBack(reader)) break;
    }
    // A file that does not start with a key frame: decode from its first frame.
    if (!starts_.empty()) return starts_.front();
    return std::nullopt;
}

}  // namespace playctrl
