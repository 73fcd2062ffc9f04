// main() of the tests that drive the SDK through its C interface: the
// library reads ZYNVS_TICK_MS once when it loads, so a run without it set
// starts itself again with the short tick the tests are written for.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#ifndef SDK_TEST_TICK_MS
#define SDK_TEST_TICK_MS "50"
#endif

int main(int argc, char** argv) {
    if (getenv("ZYNVS_TICK_MS") == nullptr) {
        setenv("ZYNVS_TICK_MS", SDK_TEST_TICK_MS, 1);
        execv("/proc/self/exe", argv);
        return 127;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
