#include "renderkit/h264_decoder.h"

#include "renderkit/ffmpeg_util.h"

namespace renderkit {

H264Decoder::H264Decoder() = default;
H264Decoder::~H264Decoder() {
    Close();
}

bool H264Decoder::Open() {
    Close();
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    if (codec == nullptr) return false;
    context_ = avcodec_alloc_context3(codec);
    packet_ = av_packet_alloc();
    picture_ = av_frame_alloc();
    if (context_ == nullptr || packet_ == nullptr || picture_ == nullptr) {
        Close();
        return false;
    }
    // Slice threads only: frame threads would hold pictures back by one frame
    // per thread, and a live picture must show as soon as its frame arrived.
    context_->thread_type = FF_THREAD_SLICE;
    context_->thread_count = 0;
    context_->flags |= AV_CODEC_FLAG_LOW_DELAY;
    if (avcodec_open2(context_, codec, nullptr) < 0) {
        Close();
        return false;
    }
    return true;
}

void H264Decoder::Close() {
    if (context_ != nullptr) avcodec_free_context(&context_);
    if (packet_ != nullptr) av_packet_free(&packet_);
    if (picture_ != nullptr) av_frame_free(&picture_);
}

bool H264Decoder::Decode(const uint8_t* data, size_t length, uint32_t number,
                         const PictureFn& on_picture) {
    if (context_ == nullptr || data == nullptr || length == 0 || length > INT32_MAX) return false;
    // The packet borrows the caller's buffer (no copy, no ownership).
    av_packet_unref(packet_);
    packet_->data = const_cast<uint8_t*>(data);
    packet_->size = static_cast<int>(length);
    packet_->pts = number;
    packet_->dts = number;
    int sent = avcodec_send_packet(context_, packet_);
    packet_->data = nullptr;
    packet_->size = 0;
    const bool ok = sent >= 0 || sent == AVERROR(EAGAIN);
    Receive(number, on_picture);
    return ok;
}

void H264Decoder::Drain(const PictureFn& on_picture) {
    if (context_ == nullptr) return;
    if (avcodec_send_packet(context_, nullptr) >= 0) Receive(0, on_picture);
    avcodec_flush_buffers(context_);
}

int H264Decoder::reorder_delay() const {
    return context_ != nullptr ? context_->has_b_frames : 0;
}

void H264Decoder::Receive(uint32_t number, const PictureFn& on_picture) {
    for (;;) {
        const int got = avcodec_receive_frame(context_, picture_);
        if (got < 0) break;  // EAGAIN: needs more input; errors: nothing to show
        const uint32_t out_number =
            picture_->pts == AV_NOPTS_VALUE ? number : static_cast<uint32_t>(picture_->pts);
        const bool damaged =
            picture_->decode_error_flags != 0 || (picture_->flags & AV_FRAME_FLAG_CORRUPT) != 0;
        on_picture(picture_, out_number, damaged);
        av_frame_unref(picture_);
    }
}

void H264Decoder::Flush() {
    if (context_ != nullptr) avcodec_flush_buffers(context_);
}

}  // namespace renderkit
