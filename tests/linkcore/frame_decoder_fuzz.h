// Fuzz entry for the framing code, shared by the libFuzzer target and the
// bounded standalone driver that runs in every test run.
#pragma once

#include <cstddef>
#include <cstdint>

// Feeds `data` to a FrameDecoder in chunks chosen from the input itself and
// checks the result against a whole-buffer reference parse; aborts on any
// difference. Also checks ParseDatagram on the same bytes.
int FuzzFrameDecoder(const uint8_t* data, std::size_t size);
