#include "playctrl/convert/ff_codecs.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace playctrl::convert {
namespace {

// Old FFmpeg names: the truncated-input capability and the matching context flag.
constexpr int kCapTruncated = 0x0008;
constexpr int kFlagTruncated = 0x00010000;
constexpr int kFlagUnaligned = 0x0001;

std::atomic<bool> g_fail_audio_context{false};

// FFmpeg's codec threads synchronise inside the (uninstrumented) libraries,
// which ThreadSanitizer cannot see: TSan builds run the codecs on one thread.
int ThreadCount(int threads) {
#if defined(__SANITIZE_THREAD__)
    (void)threads;
    return 1;
#else
    return threads < 0 ? 1 : threads;
#endif
}

}  // namespace

// ---- CFFDecoder -----------------------------------------------------------------------

int CFFDecoder::OpenVideo(int threads) {
    Close();
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    if (codec == nullptr) return 0;
    context_ = avcodec_alloc_context3(codec);
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (context_ == nullptr || frame_ == nullptr || packet_ == nullptr) {
        Close();
        return 0;
    }
    context_->pix_fmt = AV_PIX_FMT_YUV420P;
    if (codec->capabilities & kCapTruncated) context_->flags |= kFlagTruncated;
    context_->thread_count = ThreadCount(threads);
    context_->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (avcodec_open2(context_, codec, nullptr) < 0) {
        Close();
        return 0;
    }
    av_frame_unref(frame_);
    return 1;
}

int CFFDecoder::OpenAudio() {
    Close();
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_PCM_MULAW);
    if (codec == nullptr) return 0;
    context_ = avcodec_alloc_context3(codec);
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (context_ == nullptr || frame_ == nullptr || packet_ == nullptr) {
        Close();
        return 0;
    }
    context_->bit_rate = kAudioDecoderBitRate;
    context_->sample_rate = kAudioSampleRate;
    av_channel_layout_default(&context_->ch_layout, 1);
    context_->sample_fmt = AV_SAMPLE_FMT_S16;
    context_->block_align = 2;
    context_->codec_type = AVMEDIA_TYPE_AUDIO;
    context_->flags |= kFlagUnaligned;
    if (avcodec_open2(context_, codec, nullptr) < 0) {
        Close();
        return 0;
    }
    return 1;
}

int CFFDecoder::Receive() {
    av_frame_unref(frame_);
    if (avcodec_receive_frame(context_, frame_) < 0) return 0;
    width_ = context_->width;
    height_ = context_->height;
    return 1;
}

int CFFDecoder::DecodeVideo(const uint8_t* data, int size) {
    if (context_ == nullptr || frame_ == nullptr || data == nullptr || size <= 0) return 0;
    packet_->data = const_cast<uint8_t*>(data);
    packet_->size = size;
    const int sent = avcodec_send_packet(context_, packet_);
    av_packet_unref(packet_);
    if (sent < 0 && sent != AVERROR(EAGAIN)) return 0;
    return Receive();
}

int CFFDecoder::ReceivePicture() {
    if (context_ == nullptr || frame_ == nullptr) return 0;
    return Receive();
}

void CFFDecoder::FlushVideo() {
    if (context_ != nullptr) avcodec_send_packet(context_, nullptr);
}

int CFFDecoder::DecodeAudio(const uint8_t* data, int size, uint8_t* out, int out_capacity,
                            int* out_bytes) {
    if (context_ == nullptr || frame_ == nullptr || data == nullptr || size < 1 || out == nullptr ||
        out_bytes == nullptr)
        return 0;
    packet_->data = const_cast<uint8_t*>(data);
    packet_->size = size;
    const int sent = avcodec_send_packet(context_, packet_);
    av_packet_unref(packet_);
    if (sent < 0) return 0;
    int produced = 0;
    while (avcodec_receive_frame(context_, frame_) == 0) {
        const int bytes = frame_->nb_samples * frame_->ch_layout.nb_channels *
                          av_get_bytes_per_sample(static_cast<AVSampleFormat>(frame_->format));
        const int n = std::min(bytes, out_capacity - produced);
        if (n > 0 && frame_->format == AV_SAMPLE_FMT_S16) {
            std::memcpy(out + produced, frame_->data[0], static_cast<std::size_t>(n));
            produced += n;
        }
        av_frame_unref(frame_);
    }
    if (produced <= 0) return 0;
    *out_bytes = produced;
    return 1;
}

