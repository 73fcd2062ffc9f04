#include <gtest/gtest.h>

#include "tools/devsim/video_loop.h"

int main(int argc, char** argv) {
    devsim::QuietCodecLogs();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
