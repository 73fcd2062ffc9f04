// The found-device record every discovery adapter delivers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#pragma pack(push, 1)
struct _stNetDeviceAddr {
    char mac[20];  // "aa:bb:cc:dd:ee:ff"
    char ip[32];
    char mask[20];
    char gateway[20];
    uint16_t data_port;
    uint16_t web_port;
    int32_t extra[2];    // maker-specific (NetSDK: two values its calls need)
    char identity[48];   // de-duplication key; the MAC text when empty
    int32_t maker_type;  // see MakerType
    int32_t channel_count;
    uint8_t reserved160[24];
    char device_name[32];
    uint8_t reserved216[36];
};
#pragma pack(pop)

static_assert(sizeof(_stNetDeviceAddr) == 252);
static_assert(offsetof(_stNetDeviceAddr, mac) == 0);
static_assert(offsetof(_stNetDeviceAddr, ip) == 20);
static_assert(offsetof(_stNetDeviceAddr, mask) == 52);
static_assert(offsetof(_stNetDeviceAddr, gateway) == 72);
static_assert(offsetof(_stNetDeviceAddr, data_port) == 92);
static_assert(offsetof(_stNetDeviceAddr, web_port) == 94);
static_assert(offsetof(_stNetDeviceAddr, extra) == 96);
static_assert(offsetof(_stNetDeviceAddr, identity) == 104);
static_assert(offsetof(_stNetDeviceAddr, maker_type) == 152);
static_assert(offsetof(_stNetDeviceAddr, channel_count) == 156);
static_assert(offsetof(_stNetDeviceAddr, reserved160) == 160);
static_assert(offsetof(_stNetDeviceAddr, device_name) == 184);
static_assert(offsetof(_stNetDeviceAddr, reserved216) == 216);

namespace zynsearch {

enum MakerType : int {
    kMakerZyn = 1,        // the system's own devices
    kMakerCamSearch = 2,  // "IPC-TI"
    kMakerI8 = 3,         // "NVR"
    kMakerNetSdk = 5,     // "IPC-HI NEW"
    kMakerQv = 10,        // "IPC-HI"
    kMakerJs = 11,        // "ICR"
};

// Copies at most field_bytes - 1 characters and terminates; never reads
// past `max_source` bytes of the source.
template <size_t N>
void CopyText(char (&field)[N], const char* source, size_t max_source = N) {
    std::memset(field, 0, N);
    if (!source) return;
    size_t n = strnlen(source, std::min(max_source, N - 1));
    std::memcpy(field, source, n);
}
template <size_t N>
void CopyText(char (&field)[N], const std::string& source) {
    CopyText(field, source.c_str(), source.size());
}
template <size_t N>
std::string Text(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

std::string FormatMac(const uint8_t mac[6]);
// Six bytes from "aa:bb:cc:dd:ee:ff" (also with '-'); false when malformed.
bool ParseMac(const std::string& text, uint8_t out[6]);
// A strict dotted IPv4 address (four decimal numbers 0..255, nothing else).
bool IsDottedIpv4(const std::string& text);
bool ParseIpv4(const std::string& text, uint8_t out[4]);
const char* MakerTypeText(int maker_type);  // "IPC-TI", "NVR", ... or ""

}  // namespace zynsearch
