#include "playctrl/convert/container_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
}

namespace playctrl::convert {
namespace {

constexpr int kG711Rate = 8000;
constexpr int64_t kDefaultFrameMs = 40;  // 25 frames a second when no time is known
constexpr int64_t kAacBitRate = 32'000;
// Pictures held back to find their display order: an H.264 decoder holds at
// most 16 pictures, so no picture comes out later than 16 after it.
constexpr std::size_t kReorderWindow = 16;

// The parameter sets (NAL types 7 and 8) of an Annex B frame, each behind a
// four-byte start code: the extradata the muxers turn into their own form.
std::vector<uint8_t> ParameterSets(const uint8_t* data, std::size_t bytes) {
    std::vector<uint8_t> out;
    std::size_t i = 0;
    auto next_start = [&](std::size_t from) {
        for (std::size_t k = from; k + 3 <= bytes; ++k)
            if (data[k] == 0 && data[k + 1] == 0 && data[k + 2] == 1) return k;
        return bytes;
    };
    i = next_start(0);
    while (i < bytes) {
        const std::size_t nal = i + 3;
        std::size_t end = next_start(nal);
        const std::size_t next = end;
        while (end > nal && data[end - 1] == 0) --end;  // the next start code's leading zero
        if (nal < end) {
            const int type = data[nal] & 0x1F;
            if (type == 7 || type == 8) {
                static const uint8_t kStart[] = {0, 0, 0, 1};
                out.insert(out.end(), kStart, kStart + 4);
                out.insert(out.end(), data + nal, data + end);
            }
        }
        i = next;
    }
    return out;
}

int16_t MulawToLinear(uint8_t code) {
    code = static_cast<uint8_t>(~code);
    const int exponent = (code >> 4) & 0x07;
    const int mantissa = code & 0x0F;
    const int magnitude = ((mantissa << 3) + 0x84) << exponent;
    return static_cast<int16_t>((code & 0x80) ? 0x84 - magnitude : magnitude - 0x84);
}

}  // namespace

CContainerWriter::~CContainerWriter() {
    Free();
}

void CContainerWriter::Free() {
    if (format_ != nullptr) {
        if (format_->pb != nullptr) avio_closep(&format_->pb);
        avformat_free_context(format_);
        format_ = nullptr;
    }
    avcodec_free_context(&aac_);
    av_frame_free(&aac_frame_);
    av_packet_free(&packet_);
    video_ = audio_ = nullptr;
}

bool CContainerWriter::Fail(int result, const char* what) {
    if (error_.empty()) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(result, text, sizeof text);
        error_ = std::string(what) + ": " + text;
        // libavformat's file errors are negated errno values.
        if (result < 0 && result > -4096) system_error_ = -result;
    }
    return false;
}

bool CContainerWriter::Open(const std::string& path, Container container) {
    const char* name = container == Container::kMp4 ? "mp4" : "matroska";
    int r = avformat_alloc_output_context2(&format_, nullptr, name, path.c_str());
    if (r < 0 || format_ == nullptr) return Fail(r < 0 ? r : AVERROR(ENOMEM), "no muxer");
    packet_ = av_packet_alloc();
    if (packet_ == nullptr) return Fail(AVERROR(ENOMEM), "no packet");
    r = avio_open(&format_->pb, path.c_str(), AVIO_FLAG_WRITE);
    if (r < 0) return Fail(r, "cannot open the target");
    return true;
}

