// CPlayVideo: decodes one H.264 stream and shows it in a host window.
//
// Threads. Every player owns one decode thread, started by StartVideo or
// InitVideoWindow and ended by StopVideo or the destructor. SendOneFrame1 and
// SendOneFrame only copy the frame into a bounded queue and return (they may
// be called from any one feeding thread, typically a network receive thread).
// Decoding, the callbacks and all drawing happen on the decode thread. The
// other operations may be called from any thread.
//
// Overload. When the queue is full (the decoder is slower than the feeder),
// the incoming frame and every following frame up to the next key frame
// (an SPS or an IDR slice) are dropped and counted; a group of pictures is
// never decoded with a hole in it. With back-pressure on (files), the
// feeder waits for the decoder instead and nothing is dropped. After a
// decode error, pictures are held back until the next key frame.
//
// Drawing. The picture is scaled to the window's current size (optionally
// cropped by SetSrcRect first). The window is an X11 window id of the
// display named by DISPLAY; without a display or window the player still
// decodes, calls the callbacks and keeps the last picture for CaptureBitmap.
//
// Callbacks (decode thread, pointers valid only during the call): they may
// paint, copy and call SetSrcRect/GetSrcRect/CaptureBitmap/statistics, but must
// not call StopVideo or destroy the player. After Register*Callback returns,
// the previous callback is not running and will not be called again.
#pragma once

#include <cstdint>
#include <memory>

#include <zynvs/zynvs_platform.h>

// Every decoded picture: frame points to a ZynDecodedPicture, size is
// sizeof(ZynDecodedPicture).
typedef void(ZYNVS_CALL* RenderDecCallback)(const void* frame, uint16_t size, int channel,
                                            void* user);

// Addition of ours: counters of one player (since construction).
struct RenderVideoStats {
    uint64_t frames_received;  // frames accepted by SendOneFrame1/SendOneFrame while started
    uint64_t frames_dropped;   // dropped by the queue (full or oversized), with the frames
                               // after them up to the next key frame
    uint64_t frames_skipped;   // not decoded: waiting for a key frame (stream start, error)
    uint64_t frames_decoded;   // intact pictures out of the decoder
    uint64_t frames_drawn;     // pictures put into a window
    uint64_t decode_errors;    // frames the decoder refused or pictures it had to conceal
    int32_t width;             // size of the last picture (0 before the first)
    int32_t height;
    uint64_t frames_shown;  // pictures given out to be shown (decoded and not hidden)
    int32_t reorder_delay;  // pictures the decoder holds back (B-frame reordering), so far
};

class CPlayVideo {
public:
    CPlayVideo();
    ~CPlayVideo();
    CPlayVideo(const CPlayVideo&) = delete;
    CPlayVideo& operator=(const CPlayVideo&) = delete;

    // Window to draw into (0: none) and the display flag (kept, no effect).
    // Takes effect at once, also while running. Returns 1.
    int SetWnd(ZYNVS_WND wnd, int display_flag);
    // Display identifier (16 bytes, kept for the host; no effect). 0 for null.
    int SetGuid(const uint8_t guid[16]);
    // Starts decoding (and drawing when a window is set). The size and mode
    // are hints; the stream's own size is used. 1 when ready (also without a
    // window or display), 0 when no decoder could be created. Calling it while
    // running keeps the running decoder and returns 1.
    int StartVideo(int width, int height, int mode);
    // SetWnd(wnd, 1) and StartVideo(width, height, mode) in one call.
    int InitVideoWindow(ZYNVS_WND wnd, int width, int height, int mode);
    // Ends the decode thread, drops queued frames and paints the window black.
    // The window, callbacks, source rectangle and last picture are kept. 1.
    int StopVideo();
    // One whole compressed frame (Annex B). Returns at once: 1 queued, 0 not
    // (not started, bad arguments, dropped).
    int SendOneFrame1(const uint8_t* frame, int length, uint32_t frame_number);
    int SendOneFrame(const uint8_t* frame, int length);
    // Moves drawing to another window (0: stop drawing) and repaints the last
    // picture there. The flag is kept, no effect. Returns 1.
    int ChangeDisplayWnd(ZYNVS_WND wnd, int flag);
    // Saves the last decoded picture (full size, without overlay): a 24-bit
    // BMP, or PNG/JPEG when the path ends in .png/.jpg/.jpeg. 1 written, 0 not
    // (no picture yet, null path, file not writable).
    int CaptureBitmap(const char* path);
    // Source rectangle in picture pixels (right/bottom exclusive) shown in the
    // window; null or all zero: the whole picture. 0 for a rectangle with
    // negative or empty extent. Parts outside the picture are clipped.
    int SetSrcRect(const ZYNVS_RECT* r);
    // The rectangle set, or the whole last picture when none. 0 for null.
    int GetSrcRect(ZYNVS_RECT* r);
    // Drawing callback (NULL unregisters): called for every picture before it
    // is shown, with a ZynDrawSurface of the whole picture (BGRA) as HDC, the
    // picture size and the play channel. What it paints is what the window shows.
    int RegisterCallback(ZynDrawCallback cb, void* user);
    // Channel number given to the drawing callback (default 0). Returns 1.
    int SetPlayChannel(int channel);
    // Decode callback (NULL unregisters) with the channel it is called with.
    int RegisterDecCallback(RenderDecCallback cb, int channel, void* user);

    // ---- Additions of ours ----------------------------------------------
    // A frame that is decoded (as the reference of later frames) but whose
    // picture is not shown when show is false. 1 queued, 0 not.
    int SendFrame(const uint8_t* frame, int length, uint32_t frame_number, bool show);
    // Behind the frames queued so far: the decoder gives out the pictures it
    // holds back (B-frame reordering) and then starts again at a key frame.
    // Used at the end of a stream. 1 queued, 0 when not started.
    int Drain();
    // Like Drain, but the held-back pictures are forgotten, not shown.
    int Discard();
    // Feeding waits for the decoder instead of dropping (file playback).
    void SetBackPressure(bool on);
    void GetStats(RenderVideoStats* stats);
    // Waits until every queued frame has been decoded and drawn. 1 when
    // drained, 0 on time-out.
    int WaitIdle(int timeout_ms);
    // Queue limits: frames, bytes, largest single frame (defaults 16 frames,
    // 32 MiB, 4 MiB). Larger frames are dropped and counted.
    void SetQueueLimits(int max_frames, int max_bytes, int max_frame_bytes);
    // The identifier given to SetGuid (zeros when none). 1.
    int GetGuid(uint8_t guid[16]);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
