#include "decodekit/core/video_device.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "decodekit/core/device_manage.h"

#include "zynvs/wire/byte_order.h"

CVideoDevice::CVideoDevice(CDeviceManage* registry) : registry_(registry) {}

CVideoDevice::~CVideoDevice() = default;

int CVideoDevice::SetDeviceName(const char* name) {
    if (name == nullptr) return 0;
    std::lock_guard<std::mutex> lock(record_mutex_);
    std::size_t n = strnlen(name, sizeof(device_name_));
    if (n < sizeof(device_name_)) {
        std::memcpy(device_name_, name, n + 1);
    } else {
        // Cut to 63 characters; the 64th byte keeps what it held.
        std::memcpy(device_name_, name, sizeof(device_name_) - 1);
    }
    return 1;
}

void CVideoDevice::GetDeviceName(char out[64]) {
    std::lock_guard<std::mutex> lock(record_mutex_);
    std::memcpy(out, device_name_, sizeof(device_name_));
}

int CVideoDevice::VideoFlag(int channel) const {
    return (channel >= 0 && channel < zyn::kMaxChannels) ? video_flags_[channel].load() : 0;
}
void CVideoDevice::SetVideoFlag(int channel, int value) {
    if (channel >= 0 && channel < zyn::kMaxChannels) video_flags_[channel].store(value ? 1 : 0);
}
int CVideoDevice::SoundFlag(int channel) const {
    return (channel >= 0 && channel < zyn::kMaxChannels) ? sound_flags_[channel].load() : 0;
}
void CVideoDevice::SetSoundFlag(int channel, int value) {
    if (channel >= 0 && channel < zyn::kMaxChannels) sound_flags_[channel].store(value ? 1 : 0);
}

void CVideoDevice::SetLoginRecord(const DeviceLoginInfo& record) {
    std::lock_guard<std::mutex> lock(record_mutex_);
    login_record_ = record;
}

DeviceLoginInfo CVideoDevice::LoginRecord() {
    std::lock_guard<std::mutex> lock(record_mutex_);
    return login_record_;
}

bool CVideoDevice::TryBeginRequest() {
    int expected = 0;
    if (!busy_.compare_exchange_strong(expected, 1)) return false;
    reply_event_.Reset();
    return true;
}

void CVideoDevice::StoreReply(uint16_t command, const uint8_t* payload, std::size_t length) {
    std::lock_guard<std::mutex> lock(reply_mutex_);
    reply_command_ = command;
    std::size_t n = std::min(length, sizeof(reply_payload_));
    if (payload != nullptr && n > 0) std::memcpy(reply_payload_, payload, n);
    reply_length_ = static_cast<uint16_t>(payload ? n : 0);
}

void CVideoDevice::StoreReplyCommand(uint16_t command) {
    std::lock_guard<std::mutex> lock(reply_mutex_);
    reply_command_ = command;
}

zyn::ReplySnapshot CVideoDevice::TakeReply() {
    zyn::ReplySnapshot snap;
    std::lock_guard<std::mutex> lock(reply_mutex_);
    snap.command = reply_command_;
    snap.length = reply_length_;
    std::memcpy(snap.payload, reply_payload_, sizeof(reply_payload_));
    snap.result = zyn::wire::LoadLe16(reply_payload_);
    return snap;
}

void CVideoDevice::FireMessage(int message, const void* data, int length) {
    if (registry_) registry_->FireMessage(GetDeviceId(), message, data, length);
}

void CVideoDevice::FireChannelMessage(int message, int channel) {
    char text[4] = {};
    std::snprintf(text, sizeof(text), "%d", channel & 0xFF);
    FireMessage(message, text, 4);
}
