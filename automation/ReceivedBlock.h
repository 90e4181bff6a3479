#pragma once
// A received block on its way to the response window: a copy of its own, so
// neither the frame's line-feed step nor the engine's reuse of the packet can
// change what the window compares.

#include <cstdint>
#include <vector>

struct ReceivedBlock {
    std::vector<std::uint8_t> bytes;
};
