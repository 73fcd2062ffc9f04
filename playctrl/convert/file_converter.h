// CFileConverter: the player's background conversion engine. One worker
// thread takes jobs from a first-in-first-out queue and runs them one after
// another: mode 1 writes an AVI file with the recording's H.264 video, mode 4
// transcodes to a raw sequence of MPEG-2 video pictures and MP2 audio frames,
// mode 5 copies a byte range of the recording; with container_modes, modes
// kModeMp4 and kModeMatroska put the H.264 video (copied) and the sound into
// a standard container; any other mode reads the recording through and
// writes nothing.
//
// A job writes into a new file beside its target and renames it over the
// target only when it has succeeded, so a failed job leaves an existing
// target as it was. A target that is the source (the same file under any
// name) or not a regular file is refused before anything is written.
//
// Threads: any thread may call Queue, Stop, Progress and the accessors; the
// jobs run on the worker only. Stop and the destructor wait for the worker.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "playctrl/convert/ZynConvertProgress.h"
#include "playctrl/convert/avi_stream_writer.h"
#include "playctrl/convert/container_writer.h"
#include "playctrl/convert/convert_job.h"
#include "playctrl/convert/ff_codecs.h"
#include "mediafile/frame_assembler.h"
#include "mediafile/media_reader.h"

namespace playctrl::convert {

struct ConverterOptions {
    int idle_poll_ms = kIdlePollMs;  // sleep of the idle worker between looks at the queue
    int stop_wait_ms = kStopWaitMs;  // how long Stop waits for the worker
    int decoder_threads = 0;         // H.264 decoding; 0 lets FFmpeg choose
    int encoder_threads = 0;         // MPEG-2 encoding; 0 lets FFmpeg choose
    bool log_writes = false;         // keep JobReport::writes (tests)
    // A stopped job's output (whole pictures up to the stop) replaces the
    // target; with this set it is thrown away and the target left as it was.
    bool discard_stopped = false;
    // Modes kModeMp4 and kModeMatroska write containers; without this they
    // are unknown modes (the engine of the C interface).
    bool container_modes = false;
};

// Options for the engine that ZYNVS_PlAY_ConvertFile creates: the defaults,
// except that the environment variable ZYNVS_CONVERT_POLL_MS (10..5000, read
// when the engine is created) shortens the idle poll for tests.
ConverterOptions DefaultConverterOptions();

// One piece of a mode-4 target as written: MPEG-2 video or MP2 audio.
struct WriteSpan {
    bool audio = false;
    uint64_t offset = 0;
    uint64_t bytes = 0;
};

// What the last job did; for tests and the command-line program.
struct JobReport {
    int mode = 0;
    bool source_opened = false;
    bool target_opened = false;
    bool failed = false;        // ended early by an error (not by a stop)
    bool stopped = false;       // ended by a stop request
    std::string error;          // why it failed: the system's reason, or ours
    uint64_t source_bytes = 0;  // source size
    uint64_t bytes_read = 0;
    uint64_t video_records = 0;  // video records read in full
    uint64_t audio_records = 0;
    uint64_t frames = 0;            // complete frames after the first key frame
    uint64_t samples_written = 0;   // mode 1: AVI video samples; containers: video packets
    bool audio_copied = false;      // containers: G.711 as it is (else AAC, or no sound)
    uint64_t pictures_decoded = 0;  // mode 4
    uint64_t video_bytes_out = 0;   // mode 4: MPEG-2 bytes written
    uint64_t audio_bytes_out = 0;   // mode 4: MP2 bytes written
    uint64_t clip_bytes = 0;        // mode 5: bytes copied
    int declared_width = 0;         // mode 1: size declared for the AVI video stream
    int declared_height = 0;
    bool size_from_stream = false;  // mode 1: taken from the H.264 SPS
    mediafile::RecordReaderStats reader;
    std::vector<WriteSpan> writes;  // mode 4 with ConverterOptions::log_writes
};

class CFileConverter {
public:
    explicit CFileConverter(const ConverterOptions& options = ConverterOptions());
    // Stops as Stop does, then waits for the worker to end, however long a
    // clip copy still takes.
    ~CFileConverter();
    CFileConverter(const CFileConverter&) = delete;
    CFileConverter& operator=(const CFileConverter&) = delete;

    // Starts the worker thread (once; later calls do nothing). Throws
    // std::system_error when no thread can be started.
    void Start();

    // Queues a job. False, and nothing queued, when a path is null, empty or
    // longer than 128 characters.
    bool Queue(const char* source_path, const char* target_path, int mode, int first_value,
               int second_value);

