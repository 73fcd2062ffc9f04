#include "apps/zynvs/recording_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "mediafile/avi_reader.h"
#include "mediafile/media_reader.h"
#include "zynvs/wire/byte_order.h"

namespace zynvs_app {

RecordingFacts InspectRecording(const std::string& path) {
    RecordingFacts facts;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        facts.error = std::strerror(errno);
        return facts;
    }
    facts.opened = true;
    // Native or AVI (also one cut off before its index), read as the player reads it.
    mediafile::OpenedRecording opened = mediafile::OpenRecording(f, nullptr);
    if (opened.header.valid) facts.start_time = opened.header.start_time;
    mediafile::MediaRecord rec;
    while (opened.reader && opened.reader->Next(&rec)) {
        if (rec.kind != 'V') {
            ++facts.audio_blocks;
            continue;
        }
        ++facts.video_frames;
        if (facts.start_time == 0 && rec.has_time_extension)
            facts.start_time = zyn::wire::LoadLe32(rec.time_extension);
    }
    std::fclose(f);
    return facts;
}

bool IsRecording(const RecordingFacts& facts) {
    return facts.opened && facts.video_frames + facts.audio_blocks > 0;
}

std::string WriteProblem(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) return "is not a regular file";
        if (access(path.c_str(), W_OK) != 0) return std::strerror(errno);
        return "";
    }
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return std::strerror(errno);
    close(fd);
    unlink(path.c_str());
    return "";
}

bool ImagePathSupported(const std::string& path) {
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return false;
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == "bmp" || ext == "png" || ext == "jpg" || ext == "jpeg";
}

long long AviFrameCount(const std::string& path) {
    // RIFF header (12), "LIST" hdrl (12), "avih" chunk header (8), then the
    // main header whose fifth word is the frame count.
    constexpr std::size_t kTotalFramesOffset = 12 + 12 + 8 + 16;
    uint8_t head[kTotalFramesOffset + 4];
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return -1;
    const std::size_t got = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    if (got != sizeof head || std::memcmp(head, "RIFF", 4) != 0 ||
        std::memcmp(head + 8, "AVI ", 4) != 0 || std::memcmp(head + 24, "avih", 4) != 0)
        return -1;
    return zyn::wire::LoadLe32(head + kTotalFramesOffset);
}

}  // namespace zynvs_app
