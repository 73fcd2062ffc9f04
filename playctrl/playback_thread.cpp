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
    const uint32_t s = mediafile::TimeSeconds(header);
    const uint32_t m = mediafile::TimeMilliseconds(header);
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
    if (close_file && file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    {
        std::lock_guard lock(exit_mutex_);
        thread_alive_ = false;
    }
    exit_cv_.notify_all();
}

void CImageDraw::PlaybackThread() {
    thread_id_ = std::this_thread::get_id();
    const off_t start = ftello(file_);
    mediafile::FileByteSource source(file_);
    mediafile::RecordReader reader(source, start > 0 ? static_cast<uint64_t>(start) : 0,
                                   record_buffer_.get());
    // bytes consumed = reader position - base: 0 at the start, and a seek
    // to offset o makes it o - 204,800 (0 when o is smaller).
    uint64_t base = reader.position();
    bytes_consumed_ = 0;
    timing_sec_ = 0;
    timing_ms_ = 0;
    int64_t t = 0;  // when the last video frame was handed on (then the pacing rest)
    int64_t a = 1;  // how long the last audio record took to route
    bool have_last_video = false;
    uint32_t last_video_number = 0;
    StartSound(false);

    auto set_consumed = [&] {
        const uint64_t pos = reader.position();
        bytes_consumed_ = pos > base ? pos - base : 0;
    };
    using mediafile::RecordKind;
    mediafile::MediaRecord rec;
    for (;;) {
        if (stop_request_.load()) break;
        if (const uint64_t offset = seek_request_.exchange(0); offset != 0) {
            hold_ = 0;
            reader.Seek(offset);
            base = offset >= kSeekLeadBytes ? kSeekLeadBytes : offset;
            set_consumed();
            resync_ = 1;
            have_last_video = false;  // the last frame read is no longer behind us
        }
        if (hold_.load()) {
            WaitWhileHeld();
            continue;
        }
        if (step_back_request_.load()) {
            if (!have_last_video) {
                // Nothing has been read since the start or the seek: there is
                // no frame to go back to. Stay here.
                step_back_request_ = 0;
                hold_ = 1;
                continue;
            }
            const StepBackTarget target =
                ScanForPreviousFrame(reader, records_start_, reader.position(), last_video_number);
            step_back_target_ = target.found ? target.frame_number : last_video_number;
            const uint64_t to = target.found ? target.position : records_start_;
            reader.Seek(to);
            base = 0;
            set_consumed();
            step_back_request_ = 0;
            step_back_in_progress_ = 1;
        }

        const uint64_t record_start = reader.position();
        const RecordKind kind = reader.ReadRecord(&rec, &stop_request_);
        set_consumed();
        if (kind == RecordKind::kStopped) break;
        if (kind == RecordKind::kEnd) {
            bytes_consumed_ = file_size_;
            playing_ = 0;
            const ZYNVS_WND wnd = file_end_window_.load();
            if (wnd != 0) {
                SendWindowNotice(wnd, file_end_message_.load(), port_number_, port_number_);
            }
            ThreadEnds(false);  // the file stays open at its end
            return;
        }
        if (kind == RecordKind::kVideo) {
            if (rec.has_time_extension) {
                PlayDataCallback cb;
                void* user;
                int port;
                {
                    std::lock_guard lock(callback_mutex_);
                    cb = real_data_callback_;
                    user = real_data_user_;
                    port = callback_port_;
                }
                if (cb != nullptr) cb(port, rec.time_extension, kTimeExtensionBytes, user);
                current_time_ = Le32(rec.time_extension);
            }
            if (!rec.complete) continue;  // oversized, or cut short by the end
            const uint8_t* h = rec.header;
            const uint32_t number = mediafile::FrameNumber(h);
            have_last_video = true;
            last_video_number = number;
            if (resync_.load()) {
                if (mediafile::FrameType(h) != kKeyFrameType) continue;
                resync_ = 0;
            }
            if (first_frame_.load()) {
                if (mediafile::FrameType(h) != kKeyFrameType) continue;
                first_frame_ = 0;
            }
            t = clock_->now_ms();
            if (Reassemble(h, rec.payload, static_cast<uint32_t>(rec.length), number) == 0) {
                Pace(h, &t, a);
                if (single_step_.load()) {
                    single_step_ = 0;
                    hold_ = 1;
                }
            }
            if (step_back_request_.load()) {
                // Asked to step back while this frame was shown: stay on it.
                reader.Seek(record_start);
                if (record_start < base) base = record_start;
                set_consumed();
                step_back_request_ = 0;
                hold_ = 1;
            }
            if (step_back_in_progress_.load() && number == step_back_target_.load() &&
                mediafile::LastFragment(h)) {
                step_back_in_progress_ = 0;
                hold_ = 1;
            }
            continue;
        }
        if (kind == RecordKind::kAudio) {
            if (!rec.complete) continue;
            bool has_callback;
            {
                std::lock_guard lock(callback_mutex_);
                has_callback = audio_callback_ != nullptr;
            }
            const int64_t started = clock_->now_ms();
            if (rec.length > 4) {
                RouteAudio(rec.payload + 4, static_cast<int>(rec.length - 4), rec.header[0]);
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
