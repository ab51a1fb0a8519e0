// Instrument names and the GS/XG raw file scan.
#include <atomic>
#include <cstdio>
#include <cstring>

#include "support/SfrLib.h"
#include "support/inst_table.h"

namespace {

// Row of each (bank, map), 0 for none, else the name array's index + 1.
// Atomic so that a second InstInit cannot tear a concurrent look-up; it
// stores the same values again.
std::atomic<uint16_t> g_rowOf[128 * 128];
std::atomic<bool> g_ready{false};

bool InRange(int32_t v) {
    return v >= 0 && v <= 127;
}

}  // namespace

extern "C" {

int32_t SFRAPI InstInit(void) {
    uint16_t rows[128 * 128] = {};
    for (size_t i = 0; i < sfrlib::kInstRowKeyCount; ++i) {
        const sfrlib::InstRowKey& k = sfrlib::kInstRowKeys[i];
        rows[k.bank * 128 + k.map] = static_cast<uint16_t>(k.row + 1);
    }
    for (size_t i = 0; i < 128 * 128; ++i) g_rowOf[i].store(rows[i], std::memory_order_relaxed);
    g_ready.store(true, std::memory_order_release);
    return 0;
}

int32_t SFRAPI GetInstName(int32_t bank, int32_t map, int32_t program, char* buffer) {
    if (!buffer) return 0;
    buffer[0] = '\0';
    // Out-of-range indexes and look-ups before InstInit give the empty name
    // instead of reading outside the table.
    if (!InRange(bank) || !InRange(map) || !InRange(program)) return 0;
    if (!g_ready.load(std::memory_order_acquire)) return 0;
    const uint16_t row = g_rowOf[bank * 128 + map].load(std::memory_order_relaxed);
    if (row == 0) return 0;
    const char* name = sfrlib::kInstNamePool + sfrlib::kInstRowNames[row - 1][program];
    std::memcpy(buffer, name, std::strlen(name) + 1);
    return 0;
}

int32_t SFRAPI GetMIDIModule(const char* path) {
    if (!path) return SFRLIB_MODULE_NONE;
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return SFRLIB_MODULE_NONE;
    // Streamed in blocks that overlap by six bytes, so a message body across
    // a block boundary is still seen and a huge file is never held whole.
    constexpr size_t kBlock = 64 * 1024;
    constexpr size_t kKeep = 6;
    static_assert(kBlock > kKeep);
    unsigned char buf[kBlock + kKeep];
    size_t have = 0;
    int32_t result = SFRLIB_MODULE_NONE;
    for (;;) {
        const size_t got = std::fread(buf + have, 1, kBlock, f);
        have += got;
        size_t i = 0;
        for (; i + kKeep < have; ++i) {
            const unsigned char* b = buf + i;
            if (b[0] == 0x43 && b[2] == 0x4C && b[3] == 0x00 && b[4] == 0x00 && b[5] == 0x7E &&
                b[6] == 0x00) {
                result = SFRLIB_MODULE_XG;
                break;
            }
            if (b[0] == 0x41 && b[3] == 0x12 && b[4] == 0x40 && b[5] == 0x00 && b[6] == 0x7F) {
                result = SFRLIB_MODULE_GS;
                break;
            }
        }
        if (result != SFRLIB_MODULE_NONE || got == 0) break;
        // Keep the last six bytes: windows starting there are not complete yet.
        std::memmove(buf, buf + i, have - i);
        have -= i;
    }
    std::fclose(f);
    return result;
}

}  // extern "C"
