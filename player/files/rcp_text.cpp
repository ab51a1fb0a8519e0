// Texts of Recomposer files are Shift_JIS as the PC-98 wrote it. CP932
// holds all of it except the NEC rows 9 to 12 (lead bytes 0x85 and 0x86),
// which CP932 leaves empty: they are mapped here, once, so that every later
// reader sees plain CP932.
#include "player/files/rcp_internal.h"

namespace sonfara::files::rcp {
namespace {

bool IsLeadByte(uint8_t b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// CP932 has no counterpart: the geta mark, the usual stand-in.
constexpr char kGeta[] = "\x81\xAC";

// Row 9 holds the ASCII graphic characters from '!' in two-byte form,
// row 10 the half-width katakana from U+FF61; rows 11 and 12 (further
// half-width and line-drawing forms) have no CP932 counterpart.
std::string MapNecRow(int row, int col) {
    if (row == 9 && col >= 1 && col <= 94) return std::string(1, static_cast<char>(0x20 + col));
    if (row == 10 && col >= 1 && col <= 63) return std::string(1, static_cast<char>(0xA0 + col));
    return kGeta;
}

std::string MapPair(uint8_t lead, uint8_t trail) {
    const int rowBase = (lead - 0x85) * 2 + 9;
    if (trail >= 0x9F) return MapNecRow(rowBase + 1, trail - 0x9E);
    return MapNecRow(rowBase, trail - 0x3F - (trail >= 0x80 ? 1 : 0));
}

}  // namespace

std::string Pc98ToCp932(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        const auto b = static_cast<uint8_t>(s[i]);
        if (!IsLeadByte(b) || i + 1 >= s.size()) {
            out += s[i];
            continue;
        }
        const auto t = static_cast<uint8_t>(s[i + 1]);
        if ((b == 0x85 || b == 0x86) && t >= 0x40 && t != 0x7F && t <= 0xFC) {
            out += MapPair(b, t);
        } else {
            out += s[i];
            out += s[i + 1];
        }
        ++i;
    }
    return out;
}

}  // namespace sonfara::files::rcp
