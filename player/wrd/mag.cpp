#include "player/wrd/mag.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace sonfara::wrd {

const std::array<MagCopy, 16> kMagCopy = {{
    {0, 0},  // 0: literal from the pixel stream
    {1, 0},
    {2, 0},
    {4, 0},
    {0, 1},
    {1, 1},
    {0, 2},
    {1, 2},
    {2, 2},
    {0, 4},
    {1, 4},
    {2, 4},
    {0, 8},
    {1, 8},
    {2, 8},
    {0, 16},
}};

namespace {

constexpr size_t kHeaderSize = 32;
constexpr size_t kFixedPartSize = 30;  // signature, machine code, user name
// Decoding writes into rows with room for the farthest copy above and to the
// left, so that a copy from outside the picture reads black.
constexpr int kPadLines = 16;
constexpr int kPadUnits = 4;

uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

MagStatus Fail(const char* why) {
    return {MagError::kDamaged, why};
}

// A byte range of the file, read front to back.
struct Stream {
    const uint8_t* p = nullptr;
    size_t left = 0;
    bool Byte(uint8_t& b) {
        if (!left) return false;
        b = *p++;
        --left;
        return true;
    }
};

// [offset, offset + size) of the file, cut at its end; empty when the offset
// lies outside.
Stream Range(std::span<const uint8_t> file, uint64_t offset, uint64_t size) {
    Stream s;
    if (offset >= file.size()) return s;
    s.p = file.data() + offset;
    s.left = static_cast<size_t>(std::min<uint64_t>(size, file.size() - offset));
    return s;
}

}  // namespace

MagStatus DecodeMag(std::span<const uint8_t> file, MagPicture& out) {
    out = MagPicture{};
    if (file.size() < 8 || std::memcmp(file.data(), "MAKI02", 6) != 0)
        return Fail("not a MAG file");
    // The comment ends with 0x1A; the header follows at once.
    size_t eof = 8;
    while (eof < file.size() && file[eof] != 0x1A) ++eof;
    if (eof >= file.size()) return Fail("no end of comment");
    if (eof > kFixedPartSize)
        out.comment.assign(reinterpret_cast<const char*>(file.data()) + kFixedPartSize,
                           eof - kFixedPartSize);
    const size_t hdr = eof + 1;
    if (file.size() - hdr < kHeaderSize) return Fail("header cut short");
    const uint8_t* h = file.data() + hdr;
    const bool is256 = (h[3] & 0x80) != 0;
    const int sx = Le16(h + 4), sy = Le16(h + 6), ex = Le16(h + 8), ey = Le16(h + 10);
    const uint32_t flagAOff = Le32(h + 12), flagBOff = Le32(h + 16), flagBSize = Le32(h + 20);
    const uint32_t pixOff = Le32(h + 24), pixSize = Le32(h + 28);
    if (ex < sx || ey < sy) return Fail("empty picture");
    if (ex - sx + 1 > kMaxMagSide || ey - sy + 1 > kMaxMagSide) return Fail("picture too large");

    const int colors = is256 ? 256 : 16;
    const size_t palBytes = static_cast<size_t>(colors) * 3;
    if (file.size() - hdr - kHeaderSize < palBytes) return Fail("palette cut short");
    const uint8_t* pal = h + kHeaderSize;
    for (int i = 0; i < colors; ++i) {
        // Stored green, red, blue.
        const uint8_t g = pal[3 * i], r = pal[3 * i + 1], b = pal[3 * i + 2];
        out.palette[i] = r | (g << 8) | (b << 16);
    }

    // Pictures are stored in whole flag bytes: 8 pixels (16 colours) or 4
    // pixels (256 colours) wide.
    const int align = is256 ? 4 : 8;
    const int ax = sx - sx % align;
    const int aw = (ex | (align - 1)) - ax + 1;
    const int height = ey - sy + 1;
    const int rowBytes = is256 ? aw : aw / 2;
    const int units = rowBytes / 2;
    const int flagBytes = units / 2;

    Stream flagA = Range(file, uint64_t{hdr} + flagAOff, UINT64_MAX);
    Stream flagB = Range(file, uint64_t{hdr} + flagBOff, flagBSize);
    Stream pix = Range(file, uint64_t{hdr} + pixOff, pixSize);

    const size_t stride = static_cast<size_t>(rowBytes) + 2 * kPadUnits;
    std::vector<uint8_t> buf(stride * (static_cast<size_t>(height) + kPadLines), 0);
    std::vector<uint8_t> flags(flagBytes, 0);
    uint8_t aByte = 0;
    int aBits = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < flagBytes; ++x) {
            if (aBits == 0) {
                if (!flagA.Byte(aByte)) return Fail("flag A cut short");
                aBits = 8;
            }
            --aBits;
            if (aByte & (1 << aBits)) {
                uint8_t b;
                if (!flagB.Byte(b)) return Fail("flag B cut short");
                flags[x] ^= b;
            }
        }
        uint8_t* row = &buf[stride * (y + kPadLines) + 2 * kPadUnits];
        for (int u = 0; u < units; ++u) {
            const int f = (u & 1) ? (flags[u >> 1] & 0x0F) : (flags[u >> 1] >> 4);
            uint8_t* d = row + 2 * u;
            if (f == 0) {
                if (!pix.Byte(d[0]) || !pix.Byte(d[1])) return Fail("pixels cut short");
            } else {
                const MagCopy c = kMagCopy[f];
                const uint8_t* s =
                    d - static_cast<ptrdiff_t>(stride) * c.lines_up - 2 * c.units_left;
                d[0] = s[0];
                d[1] = s[1];
            }
        }
    }

    out.colors = colors;
    out.width = ex - sx + 1;
    out.height = height;
    out.startX = sx;
    out.startY = sy;
    out.pixels.resize(static_cast<size_t>(out.width) * height);
    const int skip = sx - ax;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = &buf[stride * (y + kPadLines) + 2 * kPadUnits];
        uint8_t* o = &out.pixels[static_cast<size_t>(y) * out.width];
        for (int x = 0; x < out.width; ++x) {
            const int px = x + skip;
            o[x] = is256 ? row[px] : ((px & 1) ? (row[px >> 1] & 0x0F) : (row[px >> 1] >> 4));
        }
    }
    return {};
}

MagStatus LoadMagFile(const std::string& path, MagPicture& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return MagStatus{MagError::kUnreadable, "cannot open file"};
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    if (in.bad()) return MagStatus{MagError::kUnreadable, "cannot read file"};
    return DecodeMag(bytes, out);
}

}  // namespace sonfara::wrd
