#include "decodekit/core/device_manage.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <new>

#include "decodekit/core/screen_saver.h"
#include "decodekit/core/video_server.h"
#include "decodekit/core/party_clients.h"
#include "decodekit/core/video_plt_device.h"

namespace zyn {
unsigned DefaultTickMs() {
    static const unsigned tick = [] {
        unsigned value = 2000;
        if (const char* env = std::getenv("ZYNVS_TICK_MS")) {
            long v = std::strtol(env, nullptr, 10);
            if (v >= 10 && v <= 2000) value = static_cast<unsigned>(v);
        }
        return value;
    }();
    return tick;
}
}  // namespace zyn

namespace {
// Which device class a login record's kind selects: 1 direct, 4 or 6 platform.
int LoginTypeForKind(int kind) {
    if (kind == 1) return zyn::kTypeVideoServer;
    if (kind == 4 || kind == 6) return zyn::kTypeVideoPltDevice;
    return 0;
}
}  // namespace

CDeviceManage& CDeviceManage::Instance() {
    static CDeviceManage registry;
    return registry;
}

// Construct the library's registry (and start its housekeeping thread) when
// the library is loaded.
[[maybe_unused]] static CDeviceManage& g_registry_at_load = CDeviceManage::Instance();

CDeviceManage::CDeviceManage() : CDeviceManage(Options{}) {}

CDeviceManage::CDeviceManage(Options options)
    : tick_ms_(options.tick_ms ? options.tick_ms : zyn::DefaultTickMs()),
      factory_(std::move(options.factory)),
      query_screen_saver_(options.query_screen_saver) {
    StartHousekeeping();
}

CDeviceManage::~CDeviceManage() {
    StopSearch();
    StopHousekeeping();
    TearDownAll();
}

