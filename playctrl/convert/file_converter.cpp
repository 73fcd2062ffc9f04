#include "playctrl/convert/file_converter.h"

#include "mediafile/avi_reader.h"
#include "mediafile/avi_repair.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace playctrl::convert {
namespace {

constexpr int kAviRate = 25;
constexpr int kAviScale = 1;
constexpr int kAviCodecH264 = 4;
// The audio stream the engine asks for: codec type 6 has no wave format, so
// the writer refuses it and the AVI carries video only.
constexpr int kAviAudioRate = 8000;
constexpr int kAviAudioBits = 16;
constexpr int kAviAudioChannels = 1;
constexpr int kAviAudioCodec = 6;
constexpr std::size_t kAudioHeaderBytes = 4;  // in front of the G.711 bytes of an audio payload
constexpr uint8_t kAviMulawType = 1;          // audio type of an AVI's G.711 mu-law records

uint64_t FileSize(std::FILE* f) {
    struct stat st {};
    if (fstat(fileno(f), &st) != 0 || st.st_size < 0) return 0;
    return static_cast<uint64_t>(st.st_size);
}

std::string FieldString(const char (&field)[kPathChars]) {
    return std::string(field, strnlen(field, kPathChars));
}

bool StorePath(const char* path, char (&field)[kPathChars]) {
    if (path == nullptr) return false;
    const std::size_t n = strnlen(path, kPathChars + 1);
    if (n == 0 || n > kPathChars) return false;
    std::memcpy(field, path, n);
    return true;
}

}  // namespace

ConverterOptions DefaultConverterOptions() {
    ConverterOptions o;
    if (const char* v = std::getenv("ZYNVS_CONVERT_POLL_MS")) {
        const long ms = std::strtol(v, nullptr, 10);
        if (ms >= 10 && ms <= kIdlePollMs) o.idle_poll_ms = static_cast<int>(ms);
    }
    return o;
}

CFileConverter::CFileConverter(const ConverterOptions& options)
    : options_(options), audio_samples_(kEncodeBufferBytes) {}

CFileConverter::~CFileConverter() {
    Stop();
    std::lock_guard start(start_mutex_);
    if (worker_.joinable()) worker_.join();
}

void CFileConverter::Start() {
    std::lock_guard start(start_mutex_);
    if (started_) return;
    worker_alive_.store(true);
    try {
        worker_ = std::thread([this] { WorkerMain(); });
    } catch (...) {
        worker_alive_.store(false);
        throw;
    }
    started_ = true;
}

bool CFileConverter::Queue(const char* source_path, const char* target_path, int mode,
                           int first_value, int second_value) {
    _stConvertFile job{};
    if (!StorePath(source_path, job.source_path) || !StorePath(target_path, job.target_path))
        return false;
    job.mode = mode;
    job.first_value = first_value;
    job.second_value = second_value;
    std::lock_guard lock(queue_mutex_);
    queue_.push_back(job);
    return true;
}

void CFileConverter::Stop() {
    {
        // Under the queue lock, so the worker either sees the stop before it
        // takes a job or the job sees it in its frame loop.
        std::lock_guard lock(queue_mutex_);
        job_stop_.store(1);
        worker_stop_.store(1);
        queue_.clear();
    }
    wake_.notify_all();
    std::lock_guard start(start_mutex_);
    if (!worker_.joinable()) return;
    bool ended;
    {
        std::unique_lock lock(queue_mutex_);
        ended = worker_ended_.wait_for(lock, std::chrono::milliseconds(options_.stop_wait_ms),
                                       [this] { return !worker_alive_.load(); });
    }
    // A worker still busy (a clip copy does not look at the stop flags) is
    // joined by the destructor.
    if (ended) worker_.join();
}

std::size_t CFileConverter::queued_jobs() const {
    std::lock_guard lock(queue_mutex_);
    return queue_.size();
}

ZynConvertProgress CFileConverter::Progress() const {
    ZynConvertProgress p{};
    p.bytes_read = bytes_read_.load();
    p.total_bytes = total_bytes_.load();
    p.mode = current_mode_.load();
    {
        // The worker marks a job running under this lock as it takes it out.
        std::lock_guard lock(queue_mutex_);
        p.running = running_.load();
        p.jobs_queued = static_cast<uint32_t>(queue_.size());
    }
    p.jobs_finished = jobs_finished_.load();
    return p;
}

JobReport CFileConverter::last_report() const {
    std::lock_guard lock(report_mutex_);
    return report_;
}

