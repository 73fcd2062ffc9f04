// CImageDraw: the API side of file playback: opening the recording, starting
// and stopping the playback thread, speed, stepping and positioning. All of
// it runs under the table lock.
#include <sys/stat.h>
#include <sys/types.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <new>

#include "playctrl/image_draw.h"

namespace playctrl {

bool CImageDraw::file_open() const {
    return !thread_alive_.load() && file_ != nullptr;
}

void CImageDraw::set_clock(std::shared_ptr<PlayClock> clock) {
    if (clock && !thread_alive_.load()) clock_ = std::move(clock);
}

void CImageDraw::Wake() {
    { std::lock_guard lock(wake_mutex_); }
    wake_cv_.notify_all();
}

bool CImageDraw::WaitPlaybackEnded(int timeout_ms) {
    std::unique_lock lock(exit_mutex_);
    return exit_cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                             [&] { return !thread_alive_.load(); });
}

// ---- The recording ---------------------------------------------------------------------

void CImageDraw::CloseRecording() {
    reader_.reset();
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
}

bool CImageDraw::OpenFileStream() {
    if (!thread_alive_.load()) CloseRecording();
    if (file_name_.empty()) return false;
    struct stat st {};
    if (stat(file_name_.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<uint64_t>(st.st_size) == 0xFFFFFFFFull) {
        return false;
    }
    file_size_ = static_cast<uint64_t>(st.st_size);
    header_file_size_ = file_size_;
    if (!record_buffer_) {
        record_buffer_.reset(new (std::nothrow) uint8_t[kFrameBufferBytes]);
        if (!record_buffer_) return false;
    }
    file_ = std::fopen(file_name_.c_str(), "rb");
    if (file_ == nullptr) return false;
    // A larger buffer keeps the short skips of a backward scan inside it.
    std::setvbuf(file_, nullptr, _IOFBF, 64 * 1024);
    if (!ReadHeader()) {
        CloseRecording();
        return false;
    }
    if (format_ == mediafile::RecordingFormat::kNative && records_start_ != 0 && !index_present_) {
        // A valid header without an index: the end time is the header's stop
        // time when it is set and later than the start, else the file's last
        // change. (Without a valid header there are no times at all.)
        if (!(end_time_ != 0 && end_time_ > start_time_)) {
            end_time_ = static_cast<uint32_t>(st.st_mtime);
        }
    }
    if (picture_height_ == 0) {
        picture_width_ = 1920;
        picture_height_ = 1080;
    }
    return true;
}

bool CImageDraw::ReadHeader() {
    time_index_.clear();
    index_present_ = false;
    start_time_ = end_time_ = index_position_ = 0;
    mediafile::OpenedRecording opened = mediafile::OpenRecording(file_, record_buffer_.get());
    if (!opened.reader) return false;
    format_ = opened.format;
    records_start_ = opened.records_start;
    picture_width_ = opened.picture_width;
    picture_height_ = opened.picture_height;
    const mediafile::RecordingHeader& h = opened.header;
    if (h.valid) {
        audio_mode_ = h.audio_mode;
        start_time_ = h.start_time;
        end_time_ = h.end_time;
        index_position_ = h.index_position;
        if (mediafile::HeaderHasTimeIndex(h, file_size_)) {
            index_present_ = true;
            if (audio_mode_ == 0) audio_mode_ = 1;
            time_index_ = mediafile::ReadTimeIndex(
                file_, kRecordingHeaderBytes + uint64_t{h.index_position}, file_size_);
        }
    }
    reader_ = std::move(opened.reader);
    reader_->Seek(records_start_);
    return true;
}

void CImageDraw::SetFileName(const char* path) {
    if (path != nullptr) file_name_ = path;
}

void CImageDraw::SetFileEndMsg(ZYNVS_WND window, uint32_t message) {
    file_end_message_ = message;
    file_end_window_ = window;
}

// ---- Starting and stopping ------------------------------------------------------------

int CImageDraw::Play() {
    if (!playing_.load()) {
        // A thread that is still on its way out (it just met the end of the
        // file, or outlived a stop inside a host callback) is waited for.
        if (thread_alive_.load() && !WaitPlaybackEnded(kStopWaitMs)) return 0;
        if (thread_.joinable()) thread_.join();
        if (file_ == nullptr) {
            // The file was closed by Stop or CloseFile: open it again by the
            // stored name and play it from its first key frame.
            if (!OpenFileStream()) return 0;
            first_frame_ = 1;
        }
        stop_request_ = 0;
        speed_ = 0;
        playing_ = 1;
        thread_alive_ = true;
        try {
            thread_ = std::thread([self = shared_from_this()] { self->PlaybackThread(); });
        } catch (...) {
            playing_ = 0;
            thread_alive_ = false;
            return 0;
        }
        return 1;
    }
    // Playing: a resume. It also cancels a single step not yet taken (the
    // step would hold again right after), so playback never stays held.
    if (hold_.load() || single_step_.load()) {
        hold_ = 0;
        single_step_ = 0;
        if (audio_prepared_.load()) {
            timing_sec_ = 0;
            timing_ms_ = 0;
        }
        speed_ = 0;
        Wake();
    }
    return 1;
}

void CImageDraw::StopProcedure() {
    if (playing_.load()) {
        stop_request_ = 1;
        playing_ = 0;
        hold_ = 0;
        Wake();
        if (clock_) clock_->Wake();
    }
    if (thread_.joinable()) {
        if (thread_id_.load() == std::this_thread::get_id()) {
            // Called from a host callback on the playback thread itself: it
            // ends as soon as the callback returns.
            thread_.detach();
        } else if (WaitPlaybackEnded(kStopWaitMs)) {
            thread_.join();
        } else {
            // Still inside a host callback: it keeps its own reference to the
            // port and ends by itself; it is never killed.
            thread_.detach();
        }
    }
    speed_ = 0;
}

void CImageDraw::CloseFileIfIdle() {
    if (!thread_alive_.load()) CloseRecording();
}

void CImageDraw::Stop() {
    video_.SetPlayChannel(play_channel_);
    video_.RegisterCallback(nullptr, nullptr);
    StopProcedure();
    CloseFileIfIdle();
}

void CImageDraw::CloseFile() {
    StopProcedure();
    CloseFileIfIdle();
}

// ---- Hold, speed, stepping ------------------------------------------------------------

int CImageDraw::Pause() {
    if (playing_.load()) {
        hold_ = hold_.load() ? 0 : 1;
        Wake();
    }
    return 1;
}

void CImageDraw::Fast() {
    hold_ = 0;
    const int level = speed_.load();
    if (level < 5) speed_ = level + 1;
    Wake();
}

void CImageDraw::Slow() {
    hold_ = 0;
    const int level = speed_.load();
    if (level > -5) speed_ = level - 1;
    Wake();
}

void CImageDraw::SetSpeed(int level) {
    speed_ = level;
}

void CImageDraw::OneByOne() {
    single_step_ = 1;
    hold_ = 0;
    Wake();
}

void CImageDraw::OneByOneBack() {
    step_back_request_ = 1;
    hold_ = 0;
    Wake();
}

// ---- Positions ------------------------------------------------------------------------

void CImageDraw::SetPlayPos(int percent) {
    if (percent < 1 || percent > 99 || file_size_ == 0) return;
    timing_sec_ = 0;
    const auto offset = static_cast<uint64_t>(percent / 100.0 * static_cast<double>(file_size_));
    seek_request_ = offset;
    Wake();
}

int CImageDraw::GetPlayPos() const {
    if (file_size_ == 0) return 0;
    const double p =
        static_cast<double>(bytes_consumed_.load()) / static_cast<double>(file_size_) * 100.0;
    return (p >= 0.0 && p <= 100.0) ? static_cast<int>(p) : 0;
}

void CImageDraw::SetPlayByTime(uint64_t t) {
    if (t > end_time_ || t < start_time_) return;
    if (index_present_) {
        for (const _MapTime& entry : time_index_) {
            if (entry.time > t) {
                if (entry.offset != 0) {
                    seek_request_ = entry.offset;
                    hold_ = 1;
                    Wake();
                }
                return;
            }
        }
        return;
    }
    if (end_time_ == start_time_) return;
    current_time_ = static_cast<uint32_t>(t);
    const double per_second =
        static_cast<double>(file_size_) / static_cast<double>(end_time_ - start_time_);
    const auto offset = static_cast<uint64_t>(per_second * static_cast<double>(t - start_time_));
    if (offset != 0) {
        seek_request_ = offset;
        hold_ = 1;
        Wake();
    }
}

uint64_t CImageDraw::GetPlayTime() {
    if (!index_present_ && file_size_ != 0) {
        const double p =
            static_cast<double>(bytes_consumed_.load()) / static_cast<double>(file_size_) * 100.0;
        if (p >= 0.0 && p <= 100.0) {
            const int64_t span = static_cast<int64_t>(end_time_) - start_time_;
            const int64_t add = span > 0 ? static_cast<int64_t>(p / 100.0 * span) : 0;
            current_time_ = static_cast<uint32_t>(start_time_ + add);
        }
    }
    return current_time_.load();
}

}  // namespace playctrl
