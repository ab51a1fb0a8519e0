#include "bench/bench_songs.h"

#include <string>

namespace sonfara::bench {
namespace {

void Vlq(std::vector<uint8_t>& out, uint32_t v) {
    uint8_t buf[5];
    int n = 0;
    buf[n++] = v & 0x7F;
    while (v >>= 7) buf[n++] = static_cast<uint8_t>(0x80 | (v & 0x7F));
    while (n) out.push_back(buf[--n]);
}

void Be32(std::vector<uint8_t>& out, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(v >> s));
}

}  // namespace

namespace {

struct Lcg {
    uint32_t seed = 12345;
    uint32_t operator()() {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    }
};

// One track chunk of about `bytes`: notes (on, then off with running status)
// and controllers on channels first..first+channels-1 in turn, a SysEx now
// and then, and a tempo change now and then when withTempo.
void AppendDenseTrack(std::vector<uint8_t>& file, size_t bytes, int first, int channels,
                      bool withTempo, Lcg& rnd) {
    std::vector<uint8_t> trk;
    trk.reserve(bytes + 64);
    int n = 0;
    while (trk.size() + 16 < bytes) {
        ++n;
        const auto ch = static_cast<uint8_t>(first + n % channels);
        if (withTempo && n % 4000 == 1) {
            uint32_t tempo = 400000 + rnd() % 200000;
            trk.insert(trk.end(), {0x00, 0xFF, 0x51, 0x03, static_cast<uint8_t>(tempo >> 16),
                                   static_cast<uint8_t>(tempo >> 8), static_cast<uint8_t>(tempo)});
        } else if (n % 5000 == 0) {
            // A GS parameter SysEx.
            trk.insert(trk.end(), {0x00, 0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x01, 0x30,
                                   static_cast<uint8_t>(rnd() % 8), 0x00, 0xF7});
        } else if (n % 7 == 0) {
            trk.insert(trk.end(), {0x00, static_cast<uint8_t>(0xB0 | ch),
                                   static_cast<uint8_t>(rnd() % 2 ? 7 : 11),
                                   static_cast<uint8_t>(rnd() % 128)});
        } else {
            uint8_t key = static_cast<uint8_t>(36 + rnd() % 48);
            Vlq(trk, rnd() % 24);
            trk.insert(trk.end(), {static_cast<uint8_t>(0x90 | ch), key,
                                   static_cast<uint8_t>(1 + rnd() % 127)});
            Vlq(trk, 1 + rnd() % 60);
            trk.insert(trk.end(), {key, 0});
        }
    }
    trk.insert(trk.end(), {0x00, 0xFF, 0x2F, 0x00});
    file.insert(file.end(), {'M', 'T', 'r', 'k'});
    Be32(file, static_cast<uint32_t>(trk.size()));
    file.insert(file.end(), trk.begin(), trk.end());
}

}  // namespace

std::vector<uint8_t> MakeDenseSong(size_t targetBytes) {
    constexpr int kTracks = 16;
    std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, kTracks, 0x01, 0xE0};
    file.reserve(targetBytes + 4096);
    Lcg rnd;
    for (int t = 0; t < kTracks; ++t)
        AppendDenseTrack(file, targetBytes / kTracks, t, 1, t == 0, rnd);
    return file;
}

std::vector<uint8_t> MakeDenseFormat0Song(size_t targetBytes) {
    std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0};
    file.reserve(targetBytes + 4096);
    Lcg rnd;
    AppendDenseTrack(file, targetBytes, 0, 16, true, rnd);
    return file;
}

std::vector<uint8_t> MakeEventRunSong(size_t events, bool tempo) {
    std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0};
    std::vector<uint8_t> trk;
    trk.reserve(events * (tempo ? 7 : 4) + 4);
    Lcg rnd;
    for (size_t i = 0; i < events; ++i) {
        if (tempo) {
            const uint32_t t = 400000 + rnd() % 200000;
            trk.insert(trk.end(), {0x01, 0xFF, 0x51, 0x03, static_cast<uint8_t>(t >> 16),
                                   static_cast<uint8_t>(t >> 8), static_cast<uint8_t>(t)});
        } else {
            // Note on and off in turn, each with its status byte.
            const auto key = static_cast<uint8_t>(36 + (i / 2) % 48);
            trk.insert(trk.end(), {0x01, static_cast<uint8_t>(i % 2 ? 0x80 : 0x90), key, 0x40});
        }
    }
    trk.insert(trk.end(), {0x00, 0xFF, 0x2F, 0x00});
    file.insert(file.end(), {'M', 'T', 'r', 'k'});
    Be32(file, static_cast<uint32_t>(trk.size()));
    file.insert(file.end(), trk.begin(), trk.end());
    return file;
}

}  // namespace sonfara::bench
