// One fuzz entry for every parser of bytes from outside in the search tool:
// the first byte picks the parser (HDS reply, qvnet01 reply, JS search text,
// NetSDK entries, own-device search reply), the rest is its input.
#pragma once

#include <cstddef>
#include <cstdint>

void SearchInputFuzz(const uint8_t* data, size_t size);
