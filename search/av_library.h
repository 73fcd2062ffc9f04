// Discovery adapters: one per maker, each turning what its library reports
// into _stNetDeviceAddr records handed to one callback.
//
// Threads: records reach the callback on the library's own thread (I8,
// CamSearch, the HDS client, the own SDK's search thread), on the window's
// thread (JS, through its window message) or inside Search (NetSDK). The
// callback runs under the adapter's lock and must only queue (never call
// back into the adapter); once SetCallback returns, the previous receiver gets
// nothing more. Initialise, CleanUp and Search are called from one thread at
// a time.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "qvnet/hds_message.h"
#include "search/hds_client.h"
#include "search/net_device_addr.h"
#include "search/vendor_set.h"

namespace zynsearch {

using DeviceCallback = void (*)(void* user, const _stNetDeviceAddr* record);

class CAVLibrary {
public:
    explicit CAVLibrary(int maker_type) : maker_type_(maker_type) {}
    virtual ~CAVLibrary() = default;
    virtual void Initialise() = 0;
    virtual void CleanUp() = 0;
    virtual void Search() = 0;

    void SetCallback(DeviceCallback callback, void* user);
    int maker_type() const { return maker_type_; }

protected:
    void Deliver(const _stNetDeviceAddr& record);

    const int maker_type_;

private:
    std::mutex mu_;
    DeviceCallback callback_ = nullptr;  // guarded by mu_
    void* user_ = nullptr;               // guarded by mu_
};

// The record mappings, one per maker (also used by the tests).
_stNetDeviceAddr FromI8(const I8DiscoveryRecord& r);
_stNetDeviceAddr FromCamSearch(const char* name, const char* ip, const uint8_t* mac, int web_port,
                               int data_port, const char* mask, const char* gateway, int channels);
_stNetDeviceAddr FromHds(const qvnet::HdsDevice& d);
_stNetDeviceAddr FromJsText(const std::string& text);
std::vector<_stNetDeviceAddr> FromNetSdkEntries(const uint8_t* entries, int bytes);
// The own devices' 128-byte search reply.
bool FromZynSearchReply(const uint8_t* payload, size_t bytes, _stNetDeviceAddr* out);

class CI8Library : public CAVLibrary {
public:
    explicit CI8Library(std::shared_ptr<VendorSet> v) : CAVLibrary(kMakerI8), v_(std::move(v)) {}
    void Initialise() override;
    void CleanUp() override;
    void Search() override;

private:
    static void OnRecord(const I8DiscoveryRecord* record, void* self);
    std::shared_ptr<VendorSet> v_;
};

class CLangChiLibrary : public CAVLibrary {
public:
    explicit CLangChiLibrary(std::shared_ptr<VendorSet> v);
    ~CLangChiLibrary() override;
    void Initialise() override;
    void CleanUp() override;
    void Search() override;

private:
    static void OnDevice(void*, const char* name, const char* ip, const uint8_t* mac, int web_port,
                         int data_port, const char* mask, const char* gateway, const char* text9,
                         const char* text10, uint16_t value11, int channels);
    std::shared_ptr<VendorSet> v_;
    std::mutex extra_mu_;
    std::string text9_, text10_;  // kept from the last device; guarded by extra_mu_
    uint16_t value11_ = 0;        // guarded by extra_mu_
};

class CQVLibrary : public CAVLibrary {
public:
    CQVLibrary() : CAVLibrary(kMakerQv) {}
    ~CQVLibrary() override { CleanUp(); }
    void Initialise() override;
    void CleanUp() override { client_.Stop(); }
    void Search() override { client_.Search(); }
    HdsClient& client() { return client_; }

private:
    HdsClient client_;
};

class CJSLibrary : public CAVLibrary {
public:
    explicit CJSLibrary(std::shared_ptr<VendorSet> v) : CAVLibrary(kMakerJs), v_(std::move(v)) {}
    void Initialise() override;
    void CleanUp() override;
    void Search() override;
    // The window its results are posted to (message 1130).
    void SetWindow(JsWindow* window) { window_ = window; }
    // The window's handler for message 1130 hands the text here.
    void OnSearchMessage(const std::string& text) { Deliver(FromJsText(text)); }

private:
    std::shared_ptr<VendorSet> v_;
    JsWindow* window_ = nullptr;
};

class CXiongMaiLibrary : public CAVLibrary {
public:
    explicit CXiongMaiLibrary(std::shared_ptr<VendorSet> v);
    ~CXiongMaiLibrary() override;
    void Initialise() override {}
    void CleanUp() override {}
    void Search() override;

private:
    std::shared_ptr<VendorSet> v_;
};

// The system's own devices through the SDK's LAN search.
class CZynLibrary : public CAVLibrary {
public:
    CZynLibrary() : CAVLibrary(kMakerZyn) {}
    ~CZynLibrary() override;
    void Initialise() override;
    void CleanUp() override;
    void Search() override;
    void OnReply(const _stNetDeviceAddr& record);  // from the SDK's search thread
};

}  // namespace zynsearch
