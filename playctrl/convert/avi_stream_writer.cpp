#include "playctrl/convert/avi_stream_writer.h"

#include <sys/types.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace playctrl::convert {

using mediafile::kAviKeyFrameFlag;
using mediafile::kRiffUnknownSize;
using mediafile::RiffBytes;

namespace {

constexpr uint32_t kAvihFlags = 0x910;  // has index, interleaved, trust chunk type
constexpr uint32_t kVideoStreamFlags = 1;
constexpr uint32_t kAvihSuggestedBuffer = 1000000;

// "NNdc" / "NNwb": the stream number in two digits, then the kind.
void ChunkTag(int stream, const char* kind, char (&tag)[4]) {
    const int n = stream < 0 ? 0 : stream % 100;
    tag[0] = static_cast<char>('0' + n / 10);
    tag[1] = static_cast<char>('0' + n % 10);
    tag[2] = kind[0];
    tag[3] = kind[1];
}

uint32_t Clamp32(uint64_t v) {
    return v > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(v);
}

}  // namespace

CAviStreamWriter::~CAviStreamWriter() {
    Close();
}

int CAviStreamWriter::Open(const char* path) {
    Close();
    open_error_ = 0;
    streams_.clear();
    video_ = audio_ = -1;
    width_ = height_ = 0;
    header_written_ = false;
    data_start_ = 0;
    video_samples_ = audio_samples_ = 0;
    audio_bytes_ = total_bytes_ = 0;
    final_file_size_ = final_data_end_ = 0;
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
    chunks_.Start(file_, 0);
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
        case 11:
            code = "XVID";
            break;
        case 3:
            code = "H263";
            break;
        case 4:
            code = "H264";
            break;
        default:
            return -1;
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
    s.format.U32(40);
    s.format.U32(static_cast<uint32_t>(width));
    s.format.U32(static_cast<uint32_t>(height));
    s.format.U16(1);   // planes
    s.format.U16(24);  // bits per pixel
    s.format.Tag(code);
    s.format.U32(image_bytes);
    for (int i = 0; i < 4; ++i) s.format.U32(0);
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
        case 1:
            tag = 1;
            break;
        case 2:
        case 3:
            tag = 0x55;
            break;
        case 21:
        case 22:
        case 23:
        case 29:
            tag = 0xA280;
            break;
        default:
            return -1;
    }
    if (audio_ >= 0 || sample_rate <= 0 || bits_per_sample <= 0 || channels <= 0) return -1;
    if (const int e = CanAddStream()) return e;
    Stream s;
    s.scale = 2;
    s.rate = 16000;
    s.suggested_buffer = 8000;
    s.sample_size = 2;
    // WAVEFORMATEX: 18 bytes.
    s.format.U16(tag);
    s.format.U16(static_cast<uint32_t>(channels));
    s.format.U32(static_cast<uint32_t>(sample_rate));
    s.format.U32(Clamp32(static_cast<uint64_t>(sample_rate) * bits_per_sample * channels / 8));
    s.format.U16(2);  // block alignment
    s.format.U16(static_cast<uint32_t>(bits_per_sample));
    s.format.U16(0);  // extra size
    audio_ = static_cast<int>(streams_.size());
    streams_.push_back(std::move(s));
    return 0;
}

RiffBytes CAviStreamWriter::BuildHeader(bool final_sizes) const {
    RiffBytes h;
    const double usec_per_frame =
        video_ >= 0 ? 1e6 * streams_[video_].scale / streams_[video_].rate : 0.0;
    h.Tag("RIFF");
    h.U32(final_sizes ? Clamp32(final_file_size_ - 8) : kRiffUnknownSize);
    h.Tag("AVI ");
    h.Tag("LIST");
    const std::size_t hdrl_size_at = h.size();
    h.U32(0);
    h.Tag("hdrl");
    h.Tag("avih");
    h.U32(56);
    h.U32(static_cast<uint32_t>(usec_per_frame));
    h.U32(kRiffUnknownSize);  // maximum bytes per second
    h.U32(0);                 // padding granularity
    h.U32(kAvihFlags);
    h.U32(video_samples_);
    h.U32(0);  // initial frames
    h.U32(static_cast<uint32_t>(streams_.size()));
    h.U32(kAvihSuggestedBuffer);
    h.U32(static_cast<uint32_t>(width_));
    h.U32(static_cast<uint32_t>(height_));
    for (int i = 0; i < 4; ++i) h.U32(0);
    for (const Stream& s : streams_) {
        h.Tag("LIST");
        h.U32(static_cast<uint32_t>(4 + 8 + 56 + 8 + s.format.size()));
        h.Tag("strl");
        h.Tag("strh");
        h.U32(56);
        h.Tag(s.video ? "vids" : "auds");
        h.Raw(s.handler, 4);
        h.U32(s.video ? kVideoStreamFlags : 0);
        h.U32(0);  // priority and language
        h.U32(0);  // initial frames
        h.U32(s.scale);
        h.U32(s.rate);
        h.U32(0);  // start
        h.U32(s.video ? video_samples_ : Clamp32(audio_bytes_ / s.sample_size));
        h.U32(s.suggested_buffer);
        h.U32(0);  // quality
        h.U32(s.sample_size);
        h.U16(0);  // frame rectangle
        h.U16(0);
        h.U16(s.video ? static_cast<uint32_t>(width_) : 0);
        h.U16(s.video ? static_cast<uint32_t>(height_) : 0);
        h.Tag("strf");
        h.U32(static_cast<uint32_t>(s.format.size()));
        h.Raw(s.format.data(), s.format.size());
    }
    h.SetU32(hdrl_size_at, static_cast<uint32_t>(h.size() - hdrl_size_at - 4));
    h.Tag("LIST");
    h.U32(final_sizes ? Clamp32(final_data_end_ - data_start_ + 4) : kRiffUnknownSize);
    h.Tag("movi");
    return h;
}

int CAviStreamWriter::EnsureHeader() {
    if (header_written_) return 0;
    const RiffBytes h = BuildHeader(false);
    if (const int e = chunks_.Append(h.data(), h.size())) return e;
    header_written_ = true;
    data_start_ = h.size();
    return 0;
}

int CAviStreamWriter::WriteChunk(const char* tag, const void* data, std::size_t length, bool key) {
    if (file_ == nullptr) return open_error_ ? open_error_ : EBADF;
    if (chunks_.broken()) return EIO;
    if (data == nullptr && length > 0) return -1;
    if (length > 0xFFFFFFFFull || total_bytes_ + length > max_total_bytes_) return -1;
    if (const int e = EnsureHeader()) return e;
    if (const int e = chunks_.AppendChunk(tag, data, length, key ? kAviKeyFrameFlag : 0)) return e;
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
    int error = chunks_.broken() ? EIO : 0;
    if (error == 0) {
        const int header = EnsureHeader();
        if (header != 0) error = header > 0 ? header : EIO;
    }
    if (error == 0) error = chunks_.WriteIndex();
    if (error == 0) {
        final_data_end_ = chunks_.end();
        final_file_size_ = chunks_.index_end();
        const RiffBytes h = BuildHeader(true);
        error = chunks_.WriteAt(0, h.data(), h.size());
    }
    errno = 0;
    if (error == 0 && std::fflush(file_) != 0) error = errno ? errno : EIO;
    if (std::fclose(file_) != 0 && error == 0) error = errno ? errno : EIO;
    file_ = nullptr;
    chunks_.ReleaseIndex();
    return error;
}

}  // namespace playctrl::convert