bool CContainerWriter::Begin(const uint8_t* key_frame, std::size_t bytes, int width, int height,
                             bool audio) {
    if (format_ == nullptr || video_ != nullptr || !error_.empty()) return false;  // once only
    video_ = avformat_new_stream(format_, nullptr);
    if (video_ == nullptr) return Fail(AVERROR(ENOMEM), "no video stream");
    AVCodecParameters* v = video_->codecpar;
    v->codec_type = AVMEDIA_TYPE_VIDEO;
    v->codec_id = AV_CODEC_ID_H264;
    v->width = width;
    v->height = height;
    const std::vector<uint8_t> sets = ParameterSets(key_frame, key_frame ? bytes : 0);
    if (!sets.empty()) {
        v->extradata =
            static_cast<uint8_t*>(av_mallocz(sets.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (v->extradata == nullptr) return Fail(AVERROR(ENOMEM), "no extradata");
        std::memcpy(v->extradata, sets.data(), sets.size());
        v->extradata_size = static_cast<int>(sets.size());
    }
    video_->time_base = AVRational{1, 1000};

    if (audio) {
        audio_ = avformat_new_stream(format_, nullptr);
        if (audio_ == nullptr) return Fail(AVERROR(ENOMEM), "no audio stream");
        // Matroska carries G.711 as a wave format (it answers only at the
        // "unofficial" level); MP4 has no place for it.
        audio_copied_ = avformat_query_codec(format_->oformat, AV_CODEC_ID_PCM_MULAW,
                                             FF_COMPLIANCE_UNOFFICIAL) == 1;
        AVCodecParameters* a = audio_->codecpar;
        if (audio_copied_) {
            a->codec_type = AVMEDIA_TYPE_AUDIO;
            a->codec_id = AV_CODEC_ID_PCM_MULAW;
            a->sample_rate = kG711Rate;
            av_channel_layout_default(&a->ch_layout, 1);
            a->bits_per_coded_sample = 8;
            a->block_align = 1;
            a->bit_rate = kG711Rate * 8;
        } else {
            const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
            if (codec == nullptr) return Fail(AVERROR_ENCODER_NOT_FOUND, "no AAC encoder");
            aac_ = avcodec_alloc_context3(codec);
            aac_frame_ = av_frame_alloc();
            if (aac_ == nullptr || aac_frame_ == nullptr)
                return Fail(AVERROR(ENOMEM), "no AAC encoder");
            aac_->sample_fmt = AV_SAMPLE_FMT_FLTP;
            aac_->sample_rate = kG711Rate;
            av_channel_layout_default(&aac_->ch_layout, 1);
            aac_->bit_rate = kAacBitRate;
            aac_->time_base = AVRational{1, kG711Rate};
            if (format_->oformat->flags & AVFMT_GLOBALHEADER)
                aac_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
            int r = avcodec_open2(aac_, codec, nullptr);
            if (r < 0) return Fail(r, "cannot open the AAC encoder");
            r = avcodec_parameters_from_context(a, aac_);
            if (r < 0) return Fail(r, "AAC parameters");
        }
        audio_->time_base = AVRational{1, kG711Rate};
    }
    const int r = avformat_write_header(format_, nullptr);
    if (r < 0) return Fail(r, "cannot write the container header");
    begun_ = true;
    return true;
}

bool CContainerWriter::WritePacket(AVPacket* packet, AVStream* stream, int64_t time_base_den) {
    packet->stream_index = stream->index;
    av_packet_rescale_ts(packet, AVRational{1, static_cast<int>(time_base_den)}, stream->time_base);
    const int r = av_interleaved_write_frame(format_, packet);
    av_packet_unref(packet);
    if (r < 0) return Fail(r, "write");
    if (format_->pb != nullptr && format_->pb->error < 0) return Fail(format_->pb->error, "write");
    return true;
}

bool CContainerWriter::FlushVideo(bool all) {
    // Place pictures in display order while enough follow them in decode
    // order that no later one can be shown before them.
    while (unplaced_ > 0 && (all || unplaced_ > kReorderWindow) && !slots_.empty()) {
        HeldVideo* first = nullptr;
        for (HeldVideo& v : held_) {
            if (v.pts_ms >= 0) continue;
            if (first == nullptr || v.order.run < first->order.run ||
                (v.order.run == first->order.run && v.order.count < first->order.count))
                first = &v;
        }
        first->pts_ms = slots_.front();
        slots_.pop_front();
        if (!slots_.empty()) last_duration_ = slots_.front() - first->pts_ms;
        first->duration_ms = last_duration_ > 0 ? last_duration_ : kDefaultFrameMs;
        --unplaced_;
    }
    if (reorder_delay_ms_ < 0) {
        // How far decoding runs ahead of display, measured on the first
        // pictures placed (nothing is written before).
        if (!all && held_.size() - unplaced_ < kReorderWindow) return true;
        reorder_delay_ms_ = 0;
        for (const HeldVideo& v : held_)
            if (v.pts_ms >= 0)
                reorder_delay_ms_ = std::max(reorder_delay_ms_, v.time_ms - v.pts_ms);
    }
    while (!held_.empty() && held_.front().pts_ms >= 0) {
        HeldVideo& v = held_.front();
        int64_t dts = std::min(v.time_ms - reorder_delay_ms_, v.pts_ms);
        if (wrote_video_ && dts <= last_dts_) dts = last_dts_ + 1;
        if (v.pts_ms < dts) v.pts_ms = dts;  // a stream that reorders more than it first did
        if (av_new_packet(packet_, static_cast<int>(v.data.size())) < 0)
            return Fail(AVERROR(ENOMEM), "packet");
        std::memcpy(packet_->data, v.data.data(), v.data.size());
        packet_->pts = v.pts_ms;
        packet_->dts = dts;
        packet_->duration = v.duration_ms;
        if (v.key) packet_->flags |= AV_PKT_FLAG_KEY;
        last_dts_ = dts;
        wrote_video_ = true;
        held_.pop_front();
        if (!WritePacket(packet_, video_, 1000)) return false;
    }
    return true;
}

bool CContainerWriter::WriteVideo(const uint8_t* frame, std::size_t bytes, bool key,
                                  int64_t time_ms) {
    if (!begun_ || frame == nullptr || bytes == 0 || bytes > static_cast<std::size_t>(INT32_MAX))
        return false;
    HeldVideo v;
    v.data.assign(frame, frame + bytes);
    v.key = key;
    v.time_ms = time_ms;
    v.order = order_.Next(frame, bytes);
    held_.push_back(std::move(v));
    slots_.push_back(time_ms);
    ++unplaced_;
    return FlushVideo(false);
}

bool CContainerWriter::WriteAudio(const uint8_t* g711, std::size_t bytes) {
    if (!begun_ || audio_ == nullptr || g711 == nullptr || bytes == 0 ||
        bytes > static_cast<std::size_t>(INT32_MAX))
        return false;
    if (audio_copied_) {
        if (av_new_packet(packet_, static_cast<int>(bytes)) < 0)
            return Fail(AVERROR(ENOMEM), "packet");
        std::memcpy(packet_->data, g711, bytes);
        packet_->pts = packet_->dts = audio_samples_in_;
        packet_->duration = static_cast<int64_t>(bytes);
        packet_->flags |= AV_PKT_FLAG_KEY;
        audio_samples_in_ += static_cast<int64_t>(bytes);
        return WritePacket(packet_, audio_, kG711Rate);
    }
    for (std::size_t i = 0; i < bytes; ++i)
        pending_samples_.push_back(static_cast<float>(MulawToLinear(g711[i])) / 32768.0f);
    return EncodeAudio(false);
}

bool CContainerWriter::EncodeAudio(bool flush) {
    const std::size_t frame_samples = static_cast<std::size_t>(aac_->frame_size);
    std::size_t used = 0;
    auto drain = [&]() {
        for (;;) {
            const int r = avcodec_receive_packet(aac_, packet_);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
            if (r < 0) return Fail(r, "AAC encoding");
            if (!WritePacket(packet_, audio_, kG711Rate)) return false;
        }
    };
    while (pending_samples_.size() - used >= frame_samples ||
           (flush && pending_samples_.size() > used)) {
        const std::size_t n = std::min(frame_samples, pending_samples_.size() - used);
        av_frame_unref(aac_frame_);
        aac_frame_->format = AV_SAMPLE_FMT_FLTP;
        aac_frame_->sample_rate = kG711Rate;
        av_channel_layout_default(&aac_frame_->ch_layout, 1);
        aac_frame_->nb_samples = static_cast<int>(n);
        int r = av_frame_get_buffer(aac_frame_, 0);
        if (r < 0) return Fail(r, "AAC frame");
        std::memcpy(aac_frame_->data[0], pending_samples_.data() + used, n * sizeof(float));
        aac_frame_->pts = audio_samples_in_;
        audio_samples_in_ += static_cast<int64_t>(n);
        used += n;
        r = avcodec_send_frame(aac_, aac_frame_);
        if (r < 0) return Fail(r, "AAC encoding");
        if (!drain()) return false;
    }
    pending_samples_.erase(pending_samples_.begin(),
                           pending_samples_.begin() + static_cast<std::ptrdiff_t>(used));
    if (flush) {
        const int r = avcodec_send_frame(aac_, nullptr);
        if (r < 0 && r != AVERROR_EOF) return Fail(r, "AAC encoding");
        if (!drain()) return false;
    }
    return true;
}

bool CContainerWriter::Close() {
    if (closed_) return error_.empty();
    closed_ = true;
    bool ok = error_.empty();
    if (format_ != nullptr && begun_) {
        if (ok) ok = FlushVideo(true);
        if (ok && aac_ != nullptr) ok = EncodeAudio(true);
        const int r = av_write_trailer(format_);
        if (r < 0) ok = Fail(r, "cannot finish the container");
    }
    if (format_ != nullptr && format_->pb != nullptr) {
        avio_flush(format_->pb);
        if (format_->pb->error < 0) ok = Fail(format_->pb->error, "write");
        const int r = avio_closep(&format_->pb);
        if (r < 0) ok = Fail(r, "write");
    }
    Free();
    return ok && error_.empty();
}

}  // namespace playctrl::convert
