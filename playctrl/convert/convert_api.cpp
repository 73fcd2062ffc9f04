#include "playctrl/convert/convert_api.h"

#include <exception>
#include <memory>
#include <mutex>
#include <new>

#include "playctrl/convert/file_converter.h"

namespace playctrl::convert {
namespace {

// The engine lock: serialises creation, stop and destruction of the engine.
std::mutex& EngineMutex() {
    static std::mutex m;
    return m;
}

// guarded by EngineMutex(); destroyed (worker stopped and joined) at exit
std::unique_ptr<CFileConverter>& Engine() {
    static std::unique_ptr<CFileConverter> engine;
    return engine;
}

}  // namespace

int PlayConvertFile(const char* source_path, const char* target_path, int mode, int first_value,
                    int second_value) {
    try {
        std::lock_guard lock(EngineMutex());
        auto& engine = Engine();
        const bool created = !engine;
        if (created) {
            engine.reset(new (std::nothrow) CFileConverter(DefaultConverterOptions()));
            if (!engine) return 0;
        }
        engine->Queue(source_path, target_path, mode, first_value, second_value);
        // Started after the first job is in, so that job does not wait for an idle poll.
        if (created) {
            try {
                engine->Start();
            } catch (const std::exception&) {
                engine.reset();
                return 0;
            }
        }
        return kConvertHandle;
    } catch (...) {
        return 0;
    }
}

int PlayStopConvert(int handle) {
    if (handle != kConvertHandle) return 0;
    try {
        std::lock_guard lock(EngineMutex());
        auto& engine = Engine();
        if (!engine) return 0;
        engine->Stop();
        return 1;
    } catch (...) {
        return 0;
    }
}

int PlayUnInit() {
    try {
        // Under the engine lock, so there is never more than one engine.
        std::lock_guard lock(EngineMutex());
        Engine().reset();  // stops and joins the worker
    } catch (...) {
    }
    return 0;
}

int PlayGetConvertProgress(int handle, ZynConvertProgress* progress) {
    if (handle != kConvertHandle || progress == nullptr) return 0;
    try {
        std::lock_guard lock(EngineMutex());
        auto& engine = Engine();
        if (!engine) return 0;
        *progress = engine->Progress();
        return 1;
    } catch (...) {
        return 0;
    }
}

}  // namespace playctrl::convert
