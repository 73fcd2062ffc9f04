// CImageDraw: one player port (an open stream, file or display window).
//
// Guards. Unless marked otherwise, members are used only by API calls, which
// all run under the process-wide table lock (port_table.h). The playback
// thread never takes that lock: the fields it shares with the API are
// atomics ("atomic, shared with the playback thread"). The file stream and
// the record buffer belong to the playback thread while it is alive
// (thread_alive_) and to the API otherwise. The frame buffer is shared by
// stream input (API) and file playback (thread) under reassembly_mutex_.
// Host callbacks sit in callback slots (renderkit/callback_slot.h): called
// without any lock held, and replacing one waits for a running call.
//
// Lifetime. Ports are held by shared_ptr: the table holds one reference and a
// running playback thread another, so a thread that outlives a stop (it was
// inside a host callback for longer than the stop waits) still has its port;
// the port is then destroyed when that thread ends.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <zynvs/ZynPlayCtrl.h>

#include "playctrl/hi264_decoder.h"
#include "playctrl/play_clock.h"
#include "mediafile/frame_assembler.h"
#include "mediafile/media_reader.h"
#include "playctrl/frame_index.h"
#include "renderkit/callback_slot.h"
#include "renderkit/play_audio.h"
#include "renderkit/play_video.h"

namespace playctrl {

using mediafile::_MapTime;
using mediafile::kFrameBufferBytes;
using mediafile::kKeyFrameType;
using mediafile::kPrefixBytes;
using mediafile::kRecordHeadBytes;
using mediafile::kRecordingHeaderBytes;
using mediafile::kTimeExtensionBytes;
using zyn::wire::LoadLe32;
namespace wire = zyn::wire;

constexpr int kPacketHeaderBytes = 24;
constexpr uint32_t kMaxStreamAudioBytes = 2048;  // stream audio payloads must be below this
constexpr uint64_t kSeekLeadBytes = 204800;      // bytes consumed lags a seek by this much
constexpr int kStopWaitMs = 6000;
constexpr int kDrainWaitMs = 2000;  // longest wait for the decoder to give out held pictures
constexpr int kAudioOnlyPaceMs = 39;
constexpr std::size_t kFileNameLimit = 260;  // GetFileName copies at most this, with the zero

// Tests: sees every frame the port hands to its video object to be shown, on
// the handing thread, before the video object gets it.
using FrameObserver = std::function<void(const uint8_t* frame, uint32_t length, uint32_t number)>;

class CImageDraw : public std::enable_shared_from_this<CImageDraw> {
public:
    enum class Kind { kDisplay, kFile, kStream };

    // The window field is set for file and stream ports; a display port only
    // hands its window to the video object (see OpenDisplay).
    CImageDraw(Kind kind, ZYNVS_WND window, const char* path);
    virtual ~CImageDraw();
    CImageDraw(const CImageDraw&) = delete;
    CImageDraw& operator=(const CImageDraw&) = delete;

    // ---- Opening (before the port is registered); 1 success, 0 failure.
    int OpenDisplay(ZYNVS_WND window);
    int OpenFile();
    int OpenStream();
    // Stops playback as closing a port does; the rest is released by the
    // destructor once no playback thread uses the port any more.
    void Shutdown();

    Kind kind() const { return kind_; }
    int port_number() const { return port_number_; }
    void set_port_number(int number) { port_number_ = number; }

    // ---- Stream input
    void InputData(int type, const uint8_t* buffer, uint32_t size);
    // The reassembly step shared with file playback: 0 when the packet
    // completed a frame that went to the video object, else -1. A frame
    // handed on with show false is decoded but not shown (nor observed).
    int Reassemble(const uint8_t* header, const uint8_t* payload, uint32_t length,
                   uint32_t frame_number, bool show = true);

