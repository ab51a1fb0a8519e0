// Rendering songs through the built-in synthesizer with the test
// SoundFont, and measuring the sound: level, difference, brightness, pitch.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "player/platform/midi.h"
#include "player/platform/system_ports.h"

namespace sonfara::synth_test {

constexpr const char* kSoundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";
constexpr int kRate = 22050;

using Bytes = std::vector<uint8_t>;
struct Msg {
    int ms;  // when it is sent
    Bytes bytes;
};
using Song = std::vector<Msg>;

inline Bytes Cc(int ch, int cc, int v) {
    return {static_cast<uint8_t>(0xB0 | ch), static_cast<uint8_t>(cc), static_cast<uint8_t>(v)};
}
inline Bytes Pc(int ch, int p) {
    return {static_cast<uint8_t>(0xC0 | ch), static_cast<uint8_t>(p)};
}
inline Bytes On(int ch, int key, int vel = 100) {
    return {static_cast<uint8_t>(0x90 | ch), static_cast<uint8_t>(key), static_cast<uint8_t>(vel)};
}
inline Bytes Off(int ch, int key) {
    return {static_cast<uint8_t>(0x80 | ch), static_cast<uint8_t>(key), 0};
}
inline Bytes Bend(int ch, int v) {
    return {static_cast<uint8_t>(0xE0 | ch), static_cast<uint8_t>(v & 0x7F),
            static_cast<uint8_t>(v >> 7)};
}
inline const Bytes kGmOn = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
inline const Bytes kGm2On = {0xF0, 0x7E, 0x7F, 0x09, 0x03, 0xF7};
inline const Bytes kGsReset = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};
inline const Bytes kXgOn = {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};

