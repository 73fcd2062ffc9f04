#include "vendors/emu/virtual_devices.h"

#include "vendors/loader.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace vendor_emu {

namespace {

const char* const kDefaults[] = {
    "i8 ip=127.0.0.31 mask=255.0.0.0 gateway=127.0.0.1 mac=00:12:31:00:00:01 "
    "id=I8NVR20260001 model=NVR-16CH data_port=8000 web_port=80 user=admin password=",
    "camsearch ip=127.0.0.41 mask=255.0.0.0 gateway=127.0.0.1 mac=00:12:41:00:00:01 "
    "name=TI-Cam-1 data_port=5000 web_port=80 channels=1 user=570431 password=570431",
    "netsdk ip=127.0.0.51 mask=255.0.0.0 gateway=127.0.0.1 mac=00:12:51:00:00:01 "
    "name=HI-Cam-1 data_port=34567 web_port=80 extra1=7 extra2=9 user=admin password=",
    "js ip=127.0.0.61 mask=255.0.0.0 gateway=127.0.0.1 mac=00:12:61:00:00:01 "
    "name=JS-ICR-1 id=JS0000000061 data_port=554 web_port=80 channels=1 user=admin "
    "password=vupra",
    "ants ip=127.0.0.71 mask=255.0.0.0 gateway=127.0.0.1 name=ANTS-NVR-1 serial=ANTS20260000071 "
    "data_port=8000 web_port=80 channels=4 alarm_in=4 alarm_out=2 user=admin password=12345",
};

}  // namespace

std::string Device::Text(const std::string& key) const {
    auto it = fields.find(key);
    return it == fields.end() ? std::string() : it->second;
}

int Device::Int(const std::string& key, int fallback) const {
    std::string v = Text(key);
    if (v.empty()) return fallback;
    return static_cast<int>(std::strtol(v.c_str(), nullptr, 10));
}

std::array<uint8_t, 6> Device::Mac() const {
    std::array<uint8_t, 6> m{};
    unsigned v[6] = {};
    if (std::sscanf(Text("mac").c_str(), "%x:%x:%x:%x:%x:%x", &v[0], &v[1], &v[2], &v[3], &v[4],
                    &v[5]) == 6)
        for (int i = 0; i < 6; ++i) m[i] = static_cast<uint8_t>(v[i]);
    return m;
}

std::string Device::Line() const {
    std::string s = maker;
    for (const auto& [k, v] : fields) s += " " + k + "=" + v;
    return s;
}

void Device::Bump(const std::string& key) {
    fields[key] = std::to_string(Int(key) + 1);
}

bool ParseDeviceLine(const std::string& line, Device* out) {
    std::istringstream in(line.substr(0, line.find('#')));
    Device d;
    if (!(in >> d.maker)) return false;
    std::string word;
    while (in >> word) {
        size_t eq = word.find('=');
        if (eq == std::string::npos) continue;
        d.fields[word.substr(0, eq)] = word.substr(eq + 1);
    }
    *out = std::move(d);
    return true;
}

bool ParseIpv4(const std::string& text, uint8_t out[4]) {
    unsigned v[4];
    char tail;
    if (std::sscanf(text.c_str(), "%u.%u.%u.%u%c", &v[0], &v[1], &v[2], &v[3], &tail) != 4)
        return false;
    for (int i = 0; i < 4; ++i) {
        if (v[i] > 255) return false;
        out[i] = static_cast<uint8_t>(v[i]);
    }
    return true;
}

Store& Store::Instance() {
    static Store store;
    return store;
}

Store::Store() {
    std::vector<std::string> lines;
    const char* env = std::getenv("ZYNSEARCH_VENDOR_DEVICES");
    std::ifstream in(env && *env ? std::string(env)
                                 : vendors::ProgramDir() + "/vendor_devices.txt");
    if (in) {
        for (std::string line; std::getline(in, line);) lines.push_back(line);
    } else {
        lines.assign(std::begin(kDefaults), std::end(kDefaults));
    }
    for (const std::string& line : lines) {
        Device d;
        if (ParseDeviceLine(line, &d) && d.maker == LibraryMaker())
            devices_.push_back(std::move(d));
    }
    if (const char* fail = std::getenv("ZYN_VENDOR_FAIL")) SetFailing(fail);
}

bool Store::LogFails(std::string call) {
    const std::string name = call.substr(0, call.find('('));
    std::lock_guard<std::mutex> lock(mu_);
    if (calls_.size() < 10000) calls_.push_back(std::move(call));
    return std::find(failing_.begin(), failing_.end(), name) != failing_.end();
}

void Store::SetFailing(const std::string& names) {
    std::vector<std::string> list;
    std::istringstream in(names);
    for (std::string name; std::getline(in, name, ',');)
        if (!name.empty()) list.push_back(name);
    std::lock_guard<std::mutex> lock(mu_);
    failing_ = std::move(list);
}

std::vector<Device> Store::Devices() const {
    std::lock_guard<std::mutex> lock(mu_);
    return devices_;
}

void Store::Reset(std::vector<Device> devices) {
    std::lock_guard<std::mutex> lock(mu_);
    devices_ = std::move(devices);
    calls_.clear();
    last_block_.clear();
    failing_.clear();
}

void Store::Add(Device d) {
    std::lock_guard<std::mutex> lock(mu_);
    devices_.push_back(std::move(d));
}

bool Store::With(const std::string& ip, int port, const std::function<void(Device&)>& fn) {
    std::lock_guard<std::mutex> lock(mu_);
    for (Device& d : devices_) {
        if (d.Text("ip") == ip && (port <= 0 || d.Int("data_port") == port)) {
            fn(d);
            return true;
        }
    }
    return false;
}

bool Store::WithIndex(size_t index, const std::function<void(Device&)>& fn) {
    std::lock_guard<std::mutex> lock(mu_);
    if (index >= devices_.size()) return false;
    fn(devices_[index]);
    return true;
}

void Store::Log(std::string call) {
    std::lock_guard<std::mutex> lock(mu_);
    if (calls_.size() < 10000) calls_.push_back(std::move(call));
}

std::vector<std::string> Store::Calls() const {
    std::lock_guard<std::mutex> lock(mu_);
    return calls_;
}

void Store::SetLastBlock(const void* data, size_t bytes) {
    std::lock_guard<std::mutex> lock(mu_);
    auto p = static_cast<const uint8_t*>(data);
    last_block_.assign(p, p + bytes);
}

std::vector<uint8_t> Store::LastBlock() const {
    std::lock_guard<std::mutex> lock(mu_);
    return last_block_;
}

std::string Quote(const char* text) {
    return text ? text : "(null)";
}

void Worker::Start(std::function<void(Worker&)> work) {
    Stop();
    {
        std::lock_guard<std::mutex> lock(mu_);
        stop_ = false;
    }
    thread_ = std::thread([this, work = std::move(work)] { work(*this); });
}

void Worker::Stop() {
    {
        std::lock_guard<std::mutex> lock(mu_);
        stop_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

bool Worker::Wait(int ms) {
    std::unique_lock<std::mutex> lock(mu_);
    return !cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stop_; });
}

int Upgrade::Progress() const {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - start)
                  .count();
    if (duration_ms <= 0 || ms >= duration_ms) return 100;
    return static_cast<int>(ms * 100 / duration_ms);
}

}  // namespace vendor_emu
