// A MAG (MAKI02) encoder for tests and the demo generator.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace sonfara::wrd::tools {

struct MagImage {
    int width = 0;
    int height = 0;
    int colors = 16;  // 16 or 256
    int startX = 0;
    int startY = 0;
    std::vector<uint8_t> pixels;          // width * height palette indices
    std::array<uint32_t, 256> palette{};  // Windows colour values
    std::string comment;
};

struct MagEncodeOptions {
    // Copy directions (1..15) tried in this order before falling back to a
    // literal; empty means all of them in table order.
    std::vector<int> directions;
};

// The file bytes of the picture.
std::vector<uint8_t> EncodeMag(const MagImage& img, const MagEncodeOptions& opt = {});

// Counts of flag nibbles written by the last EncodeMag call (index 0:
// literals), for tests that want every direction used.
const std::array<int, 16>& LastMagDirectionCounts();

}  // namespace sonfara::wrd::tools