    // Ends the running job's frame loop and the worker, empties the queue and
    // waits up to stop_wait_ms for the worker. Jobs queued afterwards stay in
    // the queue; the worker is not started again.
    void Stop();

    ZynConvertProgress Progress() const;
    JobReport last_report() const;
    bool worker_running() const { return worker_alive_.load(); }
    std::size_t queued_jobs() const;

    // Runs one job on the calling thread (tests and benchmarks; not while the
    // worker runs).
    void RunJob(const _stConvertFile& job);

private:
    void WorkerMain();
    void Run(const _stConvertFile& job);  // job stop is cleared by the caller
    void RunToTarget(const _stConvertFile& job, JobReport* report);
    void ConvertRecording(const std::string& source, const std::string& target, int mode,
                          JobReport* report);
    // The records of a recording of either kind (an AVI's chunks, read
    // without its index, come as records too).
    void FrameLoop(mediafile::MediaReader& reader, int mode, JobReport* report);
    // Whether an audio record's sound is taken over.
    bool TakesAudio(const uint8_t* header) const;
    // One whole frame to the target (AVI sample or transcoded picture).
    void HandleFrame(const uint8_t* frame, std::size_t bytes, bool key, int mode,
                     JobReport* report);
    bool IsContainerMode(int mode) const;
    void NoFramesForContainer(JobReport* report);
    // The container's streams, at the first key frame (or at the end).
    // The picture size a target declares: the key frame's SPS, else the
    // recording header's, else the default; recorded in the report.
    void DeclarePictureSize(const uint8_t* key_frame, std::size_t bytes, JobReport* report,
                            int* width, int* height) const;
    void BeginContainer(const uint8_t* key_frame, std::size_t bytes, JobReport* report);
    // The time stamp of the next video frame from its capture time (-1: none).
    int64_t NextVideoTime(int64_t capture_ms);
    void AddAviStreams(const uint8_t* key_frame, std::size_t bytes, JobReport* report);
    void TranscodeFrame(const uint8_t* data, std::size_t bytes, JobReport* report);
    void TranscodeAudio(const uint8_t* data, std::size_t bytes, JobReport* report);
    void FinishTranscode(JobReport* report);
    void EncodePictures(int first_result, JobReport* report);
    void WriteTarget(std::vector<uint8_t>& bytes, bool audio, JobReport* report);
    void CopyClip(const std::string& source, const std::string& target, int first_percent,
                  int second_percent, JobReport* report);

    const ConverterOptions options_;

    // Queue and worker state.
    mutable std::mutex queue_mutex_;
    std::condition_variable wake_;          // idle sleep; Stop ends it
    std::condition_variable worker_ended_;  // signalled with worker_alive_ = false
    std::deque<_stConvertFile> queue_;      // guarded by queue_mutex_
    std::thread worker_;                    // started and joined under start_mutex_
    std::mutex start_mutex_;
    bool started_ = false;  // guarded by start_mutex_
    std::atomic<bool> worker_alive_{false};
    std::atomic<int> worker_stop_{0};
    std::atomic<int> job_stop_{0};

    // Progress, written by the job's thread, read by anyone.
    std::atomic<uint64_t> bytes_read_{0};
    std::atomic<uint64_t> total_bytes_{0};
    std::atomic<int> current_mode_{0};
    std::atomic<int> running_{0};
    std::atomic<uint32_t> jobs_finished_{0};
    mutable std::mutex report_mutex_;
    JobReport report_;  // guarded by report_mutex_

    // Everything below belongs to the job's thread.
    int picture_width_ = kDefaultPictureWidth;  // from the source header
    int picture_height_ = kDefaultPictureHeight;
    mediafile::FrameAssembler frames_;  // the 1,024,000-byte frame buffer, allocated once
    std::unique_ptr<CAviStreamWriter> avi_;
    bool avi_streams_added_ = false;
    std::unique_ptr<CContainerWriter> container_;
    bool source_has_audio_ = false;  // container jobs: the recording has audio records
    bool avi_source_ = false;        // the running job reads an AVI file
    int64_t frame_capture_ms_ = -1;  // capture time of the frame being handled, -1: none
    int64_t last_capture_ms_ = -1;
    int64_t next_video_ms_ = -1;  // time stamp given to the last frame
    std::FILE* target_ = nullptr;
    uint64_t target_bytes_ = 0;
    int write_error_ = 0;  // errno of the first failed write of the job
    CFFDecoder video_decoder_;
    CFFDecoder audio_decoder_;
    CFFEncoder video_encoder_;
    CFFEncoder audio_encoder_;
    std::vector<uint8_t> audio_samples_;  // decoded G.711, kEncodeBufferBytes
    std::vector<uint8_t> encoded_;        // encoder output of one call
};

}  // namespace playctrl::convert
