// libFuzzer target (clang, -DZYNVS_LINKCORE_LIBFUZZER=ON).
#include "frame_decoder_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzFrameDecoder(data, size);
}
