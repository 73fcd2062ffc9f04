#include "search/av_library.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "zynvs/ZynDecodeKit.h"

namespace zynsearch {

namespace {

std::atomic<CLangChiLibrary*> g_lang_chi{nullptr};
std::atomic<CZynLibrary*> g_zyn{nullptr};
std::mutex g_zyn_mu;  // keeps g_zyn alive while a reply is delivered

int ChannelsFromModel(const std::string& model) {
    static const std::pair<const char*, int> kModels[] = {
        {"4CH", 4}, {"9CH", 9}, {"16CH", 16}, {"32CH", 32}, {"36CH", 36}};
    for (const auto& [text, channels] : kModels)
        if (model.find(text) != std::string::npos) return channels;
    return 0;
}

uint16_t U16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

std::string Dotted(const uint8_t* b) {
    char buf[20];
    std::snprintf(buf, sizeof buf, "%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
    return buf;
}

}  // namespace

void CAVLibrary::SetCallback(DeviceCallback callback, void* user) {
    std::lock_guard<std::mutex> lock(mu_);
    callback_ = callback;
    user_ = user;
}

void CAVLibrary::Deliver(const _stNetDeviceAddr& record) {
    // Under the lock, so that once SetCallback has replaced the callback no
    // delivery to the old receiver is still running.
    std::lock_guard<std::mutex> lock(mu_);
    if (callback_) callback_(user_, &record);
}

// ---- mappings --------------------------------------------------------------

_stNetDeviceAddr FromI8(const I8DiscoveryRecord& r) {
    _stNetDeviceAddr d{};
    CopyText(d.ip, r.ip, sizeof r.ip);
    CopyText(d.mask, r.mask, sizeof r.mask);
    CopyText(d.gateway, r.gateway, sizeof r.gateway);
    CopyText(d.mac, FormatMac(r.mac));
    d.data_port = r.data_port;
    d.web_port = r.web_port;
    CopyText(d.identity, r.identity, sizeof r.identity);
    d.maker_type = kMakerI8;
    d.channel_count = ChannelsFromModel(std::string(r.model, strnlen(r.model, sizeof r.model)));
    return d;
}

_stNetDeviceAddr FromCamSearch(const char* name, const char* ip, const uint8_t* mac, int web_port,
                               int data_port, const char* mask, const char* gateway, int channels) {
    _stNetDeviceAddr d{};
    CopyText(d.device_name, name);
    CopyText(d.ip, ip);
    if (mac) CopyText(d.mac, FormatMac(mac));
    d.web_port = static_cast<uint16_t>(web_port);
    d.data_port = static_cast<uint16_t>(data_port);
    CopyText(d.mask, mask);
    CopyText(d.gateway, gateway);
    d.channel_count = channels;
    d.maker_type = kMakerCamSearch;
    return d;
}

_stNetDeviceAddr FromHds(const qvnet::HdsDevice& h) {
    _stNetDeviceAddr d{};
    CopyText(d.ip, h.ip);
    CopyText(d.mask, h.mask);
    CopyText(d.mac, h.mac);
    CopyText(d.gateway, h.gateway);
    d.data_port = static_cast<uint16_t>(std::strtoul(h.media_port.c_str(), nullptr, 10));
    d.web_port = static_cast<uint16_t>(std::strtoul(h.http_port.c_str(), nullptr, 10));
    CopyText(d.identity, h.device_id);  // the whole 32-character id: the target of changes
    d.channel_count = h.cam_count;
    d.maker_type = kMakerQv;
    return d;
}

_stNetDeviceAddr FromJsText(const std::string& text) {
    // A value starts one character after its key and runs up to the next "DEVICE".
    auto value = [&](const char* key) -> std::string {
        size_t at = text.find(key);
        if (at == std::string::npos) return {};
        size_t start = at + std::strlen(key) + 1;
        if (start > text.size()) return {};
        size_t end = text.find("DEVICE", start);
        std::string v =
            text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        while (!v.empty() && (v.back() == ' ' || v.back() == '\r' || v.back() == '\n'))
            v.pop_back();
        return v;
    };
    _stNetDeviceAddr d{};
    CopyText(d.device_name, value("DEVICE-NAME"));
    CopyText(d.mac, value("DEVICE-MAC"));
    CopyText(d.ip, value("DEVICE-IP"));
    CopyText(d.mask, value("DEVICE-SUBMASK"));
    CopyText(d.gateway, value("DEVICE-GATEWAY"));
    std::string id = value("DEVICE-ID");
    CopyText(d.identity, id.c_str(), std::min<size_t>(id.size(), 44));
    d.channel_count = std::atoi(value("DEVICE-CHANNELS").c_str());
    d.data_port = static_cast<uint16_t>(std::atoi(value("DEVICE-RTSPPORT").c_str()));
    d.web_port = static_cast<uint16_t>(std::atoi(value("DEVICE-WEBPORT").c_str()));
    d.maker_type = kMakerJs;
    return d;
}

std::vector<_stNetDeviceAddr> FromNetSdkEntries(const uint8_t* entries, int bytes) {
    std::vector<_stNetDeviceAddr> out;
    if (!entries || bytes <= 0) return out;
    for (int i = 0; i < bytes / NETSDK_SEARCH_ENTRY_BYTES; ++i) {
        const uint8_t* e = entries + i * NETSDK_SEARCH_ENTRY_BYTES;
        _stNetDeviceAddr d{};
        CopyText(d.device_name, reinterpret_cast<const char*>(e), 32);
        CopyText(d.ip, Dotted(e + 64));
        CopyText(d.mask, Dotted(e + 68));
        CopyText(d.gateway, Dotted(e + 72));
        d.web_port = U16(e + 76);
        d.data_port = U16(e + 80);
        std::memcpy(&d.extra[0], e + 84, 4);
        std::memcpy(&d.extra[1], e + 88, 4);
        CopyText(d.mac, reinterpret_cast<const char*>(e + 109), 20);
        d.maker_type = kMakerNetSdk;
        d.channel_count = 1;
        out.push_back(d);
    }
    return out;
}

bool FromZynSearchReply(const uint8_t* p, size_t bytes, _stNetDeviceAddr* out) {
    if (!p || bytes < 128 || !out) return false;
    auto address = [&](size_t at) {
        uint32_t v = p[at] | p[at + 1] << 8 | p[at + 2] << 16 | uint32_t(p[at + 3]) << 24;
        uint8_t b[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
        return Dotted(b);
    };
    _stNetDeviceAddr d{};
    CopyText(d.device_name, reinterpret_cast<const char*>(p), 20);
    d.channel_count = p[21];
    CopyText(d.ip, address(24));
    CopyText(d.mask, address(28));
    CopyText(d.gateway, address(32));
    d.data_port = U16(p + 36);
    d.web_port = U16(p + 84);  // the stream port: the closest thing to a second port
    CopyText(d.mac, FormatMac(p + 40));
    CopyText(d.identity, reinterpret_cast<const char*>(p + 48), 24);
    d.maker_type = kMakerZyn;
    *out = d;
    return true;
}

// ---- I8 ----------------------------------------------------------------------

void CI8Library::Initialise() {
    if (v_->i8_init) v_->i8_init();
}

void CI8Library::CleanUp() {
    if (v_->i8_stop_discovery) v_->i8_stop_discovery();
    if (v_->i8_cleanup) v_->i8_cleanup();
}

void CI8Library::Search() {
    if (!v_->i8_stop_discovery || !v_->i8_set_discovery_callback || !v_->i8_start_discovery) return;
    v_->i8_stop_discovery();
    v_->i8_set_discovery_callback(&CI8Library::OnRecord, this);
    v_->i8_start_discovery();
}

void CI8Library::OnRecord(const I8DiscoveryRecord* record, void* self) {
    if (record && self) static_cast<CI8Library*>(self)->Deliver(FromI8(*record));
}

// ---- CamSearch -------------------------------------------------------------------

CLangChiLibrary::CLangChiLibrary(std::shared_ptr<VendorSet> v)
    : CAVLibrary(kMakerCamSearch), v_(std::move(v)) {
    g_lang_chi = this;
}

CLangChiLibrary::~CLangChiLibrary() {
    CleanUp();
    CLangChiLibrary* self = this;
    g_lang_chi.compare_exchange_strong(self, nullptr);
}

void CLangChiLibrary::Initialise() {
    if (v_->cam_init) v_->cam_init(this);
}

void CLangChiLibrary::CleanUp() {
    if (v_->cam_cleanup) v_->cam_cleanup(this);
}

void CLangChiLibrary::Search() {
    if (!v_->cam_prepare || !v_->cam_search) return;
    v_->cam_prepare(this, 2000, &CLangChiLibrary::OnDevice, 0);
    v_->cam_search(1000, &CLangChiLibrary::OnDevice, 0);
}

void CLangChiLibrary::OnDevice(void*, const char* name, const char* ip, const uint8_t* mac,
                               int web_port, int data_port, const char* mask, const char* gateway,
                               const char* text9, const char* text10, uint16_t value11,
                               int channels) {
    CLangChiLibrary* self = g_lang_chi;
    if (!self) return;
    {
        std::lock_guard<std::mutex> lock(self->extra_mu_);
        self->text9_ = text9 ? std::string(text9, strnlen(text9, 64)) : "";
        self->text10_ = text10 ? std::string(text10, strnlen(text10, 64)) : "";
        self->value11_ = value11;
    }
    self->Deliver(FromCamSearch(name, ip, mac, web_port, data_port, mask, gateway, channels));
}

// ---- QV --------------------------------------------------------------------------

void CQVLibrary::Initialise() {
    client_.Start([this](const qvnet::HdsDevice& d) { Deliver(FromHds(d)); });
}

// ---- JS --------------------------------------------------------------------------

void CJSLibrary::Initialise() {
    if (v_->js_init) v_->js_init(this);
}

void CJSLibrary::CleanUp() {
    if (v_->js_search) v_->js_search(this, 0, window_, JS_SEARCH_MESSAGE);
    if (v_->js_dec_cleanup) v_->js_dec_cleanup();
    if (v_->js_cleanup) v_->js_cleanup();
}

void CJSLibrary::Search() {
    if (v_->js_search && window_) v_->js_search(this, 1, window_, JS_SEARCH_MESSAGE);
}

// ---- NetSDK ----------------------------------------------------------------------

CXiongMaiLibrary::CXiongMaiLibrary(std::shared_ptr<VendorSet> v)
    : CAVLibrary(kMakerNetSdk), v_(std::move(v)) {
    if (v_->ns_init) v_->ns_init(0, this);
}

CXiongMaiLibrary::~CXiongMaiLibrary() {
    if (v_->ns_cleanup) v_->ns_cleanup(this);
}

void CXiongMaiLibrary::Search() {
    if (!v_->ns_search) return;
    std::vector<uint8_t> buffer(24000);
    int bytes = 0;
    v_->ns_search(buffer.data(), buffer.data(), static_cast<int>(buffer.size()), &bytes, 4000);
    bytes = std::min<int>(bytes, static_cast<int>(buffer.size()));
    for (const _stNetDeviceAddr& d : FromNetSdkEntries(buffer.data(), bytes)) Deliver(d);
}

// ---- the system's own devices ------------------------------------------------------

namespace {
void ZYNVS_CALL OnZynSearch(unsigned short command, unsigned int length, void* payload, void*) {
    _stNetDeviceAddr d;
    if (command != 0x8F06 || !FromZynSearchReply(static_cast<const uint8_t*>(payload), length, &d))
        return;
    std::lock_guard<std::mutex> lock(g_zyn_mu);
    if (CZynLibrary* self = g_zyn) self->OnReply(d);
}
}  // namespace

void CZynLibrary::Initialise() {
    std::lock_guard<std::mutex> lock(g_zyn_mu);
    g_zyn = this;
}

void CZynLibrary::OnReply(const _stNetDeviceAddr& d) {
    Deliver(d);
}

void CZynLibrary::CleanUp() {
    ZYNVS_StopSearch();
    std::lock_guard<std::mutex> lock(g_zyn_mu);
    if (g_zyn == this) g_zyn = nullptr;
}

CZynLibrary::~CZynLibrary() {
    CleanUp();
}

void CZynLibrary::Search() {
    ZYNVS_RegisterSearchCallBack(&OnZynSearch, nullptr);
    ZYNVS_Search();
}

}  // namespace zynsearch
