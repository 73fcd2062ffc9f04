// The live-view job of `zynvs live` and `zynvs demo`: log into a device, open
// live video and audio of some channels, record them, take a snapshot, report
// every loss and recovery as it happens, and check at the end that the files
// hold what arrived.
#pragma once

#include <string>
#include <vector>

#include "apps/zynvs/device_session.h"

namespace zynvs_app {
struct LiveOptions {
    DeviceOptions device;                   // device.channels: the channels to watch
    std::vector<std::string> record_paths;  // one per channel (empty: no recording)
    std::vector<int> record_modes;          // 0 native, 1 AVI
    std::string snapshot_path;              // empty: no snapshot
    int seconds = 5;
    bool audio = true;
    bool progress = true;
    // Show the channels in a window (through the SDK's own drawing); keys s
    // snapshot, m mute, q quit. kAuto: when a display is available.
    enum class Window { kNo, kYes, kAuto } window = Window::kNo;
};

struct ChannelSummary {
    int channel = 0;
    unsigned long long frames = 0;
    unsigned long long key_frames = 0;
    unsigned long long video_bytes = 0;
    unsigned long long audio_blocks = 0;
    unsigned long long audio_bytes = 0;
    int stream_losses = 0;
    int stream_restores = 0;
    bool stream_down_at_end = false;
    std::string record_path;
    long long record_file_bytes = -1;
    long long record_frames = -1;  // as the file holds them; -1 unknown
};

struct LiveSummary {
    bool logged_in = false;
    int control_losses = 0;
    int reconnects = 0;
    bool control_down_at_end = false;
    int stop_signal = 0;  // the run was ended early by this signal
    std::vector<ChannelSummary> channels;
    std::string snapshot_path;
    bool snapshot_written = false;
    std::vector<std::string> errors;
};

// Runs the job. Returns kExitOk, kExitFailed (also for a run that ended
// degraded) or kExitUsage (a channel the device does not have).
int RunLive(const LiveOptions& options, LiveSummary* summary);
void PrintSummary(const LiveSummary& summary);
}  // namespace zynvs_app
