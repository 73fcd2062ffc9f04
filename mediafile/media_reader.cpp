#include "mediafile/media_reader.h"

#include <sys/types.h>

#include <algorithm>
#include <cstring>

#include "mediafile/avi_repair.h"

namespace mediafile {
namespace {

constexpr uint32_t kDefaultFrameMicroseconds = 40000;  // 25 frames a second
constexpr uint32_t kFirstFrameSeconds = 1;             // a capture second of 0 means "no time"
constexpr std::size_t kKeyProbeBytes = 4096;  // where a key frame's NAL units are looked for
constexpr uint8_t kOtherFrameType = 8;
constexpr std::size_t kAudioPrefixBytes = wire::kAudioSubHeaderBytes;

// The audio type of a sound stream the audio output plays (8000 Hz mono
// G.711 or 16-bit PCM), else 0.
uint8_t AudioTypeOf(const AviStream& s) {
    if (!s.audio || s.channels != 1 || s.sample_rate != 8000) return 0;
    if (s.format_tag == 7) return 1;
    if (s.format_tag == 6) return 2;
    if (s.format_tag == 1 && s.bits_per_sample == 16) return 3;
    return 0;
}

// The chunks of an AVI's "movi" list, each handed out as a record.
class AviRecordReader final : public MediaReader {
public:
    struct Entry {
        uint64_t offset = 0;  // of the chunk tag
        uint32_t length = 0;
        uint32_t number = 0;     // video: its number among the video chunks
        uint8_t audio_type = 0;  // audio: as above; 0 for video
        int8_t key = -1;         // video: -1 not looked at yet, else 0 or 1
    };

    AviRecordReader(std::FILE* file, std::vector<Entry> entries, uint64_t start, uint64_t file_size,
                    uint32_t frame_us, uint8_t* payload_buffer)
        : file_(file),
          entries_(std::move(entries)),
          position_(start),
          file_size_(file_size),
          frame_us_(frame_us) {
        payload_ = payload_buffer;
        if (payload_ == nullptr) {
            own_payload_ = std::make_unique_for_overwrite<uint8_t[]>(kFrameBufferBytes);
            payload_ = own_payload_.get();
        }
    }

    RecordKind ReadRecord(MediaRecord* record, const std::atomic<int>* stop) override {
        if (stop != nullptr && stop->load(std::memory_order_relaxed) != 0)
            return RecordKind::kStopped;
        return Read(record, true);
    }
    RecordKind ReadHeaderOnly(MediaRecord* record) override { return Read(record, false); }

    void Seek(uint64_t position) override {
        next_ = static_cast<std::size_t>(
            std::lower_bound(entries_.begin(), entries_.end(), position,
                             [](const Entry& e, uint64_t p) { return e.offset < p; }) -
            entries_.begin());
        position_ = position;
    }
    uint64_t position() const override { return position_; }

private:
    // After the chunk (and its pad byte, unless the file ends without it).
    uint64_t End(const Entry& e) const {
        return std::min(e.offset + 8 + e.length + (e.length & 1), file_size_);
    }

    bool ReadAt(uint64_t at, uint8_t* out, std::size_t n) {
        if (n == 0) return true;
        return fseeko(file_, static_cast<off_t>(at), SEEK_SET) == 0 &&
               std::fread(out, 1, n, file_) == n;
    }

    bool IsKey(Entry& e, const uint8_t* data) {
        if (e.key < 0) {
            const std::size_t look = std::min<std::size_t>(e.length, kKeyProbeBytes);
            uint8_t probe[kKeyProbeBytes];
            if (data == nullptr && !ReadAt(e.offset + 8, probe, look)) return false;
            e.key = H264HasKeyFrame(data != nullptr ? data : probe, look) ? 1 : 0;
        }
        return e.key == 1;
    }