void CFileConverter::WorkerMain() {
    std::unique_lock lock(queue_mutex_);
    while (!worker_stop_.load()) {
        if (!queue_.empty()) {
            const _stConvertFile job = queue_.front();
            queue_.pop_front();
            job_stop_.store(0);
            running_.store(1);
            current_mode_.store(job.mode);
            lock.unlock();
            Run(job);
            lock.lock();
            continue;
        }
        wake_.wait_for(lock, std::chrono::milliseconds(options_.idle_poll_ms),
                       [this] { return worker_stop_.load() != 0; });
    }
    worker_alive_.store(false);
    lock.unlock();
    worker_ended_.notify_all();
}

void CFileConverter::RunJob(const _stConvertFile& job) {
    job_stop_.store(0);
    Run(job);
}

void CFileConverter::Run(const _stConvertFile& job) {
    running_.store(1);
    current_mode_.store(job.mode);
    bytes_read_.store(0);
    total_bytes_.store(0);
    JobReport report;
    report.mode = job.mode;
    RunToTarget(job, &report);
    if (report.failed && report.error.empty()) report.error = "the job failed";
    {
        std::lock_guard lock(report_mutex_);
        report_ = report;
    }
    jobs_finished_.fetch_add(1);
    running_.store(0);
}

void CFileConverter::RunToTarget(const _stConvertFile& job, JobReport* report) {
    const std::string source = FieldString(job.source_path);
    const std::string target = FieldString(job.target_path);
    write_error_ = 0;
    const bool writes = job.mode == kModeAvi || job.mode == kModeTranscode ||
                        job.mode == kModeClip || IsContainerMode(job.mode);
    if (!writes) {
        ConvertRecording(source, target, job.mode, report);
        return;
    }
    struct stat src {
    }, dst{};
    if (stat(source.c_str(), &src) != 0) {
        report->failed = true;
        report->error = source + ": " + std::strerror(errno);
        return;
    }
    if (stat(target.c_str(), &dst) == 0) {
        if (dst.st_dev == src.st_dev && dst.st_ino == src.st_ino) {
            report->failed = true;
            report->error = target + " is the source itself";
            return;
        }
        if (!S_ISREG(dst.st_mode)) {
            report->failed = true;
            report->error = target + " is not a regular file";
            return;
        }
    }
    const std::filesystem::path target_path(target);
    std::error_code ec;
    if (target_path.has_parent_path())
        std::filesystem::create_directories(target_path.parent_path(), ec);
    // The new file: beside the target (same file system, so the rename is
    // atomic), a name no one else uses, the target's usual permissions.
    std::string temporary;
    for (int attempt = 0; temporary.empty() && attempt < 100; ++attempt) {
        const std::string name =
            target + ".partial-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
        const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            close(fd);
            temporary = name;
        } else if (errno != EEXIST) {
            break;
        }
    }
    if (temporary.empty()) {
        report->failed = true;
        report->error = "cannot write beside " + target + ": " + std::strerror(errno);
        return;
    }
    if (job.mode == kModeClip)
        CopyClip(source, temporary, job.first_value, job.second_value, report);
    else
        ConvertRecording(source, temporary, job.mode, report);
    if (write_error_ != 0) {
        report->failed = true;
        report->error = target + ": " + std::strerror(write_error_);
    }
    const bool keep = !report->failed && !(report->stopped && options_.discard_stopped);
    if (keep && std::rename(temporary.c_str(), target.c_str()) != 0) {
        report->failed = true;
        report->error = target + ": " + std::strerror(errno);
    }
    if (!keep || report->failed) unlink(temporary.c_str());
}

