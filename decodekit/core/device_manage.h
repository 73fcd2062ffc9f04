// CDeviceManage: the process-wide device registry. It owns every device object
// (keyed by the application's device id), holds the application's callbacks,
// and runs the housekeeping thread that drives keep-alive and reconnection and
// destroys removed devices.
//
// Devices are held by shared_ptr: an export looks a device up under the map
// lock and keeps its own reference while it calls the device, so a device that
// the housekeeping thread or ZYNVS_UnInit removes meanwhile is destroyed only
// when the last such call returns.
#pragma once

#include <condition_variable>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "decodekit/core/video_device.h"
#include "decodekit/platform/search_dvs.h"
#include "renderkit/callback_slot.h"
#include "zynvs/ZynDecodeKit.h"

namespace zyn {
// A registered callback taken for one call (fn, user): while it lives,
// registering another callback on a different thread waits for it.
template <typename Fn>
using CallbackSlot = typename renderkit::CallbackSlot<Fn>::Hold;

// What the registry is creating a device for.
enum class CreateFor { kLogin, kAdd };

using DeviceFactory = std::function<std::shared_ptr<CVideoDevice>(
    CDeviceManage* registry, CreateFor purpose, const DeviceLoginInfo& record)>;

// The base tick of the housekeeping thread: 2000 ms, or ZYNVS_TICK_MS from
// the environment (10..2000) when the library loads. Keep-alive, stall and
// clock limits count ticks.
unsigned DefaultTickMs();
}  // namespace zyn

class CCtrlServer;
class CMediaServer;
class CPlayBack;

class CDeviceManage {
public:
    struct Options {
        unsigned tick_ms = 0;            // 0: zyn::DefaultTickMs()
        zyn::DeviceFactory factory;      // tried first; null result: the classes by kind
        bool query_screen_saver = true;  // ask the X server each tick
    };

    // The library's registry, constructed when the library is loaded.
    static CDeviceManage& Instance();

    CDeviceManage();
    explicit CDeviceManage(Options options);
    virtual ~CDeviceManage();
    CDeviceManage(const CDeviceManage&) = delete;
    CDeviceManage& operator=(const CDeviceManage&) = delete;

    // Device exports.
    int Login(const DeviceLoginInfo* record);
    int Logout(int device_id, int notify);
    int AddDevice(const DeviceLoginInfo* record);
    int DeleteDevice(int device_id);
    int SetDeviceName(int device_id, const char* name);
    int UnInit();

    // Looks a device up; null when absent.
    std::shared_ptr<CVideoDevice> Find(int device_id);
    // Looks up a device of type 1 or 4 (the types that serve the per-device
    // exports); with t1_only / t4_only only that type. Null otherwise.
    std::shared_ptr<CServedDevice> FindServed(int device_id, bool t1_only = false,
                                              bool t4_only = false);
    // Runs fn for a served device while holding the map lock (for the exports
    // that the map lock guards). Returns fn's result, or 0 when absent.
    int WithServedLocked(int device_id, const std::function<int(CServedDevice&)>& fn);
    std::size_t DeviceCount();
    // Every registered object in ascending id order, taken under the map lock
    // (the walk itself runs without it).
    std::vector<std::shared_ptr<CVideoDevice>> Snapshot();

    // The listening services (platform/). Each setter returns the pointer it
    // replaces; the owner stops that one.
    std::shared_ptr<CCtrlServer> CtrlService();
    std::shared_ptr<CCtrlServer> ExchangeCtrlService(std::shared_ptr<CCtrlServer> service);
    std::shared_ptr<CMediaServer> MediaService();
    std::shared_ptr<CMediaServer> ExchangeMediaService(std::shared_ptr<CMediaServer> service);
    std::shared_ptr<CPlayBack> PlayBackService();
    std::shared_ptr<CPlayBack> ExchangePlayBackService(std::shared_ptr<CPlayBack> service);
    // Runs after the devices' KeepAlive on every housekeeping tick (null: none).
    // Setting one starts the housekeeping thread.
    void SetTickHook(std::function<void()> hook);

    // Callbacks, read at the moment they fire.
    void SetMessageCallback(MessageCallback fn, void* user);
    void SetRealDataCallback(RealDataCallback fn, void* user);
    void SetDecRealDataCallback(DecRealDataCallback fn, void* user);
    void SetFullFrameCallback(FullFrameDataCallback fn, void* user);
    void SetSearchCallback(SearchCallback fn, void* user);
    zyn::CallbackSlot<MessageCallback> MessageCb();
    zyn::CallbackSlot<RealDataCallback> RealDataCb();
    zyn::CallbackSlot<DecRealDataCallback> DecRealDataCb();
    zyn::CallbackSlot<FullFrameDataCallback> FullFrameCb();

    // Delivers a MessageCallback message if one is registered.
    void FireMessage(int device_id, int message, const void* data, int length);

    unsigned TickMs() const { return tick_ms_; }
    bool HousekeepingRunning();

    // LAN search exports.
    int Search();
    int StopSearch();
    int ModifyNetPara(const ModifyNetParaRecord* record);
    int Reboot(const ModifyNetParaRecord* record);

private:
    using DevicePtr = std::shared_ptr<CVideoDevice>;

    DevicePtr CreateDevice(zyn::CreateFor purpose, const DeviceLoginInfo& record);
    static DevicePtr CreateByKind(CDeviceManage* registry, zyn::CreateFor purpose,
                                  const DeviceLoginInfo& record);
    int LoginOnce(const DeviceLoginInfo& record);
    void StartHousekeeping();
    void StopHousekeeping();
    void HousekeepingLoop();
    void TearDownAll();
    static void TearDown(CVideoDevice& device);

    const unsigned tick_ms_;
    const zyn::DeviceFactory factory_;
    const bool query_screen_saver_;

    std::mutex map_mutex_;  // guards devices_ and logins_
    std::unordered_map<int, DevicePtr> devices_;
    // The login of each id that is under way, without the map lock held over
    // the network round trip: a second caller of the same id takes its result
    // instead of queuing for a login of its own.
    std::unordered_map<int, std::shared_future<int>> logins_;

    renderkit::CallbackSlot<MessageCallback> message_cb_;
    renderkit::CallbackSlot<RealDataCallback> real_data_cb_;
    renderkit::CallbackSlot<DecRealDataCallback> dec_real_data_cb_;
    renderkit::CallbackSlot<FullFrameDataCallback> full_frame_cb_;

    CSearchDVS search_;  // the one LAN search of the library

    std::mutex service_mutex_;  // guards the three service pointers and the tick hook
    std::shared_ptr<CCtrlServer> ctrl_service_;
    std::shared_ptr<CMediaServer> media_service_;
    std::shared_ptr<CPlayBack> playback_service_;
    std::function<void()> tick_hook_;

    std::mutex thread_mutex_;  // guards housekeeping_ and stop_
    std::condition_variable stop_cv_;
    bool stop_ = false;
    std::thread housekeeping_;
};