void CFFDecoder::Close() {
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&context_);
}

// ---- CFFEncoder -----------------------------------------------------------------------

void CFFEncoder::SetAudioContextAllocationFailsForTesting(bool fail) {
    g_fail_audio_context.store(fail);
}

int CFFEncoder::OpenVideo(int threads) {
    Close();
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG2VIDEO);
    if (codec == nullptr) return -1;
    context_ = avcodec_alloc_context3(codec);
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (context_ == nullptr || frame_ == nullptr || packet_ == nullptr) {
        Close();
        return -1;
    }
    video_ = true;
    context_->bit_rate = kVideoBitRate;
    context_->width = width_;
    context_->height = height_;
    context_->time_base = AVRational{1, kVideoFrameRate};
    context_->framerate = AVRational{kVideoFrameRate, 1};
    context_->gop_size = kVideoGop;
    context_->max_b_frames = kVideoMaxBFrames;
    context_->pix_fmt = AV_PIX_FMT_YUV420P;
    context_->thread_count = ThreadCount(threads);
    if (avcodec_open2(context_, codec, nullptr) < 0) {
        Close();
        return -1;
    }
    frame_->format = AV_PIX_FMT_YUV420P;
    frame_->width = width_;
    frame_->height = height_;
    if (av_frame_get_buffer(frame_, 0) < 0) {
        Close();
        return -1;
    }
    // A clear picture: black.
    for (int y = 0; y < height_; ++y)
        std::memset(frame_->data[0] + y * frame_->linesize[0], 16, width_);
    for (int p = 1; p < 3; ++p)
        for (int y = 0; y < height_ / 2; ++y)
            std::memset(frame_->data[p] + y * frame_->linesize[p], 128, width_ / 2);
    return 1;
}

int CFFEncoder::OpenAudio(int input_sample_rate) {
    Close();
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MP2);
    if (codec == nullptr) return 0;
    context_ = g_fail_audio_context.load() ? nullptr : avcodec_alloc_context3(codec);
    if (context_ == nullptr) {
        std::fputs(kAudioContextMessage, stderr);
        return kAudioContextFailed;
    }
    video_ = false;
    context_->bit_rate = kAudioEncoderBitRate;
    context_->sample_rate = kAudioSampleRate;
    av_channel_layout_default(&context_->ch_layout, 1);
    context_->sample_fmt = AV_SAMPLE_FMT_S16;
    context_->block_align = 1;
    context_->codec_type = AVMEDIA_TYPE_AUDIO;
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (frame_ == nullptr || packet_ == nullptr || avcodec_open2(context_, codec, nullptr) < 0) {
        Close();
        return 0;
    }
    input_sample_rate_ = input_sample_rate > 0 ? input_sample_rate : kAudioSampleRate;
    if (input_sample_rate_ != kAudioSampleRate) {
        AVChannelLayout mono;
        av_channel_layout_default(&mono, 1);
        if (swr_alloc_set_opts2(&resampler_, &mono, AV_SAMPLE_FMT_S16, kAudioSampleRate, &mono,
                                AV_SAMPLE_FMT_S16, input_sample_rate_, 0, nullptr) < 0 ||
            swr_init(resampler_) < 0) {
            Close();
            return 0;
        }
    }
    fifo_ = av_audio_fifo_alloc(AV_SAMPLE_FMT_S16, 1, context_->frame_size * 4);
    frame_->format = AV_SAMPLE_FMT_S16;
    frame_->nb_samples = context_->frame_size;
    frame_->sample_rate = kAudioSampleRate;
    av_channel_layout_default(&frame_->ch_layout, 1);
    if (fifo_ == nullptr || av_frame_get_buffer(frame_, 0) < 0) {
        Close();
        return 0;
    }
    return 1;
}

int CFFEncoder::Drain(std::vector<uint8_t>* out) {
    int bytes = 0;
    while (avcodec_receive_packet(context_, packet_) == 0) {
        out->insert(out->end(), packet_->data, packet_->data + packet_->size);
        bytes += packet_->size;
        av_packet_unref(packet_);
    }
    return bytes;
}

