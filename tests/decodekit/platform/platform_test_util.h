// Helpers shared by the platform tests: temporary folders, file contents and
// an interceptor for the message-box hook.
#pragma once

#include "decodekit/platform/message_box.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace platform_test {

// A fresh folder under the test temp dir, removed at scope end.
class TempFolder {
public:
    TempFolder() {
        std::string tmpl = (std::filesystem::path(testing::TempDir()) / "zynvs-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) ADD_FAILURE() << "mkdtemp failed";
        path_ = tmpl;
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void write_text(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// Captures every box while alive.
class BoxCapture {
public:
    BoxCapture() {
        std::lock_guard lock(mutex());
        boxes().clear();
        previous_ = decodekit::set_message_box_hook(&BoxCapture::hook);
    }
    ~BoxCapture() { decodekit::set_message_box_hook(previous_); }
    std::vector<std::pair<std::string, std::string>> taken() const {
        std::lock_guard lock(mutex());
        return boxes();
    }

private:
    static void hook(const char* text, const char* caption) {
        std::lock_guard lock(mutex());
        boxes().emplace_back(text, caption);
    }
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    static std::vector<std::pair<std::string, std::string>>& boxes() {
        static std::vector<std::pair<std::string, std::string>> b;
        return b;
    }
    decodekit::MessageBoxHook previous_;
};

}  // namespace platform_test
