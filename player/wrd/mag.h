// MAG (MAKI02) picture decoder: 16-colour pictures, and 256-colour ones.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "player/platform/result.h"

namespace sonfara::wrd {

// Table of copy directions of the flag nibbles 1..15: units to the left
// (a unit is the two bytes of one flag nibble) and lines up. Shared with the
// encoder of the tests' tools.
struct MagCopy {
    int units_left;
    int lines_up;
};
extern const std::array<MagCopy, 16> kMagCopy;

// Pictures wider or taller than this are refused: far beyond any screen the
// format was made for, and they would only cost time and memory.
inline constexpr int kMaxMagSide = 4096;

struct MagPicture {
    int width = 0;  // pixels, as given by the header's start and end
    int height = 0;
    int colors = 16;  // 16 or 256
    int startX = 0;   // the header's placement of the picture
    int startY = 0;
    // One palette index per pixel, top row first.
    std::vector<uint8_t> pixels;
    // Windows colour values (0x00BBGGRR); only `colors` entries are used.
    std::array<uint32_t, 256> palette{};
    std::string comment;  // code-page bytes
};

// Why a MAG picture could not be had (the reason is for the log, in the
// detail; the presentation just goes without the picture).
enum class MagError {
    kNone = 0,
    kDamaged,     // detail: which part is wrong or missing
    kUnreadable,  // detail: what failed
};

inline std::string MessageFor(MagError, const std::string& detail) {
    return detail;
}

using MagStatus = platform::Status<MagError>;

// Decodes a whole MAG file. kDamaged when the file is not a MAG picture or
// any of its parts lies outside the file.
MagStatus DecodeMag(std::span<const uint8_t> file, MagPicture& out);

// Reads and decodes a file; kUnreadable when it cannot be read.
MagStatus LoadMagFile(const std::string& path, MagPicture& out);

}  // namespace sonfara::wrd