CDeviceManage::DevicePtr CDeviceManage::CreateByKind(CDeviceManage* registry,
                                                     zyn::CreateFor purpose,
                                                     const DeviceLoginInfo& record) {
    const int kind = record.device_kind;
    try {
        if (purpose == zyn::CreateFor::kLogin) {
            switch (LoginTypeForKind(kind)) {
                case zyn::kTypeVideoServer:
                    return std::make_shared<CVideoServer>(registry, record.channel_count);
                case zyn::kTypeVideoPltDevice:
                    return std::make_shared<CVideoPltDevice>(registry, record.channel_count);
                default:
                    return nullptr;
            }
        }
        switch (kind) {
            case 0:
            case 1:
                return std::make_shared<CVexora>(registry);
            case 2:
                return std::make_shared<CUserClient>(registry);
            case 3:
                return std::make_shared<CStreamClient>(registry);
            case 4:
                return std::make_shared<CRecordClient>(registry);
            default:
                return nullptr;
        }
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

CDeviceManage::DevicePtr CDeviceManage::CreateDevice(zyn::CreateFor purpose,
                                                     const DeviceLoginInfo& record) {
    if (factory_) {
        if (DevicePtr dev = factory_(this, purpose, record)) return dev;
    }
    return CreateByKind(this, purpose, record);
}

int CDeviceManage::Login(const DeviceLoginInfo* record_in) {
    if (record_in == nullptr) return 0;
    const DeviceLoginInfo record = *record_in;  // the caller's buffer may change
    std::promise<int> own;
    std::shared_future<int> under_way;
    {
        std::lock_guard<std::mutex> lock(map_mutex_);
        auto [it, fresh] = logins_.try_emplace(record.device_id, own.get_future().share());
        if (!fresh) under_way = it->second;
    }
    // A login of this id is under way: its result is this call's result.
    if (under_way.valid()) return under_way.get();
    int result = 0;
    try {
        result = LoginOnce(record);
    } catch (...) {
        result = 0;  // what the export would give
    }
    {
        std::lock_guard<std::mutex> lock(map_mutex_);
        logins_.erase(record.device_id);
    }
    own.set_value(result);
    return result;
}

int CDeviceManage::LoginOnce(const DeviceLoginInfo& record) {
    const int id = record.device_id;
    const int wanted_type = LoginTypeForKind(record.device_kind);

    if (!HousekeepingRunning()) StartHousekeeping();  // after ZYNVS_UnInit

    DevicePtr retry;     // an earlier failed login to repeat on the same object
    DevicePtr replaced;  // destroyed outside the map lock
    {
        std::lock_guard<std::mutex> lock(map_mutex_);
        auto it = devices_.find(id);
        if (it != devices_.end()) {
            DevicePtr dev = it->second;
            switch (dev->State()) {
                case zyn::kStateRemoving:
                    replaced = dev;
                    devices_.erase(it);
                    break;
                case zyn::kStateLoginFailed:
                    if (wanted_type == 0) return 0;
                    if (dev->GetType() == wanted_type) {
                        retry = dev;
                    } else {
                        // The record now selects the other device class: the
                        // old object is replaced by one of the right class.
                        replaced = dev;
                        devices_.erase(it);
                    }
                    break;
                default:  // active or logging out
                    return 1;
            }
        }
    }
    replaced.reset();

    if (retry) {
        auto* served = dynamic_cast<CServedDevice*>(retry.get());
        if (!served) return 0;
        int result = served->Login(&record);
        if (result) {
            retry->SetState(zyn::kStateActive);
            return result;
        }
        return 0;
    }

    DevicePtr dev = CreateDevice(zyn::CreateFor::kLogin, record);
    auto* served = dynamic_cast<CServedDevice*>(dev.get());
    if (!served) return 0;
    int result = served->Login(&record);
    if (result == 0) {
        dev->SetState(zyn::kStateLoginFailed);
    } else if (result == 1) {
        dev->SetState(zyn::kStateActive);
    } else {
        return result;  // neither success nor failure: nothing is kept
    }
    DevicePtr old;
    {
        std::lock_guard<std::mutex> lock(map_mutex_);
        auto& slot = devices_[id];
        old = std::move(slot);
        slot = dev;
    }
    return result;
}

int CDeviceManage::Logout(int device_id, int notify) {
    DevicePtr dev = Find(device_id);
    if (!dev) return 0;
    dev->SetState(zyn::kStateLoggingOut);
    int result = 0;
    if (auto* served = dynamic_cast<CServedDevice*>(dev.get())) result = served->Logout(notify);
    dev->SetState(zyn::kStateRemoving);
    return result;
}

int CDeviceManage::AddDevice(const DeviceLoginInfo* record_in) {
    if (record_in == nullptr) return 0;
    const DeviceLoginInfo record = *record_in;
    if (!HousekeepingRunning()) StartHousekeeping();
    if (DevicePtr existing = Find(record.device_id)) {
        existing->SetLoginRecord(record);
        return 1;
    }
    DevicePtr dev = CreateDevice(zyn::CreateFor::kAdd, record);  // outside the lock
    if (!dev) return 0;
    dev->SetLoginRecord(record);
    DevicePtr old;
    {
        std::lock_guard<std::mutex> lock(map_mutex_);
        auto& slot = devices_[record.device_id];
        old = std::move(slot);
        slot = dev;
    }
    return 1;
}

int CDeviceManage::DeleteDevice(int device_id) {
    if (DevicePtr dev = Find(device_id)) dev->SetState(zyn::kStateRemoving);
    return 0;
}

int CDeviceManage::SetDeviceName(int device_id, const char* name) {
    DevicePtr dev = Find(device_id);
    if (!dev || name == nullptr) return 0;
    return dev->SetDeviceName(name);
}

std::shared_ptr<CVideoDevice> CDeviceManage::Find(int device_id) {
    std::lock_guard<std::mutex> lock(map_mutex_);
    auto it = devices_.find(device_id);
    return it == devices_.end() ? nullptr : it->second;
}

std::shared_ptr<CServedDevice> CDeviceManage::FindServed(int device_id, bool t1_only,
                                                         bool t4_only) {
    DevicePtr dev = Find(device_id);
    if (!dev) return nullptr;
    const int type = dev->GetType();
    if (type != zyn::kTypeVideoServer && type != zyn::kTypeVideoPltDevice) return nullptr;
    if (t1_only && type != zyn::kTypeVideoServer) return nullptr;
    if (t4_only && type != zyn::kTypeVideoPltDevice) return nullptr;
    return std::dynamic_pointer_cast<CServedDevice>(dev);
}

int CDeviceManage::WithServedLocked(int device_id, const std::function<int(CServedDevice&)>& fn) {
    std::lock_guard<std::mutex> lock(map_mutex_);
    auto it = devices_.find(device_id);
    if (it == devices_.end()) return 0;
    const int type = it->second->GetType();
    if (type != zyn::kTypeVideoServer && type != zyn::kTypeVideoPltDevice) return 0;
    auto* served = dynamic_cast<CServedDevice*>(it->second.get());
    return served ? fn(*served) : 0;
}

std::size_t CDeviceManage::DeviceCount() {
    std::lock_guard<std::mutex> lock(map_mutex_);
    return devices_.size();
}

std::vector<std::shared_ptr<CVideoDevice>> CDeviceManage::Snapshot() {
    std::vector<std::pair<int, DevicePtr>> all;
    {
        std::lock_guard<std::mutex> lock(map_mutex_);
        all.assign(devices_.begin(), devices_.end());
    }
    std::sort(all.begin(), all.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<DevicePtr> out;
    out.reserve(all.size());
    for (auto& entry : all) out.push_back(std::move(entry.second));
    return out;
}

// ---- services ----------------------------------------------------------------

std::shared_ptr<CCtrlServer> CDeviceManage::CtrlService() {
    std::lock_guard<std::mutex> lock(service_mutex_);
    return ctrl_service_;
}
std::shared_ptr<CCtrlServer> CDeviceManage::ExchangeCtrlService(
    std::shared_ptr<CCtrlServer> service) {
    std::lock_guard<std::mutex> lock(service_mutex_);
    ctrl_service_.swap(service);
    return service;
}
std::shared_ptr<CMediaServer> CDeviceManage::MediaService() {
    std::lock_guard<std::mutex> lock(service_mutex_);
    return media_service_;
}
std::shared_ptr<CMediaServer> CDeviceManage::ExchangeMediaService(
    std::shared_ptr<CMediaServer> service) {
    std::lock_guard<std::mutex> lock(service_mutex_);
    media_service_.swap(service);
    return service;
}
std::shared_ptr<CPlayBack> CDeviceManage::PlayBackService() {
    std::lock_guard<std::mutex> lock(service_mutex_);
    return playback_service_;
}
std::shared_ptr<CPlayBack> CDeviceManage::ExchangePlayBackService(
    std::shared_ptr<CPlayBack> service) {
    std::lock_guard<std::mutex> lock(service_mutex_);
    playback_service_.swap(service);
    return service;
}
void CDeviceManage::SetTickHook(std::function<void()> hook) {
    const bool start = static_cast<bool>(hook);
    {
        std::lock_guard<std::mutex> lock(service_mutex_);
        tick_hook_ = std::move(hook);
    }
    if (start && !HousekeepingRunning()) StartHousekeeping();
}

// ---- callbacks -------------------------------------------------------------

void CDeviceManage::SetMessageCallback(MessageCallback fn, void* user) {
    message_cb_.Set(fn, user);
}
void CDeviceManage::SetRealDataCallback(RealDataCallback fn, void* user) {
    real_data_cb_.Set(fn, user);
}
void CDeviceManage::SetDecRealDataCallback(DecRealDataCallback fn, void* user) {
    dec_real_data_cb_.Set(fn, user);
}
void CDeviceManage::SetFullFrameCallback(FullFrameDataCallback fn, void* user) {
    full_frame_cb_.Set(fn, user);
}
// The search keeps its callback across Search/StopSearch; a new one takes
// effect at once, also during a search.
void CDeviceManage::SetSearchCallback(SearchCallback fn, void* user) {
    search_.SetCallback(fn, user);
}
zyn::CallbackSlot<MessageCallback> CDeviceManage::MessageCb() {
    return message_cb_.Take();
}
zyn::CallbackSlot<RealDataCallback> CDeviceManage::RealDataCb() {
    return real_data_cb_.Take();
}
zyn::CallbackSlot<DecRealDataCallback> CDeviceManage::DecRealDataCb() {
    return dec_real_data_cb_.Take();
}
zyn::CallbackSlot<FullFrameDataCallback> CDeviceManage::FullFrameCb() {
    return full_frame_cb_.Take();
}

void CDeviceManage::FireMessage(int device_id, int message, const void* data, int length) {
    auto cb = MessageCb();
    if (cb.fn) cb.fn(device_id, message, const_cast<void*>(data), length, cb.user);
}

// ---- housekeeping ----------------------------------------------------------

bool CDeviceManage::HousekeepingRunning() {
    std::lock_guard<std::mutex> lock(thread_mutex_);
    return housekeeping_.joinable();
}

void CDeviceManage::StartHousekeeping() {
    std::lock_guard<std::mutex> lock(thread_mutex_);
    if (housekeeping_.joinable()) return;
    stop_ = false;
    housekeeping_ = std::thread([this] { HousekeepingLoop(); });
}

void CDeviceManage::StopHousekeeping() {
    std::thread t;
    {
        std::lock_guard<std::mutex> lock(thread_mutex_);
        stop_ = true;
        t = std::move(housekeeping_);
    }
    stop_cv_.notify_all();
    // The loop checks the flag between devices and sleeps on the condition
    // variable, so it ends within one device step.
    if (t.joinable() && t.get_id() != std::this_thread::get_id())
        t.join();
    else if (t.joinable())
        t.detach();
}

void CDeviceManage::HousekeepingLoop() {
    zyn::ScreenSaverProbe screen_saver;
    auto stopping = [this] {
        std::lock_guard<std::mutex> lock(thread_mutex_);
        return stop_;
    };
    while (!stopping()) {
        std::vector<std::pair<int, DevicePtr>> snapshot;
        {
            std::lock_guard<std::mutex> lock(map_mutex_);
            snapshot.assign(devices_.begin(), devices_.end());
        }
        bool saver_known = false, saver_on = false;
        for (auto& [id, dev] : snapshot) {
            if (stopping()) break;
            switch (dev->State()) {
                case zyn::kStateActive:
                    dev->KeepAlive();
                    if (!saver_known) {
                        saver_on = query_screen_saver_ && screen_saver.Running();
                        saver_known = true;
                    }
                    dev->SetScreenSaverFlag(saver_on ? 1 : 0);
                    break;
                case zyn::kStateRemoving: {
                    std::lock_guard<std::mutex> lock(map_mutex_);
                    auto it = devices_.find(id);
                    if (it != devices_.end() && it->second == dev) devices_.erase(it);
                    break;
                }
                default:
                    break;
            }
        }
        snapshot.clear();  // removed devices are destroyed here, outside the lock
        std::function<void()> hook;
        {
            std::lock_guard<std::mutex> lock(service_mutex_);
            hook = tick_hook_;
        }
        if (hook && !stopping()) hook();
        std::unique_lock<std::mutex> lock(thread_mutex_);
        stop_cv_.wait_for(lock, std::chrono::milliseconds(tick_ms_), [this] { return stop_; });
    }
}

void CDeviceManage::TearDown(CVideoDevice& device) {
    auto* served = dynamic_cast<CServedDevice*>(&device);
    if (!served) return;
    for (int ch = 0; ch < zyn::kMaxChannels; ++ch) {
        if (device.VideoFlag(ch)) served->StopRealPlay(ch, 1);
        if (device.SoundFlag(ch)) served->CloseSound(ch, 1);
    }
    if (device.TalkFlag()) served->StopTalk(1);
    served->Logout(1);
}

void CDeviceManage::TearDownAll() {
    std::unordered_map<int, DevicePtr> devices;
    {
        std::lock_guard<std::mutex> lock(map_mutex_);
        devices.swap(devices_);
    }
    for (auto& [id, dev] : devices) TearDown(*dev);
    devices.clear();
}

int CDeviceManage::Search() {
    search_.Open();
    search_.SendSearchRequest();
    return 1;
}

int CDeviceManage::StopSearch() {
    if (search_.is_open()) {
        search_.Stop();
    }
    return 1;
}

int CDeviceManage::ModifyNetPara(const ModifyNetParaRecord* record) {
    if (!search_.is_open() || record == nullptr) return 0;
    search_.SendChangeRequest(record);
    return 1;
}

int CDeviceManage::Reboot(const ModifyNetParaRecord* record) {
    if (search_.is_open() && record != nullptr) search_.SendRebootRequest(record);
    return 1;
}

int CDeviceManage::UnInit() {
    StopSearch();
    StopHousekeeping();
    TearDownAll();
    return 1;
}
