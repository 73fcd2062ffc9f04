// A test fixture that starts an Emulator in-process.
#pragma once

#include <gtest/gtest.h>

#include "tests/devsim/peer.h"

namespace devsim_test {

class EmulatorTest : public ::testing::Test {
protected:
    // Starts the emulator; the test fails at once when it does not start.
    void Start(devsim::Config config) {
        emu_ = std::make_unique<devsim::Emulator>(std::move(config));
        std::string error;
        ASSERT_TRUE(emu_->Start(&error)) << error;
    }
    void StartDevice(devsim::DeviceConfig device) {
        devsim::Config c;
        c.devices.push_back(std::move(device));
        Start(std::move(c));
    }
    void TearDown() override {
        if (emu_) emu_->Stop();
    }
    devsim::Device& dev(int i = 0) { return emu_->device(i); }
    uint16_t ctl_port(int i = 0) { return dev(i).control_port(); }
    uint16_t str_port(int i = 0) { return dev(i).stream_port(); }

    std::unique_ptr<devsim::Emulator> emu_;
};

}  // namespace devsim_test
