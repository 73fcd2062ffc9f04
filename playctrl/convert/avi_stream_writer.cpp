#include "playctrl/convert/avi_stream_writer.h"

#include <sys/types.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace playctrl::convert {
namespace {

constexpr uint32_t kAvihFlags = 0x910;  // has index, interleaved, trust chunk type
constexpr uint32_t kUnknownSize = 0xFFFFFFFFu;
constexpr uint32_t kKeyFlag = 0x10;
constexpr uint32_t kVideoStreamFlags = 1;
constexpr uint32_t kAvihSuggestedBuffer = 1000000;

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void PutTag(std::vector<uint8_t>& out, const char* tag) { out.insert(out.end(), tag, tag + 4); }
void Set32(std::vector<uint8_t>& out, std::size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// "NNdc" / "NNwb": the stream number in two digits, then the kind.
void ChunkTag(int stream, const char* kind, char (&tag)[4]) {
    const int n = stream < 0 ? 0 : stream % 100;
    tag[0] = static_cast<char>('0' + n / 10);
    tag[1] = static_cast<char>('0' + n % 10);
    tag[2] = kind[0];
    tag[3] = kind[1];
}

uint32_t Clamp32(uint64_t v) { return v > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(v); }

}  // namespace

CAviStreamWriter::~CAviStreamWriter() { Close(); }

int CAviStreamWriter::Open(const char* path) {
    Close();
    open_error_ = 0;
    broken_ = false;
    streams_.clear();
    video_ = audio_ = -1;
    width_ = height_ = 0;
    header_written_ = false;
    data_start_ = end_ = 0;
    video_samples_ = audio_samples_ = 0;
    audio_bytes_ = total_bytes_ = 0;
    final_file_size_ = final_data_end_ = 0;
    index_.clear();
    if (path == nullptr || *path == '\0') {
        open_error_ = ENOENT;
        return open_error_;
    }
    path_ = path;
    std::error_code ec;
    const std::filesystem::path p(path_);
    std::filesystem::remove(p, ec);
    if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path(), ec);
    file_ = std::fopen(path, "wb");
    if (file_ == nullptr) {
        open_error_ = errno ? errno : EIO;
        return open_error_;
    }
    return 0;
}

int CAviStreamWriter::CanAddStream() const {
    if (file_ == nullptr) return open_error_ ? open_error_ : EBADF;
    if (header_written_) return -1;
    return 0;
}

int CAviStreamWriter::AddVideoStream(int width, int height, int rate, int scale, int codec_type) {
    const char* code = nullptr;
    switch (codec_type) {
        case 1:
        case 11: code = "XVID"; break;
        case 3: code = "H263"; break;
        case 4: code = "H264"; break;
        default: return -1;
    }
    if (video_ >= 0 || width < 0 || height < 0 || rate <= 0 || scale <= 0) return -1;
    if (const int e = CanAddStream()) return e;
    Stream s;
    s.video = true;
    std::memcpy(s.handler, code, 4);
    s.scale = static_cast<uint32_t>(scale);
    s.rate = static_cast<uint32_t>(rate);
    const uint32_t image_bytes = Clamp32(static_cast<uint64_t>(width) * height * 3);
    s.suggested_buffer = image_bytes;
    // BITMAPINFOHEADER: 40 bytes.
    Put32(s.format, 40);
    Put32(s.format, static_cast<uint32_t>(width));
    Put32(s.format, static_cast<uint32_t>(height));
    Put16(s.format, 1);   // planes
    Put16(s.format, 24);  // bits per pixel
    PutTag(s.format, code);
    Put32(s.format, image_bytes);
    for (int i = 0; i < 4; ++i) Put32(s.format, 0);
    width_ = width;
    height_ = height;
    video_ = static_cast<int>(streams_.size());
    streams_.push_back(std::move(s));
    return 0;
}