int CFFEncoder::EncodeVideo(const AVFrame* picture, int decoder_result, std::vector<uint8_t>* out) {
    if (context_ == nullptr || !video_ || flushed_ || picture == nullptr || decoder_result <= 0 ||
        out == nullptr || picture->width <= 0 || picture->height <= 0)
        return -1;
    // The encoder may still hold the last picture (B-frames): take a fresh
    // buffer then rather than copying the old one.
    if (!av_frame_is_writable(frame_)) {
        av_frame_unref(frame_);
        frame_->format = AV_PIX_FMT_YUV420P;
        frame_->width = width_;
        frame_->height = height_;
        if (av_frame_get_buffer(frame_, 0) < 0) return -1;
    }
    if (pictures_in_ == 0) {
        // The sequence header tells players the source's shape (a 16:9
        // picture scaled to 704 x 576 is not shown squeezed): the display
        // aspect of the source becomes the pixel aspect of the output.
        AVRational sar = picture->sample_aspect_ratio;
        if (sar.num <= 0 || sar.den <= 0) sar = AVRational{1, 1};
        av_reduce(&context_->sample_aspect_ratio.num, &context_->sample_aspect_ratio.den,
                  static_cast<int64_t>(picture->width) * sar.num * height_,
                  static_cast<int64_t>(picture->height) * sar.den * width_, 255);
    }
    scaler_ = sws_getCachedContext(scaler_, picture->width, picture->height,
                                   static_cast<AVPixelFormat>(picture->format), width_, height_,
                                   AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (scaler_ == nullptr) return -1;
    sws_scale(scaler_, picture->data, picture->linesize, 0, picture->height, frame_->data,
              frame_->linesize);
    frame_->pts = next_pts_++;
    if (avcodec_send_frame(context_, frame_) < 0) return -1;
    ++pictures_in_;
    return Drain(out);
}

int CFFEncoder::FlushVideo(std::vector<uint8_t>* out) {
    if (context_ == nullptr || !video_ || out == nullptr) return -1;
    if (flushed_) return 0;
    flushed_ = true;
    avcodec_send_frame(context_, nullptr);
    return Drain(out);
}

int CFFEncoder::EncodeFifoFrames(std::vector<uint8_t>* out, bool pad_last) {
    const int frame_size = context_->frame_size;
    int bytes = 0;
    while (av_audio_fifo_size(fifo_) >= frame_size || (pad_last && av_audio_fifo_size(fifo_) > 0)) {
        if (av_frame_make_writable(frame_) < 0) return -1;
        const int n = av_audio_fifo_read(fifo_, reinterpret_cast<void**>(frame_->data), frame_size);
        if (n <= 0) break;
        if (n < frame_size)
            std::memset(frame_->data[0] + n * 2, 0, static_cast<std::size_t>(frame_size - n) * 2);
        frame_->nb_samples = frame_size;
        frame_->pts = next_pts_;
        next_pts_ += frame_size;
        if (avcodec_send_frame(context_, frame_) < 0) return -1;
        bytes += Drain(out);
    }
    return bytes;
}

int CFFEncoder::EncodeAudio(const int16_t* samples, int sample_bytes, std::vector<uint8_t>* out) {
    if (context_ == nullptr || video_ || flushed_ || samples == nullptr || sample_bytes <= 0 ||
        out == nullptr)
        return -1;
    const int count = sample_bytes / 2;
    if (count == 0) return 0;
    const int16_t* in = samples;
    int in_count = count;
    if (resampler_ != nullptr) {
        const int capacity = swr_get_out_samples(resampler_, count);
        if (capacity < 0) return -1;
        resampled_.resize(static_cast<std::size_t>(capacity) + 16);
        uint8_t* dst = reinterpret_cast<uint8_t*>(resampled_.data());
        const uint8_t* src = reinterpret_cast<const uint8_t*>(samples);
        const int n =
            swr_convert(resampler_, &dst, static_cast<int>(resampled_.size()), &src, count);
        if (n < 0) return -1;
        in = resampled_.data();
        in_count = n;
    }
    if (in_count > 0) {
        void* planes[1] = {const_cast<int16_t*>(in)};
        if (av_audio_fifo_write(fifo_, planes, in_count) < in_count) return -1;
    }
    return EncodeFifoFrames(out, false);
}

int CFFEncoder::FlushAudio(std::vector<uint8_t>* out) {
    if (context_ == nullptr || video_ || out == nullptr) return -1;
    if (flushed_) return 0;
    if (resampler_ != nullptr) {
        // What the resampler still holds.
        resampled_.resize(256);
        uint8_t* dst = reinterpret_cast<uint8_t*>(resampled_.data());
        const int n =
            swr_convert(resampler_, &dst, static_cast<int>(resampled_.size()), nullptr, 0);
        if (n > 0) {
            void* planes[1] = {resampled_.data()};
            av_audio_fifo_write(fifo_, planes, n);
        }
    }
    int bytes = EncodeFifoFrames(out, true);
    if (bytes < 0) return -1;
    flushed_ = true;
    avcodec_send_frame(context_, nullptr);
    return bytes + Drain(out);
}

void CFFEncoder::Close() {
    sws_freeContext(scaler_);
    scaler_ = nullptr;
    swr_free(&resampler_);
    if (fifo_ != nullptr) av_audio_fifo_free(fifo_);
    fifo_ = nullptr;
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&context_);
    video_ = false;
    flushed_ = false;
    next_pts_ = 0;
    pictures_in_ = 0;
}

