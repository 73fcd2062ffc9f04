#include "tests/search/input_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SearchInputFuzz(data, size);
    return 0;
}
