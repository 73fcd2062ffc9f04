#include "search/net_device_addr.h"

#include <cstdio>

namespace zynsearch {

std::string FormatMac(const uint8_t m[6]) {
    char buf[20];
    std::snprintf(buf, sizeof buf, "%02x:%02x:%02x:%02x:%02x:%02x", m[0], m[1], m[2], m[3], m[4],
                  m[5]);
    return buf;
}

bool ParseMac(const std::string& text, uint8_t out[6]) {
    if (text.size() != 17) return false;
    for (int i = 0; i < 6; ++i) {
        if (i > 0 && text[3 * i - 1] != ':' && text[3 * i - 1] != '-') return false;
        unsigned v = 0;
        for (int k = 0; k < 2; ++k) {
            char c = text[3 * i + k];
            int d = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : -1;
            if (d < 0) return false;
            v = v * 16 + static_cast<unsigned>(d);
        }
        out[i] = static_cast<uint8_t>(v);
    }
    return true;
}

bool ParseIpv4(const std::string& text, uint8_t out[4]) {
    int part = 0;
    unsigned value = 0;
    int digits = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        char c = i < text.size() ? text[i] : '.';
        if (c >= '0' && c <= '9') {
            if (++digits > 3) return false;
            value = value * 10 + static_cast<unsigned>(c - '0');
        } else if (c == '.') {
            if (digits == 0 || value > 255 || part > 3) return false;
            out[part++] = static_cast<uint8_t>(value);
            value = 0;
            digits = 0;
        } else {
            return false;
        }
    }
    return part == 4;
}

bool IsDottedIpv4(const std::string& text) {
    uint8_t b[4];
    return ParseIpv4(text, b);
}

const char* MakerTypeText(int maker_type) {
    switch (maker_type) {
        case kMakerCamSearch:
            return "IPC-TI";
        case kMakerI8:
            return "NVR";
        case kMakerNetSdk:
            return "IPC-HI NEW";
        case kMakerQv:
            return "IPC-HI";
        case kMakerJs:
            return "ICR";
        case kMakerZyn:
            return "ZynVS";
        default:
            return "";
    }
}

}  // namespace zynsearch
