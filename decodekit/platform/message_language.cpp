#include "decodekit/platform/message_language.h"

#include "decodekit/platform/message_box.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <mutex>

namespace {

struct LanguageState {
    std::mutex mutex;
    std::string folder_override;             // guarded by mutex; empty = module folder
    int language = 0;                        // guarded by mutex
    std::string file_name = "language.ini";  // guarded by mutex; name only
};

LanguageState& state() {
    static LanguageState s;
    return s;
}

std::string folder_of(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string module_folder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&LoadMessageLanguage), &info) != 0 && info.dli_fname &&
        info.dli_fname[0] == '/') {
        return folder_of(info.dli_fname);
    }
    // The code is linked into the program itself (dladdr then names argv[0]).
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) return folder_of(std::string(exe, static_cast<std::size_t>(n)));
    return std::string();
}

std::string folder_locked(LanguageState& s) {
    return s.folder_override.empty() ? module_folder() : s.folder_override;
}

const char* file_for_language(int language) {
    switch (language) {
        case 1:
            return "qxr_Chinese.ini";
        case 2:
            return "qxr_French.ini";
        default:
            return "language.ini";
    }
}

}  // namespace

void LoadMessageLanguage() {
    auto& s = state();
    std::unique_lock lock(s.mutex);
    std::ifstream in(folder_locked(s) + "Vexora.ini");
    if (!in) {
        s.language = 0;
        s.file_name = file_for_language(0);
        lock.unlock();
        decodekit::show_message_box("Load language library fails, the program will use", "error");
        return;
    }
    std::string line;
    if (!std::getline(in, line)) return;  // empty file
    const auto eq = line.find('=');
    if (eq == std::string::npos) return;
    const long number = std::strtol(line.c_str() + eq + 1, nullptr, 10);
    s.language = (number == 1 || number == 2) ? static_cast<int>(number) : 0;
    s.file_name = file_for_language(s.language);
}

std::string LookupTranslation(const char* english) {
    if (!english) return std::string();
    std::string path;
    {
        auto& s = state();
        std::lock_guard lock(s.mutex);
        if (s.language == 0) return english;
        path = folder_locked(s) + s.file_name;
    }
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        if (line.compare(0, eq, english) == 0) {
            return line.substr(eq + 1, decodekit::kMaxTranslationChars);
        }
    }
    return english;
}

namespace decodekit {

std::string message_language_folder() {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    return folder_locked(s);
}

void set_message_language_folder(const std::string& folder) {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    s.folder_override = folder;
    if (!folder.empty() && folder.back() != '/') s.folder_override += '/';
}

int message_language() {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    return s.language;
}

std::string message_language_file() {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    return folder_locked(s) + s.file_name;
}

void reset_message_language() {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    s.language = 0;
    s.file_name = file_for_language(0);
}

}  // namespace decodekit
