#include "tests/search/input_fuzz.h"

#include <cstdlib>
#include <string>

#include "qvnet/hds_message.h"
#include "qvnet/qv_message.h"
#include "search/av_library.h"

namespace {

void CheckRecord(const _stNetDeviceAddr& r) {
    // Every text stays terminated inside its field.
    if (strnlen(r.ip, sizeof r.ip) == sizeof r.ip || strnlen(r.mac, sizeof r.mac) == sizeof r.mac ||
        strnlen(r.identity, sizeof r.identity) == sizeof r.identity ||
        strnlen(r.device_name, sizeof r.device_name) == sizeof r.device_name)
        std::abort();
}

}  // namespace

void SearchInputFuzz(const uint8_t* data, size_t size) {
    if (size == 0) return;
    const uint8_t* p = data + 1;
    size_t n = size - 1;
    std::string_view text(reinterpret_cast<const char*>(p), n);
    switch (data[0] % 5) {
        case 0:
            if (auto d = qvnet::ParseHdsDevice(text, std::string(32, 'A'))) {
                if (d->ip.size() > 15 || d->device_id.size() > 32 || d->cam_count > 128 ||
                    d->cam_count < 0)
                    std::abort();
                CheckRecord(zynsearch::FromHds(*d));
            }
            break;
        case 1:
            if (n >= 12) qvnet::CheckReplyStart(p);
            qvnet::CheckReply(p, n);
            break;
        case 2:
            CheckRecord(zynsearch::FromJsText(std::string(text)));
            break;
        case 3:
            for (const auto& r : zynsearch::FromNetSdkEntries(p, static_cast<int>(n)))
                CheckRecord(r);
            break;
        case 4: {
            _stNetDeviceAddr r;
            if (zynsearch::FromZynSearchReply(p, n, &r)) CheckRecord(r);
            break;
        }
    }
}
