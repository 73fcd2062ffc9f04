// Virtual devices of one emulated vendor library, and the log of every call
// made into it.
//
// Each emulated library (its own shared object) holds one Store with the
// devices of its maker. They come from the file named by the environment
// variable ZYNSEARCH_VENDOR_DEVICES, else from "vendor_devices.txt" beside
// the program, else from one built-in device per maker; tests replace them
// through the ZynVendorEmu_ functions (emu_control.h).
//
// File format: one device per line, "maker key=value ...", '#' starts a
// comment. Makers: i8, camsearch (also the LangChi devices of NetClient),
// netsdk, js, ants. Keys: ip, mask, gateway, mac
// (aa:bb:cc:dd:ee:ff), name, id, model, channels, data_port, web_port,
// extra1, extra2, user, password, upgrade_ms (how long an upgrade runs),
// upgrade_state (the state it ends in, 1 success), login (fail: refuse),
// alarm_in, alarm_out, serial.
// Values hold no spaces. Actions add keys: reboots, restores, upgrades.
//
// Threads: every method may be called from any thread (one mutex).
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#define ZYN_VENDOR_EXPORT extern "C" __attribute__((visibility("default")))

namespace vendor_emu {

struct Device {
    std::string maker;
    std::map<std::string, std::string> fields;

    std::string Text(const std::string& key) const;
    int Int(const std::string& key, int fallback = 0) const;
    std::array<uint8_t, 6> Mac() const;
    std::string Line() const;           // "maker key=value ..."
    void Bump(const std::string& key);  // adds 1 to a counter field
};

// The maker whose devices this library keeps; each emulated library defines it.
const char* LibraryMaker();

// "maker key=value ..." into a device; false for an empty or comment line.
bool ParseDeviceLine(const std::string& line, Device* out);
bool ParseIpv4(const std::string& text, uint8_t out[4]);

class Store {
public:
    // The store of this library; `maker` names the devices it keeps.
    static Store& Instance();

    std::vector<Device> Devices() const;
    void Reset(std::vector<Device> devices);
    void Add(Device d);
    // Runs `fn` on the device with this IP (and, when port > 0, data port)
    // under the store's lock; false when there is none.
    bool With(const std::string& ip, int port, const std::function<void(Device&)>& fn);
    bool WithIndex(size_t index, const std::function<void(Device&)>& fn);

    void Log(std::string call);
    // Logs the call and tells whether it is to fail: its name (the text
    // before '(') is in the failing set (ZynVendorEmu_Fail, or the
    // environment variable ZYN_VENDOR_FAIL: names separated by commas).
    bool LogFails(std::string call);
    void SetFailing(const std::string& names);
    std::vector<std::string> Calls() const;
    void SetLastBlock(const void* data, size_t bytes);
    std::vector<uint8_t> LastBlock() const;

private:
    Store();
    void LoadDefaults();

    mutable std::mutex mu_;
    std::vector<Device> devices_;       // guarded by mu_
    std::vector<std::string> calls_;    // guarded by mu_
    std::vector<uint8_t> last_block_;   // guarded by mu_
    std::vector<std::string> failing_;  // guarded by mu_
};

std::string Quote(const char* text);  // "(null)" or the text

// A thread that runs `work` once and can be stopped early: work calls
// Wait(ms), which returns false when stopped.
class Worker {
public:
    ~Worker() { Stop(); }
    void Start(std::function<void(Worker&)> work);
    void Stop();
    bool Wait(int ms);
    bool running() const { return thread_.joinable(); }

private:
    std::mutex mu_;
    std::condition_variable cv_;
    bool stop_ = false;  // guarded by mu_
    std::thread thread_;
};

// Upgrade simulation: progress grows with time to 100 over upgrade_ms, then
// the state becomes the device's upgrade_state.
struct Upgrade {
    std::chrono::steady_clock::time_point start;
    int duration_ms = 3000;
    int final_state = 1;
    int Progress() const;
    bool Done() const { return Progress() >= 100; }
};

}  // namespace vendor_emu
