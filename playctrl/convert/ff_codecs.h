// The conversion engine's FFmpeg wrappers: CFFDecoder (H.264 video or G.711
// mu-law audio) and CFFEncoder (MPEG-2 video at 704 x 576 or MP2 audio).
// Each wrapper holds one codec at a time; every open first closes what it
// held. A wrapper whose codec could not be found or opened stays closed and
// refuses its decode and encode calls. Used by one thread at a time (the
// conversion worker).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct AVAudioFifo;
struct AVCodec;
struct AVCodecContext;
struct AVCodecParserContext;
struct AVFrame;
struct AVPacket;
struct SwrContext;
struct SwsContext;

namespace playctrl::convert {

constexpr int kEncoderWidth = 704;
constexpr int kEncoderHeight = 576;
constexpr int kVideoBitRate = 400'000;
constexpr int kVideoFrameRate = 25;
constexpr int kVideoGop = 10;
constexpr int kVideoMaxBFrames = 1;
constexpr int kAudioEncoderBitRate = 64'000;
constexpr int kAudioSampleRate = 16'000;  // MP2 encoder (and the decoder's nominal rate)
constexpr int kAudioDecoderBitRate = 32'000;
// G.711 is sampled at 8 kHz; the encoder input is resampled to kAudioSampleRate.
constexpr int kG711SampleRate = 8'000;

// OpenAudio of CFFEncoder when the codec context could not be allocated.
constexpr int kAudioContextFailed = -2;
inline constexpr char kAudioContextMessage[] = "Could not allocate audio codec context\n";

class CFFDecoder {
public:
    CFFDecoder() = default;
    ~CFFDecoder() { Close(); }
    CFFDecoder(const CFFDecoder&) = delete;
    CFFDecoder& operator=(const CFFDecoder&) = delete;

    // H.264 decoder, planar YUV 4:2:0 requested. `threads` 0 lets FFmpeg pick
    // (frame threads hold pictures back; FlushVideo gives them out). 1 or 0.
    int OpenVideo(int threads = 0);
    // G.711 mu-law decoder: 32 kbit/s, 16 kHz nominal, 1 channel, signed 16-bit
    // output. 1 or 0.
    int OpenAudio();

    // Decodes one compressed picture. > 0 when a picture came out (picture(),
    // width(), height()); 0 when refused, when decoding failed or when no
    // picture is ready yet. More pictures may be ready: see ReceivePicture.
    int DecodeVideo(const uint8_t* data, int size);
    // The next picture that is ready (> 0), or 0.
    int ReceivePicture();
    // End of the stream: the pictures held back become ready (ReceivePicture).
    void FlushVideo();

    // Decodes G.711 bytes into signed 16-bit samples in `out` (capacity in
    // bytes). 1 with *out_bytes set when samples came out, else 0.
    int DecodeAudio(const uint8_t* data, int size, uint8_t* out, int out_capacity, int* out_bytes);

    void Close();

    bool is_open() const { return context_ != nullptr; }
    const AVFrame* picture() const { return frame_; }
    int width() const { return width_; }
    int height() const { return height_; }

private:
    int Receive();

    AVCodecContext* context_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    int width_ = 1280;
    int height_ = 720;
};

class CFFEncoder {
public:
    CFFEncoder() = default;
    ~CFFEncoder() { Close(); }
    CFFEncoder(const CFFEncoder&) = delete;
    CFFEncoder& operator=(const CFFEncoder&) = delete;

    // MPEG-2 video: 400 kbit/s, 704 x 576, 25 pictures per second, GOP 10, at
    // most one B-frame, planar YUV 4:2:0. 1, or -1 on any failure.
    int OpenVideo(int threads = 0);
    // MP2 audio: 64 kbit/s, 16 kHz, 1 channel, from signed 16-bit mono samples
    // at `input_sample_rate` (resampled when it differs). 1; 0 when the
    // encoder is missing or cannot be opened; kAudioContextFailed (with
    // kAudioContextMessage on stderr) when its context cannot be allocated.
    int OpenAudio(int input_sample_rate = kG711SampleRate);

    // Scales a decoded picture of any size to 704 x 576 and encodes it,
    // appending what the encoder gives out to *out. -1 unless the video
    // encoder is open and picture, a positive decoder result and out are
    // given; otherwise the number of bytes appended (0 while the encoder
    // holds pictures back).
    int EncodeVideo(const AVFrame* picture, int decoder_result, std::vector<uint8_t>* out);
    // Appends the pictures the encoder still holds. Bytes appended, or -1.
    int FlushVideo(std::vector<uint8_t>* out);

    // Encodes signed 16-bit samples (sample_bytes bytes) and appends the
    // complete MP2 frames to *out; a partial frame waits for more samples.
    // -1 unless the audio encoder is open and samples, a positive byte count
    // and out are given; otherwise the bytes appended.
    int EncodeAudio(const int16_t* samples, int sample_bytes, std::vector<uint8_t>* out);
    // Pads the waiting partial frame with silence, encodes it and appends the
    // rest. Bytes appended, or -1.
    int FlushAudio(std::vector<uint8_t>* out);

    void Close();

    bool is_open() const { return context_ != nullptr; }
    bool is_video() const { return video_; }
    int width() const { return width_; }
    int height() const { return height_; }
    int64_t pictures_in() const { return pictures_in_; }

    // Tests: makes the next audio codec context allocations fail.
    static void SetAudioContextAllocationFailsForTesting(bool fail);

private:
    int Drain(std::vector<uint8_t>* out);
    int EncodeFifoFrames(std::vector<uint8_t>* out, bool pad_last);

    AVCodecContext* context_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    SwsContext* scaler_ = nullptr;
    SwrContext* resampler_ = nullptr;
    AVAudioFifo* fifo_ = nullptr;
    std::vector<int16_t> resampled_;
    bool video_ = false;
    bool flushed_ = false;
    int64_t next_pts_ = 0;
    int64_t pictures_in_ = 0;
    int input_sample_rate_ = kAudioSampleRate;
    const int width_ = kEncoderWidth;  // never changed
    const int height_ = kEncoderHeight;
};

// Picture size declared by the SPS of an H.264 access unit (Annex B), cropped;
// false when the data carries no usable SPS. Uses libavcodec's H.264 parser.
bool H264PictureSize(const uint8_t* data, std::size_t size, int* width, int* height);

// The display order of an H.264 stream's access units (Annex B), given in
// decode order: libavcodec's H.264 parser reads the parameter sets and each
// first slice header (frame_num, pic_order_cnt_lsb or the deltas, by the
// SPS's pic_order_cnt_type) and keeps the state the count carries from
// picture to picture. Pictures are shown in ascending order of
// (IDR run, picture order count); an IDR picture starts a new run.
class H264PictureOrder {
public:
    struct Order {
        int64_t run = 0;     // IDR pictures seen before this one (an IDR starts a new run)
        int64_t count = 0;   // picture order count within the run
        bool known = false;  // false: no slice was found (count continues the last one)
    };
    H264PictureOrder();
    ~H264PictureOrder();
    H264PictureOrder(const H264PictureOrder&) = delete;
    H264PictureOrder& operator=(const H264PictureOrder&) = delete;
    Order Next(const uint8_t* data, std::size_t size);

private:
    AVCodecParserContext* parser_ = nullptr;
    AVCodecContext* context_ = nullptr;
    std::vector<uint8_t> padded_;
    Order last_;
    bool started_ = false;
};

}  // namespace playctrl::convert