void CFileConverter::ConvertRecording(const std::string& source, const std::string& target,
                                      int mode, JobReport* report) {
    // The source is opened first, so a job whose source is missing leaves an
    // existing target alone.
    std::FILE* src = std::fopen(source.c_str(), "rb");
    if (src == nullptr) {
        report->failed = true;
        return;
    }
    report->source_opened = true;
    report->source_bytes = FileSize(src);
    total_bytes_.store(report->source_bytes);

    auto close_all = [&] {
        if (target_ != nullptr && std::fclose(target_) != 0 && write_error_ == 0)
            write_error_ = errno ? errno : EIO;
        target_ = nullptr;
        if (avi_) {
            const int error = avi_->Close();
            if (error != 0 && write_error_ == 0) write_error_ = error;
        }
        avi_.reset();
        if (container_) {
            if (!container_->Close()) {
                if (container_->system_error() != 0 && write_error_ == 0)
                    write_error_ = container_->system_error();
                report->failed = true;
                if (report->error.empty()) report->error = container_->error();
            }
            container_.reset();
        }
        video_decoder_.Close();
        audio_decoder_.Close();
        video_encoder_.Close();
        audio_encoder_.Close();
        std::fclose(src);
    };

    if (mode == kModeAvi) {
        avi_ = std::make_unique<CAviStreamWriter>();
        avi_streams_added_ = false;
        if (avi_->Open(target.c_str()) != 0) {
            report->failed = true;
            close_all();
            return;
        }
        report->target_opened = true;
    } else if (IsContainerMode(mode)) {
        container_ = std::make_unique<CContainerWriter>();
        last_capture_ms_ = next_video_ms_ = -1;
        if (!container_->Open(target, mode == kModeMp4 ? Container::kMp4 : Container::kMatroska)) {
            close_all();
            return;
        }
        report->target_opened = true;
    } else if (mode == kModeTranscode) {
        video_decoder_.OpenVideo(options_.decoder_threads);
        audio_decoder_.OpenAudio();
        target_ = std::fopen(target.c_str(), "wb");
        target_bytes_ = 0;
        if (target_ == nullptr) {
            report->failed = true;
            close_all();
            return;
        }
        report->target_opened = true;
        video_encoder_.OpenVideo(options_.encoder_threads);
        if (audio_encoder_.OpenAudio(kG711SampleRate) == kAudioContextFailed) {
            // The job fails; the process and the worker go on.
            report->failed = true;
            close_all();
            return;
        }
    }

    picture_width_ = kDefaultPictureWidth;
    picture_height_ = kDefaultPictureHeight;
    // A native recording or an AVI file (also one cut off before its index).
    mediafile::OpenedRecording opened = mediafile::OpenRecording(src, nullptr);
    if (!opened.reader) {
        close_all();
        return;
    }
    if (opened.header.valid) {
        picture_width_ = opened.header.picture_width;
        picture_height_ = opened.header.picture_height;
    }
    avi_source_ = opened.format == mediafile::RecordingFormat::kAvi;
    mediafile::MediaReader& reader = *opened.reader;
    bytes_read_.store(opened.records_start);
    if (container_) {
        // The audio stream is declared with the video at the first key frame,
        // so look ahead (headers only) for any audio record.
        mediafile::MediaRecord rec;
        mediafile::RecordKind kind;
        source_has_audio_ = false;
        while (!source_has_audio_ &&
               (kind = reader.ReadHeaderOnly(&rec)) != mediafile::RecordKind::kEnd)
            source_has_audio_ =
                kind == mediafile::RecordKind::kAudio && rec.complete && TakesAudio(rec.header);
        reader.Seek(opened.records_start);
    }

    FrameLoop(reader, mode, report);
    if (mode == kModeTranscode) FinishTranscode(report);
    close_all();
}

bool CFileConverter::TakesAudio(const uint8_t* header) const {
    // An AVI's sound is taken when it is G.711 mu-law, what the writers and
    // the transcoder take; a native recording's audio records are that.
    return !avi_source_ || mediafile::wire::AudioHeader(header).audio_type() == kAviMulawType;
}

void CFileConverter::HandleFrame(const uint8_t* frame, std::size_t bytes, bool key, int mode,
                                 JobReport* report) {
    ++report->frames;
    if (container_) {
        if (!container_->begun()) BeginContainer(frame, bytes, report);
        if (container_->begun() &&
            container_->WriteVideo(frame, bytes, key, NextVideoTime(frame_capture_ms_)))
            ++report->samples_written;
        write_error_ = container_->system_error();
    } else if (avi_) {
        if (!avi_streams_added_) AddAviStreams(frame, bytes, report);
        const int result = avi_->WriteVideo(frame, bytes, key);
        if (result == 0)
            ++report->samples_written;
        else if (result > 0)
            write_error_ = result;
    } else if (mode == kModeTranscode) {
        TranscodeFrame(frame, bytes, report);
    }
}

