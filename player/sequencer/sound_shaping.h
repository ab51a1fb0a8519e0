// Arrangement and velocity-EQ data as the output layer applies them. The
// files that produce them are read elsewhere; the output layer only sees
// these plain values.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace sonfara::sequencer {

struct ArrangeEntry {
    bool ExpOn = true;   // controller 11 passes
    bool PitOn = true;   // pitch bend passes
    bool ModOn = true;   // controller 1 passes
    bool BankOn = true;  // controllers 0 and 32 may pass
    // InstMap[p] (p = 1..128) is the 1-based program sent for 1-based program
    // p; index 0 is unused. Identity by default.
    std::array<uint8_t, 129> InstMap = IdentityMap();
    std::string ArrangeName;  // code-page bytes

    static std::array<uint8_t, 129> IdentityMap() {
        std::array<uint8_t, 129> m{};
        for (int p = 1; p <= 128; ++p) m[p] = static_cast<uint8_t>(p);
        return m;
    }
};

// Ten band offsets stored plus 128 (128 = no change).
struct EqPreset {
    std::array<uint8_t, 10> bands{128, 128, 128, 128, 128, 128, 128, 128, 128, 128};
    std::string name;  // file name without its extension, code-page bytes
};

// The active selection the output layer reads.
struct SoundShaping {
    int arrangementItem = 0;   // 0 = no arrangement, else 1-based entry
    ArrangeEntry arrangement;  // copy of the active entry when ArrMode != 0
    bool eqActive = false;     // "EqMode" = 1
    std::array<int32_t, 10> eq{128, 128, 128, 128, 128, 128, 128, 128, 128, 128};
};

}  // namespace sonfara::sequencer
