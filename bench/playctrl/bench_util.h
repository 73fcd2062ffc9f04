// Shared pieces of the player benchmarks: a synthetic native recording of a
// given length and bit rate, and timing.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace pc_bench {

struct SyntheticRecording {
    std::string path;
    uint64_t bytes = 0;
    uint32_t frames = 0;
};

// Writes a native recording: 25 frames per second for `seconds`, averaging
// `bits_per_second`, a key frame (five times the size of the others) every 25
// frames. Payloads hold no record prefix and no H.264 start code.
SyntheticRecording WriteRecording(const std::string& path, int seconds, double bits_per_second);

// Plain fread loop over the file with a 64 KiB buffer; returns the bytes read.
uint64_t FreadAll(const std::string& path);

std::string TempPath(const std::string& name);

// Writes the file's pages out and asks the kernel to forget them, so that the
// next read comes from the disk (this file only; nothing else is touched).
void DropFromCache(const std::string& path);

inline double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace pc_bench