void CFileConverter::FrameLoop(mediafile::MediaReader& reader, int mode, JobReport* report) {
    frames_.Reset();
    bool wait_for_key = true;
    mediafile::MediaRecord rec;
    while (write_error_ == 0 && reader.Next(&rec, &job_stop_)) {
        bytes_read_.store(reader.position(), std::memory_order_relaxed);
        if (rec.kind == 'V') {
            ++report->video_records;
            const uint8_t frame_type = mediafile::wire::FragmentHeader(rec.header).frame_type();
            if (wait_for_key && frame_type != kKeyFrameType) continue;
            if (!frames_.Add(rec.header, rec.payload, rec.length)) continue;
            wait_for_key = false;
            const mediafile::wire::FragmentHeader h(rec.header);
            frame_capture_ms_ =
                h.time_sec() != 0 ? int64_t{h.time_sec()} * 1000 + h.time_msec() : -1;
            HandleFrame(frames_.frame(), frames_.frame_bytes(), frame_type == kKeyFrameType, mode,
                        report);
        } else {
            ++report->audio_records;
            if (rec.length < kAudioHeaderBytes || !TakesAudio(rec.header)) continue;
            const uint8_t* data = rec.payload + kAudioHeaderBytes;
            const std::size_t length = rec.length - kAudioHeaderBytes;
            if (avi_) {
                const int result = avi_->WriteAudio(data, length);
                if (result > 0) write_error_ = result;
            } else if (container_) {
                // Sound before the first key frame has no picture to go with.
                if (container_->begun()) container_->WriteAudio(data, length);
                write_error_ = container_->system_error();
            } else if (mode == kModeTranscode && target_ != nullptr) {
                TranscodeAudio(data, length, report);
            }
        }
    }
    bytes_read_.store(reader.position());
    report->bytes_read = reader.position();
    report->reader = reader.stats();
    report->stopped = job_stop_.load() != 0;
    // A recording without a key frame still gives an AVI with its one stream.
    if (avi_ && !avi_streams_added_) AddAviStreams(nullptr, 0, report);
    NoFramesForContainer(report);
}

void CFileConverter::NoFramesForContainer(JobReport* report) {
    // A container without a single picture is no use to anyone: the job fails
    // and the target stays as it was.
    if (!container_ || container_->begun() || !container_->error().empty() || report->failed)
        return;
    report->failed = true;
    report->error = "no key frame in the recording: nothing to put in a container";
}

bool CFileConverter::IsContainerMode(int mode) const {
    return options_.container_modes && (mode == kModeMp4 || mode == kModeMatroska);
}

void CFileConverter::DeclarePictureSize(const uint8_t* key_frame, std::size_t bytes,
                                        JobReport* report, int* width, int* height) const {
    const bool from_stream = H264PictureSize(key_frame, bytes, width, height);
    if (!from_stream) {
        const bool header_size = picture_width_ > 0 && picture_height_ > 0;
        *width = header_size ? picture_width_ : kDefaultPictureWidth;
        *height = header_size ? picture_height_ : kDefaultPictureHeight;
    }
    report->declared_width = *width;
    report->declared_height = *height;
    report->size_from_stream = from_stream;
}

void CFileConverter::BeginContainer(const uint8_t* key_frame, std::size_t bytes,
                                    JobReport* report) {
    int width = 0, height = 0;
    DeclarePictureSize(key_frame, bytes, report, &width, &height);
    container_->Begin(key_frame, bytes, width, height, source_has_audio_);
    report->audio_copied = container_->audio_copied();
}

int64_t CFileConverter::NextVideoTime(int64_t capture_ms) {
    constexpr int64_t kFrameMs = 1000 / kVideoFrameRate;
    if (next_video_ms_ < 0)
        next_video_ms_ = 0;
    else if (capture_ms >= 0 && last_capture_ms_ >= 0 && capture_ms > last_capture_ms_)
        next_video_ms_ += capture_ms - last_capture_ms_;
    else
        next_video_ms_ += kFrameMs;
    if (capture_ms >= 0) last_capture_ms_ = capture_ms;
    return next_video_ms_;
}

void CFileConverter::AddAviStreams(const uint8_t* key_frame, std::size_t bytes, JobReport* report) {
    int width = 0, height = 0;
    DeclarePictureSize(key_frame, bytes, report, &width, &height);
    avi_->AddVideoStream(width, height, kAviRate, kAviScale, kAviCodecH264);
    avi_->AddAudioStream(kAviAudioRate, kAviAudioBits, kAviAudioChannels, kAviAudioCodec);
    avi_streams_added_ = true;
}