int CAviStreamWriter::AddAudioStream(int sample_rate, int bits_per_sample, int channels,
                                     int codec_type) {
    uint16_t tag = 0;
    switch (codec_type) {
        case 1: tag = 1; break;
        case 2:
        case 3: tag = 0x55; break;
        case 21:
        case 22:
        case 23:
        case 29: tag = 0xA280; break;
        default: return -1;
    }
    if (audio_ >= 0 || sample_rate <= 0 || bits_per_sample <= 0 || channels <= 0) return -1;
    if (const int e = CanAddStream()) return e;
    Stream s;
    s.scale = 2;
    s.rate = 16000;
    s.suggested_buffer = 8000;
    s.sample_size = 2;
    // WAVEFORMATEX: 18 bytes.
    Put16(s.format, tag);
    Put16(s.format, static_cast<uint32_t>(channels));
    Put32(s.format, static_cast<uint32_t>(sample_rate));
    Put32(s.format, Clamp32(static_cast<uint64_t>(sample_rate) * bits_per_sample * channels / 8));
    Put16(s.format, 2);  // block alignment
    Put16(s.format, static_cast<uint32_t>(bits_per_sample));
    Put16(s.format, 0);  // extra size
    audio_ = static_cast<int>(streams_.size());
    streams_.push_back(std::move(s));
    return 0;
}

std::vector<uint8_t> CAviStreamWriter::BuildHeader(bool final_sizes) const {
    std::vector<uint8_t> h;
    h.reserve(512);
    const double usec_per_frame =
        video_ >= 0 ? 1e6 * streams_[video_].scale / streams_[video_].rate : 0.0;
    PutTag(h, "RIFF");
    Put32(h, final_sizes ? Clamp32(final_file_size_ - 8) : kUnknownSize);
    PutTag(h, "AVI ");
    PutTag(h, "LIST");
    const std::size_t hdrl_size_at = h.size();
    Put32(h, 0);
    PutTag(h, "hdrl");
    PutTag(h, "avih");
    Put32(h, 56);
    Put32(h, static_cast<uint32_t>(usec_per_frame));
    Put32(h, kUnknownSize);  // maximum bytes per second
    Put32(h, 0);             // padding granularity
    Put32(h, kAvihFlags);
    Put32(h, video_samples_);
    Put32(h, 0);  // initial frames
    Put32(h, static_cast<uint32_t>(streams_.size()));
    Put32(h, kAvihSuggestedBuffer);
    Put32(h, static_cast<uint32_t>(width_));
    Put32(h, static_cast<uint32_t>(height_));
    for (int i = 0; i < 4; ++i) Put32(h, 0);
    for (const Stream& s : streams_) {
        PutTag(h, "LIST");
        Put32(h, static_cast<uint32_t>(4 + 8 + 56 + 8 + s.format.size()));
        PutTag(h, "strl");
        PutTag(h, "strh");
        Put32(h, 56);
        PutTag(h, s.video ? "vids" : "auds");
        h.insert(h.end(), s.handler, s.handler + 4);
        Put32(h, s.video ? kVideoStreamFlags : 0);
        Put32(h, 0);  // priority and language
        Put32(h, 0);  // initial frames
        Put32(h, s.scale);
        Put32(h, s.rate);
        Put32(h, 0);  // start
        Put32(h, s.video ? video_samples_ : Clamp32(audio_bytes_ / s.sample_size));
        Put32(h, s.suggested_buffer);
        Put32(h, 0);  // quality
        Put32(h, s.sample_size);
        Put16(h, 0);  // frame rectangle
        Put16(h, 0);
        Put16(h, s.video ? static_cast<uint32_t>(width_) : 0);
        Put16(h, s.video ? static_cast<uint32_t>(height_) : 0);
        PutTag(h, "strf");
        Put32(h, static_cast<uint32_t>(s.format.size()));
        h.insert(h.end(), s.format.begin(), s.format.end());
    }
    Set32(h, hdrl_size_at, static_cast<uint32_t>(h.size() - hdrl_size_at - 4));
    PutTag(h, "LIST");
    Put32(h, final_sizes ? Clamp32(final_data_end_ - data_start_ + 4) : kUnknownSize);
    PutTag(h, "movi");
    return h;
}