// GS data set with its checksum.
inline Bytes Gs(int a1, int a2, int a3, std::vector<int> data) {
    Bytes b = {0xF0,
               0x41,
               0x10,
               0x42,
               0x12,
               static_cast<uint8_t>(a1),
               static_cast<uint8_t>(a2),
               static_cast<uint8_t>(a3)};
    int sum = a1 + a2 + a3;
    for (int d : data) {
        b.push_back(static_cast<uint8_t>(d));
        sum += d;
    }
    b.push_back(static_cast<uint8_t>((128 - sum % 128) % 128));
    b.push_back(0xF7);
    return b;
}
inline Bytes Xg(int ah, int am, int al, std::vector<int> data) {
    Bytes b = {0xF0,
               0x43,
               0x10,
               0x4C,
               static_cast<uint8_t>(ah),
               static_cast<uint8_t>(am),
               static_cast<uint8_t>(al)};
    for (int d : data) b.push_back(static_cast<uint8_t>(d));
    b.push_back(0xF7);
    return b;
}
// NRPN as the GS and XG songs send it: MSB, LSB, data entry.
inline Song Nrpn(int ms, int ch, int msb, int lsb, int v) {
    return {{ms, Cc(ch, midi::cc::kNrpnMsb, msb)},
            {ms, Cc(ch, midi::cc::kNrpnLsb, lsb)},
            {ms, Cc(ch, midi::cc::kDataEntry, v)}};
}
inline Song Rpn(int ms, int ch, int msb, int lsb, int v, int vLsb = -1) {
    Song s = {{ms, Cc(ch, midi::cc::kRpnMsb, msb)},
              {ms, Cc(ch, midi::cc::kRpnLsb, lsb)},
              {ms, Cc(ch, midi::cc::kDataEntry, v)}};
    if (vLsb >= 0) s.push_back({ms, Cc(ch, 38, vLsb)});
    return s;
}
inline Song operator+(Song a, const Song& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
// A note on a dry channel.
inline Song Note(int ms, int ch, int key, int lengthMs, int program = -1) {
    Song s = {{ms, Cc(ch, midi::cc::kReverbSend, 0)}, {ms, Cc(ch, midi::cc::kChorusSend, 0)}};
    if (program >= 0) s.push_back({ms, Pc(ch, program)});
    s.push_back({ms, On(ch, key)});
    s.push_back({ms + lengthMs, Off(ch, key)});
    return s;
}

struct Audio {
    std::vector<float> left, right;
};

// Messages go in at the start of the render block they fall in (blocks of
// 64 frames, about 3 ms).
inline Audio Render(const Song& song, int totalMs) {
    platform::OfflineSynth opened = platform::SynthPort::OpenOffline(kSoundFont, kRate);
    EXPECT_TRUE(opened.synth) << opened.status.Message();
    auto synth = std::move(opened.synth);
    Audio a;
    if (!synth) return a;
    constexpr int kBlock = 64;
    std::vector<int16_t> buf(2 * kBlock);
    size_t k = 0;
    const int frames = totalMs * kRate / 1000;
    for (int f = 0; f < frames; f += kBlock) {
        for (; k < song.size() && song[k].ms * kRate / 1000 <= f; ++k) {
            const Bytes& b = song[k].bytes;
            if (b[0] == 0xF0) {
                synth->LongMessage(b);
            } else {
                uint32_t packed = 0;
                for (size_t i = 0; i < b.size(); ++i) packed |= uint32_t{b[i]} << (8 * i);
                synth->ShortMessage(packed);
            }
        }
        synth->Render(buf.data(), kBlock);
        for (int i = 0; i < kBlock; ++i) {
            a.left.push_back(buf[2 * i] / 32768.0f);
            a.right.push_back(buf[2 * i + 1] / 32768.0f);
        }
    }
    return a;
}

inline int Frame(int ms) {
    return static_cast<int>(int64_t{ms} * kRate / 1000);
}
inline double Rms(const std::vector<float>& x, int fromMs = 0, int toMs = 1 << 20) {
    const size_t a = std::min<size_t>(Frame(fromMs), x.size());
    const size_t b = std::min<size_t>(Frame(toMs), x.size());
    double s = 0;
    for (size_t i = a; i < b; ++i) s += double{x[i]} * x[i];
    return b > a ? std::sqrt(s / static_cast<double>(b - a)) : 0;
}
inline double Rms(const Audio& a, int fromMs = 0, int toMs = 1 << 20) {
    return std::hypot(Rms(a.left, fromMs, toMs), Rms(a.right, fromMs, toMs));
}
// How far two renders differ, relative to the plain one's level.
inline double Difference(const Audio& a, const Audio& b) {
    double d = 0, n = 0;
    for (size_t i = 0; i < std::min(a.left.size(), b.left.size()); ++i) {
        d += std::pow(a.left[i] - b.left[i], 2) + std::pow(a.right[i] - b.right[i], 2);
        n += std::pow(b.left[i], 2) + std::pow(b.right[i], 2);
    }
    return n > 0 ? std::sqrt(d / n) : 1.0;
}
// The spectrum's high share: the level of the first difference against
// the level itself (rises with the cutoff and the pitch).
inline double Brightness(const Audio& a, int fromMs, int toMs) {
    std::vector<float> d;
    for (int i = std::max(1, Frame(fromMs)); i < std::min<int>(Frame(toMs), a.left.size()); ++i)
        d.push_back(a.left[i] - a.left[i - 1]);
    const double level = Rms(a.left, fromMs, toMs);
    return level > 0 ? Rms(d) / level : 0;
}
// The fundamental in Hz by autocorrelation, with parabolic interpolation.
inline double Pitch(const Audio& a, int fromMs, int toMs) {
    const int from = Frame(fromMs), n = Frame(toMs) - from;
    const float* x = a.left.data() + from;
    auto corr = [&](int lag) {
        double s = 0;
        for (int i = 0; i + lag < n; ++i) s += double{x[i]} * x[i + lag];
        return s / (n - lag);
    };
    const int minLag = kRate / 2000, maxLag = kRate / 60;
    std::vector<double> c(maxLag + 2);
    for (int l = minLag - 1; l <= maxLag + 1; ++l) c[l] = corr(l);
    const double top = *std::max_element(c.begin() + minLag, c.begin() + maxLag);
    // The first peak near the highest is the period (not a multiple of it).
    for (int l = minLag; l <= maxLag; ++l) {
        if (c[l] >= 0.9 * top && c[l] >= c[l - 1] && c[l] >= c[l + 1]) {
            const double den = c[l - 1] - 2 * c[l] + c[l + 1];
            const double shift = den != 0 ? 0.5 * (c[l - 1] - c[l + 1]) / den : 0;
            return kRate / (l + shift);
        }
    }
    return 0;
}

}  // namespace sonfara::synth_test