void CFileConverter::WriteTarget(std::vector<uint8_t>& bytes, bool audio, JobReport* report) {
    if (target_ == nullptr || bytes.empty()) return;
    const std::size_t put = std::fwrite(bytes.data(), 1, bytes.size(), target_);
    if (put != bytes.size() && write_error_ == 0) write_error_ = errno ? errno : EIO;
    (audio ? report->audio_bytes_out : report->video_bytes_out) += put;
    if (options_.log_writes) report->writes.push_back({audio, target_bytes_, put});
    target_bytes_ += put;
    bytes.clear();
}

void CFileConverter::EncodePictures(int result, JobReport* report) {
    while (result > 0) {
        ++report->pictures_decoded;
        encoded_.clear();
        if (video_encoder_.EncodeVideo(video_decoder_.picture(), result, &encoded_) > 0)
            WriteTarget(encoded_, false, report);
        result = video_decoder_.ReceivePicture();
    }
}

void CFileConverter::TranscodeFrame(const uint8_t* data, std::size_t bytes, JobReport* report) {
    if (bytes == 0 || bytes > static_cast<std::size_t>(INT32_MAX)) return;
    EncodePictures(video_decoder_.DecodeVideo(data, static_cast<int>(bytes)), report);
}

void CFileConverter::TranscodeAudio(const uint8_t* data, std::size_t bytes, JobReport* report) {
    if (bytes == 0) return;
    int decoded = 0;
    if (audio_decoder_.DecodeAudio(data, static_cast<int>(bytes), audio_samples_.data(),
                                   static_cast<int>(audio_samples_.size()), &decoded) != 1)
        return;
    encoded_.clear();
    if (audio_encoder_.EncodeAudio(reinterpret_cast<const int16_t*>(audio_samples_.data()), decoded,
                                   &encoded_) > 0)
        WriteTarget(encoded_, true, report);
}

void CFileConverter::FinishTranscode(JobReport* report) {
    if (target_ == nullptr) return;
    // Pictures the decoder and the encoder still hold belong to the file.
    video_decoder_.FlushVideo();
    EncodePictures(video_decoder_.ReceivePicture(), report);
    encoded_.clear();
    if (video_encoder_.FlushVideo(&encoded_) > 0) WriteTarget(encoded_, false, report);
    encoded_.clear();
    if (audio_encoder_.FlushAudio(&encoded_) > 0) WriteTarget(encoded_, true, report);
}

void CFileConverter::CopyClip(const std::string& source, const std::string& target,
                              int first_percent, int second_percent, JobReport* report) {
    std::FILE* src = std::fopen(source.c_str(), "rb");
    if (src == nullptr) {
        report->failed = true;
        return;
    }
    report->source_opened = true;
    std::error_code ec;
    const std::filesystem::path target_path(target);
    if (target_path.has_parent_path())
        std::filesystem::create_directories(target_path.parent_path(), ec);
    std::FILE* dst = std::fopen(target.c_str(), "wb");
    if (dst == nullptr) {
        std::fclose(src);
        report->failed = true;
        return;
    }
    report->target_opened = true;
    const uint64_t size = FileSize(src);
    report->source_bytes = size;
    const int a = std::clamp(first_percent, 0, 100);
    const int b = std::clamp(second_percent, 0, 100);
    // Whole bytes, exact: (b - a) / 100 of the size, starting at a / 100.
    using Wide = unsigned __int128;
    const uint64_t count = b > a ? static_cast<uint64_t>(static_cast<Wide>(b - a) * size / 100) : 0;
    const uint64_t start = static_cast<uint64_t>(static_cast<Wide>(a) * size / 100);
    total_bytes_.store(count);
    uint64_t copied = 0;
    if (count > 0 && fseeko(src, static_cast<off_t>(start), SEEK_SET) == 0) {
        uint8_t block[kClipBlockBytes];
        while (copied < count) {
            const std::size_t want =
                static_cast<std::size_t>(std::min<uint64_t>(sizeof block, count - copied));
            const std::size_t got = std::fread(block, 1, want, src);
            if (got == 0) break;
            const std::size_t put = std::fwrite(block, 1, got, dst);
            if (put != got) write_error_ = errno ? errno : EIO;
            copied += put;
            bytes_read_.store(copied, std::memory_order_relaxed);
            if (put != got || got != want) break;
        }
    }
    bytes_read_.store(copied);
    report->bytes_read = copied;
    report->clip_bytes = copied;
    if (std::fclose(dst) != 0 && write_error_ == 0) write_error_ = errno ? errno : EIO;
    std::fclose(src);
}

}  // namespace playctrl::convert
