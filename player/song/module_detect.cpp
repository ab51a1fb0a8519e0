#include "player/song/module_detect.h"

#include "player/platform/large_memory.h"
#include "player/song/smf_reader.h"

namespace sonfara {

int DetectModuleBytes(std::span<const uint8_t> b) {
    const size_t size = b.size();
    for (size_t p = 0; p + 6 < size; ++p) {
        if (b[p] == 0x43 && b[p + 2] == 0x4C && b[p + 3] == 0x00 && b[p + 4] == 0x00 &&
            b[p + 5] == 0x7E && b[p + 6] == 0x00)
            return kModuleXG;
        if (b[p] != 0x41 || b[p + 3] != 0x12) continue;
        if (b[p + 4] == 0x40 && b[p + 5] == 0x00 && b[p + 6] == 0x7F) return kModuleGS;
        if (b[p + 4] == 0x00 && b[p + 5] == 0x00 && b[p + 6] == 0x7F && p + 7 < size &&
            (b[p + 7] == 0x00 || b[p + 7] == 0x01))
            return kModuleGS;
    }
    return kModuleNone;
}

int DetectModule(const std::string& path) {
    FileImage image;
    if (!image.Open(path, kMaxSmfFileBytes)) return kModuleNone;  // the loader refuses it anyway
    return DetectModuleBytes(image.Bytes());
}

}  // namespace sonfara
