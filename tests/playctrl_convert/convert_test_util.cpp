#include "tests/playctrl_convert/convert_test_util.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "decodekit/platform/avi_file.h"

extern "C" {
#include <libavutil/log.h>
}

namespace convert_test {

TempFolder::TempFolder() {
    std::string tmpl = (std::filesystem::path(testing::TempDir()) / "zynconv-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) ADD_FAILURE() << "mkdtemp failed";
    path_ = tmpl;
}

TempFolder::~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

uint32_t Le32(const Bytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
uint16_t Le16(const Bytes& b, std::size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
std::string TagAt(const Bytes& b, std::size_t at) {
    return at + 4 <= b.size() ? std::string(b.begin() + at, b.begin() + at + 4) : std::string();
}

namespace {
void Put32(uint8_t* at, uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put16(uint8_t* at, uint16_t v) {
    at[0] = static_cast<uint8_t>(v);
    at[1] = static_cast<uint8_t>(v >> 8);
}

uint8_t MulawEncode(int16_t sample) {
    int pcm = sample;
    const int sign = pcm < 0 ? 0x80 : 0;
    if (pcm < 0) pcm = -pcm;
    if (pcm > 32635) pcm = 32635;
    pcm += 0x84;
    int exponent = 7;
    for (int mask = 0x4000; (pcm & mask) == 0 && exponent > 0; mask >>= 1) --exponent;
    const int mantissa = (pcm >> (exponent + 3)) & 0x0F;
    return static_cast<uint8_t>(~(sign | (exponent << 4) | mantissa));
}
}  // namespace

Bytes VideoRecord(const Bytes& data, bool key, uint32_t frame_number, bool time_extension,
                  uint32_t frame_ms) {
    const uint64_t ms = uint64_t{frame_number} * frame_ms;
    const std::size_t ext = time_extension ? 8 : 0;
    Bytes r(30 + ext + data.size(), 0);
    std::memcpy(r.data(), "XCXBV", 5);
    uint8_t* h = r.data() + 6;
    h[2] = 0;            // resolution code
    h[4] = key ? 7 : 1;  // frame type
    h[5] = time_extension ? 3 : 0;
    h[6] = 0;  // fragment index
    h[7] = 1;  // fragment count: complete-frame copy
    Put32(h + 8, frame_number);
    Put32(h + 12, static_cast<uint32_t>(data.size()));
    Put32(h + 16, static_cast<uint32_t>(1700000000u + ms / 1000));
    Put16(h + 20, static_cast<uint16_t>(ms % 1000));
    Put16(h + 22, static_cast<uint16_t>(data.size() > 0xFFFF ? 0xFFFF : data.size()));
    if (time_extension) Put32(r.data() + 30, 1700000000u + frame_number / 25);
    if (!data.empty()) std::memcpy(r.data() + 30 + ext, data.data(), data.size());
    return r;
}

Bytes AudioRecord(const Bytes& g711, uint32_t frame_number) {
    const std::size_t length = 4 + g711.size();
    Bytes r(30 + length, 0);
    std::memcpy(r.data(), "XCXBA", 5);
    uint8_t* h = r.data() + 6;
    h[0] = 1;  // codec byte: G.711
    h[3] = 2;  // audio stream
    h[7] = 1;
    Put32(h + 8, frame_number);
    Put32(h + 12, static_cast<uint32_t>(length));
    Put16(h + 22, static_cast<uint16_t>(length));
    uint8_t* data = r.data() + 30;
    data[0] = 0x00;
    data[1] = 0x01;
    Put16(data + 2, static_cast<uint16_t>(g711.size() / 2));
    std::memcpy(data + 4, g711.data(), g711.size());
    return r;
}

Bytes ToneMulaw(std::size_t first, std::size_t count) {
    Bytes out(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(first + i) / 8000.0;
        out[i] = MulawEncode(static_cast<int16_t>(8000.0 * std::sin(2.0 * M_PI * 440.0 * t)));
    }
    return out;
}

Recording WriteRecording(const std::string& path, const RecordingSpec& spec) {
    Recording rec;
    av_log_set_level(AV_LOG_ERROR);
    zyn_test::H264StreamOptions o;
    o.width = spec.width;
    o.height = spec.height;
    o.frames = spec.frames + spec.leading_skip;
    o.gop = spec.gop;
    o.noise = spec.noise;
    o.qp = spec.qp;
    o.b_frames = spec.b_frames;
    std::vector<zyn_test::H264Frame> all;
    try {
        all = zyn_test::MakeH264Stream(o);
    } catch (const std::exception& e) {
        ADD_FAILURE() << e.what();
        return rec;
    }
    for (int r = 0; r < std::max(1, spec.repeat); ++r)
        rec.frames.insert(rec.frames.end(), all.begin() + spec.leading_skip, all.end());
    rec.first_key = rec.frames.size();
    for (std::size_t i = 0; i < rec.frames.size(); ++i) {
        if (rec.frames[i].key) {
            rec.first_key = i;
            break;
        }
    }

    CAviFile file;
    std::FILE* raw = nullptr;
    if (spec.native_header) {
        if (file.Open(path.c_str(), 0, 1) != 1) {
            ADD_FAILURE() << "cannot create " << path;
            return rec;
        }
    } else {
        raw = std::fopen(path.c_str(), "wb");
        if (raw == nullptr) {
            ADD_FAILURE() << "cannot create " << path;
            return rec;
        }
    }
    auto put = [&](const Bytes& b, bool key) {
        if (raw != nullptr)
            std::fwrite(b.data(), 1, b.size(), raw);
        else
            file.WriteFrame(b.data(), b.size(), 0, key ? 1 : 0);
    };
    static const Bytes kJunk[] = {{'X'},
                                  {'X', 'C'},
                                  {'X', 'C', 'X'},
                                  {0x00, 0xFF, 'X', 'X', 'C', 'C'},
                                  {'X', 'C', 'X', 'B', 'Q', 0},
                                  {0x58, 0x43, 0x58, 0x43, 0x58}};
    std::size_t sample = 0;
    for (std::size_t i = 0; i < rec.frames.size(); ++i) {
        const auto& f = rec.frames[i];
        const bool ext = spec.time_extensions && i % 3 == 1;
        put(VideoRecord(f.data, f.key, static_cast<uint32_t>(i), ext,
                        static_cast<uint32_t>(spec.frame_ms)),
            f.key);
        if (spec.audio) {
            put(AudioRecord(ToneMulaw(sample, 320), static_cast<uint32_t>(i)), false);
            sample += 320;
            ++rec.audio_records;
        }
        if (spec.garbage && i % 4 == 2) put(kJunk[(i / 4) % std::size(kJunk)], false);
    }
    rec.audio_samples = sample;
    if (raw != nullptr)
        std::fclose(raw);
    else
        file.Close();
    rec.path = path;
    std::error_code ec;
    rec.size = std::filesystem::file_size(path, ec);
    return rec;
}

int CountOf(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

std::string ProbeValue(const std::string& text, const std::string& key) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    }
    return std::string();
}

}  // namespace convert_test