    RecordKind Read(MediaRecord* record, bool read_payload) {
        if (next_ >= entries_.size()) return RecordKind::kEnd;
        Entry& e = entries_[next_++];
        position_ = End(e);
        *record = MediaRecord{};
        record->offset = e.offset;
        record->payload = payload_;
        wire::MutableFragmentHeader h(record->header);
        if (e.audio_type != 0) {
            record->kind = 'A';
            const std::size_t length = kAudioPrefixBytes + e.length;
            if (length > 0xFFFF) return RecordKind::kOther;  // longer than an audio record holds
            h.set_audio_type(e.audio_type);
            h.set_fragment_count(1);
            h.set_fragment_length(static_cast<uint16_t>(length));
            record->length = length;
            // The audio header a native record carries: 00 01, then the length in words.
            payload_[0] = 0;
            payload_[1] = 1;
            zyn::wire::StoreLe16(payload_ + 2, static_cast<uint16_t>(e.length / 2));
            record->complete = !read_payload || ReadAt(e.offset + 8, payload_ + 4, e.length);
            return RecordKind::kAudio;
        }
        record->kind = 'V';
        record->length = e.length;
        const uint64_t at_us = uint64_t{e.number} * frame_us_;
        h.set_fragment_index(0);
        h.set_fragment_count(1);
        h.set_frame_number(e.number);
        h.set_total_length(e.length);
        h.set_fragment_length(static_cast<uint16_t>(std::min<uint32_t>(e.length, 0xFFFF)));
        h.set_time_sec(static_cast<uint32_t>(kFirstFrameSeconds + at_us / 1'000'000));
        h.set_time_msec(static_cast<uint16_t>(at_us / 1000 % 1000));
        if (e.length >= kFrameBufferBytes) {
            record->oversized = true;
            h.set_frame_type(IsKey(e, nullptr) ? kKeyFrameType : kOtherFrameType);
            return RecordKind::kVideo;
        }
        if (read_payload) {
            record->complete = ReadAt(e.offset + 8, payload_, e.length);
            if (!record->complete) return RecordKind::kVideo;
            h.set_frame_type(IsKey(e, payload_) ? kKeyFrameType : kOtherFrameType);
        } else {
            record->complete = true;
            h.set_frame_type(IsKey(e, nullptr) ? kKeyFrameType : kOtherFrameType);
        }
        return RecordKind::kVideo;
    }

    std::FILE* file_;
    std::vector<Entry> entries_;  // by offset
    std::size_t next_ = 0;        // the entry read next
    uint64_t position_ = 0;
    uint64_t file_size_;
    uint32_t frame_us_;
    std::unique_ptr<uint8_t[]> own_payload_;
    uint8_t* payload_;  // kFrameBufferBytes
};

}  // namespace

OpenedRecording OpenRecording(std::FILE* file, uint8_t* payload_buffer) {
    OpenedRecording r;
    if (file == nullptr) return r;
    uint8_t head[kRecordingHeaderBytes];
    std::clearerr(file);
    const std::size_t got =
        fseeko(file, 0, SEEK_SET) == 0 ? std::fread(head, 1, sizeof head, file) : 0;
    AviChunkReader chunks;
    if (LooksLikeAvi(head, got) && chunks.Open(file, nullptr)) {
        r.format = RecordingFormat::kAvi;
        const AviHeader info = ParseAviHeader(chunks.header_list());
        r.picture_width = static_cast<int>(std::min<uint32_t>(info.width, 0xFFFF));
        r.picture_height = static_cast<int>(std::min<uint32_t>(info.height, 0xFFFF));
        r.records_start = chunks.end();
        std::vector<AviRecordReader::Entry> entries;
        uint32_t video = 0;
        AviChunk c;
        while (chunks.Next(&c)) {
            AviRecordReader::Entry e;
            e.offset = c.offset;
            e.length = c.length;
            if (c.video()) {
                e.number = video++;
            } else {
                const int stream = AviStreamNumber(c.tag);
                if (stream >= 0 && static_cast<std::size_t>(stream) < info.streams.size())
                    e.audio_type = AudioTypeOf(info.streams[static_cast<std::size_t>(stream)]);
                if (e.audio_type == 0) continue;  // a sound the output does not play
            }
            entries.push_back(e);
        }
        r.avi_video_chunks = video;
        const uint32_t frame_us = info.microseconds_per_frame != 0 ? info.microseconds_per_frame
                                                                   : kDefaultFrameMicroseconds;
        r.reader = std::make_unique<AviRecordReader>(file, std::move(entries), r.records_start,
                                                     chunks.file_size(), frame_us, payload_buffer);
        return r;
    }
    r.header = ParseRecordingHeader(head, got);
    r.records_start = r.header.valid ? kRecordingHeaderBytes : 0;
    r.picture_width = r.header.picture_width;
    r.picture_height = r.header.picture_height;
    std::clearerr(file);
    fseeko(file, static_cast<off_t>(r.records_start), SEEK_SET);
    r.reader = std::make_unique<RecordReader>(std::make_unique<FileByteSource>(file),
                                              r.records_start, payload_buffer);
    return r;
}

}  // namespace mediafile
