// FFmpeg's H.264 decoder behind a small interface (send/receive API). Used by
// one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace renderkit {

class H264Decoder {
public:
    H264Decoder();
    ~H264Decoder();
    H264Decoder(const H264Decoder&) = delete;
    H264Decoder& operator=(const H264Decoder&) = delete;

    // Opens the decoder (slice threads, no frame delay). False when FFmpeg has
    // no H.264 decoder or it cannot be opened.
    bool Open();
    void Close();
    bool is_open() const { return context_ != nullptr; }

    // picture, frame number, damaged (the decoder concealed errors in it).
    using PictureFn = std::function<void(AVFrame* picture, uint32_t number, bool damaged)>;

    // Decodes one compressed frame; `data` must be followed by
    // AV_INPUT_BUFFER_PADDING_SIZE readable bytes. Every picture that comes
    // out goes to on_picture before Decode returns. False when the decoder
    // refused the data.
    bool Decode(const uint8_t* data, size_t length, uint32_t number, const PictureFn& on_picture);

    // Gives out every picture the decoder holds back (streams with B-frames
    // are reordered), then forgets reference pictures: the next frame to
    // decode must be a key frame.
    void Drain(const PictureFn& on_picture);

    // Forgets reference pictures (after an error or before a new stream).
    void Flush();

    // How many pictures the decoder holds back before giving one out (the
    // stream's reordering, as far as it is known yet); 0 without B-frames.
    int reorder_delay() const;

private:
    void Receive(uint32_t number, const PictureFn& on_picture);

    AVCodecContext* context_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* picture_ = nullptr;
};

}  // namespace renderkit
