#include "configctrl/device/device.h"

#include <cstdio>
#include <cstring>

namespace configctrl {

void CopyTextField(char* field, size_t field_bytes, const char* text) {
    if (field == nullptr || field_bytes == 0) return;
    std::memset(field, 0, field_bytes);
    if (text == nullptr) return;
    const size_t n = strnlen(text, field_bytes);
    std::memcpy(field, text, n < field_bytes ? n : field_bytes - 1);
}

CDevice::CDevice(int type) : type_(type) {}

CDevice::~CDevice() {
    std::lock_guard<std::mutex> lock(buffers_mu_);
    for (BufferEntry& e : buffers_) {
        delete[] e.data;
        e.data = nullptr;
    }
    closed_ = true;
}

int CDevice::SetDisplayName(const char* text) {
    CopyTextField(display_name_, sizeof display_name_, text);
    CopyTextField(display_name_copy_, sizeof display_name_copy_, text);
    return 1;
}

int CDevice::SetDeviceId(int id) {
    device_id_ = id;
    return 1;
}

const char* CDevice::GetTag() {
    return tag_;
}
int CDevice::SetTag(const char* text) {
    CopyTextField(tag_, sizeof tag_, text);
    return 1;
}
int CDevice::SetSessionBlock(const void*) {
    return 0;
}
const char* CDevice::GetNote() {
    return note_;
}
int CDevice::SetOnline(int flag) {
    set_logged_in(flag != 0);
    return 1;
}
int CDevice::LoadRecord(std::FILE*) {
    return 0;
}
int CDevice::SaveRecord(std::FILE*) {
    return 0;
}
int CDevice::GetUserValue() {
    return record_.user_value;
}
int CDevice::SetUserValue(int value) {
    record_.user_value = value;
    return 1;
}
const char* CDevice::GetDeviceName() {
    return record_.device_name;
}
int CDevice::SetDeviceName(const char* text) {
    CopyTextField(record_.device_name, sizeof record_.device_name, text);
    return 1;
}
const char* CDevice::GetLabel() {
    return label_;
}
int CDevice::SetLabel(const char* text) {
    CopyTextField(label_, sizeof label_, text);
    return 1;
}
int CDevice::GetChannelCount() {
    return record_.login.channel_count;
}
int CDevice::SetChannelCount(int count) {
    record_.login.channel_count = count;
    return 1;
}
const uint8_t* CDevice::GetStreamInfo() {
    return record_.stream_info;
}
int CDevice::SetStreamInfo(const void* info16) {
    if (info16 == nullptr) return 0;
    std::memcpy(record_.stream_info, info16, sizeof record_.stream_info);
    return 1;
}

const char* CDevice::GetChannelName(int ch) {
    if (ch < 0 || ch >= kMaxChannels || ch >= record_.login.channel_count) return "";
    return record_.channel_names[ch];
}
int CDevice::SetChannelName(int ch, const char* text) {
    if (ch < 0 || ch >= kMaxChannels || ch >= record_.login.channel_count) return 0;
    CopyTextField(record_.channel_names[ch], sizeof record_.channel_names[ch], text);
    return 1;
}

namespace {
int GetByte(const uint8_t* table, int ch) {
    return ch >= 0 && ch < kMaxChannels ? table[ch] : 0;
}
int SetByte(uint8_t* table, int ch, int value) {
    if (ch < 0 || ch >= kMaxChannels) return 0;
    table[ch] = static_cast<uint8_t>(value);
    return 1;
}
}  // namespace

int CDevice::GetChannelState(int ch) {
    return GetByte(record_.channel_state, ch);
}
int CDevice::SetChannelState(int ch, int v) {
    return SetByte(record_.channel_state, ch, v);
}
int CDevice::GetChannelPlayFlag(int ch) {
    return GetByte(record_.channel_play_flag, ch);
}
int CDevice::SetChannelPlayFlag(int ch, int v) {
    return SetByte(record_.channel_play_flag, ch, v);
}
int CDevice::GetChannelThird(int ch) {
    return GetByte(record_.channel_third, ch);
}
int CDevice::SetChannelThird(int ch, int v) {
    return SetByte(record_.channel_third, ch, v);
}

int CDevice::SetUnitNumber(int number) {
    unit_number_ = number;
    record_.login.reserved0 = static_cast<uint32_t>(number);
    return 1;
}
int CDevice::GetUnitNumber() {
    return unit_number_;
}

const char* CDevice::GetAddress() {
    return record_.login.control_address;
}
int CDevice::SetAddress(const char* text) {
    CopyTextField(record_.login.control_address, sizeof record_.login.control_address, text);
    return 1;
}
const char* CDevice::GetHostName() {
    return record_.login.stream_address;
}
int CDevice::SetHostName(const char* text) {
    CopyTextField(record_.login.stream_address, sizeof record_.login.stream_address, text);
    return 1;
}
int CDevice::GetPort() {
    return record_.login.control_port;
}
int CDevice::SetPort(int port) {
    record_.login.control_port = static_cast<uint16_t>(port);
    return 1;
}
int CDevice::GetSecondPort() {
    return record_.login.stream_port;
}
int CDevice::SetSecondPort(int port) {
    record_.login.stream_port = static_cast<uint16_t>(port);
    return 1;
}
const char* CDevice::GetUserName() {
    return record_.login.user_name;
}
int CDevice::SetUserName(const char* text) {
    CopyTextField(record_.login.user_name, sizeof record_.login.user_name, text);
    return 1;
}
const char* CDevice::GetPassword() {
    return record_.login.password;
}
int CDevice::SetPassword(const char* text) {
    CopyTextField(record_.login.password, sizeof record_.login.password, text);
    return 1;
}
int CDevice::GetOptionByte() {
    return record_.login.reserved1;
}
int CDevice::SetOptionByte(int value) {
    record_.login.reserved1 = static_cast<uint8_t>(value);
    return 1;
}

// Vendor operations: nothing to call unless a subclass has it.
int CDevice::Login() {
    return 0;
}
int CDevice::Logout(int) {
    return 0;
}
int CDevice::ShowPlay(int) {
    return 0;
}
int CDevice::HidePlay(int) {
    return 0;
}
int CDevice::RealPlay(int, uintptr_t, int, int) {
    return 0;
}
int CDevice::StopRealPlayEx(int, int) {
    return 0;
}
int CDevice::StopRealPlay(int) {
    return 0;
}
int CDevice::SetStreamType(int, int) {
    return 0;
}
int CDevice::ChangeWindow(int, uintptr_t, int) {
    return 0;
}
int CDevice::SetVolume(int, int) {
    return 0;
}
int CDevice::SetMute(int, int) {
    return 0;
}
int CDevice::OpenSoundVoice(int, int) {
    return 0;
}
int CDevice::Reserved1() {
    return 0;
}
int CDevice::OpenSound(int) {
    return 0;
}
int CDevice::CloseSound(int) {
    return 0;
}
int CDevice::CapturePicture(int, const char*) {
    return 0;
}
int CDevice::GetParam(int, int, void*) {
    return 0;
}
int CDevice::SetParam(int, int, void*) {
    return 0;
}
int CDevice::RestoreDefault(int, int) {
    return 0;
}
int CDevice::PTZControl(int, const uint8_t*) {
    return 0;
}
int CDevice::StartTalk() {
    return 0;
}
int CDevice::SetTalkVolume(int) {
    return 0;
}
int CDevice::StopTalk() {
    return 0;
}
int CDevice::Reboot() {
    return 0;
}
int CDevice::GetLog(int) {
    return 0;
}
int CDevice::ResetParam() {
    return 0;
}
int CDevice::WaitReply() {
    return 0;
}
int CDevice::SignalReply() {
    return 0;
}
int CDevice::GetReplyValue() {
    return 0;
}
int CDevice::UpdateRequest(int, void*) {
    return 0;
}
int CDevice::UpdateFile(int, void*, void*) {
    return 0;
}
int CDevice::SetSrcRect(int, int, void*) {
    return 0;
}
int CDevice::GetSrcRect(int, int, void*) {
    return 0;
}
int CDevice::ClearAlarm(int, int, void*) {
    return 0;
}
int CDevice::StartRemoteManRecord(int, int, void*) {
    return 0;
}
int CDevice::StopRemoteManRecord(int, int, void*) {
    return 0;
}
int CDevice::Reserved2() {
    return 0;
}
int CDevice::StartLocalRecord(int, const char*, int) {
    return 0;
}
int CDevice::StopLocalRecord(int) {
    return 0;
}

void CDevice::SetEventCallback(DeviceEventCallback callback, void* user) {
    event_callback_.Set(callback, user);
}

void CDevice::EmitEvent(int event, const void* data, int length) {
    const int id = device_id_;
    event_callback_.Invoke(
        [&](DeviceEventCallback fn, void* user, int) { fn(id, event, data, length, user); });
}

void CDevice::SetPictureCallback(DevicePictureCallback callback, void* user) {
    picture_callback_.Set(callback, user);
}

void CDevice::EmitPicture(int ch, const uint8_t* data, int length) {
    if (data == nullptr || length <= 0) return;
    picture_callback_.Invoke(
        [&](DevicePictureCallback fn, void* user, int) { fn(ch, data, length, user); });
}

bool CDevice::SetBufferEntry(int index, const void* data, size_t bytes, int value) {
    if (index < 0 || index >= kBufferTableEntries) return false;
    std::lock_guard<std::mutex> lock(buffers_mu_);
    if (closed_) return false;
    BufferEntry& e = buffers_[index];
    delete[] e.data;
    e.data = nullptr;
    if (data != nullptr && bytes > 0) {
        e.data = new uint8_t[bytes];
        std::memcpy(e.data, data, bytes);
    }
    e.value = value;
    return true;
}

int CDevice::BufferEntryValue(int index) {
    if (index < 0 || index >= kBufferTableEntries) return 0;
    std::lock_guard<std::mutex> lock(buffers_mu_);
    return buffers_[index].value;
}

}  // namespace configctrl
