// Modes the settings store keeps and several engine layers act on, as
// names. The numbers are the stored values; the settings key table converts
// them once.
#pragma once

#include <cstdint>
#include <string>

namespace sonfara::platform {

// What the end of a song does.
enum class RepeatMode : int32_t {
    kList = 0,       // the next entry, after the last the first
    kSong = 1,       // the same song again
    kRandom = 2,     // a random entry, endlessly
    kStopAtEnd = 3,  // stop
};
inline constexpr int kRepeatModeCount = 4;

// The module emulation of the open pipeline: a GS or XG song is converted
// with the configuration file for its module before it plays.
struct ModuleEmulation {
    bool enabled = false;
    std::string gsConfig;
    std::string xgConfig;
    bool smfkBank = false;
    bool smfkRhythm = false;

    bool operator==(const ModuleEmulation&) const = default;
};

}  // namespace sonfara::platform
