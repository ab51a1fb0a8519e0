// MAG decoder on arbitrary bytes: must never read outside the input.
#include <cstddef>
#include <cstdint>

#include "player/wrd/mag.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sonfara::wrd::MagPicture pic;
    if (sonfara::wrd::DecodeMag({data, size}, pic).ok()) {
        // Every index must be usable with the palette it came with.
        for (uint8_t p : pic.pixels)
            if (p >= pic.colors) __builtin_trap();
    }
    return 0;
}
