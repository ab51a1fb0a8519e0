// Small Standard MIDI Files for the library's tests and benchmark: a title,
// track names, texts, lyrics, programs, notes and a reset message as asked.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sonfara::library::test {

struct SongPlan {
    std::string title;  // code-page bytes (or UTF-8) as the file carries them
    std::vector<std::string> trackNames;
    std::vector<std::string> texts;   // FF 01 events
    std::string copyright;            // FF 02
    std::vector<std::string> lyrics;  // FF 05 syllables
    std::vector<int> programs;        // one program change each, channels 0, 1, ...
    enum Reset { kNone, kGs, kXg, kGm } reset = kNone;
    int notes = 16;  // notes per track, a quarter apart at 120 BPM
    int tempoBpm = 120;
    size_t padTo = 0;  // grow the file with controller events to about this size
};

inline void Vlq(std::string& out, uint32_t v) {
    char buf[5];
    int n = 0;
    buf[n++] = static_cast<char>(v & 0x7F);
    while (v >>= 7) buf[n++] = static_cast<char>((v & 0x7F) | 0x80);
    while (n) out += buf[--n];
}

inline void Meta(std::string& t, uint8_t type, const std::string& text) {
    t += '\0';
    t += '\xFF';
    t += static_cast<char>(type);
    Vlq(t, static_cast<uint32_t>(text.size()));
    t += text;
}

inline std::string Chunk(const char* id, const std::string& body) {
    std::string c(id, 4);
    const auto n = static_cast<uint32_t>(body.size());
    c += static_cast<char>(n >> 24);
    c += static_cast<char>(n >> 16);
    c += static_cast<char>(n >> 8);
    c += static_cast<char>(n);
    return c + body;
}

inline std::string MakeSong(const SongPlan& s) {
    constexpr int kDivision = 480;
    std::string conductor;
    Meta(conductor, 0x03, s.title);
    if (!s.copyright.empty()) Meta(conductor, 0x02, s.copyright);
    const uint32_t us = 60000000u / static_cast<uint32_t>(s.tempoBpm);
    conductor += std::string("\0\xFF\x51\x03", 4);
    conductor += static_cast<char>(us >> 16);
    conductor += static_cast<char>(us >> 8);
    conductor += static_cast<char>(us);
    conductor += std::string("\0\xFF\x58\x04\x03\x02\x18\x08", 8);  // 3/4
    static const std::string kGs("\xF0\x0A\x41\x10\x42\x12\x40\x00\x7F\x00\x41\xF7", 12);
    static const std::string kXg("\xF0\x08\x43\x10\x4C\x00\x00\x7E\x00\xF7", 10);
    static const std::string kGm("\xF0\x05\x7E\x7F\x09\x01\xF7", 7);
    if (s.reset != SongPlan::kNone) {
        conductor += '\0';
        conductor += s.reset == SongPlan::kGs ? kGs : s.reset == SongPlan::kXg ? kXg : kGm;
    }
    for (const std::string& t : s.texts) Meta(conductor, 0x01, t);
    for (const std::string& l : s.lyrics) Meta(conductor, 0x05, l);
    conductor += std::string("\0\xFF\x2F\0", 4);
    std::string file =
        Chunk("MThd", std::string("\0\1\0", 3) +
                          static_cast<char>(1 + std::max<size_t>(1, s.programs.size())) +
                          std::string(1, kDivision >> 8) + char(kDivision & 0xFF));
    file += Chunk("MTrk", conductor);
    const size_t tracks = std::max<size_t>(1, s.programs.size());
    const size_t pad = s.padTo > file.size() ? (s.padTo - file.size()) / tracks : 0;
    for (size_t k = 0; k < tracks; ++k) {
        std::string t;
        const char ch = static_cast<char>(k % 16);
        if (k < s.trackNames.size()) Meta(t, 0x03, s.trackNames[k]);
        if (k < s.programs.size()) {
            t += '\0';
            t += static_cast<char>(0xC0 | ch);
            t += static_cast<char>(s.programs[k]);
        }
        for (size_t bytes = 0; bytes + 4 <= pad; bytes += 4) {
            t += '\0';
            t += static_cast<char>(0xB0 | ch);
            t += '\x01';
            t += static_cast<char>(bytes % 128);
        }
        for (int n = 0; n < s.notes; ++n) {
            t += '\0';
            t += static_cast<char>(0x90 | ch);
            t += static_cast<char>(60 + n % 12);
            t += '\x64';
            Vlq(t, kDivision);
            t += static_cast<char>(0x80 | ch);
            t += static_cast<char>(60 + n % 12);
            t += '\0';
        }
        t += std::string("\0\xFF\x2F\0", 4);
        file += Chunk("MTrk", t);
    }
    return file;
}

}  // namespace sonfara::library::test
