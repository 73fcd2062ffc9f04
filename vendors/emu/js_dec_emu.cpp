// Emulated JSDec: the search tool only cleans it up.
#include "vendors/emu/virtual_devices.h"

const char* vendor_emu::LibraryMaker() {
    return "jsdec";
}

ZYN_VENDOR_EXPORT int JSDec_Ord3(void) {
    vendor_emu::Store::Instance().Log("JSDec_Ord3()");
    return 0;
}
