#include "player/song/module_detect.h"

#include "player/platform/large_memory.h"
#include "player/platform/midi.h"
#include "player/song/smf_reader.h"

namespace sonfara {

int DetectModuleBytes(std::span<const uint8_t> b) {
    const size_t size = b.size();
    using namespace midi;
    for (size_t p = 0; p + 6 < size; ++p) {
        // XG system on (00 00 7E 00), GS reset (40 00 7F) or system mode set (00 00 7F 0x).
        if (b[p] == kYamaha && b[p + 2] == kYamahaXgModel && b[p + 3] == 0x00 && b[p + 4] == 0x00 &&
            b[p + 5] == 0x7E && b[p + 6] == 0x00)
            return kModuleXG;
        if (b[p] != kRoland || b[p + 3] != kRolandDataSet) continue;
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
