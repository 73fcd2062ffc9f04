// CImageDraw: the playback thread of a file port. It reads the recording
// record by record, hands video frames through the reassembly step, paces
// them by their time stamps, routes audio and reports the end of the file.
// It never takes the table lock.
#include <algorithm>
#include <chrono>

#include <sys/types.h>

#include "playctrl/image_draw.h"
#include "playctrl/window_notify.h"

namespace playctrl {

void CImageDraw::Sleep(int64_t ms) {
    if (ms <= 0 || !pacing_.load()) return;
    clock_->sleep_until(clock_->now_ms() + ms);
}

void CImageDraw::WaitWhileHeld() {
    std::unique_lock lock(wake_mutex_);
    idle_in_hold_ = true;
    wake_cv_.wait_for(lock, std::chrono::milliseconds(50), [&] {
        return !hold_.load() || stop_request_.load() || seek_request_.load() != 0;
    });
    idle_in_hold_ = false;
}

void CImageDraw::Pace(const uint8_t* header, int64_t* t, int64_t a) {
    const wire::FragmentHeader h(header);
    const uint32_t s = h.time_sec();
    const uint32_t m = h.time_msec();
    if (timing_sec_.load() == 0) {
        timing_sec_ = s;
        timing_ms_ = m;
    }
    int64_t delay = (static_cast<int64_t>(s) - timing_sec_.load()) * 1000 +
                    static_cast<int64_t>(m) - timing_ms_.load();
    if (delay <= 0) delay = 40;
    if (delay > 100) delay = 100;
    timing_sec_ = s;
    timing_ms_ = m;
    const int64_t level = speed_.load();
    const int64_t adjustment = level > 0 ? 10 * level : 40 * level;
    const int64_t r = *t + delay - a - clock_->now_ms() - adjustment;
    *t = r;
    if (r > 0 && r >= delay - 40 && delay + r - 40 > 0) Sleep(delay + r - 40);
}

void CImageDraw::ThreadEnds(bool close_file) {
    if (close_file) CloseRecording();
    {
        std::lock_guard lock(exit_mutex_);
        thread_alive_ = false;
    }
    exit_cv_.notify_all();
}

uint64_t CImageDraw::ShownPictures() {
    video_.WaitIdle(kDrainWaitMs);
    RenderVideoStats stats{};
    video_.GetStats(&stats);
    return stats.frames_shown;
}

int CImageDraw::VideoReorderDelay() {
    RenderVideoStats stats{};
    video_.GetStats(&stats);
    return stats.reorder_delay;
}

void CImageDraw::FinishPictures() {
    video_.Drain();
    video_.WaitIdle(kDrainWaitMs);
}

void CImageDraw::PlaybackThread() {
    thread_id_ = std::this_thread::get_id();
    // Native or AVI: the reader goes on where the last run left it.
    mediafile::MediaReader& reader = *reader_;
    // bytes consumed = reader position - base: 0 at the start, and a seek
    // to offset o makes it o - 204,800 (0 when o is smaller).
    uint64_t base = reader.position();
    bytes_consumed_ = 0;
    timing_sec_ = 0;
    timing_ms_ = 0;
    int64_t t = 0;  // when the last video frame was handed on (then the pacing rest)
    int64_t a = 1;  // how long the last audio record took to route
    StartSound(false);

    // Frame starts seen so far, for stepping back.
    FrameIndex index(records_start_);
    index.ReadingFrom(reader.position());
    bool have_shown = false;   // a frame was shown since the start or the last seek
    uint64_t shown_start = 0;  // where the frame shown last starts
    uint64_t frame_start = 0;  // where the frame being collected starts
    // Frames that start before this are decoded but not shown: the run-up
    // from a key frame to the frame a step back goes to.
    uint64_t hide_before = 0;
    uint64_t step_target = 0;  // the frame a step back goes to (while one is in progress)
    // After holding on a step-back target the decoder has given out all its
    // pictures and starts at a key frame again: before going on, the run-up
    // from `replay_from` is decoded again, hidden up to the target.
    bool replay_pending = false;
    uint64_t replay_from = 0;
    // A single step: pictures shown before it, frames fed to it.
    uint64_t step_shown_base = 0;
    int step_fed = 0;

    auto set_consumed = [&] {
        const uint64_t pos = reader.position();
        bytes_consumed_ = pos > base ? pos - base : 0;
    };
    auto move_to = [&](uint64_t offset) {
        reader.Seek(offset);
        index.ReadingFrom(reader.position());
    };
    using mediafile::RecordKind;
    mediafile::MediaRecord rec;
    for (;;) {
        if (stop_request_.load()) break;
        if (const uint64_t offset = seek_request_.exchange(0); offset != 0) {
            hold_ = 0;
            move_to(offset);
            base = offset >= kSeekLeadBytes ? kSeekLeadBytes : offset;
            set_consumed();
            resync_ = 1;
            have_shown = false;  // the last frame shown is no longer behind us
            replay_pending = false;
            hide_before = 0;
            step_back_in_progress_ = 0;
        }
        if (hold_.load()) {
            WaitWhileHeld();
            continue;
        }
        if (step_back_request_.load()) {
            step_back_request_ = 0;
            replay_pending = false;
            if (!have_shown) {
                // Nothing has been shown since the start or the seek: there
                // is no frame to go back to. Stay here.
                hold_ = 1;
                continue;
            }
            // The previous frame (or, at the first frame, this one again),
            // decoded from the key frame it depends on.
            const std::optional<FrameStart> previous = index.Previous(shown_start, reader);
            step_target = previous ? previous->offset : shown_start;
            const std::optional<FrameStart> key = index.KeyAtOrBefore(step_target, reader);
            replay_from = key ? key->offset : step_target;
            video_.Discard();  // pictures still held back belong to the frames ahead
            move_to(replay_from);
            base = 0;
            set_consumed();
            hide_before = step_target;
            step_back_in_progress_ = 1;
        } else if (replay_pending) {
            replay_pending = false;
            move_to(replay_from);
            hide_before = step_target + 1;
        }

        const uint64_t record_start = reader.position();
        const RecordKind kind = reader.ReadRecord(&rec, &stop_request_);
        set_consumed();
        if (kind == RecordKind::kStopped) break;
        if (kind == RecordKind::kEnd) {
            FinishPictures();
            bytes_consumed_ = file_size_;
            playing_ = 0;
            const ZYNVS_WND wnd = file_end_window_.load();
            if (wnd != 0) {
                SendWindowNotice(wnd, file_end_message_.load(), port_number_, port_number_);
            }
            ThreadEnds(false);  // the file stays open at its end
            return;
        }
        if (kind == RecordKind::kVideo || kind == RecordKind::kAudio)
            index.Saw(rec, reader.position());
        const bool hidden = rec.offset < hide_before;
        if (kind == RecordKind::kVideo) {
            if (rec.has_time_extension && !hidden) {
                real_data_callback_.Invoke([&](PlayDataCallback cb, void* user, int port) {
                    cb(port, rec.time_extension, kTimeExtensionBytes, user);
                });
                current_time_ = LoadLe32(rec.time_extension);
            }
            if (!rec.complete) continue;  // oversized, or cut short by the end
            const uint8_t* h = rec.header;
            const wire::FragmentHeader fragment(h);
            const uint32_t number = fragment.frame_number();
            if (fragment.fragment_index() == 0) frame_start = rec.offset;
            if (resync_.load()) {
                if (fragment.frame_type() != kKeyFrameType) continue;
                resync_ = 0;
            }
            if (first_frame_.load()) {
                if (fragment.frame_type() != kKeyFrameType) continue;
                first_frame_ = 0;
            }
            const bool show = frame_start >= hide_before;
            if (!single_step_.load()) step_fed = 0;
            if (show && single_step_.load() && step_fed == 0) step_shown_base = ShownPictures();
            t = clock_->now_ms();
            if (Reassemble(h, rec.payload, static_cast<uint32_t>(rec.length), number, show) == 0 &&
                show) {
                have_shown = true;
                shown_start = frame_start;
                if (step_back_in_progress_.load() && frame_start == step_target) {
                    // The step back has arrived: show the target now (a
                    // decoder with B-frames holds it back) and hold on it.
                    FinishPictures();
                    step_back_in_progress_ = 0;
                    hide_before = 0;
                    replay_pending = true;
                    hold_ = 1;
                    continue;
                }
                Pace(h, &t, a);
                // A single step holds once a new picture is out. A decoder
                // that reorders (B-frames) holds pictures back: it is fed on,
                // at most as many frames as it holds back, until one comes.
                if (single_step_.load() &&
                    (ShownPictures() > step_shown_base || ++step_fed > VideoReorderDelay())) {
                    single_step_ = 0;
                    step_fed = 0;
                    hold_ = 1;
                }
            }
            if (step_back_request_.load() && !step_back_in_progress_.load()) {
                // Asked to step back while this frame was shown: stay on it.
                reader.Seek(record_start);
                index.ReadingFrom(record_start);
                if (record_start < base) base = record_start;
                set_consumed();
                step_back_request_ = 0;
                hold_ = 1;
            }
            continue;
        }
        if (kind == RecordKind::kAudio) {
            if (!rec.complete || hidden) continue;
            const bool has_callback = audio_callback_.is_set();
            const int64_t started = clock_->now_ms();
            if (rec.length > 4) {
                RouteAudio(rec.payload + 4, static_cast<int>(rec.length - 4),
                           wire::AudioHeader(rec.header).audio_type());
            }
            a = clock_->now_ms() - started;
            if (!has_callback) {
                a = std::max<int64_t>(a, 2);
                if (t == 0) Sleep(kAudioOnlyPaceMs);
            }
        }
        // Any other kind: go on looking for the next record.
    }
    // Stopped on request.
    ThreadEnds(true);
}

}  // namespace playctrl