    // ---- File playback (playback_control.cpp)
    int Play();
    void Stop();       // drawing callback off, playback stopped, file closed
    void CloseFile();  // playback stopped, file closed
    int Pause();
    void Fast();
    void Slow();
    int speed() const { return speed_.load(); }
    void SetSpeed(int level);
    void OneByOne();
    void OneByOneBack();
    void SetPlayPos(int percent);
    int GetPlayPos() const;
    void SetPlayByTime(uint64_t t);
    uint64_t GetPlayTime();
    void SetFileEndMsg(ZYNVS_WND window, uint32_t message);
    void SetFileName(const char* path);
    std::string file_name() const { return file_name_; }

    // ---- Callbacks, display, snapshots
    void SetDecCallback(PlayDataCallback cb, void* user);
    void SetRealDataCallback(PlayDataCallback cb, void* user);
    void SetAudioCallback(PlayDataCallback cb, void* user);
    void RegisterDrawCallback(PlayDrawCallback cb, void* user);
    void ChangeWindow(ZYNVS_WND window) { window_ = window; }
    void CapPic(const char* path, int type);

    // ---- Sound
    void StartSound(bool host_request);
    void StopSound();
    void SetVolume(uint16_t volume) { audio_.SetVolume(volume); }
    // Audio routing: to the audio-data callback when one is set, else to
    // the audio object.
    void RouteAudio(const uint8_t* data, int length, uint8_t codec);

    // ---- Internal settings and observation (tests, benchmarks)
    void set_clock(std::shared_ptr<PlayClock> clock);  // before Play
    void set_pacing(bool on) { pacing_ = on; }         // off: no waits at all
    void set_frame_observer(FrameObserver observer);
    uint64_t frames_handed_on() const { return frames_handed_on_.load(); }
    CPlayVideo& video() { return video_; }
    CPlayAudio& audio() { return audio_; }
    ZYNVS_WND window() const { return window_.load(); }
    bool playing() const { return playing_.load() != 0; }
    bool held() const { return hold_.load() != 0; }
    bool sound_on() const { return sound_on_.load() != 0; }
    bool stream_initialised() const { return stream_initialised_.load() != 0; }
    bool index_present() const { return index_present_; }
    mediafile::RecordingFormat format() const { return format_; }
    const std::vector<_MapTime>& time_index() const { return time_index_; }
    uint32_t start_time() const { return start_time_; }
    uint32_t end_time() const { return end_time_; }
    int display_width() const { return display_width_; }
    int display_height() const { return display_height_; }
    int picture_width() const { return picture_width_; }
    int picture_height() const { return picture_height_; }
    int audio_mode() const { return audio_mode_; }
    uint64_t file_size() const { return file_size_; }
    uint64_t bytes_consumed() const { return bytes_consumed_.load(); }
    bool file_open() const;
    bool thread_alive() const { return thread_alive_.load(); }
    // The playback thread is waiting in a hold (tests wait for this before
    // they step, so that no frame is on its way).
    bool idle_in_hold() const { return idle_in_hold_.load(); }
    // Waits until no playback thread runs. True when none does.
    bool WaitPlaybackEnded(int timeout_ms);
    Hi264DecHandle decoder_handle() const { return decoder_; }

private:
    // playback_thread.cpp
    void PlaybackThread();
    void Pace(const uint8_t* header, int64_t* t, int64_t a);
    void Sleep(int64_t ms);
    void WaitWhileHeld();
    void ThreadEnds(bool close_file);
    // Shows the pictures the decoder still holds back, and waits for them.
    void FinishPictures();
    // Pictures the video object has shown, once it has decoded what it was given.
    uint64_t ShownPictures();
    // Pictures the decoder holds back (B-frame reordering); 0 without.
    int VideoReorderDelay();

    // playback_control.cpp
    void StopProcedure();
    void CloseFileIfIdle();
    bool OpenFileStream();  // size, open, header, index; the video object is not touched
    bool ReadHeader();
    void CloseRecording();  // the reader and the file
    void Wake();

    // ---- Fixed at construction
    const Kind kind_;
    int port_number_ = -1;

