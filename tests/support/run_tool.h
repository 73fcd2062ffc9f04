// Runs a command-line tool (ffprobe, ffmpeg, ...) from a test.
#pragma once

#include <string>

namespace zyn_test {
struct RunResult {
    int status = -1;
    std::string output;  // stdout and stderr
};
// Runs command in a shell, capturing stdout and stderr.
RunResult RunTool(const std::string& command);
// Full path of a tool, "" when not installed.
std::string Which(const char* tool);
}  // namespace zyn_test
