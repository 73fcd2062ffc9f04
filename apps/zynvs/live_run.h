// The live-view job of `zynvs live` and `zynvs demo`: log into a device, open
// live video and audio of some channels, record them, take a snapshot, and
// print what arrived.
#pragma once

#include <string>
#include <vector>

namespace zynvs_app {
struct LiveOptions {
    std::string host = "127.0.0.1";
    int port = 7000;         // control port; the stream port is port + 1 unless given
    int stream_port = 0;     // 0: port + 1
    std::string user = "admin";
    std::string password = "admin";
    int channel_count = 4;   // channels the device has
    std::vector<int> channels{0};
    std::vector<std::string> record_paths;  // one per channel (empty: no recording)
    std::vector<int> record_modes;          // 0 native, 1 AVI
    std::string snapshot_path;              // empty: no snapshot
    int seconds = 5;
    bool audio = true;
    bool progress = true;
};

struct ChannelSummary {
    int channel = 0;
    unsigned long long frames = 0;
    unsigned long long key_frames = 0;
    unsigned long long video_bytes = 0;
    unsigned long long audio_blocks = 0;
    unsigned long long audio_bytes = 0;
    std::string record_path;
    long long record_file_bytes = -1;
};

struct LiveSummary {
    bool logged_in = false;
    int reconnects = 0;
    int losses = 0;
    std::vector<ChannelSummary> channels;
    std::string snapshot_path;
    bool snapshot_written = false;
    std::vector<std::string> errors;
};

// Runs the job; the SDK must be loaded. Returns 0 on success.
int RunLive(const LiveOptions& options, LiveSummary* summary);
void PrintSummary(const LiveSummary& summary);
}  // namespace zynvs_app