    // ---- Stream input and display
    std::atomic<int> stream_initialised_{0};  // atomic: read by the playback thread
    std::atomic<int> sound_on_{0};            // atomic, shared with the playback thread
    std::atomic<int> audio_prepared_{0};      // atomic, shared with the playback thread
    int packet_header_size_ = kPacketHeaderBytes;
    std::atomic<ZYNVS_WND> window_{0};  // atomic: read by the playback thread
    int display_width_ = 0;
    int display_height_ = 0;
    int play_channel_ = -1;
    int video_window_mode_ = 1;
    std::atomic<int> audio_mode_{1};  // atomic: read by the playback thread
    std::string capture_path_;
    int capture_type_ = 0;
    Hi264DecHandle decoder_ = nullptr;

    // ---- Host callbacks (the slot's channel is the port number to report)
    renderkit::CallbackSlot<PlayDataCallback> dec_callback_;
    renderkit::CallbackSlot<PlayDataCallback> real_data_callback_;
    renderkit::CallbackSlot<PlayDataCallback> audio_callback_;
    mutable std::mutex callback_mutex_;
    FrameObserver frame_observer_;  // callback_mutex_

    // ---- Frame reassembly, guarded by reassembly_mutex_
    std::mutex reassembly_mutex_;
    mediafile::FrameAssembler frames_;
    std::atomic<uint64_t> frames_handed_on_{0};

    // ---- The recording
    std::string file_name_;
    // The file and its reader (native or AVI): the playback thread's while it
    // is alive, else the API's.
    std::FILE* file_ = nullptr;
    std::unique_ptr<mediafile::MediaReader> reader_;
    mediafile::RecordingFormat format_ = mediafile::RecordingFormat::kNative;
    uint64_t file_size_ = 0;  // written only while no thread is alive
    uint64_t header_file_size_ = 0;
    uint64_t records_start_ = 0;  // native: 512 after a valid header, else 0; AVI: first chunk
    int picture_width_ = 1920;
    int picture_height_ = 1080;
    uint32_t start_time_ = 0;
    uint32_t end_time_ = 0;
    uint32_t index_position_ = 0;
    bool index_present_ = false;
    std::vector<_MapTime> time_index_;
    std::atomic<ZYNVS_WND> file_end_window_{0};  // atomic: read by the playback thread
    std::atomic<uint32_t> file_end_message_{0};

    // ---- Playback state, atomic, shared with the playback thread
    std::atomic<int> playing_{0};
    std::atomic<int> hold_{0};
    std::atomic<int> stop_request_{0};
    std::atomic<int> resync_{0};
    std::atomic<int> first_frame_{1};
    std::atomic<int> speed_{0};
    std::atomic<int> single_step_{0};
    std::atomic<int> step_back_request_{0};
    std::atomic<int> step_back_in_progress_{0};
    std::atomic<uint32_t> step_back_target_{0};
    std::atomic<uint32_t> timing_sec_{0};
    std::atomic<uint32_t> timing_ms_{0};
    std::atomic<uint64_t> bytes_consumed_{0};
    std::atomic<uint64_t> seek_request_{0};
    std::atomic<uint32_t> current_time_{0};
    std::atomic<bool> pacing_{true};
    std::atomic<bool> idle_in_hold_{false};  // written by the playback thread

    // ---- The playback thread
    std::thread thread_;                     // API only
    std::atomic<bool> thread_alive_{false};  // set by Play, cleared by the thread as it ends
    std::atomic<std::thread::id> thread_id_{};
    std::mutex exit_mutex_;  // with exit_cv_: the end of the thread
    std::condition_variable exit_cv_;
    std::mutex wake_mutex_;  // with wake_cv_: wakes a held thread
    std::condition_variable wake_cv_;
    std::shared_ptr<PlayClock> clock_;          // replaced only while no thread is alive
    std::unique_ptr<uint8_t[]> record_buffer_;  // the reader's; allocated by the first opening

    // ---- Media library objects (destroyed last, in this order: audio, video)
    CPlayVideo video_;
    CPlayAudio audio_;
};

}  // namespace playctrl
