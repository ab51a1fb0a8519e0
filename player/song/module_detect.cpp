#include "player/song/module_detect.h"

#include <algorithm>
#include <fstream>
#include <vector>

#include "player/platform/midi.h"
#include "player/song/smf_reader.h"

namespace sonfara::song {

namespace {

// The reset message starting at one of b[from, to): the earliest wins. A
// message needs up to 8 bytes from its start; b ends where the file does or
// at least 7 bytes past `to`.
int ScanStarts(std::span<const uint8_t> b, size_t from, size_t to) {
    const size_t size = b.size();
    using namespace midi;
    for (size_t p = from; p < to && p + 6 < size; ++p) {
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

constexpr size_t kMessageTail = 7;               // bytes a message needs past its start
constexpr size_t kPieceBytes = size_t{1} << 20;  // read at a time

}  // namespace

int DetectModuleBytes(std::span<const uint8_t> b) {
    return ScanStarts(b, 0, b.size());
}

// Read in pieces rather than mapped whole: the song is often loaded (and
// large) already, and its bytes need not all be resident a second time.
int DetectModule(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return kModuleNone;
    std::vector<uint8_t> buf(kMessageTail + kPieceBytes);
    size_t have = 0;
    uintmax_t total = 0;
    for (;;) {
        in.read(reinterpret_cast<char*>(buf.data() + have),
                static_cast<std::streamsize>(kPieceBytes));
        const auto got = static_cast<size_t>(in.gcount());
        total += got;
        if (total > kMaxSmfFileBytes) return kModuleNone;  // the loader refuses it anyway
        have += got;
        const bool last = !in;
        if (in.bad()) return kModuleNone;
        // Starts whose bytes are all here (or the file ends within them) are decided.
        const size_t decided = last ? have : have - kMessageTail;
        if (const int m = ScanStarts({buf.data(), have}, 0, decided); m != kModuleNone) return m;
        if (last) return kModuleNone;
        std::copy(buf.begin() + static_cast<std::ptrdiff_t>(decided),
                  buf.begin() + static_cast<std::ptrdiff_t>(have), buf.begin());
        have -= decided;
    }
}

}  // namespace sonfara::song