// ---- SPS picture size -----------------------------------------------------------------

bool H264PictureSize(const uint8_t* data, std::size_t size, int* width, int* height) {
    if (data == nullptr || size == 0 || size > static_cast<std::size_t>(INT32_MAX)) return false;
    AVCodecParserContext* parser = av_parser_init(AV_CODEC_ID_H264);
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    AVCodecContext* context = codec ? avcodec_alloc_context3(codec) : nullptr;
    bool found = false;
    if (parser != nullptr && context != nullptr) {
        parser->flags |= PARSER_FLAG_COMPLETE_FRAMES;
        // The parser may look a little past the end: give it padded input.
        std::vector<uint8_t> padded(size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        std::memcpy(padded.data(), data, size);
        uint8_t* out = nullptr;
        int out_size = 0;
        av_parser_parse2(parser, context, &out, &out_size, padded.data(), static_cast<int>(size),
                         AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        if (parser->width > 0 && parser->height > 0) {
            *width = parser->width;
            *height = parser->height;
            found = true;
        }
    }
    avcodec_free_context(&context);
    if (parser != nullptr) av_parser_close(parser);
    return found;
}

// ---- Picture order ---------------------------------------------------------------------

H264PictureOrder::H264PictureOrder() {
    parser_ = av_parser_init(AV_CODEC_ID_H264);
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    context_ = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (parser_ != nullptr) parser_->flags |= PARSER_FLAG_COMPLETE_FRAMES;
}

H264PictureOrder::~H264PictureOrder() {
    avcodec_free_context(&context_);
    if (parser_ != nullptr) av_parser_close(parser_);
}

H264PictureOrder::Order H264PictureOrder::Next(const uint8_t* data, std::size_t size) {
    Order o = last_;
    o.count = started_ ? last_.count + 1 : 0;
    o.known = false;
    bool idr = false;
    // The first slice's NAL type: 5 is an IDR picture.
    for (std::size_t i = 0; data != nullptr && i + 3 < size; ++i) {
        if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1) continue;
        const int type = data[i + 3] & 0x1F;
        if (type == 1 || type == 5) {
            idr = type == 5;
            break;
        }
        i += 2;
    }
    if (parser_ != nullptr && context_ != nullptr && data != nullptr && size > 0 &&
        size <= static_cast<std::size_t>(INT32_MAX) - AV_INPUT_BUFFER_PADDING_SIZE) {
        padded_.assign(data, data + size);
        padded_.resize(size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        uint8_t* out = nullptr;
        int out_size = 0;
        parser_->pict_type = AV_PICTURE_TYPE_NONE;
        av_parser_parse2(parser_, context_, &out, &out_size, padded_.data(), static_cast<int>(size),
                         AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        if (parser_->pict_type != AV_PICTURE_TYPE_NONE) {
            o.count = parser_->output_picture_number;
            o.known = true;
        }
    }
    if (idr && started_) {
        ++o.run;
        if (!o.known) o.count = 0;
    }
    started_ = true;
    last_ = o;
    return o;
}

}  // namespace playctrl::convert
