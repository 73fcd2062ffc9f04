// The ZynVendorEmu_ control functions, compiled into every emulated library.
#include <cstring>
#include <sstream>

#include "vendors/emu/virtual_devices.h"

namespace {

int CopyOut(const std::string& s, char* buf, int size) {
    if (buf && size > 0) {
        size_t n = std::min(s.size(), static_cast<size_t>(size) - 1);
        std::memcpy(buf, s.data(), n);
        buf[n] = 0;
    }
    return static_cast<int>(s.size() + 1);
}

}  // namespace

ZYN_VENDOR_EXPORT int ZynVendorEmu_Reset(const char* lines) {
    auto& store = vendor_emu::Store::Instance();
    std::vector<vendor_emu::Device> devices;
    std::istringstream in(lines ? lines : "");
    for (std::string line; std::getline(in, line);) {
        vendor_emu::Device d;
        if (vendor_emu::ParseDeviceLine(line, &d) && d.maker == vendor_emu::LibraryMaker())
            devices.push_back(std::move(d));
    }
    int kept = static_cast<int>(devices.size());
    store.Reset(std::move(devices));
    return kept;
}

ZYN_VENDOR_EXPORT int ZynVendorEmu_Calls(char* buf, int size) {
    std::string all;
    for (const std::string& c : vendor_emu::Store::Instance().Calls()) all += c + "\n";
    return CopyOut(all, buf, size);
}

ZYN_VENDOR_EXPORT int ZynVendorEmu_Device(int index, char* buf, int size) {
    auto devices = vendor_emu::Store::Instance().Devices();
    if (index < 0 || static_cast<size_t>(index) >= devices.size()) return 0;
    return CopyOut(devices[static_cast<size_t>(index)].Line(), buf, size);
}

ZYN_VENDOR_EXPORT int ZynVendorEmu_LastBlock(void* buf, int size) {
    auto block = vendor_emu::Store::Instance().LastBlock();
    if (buf && size > 0) std::memcpy(buf, block.data(), std::min(block.size(), size_t(size)));
    return static_cast<int>(block.size());
}

ZYN_VENDOR_EXPORT int ZynVendorEmu_Fail(const char* names) {
    vendor_emu::Store::Instance().SetFailing(names ? names : "");
    return 1;
}
