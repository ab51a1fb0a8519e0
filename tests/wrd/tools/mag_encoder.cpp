#include "tests/wrd/tools/mag_encoder.h"

#include <cstring>

#include "player/wrd/mag.h"

namespace sonfara::wrd::tools {

namespace {

std::array<int, 16> g_counts{};

void Put16(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    v[at] = x & 0xFF;
    v[at + 1] = (x >> 8) & 0xFF;
}
void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i) v[at + i] = (x >> (8 * i)) & 0xFF;
}

}  // namespace

const std::array<int, 16>& LastMagDirectionCounts() {
    return g_counts;
}

std::vector<uint8_t> EncodeMag(const MagImage& img, const MagEncodeOptions& opt) {
    g_counts.fill(0);
    const bool is256 = img.colors == 256;
    const int align = is256 ? 4 : 8;
    const int sx = img.startX, ex = img.startX + img.width - 1;
    const int ax = sx - sx % align;
    const int aw = (ex | (align - 1)) - ax + 1;
    const int rowBytes = is256 ? aw : aw / 2;
    const int units = rowBytes / 2;
    const int flagBytes = units / 2;
    const int h = img.height;

    // Packed rows of the aligned picture; pixels outside the image are 0.
    std::vector<uint8_t> packed(static_cast<size_t>(rowBytes) * h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < img.width; ++x) {
            const int px = x + (sx - ax);
            const uint8_t c = img.pixels[static_cast<size_t>(y) * img.width + x];
            uint8_t& b = packed[static_cast<size_t>(y) * rowBytes + (is256 ? px : px / 2)];
            if (is256)
                b = c;
            else
                b |= (px & 1) ? (c & 0x0F) : static_cast<uint8_t>(c << 4);
        }
    auto unit = [&](int y, int u) -> int {
        if (y < 0 || u < 0) return 0;
        const uint8_t* p = &packed[static_cast<size_t>(y) * rowBytes + 2 * u];
        return p[0] | (p[1] << 8);
    };
    std::vector<int> dirs = opt.directions;
    if (dirs.empty())
        for (int d = 1; d < 16; ++d) dirs.push_back(d);

    std::vector<uint8_t> flagA, flagB, pix;
    std::vector<uint8_t> prev(flagBytes, 0), cur(flagBytes, 0);
    uint8_t aByte = 0;
    int aBits = 0;
    for (int y = 0; y < h; ++y) {
        for (int u = 0; u < units; ++u) {
            int flag = 0;
            const int v = unit(y, u);
            for (int d : dirs) {
                const MagCopy c = kMagCopy[d];
                if (y - c.lines_up < 0 || u - c.units_left < 0) continue;
                if (unit(y - c.lines_up, u - c.units_left) == v) {
                    flag = d;
                    break;
                }
            }
            ++g_counts[flag];
            if (flag == 0) {
                pix.push_back(v & 0xFF);
                pix.push_back(v >> 8);
            }
            uint8_t& fb = cur[u >> 1];
            if (u & 1)
                fb = (fb & 0xF0) | flag;
            else
                fb = static_cast<uint8_t>((fb & 0x0F) | (flag << 4));
        }
        for (int x = 0; x < flagBytes; ++x) {
            const uint8_t diff = cur[x] ^ prev[x];
            aByte = static_cast<uint8_t>(aByte << 1);
            if (diff) {
                aByte |= 1;
                flagB.push_back(diff);
            }
            if (++aBits == 8) {
                flagA.push_back(aByte);
                aByte = 0;
                aBits = 0;
            }
        }
        prev = cur;
    }
    if (aBits) flagA.push_back(static_cast<uint8_t>(aByte << (8 - aBits)));

    // Signature, machine code, blank user name, comment, end-of-comment mark.
    std::string head = "MAKI02  SNFR" + std::string(18, ' ') + img.comment + '\x1A';
    std::vector<uint8_t> out(head.begin(), head.end());
    const size_t hdr = out.size();
    const size_t palBytes = static_cast<size_t>(img.colors) * 3;
    out.resize(hdr + 32 + palBytes, 0);
    out[hdr + 3] = is256 ? 0x80 : 0x00;
    Put16(out, hdr + 4, sx);
    Put16(out, hdr + 6, img.startY);
    Put16(out, hdr + 8, ex);
    Put16(out, hdr + 10, img.startY + h - 1);
    for (int i = 0; i < img.colors; ++i) {
        const uint32_t c = img.palette[i];
        out[hdr + 32 + 3 * i] = (c >> 8) & 0xFF;       // green
        out[hdr + 32 + 3 * i + 1] = c & 0xFF;          // red
        out[hdr + 32 + 3 * i + 2] = (c >> 16) & 0xFF;  // blue
    }
    const uint32_t aOff = static_cast<uint32_t>(32 + palBytes);
    const uint32_t bOff = aOff + static_cast<uint32_t>(flagA.size());
    const uint32_t pOff = bOff + static_cast<uint32_t>(flagB.size());
    Put32(out, hdr + 12, aOff);
    Put32(out, hdr + 16, bOff);
    Put32(out, hdr + 20, static_cast<uint32_t>(flagB.size()));
    Put32(out, hdr + 24, pOff);
    Put32(out, hdr + 28, static_cast<uint32_t>(pix.size()));
    out.insert(out.end(), flagA.begin(), flagA.end());
    out.insert(out.end(), flagB.begin(), flagB.end());
    out.insert(out.end(), pix.begin(), pix.end());
    return out;
}

}  // namespace sonfara::wrd::tools