int CAviStreamWriter::EnsureHeader() {
    if (header_written_) return 0;
    const std::vector<uint8_t> h = BuildHeader(false);
    if (std::fwrite(h.data(), 1, h.size(), file_) != h.size()) {
        broken_ = true;
        return errno ? errno : EIO;
    }
    header_written_ = true;
    data_start_ = end_ = h.size();
    return 0;
}

int CAviStreamWriter::WriteChunk(const char* tag, const void* data,
                                 std::size_t length, bool key) {
    if (file_ == nullptr) return open_error_ ? open_error_ : EBADF;
    if (broken_) return EIO;
    if (data == nullptr && length > 0) return -1;
    if (length > 0xFFFFFFFFull || total_bytes_ + length > max_total_bytes_) return -1;
    if (const int e = EnsureHeader()) return e;
    uint8_t head[8];
    std::memcpy(head, tag, 4);
    for (int i = 0; i < 4; ++i) head[4 + i] = static_cast<uint8_t>(length >> (8 * i));
    const uint8_t pad = 0;
    bool ok = std::fwrite(head, 1, 8, file_) == 8;
    ok = ok && (length == 0 || std::fwrite(data, 1, length, file_) == length);
    ok = ok && ((length & 1) == 0 || std::fwrite(&pad, 1, 1, file_) == 1);
    if (!ok) {
        const int e = errno ? errno : EIO;
        // Leave the sample out whole: continue at the end of the last one.
        std::clearerr(file_);
        if (fseeko(file_, static_cast<off_t>(end_), SEEK_SET) != 0) broken_ = true;
        return e;
    }
    const uint64_t at = end_;
    end_ += 8 + length + (length & 1);
    std::vector<uint8_t>& x = index_;
    x.insert(x.end(), tag, tag + 4);
    Put32(x, key ? kKeyFlag : 0);
    Put32(x, static_cast<uint32_t>(at));
    Put32(x, static_cast<uint32_t>(length));
    total_bytes_ += length;
    return 0;
}

int CAviStreamWriter::WriteVideo(const void* data, std::size_t length, bool key) {
    if (file_ != nullptr && video_ < 0) return -1;
    char tag[4];
    ChunkTag(video_, "dc", tag);
    const int r = WriteChunk(tag, data, length, key);
    if (r == 0) ++video_samples_;
    return r;
}

int CAviStreamWriter::WriteAudio(const void* data, std::size_t length) {
    if (audio_ < 0) return 0;
    char tag[4];
    ChunkTag(audio_, "wb", tag);
    const int r = WriteChunk(tag, data, length, true);
    if (r == 0) {
        ++audio_samples_;
        audio_bytes_ += length;
    }
    return r;
}

int CAviStreamWriter::Close() {
    if (file_ == nullptr) return 0;
    int error = broken_ ? EIO : 0;
    const int header = broken_ ? -1 : EnsureHeader();
    if (!broken_ && header != 0) error = header > 0 ? header : EIO;
    if (header == 0) {
        std::clearerr(file_);
        errno = 0;
        bool ok = fseeko(file_, static_cast<off_t>(end_), SEEK_SET) == 0;
        std::vector<uint8_t> idx;
        PutTag(idx, "idx1");
        Put32(idx, static_cast<uint32_t>(index_.size()));
        ok = ok && std::fwrite(idx.data(), 1, idx.size(), file_) == idx.size();
        ok = ok && (index_.empty() ||
                    std::fwrite(index_.data(), 1, index_.size(), file_) == index_.size());
        if (ok) {
            final_data_end_ = end_;
            final_file_size_ = end_ + idx.size() + index_.size();
            const std::vector<uint8_t> h = BuildHeader(true);
            ok = fseeko(file_, 0, SEEK_SET) == 0 &&
                 std::fwrite(h.data(), 1, h.size(), file_) == h.size();
        }
        ok = ok && std::fflush(file_) == 0;
        if (!ok) error = errno ? errno : EIO;
    }
    if (std::fclose(file_) != 0 && error == 0) error = errno ? errno : EIO;
    file_ = nullptr;
    index_.clear();
    index_.shrink_to_fit();
    return error;
}

}  // namespace playctrl::convert
